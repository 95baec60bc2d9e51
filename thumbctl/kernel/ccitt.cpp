// Facsimile bilevel decoder: ITU-T T.4 (modified Huffman, Group 3 one- and
// two-dimensional) and T.6 (Group 4). See ccitt.h.
#include "thumbctl/kernel/ccitt.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ccitt {
namespace {

// ---------------------------------------------------------------------------
// Code tables of T.4: terminating codes 0..63, make-up codes 64..1728 for each
// colour, and the extended make-up codes 1792..2560 shared by both colours.

struct Code {
    const char* bits;
    int value;
};

const Code kWhiteCodes[] = {
    {"00110101", 0},    {"000111", 1},      {"0111", 2},        {"1000", 3},
    {"1011", 4},        {"1100", 5},        {"1110", 6},        {"1111", 7},
    {"10011", 8},       {"10100", 9},       {"00111", 10},      {"01000", 11},
    {"001000", 12},     {"000011", 13},     {"110100", 14},     {"110101", 15},
    {"101010", 16},     {"101011", 17},     {"0100111", 18},    {"0001100", 19},
    {"0001000", 20},    {"0010111", 21},    {"0000011", 22},    {"0000100", 23},
    {"0101000", 24},    {"0101011", 25},    {"0010011", 26},    {"0100100", 27},
    {"0011000", 28},    {"00000010", 29},   {"00000011", 30},   {"00011010", 31},
    {"00011011", 32},   {"00010010", 33},   {"00010011", 34},   {"00010100", 35},
    {"00010101", 36},   {"00010110", 37},   {"00010111", 38},   {"00101000", 39},
    {"00101001", 40},   {"00101010", 41},   {"00101011", 42},   {"00101100", 43},
    {"00101101", 44},   {"00000100", 45},   {"00000101", 46},   {"00001010", 47},
    {"00001011", 48},   {"01010010", 49},   {"01010011", 50},   {"01010100", 51},
    {"01010101", 52},   {"00100100", 53},   {"00100101", 54},   {"01011000", 55},
    {"01011001", 56},   {"01011010", 57},   {"01011011", 58},   {"01001010", 59},
    {"01001011", 60},   {"00110010", 61},   {"00110011", 62},   {"00110100", 63},
    {"11011", 64},      {"10010", 128},     {"010111", 192},    {"0110111", 256},
    {"00110110", 320},  {"00110111", 384},  {"01100100", 448},  {"01100101", 512},
    {"01101000", 576},  {"01100111", 640},  {"011001100", 704}, {"011001101", 768},
    {"011010010", 832}, {"011010011", 896}, {"011010100", 960}, {"011010101", 1024},
    {"011010110", 1088}, {"011010111", 1152}, {"011011000", 1216}, {"011011001", 1280},
    {"011011010", 1344}, {"011011011", 1408}, {"010011000", 1472}, {"010011001", 1536},
    {"010011010", 1600}, {"011000", 1664},  {"010011011", 1728},
};

const Code kBlackCodes[] = {
    {"0000110111", 0},    {"010", 1},           {"11", 2},            {"10", 3},
    {"011", 4},           {"0011", 5},          {"0010", 6},          {"00011", 7},
    {"000101", 8},        {"000100", 9},        {"0000100", 10},      {"0000101", 11},
    {"0000111", 12},      {"00000100", 13},     {"00000111", 14},     {"000011000", 15},
    {"0000010111", 16},   {"0000011000", 17},   {"0000001000", 18},   {"00001100111", 19},
    {"00001101000", 20},  {"00001101100", 21},  {"00000110111", 22},  {"00000101000", 23},
    {"00000010111", 24},  {"00000011000", 25},  {"000011001010", 26}, {"000011001011", 27},
    {"000011001100", 28}, {"000011001101", 29}, {"000001101000", 30}, {"000001101001", 31},
    {"000001101010", 32}, {"000001101011", 33}, {"000011010010", 34}, {"000011010011", 35},
    {"000011010100", 36}, {"000011010101", 37}, {"000011010110", 38}, {"000011010111", 39},
    {"000001101100", 40}, {"000001101101", 41}, {"000011011010", 42}, {"000011011011", 43},
    {"000001010100", 44}, {"000001010101", 45}, {"000001010110", 46}, {"000001010111", 47},
    {"000001100100", 48}, {"000001100101", 49}, {"000001010010", 50}, {"000001010011", 51},
    {"000000100100", 52}, {"000000110111", 53}, {"000000111000", 54}, {"000000100111", 55},
    {"000000101000", 56}, {"000001011000", 57}, {"000001011001", 58}, {"000000101011", 59},
    {"000000101100", 60}, {"000001011010", 61}, {"000001100110", 62}, {"000001100111", 63},
    {"0000001111", 64},    {"000011001000", 128},  {"000011001001", 192},  {"000001011011", 256},
    {"000000110011", 320}, {"000000110100", 384},  {"000000110101", 448},  {"0000001101100", 512},
    {"0000001101101", 576}, {"0000001001010", 640}, {"0000001001011", 704}, {"0000001001100", 768},
    {"0000001001101", 832}, {"0000001110010", 896}, {"0000001110011", 960}, {"0000001110100", 1024},
    {"0000001110101", 1088}, {"0000001110110", 1152}, {"0000001110111", 1216},
    {"0000001010010", 1280}, {"0000001010011", 1344}, {"0000001010100", 1408},
    {"0000001010101", 1472}, {"0000001011010", 1536}, {"0000001011011", 1600},
    {"0000001100100", 1664}, {"0000001100101", 1728},
};

const Code kExtendedCodes[] = {
    {"00000001000", 1792},  {"00000001100", 1856},  {"00000001101", 1920},
    {"000000010010", 1984}, {"000000010011", 2048}, {"000000010100", 2112},
    {"000000010101", 2176}, {"000000010110", 2240}, {"000000010111", 2304},
    {"000000011100", 2368}, {"000000011101", 2432}, {"000000011110", 2496},
    {"000000011111", 2560},
};

constexpr int kLookupBits = 13;  // longest run code (black make-up) is 13 bits

struct Entry {
    int16_t value = -1;  // run length; -1: no code
    uint8_t length = 0;
};

struct RunTables {
    std::array<Entry, 1 << kLookupBits> white{};
    std::array<Entry, 1 << kLookupBits> black{};

