// Thumbnail reduction: box fitting, the weights of the fixed-point area
// average at every bitmap depth, and bitmaps that must be refused.
#include "thumbctl/control/thumbnail_dib.h"
#include "thumbctl/control/tests/dib_maker.h"

#include <gtest/gtest.h>

using namespace thumbctl;
using thumbctl::testkit::MakeDib;
using thumbctl::testkit::PixelBgr;

TEST(FitIntoBox, ShrinksByOneRatioAndNeverEnlarges)
{
    struct Case { int64_t w, h, bw, bh, ew, eh; } cases[] = {
        {200, 100, 80, 60, 80, 40},
        {40, 30, 80, 60, 40, 30},
        {80, 60, 80, 60, 80, 60},
        {1600, 1200, 80, 60, 80, 60},
        {100, 300, 80, 60, 20, 60},
        // Extreme shapes keep at least one pixel on the short side.
        {10000, 1, 80, 60, 80, 1},
        {1, 10000, 80, 60, 1, 60},
        {5, 5, 0, 0, 1, 1},
    };
    for (const auto& c : cases) {
        const ThumbSize s = FitIntoBox(c.w, c.h, c.bw, c.bh);
        EXPECT_EQ(s.width, c.ew) << c.w << "x" << c.h;
        EXPECT_EQ(s.height, c.eh) << c.w << "x" << c.h;
    }
}

TEST(ReduceDib, TwoByTwoBlocksArePlainMeans)
{
    DibHandle src(MakeDib(100, 100, 24, {}, [](int64_t x, int64_t y) {
        return PixelBgr{uint8_t(x * 2), uint8_t(y), uint8_t((x + y) & 255)};
    }));
    DibHandle out(ReduceDib(src.get(), 50, 50));
    ASSERT_TRUE(out);
    const QImage img = DibToImage(out.get());
    ASSERT_EQ(img.size(), QSize(50, 50));
    for (int y : {0, 7, 49})
        for (int x : {0, 13, 49}) {
            const QRgb p = img.pixel(x, y);
            EXPECT_EQ(qBlue(p), (4 * x + (4 * x + 2) + (4 * x) + (4 * x + 2)) / 4);
            EXPECT_EQ(qGreen(p), (2 * y + 2 * y + 1 + 2 * y + 2 * y + 1) / 4);
            EXPECT_EQ(qRed(p), (4 * (2 * x + 2 * y) + 4) / 4);
        }
}

TEST(ReduceDib, ThreeToTwoWeighsTheSharedPixelByHalf)
{
    const uint8_t v[3] = {0, 90, 255};
    DibHandle src(MakeDib(3, 1, 24, {}, [&](int64_t x, int64_t) { return PixelBgr{v[x], v[x], v[x]}; }));
    DibHandle out(ReduceDib(src.get(), 2, 1));
    const QImage img = DibToImage(out.get());
    EXPECT_EQ(qBlue(img.pixel(0, 0)), (256 * 0 + 128 * 90) / 384);
    EXPECT_EQ(qBlue(img.pixel(1, 0)), (128 * 90 + 256 * 255) / 384);
}

TEST(ReduceDib, BilevelBecomesAGreyRampIndex)
{
    // Colour 0 black, colour 1 white; one set and one clear pixel.
    DibHandle src(MakeDib(2, 1, 1, {{0, 0, 0}, {255, 255, 255}},
                          [](int64_t x, int64_t) { return PixelBgr{uint8_t(x == 0), 0, 0}; }));
    DibHandle out(ReduceDib(src.get(), 1, 1));
    IpiGlobalLock lock(out.get());
    DibInfo info;
    ASSERT_TRUE(ReadDibInfo(lock.ptr(), lock.size(), &info));
    EXPECT_EQ(info.bitCount, 8);
    EXPECT_EQ(lock.ptr()[info.pixelOffset], 127);
    // Ramp entry k = c0 + (c1 - c0) x k / 256.
    const uint8_t* table = lock.ptr() + 40;
    EXPECT_EQ(table[4 * 127], 255 * 127 / 256);
    EXPECT_EQ(table[4 * 255 + 2], 255 * 255 / 256);
    EXPECT_EQ(table[0], 0);

    // A single source pixel per destination pixel gives 0 or 255.
    DibHandle same(ReduceDib(src.get(), 2, 1));
    IpiGlobalLock l2(same.get());
    ASSERT_TRUE(ReadDibInfo(l2.ptr(), l2.size(), &info));
    EXPECT_EQ(l2.ptr()[info.pixelOffset], 255);
    EXPECT_EQ(l2.ptr()[info.pixelOffset + 1], 0);
}

