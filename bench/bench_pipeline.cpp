// Calculate Displacement (and the Parameters figures) on a 1024 x 1024 phase
// image of a dome with a saddle and noise, the way the main window runs it.
#include "app/core/figures.h"
#include "app/core/loader.h"
#include "app/core/model/model.h"
#include "app/core/pipeline.h"
#include "platform/messages.h"
#include "tools/synth/synth.h"

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

bool Prepare(int size)
{
    model::ResetModel();
    model::state.StartupInProgress = false;
    model::files.XYUnits = "in";
    model::files.ZUnits = "mils";
    model::files.ZFormat = "0.0";
    core::SetUnitScaleFactor();
    std::string error;
    auto surface = synth::ParseSurface("dome:0.00002+saddle:0.00001+noise:0.02,5", size, size, &error);
    core::PhaseImageFile f;
    f.ok = true;
    f.cols = f.rows = static_cast<uint16_t>(size);
    f.pixels = synth::WrapToPhase(size, size, surface, 10.0);
    f.header = synth::MakeHeader(10.0, size, size);
    core::InstallPhaseImage("bench_ph.tif", std::move(f));
    return model::state.PhaseInMemory;
}

void Pipeline(benchmark::State& st, bool filter, int rotation)
{
    platform::SetMessageHandler([](const std::string& t, int, const std::string&) {
        std::fprintf(stderr, "%s\n", t.c_str());
        return 1;
    });
    const int size = static_cast<int>(st.range(0));
    if (!Prepare(size)) {
        st.SkipWithError("image not installed");
        return;
    }
    core::AnalysisOptions o;
    o.phaseFilter = filter;
    o.rotation = rotation;
    for (auto _ : st) {
        core::CalculateOutcome r = core::RunCalculateDisplacement(o);
        if (!r.completed) {
            st.SkipWithError("the analysis library is not available");
            break;
        }
        auto text = core::CalculateParametersText("4", "4");
        benchmark::DoNotOptimize(text);
    }
    st.SetItemsProcessed(st.iterations() * size * size);
    st.counters["range"] = model::state.ZRange;
}

void BM_CalculateDisplacement_Lsf(benchmark::State& st) { Pipeline(st, false, 1); }
void BM_CalculateDisplacement_FilterLsf(benchmark::State& st) { Pipeline(st, true, 1); }
void BM_CalculateDisplacement_4Pt(benchmark::State& st) { Pipeline(st, false, 2); }

} // namespace

BENCHMARK(BM_CalculateDisplacement_Lsf)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalculateDisplacement_FilterLsf)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalculateDisplacement_4Pt)->Arg(1024)->Unit(benchmark::kMillisecond);
