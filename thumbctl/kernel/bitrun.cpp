// Bit-stuffed bilevel run decoder (compression 217).
#include "thumbctl/kernel/bitrun.h"

#include "thumbctl/kernel/codec_io.h"
#include "thumbctl/kernel/ipi_env.h"
#include "thumbctl/kernel/ipi_object.h"
#include "thumbctl/kernel/ipi_store.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace bitrun {

namespace {

constexpr uint8_t kFlagCoded = 0x7E;
constexpr uint8_t kFlagRaw = 0x7F;
constexpr int kArraySize = kMaxElements + 8;  // elements, 4 end marks, and room to spare
constexpr int kMaxRunClass = 14;

bool IsFlag(uint8_t b) { return b == kFlagCoded || b == kFlagRaw; }

// Unstuffed bits of one line, one byte per bit; bits past the buffer's
// capacity are dropped.
class LineBits {
public:
    explicit LineBits(int64_t capacity) : bits_(size_t(capacity)) {}

    void Load(const uint8_t* data, size_t n)
    {
        count_ = 0;
        pos_ = 0;
        int ones = 0;
        const size_t cap = bits_.size();
        for (size_t i = 0; i < n; ++i) {
            const uint8_t byte = data[i];
            for (int b = 7; b >= 0; --b) {
                const int v = (byte >> b) & 1;
                if (v) {
                    ++ones;
                } else {
                    const bool stuffed = ones >= 5;
                    ones = 0;
                    if (stuffed) continue;
                }
                if (count_ < cap) bits_[count_++] = uint8_t(v);
            }
        }
    }
    // Next bit, or -1 when the line's bits are used up.
    int Next() { return pos_ < count_ ? bits_[pos_++] : -1; }
    size_t Count() const { return count_; }
    int At(size_t i) const { return bits_[i]; }

private:
    std::vector<uint8_t> bits_;
    size_t count_ = 0;
    size_t pos_ = 0;
};

// Run length: k 1 bits, a 0 bit, then k + 2 value bits. -1 when the bits
// run out or the class is above 14.
int64_t ReadRun(LineBits& bits)
{
    int k = 0;
    for (;;) {
        const int b = bits.Next();
        if (b < 0) return -1;
        if (b == 0) break;
        if (++k > kMaxRunClass) return -1;
    }
    int64_t value = 0;
    for (int i = 0; i < k + 2; ++i) {
        const int b = bits.Next();
        if (b < 0) return -1;
        value = (value << 1) | b;
    }
    return (int64_t(1) << (k + 2)) - 4 + value;
}

// The changing elements of a line: `count` elements, then end marks (the
// column count) up to the array's end.
struct Elements {
    int32_t e[kArraySize];
    int count = 0;
    void Clear(int32_t width)
    {
        std::fill(e, e + kArraySize, width);
        count = 0;
    }
};

// Decodes the modes of one coded line against `ref` into `cur`. 0, or 22
// for a run length that overruns the line's bits.
int DecodeCodedLine(LineBits& bits, const Elements& ref, Elements& cur, int32_t width)
{
    cur.Clear(width);
    int64_t a0 = -1;
    int colour = 0;  // 0 while a0's colour is 0 bits, 1 for 1 bits
    int bi = 0;      // where the search for b1 goes on
    const int last = kMaxElements + 3;
    while (a0 <= width - 1 && cur.count < kMaxElements) {
        // b1: the first reference element right of a0 whose parity is a0's colour.
        int i = bi;
        if ((i & 1) != colour) --i;
        if (i < colour) i = colour;
        while (i - 2 >= colour && ref.e[i - 2] > a0) i -= 2;
        while (i + 2 <= last && ref.e[i] <= a0) i += 2;
        const int64_t b1 = ref.e[i];
        const int64_t b2 = ref.e[std::min(i + 1, last)];

        int64_t delta = 0;
        bool vertical = true;
        const int c0 = bits.Next();
        if (c0 == 1) {
            const int c1 = bits.Next();
            if (c1 == 0) {
                const int s = bits.Next();
                if (s >= 0) delta = s ? -1 : 1;
            } else if (c1 == 1) {
                const int c2 = bits.Next();
                if (c2 == 0) {
                    const int s = bits.Next();
                    int64_t m = 0;
                    int b = 0;
                    while ((b = bits.Next()) == 0) ++m;
                    if (s >= 0 && b == 1) delta = s ? -(m + 2) : (m + 2);
                } else if (c2 == 1) {
                    const int c3 = bits.Next();
                    if (c3 == 0) {  // pass
                        vertical = false;
                        a0 = std::max(a0, std::min<int64_t>(b2, width));
                        bi = i;
                    } else if (c3 == 1) {  // horizontal
                        vertical = false;
                        const int64_t r1 = ReadRun(bits);
                        const int64_t r2 = r1 < 0 ? -1 : ReadRun(bits);
                        if (r1 < 0 || r2 < 0) return ipiErrSyntacticalError;
                        const int64_t a1 = std::min<int64_t>(std::max<int64_t>(a0, 0) + r1, width);
                        const int64_t a2 = std::min<int64_t>(a1 + r2, width);
                        cur.e[cur.count++] = int32_t(a1);
                        if (cur.count < kMaxElements) cur.e[cur.count++] = int32_t(a2);
                        a0 = a2;
                        bi = i;
                    }
                }
            }
        }
        // Bits used up (or cut inside a code): vertical 0.
        if (vertical) {
            int64_t a1 = b1 + delta;
            a1 = std::max<int64_t>(a1, a0 < 0 ? 0 : a0);
            a1 = std::min<int64_t>(a1, width);
            cur.e[cur.count++] = int32_t(a1);
            a0 = a1;
            colour ^= 1;
            bi = b1 < width ? i + 1 : i;
        }
    }
    return 0;
}

// Output row from the elements: the stretches between successive elements
// are 0 bits and 1 bits in turn.
void BuildRow(const Elements& cur, int32_t width, std::vector<uint8_t>& row)
{
    std::fill(row.begin(), row.end(), 0);
    for (int k = 0; k + 1 < kArraySize && k < cur.count; k += 2) {
        const int32_t from = std::min(cur.e[k], width);
        const int32_t to = std::min(cur.e[k + 1], width);
        for (int32_t x = from; x < to; ++x) row[size_t(x >> 3)] |= uint8_t(0x80u >> (x & 7));
    }
}

} // namespace

