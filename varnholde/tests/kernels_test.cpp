// Phase kernels on synthetic surfaces with known answers: masking, filtering,
// unwrapping and conversion, plus the matrix utilities.
#include "reference_filter.h"
#include "tools/synth/synth.h"
#include "varnholde/varnholde.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr float kNoData = 9999.0f;
constexpr double kTwoPi = 6.283185307179586;

struct Scene {
    int cols, rows;
    synth::Surface z;
    double fringe;
};

Scene Warped(int cols, int rows)
{
    // Tilt + paraboloid + saddle; steepest step well under half a fringe.
    std::string err;
    synth::Surface z = synth::ParseSurface("plane:0.011,-0.007,0.3+dome:0.00004+saddle:0.00006", cols, rows, &err);
    EXPECT_TRUE(err.empty()) << err;
    return {cols, rows, z, 0.5};
}

// Exact unwrapped count of a pixel as the bytes encode it (the 128 -> 127
// substitution included).
long TrueCount(const Scene& s, int x, int y)
{
    const long q = std::lround(256.0 * s.z(x, y) / s.fringe);
    const long wrapped = ((q % 256) + 256) % 256;
    return q - (wrapped - synth::PhaseByte(s.z(x, y), s.fringe));
}

std::vector<float> UnwrapToMils(const std::vector<uint8_t>& phase, const Scene& s)
{
    std::vector<float> phi(phase.size(), -1.0f), mils(phase.size(), -1.0f);
    EXPECT_EQ(Unwrap_FloodFill(phase.data(), -1, s.rows, s.cols, phi.data()), 0) << Varnholde_LastError();
    EXPECT_EQ(PhiToMils(phi.data(), s.rows, s.cols, static_cast<float>(s.fringe), mils.data()), 0);
    return mils;
}

// Checks that every data pixel equals the truth plus one whole-count constant
// per island (labelled by `island`), and that the result is within one count
// of truth + constant; blank pixels must be 9999.0.
void ExpectTruthPlusConstant(const std::vector<uint8_t>& phase, const std::vector<float>& mils, const Scene& s,
                             const std::function<int(int, int)>& island)
{
    const double count = s.fringe / 256.0;
    std::vector<double> offset(8, NAN);
    int wrong = 0;
    for (int y = 0; y < s.rows; ++y)
        for (int x = 0; x < s.cols; ++x) {
            const size_t i = size_t(y) * s.cols + x;
            if (phase[i] == 128) {
                ASSERT_EQ(mils[i], kNoData) << x << "," << y;
                continue;
            }
            const double k = mils[i] / count - TrueCount(s, x, y);
            ASSERT_NEAR(k, std::round(k), 0.02) << x << "," << y;
            double& o = offset[island(x, y)];
            if (std::isnan(o)) o = std::round(k);
            if (std::round(k) != o) ++wrong;
            // Within one count of the unquantised truth plus the constant.
            EXPECT_LE(std::fabs(mils[i] - s.z(x, y) - o * count), 1.5 * count + 1e-6);
        }
    EXPECT_EQ(wrong, 0);
}

TEST(Unwrap, SmoothSurfaceWholeImageAndTwoMasks)
{
    const Scene s = Warped(240, 180);
    const auto phase = synth::WrapToPhase(s.cols, s.rows, s.z, s.fringe);
    const double cx = (s.cols - 1) / 2.0, cy = (s.rows - 1) / 2.0;

    // Elliptical mask, and a comb whose teeth force long winding paths.
    std::vector<uint8_t> ellipse(phase.size()), comb(phase.size());
    for (int y = 0; y < s.rows; ++y)
        for (int x = 0; x < s.cols; ++x) {
            const double ex = (x - cx) / 110.0, ey = (y - cy) / 70.0;
            ellipse[size_t(y) * s.cols + x] = ex * ex + ey * ey <= 1.0 ? 255 : 0;
            const bool slot = (x / 12) % 2 == 1 && ((x / 24) % 2 == 0 ? y > 10 : y < s.rows - 11);
            comb[size_t(y) * s.cols + x] = slot ? 0 : 255;
        }

    const auto one = [](int, int) { return 0; };
    {
        SCOPED_TRACE("whole image");
        ExpectTruthPlusConstant(phase, UnwrapToMils(phase, s), s, one);
    }
    for (const auto* mask : {&ellipse, &comb}) {
        SCOPED_TRACE(mask == &ellipse ? "ellipse" : "comb");
        std::vector<uint8_t> masked(phase.size(), 7);
        ASSERT_EQ(Mask_UserAdd(phase.data(), mask->data(), s.rows, s.cols, masked.data()), 0);
        for (size_t i = 0; i < masked.size(); ++i) ASSERT_EQ(masked[i], (*mask)[i] ? phase[i] : 128);
        ExpectTruthPlusConstant(masked, UnwrapToMils(masked, s), s, one);
    }
}

