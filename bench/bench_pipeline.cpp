// Calculate Displacement (and the Parameters figures) on a phase image of a
// dome with a saddle and noise, the way the main window runs it, at 1024^2
// and 4096^2 (the same part at both sizes), beside the way it ran before its
// matrices were kept: every matrix re-created and zero-filled at every step,
// the unwrapped phase converted into a new matrix, and the grid-and-bucket
// unwrapper. Both give the same figures (checked). Both sides are timed in
// turn in each iteration (counter ours_over_former):
// - warm: the matrices of the previous iteration stay in the model, as when
//   the command is given again in the window;
// - cold: every iteration starts from an empty model and installs the image
//   again, as one run of sorvanta-analyze does.
// Each cold pair also states the peak memory of loading the image and one
// analysis per image byte (peak_per_image_byte, former_peak_per_image_byte),
// measured in a child process.
// BM_AnalyzeCommand times this build's sorvanta-analyze --filter on at
// 4096^2 against the same command of another build whose bin folder
// SORVANTA_REFERENCE_BIN names (skipped without it), the two processes in
// turn: CPU time (user + system) and peak memory of each.
#include "app/core/figures.h"
#include "app/core/loader.h"
#include "app/core/model/model.h"
#include "app/core/pipeline.h"
#include "app/outside/varnholde_calls.h"
#include "bench/bench_common.h"
#include "platform/messages.h"
#include "tools/synth/synth.h"
#include "varnholde/tests/reference_unwrap.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <malloc.h>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

// The image of each size, made once.
const core::PhaseImageFile& Image(int size)
{
    static core::PhaseImageFile small = MakeImage(1024), large = MakeImage(4096);
    return size == 1024 ? small : large;
}

// An empty model with the image installed (a copy of its pixels, as a load
// reads them).
bool Install(int size)
{
    model::ResetModel();
    model::state.StartupInProgress = false;
    model::files.XYUnits = "in";
    model::files.ZUnits = "mils";
    model::files.ZFormat = "0.0";
    core::SetUnitScaleFactor();
    core::InstallPhaseImage("bench_ph.tif", Image(size));
    return model::state.PhaseInMemory;
}

// Calculate Displacement as it ran before: the same steps on the whole image,
// with a fresh zero-filled matrix for every one of them.
bool FormerCalculate(const core::AnalysisOptions& o)
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

// One analysis and the Parameters text after it; false when it stopped.
bool Analyse(const core::AnalysisOptions& o, bool former)
{
    if (former ? !FormerCalculate(o) : !core::RunCalculateDisplacement(o).completed)
        return false;
    auto text = core::CalculateParametersText("4", "4");
    benchmark::DoNotOptimize(text);
    return true;
}

// Peak memory of installing the image and one analysis, per image byte,
// from an empty model with the freed memory given back (-1 when the system
// cannot tell).
double PeakPerImageByte(int size, const core::AnalysisOptions& o, bool former)
{
    model::ResetModel();
    malloc_trim(0);
    const int64_t peak = benchcommon::PeakBytes([&] { return Install(size) && Analyse(o, former); });
    return peak < 0 ? -1 : double(peak) / (double(size) * size);
}

void QuietMessages()
{
    platform::SetMessageHandler([](const std::string& t, int, const std::string&) {
        std::fprintf(stderr, "%s\n", t.c_str());
        return 1;
    });
}

// Arg 0: image size; arg 1: 0 warm, 1 cold.
void BM_CalculateDisplacement(benchmark::State& st)
{
    QuietMessages();
    const int size = static_cast<int>(st.range(0));
    const bool cold = st.range(1) != 0;
    core::AnalysisOptions o;
    o.phaseFilter = true;
    o.rotation = 1;
    // Both ways must give the same figures.
    if (!Install(size) || !Analyse(o, true)) {
        st.SkipWithError("the analysis library is not available");
        return;
    }
    const float maxZ = model::state.MaxZ, minZ = model::state.MinZ;
    if (!Install(size) || !Analyse(o, false) || model::state.MaxZ != maxZ || model::state.MinZ != minZ) {
        st.SkipWithError("the two ways give other figures");
        return;
    }
    bool ok = true;
    if (cold) {
        benchcommon::CompareInTurn(
            st, "ours_over_former", [&] { ok = Install(size) && Analyse(o, false) && ok; },
            [&] { ok = Install(size) && Analyse(o, true) && ok; });
    } else {
        // Each side keeps its own model between its iterations.
        model::ImageMatrices ours = model::images, former = model::images;
        auto turn = [&](model::ImageMatrices& kept, bool isFormer) {
            std::swap(model::images, kept);
            ok = Analyse(o, isFormer) && ok;
            std::swap(model::images, kept);
        };
        benchcommon::CompareInTurn(
            st, "ours_over_former", [&] { turn(ours, false); }, [&] { turn(former, true); });
    }
    if (!ok)
        st.SkipWithError("the analysis stopped");
    st.SetItemsProcessed(st.iterations() * size * size);
    if (cold) {
        st.counters["peak_per_image_byte"] = PeakPerImageByte(size, o, false);
        st.counters["former_peak_per_image_byte"] = PeakPerImageByte(size, o, true);
    }
    st.SetLabel(cold ? "cold: empty model, image installed each time" : "warm: matrices kept");
    model::ResetModel();
}