namespace {

// One plane being decoded: the output row, the two element arrays (owned),
// and the rows handed to the sink so far.
class PlaneDecoder {
public:
    PlaneDecoder(int64_t width, int64_t rows, const RowSink& sink, PlaneResult& result)
        : w_(int32_t(std::min<int64_t>(width, kIpiMaxDimension))), rows_(rows), sink_(sink), res_(result),
          row_(size_t((w_ + 7) / 8), 0), zeros_(row_.size(), 0), bits_(std::max<int64_t>(w_, kMinLineBits)),
          ref_(new Elements), cur_(new Elements)
    {
        ref_->Clear(w_);
        cur_->Clear(w_);
    }

    // Lines from data[*pos] up to the plane's end mark (see DecodePlane).
    int Run(const uint8_t* data, size_t size, size_t* pos)
    {
        size_t p = *pos;
        if (p >= size) return Exhausted(size, pos);
        uint8_t type = data[p++];
        for (;;) {
            const size_t start = p;
            while (p < size && !IsFlag(data[p])) ++p;
            const bool atEnd = p >= size;
            if (type == kFlagRaw && p == start) return EndMark(atEnd ? p : p + 1, pos);
            int rc;
            if (type == kFlagRaw) rc = RawLine(data + start, p - start);
            else if (type == kFlagCoded && std::all_of(data + start, data + p, [](uint8_t b) { return b == 0; }))
                rc = Emit(row_.data());  // repeats the previous row
            else rc = CodedLine(data + start, p - start);
            if (rc) {
                *pos = p;
                return rc;
            }
            if (atEnd) return Exhausted(size, pos);
            type = data[p++];
        }
    }

private:
    int Emit(const uint8_t* bytes)
    {
        if (y_ >= rows_) return 0;
        const int rc = sink_(y_, bytes);
        if (rc == 0) res_.rowsWritten = ++y_;
        return rc;
    }

