// Calculate Displacement (and the Parameters figures) on a phase image of a
// dome with a saddle and noise, the way the main window runs it, at 1024^2 and
// 4096^2 (the same part at both sizes), beside the way it ran before its
// matrices were kept: every matrix re-created and zero-filled at every step,
// the unwrapped phase converted into a new matrix, and the grid-and-bucket
// unwrapper. Both give the same figures (checked). Each also states its peak
// memory per image byte: what loading the image and one analysis add to the
// process at most, measured on a fresh model (counter peak_per_image_byte).
// Run with repetitions (set below) and read the medians and the spread.
#include "app/core/figures.h"
#include "app/core/loader.h"
#include "app/core/model/model.h"
#include "app/core/pipeline.h"
#include "app/outside/varnholde_calls.h"
#include "platform/messages.h"
#include "tools/synth/synth.h"
#include "varnholde/tests/reference_unwrap.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <string>

namespace {

// The part at size x size pixels: its curvatures scale with the pixel size,
// the noise stays per pixel.
core::PhaseImageFile MakeImage(int size)
{
    const double k = 1024.0 / size;
    const std::string text = "dome:" + std::to_string(0.00002 * k * k) + "+saddle:" + std::to_string(0.00001 * k * k) +
                             "+noise:0.02,5";
    std::string error;
    auto surface = synth::ParseSurface(text, size, size, &error);
    core::PhaseImageFile f;
    f.ok = true;
    f.cols = f.rows = static_cast<uint16_t>(size);
    f.pixels = synth::WrapToPhase(size, size, surface, 10.0);
    f.header = synth::MakeHeader(10.0, size, size);
    return f;
}

// A fresh model with the image loaded.
bool Install(core::PhaseImageFile f)
{
    model::ResetModel();
    model::state.StartupInProgress = false;
    model::files.XYUnits = "in";
    model::files.ZUnits = "mils";
    model::files.ZFormat = "0.0";
    core::SetUnitScaleFactor();
    core::InstallPhaseImage("bench_ph.tif", std::move(f));
    return model::state.PhaseInMemory;
}

bool Prepare(int size) { return Install(MakeImage(size)); }

// Calculate Displacement as it ran before: the same steps on the whole image,
// with a fresh zero-filled matrix for every one of them.
bool ReferenceCalculate(const core::AnalysisOptions& o)
{
    auto& im = model::images;
    const int cols = im.FullXMax + 1, rows = im.FullYMax + 1;
    const auto r = static_cast<int16_t>(rows), c = static_cast<int16_t>(cols);
    im.ImageCols = c;
    im.ImageRows = r;
    im.XMax = cols - 1;
    im.YMax = rows - 1;
    im.CurrentPhase.create(cols, rows);
    outside::CopyByteMatrix(im.PhaseImage.data(), r, c, im.CurrentPhase.data());
    if (!o.exclude128)
        core::ReplaceBlankPhase();
    im.WorkingPhase.create(cols, rows);
    outside::CopyByteMatrix(im.CurrentPhase.data(), r, c, im.WorkingPhase.data());
    if (o.phaseFilter && outside::PhaseFiltering(im.WorkingPhase.data(), -1, r, c) != 0)
        return false;
    im.UnwrappedPhase.create(cols, rows);
    reference_unwrap::UnwrapFloodFill(im.WorkingPhase.data(), rows, cols, im.UnwrappedPhase.data());
    model::state.FringeValue = model::state.HeaderFringeValue;
    im.Displacement.create(cols, rows);
    if (outside::PhiToMils(im.UnwrappedPhase.data(), r, c, model::state.FringeValue, im.Displacement.data()) != 0)
        return false;
    if (!core::ApplyRotation(static_cast<int16_t>(o.rotation)))
        return false;
    core::ComputeDisplacementRange();
    im.ResultMatrix.create(cols, rows);
    outside::SwapSingleMatrix(im.Displacement.data(), r, c, im.ResultMatrix.data());
    core::ReduceData();
    im.ChartData.create(cols, rows);
    for (int y = 0; y < rows; ++y) {
        const float* row = &im.ResultMatrix(0, im.YMax - y);
        std::copy(row, row + cols, &im.ChartData(0, y));
    }
    return true;
}

bool NewCalculate(const core::AnalysisOptions& o) { return core::RunCalculateDisplacement(o).completed; }

long StatusKb(const char* field)
{
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return -1;
}

// Peak memory of loading the image and one analysis, per image byte, above
// what the process held before (-1 when the system cannot tell).
double PeakPerImageByte(int size, const std::function<bool()>& analyse)
{
    core::PhaseImageFile image = MakeImage(size);
    model::ResetModel();
    malloc_trim(0);
    // The image, made already, counts as part of what loading takes.
    const long before = StatusKb("VmRSS:") - long(image.pixels.size() / 1024);
    {
        std::ofstream reset("/proc/self/clear_refs");
        reset << "5";   // the peak restarts from the present size
    }
    if (!Install(std::move(image)) || !analyse())
        return -1;
    const long peak = StatusKb("VmHWM:");
    model::ResetModel();
    malloc_trim(0);
    return before < 0 || peak < 0 ? -1 : (peak - before) * 1024.0 / (double(size) * size);
}

void Pipeline(benchmark::State& st, bool filter, int rotation, bool reference)
{
    platform::SetMessageHandler([](const std::string& t, int, const std::string&) {
        std::fprintf(stderr, "%s\n", t.c_str());
        return 1;
    });
    const int size = static_cast<int>(st.range(0));
    core::AnalysisOptions o;
    o.phaseFilter = filter;
    o.rotation = rotation;
    const std::function<bool()> analyse = [&] { return reference ? ReferenceCalculate(o) : NewCalculate(o); };
    const double peak = PeakPerImageByte(size, analyse);
    // Both ways must give the same figures.
    if (!Prepare(size) || !NewCalculate(o)) {
        st.SkipWithError("the analysis library is not available");
        return;
    }
    const float maxZ = model::state.MaxZ, minZ = model::state.MinZ;
    for (auto _ : st) {
        if (!analyse()) {
            st.SkipWithError("the analysis stopped");
            break;
        }
        auto text = core::CalculateParametersText("4", "4");
        benchmark::DoNotOptimize(text);
    }
    if (model::state.MaxZ != maxZ || model::state.MinZ != minZ)
        st.SkipWithError("the reference gave other figures");
    st.SetItemsProcessed(st.iterations() * size * size);
    st.counters["range"] = model::state.ZRange;
    st.counters["peak_per_image_byte"] = peak;
    model::ResetModel();
}

void BM_CalculateDisplacement_Lsf(benchmark::State& st) { Pipeline(st, false, 1, false); }
void BM_CalculateDisplacement_FilterLsf(benchmark::State& st) { Pipeline(st, true, 1, false); }
void BM_CalculateDisplacement_4Pt(benchmark::State& st) { Pipeline(st, false, 2, false); }
void BM_CalculateDisplacement_FilterLsf_Reference(benchmark::State& st) { Pipeline(st, true, 1, true); }

} // namespace

#define SORVANTA_REPEATED(b) b->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)
// The whole analysis beside the way it ran before, per size.
SORVANTA_REPEATED(BENCHMARK(BM_CalculateDisplacement_FilterLsf_Reference)->Arg(1024));
SORVANTA_REPEATED(BENCHMARK(BM_CalculateDisplacement_FilterLsf)->Arg(1024));
SORVANTA_REPEATED(BENCHMARK(BM_CalculateDisplacement_FilterLsf_Reference)->Arg(4096)->Iterations(2));
SORVANTA_REPEATED(BENCHMARK(BM_CalculateDisplacement_FilterLsf)->Arg(4096)->Iterations(2));
SORVANTA_REPEATED(BENCHMARK(BM_CalculateDisplacement_Lsf)->Arg(1024));
SORVANTA_REPEATED(BENCHMARK(BM_CalculateDisplacement_4Pt)->Arg(1024));
