// Filter + unwrap + convert + LSF of a phase image of a smooth warped surface,
// as a whole and stage by stage, and the unwrapper beside the grid-and-bucket
// one it replaced (the same result on every pixel) at 1024^2 and 4096^2: the
// same part at every size, so the cost per pixel (counter per_pixel) should
// not grow with it.
// Run with repetitions (set below) and read the medians and the spread.
#include "tools/synth/synth.h"
#include "varnholde/tests/reference_unwrap.h"
#include "varnholde/varnholde.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
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

// Time per pixel (printed in seconds with a unit prefix, e.g. 30n).
void PerPixel(benchmark::State& state, int size)
{
    state.counters["per_pixel"] = benchmark::Counter(double(state.iterations()) * size * size,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
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

// The library's unwrapper and the reference one on the same part.
void BM_Unwrap(benchmark::State& state)
{
    const int size = int(state.range(0));
    const std::vector<uint8_t>& phase = PartPhase(size);
    std::vector<float> phi(phase.size());
    for (auto _ : state) {
        Check(Unwrap_FloodFill(phase.data(), -1, int16_t(size), int16_t(size), phi.data()));
        benchmark::DoNotOptimize(phi.data());
    }
    PerPixel(state, size);
}

void BM_Unwrap_Reference(benchmark::State& state)
{
    const int size = int(state.range(0));
    const std::vector<uint8_t>& phase = PartPhase(size);
    std::vector<float> phi(phase.size());
    for (auto _ : state) {
        reference_unwrap::UnwrapFloodFill(phase.data(), size, size, phi.data());
        benchmark::DoNotOptimize(phi.data());
    }
    PerPixel(state, size);
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
// Interleaved per size, so that both sides see the same machine.
BENCHMARK(BM_Unwrap_Reference)->Arg(1024)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Unwrap)->Arg(1024)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Unwrap_Reference)->Arg(4096)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Unwrap)->Arg(4096)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Convert)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Lsf)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_WholeChain)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
