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
