// Generate Output of the batch window.
#include "output.h"

#include "app/batch/config/utility_files.h"
#include "app/batch/engine.h"
#include "app/core/figures.h"
#include "app/core/loader.h"
#include "app/core/model/hold.h"
#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "platform/regular_file.h"
#include "platform/folders.h"
#include "plots/charts/chartexport.h"

#include <QByteArray>
#include <QFile>

#include <tuple>


namespace batch {

namespace {

const char* const kSetupError = "Batch Output Setup Error";

// Numeric box texts: both numeric and max not above min is refused.
bool RangeRefused(const std::string& lo, const std::string& hi)
{
    return core::IsNumeric(lo) && core::IsNumeric(hi) && !(core::Val(hi) > core::Val(lo));
}

// A phase image of the run, refused when a side is empty or too long.
editor::GreyImage ReadImage(const std::string& path)
{
    editor::GreyImage p = ReadBatchImage(path);
    if (!p.ok) return p;
    p.ok = p.cols > 0 && p.rows > 0 && p.cols <= 32767 && p.rows <= 32767;
    if (!p.ok) p.message = "The file cannot be opened.";
    return p;
}

// The sample legend picture: a regular file of bounded size (never a folder,
// pipe or device), copied whole or not at all; *why says which file failed.
bool CopyFile(const std::string& from, const std::string& to, std::string* why)
{
    constexpr size_t kMaxLegendBytes = size_t(64) << 20;
    std::string bytes;
    if (!platform::ReadRegularFile(from, kMaxLegendBytes, &bytes, why))
        return false;
    return core::WriteFileAtomically(to, bytes, why);
}

class Writer {
public:
    Writer(OutputReport& report) : r_(report) {}
    void picture(const charts::ChartBase& chart, const std::string& path, bool bitmap)
    {
        // Written under the path's own bytes (never through text, which
        // cannot hold a name that is not UTF-8).
        std::string why;
        const bool ok = charts::SavePictureFile(chart.renderImage(), path,
                                                bitmap ? charts::PictureFormat::Bmp : charts::PictureFormat::Jpeg, 100,
                                                &why);
        done(ok, path, why);
    }
    void done(bool ok, const std::string& path, const std::string& why)
    {
        if (ok) r_.written.push_back(path);
        else r_.failed.push_back(path + ": " + (why.empty() ? "cannot be written" : why));
    }

private:
    OutputReport& r_;
};

// Puts what the run left for its output into the model: FringeValue.txt's
// value and, for a relative run, the reference displacement.
void TakeOverRun(const OutputRun& run)
{
    model::state.CalibratedFringeValue = run.calibratedFringeValue;
    if (!run.relative) return;
    model::images.ReferenceDisplacement = run.referenceDisplacement;
    model::state.RefXMax = run.refXMax;
    model::state.RefYMax = run.refYMax;
    model::state.ReferenceInMemory = true;
}

enum class Analysed { Yes, Skipped, Failed };

// Reads image i and analyses it with the run's options; an image without a
// fringe value to use is passed over, as the run passed it over.
Analysed AnalyseImage(const OutputRun& run, const OutputImage& image, OutputReport& report)
{
    editor::GreyImage pixels = ReadImage(image.path);
    if (!pixels.ok) {
        report.failed.push_back(image.path + ": " + pixels.message);
        return Analysed::Failed;
    }
    PutBatchImage(pixels);
    const bool header = TakeImageHeader();
    if (!header) model::state.HeaderFringeValue = 0;
    core::AnalysisOptions options;
    if (!ImageOptions(run.analysis, run.headerlessUseFringeFile, header, run.calibratedFringeValue, &options))
        return Analysed::Skipped;
    ++report.processed;
    if (!core::BatchAnalyzeImage(run.relative, options)) {
        report.failed.push_back(image.path + ": the image cannot be analysed with the batch options");
        return Analysed::Failed;
    }
    return Analysed::Yes;
}

// The names the image's results are drawn under: the image, and in a
// relative run its reference on a second line.
void NameDataSet(const OutputRun& run, const OutputImage& image)
{
    model::files.OutputFileName = OutputBaseName(image.path);
    model::files.DataSetName = image.fileName;
    if (!run.relative) return;
    const int ref = run.referenceIndex;
    const std::string refName =
        ref >= 0 && ref < int(run.images.size()) ? run.images[size_t(ref)].fileName : std::string();
    model::files.DataSetName += std::string(model::CR) + "Reference: " + refName;
}

// The data file and the pictures of the analysed image in the model.
void WriteImageOutputs(const OutputRun& run, const OutputOptions& o, const OutputCharts& charts,
                       const OutputImage& image, Writer& write)
{
    if (o.plot3D || o.contour) {
        if (o.reduceData) core::ReduceData();
        else core::MakeChartData();
    }
    NameDataSet(run, image);
    const std::string base = OutputBaseName(image.path);
    const std::string tag = run.relative ? "_rel" : "";
    const std::string pictureExt = o.bitmap ? ".bmp" : ".jpg";
    if (o.saveData) {
        const std::string path = base + (run.relative ? "_rel" : "_ab") + (o.textData ? ".dat" : ".bin");
        std::string why;
        write.done(core::WriteDisplacementFile(path, o.textData, &why), path, why);
    }
    const plots::ResultFacts facts = plots::ModelFacts();
    plots::OptionBoxes boxes = run.boxes;
    boxes.zMin = o.zMin;
    boxes.zMax = o.zMax;
    auto tab = [&](int t) {
        if (run.showTab) run.showTab(t);
    };
    if (o.plot3D && charts.surface) {
        tab(0);
        plots::GridInput grid = plots::ModelGrid(o.reduceData);
        plots::SetupBatch3DChart(*charts.surface, grid, facts, boxes, run.surface);
        write.picture(*charts.surface, base + tag + "_3D" + pictureExt, o.bitmap);
    }
    if (o.contour && charts.contour) {
        tab(1);
        plots::GridInput grid = plots::ModelGrid(o.reduceData);
        plots::SetupBatchContourChart(*charts.contour, grid, facts, boxes, run.contour);
        write.picture(*charts.contour, base + tag + "_ctr" + pictureExt, o.bitmap);
    }
    if (o.diagonal && charts.diagonal) {
        tab(2);
        std::vector<float> ab, cd;
        plots::ModelDiagonals(&ab, &cd);
        plots::OptionBoxes diagBoxes = run.boxes;
        diagBoxes.zMin = o.diagMin;
        diagBoxes.zMax = o.diagMax;
        plots::SetupBatchDiagonalChart(*charts.diagonal, ab, cd, o.normaliseDiagonal, facts, diagBoxes, run.diagonal);
        write.picture(*charts.diagonal, base + tag + "_dia" + pictureExt, o.bitmap);
    }
}

// The legends go into the batch folder, in the units and number format of
// the results: the 3D and contour legends of a numeric Z range, and a copy of
// the sample diagonal legend.
void WriteLegends(const OutputRun& run, const OutputOptions& o, const OutputCharts& charts, OutputReport& report,
                  Writer& write)
{
    const std::string pictureExt = o.bitmap ? ".bmp" : ".jpg";
    const bool zRange = core::IsNumeric(o.zMin) && core::IsNumeric(o.zMax);
    const double zmin = core::Val(o.zMin), zmax = core::Val(o.zMax);
    const std::string& format = model::files.ZFormat;
    const std::string& units = model::files.ZUnits;
    if (o.plot3D && zRange && charts.surfaceLegend) {
        if (run.showTab) run.showTab(0);
        report.surfaceLevelStep = plots::FillSurfaceLegend(*charts.surfaceLegend, zmin, zmax, format, units);
        report.surfaceLegendBuilt = true;
        const std::string name = plots::LegendName(true, zmin, zmax, format, units) + pictureExt;
        write.picture(*charts.surfaceLegend, platform::JoinPath(o.folder, name), o.bitmap);
    }
    if (o.contour && zRange && charts.contourLegend) {
        if (run.showTab) run.showTab(1);
        plots::FillContourLegend(*charts.contourLegend, zmin, zmax, format, units);
        const std::string name = plots::LegendName(false, zmin, zmax, format, units) + pictureExt;
        write.picture(*charts.contourLegend, platform::JoinPath(o.folder, name), o.bitmap);
    }
    if (o.diagonal) {
        const std::string sample = o.bitmap ? batchcfg::kDiagonalLegendBmp : batchcfg::kDiagonalLegendJpg;
        const std::string target = platform::JoinPath(o.folder, sample);
        std::string why;
        write.done(CopyFile(batchcfg::UtilityFilePath(sample), target, &why), target, why);
    }
}

} // namespace

std::string ProcessedCaption(int processed, int total)
{
    return "Phase Images Processed: " + std::to_string(processed) + "/" + std::to_string(total);
}

OutputRun RecordedRun(const RunRecord& r)
{
    OutputRun run;
    const BatchOptions& options = r.options;
    for (size_t i = 0; i < options.files.size() && i < r.paths.size(); ++i)
        run.images.push_back({options.files[i], r.paths[i], i < r.analysed.size() && r.analysed[i]});
    run.relative = r.relative;
    run.referenceIndex = r.referenceIndex;
    run.analysis = options.analysis;
    run.boxes.rotation = options.rotationText;
    run.boxes.sampleWidth = options.analysis.sampleWidth;
    run.boxes.sampleHeight = options.analysis.sampleHeight;
    run.calibratedFringeValue = r.calibratedFringeValue;
    run.headerlessUseFringeFile = options.headerlessUseFringeFile;
    run.referenceDisplacement = r.referenceDisplacement;
    run.refXMax = r.refXMax;
    run.refYMax = r.refYMax;
    return run;
}

std::string OutputSummary(const OutputReport& report, int total)
{
    const size_t n = report.written.size();
    std::string text = std::to_string(n) + (n == 1 ? " file" : " files") + " written for " +
                       std::to_string(report.processed) + " of " + std::to_string(total) +
                       (total == 1 ? " image." : " images.");
    if (!report.failed.empty())
        text += " " + std::to_string(report.failed.size()) + " not written.";
    if (report.stopped)
        text += " Stopped before the end.";
    return text;
}

Refusal CheckOutputRequest(const OutputOptions& o)
{
    if (!o.plot3D && !o.contour && !o.diagonal && !o.saveData) return {"No output selected.", "Batch Processing Error"};
    for (const auto& [text, box] : {std::pair{&o.zMin, "Z Min"}, std::pair{&o.zMax, "Z Max"},
                                    std::pair{&o.diagMin, "Diagonal Min"}, std::pair{&o.diagMax, "Diagonal Max"}}) {
        double v = 0;
        if (core::ParseNumber(*text, &v) && !core::UsablePlotRangeValue(v))
            return {core::PlotRangeValueMessage(box), kSetupError};
    }
    if (RangeRefused(o.zMin, o.zMax)) return {"Z Max must be greater then Z Min.", kSetupError};
    if (RangeRefused(o.diagMin, o.diagMax)) return {"Diagonal Max must be greater then Diagonal Min.", kSetupError};
    for (const auto& [lo, hi, loBox, hiBox] : {std::tuple{&o.zMin, &o.zMax, "Z Min", "Z Max"},
                                               std::tuple{&o.diagMin, &o.diagMax, "Diagonal Min", "Diagonal Max"}}) {
        if (!core::IsNumeric(*lo) || !core::IsNumeric(*hi)) continue;
        const std::string problem = core::PlotRangeProblem(core::Val(*lo), core::Val(*hi), loBox, hiBox);
        if (!problem.empty()) return {problem, kSetupError};
    }
    return {};
}

OutputReport GenerateOutput(const OutputRun& run, const OutputOptions& o, const OutputCharts& charts,
                            const OutputProgress& progress, FolderLock* held)
{
    OutputReport report;
    // Every file of the output is written under the folder's lock.
    FolderLock own;
    if (!held || !held->held()) {
        switch (own.acquire(o.folder)) {
        case FolderLock::Result::Held:
            break;
        case FolderLock::Result::Busy:
            report.refused = kFolderBusyText;
            return report;
        case FolderLock::Result::Unavailable:
            report.refused = "Cannot write to the specified folder.";
            return report;
        }
    }
    Writer write(report);
    const int total = int(run.images.size());
    {
        // The images are analysed on the shared matrices; the user's image
        // comes back when they are done.
        model::SingleImageHold hold;
        TakeOverRun(run);
        for (int i = 0; i < total && !report.stopped; ++i) {
            const OutputImage& image = run.images[size_t(i)];
            if (!image.analysed) continue;
            if (AnalyseImage(run, image, report) != Analysed::Yes) continue;
            WriteImageOutputs(run, o, charts, image, write);
            if (progress) progress(i + 1, report.processed, total);
            report.stopped = run.stopRequested && run.stopRequested();
        }
    }
    if (!report.stopped) WriteLegends(run, o, charts, report, write);
    return report;
}

} // namespace batch
