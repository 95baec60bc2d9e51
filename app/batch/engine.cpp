// The batch analysis run over a folder of phase images.
#include "app/batch/engine.h"

#include "app/core/figures.h"
#include "app/core/grating.h"
#include "app/core/header.h"
#include "app/core/loader.h"
#include "app/core/model/model.h"
#include "app/core/reset.h"
#include "app/core/runtime.h"
#include "app/core/settings.h"
#include "app/core/version.h"
#include "app/outside/varnholde_calls.h"
#include "platform/fileversion.h"
#include "platform/folders.h"

#include <ctime>
#include <exception>
#include <optional>

namespace batch {
namespace {

using model::NoDataValue;

int gProcessedCount = 0;

constexpr const char* kSetupTitle = "Batch Analysis Setup Error";
constexpr const char* kReferenceTitle = "Batch Analysis Error";

// A phase image of the folder, with a size that agrees with its pixels.
editor::GreyImage ReadPhase(const std::string& path)
{
    editor::GreyImage p = ReadBatchImage(path);
    p.ok = p.ok && p.cols > 0 && p.rows > 0 && p.pixels.size() == size_t(p.cols) * size_t(p.rows);
    return p;
}

bool MaskDiffers(const BatchOptions& o, int cols, int rows)
{
    return o.analysis.useMask && (model::batch.BatchMaskRows != rows || model::batch.BatchMaskCols != cols);
}

// A header with the maker tag sets HeaderFringeValue; false when there is none
// (or it is broken).
bool TakeHeader()
{
    if (!core::MatchesPattern(model::files.ImageHeaderText, "Calverdine*"))
        return false;
    return core::ParseImageHeader();
}

std::string Fmt(float v) { return core::FormatNumber(v, model::files.ZFormat); }
// The value as displayed, read back.
float Displayed(float v) { return static_cast<float>(core::Val(Fmt(v))); }
std::string Fmt(const std::optional<float>& v) { return v ? Fmt(*v) : std::string("n/a"); }

void Lower(std::optional<float>& tracker, float v)
{
    if (!tracker || v < *tracker)
        tracker = v;
}
void Raise(std::optional<float>& tracker, float v)
{
    if (!tracker || v > *tracker)
        tracker = v;
}

struct Extremes {
    std::optional<float> min, max;
};

// Extremes of a profile over its data, each kept as its displayed value.
Extremes ProfileExtremes(const std::vector<float>& profile)
{
    Extremes e;
    for (float v : profile) {
        if (core::IsNoData(v))
            continue;
        if (!e.min || v < *e.min)
            e.min = Displayed(v);
        if (!e.max || v > *e.max)
            e.max = Displayed(v);
    }
    return e;
}

// The batch-wide extremes.
struct Trackers {
    std::optional<float> minZ, maxZ, range, abMin, abMax, cdMin, cdMax;
};

// Disables the window for its lifetime and closes the table at every end.
class RunScope {
public:
    RunScope(RunView& view, TableWriter& table) : view_(view), table_(table) {}
    ~RunScope()
    {
        table_.close();
        if (disabled_)
            view_.SetWindowEnabled(true);
    }
    void disable()
    {
        view_.SetWindowEnabled(false);
        disabled_ = true;
    }

private:
    RunView& view_;
    TableWriter& table_;
    bool disabled_ = false;
};

// The pipeline's refusal of a corner-point levelling on a corner without data.
bool IsCornerRefusal(const std::string& why) { return core::StartsWithNoCase(why, "A corner of the image has no data"); }

// A reason on one line of the error list.
std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

std::string ReferenceFailure(const BatchOptions& o, const std::string& name, float calibrated)
{
    const std::string path = model::batch.BatchBaseNames[size_t(model::batch.BatchReferenceIndex)];
    editor::GreyImage p = ReadPhase(path);
    if (!p.ok)
        return name + " cannot be opened.";
    if (MaskDiffers(o, p.cols, p.rows))
        return name + " does not match the selected mask size.";
    PutBatchImage(p);
    if (!TakeHeader()) {
        if (calibrated == -1.0f)
            return name + " cannot be analyzed because there is no calibrated fringe" + model::CR +
                   "height value stored for this grating.";
        model::state.HeaderFringeValue = 0;
        if (!o.analysis.useFringeFile)
            return name + " requires the Use FringeValue.txt option to be checked.";
    }
    std::string why;
    if (!core::BatchAnalyzeImage(false, o.analysis, &why))
        return IsCornerRefusal(why) ? name + " cannot be analyzed with the specified rotation."
                                    : name + " cannot be analyzed." + model::CR + why;
    auto& im = model::images;
    im.ReferenceDisplacement = im.Displacement;
    model::state.RefXMax = im.XMax;
    model::state.RefYMax = im.YMax;
    model::state.ReferenceInMemory = true;
    return "";
}

} // namespace

int ProcessedCount() { return gProcessedCount; }

CompensationCheck CheckBatchCompensation(int grating, const std::string& width, const std::string& height)
{
    CompensationCheck c;
    double w = 0, h = 0;
    if (!core::ParseNumber(width, &w) || !core::ParseNumber(height, &h)) {
        c.message = "Compensation requires image Width(X) and Height(Y).";
        c.title = kSetupTitle;
        c.sizesMissing = true;
        return c;
    }
    const bool inches = core::EqualsNoCase(model::files.XYUnits, "in");
    const float wi = static_cast<float>(inches ? w : w / model::MmPerInch);
    const float hi = static_cast<float>(inches ? h : h / model::MmPerInch);
    c.message = core::CheckCompensationArea(static_cast<uint8_t>(grating), wi, hi);
    if (!c.ok())
        c.title = "Analysis Setup Error";
    return c;
}

editor::GreyImage ReadBatchImage(const std::string& path)
{
    return editor::ReadGreyImage(path, core::EqualsNoCase(model::files.ImageFileFormat, "tif") ? "tif" : "bmp");
}

void PutBatchImage(editor::GreyImage& image)
{
    auto& im = model::images;
    im.ImageCols = static_cast<int16_t>(image.cols);
    im.ImageRows = static_cast<int16_t>(image.rows);
    im.XMax = image.cols - 1;
    im.YMax = image.rows - 1;
    im.CurrentPhase.create(image.cols, image.rows);
    im.CurrentPhase.buffer() = std::move(image.pixels);
    model::files.ImageHeaderText = std::move(image.header);
}

MaskLoad LoadBatchMask(const std::string& path)
{
    if (!core::MatchesPattern(path, "*_msk.tif"))
        return MaskLoad::BadName;
    core::PhaseImageFile f = core::ReadPhaseImageFile(path);
    if (!f.ok)
        return MaskLoad::Unreadable;
    auto& b = model::batch;
    b.BatchMaskFile = path;
    b.BatchMaskCols = static_cast<int16_t>(f.cols);
    b.BatchMaskRows = static_cast<int16_t>(f.rows);
    b.BatchMask.create(f.cols, f.rows);
    b.BatchMask.buffer() = std::move(f.pixels);
    return MaskLoad::Ok;
}

bool NormalizeDiagonal(std::vector<float>& v)
{
    const size_t n = v.size();
    if (n == 0 || core::IsNoData(v.front()) || core::IsNoData(v.back()))
        return false;
    if (n == 1) {
        v[0] = 0;
        return true;
    }
    const double first = v.front(), last = v.back();
    for (size_t k = 0; k < n; ++k)
        if (!core::IsNoData(v[k]))
            v[k] = static_cast<float>(v[k] - (first + double(k) * (last - first) / double(n - 1)));
    return true;
}

RunOutcome RunBatchAnalysis(const BatchOptions& o, RunView& view)
{
    auto& b = model::batch;
    const int n = static_cast<int>(o.files.size());
    const bool relative = b.BatchRelativeMode;
    RunOutcome out;
    out.total = n;

    // 1. Images of the folder.
    if (n < 1) {
        model::ShowMsg("No phase images found in this folder.", 16, "Folder Selection Error");
        out.end = RunEnd::NoImages;
        return out;
    }
    // 2. Calibrated fringe value of the grating (reported by the table either way).
    const std::string fringePath = platform::JoinPath(platform::UtilityFolder(), "FringeValue.txt");
    float calibrated = outside::ReadFringeValue(fringePath.c_str(), static_cast<uint8_t>(o.analysis.grating));
    if (calibrated == NoDataValue) {
        // The library shows nothing itself: a file that cannot be read stops a
        // run that needs it, with the reason; a run that does not need it goes
        // on with the grating reported as not calibrated.
        if (o.analysis.useFringeFile) {
            const std::string reason = outside::LastError();
            model::ShowMsg("FringeValue.txt cannot be read." +
                               (reason.empty() ? std::string() : std::string(model::CR) + reason),
                           16, kSetupTitle);
            out.end = RunEnd::Stopped;
            return out;
        }
        calibrated = -1.0f;
    }
    model::state.CalibratedFringeValue = calibrated;
    if (calibrated == -1.0f && o.analysis.useFringeFile) {
        model::ShowMsg("There is no calibrated fringe height value for this grating.", 16, kSetupTitle);
        out.end = RunEnd::SetupRefused;
        return out;
    }
    // 3. Compensation needs both sizes and a sample inside the compensated area.
    if (o.analysis.compensate) {
        const CompensationCheck c =
            CheckBatchCompensation(o.analysis.grating, o.analysis.sampleWidth, o.analysis.sampleHeight);
        if (!c.ok()) {
            model::ShowMsg(c.message, 16, c.title);
            if (c.sizesMissing)
                view.FocusSampleWidth();
            view.UncheckCompensate();
            out.end = RunEnd::SetupRefused;
            return out;
        }
    }

    // 4.-5. The table, created or replaced.
    TableWriter table;
    RunScope scope(view, table);
    out.tablePath = TableFileName(o.folder, relative);
    auto folderAccess = [&] {
        model::ShowMsg("Cannot write to the specified folder.", 16, "Folder Access Error");
        out.end = RunEnd::FolderAccess;
        return out;
    };
    const std::time_t created = std::time(nullptr);
    if (!table.open(out.tablePath))
        return folderAccess();

    try {
        // 6. Start display.
        scope.disable();
        core::ResetBatchSummary();
        view.SetProcessedLabel("Number of Images Processed: 0/" + std::to_string(n), false);
        view.SetCurrentPath(o.folder);
        view.SetProgress(0, n);
        view.ShowProgress(true);
        view.Yield();

        // 7. The lists.
        std::string folder = o.folder;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        b.BatchFileNames = o.files;
        b.BatchBaseNames.clear();
        for (const std::string& f : o.files)
            b.BatchBaseNames.push_back(folder == "/" ? "/" + f : folder + "/" + f);
        if (relative && (b.BatchReferenceIndex < 0 || b.BatchReferenceIndex >= n))
            b.BatchReferenceIndex = 0;
        const std::string referenceName = relative ? b.BatchFileNames[size_t(b.BatchReferenceIndex)] : "";

        // 8. Header blocks.
        TableHeader h;
        h.created = created;
        h.folder = o.folder;
        h.programVersion = core::ProgramVersion();
        if (model::files.AnalysisDllVersion.empty())
            model::files.AnalysisDllVersion = platform::FileVersionOf(outside::LibraryPath());
        h.analysisLibraryVersion = model::files.AnalysisDllVersion;
        h.useFringeFile = o.analysis.useFringeFile;
        h.exclude128 = o.analysis.exclude128;
        h.phaseFilter = o.analysis.phaseFilter;
        h.compensate = o.analysis.compensate;
        h.normalizeDiagonal = o.normalizeDiagonal;
        h.rotation = core::RotationName(o.analysis.rotation);
        h.rotationText = o.rotationText;
        h.grating = std::to_string(core::GratingLpi(o.analysis.grating));
        h.calibratedFringeValue = calibrated;
        h.sampleWidth = o.analysis.sampleWidth;
        h.sampleHeight = o.analysis.sampleHeight;
        h.xyUnits = model::files.XYUnits;
        h.zUnits = model::files.ZUnits;
        h.useMask = o.analysis.useMask;
        h.maskCaption = o.maskCaption;
        h.relative = relative;
        h.referenceName = referenceName;
        for (const std::string& line : HeaderLines(h))
            if (!table.writeLine(line))
                return folderAccess();

        // 9.-10. Trackers and the reference.
        Trackers t;
        if (relative) {
            const std::string why = ReferenceFailure(o, referenceName, calibrated);
            if (!why.empty()) {
                model::ShowMsg(why, 16, kReferenceTitle);
                out.end = RunEnd::ReferenceFailed;
                return out;
            }
        }
        // 11.-12.
        view.SetDataType(relative ? "Relative Data with Reference: " + referenceName : "Absolute Data");
        view.SetGridRowCount(n + 1);
        gProcessedCount = 0;

        const bool sizes = core::IsNumeric(o.analysis.sampleWidth) && core::IsNumeric(o.analysis.sampleHeight);
        double width = 0, height = 0;
        if (sizes) {
            core::ParseNumber(o.analysis.sampleWidth, &width);
            core::ParseNumber(o.analysis.sampleHeight, &height);
        }
        auto& im = model::images;

        // 13. Every image in list order; a failed one is listed and the loop goes on.
        for (int i = 0; i < n; ++i) {
            const std::string& name = b.BatchFileNames[size_t(i)];
            const std::string number = std::to_string(i + 1);
            auto fail = [&](const char* reason) {
                if (!table.writeLine(name))
                    return false;
                view.SetGridRow(i + 1, {number, name});
                b.BatchErrorList += "#" + number + " " + name + reason + model::CR;
                return true;
            };
            editor::GreyImage p = ReadPhase(b.BatchBaseNames[size_t(i)]);
            const char* reason = nullptr;
            std::string pipelineReason;
            if (!p.ok)
                reason = kReasonUnreadable;
            else if (MaskDiffers(o, p.cols, p.rows))
                reason = kReasonMaskSize;
            else if (relative && (model::state.RefXMax != p.cols - 1 || model::state.RefYMax != p.rows - 1))
                reason = kReasonReferenceSize;
            if (!reason) {
                PutBatchImage(p);
                if (!TakeHeader() && (calibrated == -1.0f || !o.analysis.useFringeFile))
                    reason = kReasonFringeValue;
            }
            std::string why;
            if (!reason && !core::BatchAnalyzeImage(relative, o.analysis, &why)) {
                if (IsCornerRefusal(why)) {
                    reason = kReasonRotate;
                } else {
                    pipelineReason = ": " + OneLine(why);
                    reason = pipelineReason.c_str();
                }
            }
            if (!reason) {
                const int16_t xm = static_cast<int16_t>(im.XMax), ym = static_cast<int16_t>(im.YMax);
                core::ChordProfile(0, 0, xm, ym);
                im.DiagonalAB = im.ProfileData;
                core::ChordProfile(0, ym, xm, 0);
                im.DiagonalCD = im.ProfileData;
                if (o.normalizeDiagonal &&
                    (!NormalizeDiagonal(im.DiagonalAB) || !NormalizeDiagonal(im.DiagonalCD)))
                    reason = kReasonNormalize;
            }
            if (reason) {
                if (!fail(reason))
                    return folderAccess();
                continue;
            }

            const Extremes ab = ProfileExtremes(im.DiagonalAB);
            const Extremes cd = ProfileExtremes(im.DiagonalCD);
            if (ab.min) Lower(t.abMin, *ab.min);
            if (ab.max) Raise(t.abMax, *ab.max);
            if (cd.min) Lower(t.cdMin, *cd.min);
            if (cd.max) Raise(t.cdMax, *cd.max);
            const auto& s = model::state;
            Lower(t.minZ, s.MinZ);
            Raise(t.maxZ, s.MaxZ);
            Raise(t.range, s.ZRange);

            ++gProcessedCount;
            view.SetProgress(i + 1, n);
            view.SetProcessedLabel("Number of Images Processed: " + std::to_string(gProcessedCount) + "/" +
                                       std::to_string(n),
                                   false);

            ImageValues v;
            auto figure = [](float f, const std::string& pattern) {
                return core::IsNoData(f) ? std::string("n/a") : core::FormatNumber(f, pattern);
            };
            v.minZ = Fmt(s.MinZ);
            v.maxZ = Fmt(s.MaxZ);
            v.range = Fmt(s.ZRange);
            v.abMin = Fmt(ab.min);
            v.abMax = Fmt(ab.max);
            v.cdMin = Fmt(cd.min);
            v.cdMax = Fmt(cd.max);
            v.twist = sizes ? figure(core::ComputeIpcTwist(im.ResultMatrix, float(width), float(height)), "0.00")
                            : "n/a";
            v.bow = sizes ? figure(core::ComputeBow(im.ResultMatrix, float(width), float(height)), "0.00") : "n/a";
            v.centre = figure(core::ComputeCenterDeflection(im.ResultMatrix), model::files.ZFormat);

            if (!table.writeLine(DataRow(name, v)))
                return folderAccess();
            std::vector<std::string> cells = {number, name};
            for (const std::string& f : v.list())
                cells.push_back(f);
            view.SetGridRow(i + 1, cells);
            view.Yield();
        }

        // 14.-15. Summary and suggested ranges.
        view.ShowProgress(false);
        if (gProcessedCount > 0) {
            SummaryTexts st;
            st.maxZ = "Max Z: " + Fmt(t.maxZ);
            st.minZ = "Min Z: " + Fmt(t.minZ);
            st.maxRange = (core::MatchesPattern(o.rotationText, "*Lsf*") ? "Max Coplanarity: " : "Max Deflection: ") +
                          Fmt(t.range);
            st.minAB = "Min AB: " + Fmt(t.abMin);
            st.maxAB = "Max AB: " + Fmt(t.abMax);
            st.minCD = "Min CD: " + Fmt(t.cdMin);
            st.maxCD = "Max CD: " + Fmt(t.cdMax);
            view.SetSummary(st);
            const float m = core::EqualsNoCase(model::files.ZUnits, "mils") ? 0.1f : 3.0f;
            std::optional<float> dMin, dMax;
            for (const auto* v : {&t.abMin, &t.abMax, &t.cdMin, &t.cdMax})
                if (*v) {
                    Lower(dMin, **v);
                    Raise(dMax, **v);
                }
            view.SuggestRanges(Fmt(*t.minZ - m), Fmt(*t.maxZ + m), dMin ? Fmt(*dMin - m) : "",
                               dMax ? Fmt(*dMax + m) : "");
            view.EnableGenerateOutput();
        }
        // 16. Trailer.
        if (!table.writeLine("") || !table.writeLine(CountLine(gProcessedCount, n)))
            return folderAccess();
        table.close();
        // 17.
        if (gProcessedCount != n) {
            view.SetProcessedLabel("Number of Images Processed: " + std::to_string(gProcessedCount) + "/" +
                                       std::to_string(n),
                                   true);
            view.ShowViewErrors();
        }
        out.end = RunEnd::Completed;
        out.processed = gProcessedCount;
        return out;
    } catch (const std::exception&) {
        // Any other failure ends the run; the table keeps what was written.
        out.end = RunEnd::Stopped;
        out.processed = gProcessedCount;
        return out;
    }
}

} // namespace batch
