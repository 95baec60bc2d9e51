// The batch analysis run over a folder of phase images.
#include "app/batch/engine.h"

#include "app/core/atomic_file.h"
#include "app/core/figures.h"
#include "app/core/grating.h"
#include "app/core/header.h"
#include "app/core/loader.h"
#include "app/core/model/hold.h"
#include "app/core/model/model.h"
#include "app/core/reset.h"
#include "app/core/runtime.h"
#include "app/core/settings.h"
#include "app/core/version.h"
#include "app/outside/varnholde_calls.h"
#include "platform/fileversion.h"
#include "platform/folderjobs.h"
#include "platform/folders.h"
#include "platform/regular_file.h"
#include "platform/messages.h"

#include <QByteArray>
#include <QFile>

#include <ctime>
#include <exception>
#include <map>
#include <optional>

namespace batch {
namespace {

using model::NoDataValue;

constexpr const char* kSetupTitle = "Batch Analysis Setup Error";
constexpr const char* kReferenceTitle = "Batch Analysis Error";

// A phase image of the folder, with a size that agrees with its pixels.
editor::GreyImage ReadPhase(const std::string& path)
{
    editor::GreyImage p = ReadBatchImage(path);
    p.ok = p.ok && p.cols > 0 && p.rows > 0 && p.pixels.size() == size_t(p.cols) * size_t(p.rows);
    return p;
}

// Why a phase image cannot be read: the BMP reader's own reason (a 24-bit
// picture, a compressed one...) and the loader's refusal of a file of the
// wrong kind (a maker header that breaks off), else the plain one.
std::string UnreadableReason(const editor::GreyImage& p)
{
    const bool bmp = !core::EqualsNoCase(model::files.ImageFileFormat, "tif");
    const bool named = bmp || p.message == platform::kMsgCannotOpenInvalidFormat;
    return named && !p.message.empty() ? ": " + p.message : kReasonUnreadable;
}

bool MaskDiffers(const BatchOptions& o, int cols, int rows)
{
    return o.analysis.useMask && (model::batch.BatchMaskRows != rows || model::batch.BatchMaskCols != cols);
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

// Disables the window for its lifetime and, at every end, drops a table that
// was not put in place (the previous one stays as it was).
class RunScope {
public:
    RunScope(RunView& view, TableWriter& table) : view_(view), table_(table) {}
    ~RunScope()
    {
        table_.discard();
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

// Why a file name cannot go into the table or name the outputs; "" when it can.
// A tab or a line break would split a row; a name whose bytes do not survive
// the platform's file-name encoding would give outputs under another name.
std::string NameProblem(const std::string& name)
{
    if (name.find_first_of("\t\r\n") != std::string::npos)
        return kReasonNameBreaksRow;
    if (!SurvivesNameEncoding(name))
        return kReasonNameEncoding;
    return "";
}

// A text as one field of a table row or one line of the error list holds it:
// tabs and line breaks become spaces.
std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    return text;
}

// The position of the reference in the file list: by the name the options
// give, else by model::batch.BatchReferenceIndex (0 when that is out of range);
// -1 when the named image is not in the list.
int ReferencePosition(const BatchOptions& o)
{
    const int n = static_cast<int>(o.files.size());
    if (!o.referenceName.empty()) {
        for (int i = 0; i < n; ++i)
            if (o.files[size_t(i)] == o.referenceName)
                return i;
        return -1;
    }
    const int i = model::batch.BatchReferenceIndex;
    return i >= 0 && i < n ? i : 0;
}

// The run's settled choices, passed from step to step.
struct RunPlan {
    int n = 0;
    bool relative = false;
    int reference = -1;          // position of the reference (relative run)
    float calibrated = -1.0f;    // FringeValue.txt's value for the grating, -1 when none
    std::string folder;          // the folder as the run names it (RunFolder)
    std::vector<std::string> paths;   // the full path of each image
};

// Why the reference image cannot serve ("" when it can); on success its
// displacement is the run's reference, in the model and in the run's record.
std::string ReferenceFailure(const BatchOptions& o, const RunPlan& plan, RunRecord& record)
{
    const int index = plan.reference;
    const float calibrated = plan.calibrated;
    const std::string name = OneLine(o.files[size_t(index)]);
    const std::string problem = NameProblem(o.files[size_t(index)]);
    if (!problem.empty())
        return name + " cannot be analyzed." + model::CR + problem.substr(2);
    editor::GreyImage p = ReadPhase(plan.paths[size_t(index)]);
    if (!p.ok)
        return name + " cannot be opened.";
    if (MaskDiffers(o, p.cols, p.rows))
        return name + " does not match the selected mask size.";
    PutBatchImage(p);
    const bool header = TakeImageHeader();
    if (!header) {
        if (calibrated == -1.0f)
            return name + " cannot be analyzed because there is no calibrated fringe" + model::CR +
                   "height value stored for this grating.";
        model::state.HeaderFringeValue = 0;
    }
    core::AnalysisOptions options;
    if (!ImageOptions(o.analysis, o.headerlessUseFringeFile, header, calibrated, &options))
        return name + " requires the Use FringeValue.txt option to be checked.";
    std::string why;
    if (!core::BatchAnalyzeImage(false, options, &why))
        return IsCornerRefusal(why) ? name + " cannot be analyzed with the specified rotation."
                                    : name + " cannot be analyzed." + model::CR + why;
    auto& im = model::images;
    im.ReferenceDisplacement = im.Displacement;
    model::state.RefXMax = im.XMax;
    model::state.RefYMax = im.YMax;
    model::state.ReferenceInMemory = true;
    record.referenceDisplacement = im.Displacement;
    record.refXMax = im.XMax;
    record.refYMax = im.YMax;
    return "";
}

// Start-up checks, before anything is written. The end that refuses the run
// (its message shown), or nothing when the run can go on. The checks only
// settle the plan: nothing that outputs read is written here.
std::optional<RunEnd> CheckRun(const BatchOptions& o, RunView& view, RunPlan& plan)
{
    // Images of the folder.
    if (plan.n < 1) {
        model::ShowMsg("No phase images found in this folder.", 16, "Folder Selection Error");
        return RunEnd::NoImages;
    }
    // Calibrated fringe value of the grating (reported by the table either way).
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
            return RunEnd::Stopped;
        }
        calibrated = -1.0f;
    }
    plan.calibrated = calibrated;
    if (calibrated == -1.0f && o.analysis.useFringeFile) {
        model::ShowMsg("There is no calibrated fringe height value for this grating.", 16, kSetupTitle);
        return RunEnd::SetupRefused;
    }
    // Compensation needs both sizes and a sample inside the compensated area.
    if (o.analysis.compensate) {
        const CompensationCheck c =
            CheckBatchCompensation(o.analysis.grating, o.analysis.sampleWidth, o.analysis.sampleHeight);
        if (!c.ok()) {
            model::ShowMsg(c.message, 16, c.title);
            if (c.sizesMissing)
                view.FocusSampleWidth();
            view.UncheckCompensate();
            return RunEnd::SetupRefused;
        }
    }
    // The reference chosen by name must still be in the folder.
    if (plan.relative) {
        plan.reference = ReferencePosition(o);
        if (plan.reference < 0) {
            model::ShowMsg(OneLine(o.referenceName) + " is no longer in the folder." + model::CR +
                               "Nothing was analyzed.",
                           16, kReferenceTitle);
            return RunEnd::ReferenceFailed;
        }
    }
    return std::nullopt;
}

// The table's header blocks: what the run's figures are made from; false
// when a line could not be written.
bool WriteHeader(const BatchOptions& o, const RunPlan& plan, std::time_t created, TableWriter& table)
{
    TableHeader h;
    h.created = created;
    h.folder = plan.folder;
    h.programVersion = core::ProgramVersion();
    if (model::files.AnalysisDllVersion.empty())
        model::files.AnalysisDllVersion = platform::FileVersionOf(outside::LibraryPath());
    h.analysisLibraryVersion = model::files.AnalysisDllVersion;
    // An image without a header takes FringeValue.txt's value under the
    // command line's rule; a BMP has no header, so then every image does.
    const bool bmp = !core::EqualsNoCase(model::files.ImageFileFormat, "tif");
    h.useFringeFile = o.analysis.useFringeFile || (o.headerlessUseFringeFile && bmp && plan.calibrated != -1.0f);
    h.exclude128 = o.analysis.exclude128;
    h.phaseFilter = o.analysis.phaseFilter;
    h.compensate = o.analysis.compensate;
    h.normalizeDiagonal = o.normalizeDiagonal;
    h.rotation = core::RotationName(o.analysis.rotation);
    h.rotationText = o.rotationText;
    h.grating = std::to_string(core::GratingLpi(o.analysis.grating));
    h.calibratedFringeValue = plan.calibrated;
    h.sampleWidth = o.analysis.sampleWidth;
    h.sampleHeight = o.analysis.sampleHeight;
    h.xyUnits = model::files.XYUnits;
    h.zUnits = model::files.ZUnits;
    h.useMask = o.analysis.useMask;
    h.maskCaption = o.maskCaption;
    h.relative = plan.relative;
    h.referenceName = plan.relative ? OneLine(o.files[size_t(plan.reference)]) : "";
    for (const std::string& line : HeaderLines(h))
        if (!table.writeLine(line))
            return false;
    return true;
}

// What the image loop needs besides the options.
struct ImageContext {
    const BatchOptions& o;
    const RunPlan& plan;
    bool sizes = false;            // both sample sizes are numbers
    double width = 0, height = 0;
    // Output bases of the images analysed so far, with their positions.
    std::map<std::string, int> outputBases;
    // Every output name any image of the folder may have (absolute and
    // relative), with the image's position.
    std::multimap<std::string, int> folderOutputs;
};

ImageContext MakeImageContext(const BatchOptions& o, const RunPlan& plan)
{
    ImageContext c{o, plan, false, 0, 0, {}, {}};
    for (int i = 0; i < plan.n; ++i) {
        const std::string base = OutputBaseName(plan.paths[size_t(i)]);
        for (bool relative : {false, true})
            for (const std::string& name : OutputNames(base, relative))
                c.folderOutputs.emplace(name, i);
    }
    c.sizes = core::IsNumeric(o.analysis.sampleWidth) && core::IsNumeric(o.analysis.sampleHeight);
    if (c.sizes) {
        core::ParseNumber(o.analysis.sampleWidth, &c.width);
        core::ParseNumber(o.analysis.sampleHeight, &c.height);
    }
    return c;
}

// The window at the start of a run: no images processed yet, the folder and
// the progress bar shown. False when the view asks to stop.
bool ShowStart(const RunPlan& plan, RunView& view)
{
    core::ResetBatchSummary();
    view.SetProcessedLabel(CountLine(0, plan.n), false);
    view.SetCurrentPath(plan.folder);
    view.SetProgress(0, plan.n);
    view.ShowProgress(true);
    view.Yield();
    return !view.StopRequested();
}

// Why image i cannot be analysed (its reason for the error list), or "" when
// the analysis and the diagonals stand in model::images.
std::string ImageFailure(const ImageContext& c, int i)
{
    const BatchOptions& o = c.o;
    auto& im = model::images;
    const std::string name = o.files[size_t(i)];
    if (const std::string problem = NameProblem(name); !problem.empty())
        return problem;
    const std::string& path = c.plan.paths[size_t(i)];
    const std::string base = OutputBaseName(path);
    auto sameOutputs = [&](int other) {
        return kReasonSameOutputs + ("#" + std::to_string(other + 1)) + " " + OneLine(o.files[size_t(other)]) + ".";
    };
    if (const auto earlier = c.outputBases.find(base); earlier != c.outputBases.end())
        return sameOutputs(earlier->second);
    // An output of this run that another image of the folder may have under
    // the same name (x_ph.tif relative, x_rel_ph.tif absolute).
    for (const std::string& name : OutputNames(base, c.plan.relative)) {
        const auto [first, last] = c.folderOutputs.equal_range(name);
        for (auto it = first; it != last; ++it)
            if (it->second != i && OutputBaseName(c.plan.paths[size_t(it->second)]) != base)
                return sameOutputs(it->second);
    }
    editor::GreyImage p = ReadPhase(path);
    if (!p.ok)
        return UnreadableReason(p);
    if (MaskDiffers(o, p.cols, p.rows))
        return kReasonMaskSize;
    if (c.plan.relative && (model::state.RefXMax != p.cols - 1 || model::state.RefYMax != p.rows - 1))
        return kReasonReferenceSize;
    PutBatchImage(p);
    core::AnalysisOptions options;
    if (!ImageOptions(o.analysis, o.headerlessUseFringeFile, TakeImageHeader(), c.plan.calibrated, &options))
        return kReasonFringeValue;
    std::string why;
    if (!core::BatchAnalyzeImage(c.plan.relative, options, &why))
        return IsCornerRefusal(why) ? kReasonRotate : ": " + OneLine(why);
    const int16_t xm = static_cast<int16_t>(im.XMax), ym = static_cast<int16_t>(im.YMax);
    core::ChordProfile(0, 0, xm, ym);
    im.DiagonalAB = im.ProfileData;
    core::ChordProfile(0, ym, xm, 0);
    im.DiagonalCD = im.ProfileData;
    if (o.normalizeDiagonal && (!NormalizeDiagonal(im.DiagonalAB) || !NormalizeDiagonal(im.DiagonalCD)))
        return kReasonNormalize;
    return "";
}

// The ten values of the analysed image in model::images; the batch-wide
// extremes take them in.
ImageValues TakeValues(const ImageContext& c, Trackers& t)
{
    const auto& im = model::images;
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

    auto figure = [](float f, const std::string& pattern) {
        return core::IsNoData(f) ? std::string("n/a") : core::FormatNumber(f, pattern);
    };
    const float w = float(c.width), h = float(c.height);
    ImageValues v;
    v.minZ = Fmt(s.MinZ);
    v.maxZ = Fmt(s.MaxZ);
    v.range = Fmt(s.ZRange);
    v.abMin = Fmt(ab.min);
    v.abMax = Fmt(ab.max);
    v.cdMin = Fmt(cd.min);
    v.cdMax = Fmt(cd.max);
    v.twist = c.sizes ? figure(core::ComputeIpcTwist(im.ResultMatrix, w, h), "0.00") : "n/a";
    v.bow = c.sizes ? figure(core::ComputeBow(im.ResultMatrix, w, h), "0.00") : "n/a";
    v.centre = figure(core::ComputeCenterDeflection(im.ResultMatrix), model::files.ZFormat);
    return v;
}

enum class LoopEnd { Done, WriteFailed, Stopped };

// Every image in list order; a failed one is listed and the loop goes on.
LoopEnd AnalyseImages(ImageContext& c, RunView& view, TableWriter& table, Trackers& t, int& processed,
                      std::vector<bool>& analysed)
{
    auto& b = model::batch;
    const int n = c.plan.n;
    analysed.assign(size_t(n), false);
    for (int i = 0; i < n; ++i) {
        const std::string name = OneLine(c.o.files[size_t(i)]);
        const std::string number = std::to_string(i + 1);
        const std::string reason = ImageFailure(c, i);
        if (!reason.empty()) {
            if (!table.writeLine(name))
                return LoopEnd::WriteFailed;
            view.SetGridRow(i + 1, {number, name});
            b.BatchErrorList += "#" + number + " " + name + reason + model::CR;
            continue;
        }
        const ImageValues v = TakeValues(c, t);
        c.outputBases.emplace(OutputBaseName(c.plan.paths[size_t(i)]), i);
        analysed[size_t(i)] = true;
        ++processed;
        view.SetProgress(i + 1, n);
        view.SetProcessedLabel(CountLine(processed, n), false);
        if (!table.writeLine(DataRow(name, v)))
            return LoopEnd::WriteFailed;
        std::vector<std::string> cells = {number, name};
        for (const std::string& f : v.list())
            cells.push_back(f);
        view.SetGridRow(i + 1, cells);
        view.Yield();
        if (view.StopRequested())
            return LoopEnd::Stopped;
    }
    return LoopEnd::Done;
}

// The seven summary labels.
void ShowSummary(const BatchOptions& o, const Trackers& t, RunView& view)
{
    SummaryTexts st;
    st.maxZ = "Max Z: " + Fmt(t.maxZ);
    st.minZ = "Min Z: " + Fmt(t.minZ);
    st.maxRange =
        (core::MatchesPattern(o.rotationText, "*Lsf*") ? "Max Coplanarity: " : "Max Deflection: ") + Fmt(t.range);
    st.minAB = "Min AB: " + Fmt(t.abMin);
    st.maxAB = "Max AB: " + Fmt(t.abMax);
    st.minCD = "Min CD: " + Fmt(t.cdMin);
    st.maxCD = "Max CD: " + Fmt(t.cdMax);
    view.SetSummary(st);
}

// Plot ranges around the batch extremes, widened by 0.1 mils or 3 microns.
void SuggestPlotRanges(const Trackers& t, RunView& view)
{
    const float m = core::EqualsNoCase(model::files.ZUnits, "mils") ? 0.1f : 3.0f;
    std::optional<float> dMin, dMax;
    for (const auto* v : {&t.abMin, &t.abMax, &t.cdMin, &t.cdMax})
        if (*v) {
            Lower(dMin, **v);
            Raise(dMax, **v);
        }
    view.SuggestRanges(Fmt(*t.minZ - m), Fmt(*t.maxZ + m), dMin ? Fmt(*dMin - m) : "", dMax ? Fmt(*dMax + m) : "");
    view.EnableGenerateOutput();
}

// The sentence that tells the user whether an earlier table is still there.
std::string KeptTableNote(const std::string& tablePath)
{
    return core::IsRegularFile(tablePath) ? std::string(model::CR) + "The previous results table is kept." : "";
}

} // namespace

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
    im.CurrentPhase.adopt(image.cols, image.rows, std::move(image.pixels));
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
    b.BatchMask.adopt(f.cols, f.rows, std::move(f.pixels));
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

bool TakeImageHeader()
{
    if (!core::HasMakerHeader(model::files.ImageHeaderText))
        return false;
    return core::ParseImageHeader();
}

bool ImageOptions(const core::AnalysisOptions& run, bool headerlessUseFringeFile, bool hasHeader, float calibrated,
                  core::AnalysisOptions* image)
{
    *image = run;
    if (hasHeader)
        return true;
    image->useFringeFile = run.useFringeFile || headerlessUseFringeFile;
    return image->useFringeFile && calibrated != -1.0f;
}

bool SurvivesNameEncoding(const std::string& name)
{
    const QByteArray bytes = QByteArray::fromStdString(name);
    return QFile::encodeName(QFile::decodeName(bytes)) == bytes;
}

int FindPhaseImage(const std::vector<std::string>& files, const std::string& name)
{
    for (size_t i = 0; i < files.size(); ++i)
        if (files[i] == name)
            return static_cast<int>(i);
    for (size_t i = 0; i < files.size(); ++i)
        if (core::EqualsNoCase(files[i], name))
            return static_cast<int>(i);
    return -1;
}

std::string OutputBaseName(const std::string& imagePath)
{
    return imagePath.size() > 7 ? imagePath.substr(0, imagePath.size() - 7) : std::string();
}

std::vector<std::string> OutputNames(const std::string& base, bool relative)
{
    const std::string tag = relative ? "_rel" : "";
    std::vector<std::string> names;
    for (const char* data : {".dat", ".bin"})
        names.push_back(base + (relative ? "_rel" : "_ab") + data);
    for (const char* picture : {"_3D", "_ctr", "_dia"})
        for (const char* ext : {".bmp", ".jpg"})
            names.push_back(base + tag + picture + ext);
    return names;
}

std::string RunFolder(const std::string& folder)
{
    // The folder the system opens: links and ".." resolved as it resolves
    // them (a ".." after a link leads beside the link's target, not beside
    // the link), so the images listed, the lock and the table are all of one
    // folder, and one folder has one table whatever way it is named.
    return platform::CanonicalPath(folder);
}

namespace {

// "Cannot write to the specified folder.", naming the system's limit when the
// table's path goes beyond it, and telling whether the earlier table is kept.
RunEnd ShowFolderAccess(const std::string& tablePath)
{
    const std::string limit = platform::PathLimitText(tablePath);
    model::ShowMsg("Cannot write to the specified folder." + (limit.empty() ? "" : model::CR + limit) +
                       KeptTableNote(tablePath),
                   16, "Folder Access Error");
    return RunEnd::FolderAccess;
}

// The folder's lock for the run, with the stale temporary files of ended runs
// cleared; false (the message shown, the end in *end) when another run holds
// it or the folder cannot be opened.
bool LockFolder(const std::string& folder, FolderLock& lock, const std::string& tablePath, RunEnd* end)
{
    switch (lock.acquire(folder)) {
    case FolderLock::Result::Held:
        core::RemoveStaleTemporaries(folder);
        return true;
    case FolderLock::Result::Busy:
        model::ShowMsg(std::string(kFolderBusyText) + KeptTableNote(tablePath), 16, "Folder Access Error");
        *end = RunEnd::FolderBusy;
        return false;
    case FolderLock::Result::Unavailable:
        break;
    }
    *end = ShowFolderAccess(tablePath);
    return false;
}

// After the table's header blocks: the reference of a relative run, every
// image, the count line and the summary. FolderAccess and Cancelled are left
// to the caller to show.
RunEnd AnalyseFolder(const BatchOptions& o, const RunPlan& plan, RunView& view, TableWriter& table, int& processed,
                     RunRecord& record)
{
    if (plan.relative) {
        const std::string why = ReferenceFailure(o, plan, record);
        if (!why.empty()) {
            // The table ends with its column header.
            if (!table.commit())
                return RunEnd::FolderAccess;
            model::ShowMsg(why, 16, kReferenceTitle);
            return RunEnd::ReferenceFailed;
        }
    }
    view.SetDataType(plan.relative ? "Relative Data with Reference: " + OneLine(o.files[size_t(plan.reference)])
                                   : "Absolute Data");
    view.SetGridRowCount(plan.n + 1);

    Trackers t;
    ImageContext images = MakeImageContext(o, plan);
    switch (AnalyseImages(images, view, table, t, processed, record.analysed)) {
    case LoopEnd::WriteFailed:
        return RunEnd::FolderAccess;
    case LoopEnd::Stopped:
        return RunEnd::Cancelled;
    case LoopEnd::Done:
        break;
    }
    view.ShowProgress(false);
    if (!table.writeLine("") || !table.writeLine(CountLine(processed, plan.n)) || !table.commit())
        return RunEnd::FolderAccess;

    if (processed > 0) {
        ShowSummary(o, t, view);
        SuggestPlotRanges(t, view);
    }
    if (processed != plan.n) {
        view.SetProcessedLabel(CountLine(processed, plan.n), true);
        view.ShowViewErrors();
    }
    return RunEnd::Completed;
}

// The run itself: checks, listing, every image, summary and suggestions.
RunOutcome Run(const BatchOptions& o, RunView& view, FolderLock* keep)
{
    // The run works on the shared matrices: the single image's state is put
    // aside and comes back at every end of the run.
    model::SingleImageHold hold;
    RunPlan plan;
    plan.n = static_cast<int>(o.files.size());
    plan.relative = model::batch.BatchRelativeMode;
    plan.folder = RunFolder(o.folder);
    for (const std::string& f : o.files)
        plan.paths.push_back(plan.folder == "/" ? "/" + f : plan.folder + "/" + f);
    RunOutcome out;
    out.total = plan.n;
    out.tablePath = TableFileName(plan.folder, plan.relative);
    FolderLock own;
    FolderLock& lock = keep ? *keep : own;
    if (const std::optional<RunEnd> refused = CheckRun(o, view, plan)) {
        out.end = *refused;
        return out;
    }
    if (!LockFolder(plan.folder, lock, out.tablePath, &out.end))
        return out;

    // The table is written under a temporary name and put in place at the end.
    TableWriter table;
    RunScope scope(view, table);
    auto folderAccess = [&] {
        out.end = ShowFolderAccess(out.tablePath);
        return out;
    };
    auto cancelled = [&] {
        core::ResetBatchSummary();
        out.end = RunEnd::Cancelled;
        return out;
    };
    const std::time_t created = std::time(nullptr);
    if (!table.open(out.tablePath))
        return folderAccess();

    // Past the last refusal: from here the run's state is written.
    out.started = true;
    RunRecord& record = out.record;
    record.options = o;
    record.options.folder = plan.folder;
    record.paths = plan.paths;
    record.relative = plan.relative;
    record.referenceIndex = plan.relative ? plan.reference : 0;
    record.calibratedFringeValue = plan.calibrated;
    record.analysed.assign(size_t(plan.n), false);
    model::state.CalibratedFringeValue = plan.calibrated;
    if (plan.relative)
        model::batch.BatchReferenceIndex = static_cast<int16_t>(plan.reference);
    scope.disable();
    if (!ShowStart(plan, view))
        return cancelled();
    if (!WriteHeader(o, plan, created, table))
        return folderAccess();
    switch (const RunEnd end = AnalyseFolder(o, plan, view, table, out.processed, record)) {
    case RunEnd::FolderAccess:
        return folderAccess();
    case RunEnd::Cancelled:
        return cancelled();
    default:
        out.end = end;
        return out;
    }
}

} // namespace

RunOutcome RunBatchAnalysis(const BatchOptions& o, RunView& view, FolderLock* keep)
{
    // A fault on the way ends the run with its reason; the table is left as
    // it was (the run's temporary table is dropped as the run unwinds).
    auto stopped = [&](const std::string& why) {
        RunOutcome out;
        out.end = RunEnd::Stopped;
        out.total = static_cast<int>(o.files.size());
        out.tablePath = TableFileName(RunFolder(o.folder), model::batch.BatchRelativeMode);
        model::ShowMsg("The batch run stopped: " + why + KeptTableNote(out.tablePath), 16, kReferenceTitle);
        return out;
    };
    try {
        return Run(o, view, keep);
    } catch (const std::exception& e) {
        return stopped(e.what());
    } catch (...) {
        return stopped("an unexpected error");
    }
}

} // namespace batch