void BM_CalculateDisplacement_Lsf(benchmark::State& st)
{
    QuietMessages();
    core::AnalysisOptions o;
    o.rotation = st.range(0);
    if (!Install(1024)) {
        st.SkipWithError("the image was not installed");
        return;
    }
    for (auto _ : st)
        if (!Analyse(o, false)) {
            st.SkipWithError("the analysis library is not available");
            break;
        }
    st.SetLabel(o.rotation == 1 ? "LSF, no filter" : "4Pt, no filter");
    model::ResetModel();
}

// ---- the command against another build's --------------------------------------

struct ChildRun {
    double cpu = -1;      // user + system seconds
    double peakMb = -1;   // peak resident memory
};

// Runs `argv` with its output dropped; CPU and peak memory of the process.
ChildRun RunChild(const std::vector<std::string>& argv)
{
    ChildRun out;
    const pid_t pid = fork();
    if (pid < 0)
        return out;
    if (pid == 0) {
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr))
            _exit(127);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    struct rusage u {};
    if (wait4(pid, &status, 0, &u) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return out;
    out.cpu = double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
    out.peakMb = double(u.ru_maxrss) / 1024.0;
    return out;
}

void BM_AnalyzeCommand(benchmark::State& st)
{
    const char* reference = std::getenv("SORVANTA_REFERENCE_BIN");
    if (!reference || !*reference) {
        st.SkipWithError("set SORVANTA_REFERENCE_BIN to the bin folder of the build to compare with");
        return;
    }
    static const benchcommon::ScratchFolder dir("bench_analyze");
    const std::string image = dir.file("big_ph.tif"), home = dir.file("home");
    static const bool made = [&] {
        const std::string mk = std::string(SORVANTA_BINARY_DIR) + "/bin/mkphase --size 4096x4096 --fringe 10 "
                               "--surface 'dome:0.0000012+saddle:0.0000006+noise:0.02,5' --blank border:5 " +
                               image + " > /dev/null && mkdir -p " + home;
        return !dir.path().empty() && std::system(mk.c_str()) == 0;
    }();
    if (!made) {
        st.SkipWithError("the image could not be made");
        return;
    }
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
    const std::vector<std::string> ours = {std::string(SORVANTA_BINARY_DIR) + "/bin/sorvanta-analyze", "--filter",
                                           "on", image};
    std::vector<std::string> theirs = ours;
    theirs[0] = std::string(reference) + "/sorvanta-analyze";
    double cpuOurs = 0, cpuTheirs = 0, peakOurs = 0, peakTheirs = 0;
    bool ok = true, theirsFirst = false;
    for (auto _ : st) {
        ChildRun a, b;
        if (theirsFirst) b = RunChild(theirs);
        a = RunChild(ours);
        if (!theirsFirst) b = RunChild(theirs);
        theirsFirst = !theirsFirst;
        ok = ok && a.cpu >= 0 && b.cpu >= 0;
        cpuOurs += a.cpu, cpuTheirs += b.cpu;
        peakOurs = std::max(peakOurs, a.peakMb), peakTheirs = std::max(peakTheirs, b.peakMb);
    }
    if (!ok) {
        st.SkipWithError("a command failed");
        return;
    }
    const double n = double(st.iterations()), pixels = 4096.0 * 4096.0 / (1 << 20);
    st.counters["cpu_ratio"] = cpuTheirs > 0 ? cpuOurs / cpuTheirs : 0;
    st.counters["ours_cpu_ms"] = 1000 * cpuOurs / n;
    st.counters["reference_cpu_ms"] = 1000 * cpuTheirs / n;
    st.counters["peak_per_image_byte"] = peakOurs / pixels;
    st.counters["reference_peak_per_image_byte"] = peakTheirs / pixels;
    st.SetLabel("sorvanta-analyze --filter on, 4096^2, whole process");
}

} // namespace

#define SORVANTA_REPEATED(b) b->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)
// Ours and the former way in turn, warm and cold, per size.
SORVANTA_REPEATED(BENCHMARK(BM_CalculateDisplacement)->Args({1024, 0})->Args({1024, 1}));
SORVANTA_REPEATED(BENCHMARK(BM_CalculateDisplacement)->Args({4096, 0})->Args({4096, 1})->Iterations(2));
SORVANTA_REPEATED(BENCHMARK(BM_CalculateDisplacement_Lsf)->Arg(1)->Arg(2));
SORVANTA_REPEATED(BENCHMARK(BM_AnalyzeCommand)->Iterations(4));