    RunTables() {
        for (const Code& c : kWhiteCodes) Add(white, c);
        for (const Code& c : kBlackCodes) Add(black, c);
        for (const Code& c : kExtendedCodes) {
            Add(white, c);
            Add(black, c);
        }
    }

    static void Add(std::array<Entry, 1 << kLookupBits>& table, const Code& c) {
        const int length = static_cast<int>(std::strlen(c.bits));
        uint32_t prefix = 0;
        for (int i = 0; i < length; ++i) prefix = (prefix << 1) | (c.bits[i] == '1' ? 1u : 0u);
        const int free = kLookupBits - length;
        const uint32_t first = prefix << free;
        for (uint32_t k = 0; k < (1u << free); ++k) {
            table[first | k].value = static_cast<int16_t>(c.value);
            table[first | k].length = static_cast<uint8_t>(length);
        }
    }
};

const RunTables& Tables() {
    static const RunTables tables;
    return tables;
}

struct ReverseTable {
    std::array<uint8_t, 256> v{};
    ReverseTable() {
        for (int i = 0; i < 256; ++i) {
            uint8_t r = 0;
            for (int b = 0; b < 8; ++b)
                if (i & (1 << b)) r |= static_cast<uint8_t>(0x80 >> b);
            v[i] = r;
        }
    }
};

const ReverseTable& Reverse() {
    static const ReverseTable table;
    return table;
}

// ---------------------------------------------------------------------------
// Bit reader over the strip's bytes; bits past the end read as 0 and are
// reported through Overrun()/Exhausted().

class BitReader {
public:
    BitReader(const uint8_t* data, size_t size, bool lsbFirst)
        : data_(data), size_(size), lsbFirst_(lsbFirst), limit_(static_cast<uint64_t>(size) * 8) {}

    // The next n bits (n <= 24), most significant first.
    uint32_t Peek(int n) const {
        const uint64_t byte = pos_ >> 3;
        uint32_t window = 0;
        for (int i = 0; i < 4; ++i) window = (window << 8) | ByteAt(byte + i);
        window <<= (pos_ & 7);
        return window >> (32 - n);
    }
    void Skip(uint64_t n) { pos_ += n; }
    bool Exhausted() const { return pos_ >= limit_; }
    bool Overrun() const { return pos_ > limit_; }
    void AlignToByte() { pos_ = (pos_ + 7) & ~uint64_t{7}; }

