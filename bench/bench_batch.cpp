// A batch run over a folder of 100 synthetic 640 x 480 phase images, timed per
// image, beside Calculate Displacement on one of the same images in memory:
// the difference is what the batch adds to the analysis (file reading and
// listing, diagonals, figures, the table line and the grid row).
#include "app/batch/engine.h"
#include "app/core/loader.h"
#include "app/core/model/model.h"
#include "app/core/pipeline.h"
#include "app/core/figures.h"
#include "platform/folderjobs.h"
#include "platform/messages.h"
#include "platform/strandel_binding.h"
#include "tools/synth/synth.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr int kImages = 100, kCols = 640, kRows = 480;

void Units()
{
    model::ResetModel();
    model::state.StartupInProgress = false;
    model::files.XYUnits = "in";
    model::files.ZUnits = "mils";
    model::files.ZFormat = "0.0";
    model::files.ImageFileFormat = "TIF";
    core::SetUnitScaleFactor();
    platform::SetMessageHandler([](const std::string& t, int, const std::string&) {
        std::fprintf(stderr, "%s\n", t.c_str());
        return 1;
    });
}

// The folder of images, written once per process.
const std::string& Folder()
{
    static const std::string folder = [] {
        char name[] = "/tmp/sorvanta_bench_batch_XXXXXX";
        const char* made = mkdtemp(name);
        if (!made) return std::string();
        const std::string f = made;
        for (int i = 0; i < kImages; ++i) {
            std::string error;
            auto z = synth::ParseSurface("dome:0.00005+saddle:0.00002+noise:0.02," + std::to_string(i + 1), kCols,
                                         kRows, &error);
            const auto px = synth::WrapToPhase(kCols, kRows, z, 10.0);
            char file[64];
            std::snprintf(file, sizeof file, "/part%03d_ph.tif", i + 1);
            if (strandel::WriteTIFFFile(f + file, kCols, kRows, synth::MakeHeader(10.0, kCols, kRows), px.data()) != 0)
                return std::string();
        }
        std::atexit([] { std::filesystem::remove_all(Folder()); });
        return f;
    }();
    return folder;
}

void BM_BatchRun(benchmark::State& st)
{
    Units();
    if (Folder().empty()) {
        st.SkipWithError("images not written");
        return;
    }
    batch::BatchOptions o;
    o.folder = Folder();
    o.analysis.rotation = 1;
    o.analysis.sampleWidth = "4";
    o.analysis.sampleHeight = "3";
    o.rotationText = core::RotationItemText(1);
    batch::RunView view;
    for (auto _ : st) {
        // The window lists the folder before each run.
        o.files = platform::ListFiles(o.folder, "*_ph.tif");
        const batch::RunOutcome r = batch::RunBatchAnalysis(o, view);
        if (r.processed != kImages) {
            st.SkipWithError("not every image was analysed");
            break;
        }
    }
    st.counters["per_image"] = benchmark::Counter(double(st.iterations()) * kImages,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_CalculateDisplacement_SameImage(benchmark::State& st)
{
    Units();
    if (Folder().empty() || !core::LoadPhaseImageFile(Folder() + "/part001_ph.tif")) {
        st.SkipWithError("image not loaded");
        return;
    }
    core::AnalysisOptions o;
    o.rotation = 1;
    for (auto _ : st) {
        if (!core::RunCalculateDisplacement(o).completed) {
            st.SkipWithError("the analysis library is not available");
            break;
        }
    }
    st.counters["per_image"] =
        benchmark::Counter(double(st.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Reading one image of the folder, the largest part of what the batch adds.
void BM_ReadPhaseImage(benchmark::State& st)
{
    if (Folder().empty()) {
        st.SkipWithError("images not written");
        return;
    }
    for (auto _ : st) {
        core::PhaseImageFile f = core::ReadPhaseImageFile(Folder() + "/part001_ph.tif");
        benchmark::DoNotOptimize(f.pixels.data());
    }
}

} // namespace

BENCHMARK(BM_ReadPhaseImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalculateDisplacement_SameImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BatchRun)->Unit(benchmark::kMillisecond);