TEST(ReduceDib, EqualSizeCopiesEveryDepth)
{
    const std::vector<PixelBgr> table16 = [] {
        std::vector<PixelBgr> t;
        for (int k = 0; k < 16; ++k) t.push_back({uint8_t(k * 16), uint8_t(255 - k), uint8_t(k)});
        return t;
    }();
    // Width 5: odd, so the last 4-bit pixel sits in a high nibble.
    DibHandle four(MakeDib(5, 3, 4, table16, [](int64_t x, int64_t y) {
        return PixelBgr{uint8_t((x + 3 * y) & 15), 0, 0};
    }));
    const QImage a = DibToImage(DibHandle(ReduceDib(four.get(), 5, 3)).get());
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const int k = (x + 3 * y) & 15;
            EXPECT_EQ(a.pixel(x, y), qRgb(k, 255 - k, k * 16)) << x << "," << y;
        }

    struct Depth { int bits; } depths[] = {{8}, {16}, {24}, {32}};
    for (const auto& d : depths) {
        std::vector<PixelBgr> grey;
        if (d.bits == 8)
            for (int k = 0; k < 256; ++k) grey.push_back({uint8_t(k), uint8_t(k), uint8_t(k)});
        // 16-bit pixels hold 5 bits per channel: use values that survive it.
        auto value = [&](int64_t x, int64_t y) { return uint8_t(((x * 7 + y * 3) % 32) * 255 / 31); };
        DibHandle src(MakeDib(7, 4, d.bits, grey, [&](int64_t x, int64_t y) {
            const uint8_t v = value(x, y);
            return d.bits == 8 ? PixelBgr{v, 0, 0} : d.bits == 16 ? PixelBgr{v, v, v} : PixelBgr{v, uint8_t(255 - v), v};
        }));
        const QImage img = DibToImage(DibHandle(ReduceDib(src.get(), 7, 4)).get());
        ASSERT_EQ(img.size(), QSize(7, 4)) << d.bits;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 7; ++x) {
                const uint8_t v = value(x, y);
                EXPECT_EQ(img.pixel(x, y), d.bits <= 16 ? qRgb(v, v, v) : qRgb(v, 255 - v, v)) << d.bits;
            }
    }
}

TEST(ReduceDib, LargeSpansSumInSixtyFourBits)
{
    // 4 million white pixels into one: 32-bit sums of weight x value would
    // overflow long before the end.
    std::vector<PixelBgr> grey;
    for (int k = 0; k < 256; ++k) grey.push_back({uint8_t(k), uint8_t(k), uint8_t(k)});
    DibHandle src(MakeDib(2000, 2000, 8, grey, [](int64_t, int64_t) { return PixelBgr{250, 0, 0}; }));
    const QImage img = DibToImage(DibHandle(ReduceDib(src.get(), 1, 1)).get());
    EXPECT_EQ(img.pixel(0, 0), qRgb(250, 250, 250));

    DibHandle bits(MakeDib(2000, 2000, 1, {{0, 0, 0}, {255, 255, 255}},
                           [](int64_t, int64_t) { return PixelBgr{1, 0, 0}; }));
    DibHandle out(ReduceDib(bits.get(), 1, 1));
    IpiGlobalLock lock(out.get());
    DibInfo info;
    ASSERT_TRUE(ReadDibInfo(lock.ptr(), lock.size(), &info));
    EXPECT_EQ(lock.ptr()[info.pixelOffset], 255);
}

TEST(ReduceDib, ExtremeShapesAndEnlargingStaySafe)
{
    DibHandle line(MakeDib(10000, 1, 24, {}, [](int64_t x, int64_t) { return PixelBgr{uint8_t(x), 1, 2}; }));
    const ThumbSize s = FitIntoBox(10000, 1, 80, 60);
    DibHandle a(ReduceDib(line.get(), s.width, s.height));
    EXPECT_EQ(DibToImage(a.get()).size(), QSize(80, 1));
    // More destination than source pixels (not used by the list, but safe).
    DibHandle b(ReduceDib(line.get(), 20000, 3));
    EXPECT_EQ(DibToImage(b.get()).size(), QSize(20000, 3));
    EXPECT_FALSE(ReduceDib(line.get(), 0, 5));
    EXPECT_FALSE(ReduceDib(line.get(), 5, 0));
}