    // Counts the 0 bits from the current position without consuming them;
    // returns false when the data ends before a 1 bit.
    bool CountZeros(uint64_t* zeros) const {
        uint64_t p = pos_;
        while (p < limit_) {
            const uint8_t b = static_cast<uint8_t>(ByteAt(p >> 3) << (p & 7));
            if (b != 0) {
                int lead = 0;
                while (!(b & (0x80 >> lead))) ++lead;
                *zeros = p - pos_ + lead;
                return true;
            }
            p = (p & ~uint64_t{7}) + 8;
        }
        return false;
    }

private:
    uint32_t ByteAt(uint64_t i) const {
        if (i >= size_) return 0;
        const uint8_t b = data_[i];
        return lsbFirst_ ? Reverse().v[b] : b;
    }

    const uint8_t* data_;
    size_t size_;
    bool lsbFirst_;
    uint64_t pos_ = 0;
    uint64_t limit_;
};

// ---------------------------------------------------------------------------

enum class RunStatus { Ok, Eol, Invalid, OutOfData };
enum class LineStatus { Row, EmptyEol, RowThenStop, Stop };

class StripDecoder {
public:
    StripDecoder(int coding, BitReader& bits, int64_t width, size_t maxElements)
        : coding_(coding), bits_(bits), width_(width), capacity_(maxElements) {
        cur_.assign(capacity_ + 6, width_);
        ref_.assign(capacity_ + 6, width_);
        refCount_ = 0;
        eolExpected_ = coding == kGroup3OneD || coding == kGroup3TwoD;
    }

    const std::vector<int64_t>& Elements() const { return cur_; }
    size_t Count() const { return curCount_; }
    int EolCount() const { return eolCount_; }
    // Whether the line a RowThenStop gave reached the last column.
    bool LineWhole() const { return lineWhole_; }

    // Decodes the next line into the current element array.
    LineStatus NextLine() {
        curCount_ = 0;
        if (eolExpected_ && !FindEol()) return LineStatus::Stop;
        bool twoD = coding_ == kGroup4;
        if (coding_ == kGroup3TwoD) {
            if (bits_.Exhausted()) return LineStatus::Stop;
            twoD = bits_.Peek(1) == 0;
            bits_.Skip(1);
        }
        if (coding_ == kModifiedHuffman) return LineMh();
        return twoD ? Line2D() : Line1D();
    }

    // Closes the current line and makes it the reference of the next.
    void FinishLine() {
        for (size_t i = curCount_; i < curCount_ + 6 && i < cur_.size(); ++i) cur_[i] = width_;
        std::swap(cur_, ref_);
        refCount_ = curCount_;
    }

private:
    void AddElement(int64_t v) {
        if (curCount_ < capacity_) cur_[curCount_++] = v;
    }

    // Skips to the next EOL (11 or more 0 bits and a 1) and consumes it.
    bool FindEol() {
        for (;;) {
            uint64_t zeros = 0;
            if (!bits_.CountZeros(&zeros)) return false;
            if (zeros >= 11) {
                bits_.Skip(zeros + 1);
                eolExpected_ = false;
                return true;
            }
            bits_.Skip(zeros + 1);
        }
    }

    // One run of the colour: make-up codes, then a terminating code.
    RunStatus ReadRun(bool black, int64_t* run) {
        const auto& table = black ? Tables().black : Tables().white;
        int64_t total = 0;
        for (;;) {
            if (bits_.Exhausted()) return RunStatus::OutOfData;
            const uint32_t w = bits_.Peek(kLookupBits);
            if ((w >> (kLookupBits - 8)) == 0) {
                // Eight or more 0 bits: an EOL (possibly with fill) or garbage.
                uint64_t zeros = 0;
                if (!bits_.CountZeros(&zeros)) return RunStatus::OutOfData;
                if (zeros >= 11) {
                    bits_.Skip(zeros + 1);
                    return RunStatus::Eol;
                }
                return RunStatus::Invalid;
            }
            const Entry e = table[w];
            if (e.length == 0) return RunStatus::Invalid;
            bits_.Skip(e.length);
            if (bits_.Overrun()) return RunStatus::OutOfData;
            total = std::min<int64_t>(total + e.value, width_ + 1);
            if (e.value < 64) {
                *run = total;
                return RunStatus::Ok;
            }
        }
    }