TEST(Unwrap, BlankRingMakesIslandsEachSeededNearestTheCentreAtOrderZero)
{
    const Scene s = Warped(201, 161);
    std::string err;
    const synth::Blank ring = synth::ParseBlank("ring:40,46+rect:0,0,3,3", s.cols, s.rows, &err);
    ASSERT_TRUE(err.empty()) << err;
    auto phase = synth::WrapToPhase(s.cols, s.rows, s.z, s.fringe, ring);
    // A lone pixel inside the blank ring is an island of its own.
    const int lx = 100 + 43, ly = 80;
    phase[size_t(ly) * s.cols + lx] = 77;

    std::vector<float> phi(phase.size());
    ASSERT_EQ(Unwrap_FloodFill(phase.data(), -1, s.rows, s.cols, phi.data()), 0);
    const auto at = [&](int x, int y) { return phi[size_t(y) * s.cols + x]; };
    const auto encoded = [&](int x, int y) { return float(2 * M_PI * phase[size_t(y) * s.cols + x] / 256.0); };
    // Inner disc: the centre pixel; outer region: the first pixel beyond the
    // ring on the centre row or column (distance 46 along y is nearest).
    EXPECT_NEAR(at(100, 80), encoded(100, 80), 1e-5);
    EXPECT_NEAR(at(100, 80 - 46), encoded(100, 80 - 46), 1e-5);
    EXPECT_NEAR(at(lx, ly), encoded(lx, ly), 1e-5);
    EXPECT_EQ(at(0, 0), kNoData);

    std::vector<float> mils(phase.size());
    ASSERT_EQ(PhiToMils(phi.data(), s.rows, s.cols, float(s.fringe), mils.data()), 0);
    phase[size_t(ly) * s.cols + lx] = 128; // leave the lone pixel out of the comparison
    mils[size_t(ly) * s.cols + lx] = kNoData;
    ExpectTruthPlusConstant(phase, mils, s, [](int x, int y) {
        return std::hypot(x - 100.0, y - 80.0) < 40 ? 0 : 1;
    });
}

// A patch of random phase left of the centre: quality guidance takes the
// clean pixels beyond it round the patch, so they still unwrap exactly.
TEST(Unwrap, GoesRoundANoisyPatchInsteadOfThroughIt)
{
    const Scene smooth = Warped(200, 180);
    std::string err;
    const synth::Surface noise = synth::ParseSurface("noise:0.6,11", 200, 180, &err);
    const auto inPatch = [](int x, int y) { return x >= 40 && x < 90 && y >= 20 && y < 160; };
    Scene s = smooth;
    s.z = [&](double x, double y) { return smooth.z(x, y) + (inPatch(int(x), int(y)) ? noise(x, y) : 0.0); };
    const auto phase = synth::WrapToPhase(s.cols, s.rows, s.z, s.fringe);
    const auto mils = UnwrapToMils(phase, s);

    // Compare the clean pixels only (the patch and the pixels touching it are left out).
    auto clean = phase;
    for (int y = 0; y < s.rows; ++y)
        for (int x = 0; x < s.cols; ++x)
            if (inPatch(x, y) || inPatch(x - 1, y) || inPatch(x + 1, y) || inPatch(x, y - 1) || inPatch(x, y + 1))
                clean[size_t(y) * s.cols + x] = 128;
    auto cleanMils = mils;
    for (size_t i = 0; i < clean.size(); ++i)
        if (clean[i] == 128) cleanMils[i] = kNoData;
    ExpectTruthPlusConstant(clean, cleanMils, s, [](int, int) { return 0; });
}

