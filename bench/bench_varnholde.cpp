// Filter + unwrap + convert + LSF of a phase image of a smooth warped surface,
// as a whole and stage by stage; the unwrapper beside the grid-and-bucket one
// it replaced (the same result on every pixel) at 1024^2 and 4096^2, and the
// filter beside the pixel-by-pixel one it replaced (the same bytes), both
// sides timed in turn in each iteration (counter ours_over_former); and the
// unwrapper's cost per pixel at 4096^2 over that at 1024^2 of the same part,
// the two sizes timed in turn (counter scaling_4096_over_1024), which should
// stay near 1.
// Run with repetitions (set below) and read the medians and the spread.
#include "bench/bench_common.h"
#include "tools/synth/synth.h"
#include "varnholde/tests/reference_filter.h"
#include "varnholde/tests/reference_unwrap.h"
#include "varnholde/varnholde.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 1024;
constexpr float kFringe = 0.5f;

// The part at size x size pixels: its slopes and curvatures scale with the
// pixel size, the noise stays per pixel.
const std::vector<uint8_t>& PartPhase(int size)
{
    static std::map<int, std::vector<uint8_t>> cache;
    auto it = cache.find(size);
    if (it != cache.end()) return it->second;
    const double k = double(kSize) / size;
    const std::string text = "plane:" + std::to_string(0.004 * k) + "," + std::to_string(-0.003 * k) +
                             ",0+dome:" + std::to_string(0.00001 * k * k) + "+saddle:" +
                             std::to_string(0.000015 * k * k) + "+noise:0.004,3";
    std::string err;
    const auto z = synth::ParseSurface(text, size, size, &err);
    if (!z) std::abort();
    // A 5 % blank border, as a circular part on a square image leaves.
    return cache[size] = synth::WrapToPhase(size, size, z, kFringe, synth::ParseBlank("border:5", size, size, &err));
}

const std::vector<uint8_t>& Phase() { return PartPhase(kSize); }

void Check(int32_t status)
{
    if (status != 0) std::abort();
}

void BM_Filter(benchmark::State& state)
{
    std::vector<uint8_t> p(Phase().size());
    for (auto _ : state) {
        state.PauseTiming();
        p = Phase();
        state.ResumeTiming();
        Check(PhaseFiltering(p.data(), -1, kSize, kSize));
        benchmark::DoNotOptimize(p.data());
    }
}

// The library's filter and the former one, in turn, on copies of the phase.
void BM_FilterRatio(benchmark::State& state)
{
    std::vector<uint8_t> a, b;
    benchcommon::CompareInTurn(
        state, "ours_over_former",
        [&] {
            a = Phase();
            Check(PhaseFiltering(a.data(), -1, kSize, kSize));
        },
        [&] {
            b = Phase();
            reference_filter::Filter3x3(b.data(), kSize, kSize);
        });
    if (a != b) state.SkipWithError("the filters give other bytes");
}

// The library's unwrapper and the former one on the same part, in turn.
void BM_UnwrapRatio(benchmark::State& state)
{
    const int size = int(state.range(0));
    const std::vector<uint8_t>& phase = PartPhase(size);
    std::vector<float> ours(phase.size()), former(phase.size());
    benchcommon::CompareInTurn(
        state, "ours_over_former",
        [&] { Check(Unwrap_FloodFill(phase.data(), -1, int16_t(size), int16_t(size), ours.data())); },
        [&] { reference_unwrap::UnwrapFloodFill(phase.data(), size, size, former.data()); });
    if (std::memcmp(ours.data(), former.data(), ours.size() * sizeof(float)) != 0)
        state.SkipWithError("the unwrappers give other results");
    state.counters["ours_ns_per_pixel"] = state.counters["ours_ms"] * 1e6 / (double(size) * size);
}

// The library's unwrapper at 1024^2 and 4096^2 of the same part, in turn:
// the cost per pixel of the larger over that of the smaller.
void BM_UnwrapScaling(benchmark::State& state)
{
    const std::vector<uint8_t>& small = PartPhase(1024);
    const std::vector<uint8_t>& large = PartPhase(4096);
    std::vector<float> a(small.size()), b(large.size());
    benchcommon::CompareInTurn(
        state, "large_over_small", [&] { Check(Unwrap_FloodFill(large.data(), -1, 4096, 4096, b.data())); },
        [&] { Check(Unwrap_FloodFill(small.data(), -1, 1024, 1024, a.data())); });
    // Per pixel: the larger part has 16 times the pixels.
    state.counters["scaling_4096_over_1024"] = state.counters["large_over_small"] / 16.0;
    state.counters["ns_per_pixel_1024"] = state.counters["reference_ms"] * 1e6 / (1024.0 * 1024.0);
    state.counters["ns_per_pixel_4096"] = state.counters["ours_ms"] * 1e6 / (4096.0 * 4096.0);
    state.counters.erase("large_over_small");
    state.counters.erase("ours_ms");
    state.counters.erase("reference_ms");
}

void BM_Convert(benchmark::State& state)
{
    std::vector<float> phi(Phase().size()), d(Phase().size());
    Check(Unwrap_FloodFill(Phase().data(), -1, kSize, kSize, phi.data()));
    for (auto _ : state) {
        Check(PhiToMils(phi.data(), kSize, kSize, kFringe, d.data()));
        benchmark::DoNotOptimize(d.data());
    }
}

void BM_Lsf(benchmark::State& state)
{
    std::vector<float> phi(Phase().size()), d(Phase().size()), work;
    Check(Unwrap_FloodFill(Phase().data(), -1, kSize, kSize, phi.data()));
    Check(PhiToMils(phi.data(), kSize, kSize, kFringe, d.data()));
    for (auto _ : state) {
        state.PauseTiming();
        work = d;
        state.ResumeTiming();
        Check(RotateDisplacement(work.data(), kSize, kSize, 1));
        benchmark::DoNotOptimize(work.data());
    }
}

void BM_WholeChain(benchmark::State& state)
{
    std::vector<uint8_t> p(Phase().size());
    std::vector<float> phi(p.size()), d(p.size());
    for (auto _ : state) {
        std::copy(Phase().begin(), Phase().end(), p.begin());
        Check(PhaseFiltering(p.data(), -1, kSize, kSize));
        Check(Unwrap_FloodFill(p.data(), -1, kSize, kSize, phi.data()));
        Check(PhiToMils(phi.data(), kSize, kSize, kFringe, d.data()));
        Check(RotateDisplacement(d.data(), kSize, kSize, 1));
        benchmark::DoNotOptimize(d.data());
    }
}

} // namespace

BENCHMARK(BM_Filter)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_FilterRatio)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_UnwrapRatio)->Arg(1024)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_UnwrapRatio)->Arg(4096)->Iterations(2)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_UnwrapScaling)->Iterations(2)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Convert)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Lsf)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_WholeChain)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
