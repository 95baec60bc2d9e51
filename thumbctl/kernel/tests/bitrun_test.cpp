// Bit-stuffed bilevel run decoder: the code's own byte sequences, pictures
// coded by the fixture builder (coded and raw lines), hostile streams, and
// the kernel decoder on objects (bit offsets of narrow rows, several planes).
#include "thumbctl/kernel/bitrun.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "thumbctl/kernel/ipi.h"
#include "thumbctl/kernel/tests/kernel_env.h"
#include "tools/kfixtures/kfixtures.h"

namespace {

using Bytes = std::vector<uint8_t>;

// "1111 0 00" -> bytes as the code stores them: a 0 bit inserted after every
// five 1 bits, zero padded.
Bytes Bits(const std::string& text)
{
    kfix::StuffedBits bits;
    bits.PutBits(text);
    return bits.Finish();
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Decode(const Bytes& stream, int width, int rows, int* error = nullptr)
{
    int rc = -5;
    Bytes out = bitrun::DecodeImage(stream, width, rows, &rc);
    if (error) *error = rc;
    return out;
}

TEST(BitRunDecode, UnstuffingDropsTheZeroAfterFiveOnes)
{
    struct Case {
        const char* what;
        Bytes data;
        Bytes row;  // first 16 bits of the raw line
    } cases[] = {
        // 0xFE after a byte ending in five 1 bits: seven 1 bits, not its last 0.
        {"FE after five ones", {0x1F, 0xFE, 0x80}, {0x1F, 0xFF}},
        // 0x00 after five 1 bits: seven 0 bits.
        {"00 after five ones", {0x1F, 0x00, 0xFF}, {0x1F, 0x01}},
        // Four 1 bits do not stuff.
        {"four ones", {0x0F, 0x00}, {0x0F, 0x00}},
    };
    for (const Case& c : cases) {
        int rc = -5;
        const Bytes out = Decode(Cat({{0x7F}, c.data, {0x7F, 0x7F}}), 16, 1, &rc);
        EXPECT_EQ(rc, 0) << c.what;
        EXPECT_EQ(out, c.row) << c.what;
    }
}

TEST(BitRunDecode, RepeatLineAndEndMarkWriteTheOutputRow)
{
    // 7E 00 7F 7F: a zero data byte repeats the (empty) output row, the end
    // mark writes it once more, the other rows are cleared.
    bitrun::PlaneResult res;
    size_t pos = 0;
    const Bytes s = {0x7E, 0x00, 0x7F, 0x7F, 0x99};
    std::vector<int64_t> rows;
    EXPECT_EQ(bitrun::DecodePlane(s.data(), s.size(), &pos, 8, 4,
                                  [&](int64_t y, const uint8_t* b) { rows.push_back(y * 1000 + b[0]); return 0; },
                                  &res),
              0);
    EXPECT_EQ(rows, (std::vector<int64_t>{0, 1000, 2000, 3000}));
    EXPECT_TRUE(res.endMark);
    EXPECT_EQ(pos, 4u);  // the next plane begins after the flag that follows the end mark

    // A coded line, a repeat, the end mark: rows 0 to 2 are the line.
    const Bytes line = Bits("1111 010 011");  // horizontal, runs 2 and 3: columns 2 to 4
    int rc = -5;
    const Bytes out = Decode(Cat({{0x7E}, line, {0x7E, 0x00, 0x7F, 0x7F}}), 8, 4, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(out, (Bytes{0x38, 0x38, 0x38, 0x00}));
}

TEST(BitRunDecode, ModeCodes)
{
    struct Case {
        const char* what;
        std::vector<std::string> lines;  // coded lines, in order
        int width;
        Bytes rows;
    } cases[] = {
        // Horizontal with run lengths 0 and 1: element pair 0, 1.
        {"horizontal 0 1", {"1111 000 001"}, 8, {0x80}},
        // Vertical 1 1 0 0 0 0 1: a1 = b1 + 4 (b1 = 2 from the line above).
        {"vertical +4", {"1111 010 011", "1100001 0"}, 10, {0x38, 0x00, 0x03, 0xC0}},
        // Vertical -1 and +1 against elements 2, 5.
        {"vertical -1 +1", {"1111 010 011", "101 100"}, 8, {0x38, 0x7C}},
        // Pass: a0 jumps to b2 = 5, then vertical 0 to the next element pair (none: W).
        {"pass", {"1111 010 011", "1110 0"}, 8, {0x38, 0x00}},
        // Run-length class 1 (4..11): 10 00 -> 4, class 2: 110 0000 -> 12.
        {"run classes", {"1111 10000 1100000"}, 24, {0x0F, 0xFF, 0x00}},
        // Bits used up: vertical 0 for the rest, a copy of the line above.
        {"bits run out", {"1111 010 011", ""}, 8, {0x38, 0x38}},
    };
    for (const Case& c : cases) {
        Bytes stream;
        for (const std::string& l : c.lines) {
            stream.push_back(l.empty() ? 0x41 : 0x7E);  // an empty coded line needs a type other than 7E
            const Bytes b = Bits(l);
            stream.insert(stream.end(), b.begin(), b.end());
        }
        stream.push_back(0x7F);
        stream.push_back(0x7F);
        const int rowBytes = (c.width + 7) / 8;
        int rc = -5;
        const Bytes out = Decode(stream, c.width, int(c.rows.size()) / rowBytes, &rc);
        EXPECT_EQ(rc, 0) << c.what;
        EXPECT_EQ(out, c.rows) << c.what;
    }
}

TEST(BitRunDecode, PlaneEndsWithRepeatOrClearedRow)
{
    // Ten rows, three lines, end mark: row 4 repeats row 3 after a coded line,
    // is 0 bits after a raw line; rows 5 to 10 are 0 bits.
    const kfix::Bilevel b = kfix::PatternBilevel(19, 3, 2);
    const size_t rb = size_t(b.RowBytes());
    for (bool rawLast : {false, true}) {
        int rc = -5;
        const Bytes out = Decode(kfix::EncodeRunPlane(b, rawLast ? std::vector<int>{2} : std::vector<int>{}), 19, 10, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(Bytes(out.begin(), out.begin() + long(3 * rb)), b.rows);
        const Bytes row4(out.begin() + long(3 * rb), out.begin() + long(4 * rb));
        EXPECT_EQ(row4, rawLast ? Bytes(rb, 0) : Bytes(b.rows.end() - long(rb), b.rows.end()));
        EXPECT_EQ(Bytes(out.begin() + long(4 * rb), out.end()), Bytes(6 * rb, 0));
    }
}

TEST(BitRunDecode, PicturesRoundTripThroughTheCode)
{
    for (int width : {1, 7, 8, 13, 64, 200, 1000, 4000}) {
        const kfix::Bilevel b = kfix::PatternBilevel(width, 29, uint32_t(width));
        for (const std::vector<int>& raw : {std::vector<int>{}, std::vector<int>{0, 3, 4, 28}}) {
            int rc = -5;
            const Bytes out = Decode(kfix::EncodeRunPlane(b, raw), width, 29, &rc);
            EXPECT_EQ(rc, 0) << width;
            EXPECT_EQ(out, b.rows) << "width " << width << " raw rows " << raw.size();
        }
    }
}

TEST(BitRunDecode, HostileStreams)
{
    struct Case {
        const char* what;
        Bytes stream;
        int error;
        int rowsHandedOn;
    } cases[] = {
        // The second run length needs 2 bits more than the line holds.
        {"run overruns the line", Cat({{0x7E}, Bits("1111 010 011"), {0x7E, 0xF0, 0x7F, 0x7F}}), 22, 1},
        // Class 15: fifteen 1 bits before the 0.
        {"run class above 14", Cat({{0x7E}, Bits("1111 1111111111111110 00"), {0x7F, 0x7F}}), 22, 0},
        // No end mark: the rows decoded stay, the rest is cleared, error 8.
        {"no end mark", Cat({{0x7E}, Bits("1111 010 011")}), 8, 5},
        {"empty stream", {}, 8, 5},
        // A lone 7F at the very end is the end mark without its flag.
        {"end mark at the end", {0x7E, 0x00, 0x7F}, 0, 5},
    };
    for (const Case& c : cases) {
        size_t pos = 0;
        int rows = 0;
        const int rc = bitrun::DecodePlane(c.stream.data(), c.stream.size(), &pos, 16, 5,
                                           [&](int64_t, const uint8_t*) { ++rows; return 0; });
        EXPECT_EQ(rc, c.error) << c.what;
        EXPECT_EQ(rows, c.rowsHandedOn) << c.what;
        EXPECT_LE(pos, c.stream.size()) << c.what;
    }
    // Random bytes never read or write outside the stream and the rows.
    uint32_t s = 7;
    for (int i = 0; i < 300; ++i) {
        Bytes noise(size_t(1 + i % 97));
        for (uint8_t& b : noise) b = uint8_t((s = s * 1664525u + 1013904223u) >> 24);
        int rc = -5;
        const Bytes out = Decode(noise, 1 + i % 50, 7, &rc);
        EXPECT_TRUE(rc == 0 || rc == 8 || rc == 22) << rc;
    }
}

// ---- the kernel decoder on objects -------------------------------------------

IPIOBJECT* Source(IPIENVIRONMENT* env, const Bytes& stream, int width, int rows, int bands = 1)
{
    IPIATTRIBUTE a[] = {{"repository", ipiRepositoryApplication},
                        {"applicationAddressSpace", reinterpret_cast<IPIVALUE>(stream.data())},
                        {"dataType", ipiTypeBoolean}, {"xDimension", width}, {"yDimension", rows},
                        {"bDimension", bands}, {"compression", ipiCompressionBilevelRun},
                        {"size", IPIVALUE(stream.size())}};
    return ipiCreateGenericImage(env, "src", nullptr, a, 8);
}

IPIOBJECT* Target(IPIENVIRONMENT* env, int width, int rows, int bands = 1, int dataType = ipiTypeBoolean)
{
    IPIATTRIBUTE a[] = {{"repository", ipiRepositoryWorkspace}, {"dataType", dataType}, {"xDimension", width},
                        {"yDimension", rows}, {"bDimension", bands}};
    return ipiCreateGenericImage(env, "dst", nullptr, a, 5);
}

TEST(BitRunDecoder, NarrowRowsFollowEachOtherBitByBit)
{
    // A target 10 columns wide receives rows at bit offsets 0, 10, 20, ...
    Env e;
    const kfix::Bilevel b = kfix::PatternBilevel(10, 9, 4);
    const Bytes stream = kfix::EncodeRunPlane(b);
    IPIOBJECT* src = Source(e.env, stream, 10, 9);
    IPIOBJECT* dst = Target(e.env, 10, 9);
    ASSERT_EQ(BitStuffedRunDecode(e.env, src, dst), 0);
    EXPECT_EQ(StoreBytes(e.env, dst), kfix::ContinuousBits(b));
}

TEST(BitRunDecoder, PlanesFollowEachOtherInTheStream)
{
    Env e;
    const kfix::Bilevel p0 = kfix::PatternBilevel(16, 5, 1), p1 = kfix::PatternBilevel(16, 5, 9);
    const Bytes stream = Cat({kfix::EncodeRunPlane(p0), kfix::EncodeRunPlane(p1, {1})});
    IPIOBJECT* src = Source(e.env, stream, 16, 5, 2);
    IPIOBJECT* dst = Target(e.env, 16, 5, 2);
    ASSERT_EQ(BitStuffedRunDecode(e.env, src, dst), 0);
    EXPECT_EQ(StoreBytes(e.env, dst), Cat({p0.rows, p1.rows}));
}

TEST(BitRunDecoder, RefusesWhatItCannotDecode)
{
    Env e;
    const Bytes stream = {0x7E, 0x00, 0x7F, 0x7F};
    // Not both boolean: 10.
    EXPECT_EQ(BitStuffedRunDecode(e.env, Source(e.env, stream, 8, 2), Target(e.env, 8, 2, 1, ipiTypeNonNegative)), 10);
    EXPECT_EQ(ipiGetError(e.env), 10);
    // A run that overruns its line: 22 reported, the rows before it stay.
    const kfix::Bilevel b = kfix::PatternBilevel(16, 2, 3);
    Bytes bad = kfix::EncodeRunPlane(b);
    bad.resize(bad.size() - 2);
    const Bytes tail = Cat({{0x7E}, Bits("1111 0111"), {0x7F, 0x7F}});
    bad.insert(bad.end(), tail.begin(), tail.end());
    IPIOBJECT* dst = Target(e.env, 16, 3);
    EXPECT_EQ(BitStuffedRunDecode(e.env, Source(e.env, bad, 16, 3), dst), 22);
    EXPECT_EQ(ipiGetError(e.env), 22);
    // A source whose `size` claims more than the data: the stream ends early (8).
    IPIOBJECT* src = Source(e.env, stream, 8, 2);
    ipiSetAttribute(e.env, src, "size", 2);
    EXPECT_EQ(BitStuffedRunDecode(e.env, src, Target(e.env, 8, 2)), 8);
}

} // namespace
