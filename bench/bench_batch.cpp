// A batch run over a folder of synthetic 1024 x 1024 phase images beside the
// same per-image work done the way it ran before the analysis matrices were
// kept: every matrix re-created and zero-filled for every image, the image
// zero-filled before its pixels were moved in, and the grid-and-bucket
// unwrapper. Both are timed in turn in each iteration (counter
// ours_over_former, and images_per_s of ours). Also Calculate Displacement on
// one of the images in memory and the reading of one image, the largest part
// of what the batch adds to the analysis. The folder is made once in the
// temporary folder and removed with everything in it when the program ends.
// Run with repetitions (set below) and read the medians and the spread.
#include "app/batch/engine.h"
#include "app/core/figures.h"
#include "app/core/header.h"
#include "app/core/loader.h"
#include "app/core/model/model.h"
#include "app/core/pipeline.h"
#include "app/core/runtime.h"
#include "app/outside/varnholde_calls.h"
#include "bench/bench_common.h"
#include "platform/folderjobs.h"
#include "platform/messages.h"
#include "platform/strandel_binding.h"
#include "tools/synth/synth.h"
#include "varnholde/tests/reference_unwrap.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kImages = 16, kSize = 1024;

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

// The folder of images, written once per process; empty when it could not be
// made. The folder object removes it at exit, whatever happened.
const std::string& Folder()
{
    static const benchcommon::ScratchFolder dir("sorvanta_bench_batch_");
    static const std::string folder = [] {
        if (dir.path().empty()) return std::string();
        for (int i = 0; i < kImages; ++i) {
            std::string error;
            auto z = synth::ParseSurface("dome:0.00001+saddle:0.000005+noise:0.02," + std::to_string(i + 1), kSize,
                                         kSize, &error);
            const auto px = synth::WrapToPhase(kSize, kSize, z, 10.0);
            char file[64];
            std::snprintf(file, sizeof file, "part%03d_ph.tif", i + 1);
            if (strandel::WriteTIFFFile(dir.file(file), kSize, kSize, synth::MakeHeader(10.0, kSize, kSize),
                                        px.data()) != 0)
                return std::string();
        }
        return dir.path();
    }();
    return folder;
}

batch::BatchOptions Options()
{
    batch::BatchOptions o;
    o.folder = Folder();
    o.analysis.rotation = 1;
    o.analysis.sampleWidth = "4";
    o.analysis.sampleHeight = "4";
    o.rotationText = core::RotationItemText(1);
    return o;
}

// The batch run of the window over the folder (listed again first, as the
// window does before each run); false unless every image was analysed.
bool BatchRun(batch::BatchOptions& o, batch::RunView& view)
{
    o.files = platform::ListFiles(o.folder, "*_ph.tif");
    return batch::RunBatchAnalysis(o, view).processed == kImages;
}

// One image of the batch as it was analysed before: the analysis of
// BatchAnalyzeImage (LSF, no mask, no compensation) with fresh zero-filled
// matrices, then the diagonals and the figures of its table line.
bool ReferenceImage(const std::string& path, float width, float height)
{
    auto& im = model::images;
    editor::GreyImage p = batch::ReadBatchImage(path);
    if (!p.ok) return false;
    im.ImageCols = static_cast<int16_t>(p.cols);
    im.ImageRows = static_cast<int16_t>(p.rows);
    im.XMax = p.cols - 1;
    im.YMax = p.rows - 1;
    im.CurrentPhase.create(p.cols, p.rows);
    im.CurrentPhase.buffer() = std::move(p.pixels);
    model::files.ImageHeaderText = std::move(p.header);
    if (!core::ParseImageHeader()) return false;
    const int16_t r = im.ImageRows, c = im.ImageCols;
    im.WorkingPhase.create(c, r);
    outside::CopyByteMatrix(im.CurrentPhase.data(), r, c, im.WorkingPhase.data());
    im.UnwrappedPhase.create(c, r);
    reference_unwrap::UnwrapFloodFill(im.WorkingPhase.data(), r, c, im.UnwrappedPhase.data());
    model::state.FringeValue = model::state.HeaderFringeValue;
    im.Displacement.create(c, r);
    if (outside::PhiToMils(im.UnwrappedPhase.data(), r, c, model::state.FringeValue, im.Displacement.data()) != 0)
        return false;
    if (!core::ApplyRotation(1) || !core::HoldsData(im.Displacement)) return false;
    core::ComputeDisplacementRange();
    im.ResultMatrix.create(c, r);
    outside::SwapSingleMatrix(im.Displacement.data(), r, c, im.ResultMatrix.data());
    const int16_t xm = static_cast<int16_t>(im.XMax), ym = static_cast<int16_t>(im.YMax);
    core::ChordProfile(0, 0, xm, ym);
    im.DiagonalAB = im.ProfileData;
    core::ChordProfile(0, ym, xm, 0);
    im.DiagonalCD = im.ProfileData;
    std::string line = core::FormatNumber(core::ComputeIpcTwist(im.ResultMatrix, width, height), "0.00") +
                       core::FormatNumber(core::ComputeBow(im.ResultMatrix, width, height), "0.00") +
                       core::FormatNumber(core::ComputeCenterDeflection(im.ResultMatrix), "0.0");
    benchmark::DoNotOptimize(line);
    return true;
}

// Every image of the folder as it was analysed before; false unless all were.
bool FormerRun(const batch::BatchOptions& o)
{
    for (const std::string& f : platform::ListFiles(o.folder, "*_ph.tif"))
        if (!ReferenceImage(o.folder + "/" + f, 4, 4)) return false;
    return true;
}

void BM_BatchRun(benchmark::State& st)
{
    Units();
    if (Folder().empty()) {
        st.SkipWithError("images not written");
        return;
    }
    batch::BatchOptions o = Options();
    batch::RunView view;
    bool ours = true, former = true;
    benchcommon::CompareInTurn(st, "ours_over_former", [&] { ours = BatchRun(o, view) && ours; },
                               [&] { former = FormerRun(o) && former; });
    if (!ours || !former) {
        st.SkipWithError(ours ? "an image was not analysed the former way" : "not every image was analysed");
        return;
    }
    st.counters["images_per_s"] = st.counters["ours_ms"] > 0 ? kImages * 1000.0 / st.counters["ours_ms"] : 0;
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
    st.counters["images_per_s"] = benchmark::Counter(double(st.iterations()), benchmark::Counter::kIsRate);
}

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

#define SORVANTA_REPEATED(b) b->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)
SORVANTA_REPEATED(BENCHMARK(BM_BatchRun));
SORVANTA_REPEATED(BENCHMARK(BM_CalculateDisplacement_SameImage));
SORVANTA_REPEATED(BENCHMARK(BM_ReadPhaseImage));