TEST(Unwrap, KnownStepsAcrossTheWrapAndDeterministicResult)
{
    // One row: 250, 254, 2, 6 climbs 4 counts a step through the wrap; the
    // seed is the pixel nearest the centre (index 1 of 4: tie broken to the lower index).
    const std::vector<uint8_t> row = {250, 254, 2, 6};
    std::vector<float> phi(4);
    ASSERT_EQ(Unwrap_FloodFill(row.data(), -1, 1, 4, phi.data()), 0);
    const double c = kTwoPi / 256;
    EXPECT_NEAR(phi[0], 250 * c, 1e-5);
    EXPECT_NEAR(phi[1], 254 * c, 1e-5);
    EXPECT_NEAR(phi[2], 258 * c, 1e-5);
    EXPECT_NEAR(phi[3], 262 * c, 1e-5);

    // A step of exactly half a fringe always counts as -128.
    const std::vector<uint8_t> tie = {10, 138};
    std::vector<float> t(2);
    ASSERT_EQ(Unwrap_FloodFill(tie.data(), -1, 1, 2, t.data()), 0);
    EXPECT_NEAR(t[1] - t[0], -128 * c, 1e-5);

    // Noisy data: the same input gives bit-identical output.
    const Scene s = Warped(97, 83);
    std::string err;
    const auto noisy = synth::WrapToPhase(s.cols, s.rows, synth::ParseSurface("noise:0.2,5", 97, 83, &err), 0.5);
    std::vector<float> a(noisy.size()), b(noisy.size());
    ASSERT_EQ(Unwrap_FloodFill(noisy.data(), -1, s.rows, s.cols, a.data()), 0);
    ASSERT_EQ(Unwrap_FloodFill(noisy.data(), -1, s.rows, s.cols, b.data()), 0);
    EXPECT_EQ(a, b);
}

TEST(Unwrap, AllBlankAndUnsupportedSeed)
{
    const std::vector<uint8_t> blank(12, 128);
    std::vector<float> out(12, 0.0f);
    ASSERT_EQ(Unwrap_FloodFill(blank.data(), -1, 3, 4, out.data()), 0);
    for (float v : out) EXPECT_EQ(v, kNoData);
    EXPECT_NE(Unwrap_FloodFill(blank.data(), 5, 3, 4, out.data()), 0);
    EXPECT_STRNE(Varnholde_LastError(), "");
}

std::vector<uint8_t> Filtered(std::vector<uint8_t> p, int rows, int cols)
{
    EXPECT_EQ(PhaseFiltering(p.data(), -1, rows, cols), 0) << Varnholde_LastError();
    return p;
}

TEST(PhaseFilter, KeepsARampThatWrapsAndPullsAnOutlierIn)
{
    // A ramp of 5 counts a column from 230 that wraps 255 -> 0 at column 6.
    const int cols = 20, rows = 5;
    std::vector<uint8_t> ramp(cols * rows);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x) ramp[y * cols + x] = uint8_t((230 + 5 * x) % 256);
    const auto f = Filtered(ramp, rows, cols);
    for (int y = 0; y < rows; ++y)
        for (int x = 1; x < cols - 1; ++x) EXPECT_EQ(f[y * cols + x], ramp[y * cols + x]) << x << "," << y;

    // A lone outlier 100 counts off a flat field of 50 comes back within 4.
    std::vector<uint8_t> flat(7 * 7, 50);
    flat[3 * 7 + 3] = 150;
    const auto g = Filtered(flat, 7, 7);
    EXPECT_LE(std::abs(int(g[3 * 7 + 3]) - 50), 4);
    for (size_t i = 0; i < g.size(); ++i) EXPECT_LE(std::abs(int(g[i]) - 50), 4) << i;

    // Filtering smooth synthetic data leaves its interior within one count
    // (on the border the window is one-sided and follows the slope).
    const Scene s = Warped(64, 48);
    const auto phase = synth::WrapToPhase(s.cols, s.rows, s.z, s.fringe);
    const auto h = Filtered(phase, s.rows, s.cols);
    for (int y = 1; y < s.rows - 1; ++y)
        for (int x = 1; x < s.cols - 1; ++x) {
            const size_t i = size_t(y) * s.cols + x;
            EXPECT_LE(std::abs(int(int8_t(uint8_t(h[i] - phase[i])))), 1) << x << "," << y;
        }
}