TEST(ReduceDib, RefusesBrokenBitmaps)
{
    DibHandle good(MakeDib(4, 4, 8, {{1, 2, 3}}, [](int64_t x, int64_t) { return PixelBgr{uint8_t(x * 60), 0, 0}; }));
    IpiGlobalLock lock(good.get());
    // Rows cut short.
    EXPECT_FALSE(ReduceDib(lock.ptr(), lock.size() - 1, 2, 2));
    // Unknown depth, compressed data, no width.
    std::vector<uint8_t> copy(lock.ptr(), lock.ptr() + lock.size());
    copy[14] = 7;
    EXPECT_FALSE(ReduceDib(copy.data(), int64_t(copy.size()), 2, 2));
    copy[14] = 8;
    copy[16] = 1;
    EXPECT_FALSE(ReduceDib(copy.data(), int64_t(copy.size()), 2, 2));
    copy[16] = 0;
    copy[4] = copy[5] = copy[6] = copy[7] = 0;
    EXPECT_FALSE(ReduceDib(copy.data(), int64_t(copy.size()), 2, 2));
    // Indices past a one-entry table read black instead of stray memory.
    const QImage img = DibToImage(DibHandle(ReduceDib(good.get(), 4, 4)).get());
    EXPECT_EQ(img.pixel(0, 0), qRgb(3, 2, 1));
    EXPECT_EQ(img.pixel(3, 0), qRgb(0, 0, 0));
}

TEST(Dib, CopyAndInfo)
{
    DibHandle src(MakeDib(9, 5, 4, {{0, 0, 0}, {9, 9, 9}}, [](int64_t, int64_t) { return PixelBgr{1, 0, 0}; }));
    DibHandle copy(CopyDib(src.get()));
    ASSERT_TRUE(copy);
    EXPECT_NE(copy.get(), src.get());
    EXPECT_EQ(ipiGlobalSize(copy.get()), ipiGlobalSize(src.get()));
    int64_t w = 0, h = 0;
    int bits = 0;
    ASSERT_TRUE(GetDibInfo(copy.get(), &w, &h, &bits));
    EXPECT_EQ(w, 9);
    EXPECT_EQ(h, 5);
    EXPECT_EQ(bits, 4);
    EXPECT_FALSE(GetDibInfo(0, &w, &h, &bits));
    EXPECT_EQ(CopyDib(0), 0u);
}

namespace {

// One source position of a destination span and its weight out of 256.
struct Tap {
    int64_t pos, weight;
};

// The span of destination position i, written out the long way: 8.8 fixed
// point from i x step to i x step + step; first pixel 256 minus its
// fraction, whole pixels 256, the last one the fraction it reaches into.
// With span256 the span covers that much of the source (8.8), not all of it.
std::vector<Tap> Span(int64_t srcLen, int64_t dstLen, int64_t i, int64_t span256 = 0)
{
    const int64_t step = std::max<int64_t>(1, (span256 ? span256 : srcLen << 8) / dstLen);
    const int64_t a = i * step, b = a + step;
    if ((a >> 8) == (b >> 8)) return {{a >> 8, 256}};
    std::vector<Tap> taps{{a >> 8, 256 - (a & 255)}};
    for (int64_t p = (a >> 8) + 1; p < (b >> 8) && p < srcLen; ++p) taps.push_back({p, 256});
    if ((b & 255) != 0 && (b >> 8) < srcLen) taps.push_back({b >> 8, b & 255});
    return taps;
}

// Reduces a bitmap pixel by pixel (weight of a pixel = product of its two
// axis weights / 256) and compares every destination byte with ReduceDib.
void ExpectSameAsPixelByPixel(int64_t w, int64_t h, int bits, int64_t dw, int64_t dh, uint32_t seed,
                              SourceExtent extent = {})
{
    std::vector<PixelBgr> table;
    if (bits <= 8)
        for (int k = 0; k < (1 << bits); ++k)
            table.push_back({uint8_t(k * 37 + seed), uint8_t(k * 91 + 7), uint8_t(255 - k * 13)});
    auto hash = [seed](int64_t x, int64_t y, int c) {
        uint32_t v = uint32_t(x * 73856093) ^ uint32_t(y * 19349663) ^ uint32_t(c * 83492791) ^ seed;
        v ^= v >> 13;
        v *= 0x5bd1e995u;
        return uint8_t(v >> 15);
    };
    auto pixel = [&](int64_t x, int64_t y) {
        const PixelBgr p{hash(x, y, 0), hash(x, y, 1), hash(x, y, 2)};
        if (bits <= 8) return PixelBgr{uint8_t(p.b & ((1 << bits) - 1)), 0, 0};
        return p;
    };
    // Channel values as the reduction sees them.
    auto value = [&](int64_t x, int64_t y, int c) -> int64_t {
        const PixelBgr p = pixel(x, y);
        if (bits == 1) return p.b;
        if (bits <= 8) return c == 0 ? table[p.b].b : c == 1 ? table[p.b].g : table[p.b].r;
        const uint8_t v = c == 0 ? p.b : c == 1 ? p.g : p.r;
        return bits == 16 ? (v >> 3) * 255 / 31 : v;
    };
    DibHandle src(MakeDib(w, h, bits, table, pixel));
    DibHandle out(ReduceDib(src.get(), dw, dh, extent));
    ASSERT_TRUE(out);
    IpiGlobalLock lock(out.get());
    DibInfo info;
    ASSERT_TRUE(ReadDibInfo(lock.ptr(), lock.size(), &info));
    const int channels = bits == 1 ? 1 : 3;
    ASSERT_EQ(info.bitCount, channels * 8);
    ASSERT_EQ(info.width, dw);
    ASSERT_EQ(info.height, dh);
    int mismatches = 0;
    for (int64_t j = 0; j < dh; ++j) {
        const auto ys = Span(h, dh, j, extent.height256);
        const uint8_t* row = lock.ptr() + info.pixelOffset + (dh - 1 - j) * info.stride;
        for (int64_t i = 0; i < dw; ++i) {
            const auto xs = Span(w, dw, i, extent.width256);
            for (int c = 0; c < channels; ++c) {
                int64_t sum = 0, ws = 0;
                for (const Tap& ty : ys)
                    for (const Tap& tx : xs) {
                        const int64_t weight = (tx.weight * ty.weight) >> 8;
                        ws += weight;
                        sum += weight * value(tx.pos, ty.pos, c);
                    }
                const int64_t first = value(xs[0].pos, ys[0].pos, c);
                const int64_t expected = bits == 1 ? (ws > 0 ? sum * 255 / ws : first * 255)
                                                   : (ws > 0 ? sum / ws : first);
                if (row[i * channels + c] != expected && ++mismatches <= 5)
                    ADD_FAILURE() << w << "x" << h << "@" << bits << " -> " << dw << "x" << dh << " at " << i << ","
                                  << j << " channel " << c << ": " << int(row[i * channels + c]) << " instead of "
                                  << expected;
            }
        }
    }
}

} // namespace