    int ClearRest()
    {
        while (y_ < rows_)
            if (int rc = Emit(zeros_.data())) return rc;
        return 0;
    }

    // The end mark writes the output row once more; the rest of the plane is cleared.
    int EndMark(size_t next, size_t* pos)
    {
        *pos = next;
        res_.endMark = true;
        if (int rc = Emit(row_.data())) return rc;
        return ClearRest();
    }

    // The data ended before the end mark: the rest is cleared, error 8.
    int Exhausted(size_t size, size_t* pos)
    {
        *pos = size;
        if (int rc = ClearRest()) return rc;
        return ipiErrInsufficientSize;
    }

    // A raw line: its bits are the row; the next coded line is coded against
    // an empty line.
    int RawLine(const uint8_t* data, size_t n)
    {
        bits_.Load(data, n);
        std::fill(row_.begin(), row_.end(), 0);
        const size_t take = std::min<size_t>(bits_.Count(), size_t(w_));
        for (size_t x = 0; x < take; ++x)
            if (bits_.At(x)) row_[x >> 3] |= uint8_t(0x80u >> (x & 7));
        cur_->Clear(w_);
        const int rc = Emit(row_.data());
        std::fill(row_.begin(), row_.end(), 0);
        return rc;
    }

    // A line coded against the previous one.
    int CodedLine(const uint8_t* data, size_t n)
    {
        bits_.Load(data, n);
        std::swap(ref_, cur_);
        if (int rc = DecodeCodedLine(bits_, *ref_, *cur_, w_)) return rc;
        BuildRow(*cur_, w_, row_);
        return Emit(row_.data());
    }

    const int32_t w_;
    const int64_t rows_;
    const RowSink& sink_;
    PlaneResult& res_;
    std::vector<uint8_t> row_, zeros_;
    LineBits bits_;
    std::unique_ptr<Elements> ref_, cur_;
    int64_t y_ = 0;
};

} // namespace

int DecodePlane(const uint8_t* data, size_t size, size_t* pos, int64_t width, int64_t rows, const RowSink& sink,
                PlaneResult* result)
{
    PlaneResult local;
    PlaneResult& res = result ? *result : local;
    res = PlaneResult();
    if (width < 1 || rows < 0) return ipiErrOutOfRange;
    return PlaneDecoder(width, rows, sink, res).Run(data, size, pos);
}

std::vector<uint8_t> DecodeImage(const std::vector<uint8_t>& data, int64_t width, int64_t rows, int* error)
{
    const size_t rowBytes = size_t((width + 7) / 8);
    std::vector<uint8_t> out(rowBytes * size_t(std::max<int64_t>(rows, 0)), 0);
    size_t pos = 0;
    int rc = DecodePlane(data.data(), data.size(), &pos, width, rows,
                         [&](int64_t y, const uint8_t* bits) {
                             std::memcpy(out.data() + size_t(y) * rowBytes, bits, rowBytes);
                             return 0;
                         });
    if (error) *error = rc;
    return out;
}

} // namespace bitrun

