// The library's flood-fill unwrapper against the grid-and-bucket one it
// replaced: the same float, bit for bit, on every pixel of images chosen to
// stress the fill order (equal costs everywhere, heavy noise, many islands,
// blank pixels at the edges, one-pixel rows and columns).
#include "reference_unwrap.h"
#include "tools/synth/synth.h"
#include "varnholde/varnholde.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct Case {
    const char* name;
    int cols, rows;
    const char* surface;  // synthetic surface ("" for random bytes)
    const char* blank;    // blank regions of the surface helper
    double randomBlank;   // share of pixels made blank at random afterwards
};

std::vector<uint8_t> MakePhase(const Case& c)
{
    std::mt19937 rng(static_cast<unsigned>(c.cols * 7919 + c.rows));
    std::vector<uint8_t> phase;
    if (*c.surface) {
        std::string err;
        const synth::Surface z = synth::ParseSurface(c.surface, c.cols, c.rows, &err);
        EXPECT_TRUE(err.empty()) << err;
        const synth::Blank blank = synth::ParseBlank(c.blank, c.cols, c.rows, &err);
        EXPECT_TRUE(err.empty()) << err;
        phase = synth::WrapToPhase(c.cols, c.rows, z, 0.5, blank);
    } else {
        phase.resize(size_t(c.cols) * c.rows);
        for (uint8_t& b : phase) b = static_cast<uint8_t>(rng());
    }
    std::bernoulli_distribution drop(c.randomBlank);
    if (c.randomBlank > 0)
        for (uint8_t& b : phase)
            if (drop(rng)) b = synth::kBlank;
    return phase;
}

TEST(UnwrapAgainstReference, EveryPixelBitwiseEqual)
{
    const Case cases[] = {
        {"single pixel", 1, 1, "plane:0,0,0.1", "none", 0},
        {"one row", 257, 1, "plane:0.3,0,0", "none", 0},
        {"one column", 1, 300, "plane:0,0.3,0", "none", 0},
        {"two by two", 2, 2, "", "none", 0},
        {"flat: every cost ties", 64, 48, "plane:0,0,0.2", "none", 0},
        {"smooth with border", 211, 157, "plane:0.011,-0.007,0.3+dome:0.00004+saddle:0.00006", "border:5", 0},
        {"ring of islands", 300, 300, "dome:0.0001+noise:0.02,3", "ring:40,80+rect:0,140,300,3", 0},
        {"noisy with holes", 256, 192, "saddle:0.0002+noise:0.2,7", "rect:20,20,30,100", 0.05},
        {"random bytes", 180, 120, "", "none", 0},
        {"speckled: many islands", 150, 130, "", "none", 0.55},
        {"blank edges and corners", 99, 77, "dome:0.0003", "rect:0,0,99,1+rect:0,0,1,77+rect:98,0,1,77", 0.2},
        {"large, noisy", 1024, 768, "dome:0.00001+saddle:0.000004+noise:0.05,11", "border:3", 0.01},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> phase = MakePhase(c);
        std::vector<float> expected(phase.size(), -1.0f), actual(phase.size(), -2.0f);
        reference_unwrap::UnwrapFloodFill(phase.data(), c.rows, c.cols, expected.data());
        ASSERT_EQ(0, Unwrap_FloodFill(phase.data(), -1, int16_t(c.rows), int16_t(c.cols), actual.data()))
            << Varnholde_LastError();
        size_t differing = 0, first = phase.size();
        for (size_t i = 0; i < phase.size(); ++i)
            if (std::memcmp(&expected[i], &actual[i], sizeof(float)) != 0) {
                if (differing++ == 0) first = i;
            }
        EXPECT_EQ(0u, differing) << "first at pixel " << first << ": " << expected[first] << " expected, "
                                 << actual[first] << " given";
    }
}