TEST(ReduceDib, EveryByteMatchesThePixelByPixelSum)
{
    // Whole and fractional spans, spans inside one pixel, enlarging, odd
    // widths at every depth, and the usual photo into the default box.
    struct Case { int64_t w, h, dw, dh; } cases[] = {
        {1600, 1200, 80, 60}, {1603, 1201, 80, 59}, {800, 600, 80, 60}, {37, 23, 5, 4},
        {23, 37, 7, 11},      {3, 1, 2, 1},         {5, 3, 5, 3},       {9, 7, 13, 10},
        {2, 2, 7, 5},         {101, 3, 100, 2},     {64, 1, 3, 1},      {1, 50, 1, 7},
        // Hundreds of whole rows, and more than 65,000, in one destination row.
        {3, 700, 2, 1},       {5, 1500, 2, 3},      {1, 70000, 1, 1},   {2, 66000, 1, 2},
    };
    uint32_t seed = 1;
    for (const auto& c : cases)
        for (int bits : {1, 4, 8, 16, 24, 32}) {
            if (c.w * c.h > 100000 && bits != 24 && bits != 8) continue;
            ExpectSameAsPixelByPixel(c.w, c.h, bits, c.dw, c.dh, seed++);
        }
    // A picture decoded at a fraction of its size covers only part of its
    // last column and row: 1203 x 797 at 1/8 is 151 x 100 pixels covering
    // 150.375 x 99.625 of them.
    const SourceExtent e = ExtentOfScaledPicture(151, 100, 1203, 797);
    EXPECT_EQ(e.width256, 1203 * 32);
    EXPECT_EQ(e.height256, 797 * 32);
    for (int bits : {1, 8, 24}) ExpectSameAsPixelByPixel(151, 100, bits, 80, 53, seed++, e);
    ExpectSameAsPixelByPixel(63, 41, 24, 17, 40, seed++, ExtentOfScaledPicture(63, 41, 249, 161));
    EXPECT_EQ(ExtentOfScaledPicture(63, 41, 249, 161).width256, 249 * 64);
    // A bitmap of none of the scaled sizes is reduced whole.
    EXPECT_EQ(ExtentOfScaledPicture(150, 100, 1203, 797).width256, 0);
    // Random shapes, shrinking and enlarging.
    uint32_t r = 12345;
    auto next = [&r](int n) { r = r * 1103515245u + 12345u; return int64_t((r >> 16) % uint32_t(n)) + 1; };
    for (int k = 0; k < 40; ++k) {
        const int64_t w = next(90), h = next(60);
        const int bits = std::vector<int>{1, 4, 8, 16, 24, 32}[size_t(k % 6)];
        ExpectSameAsPixelByPixel(w, h, bits, next(int(w + 8)), next(int(h + 8)), seed++);
    }
}