int ipiPutBitRow(IPIENVIRONMENT* env, IPIACCESSOR* out, int64_t sampleIndex, const uint8_t* bits, int64_t count)
{
    if (!out || !out->store || out->store->precision != 1) return ipiReportError(env, ipiErrMismatchDataType);
    count = std::min(count, out->store->lineWidth);
    uint8_t* line = ipiReadAtOffset(env, out, sampleIndex);
    if (!line) return ipiGetError(env);
    const int64_t bit0 = sampleIndex % 8;
    const bool lsbFirst = out->bitOrder == ipiOrderLsbFirst;
    if (!lsbFirst) {
        // Byte by byte: destination byte k takes the source bits shifted right
        // by bit0; the bits outside [bit0, bit0 + count) keep their values.
        const int s = int(bit0);
        const int64_t srcBytes = (count + 7) / 8;
        const int64_t end = s + count;
        const int64_t dstBytes = (end + 7) / 8;
        auto merge = [&](int64_t k) {
            unsigned v = k < srcBytes ? unsigned(bits[k]) >> s : 0u;
            if (s && k > 0 && k - 1 < srcBytes) v |= unsigned(bits[k - 1]) << (8 - s);
            const int64_t from = std::max<int64_t>(s, 8 * k) - 8 * k;
            const int64_t to = std::min<int64_t>(end, 8 * k + 8) - 8 * k;
            const unsigned mask = (0xFFu >> from) & (0xFFu << (8 - to)) & 0xFFu;
            line[k] = uint8_t((line[k] & ~mask) | (v & mask));
        };
        merge(0);
        // Inner bytes lie wholly inside the row (and k < srcBytes there).
        if (s == 0) {
            if (dstBytes > 2) std::memcpy(line + 1, bits + 1, size_t(dstBytes - 2));
        } else {
            for (int64_t k = 1; k + 1 < dstBytes; ++k)
                line[k] = uint8_t((unsigned(bits[k - 1]) << (8 - s)) | (unsigned(bits[k]) >> s));
        }
        if (dstBytes > 1) merge(dstBytes - 1);
        return ipiWriteAt(env, out, sampleIndex);
    }
    for (int64_t x = 0; x < count; ++x) {
        const bool set = bits[x >> 3] & (0x80u >> (x & 7));
        const int64_t b = bit0 + x;
        const uint8_t mask = lsbFirst ? uint8_t(1u << (b & 7)) : uint8_t(0x80u >> (b & 7));
        if (set) line[b >> 3] |= mask;
        else line[b >> 3] &= uint8_t(~mask);
    }
    return ipiWriteAt(env, out, sampleIndex);
}

int BitStuffedRunDecode(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, source) || !ipiIsValidObject(env, target)) return ipiGetError(env);
    if (source->dataType != ipiTypeBoolean || target->dataType != ipiTypeBoolean)
        return ipiReportError(env, ipiErrMismatchDataType);
    const int64_t width = std::min(source->dim[0], target->dim[0]);
    int64_t overlap[5];
    for (int d = 1; d < 5; ++d) overlap[d] = std::min(source->dim[d], target->dim[d]);
    if (width < 1 || overlap[1] < 1 || overlap[2] < 1 || overlap[3] < 1 || overlap[4] < 1) return 0;
    if (width > kIpiMaxDimension) return ipiReportError(env, ipiErrExceedImplementation);

    std::vector<uint8_t> data;
    if (int rc = CodecReadAll(env, source, source->size > 0 ? source->size : -1, &data)) return rc;

    IPIACCESSOR* out = ipiOpenAccessor(env, target, "w", 1, nullptr, 0);
    if (!out) return ipiGetError(env);
    const int64_t X = target->dim[0], Y = target->dim[1], Z = target->dim[2], T = target->dim[3];
    int rc = 0;
    size_t pos = 0;
    for (int64_t b = 0; rc == 0 && b < overlap[4]; ++b)
        for (int64_t t = 0; rc == 0 && t < overlap[3]; ++t)
            for (int64_t z = 0; rc == 0 && z < overlap[2]; ++z) {
                const int64_t planeRow0 = ((b * T + t) * Z + z) * Y;
                rc = bitrun::DecodePlane(data.data(), data.size(), &pos, width, overlap[1],
                                         [&](int64_t y, const uint8_t* bits) {
                                             return ipiPutBitRow(env, out, (planeRow0 + y) * X, bits, width);
                                         });
                if (rc) ipiReportError(env, rc);
            }
    const int closeRc = ipiCloseAccessor(env, out);
    return rc ? rc : closeRc;
}
