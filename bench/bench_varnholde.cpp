// Filter + unwrap + convert + LSF of a 1024 x 1024 phase image of a smooth
// warped surface, as a whole and stage by stage.
#include "tools/synth/synth.h"
#include "varnholde/varnholde.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr int kSize = 1024;
constexpr float kFringe = 0.5f;

const std::vector<uint8_t>& Phase()
{
    static const std::vector<uint8_t> phase = [] {
        std::string err;
        const auto z = synth::ParseSurface("plane:0.004,-0.003,0+dome:0.00001+saddle:0.000015+noise:0.004,3",
                                           kSize, kSize, &err);
        if (!z) std::abort();
        // A 5 % blank border, as a circular part on a square image leaves.
        return synth::WrapToPhase(kSize, kSize, z, kFringe, synth::ParseBlank("border:5", kSize, kSize, &err));
    }();
    return phase;
}

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

void BM_Unwrap(benchmark::State& state)
{
    std::vector<float> phi(Phase().size());
    for (auto _ : state) {
        Check(Unwrap_FloodFill(Phase().data(), -1, kSize, kSize, phi.data()));
        benchmark::DoNotOptimize(phi.data());
    }
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

BENCHMARK(BM_Filter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Unwrap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lsf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeChain)->Unit(benchmark::kMillisecond);