    // Group 3 one-dimensional line (codes 80, and 81 with tag bit 1).
    LineStatus Line1D() {
        int64_t a0 = 0;
        bool black = false;
        bool any = false;
        for (;;) {
            int64_t run = 0;
            switch (ReadRun(black, &run)) {
            case RunStatus::Ok:
                any = true;
                eolCount_ = 0;
                a0 = std::min(a0 + run, width_);
                AddElement(a0);
                black = !black;
                break;
            case RunStatus::Eol:
                // With two-dimensional coding, only an EOL followed by tag bit 1
                // counts towards the end of page.
                if (coding_ != kGroup3TwoD || bits_.Peek(1) == 1) ++eolCount_;
                return any ? LineStatus::Row : LineStatus::EmptyEol;
            case RunStatus::Invalid:
                curCount_ = 0;  // the whole line becomes white
                eolCount_ = 0;
                eolExpected_ = true;
                return LineStatus::Row;
            case RunStatus::OutOfData:
                lineWhole_ = a0 >= width_;
                return any ? LineStatus::RowThenStop : LineStatus::Stop;
            }
        }
    }

    // Modified Huffman line: no EOLs, the line ends with its last pixel and the
    // next one starts on a byte boundary.
    LineStatus LineMh() {
        int64_t a0 = 0;
        bool black = false;
        bool any = false;
        for (;;) {
            int64_t run = 0;
            switch (ReadRun(black, &run)) {
            case RunStatus::Ok:
                any = true;
                a0 = std::min(a0 + run, width_);
                AddElement(a0);
                black = !black;
                if (a0 >= width_) {
                    bits_.AlignToByte();
                    return LineStatus::Row;
                }
                break;
            case RunStatus::Eol:
                bits_.AlignToByte();
                return any ? LineStatus::Row : LineStatus::EmptyEol;
            case RunStatus::Invalid:
                curCount_ = 0;
                bits_.Skip(1);
                bits_.AlignToByte();
                return LineStatus::Row;
            case RunStatus::OutOfData:
                lineWhole_ = false;  // a whole line ended with its last run
                return any ? LineStatus::RowThenStop : LineStatus::Stop;
            }
        }
    }

    // First reference element right of a0 whose index has the given parity
    // (0: changes to black, sought while a0 is white; 1: changes to white).
    size_t FindB1(int64_t a0, int parity) {
        size_t i = std::max<size_t>(searchFrom_[parity], static_cast<size_t>(parity));
        const size_t last = refCount_ + 4;  // end marks lie at refCount_ .. refCount_ + 5
        while (i < last && ref_[i] <= a0) i += 2;
        if (i > last) i = last;
        searchFrom_[parity] = i;
        return i;
    }

    // Two-dimensional line (code 82, and 81 with tag bit 0).
    LineStatus Line2D() {
        int64_t a0 = -1;
        bool black = false;
        bool any = false;
        lineWhole_ = false;  // every way out of the loop before the last column
        searchFrom_[0] = 0;
        searchFrom_[1] = 1;
        while (a0 < width_) {
            if (bits_.Exhausted()) return any ? LineStatus::RowThenStop : LineStatus::Stop;
            const uint32_t w = bits_.Peek(8);
            if ((w >> 1) == 0) {
                // Seven or more 0 bits: an EOL (any run of 0 bits up to a 1).
                uint64_t zeros = 0;
                if (!bits_.CountZeros(&zeros)) return any ? LineStatus::RowThenStop : LineStatus::Stop;
                bits_.Skip(zeros + 1);
                ++eolCount_;
                return any ? LineStatus::Row : LineStatus::EmptyEol;
            }
            if ((w >> 1) == 1) {  // 0000001: extension code, skipped
                bits_.Skip(7);
                continue;
            }
            const int parity = black ? 1 : 0;
            if (w & 0x80) {  // V0
                bits_.Skip(1);
                Vertical(&a0, &black, 0, parity);
            } else if ((w >> 5) == 3) {  // 011 VR1
                bits_.Skip(3);
                Vertical(&a0, &black, 1, parity);
            } else if ((w >> 5) == 2) {  // 010 VL1
                bits_.Skip(3);
                Vertical(&a0, &black, -1, parity);
            } else if ((w >> 5) == 1) {  // 001 horizontal
                bits_.Skip(3);
                int64_t r1 = 0, r2 = 0;
                RunStatus s = ReadRun(black, &r1);
                if (s == RunStatus::Ok) s = ReadRun(!black, &r2);
                if (s == RunStatus::OutOfData) return any ? LineStatus::RowThenStop : LineStatus::Stop;
                if (s != RunStatus::Ok) {
                    // A broken run: Group 3 resynchronises on the next EOL with
                    // a white line; Group 4 has nothing to resynchronise on.
                    if (coding_ == kGroup4) return LineStatus::Stop;
                    curCount_ = 0;
                    eolExpected_ = true;
                    return LineStatus::Row;
                }
                const int64_t a1 = std::min(std::max<int64_t>(a0, 0) + r1, width_);
                const int64_t a2 = std::min(a1 + r2, width_);
                AddElement(a1);
                AddElement(a2);
                a0 = a2;
            } else if ((w >> 4) == 1) {  // 0001 pass
                bits_.Skip(4);
                const size_t b1 = FindB1(a0, parity);
                a0 = ref_[std::min(b1 + 1, refCount_ + 5)];
            } else if ((w >> 2) == 3) {  // 000011 VR2
                bits_.Skip(6);
                Vertical(&a0, &black, 2, parity);
            } else if ((w >> 2) == 2) {  // 000010 VL2
                bits_.Skip(6);
                Vertical(&a0, &black, -2, parity);
            } else if ((w >> 1) == 3) {  // 0000011 VR3
                bits_.Skip(7);
                Vertical(&a0, &black, 3, parity);
            } else {  // 0000010 VL3
                bits_.Skip(7);
                Vertical(&a0, &black, -3, parity);
            }
            if (bits_.Overrun()) return any ? LineStatus::RowThenStop : LineStatus::Stop;
            any = true;
            eolCount_ = 0;
        }
        if (coding_ == kGroup3TwoD) eolExpected_ = true;
        return LineStatus::Row;
    }