TEST(PhaseFilter, InPlaceResultDependsOnTheUnfilteredNeighboursOnly)
{
    // Noisy phase with blanks: a filtered row must equal the middle row of the
    // same three unfiltered rows filtered on their own, so no pixel may see a
    // neighbour that was filtered before it.
    const int cols = 37, rows = 23;
    std::vector<uint8_t> p(size_t(cols) * rows);
    for (size_t i = 0; i < p.size(); ++i) p[i] = (i * 7919u + (i * i) % 101u) % 13u == 0 ? 128 : uint8_t(i * 97u + i / 5u);
    const auto whole = Filtered(p, rows, cols);
    for (int y = 1; y + 1 < rows; ++y) {
        std::vector<uint8_t> slice(p.begin() + size_t(y - 1) * cols, p.begin() + size_t(y + 2) * cols);
        const auto three = Filtered(slice, 3, cols);
        for (int x = 0; x < cols; ++x)
            ASSERT_EQ(whole[size_t(y) * cols + x], three[size_t(cols) + x]) << x << "," << y;
    }
}

TEST(PhaseFilter, BlankStaysBlankIsNotAveragedAndNoValidPixelBecomesBlank)
{
    std::vector<uint8_t> p = {10, 10, 128, 10, 10, 128, 128, 128, 10};
    const auto f = Filtered(p, 3, 3);
    EXPECT_EQ(f, p);

    // 127 and 129 alternate: their mean angle is 128, which is blank.
    std::vector<uint8_t> q(4 * 4);
    for (size_t i = 0; i < q.size(); ++i) q[i] = (i + i / 4) % 2 ? 127 : 129;
    for (uint8_t v : Filtered(q, 4, 4)) EXPECT_NE(v, 128);

    EXPECT_NE(PhaseFiltering(q.data(), 5, 4, 4), 0);
}