// A corridor winding through the whole image, the phase rising by nearly
// half a fringe at every step: far more fringes from the seed than the fill
// keeps in its cells, so it takes them again in wide counts.
TEST(UnwrapAgainstReference, ManyFringesFromTheSeedBitwiseEqual)
{
    const int cols = 1536, rows = 1536;
    std::vector<uint8_t> phase(size_t(cols) * rows, synth::kBlank);
    long step = 0;
    auto put = [&](int x, int y) {
        const uint8_t v = static_cast<uint8_t>((120 * step++) & 255);
        phase[size_t(y) * cols + x] = v == synth::kBlank ? uint8_t(127) : v;
    };
    for (int y = 0; y < rows; y += 2) {
        const bool rightward = (y / 2) % 2 == 0;
        for (int i = 0; i < cols; ++i) put(rightward ? i : cols - 1 - i, y);
        if (y + 1 < rows) put(rightward ? cols - 1 : 0, y + 1);
    }
    std::vector<float> expected(phase.size()), actual(phase.size());
    reference_unwrap::UnwrapFloodFill(phase.data(), rows, cols, expected.data());
    ASSERT_EQ(0, Unwrap_FloodFill(phase.data(), -1, int16_t(rows), int16_t(cols), actual.data()));
    double most = 0;
    for (float v : expected)
        if (v != 9999.0f) most = std::max(most, std::fabs(double(v)) / (2 * M_PI));
    ASSERT_GT(most, 140000.0) << "the corridor does not reach past what a cell holds";
    EXPECT_EQ(0, std::memcmp(expected.data(), actual.data(), expected.size() * sizeof(float)));
}

// The same corridor started at the pixel nearest the image centre, so that
// the seed lies at one end of it and every order counts away from 0 in one
// direction only: down with a falling phase, up with a rising one. Either
// way the orders pass what a cell holds and the fill takes them again in
// wide counts.
TEST(UnwrapAgainstReference, OrdersPastTheCellDownwardsAndUpwardsBitwiseEqual)
{
    const int cols = 1200, rows = 1200;
    for (const int rise : {-120, 120}) {
        SCOPED_TRACE(rise < 0 ? "falling" : "rising");
        std::vector<uint8_t> phase(size_t(cols) * rows, synth::kBlank);
        long step = 0;
        auto put = [&](int x, int y) {
            const uint8_t v = static_cast<uint8_t>((rise * step++) & 255);
            phase[size_t(y) * cols + x] = v == synth::kBlank ? uint8_t(127) : v;
        };
        // From (cols / 2, rows / 2) rightwards, then row pairs down to the bottom.
        const int top = rows / 2;
        for (int x = cols / 2; x < cols; ++x) put(x, top);
        put(cols - 1, top + 1);
        for (int y = top + 2; y < rows; y += 2) {
            const bool rightward = ((y - top) / 2) % 2 == 0;
            for (int i = 0; i < cols; ++i) put(rightward ? i : cols - 1 - i, y);
            if (y + 1 < rows) put(rightward ? cols - 1 : 0, y + 1);
        }
        std::vector<float> expected(phase.size()), actual(phase.size());
        reference_unwrap::UnwrapFloodFill(phase.data(), rows, cols, expected.data());
        ASSERT_EQ(0, Unwrap_FloodFill(phase.data(), -1, int16_t(rows), int16_t(cols), actual.data()));
        double low = 0, high = 0;
        for (float v : expected)
            if (v != 9999.0f) {
                low = std::min(low, double(v) / (2 * M_PI));
                high = std::max(high, double(v) / (2 * M_PI));
            }
        // A cell holds orders from -131072 to 131071.
        if (rise < 0) {
            ASSERT_LT(low, -140000.0) << "the corridor does not reach below what a cell holds";
            ASSERT_LE(high, 1.0);
        } else {
            ASSERT_GT(high, 140000.0) << "the corridor does not reach above what a cell holds";
            ASSERT_GE(low, -1.0);
        }
        EXPECT_EQ(0, std::memcmp(expected.data(), actual.data(), expected.size() * sizeof(float)));
    }
}

} // namespace