    void Vertical(int64_t* a0, bool* black, int offset, int parity) {
        const size_t b1 = FindB1(*a0, parity);
        int64_t a1 = ref_[b1] + offset;
        a1 = std::max(a1, std::max<int64_t>(*a0, 0));
        a1 = std::min(a1, width_);
        AddElement(a1);
        *a0 = a1;
        *black = !*black;
    }

    int coding_;
    BitReader& bits_;
    int64_t width_;
    size_t capacity_;
    std::vector<int64_t> cur_, ref_;
    size_t curCount_ = 0;
    size_t refCount_ = 0;
    size_t searchFrom_[2] = {0, 1};
    int eolCount_ = 0;
    bool eolExpected_ = false;
    bool lineWhole_ = false;
};

void FillBits(uint8_t* data, uint64_t start, uint64_t count, bool set) {
    auto fillOne = [&](uint64_t bit) {
        const uint8_t mask = static_cast<uint8_t>(0x80 >> (bit & 7));
        data[bit >> 3] = set ? (data[bit >> 3] | mask) : (data[bit >> 3] & ~mask);
    };
    for (; count > 0 && (start & 7); ++start, --count) fillOne(start);
    if (count >= 8) {
        std::memset(data + (start >> 3), set ? 0xFF : 0x00, count >> 3);
        start += count & ~uint64_t{7};
        count &= 7;
    }
    for (; count > 0; ++start, --count) fillOne(start);
}

void WriteRow(BitPlane& plane, int64_t row, int64_t width, const std::vector<int64_t>& elements,
              size_t count) {
    if (row < 0 || row >= plane.rows) return;
    const int64_t planeRow = plane.bottomUp ? plane.rows - 1 - row : row;
    const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(width), plane.rowBits);
    const uint64_t start = static_cast<uint64_t>(planeRow) * plane.rowBits;
    if (n == 0 || start + n > static_cast<uint64_t>(plane.sizeBytes) * 8) return;
    FillBits(plane.data, start, n, false);
    for (size_t k = 0; k < count; k += 2) {
        const uint64_t from = static_cast<uint64_t>(std::clamp<int64_t>(elements[k], 0, width));
        const int64_t endElement = k + 1 < count ? elements[k + 1] : width;
        const uint64_t to = std::min<uint64_t>(static_cast<uint64_t>(std::clamp<int64_t>(endElement, 0, width)), n);
        if (to > from) FillBits(plane.data, start + from, to - from, true);
    }
}

} // namespace

bool IsCcittCoding(int code) {
    return code == kGroup3OneD || code == kGroup3TwoD || code == kGroup4 || code == kModifiedHuffman;
}