// Byte for byte what the filter gave one pixel at a time, on every kind of
// picture: random bytes with and without blanks, fringes with noise, runs of
// opposed neighbours that cancel out, and sizes whose rows end in every
// position of a vector.
TEST(PhaseFilter, EveryPixelAsThePixelByPixelFilterGaveIt)
{
    std::mt19937 rng(17);
    struct Case {
        int cols, rows;
        int kind;  // 0 random, 1 fringes with noise, 2 alternating opposed values
        double blank;
    };
    const Case cases[] = {
        {1, 1, 0, 0},     {1, 9, 0, 0},     {9, 1, 0, 0},      {2, 2, 0, 0.2},   {3, 3, 2, 0},
        {17, 13, 0, 0},   {31, 7, 1, 0.05}, {33, 5, 2, 0.1},   {64, 48, 1, 0},   {77, 45, 0, 0.5},
        {256, 192, 1, 0.02}, {255, 3, 0, 0}, {1021, 17, 1, 0.01}, {40, 40, 2, 0.3}, {5, 300, 1, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> p(size_t(c.cols) * c.rows);
        for (int y = 0; y < c.rows; ++y)
            for (int x = 0; x < c.cols; ++x) {
                uint8_t v;
                if (c.kind == 0) v = uint8_t(rng());
                else if (c.kind == 1) v = uint8_t(int(7.3 * x + 3.1 * y + 0.02 * x * y) + int(rng() % 9) - 4);
                else v = ((x + y) % 2) ? uint8_t(40) : uint8_t(168);
                p[size_t(y) * c.cols + x] = v;
            }
        std::bernoulli_distribution drop(c.blank);
        if (c.blank > 0)
            for (uint8_t& v : p)
                if (drop(rng)) v = 128;
        std::vector<uint8_t> expected = p;
        reference_filter::Filter3x3(expected.data(), c.rows, c.cols);
        EXPECT_EQ(Filtered(p, c.rows, c.cols), expected) << c.cols << " x " << c.rows << " kind " << c.kind;
    }
}

TEST(Conversion, PhaseToMilsAndMicrons)
{
    const std::vector<float> phi = {0.0f, float(kTwoPi), float(-kTwoPi / 2), kNoData};
    std::vector<float> mils(4), microns(4);
    ASSERT_EQ(PhiToMils(phi.data(), 2, 2, 0.8f, mils.data()), 0);
    ASSERT_EQ(PhiToMicrons(phi.data(), 2, 2, 0.8f, microns.data()), 0);
    EXPECT_FLOAT_EQ(mils[0], 0.0f);
    EXPECT_FLOAT_EQ(mils[1], 0.8f);
    EXPECT_FLOAT_EQ(mils[2], -0.4f);
    EXPECT_EQ(mils[3], kNoData);
    EXPECT_FLOAT_EQ(microns[1], 0.8f * 25.4f);
    EXPECT_EQ(microns[3], kNoData);

    // No usable fringe value: failure and no data rather than made-up heights.
    for (float bad : {0.0f, -1.0f, kNoData, NAN}) {
        EXPECT_NE(PhiToMils(phi.data(), 2, 2, bad, mils.data()), 0);
        for (float v : mils) EXPECT_EQ(v, kNoData);
    }
}

// The extremes over rows long enough for the side-by-side search and its
// tail: wherever the extreme lies, non-finite values never count, and of two
// zeros the first in order is the answer.
TEST(Matrices, ExtremesAnywhereInLongRowsAndTheFirstOfTwoZeros)
{
    for (int at : {0, 5, 7, 8, 16, 18}) {
        std::vector<float> v(19, 1.0f);
        v[3] = INFINITY, v[11] = -INFINITY, v[12] = NAN, v[4] = kNoData;
        v[size_t(at)] = -3.0f;
        v[size_t(18 - at)] = 4.0f;
        EXPECT_EQ(MinSingle(v.data(), 1, 19), -3.0f) << at;
        EXPECT_EQ(MaxSingle(v.data(), 1, 19), 4.0f) << at;
    }
    for (bool negativeFirst : {false, true}) {
        std::vector<float> v(17, 2.0f);
        v[14] = negativeFirst ? -0.0f : 0.0f;
        v[16] = negativeFirst ? 0.0f : -0.0f;
        EXPECT_EQ(std::signbit(MinSingle(v.data(), 1, 17)), negativeFirst);
        for (float& x : v) x = x == 2.0f ? -2.0f : x;
        EXPECT_EQ(std::signbit(MaxSingle(v.data(), 1, 17)), negativeFirst);
    }
}

TEST(Matrices, ExtremesSkipNoDataAndDifferencePropagatesIt)
{
    const std::vector<float> a = {3.0f, kNoData, -2.0f, 7.5f, kNoData, 0.0f};
    EXPECT_EQ(MinSingle(a.data(), 2, 3), -2.0f);
    EXPECT_EQ(MaxSingle(a.data(), 2, 3), 7.5f);
    const std::vector<float> none(4, kNoData);
    EXPECT_EQ(MinSingle(none.data(), 2, 2), kNoData);
    EXPECT_EQ(MaxSingle(none.data(), 2, 2), kNoData);

    const std::vector<float> b = {1.0f, 1.0f, kNoData, 0.5f, kNoData, 2.0f};
    std::vector<float> d(6);
    ASSERT_EQ(SubtractSingleMatrix(a.data(), b.data(), 2, 3, d.data()), 0);
    EXPECT_EQ(d, (std::vector<float>{2.0f, kNoData, kNoData, 7.0f, kNoData, -2.0f}));

    std::vector<float> c(6), s(6);
    ASSERT_EQ(CopySingleMatrix(a.data(), 2, 3, c.data()), 0);
    ASSERT_EQ(SwapSingleMatrix(a.data(), 2, 3, s.data()), 0);
    EXPECT_EQ(c, a);
    EXPECT_EQ(s, a); // element (0, 0) stays the upper-left corner

    const std::vector<uint8_t> p = {1, 2, 3, 4};
    std::vector<uint8_t> q(4);
    ASSERT_EQ(CopyByteMatrix(p.data(), 2, 2, q.data()), 0);
    EXPECT_EQ(q, p);
}

// Every kernel refuses an empty size and stays inside rows x cols: buffers
// carry guard cells after the matrix that must come back untouched.
TEST(Matrices, EveryKernelRespectsTheSizeAndRefusesEmptyOnes)
{
    const int rows = 3, cols = 5, n = rows * cols, guard = 16;
    std::vector<uint8_t> phase(n + guard, 77), mask(n + guard, 255), bytesOut(n + guard, 0xEE);
    std::vector<float> floats(n + guard, 1.5f), floats2(n + guard, 0.5f), floatsOut(n + guard, -7.0f);
    for (int i = n; i < n + guard; ++i) phase[i] = 128, mask[i] = 0, floats[i] = kNoData, floats2[i] = kNoData;
    const auto phaseGuard = phase, bytesGuard = bytesOut;
    const auto floatGuard = floats, outGuard = floatsOut;

    const std::vector<std::function<int32_t(int16_t, int16_t)>> kernels = {
        [&](int16_t r, int16_t c) { return CopyByteMatrix(phase.data(), r, c, bytesOut.data()); },
        [&](int16_t r, int16_t c) { return Mask_UserAdd(phase.data(), mask.data(), r, c, bytesOut.data()); },
        [&](int16_t r, int16_t c) { return PhaseFiltering(phase.data(), -1, r, c); },
        [&](int16_t r, int16_t c) { return Unwrap_FloodFill(phase.data(), -1, r, c, floatsOut.data()); },
        [&](int16_t r, int16_t c) { return PhiToMils(floats.data(), r, c, 1.0f, floatsOut.data()); },
        [&](int16_t r, int16_t c) { return PhiToMicrons(floats.data(), r, c, 1.0f, floatsOut.data()); },
        [&](int16_t r, int16_t c) { return RotateDisplacement(floats.data(), r, c, 1); },
        [&](int16_t r, int16_t c) { return RotateDisplacement(floats.data(), r, c, 2); },
        [&](int16_t r, int16_t c) { return CopySingleMatrix(floats.data(), r, c, floatsOut.data()); },
        [&](int16_t r, int16_t c) { return SwapSingleMatrix(floats.data(), r, c, floatsOut.data()); },
        [&](int16_t r, int16_t c) { return SubtractSingleMatrix(floats.data(), floats2.data(), r, c, floatsOut.data()); },
        [&](int16_t r, int16_t c) { return MinSingle(floats.data(), r, c) == kNoData ? -1 : 0; },
        [&](int16_t r, int16_t c) { return MaxSingle(floats.data(), r, c) == kNoData ? -1 : 0; },
    };
    for (size_t k = 0; k < kernels.size(); ++k) {
        SCOPED_TRACE("kernel " + std::to_string(k));
        for (auto [r, c] : {std::pair<int16_t, int16_t>{0, 5}, {3, 0}, {-1, 5}, {3, -4}}) {
            phase = phaseGuard, floats = floatGuard, bytesOut = bytesGuard, floatsOut = outGuard;
            EXPECT_NE(kernels[k](r, c), 0);
            EXPECT_EQ(phase, phaseGuard);
            EXPECT_EQ(floats, floatGuard);
            EXPECT_EQ(bytesOut, bytesGuard);
            EXPECT_EQ(floatsOut, outGuard);
        }
        EXPECT_EQ(kernels[k](rows, cols), 0) << Varnholde_LastError();
        for (int i = n; i < n + guard; ++i) {
            ASSERT_EQ(phase[i], phaseGuard[i]);
            ASSERT_EQ(bytesOut[i], bytesGuard[i]);
            ASSERT_EQ(floats[i], floatGuard[i]);
            ASSERT_EQ(floatsOut[i], outGuard[i]);
        }
    }
}

// No data goes in and comes out of every float kernel as 9999.0.
TEST(Matrices, NoDataSurvivesTheWholeChain)
{
    const Scene s = Warped(40, 30);
    std::string err;
    auto phase = synth::WrapToPhase(s.cols, s.rows, s.z, s.fringe, synth::ParseBlank("rect:5,5,4,4", 40, 30, &err));
    ASSERT_EQ(PhaseFiltering(phase.data(), -1, s.rows, s.cols), 0);
    std::vector<float> phi(phase.size()), d(phase.size()), diff(phase.size());
    ASSERT_EQ(Unwrap_FloodFill(phase.data(), -1, s.rows, s.cols, phi.data()), 0);
    ASSERT_EQ(PhiToMicrons(phi.data(), s.rows, s.cols, 0.5f, d.data()), 0);
    for (uint8_t mode = 0; mode <= 3; ++mode) ASSERT_EQ(RotateDisplacement(d.data(), s.rows, s.cols, mode), 0);
    const auto ref = d;
    ASSERT_EQ(SubtractSingleMatrix(d.data(), ref.data(), s.rows, s.cols, diff.data()), 0);
    for (int y = 0; y < s.rows; ++y)
        for (int x = 0; x < s.cols; ++x) {
            const bool blank = x >= 5 && x < 9 && y >= 5 && y < 9;
            const size_t i = size_t(y) * s.cols + x;
            EXPECT_EQ(phase[i] == 128, blank);
            EXPECT_EQ(d[i] == kNoData, blank);
            EXPECT_EQ(diff[i] == kNoData, blank);
            if (!blank) {
                EXPECT_EQ(diff[i], 0.0f);
            }
        }
}

} // namespace