namespace {

// The decoding of one strip's lines; `put(row, elements, count)` receives
// each row's changing elements.
template <typename Put>
void DecodeLines(int coding, const uint8_t* data, size_t size, bool lsbFirst, int64_t width, int64_t rowCount,
                 StripResult& r, const Put& put) {
    // Each element costs at least one bit of code, so a line can never hold
    // more elements than the strip has bits (plus the two of a last run pair).
    const uint64_t byBits = static_cast<uint64_t>(size) * 8 + 2;
    const size_t maxElements = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(width), byBits));

    BitReader bits(data, size, lsbFirst);
    StripDecoder decoder(coding, bits, width, maxElements);
    const int endOfPageEols = coding == kGroup4 ? 2 : 6;

    int64_t row = 0;
    while (row < rowCount) {
        const LineStatus status = decoder.NextLine();
        if (status == LineStatus::Stop) {
            r.dataExhausted = true;
            break;
        }
        if (status == LineStatus::EmptyEol) {
            if (coding != kModifiedHuffman && decoder.EolCount() >= endOfPageEols) {
                r.endOfPage = true;
                break;
            }
            continue;
        }
        put(row, decoder.Elements(), decoder.Count());
        decoder.FinishLine();
        ++row;
        if (status == LineStatus::RowThenStop) {
            r.dataExhausted = row < rowCount || !decoder.LineWhole();
            break;
        }
    }
    r.rowsWritten = row;
}

} // namespace

bool DecodeStrip(int coding, const uint8_t* data, size_t size, bool lsbFirst, int64_t width,
                 int64_t firstRow, int64_t rowCount, BitPlane& plane, StripResult* result) {
    StripResult local;
    StripResult& r = result ? *result : local;
    r = StripResult{};
    if (!IsCcittCoding(coding) || width < 1) return false;
    if (plane.data == nullptr || plane.rowBits == 0 || plane.rows <= 0) return true;
    if (static_cast<uint64_t>(plane.rows) > static_cast<uint64_t>(plane.sizeBytes) * 8 / plane.rowBits) {
        return false;  // the plane does not hold its rows
    }
    if (data == nullptr) size = 0;
    DecodeLines(coding, data, size, lsbFirst, width, rowCount, r,
                [&](int64_t row, const std::vector<int64_t>& elements, size_t count) {
                    WriteRow(plane, firstRow + row, width, elements, count);
                });
    return true;
}

bool DecodeStripRows(int coding, const uint8_t* data, size_t size, bool lsbFirst, int64_t width, int64_t rowCount,
                     const RowSink& sink, StripResult* result) {
    StripResult local;
    StripResult& r = result ? *result : local;
    r = StripResult{};
    if (!IsCcittCoding(coding) || width < 1) return false;
    if (data == nullptr) size = 0;
    std::vector<uint8_t> bits(static_cast<size_t>((width + 7) / 8));
    BitPlane one;
    one.data = bits.data();
    one.sizeBytes = bits.size();
    one.rowBits = bits.size() * 8;
    one.rows = 1;
    DecodeLines(coding, data, size, lsbFirst, width, rowCount, r,
                [&](int64_t row, const std::vector<int64_t>& elements, size_t count) {
                    std::fill(bits.begin(), bits.end(), 0);
                    WriteRow(one, 0, width, elements, count);
                    sink(row, bits.data());
                });
    return true;
}

std::vector<uint8_t> DecodeImage(int coding, const std::vector<std::vector<uint8_t>>& strips,
                                 bool lsbFirst, int64_t width, int64_t height, int64_t rowsPerStrip) {
    if (width < 1 || height < 1) return {};
    const uint64_t rowBytes = (static_cast<uint64_t>(width) + 7) / 8;
    std::vector<uint8_t> out(rowBytes * static_cast<uint64_t>(height), 0);
    BitPlane plane;
    plane.data = out.data();
    plane.sizeBytes = out.size();
    plane.rowBits = rowBytes * 8;
    plane.rows = height;
    if (rowsPerStrip < 1) rowsPerStrip = height;
    int64_t first = 0;
    for (const auto& strip : strips) {
        if (first >= height) break;
        const int64_t rows = std::min(rowsPerStrip, height - first);
        DecodeStrip(coding, strip.data(), strip.size(), lsbFirst, width, first, rows, plane);
        first += rows;
    }
    return out;
}

} // namespace ccitt
