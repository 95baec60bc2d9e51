#include "app/core/pipeline.h"

#include "app/core/figures.h"
#include "app/core/grating.h"
#include "app/core/header.h"
#include "app/core/model/model.h"
#include "app/core/reset.h"
#include "app/core/runtime.h"
#include "app/outside/varnholde_calls.h"
#include "platform/folders.h"
#include "platform/messages.h"

#include <algorithm>
#include <malloc.h>
#include <cmath>
#include <new>
#include <sys/resource.h>
#include <unistd.h>

namespace core {
namespace {

using model::images;
using model::NoDataValue;
using model::state;

const char* kSetupTitle = "Analysis Setup Error";
const char* kAnalysisTitle = "Analysis Error";
const char* kOutOfMemoryText = "Not enough memory for the calculation.";
const char* kReferenceSizeText = "Current and Reference images have different dimensions.";

uint64_t gMemoryBudget = 0;   // 0: the computer's default

// Done for status 0; else failed with the library's reason.
StepResult LibraryOk(int32_t status)
{
    if (status == 0)
        return {};
    std::string why = status == outside::kLibraryMissing
                          ? "The analysis library cannot be loaded." + std::string(model::CR) + outside::LoadError()
                          : outside::LastError();
    if (why.empty())
        why = "The analysis library stopped the calculation (status " + std::to_string(status) + ").";
    return StepResult::Failed(why);
}

int16_t Rows() { return images.ImageRows; }
int16_t Cols() { return images.ImageCols; }

// Sets ImageCols/ImageRows/XMax/YMax for a region of cols x rows.
void SetRegionSize(int cols, int rows)
{
    images.ImageCols = static_cast<int16_t>(cols);
    images.ImageRows = static_cast<int16_t>(rows);
    images.XMax = cols - 1;
    images.YMax = rows - 1;
}

// Multiplies every data value of Displacement by f (unit changes around compensation).
void ScaleDisplacement(double f)
{
    for (float& v : images.Displacement.buffer())
        if (!IsNoData(v))
            v = static_cast<float>(v * f);
}

// A sample size in inches from a box text: the number, or in millimetres the
// number / 25.4 rounded to two decimals.
float SampleInches(double value)
{
    if (EqualsNoCase(model::files.XYUnits, "mm")) {
        double r = 0;
        ParseNumber(FormatNumber(value / model::MmPerInch, "0.00"), &r);
        return static_cast<float>(r);
    }
    return static_cast<float>(value);
}

StepResult Compensate(double width, double height)
{
    state.SampleWidth = SampleInches(width);
    state.SampleHeight = SampleInches(height);
    const bool microns = EqualsNoCase(model::files.ZUnits, "microns");
    if (microns)
        ScaleDisplacement(1.0 / model::MmPerInch);
    if (StepResult done = CompensateDisplacement(); !done)
        return done;
    if (microns)
        ScaleDisplacement(model::MmPerInch);
    return {};
}

// The checks made before anything is computed for a partition or a mask that
// does not fit the image. Returns the message, "" when all is well.
std::string RegionProblem(const AnalysisOptions& o)
{
    const int fullCols = images.FullXMax + 1, fullRows = images.FullYMax + 1;
    if (images.PhaseImage.cols() != fullCols || images.PhaseImage.rows() != fullRows)
        return "The phase image in memory is incomplete." + std::string(model::CR) + "Load the image again.";
    const auto& mp = model::maskPartition;
    if (state.PartitionInMemory) {
        if (o.domain < 0 || o.domain > mp.DomainCount - 2 || o.domain >= model::MaxDomains)
            return "No domain is selected." + std::string(model::CR) + "Select the domain to analyse.";
        const model::Domain& d = mp.DomainTable[o.domain];
        if (d.Width <= 0 || d.Height <= 0 || d.Left < 0 || d.Top < 0 || d.Left + d.Width > fullCols ||
            d.Top + d.Height > fullRows)
            return "Domain \"" + d.Name + "\" does not lie inside the image." + std::string(model::CR) +
                   "Clear the partition or load a matching one.";
    }
    if (state.MaskInMemory && (images.MaskImage.cols() != fullCols || images.MaskImage.rows() != fullRows))
        return "The mask in memory (" + std::to_string(images.MaskImage.cols()) + " x " +
               std::to_string(images.MaskImage.rows()) + ") does not match the size of the image (" +
               std::to_string(fullCols) + " x " + std::to_string(fullRows) + ")." + std::string(model::CR) +
               "Clear the mask or make a new one.";
    return std::string();
}

// out = the domain's rectangle of `full`, copied a row at a time.
void CropRegion(const model::ByteMatrix& full, const model::Domain& d, model::ByteMatrix* out)
{
    out->assignRows(d.Width, d.Height, [&](int y) { return &full(d.Left, d.Top + y); });
}

// The mask of the single-image analysis: CurrentMask when one is in memory.
const model::ByteMatrix* CurrentMaskInUse() { return state.MaskInMemory ? &images.CurrentMask : nullptr; }

// True when the pixels of CurrentPhase the analysis reads hold at most one
// value: those `mask` keeps (all of them without a mask), blank ones left out
// with Exclude 128 and read as 127 without it. Such a frame (a dark frame of a
// failed camera or lamp, a saturated one, a blank one) carries no
// measurement: a real flat part still shows phase noise. A frame of blank
// pixels only is empty whatever Exclude 128 would make of its bytes.
bool RegionHoldsNoMeasurement(const model::ByteMatrix* mask, bool exclude128)
{
    const std::vector<uint8_t>& phase = images.CurrentPhase.buffer();
    const bool masked = mask && mask->size() == images.CurrentPhase.size();
    int first = -1;
    for (size_t i = 0; i < phase.size(); ++i) {
        if (masked && mask->buffer()[i] == 0)
            continue;
        int v = phase[i];
        if (v == model::BlankPhaseValue) {
            if (exclude128)
                continue;
            v = model::BlankPhaseValue - 1;
        }
        if (first < 0)
            first = v;
        else if (v != first)
            return false;
    }
    return true;
}

// WorkingPhase from CurrentPhase, through `mask` when one is given.
StepResult MaskPhase(const model::ByteMatrix* mask)
{
    images.WorkingPhase.resize(Cols(), Rows());
    if (mask)
        return LibraryOk(outside::Mask_UserAdd(images.CurrentPhase.data(), mask->data(), Rows(), Cols(),
                                               images.WorkingPhase.data()));
    return LibraryOk(
        outside::CopyByteMatrix(images.CurrentPhase.data(), Rows(), Cols(), images.WorkingPhase.data()));
}

// Displacement minus ReferenceDisplacement, through DifferenceMatrix (already
// of the region's size).
StepResult SubtractReference()
{
    if (StepResult done = LibraryOk(outside::SubtractSingleMatrix(images.Displacement.data(),
                                                                  images.ReferenceDisplacement.data(), Rows(), Cols(),
                                                                  images.DifferenceMatrix.data()));
        !done)
        return done;
    return LibraryOk(
        outside::CopySingleMatrix(images.DifferenceMatrix.data(), Rows(), Cols(), images.Displacement.data()));
}

// The reason why the fringe value in use cannot be used, "" when it can.
std::string FringeProblem(float value, bool fromFile)
{
    if (UsableFringeValue(value))
        return std::string();
    const std::string source = fromFile ? "FringeValue.txt" : "The image header";
    return source + " gives the fringe value " + ExactText(value) + " (mils), which cannot be used." +
           std::string(model::CR) + FringeValueRule();
}

// The fringe value the options choose: the calibrated one or the header's.
float FringeValueInUse(const AnalysisOptions& o)
{
    return o.useFringeFile ? state.CalibratedFringeValue : state.HeaderFringeValue;
}

std::string FringeProblem(const AnalysisOptions& o) { return FringeProblem(FringeValueInUse(o), o.useFringeFile); }

const char* kSampleSizeText = "Compensation requires image physical Width(X) and Height(Y).";

// The sample size texts as numbers; false unless both are usable sizes.
bool ParseSampleSize(const AnalysisOptions& o, double* width, double* height)
{
    return ParseNumber(o.sampleWidth, width) && ParseNumber(o.sampleHeight, height) && UsableSampleSize(*width) &&
           UsableSampleSize(*height);
}

// Memory freed on the heap goes back to the system at once. A large block
// freed after a large one came back may have been taken from the heap
// rather than mapped on its own, and would otherwise stay with the process
// and raise its peak.
void GiveBackFreedMemory()
{
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

// Physical memory of the computer in bytes (0 when unknown).
uint64_t PhysicalMemory()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES), size = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(size) : 0;
}

} // namespace

std::string RotationItemText(int position)
{
    static const char* items[] = {"No Rotation",  "Lsf Rotation", "4 Pt Rotation",
                                  "3 Pt Rotation", "Lsf - Low 0",  "Lsf - High 0"};
    return position >= 0 && position < 6 ? items[position] : "";
}

void ExtractDomain(int16_t index)
{
    if (index < 0 || index >= model::MaxDomains)
        return;
    const model::Domain& d = model::maskPartition.DomainTable[index];
    SetRegionSize(d.Width, d.Height);
    CropRegion(images.PhaseImage, d, &images.CurrentPhase);
    if (state.MaskInMemory)
        CropRegion(images.MaskImage, d, &images.CurrentMask);
}

void ReplaceBlankPhase()
{
    for (uint8_t& b : images.CurrentPhase.buffer())
        if (b == model::BlankPhaseValue)
            b = model::BlankPhaseValue - 1;
}

StepResult ApplyMaskToPhase() { return MaskPhase(CurrentMaskInUse()); }

StepResult FilterPhase() { return LibraryOk(outside::PhaseFiltering(images.WorkingPhase.data(), -1, Rows(), Cols())); }

StepResult UnwrapPhase()
{
    // The conversion turns the unwrapped phase into the displacement in place,
    // so the two take turns with one storage: the unwrapped phase takes over
    // Displacement's, whose old values are stale from here on.
    if (images.UnwrappedPhase.empty())
        std::swap(images.UnwrappedPhase, images.Displacement);
    images.UnwrappedPhase.resize(Cols(), Rows());
    return LibraryOk(
        outside::Unwrap_FloodFill(images.WorkingPhase.data(), -1, Rows(), Cols(), images.UnwrappedPhase.data()));
}

StepResult PhaseToDisplacement()
{
    model::SingleMatrix& phase = images.UnwrappedPhase;
    if (phase.cols() != Cols() || phase.rows() != Rows())
        return StepResult::Failed("No unwrapped phase of the analysed region is in memory.");
    // Converted in place; the storage then becomes Displacement, and the
    // unwrapped phase, used up, is left empty.
    float* values = phase.data();
    const int32_t status =
        EqualsNoCase(model::files.ZUnits, "microns")
            ? outside::PhiToMicrons(values, Rows(), Cols(), state.FringeValue, values)
            : outside::PhiToMils(values, Rows(), Cols(), state.FringeValue, values);
    std::swap(images.Displacement, phase);
    phase.clear();
    return LibraryOk(status);
}

StepResult CompensateDisplacement()
{
    const std::string path = GratingCompFilePath();
    return LibraryOk(outside::Compensate_Standard(images.Displacement.data(), path.c_str(), Rows(), Cols(),
                                                  state.SampleWidth, state.SampleHeight, state.GratingIndex));
}

StepResult ApplyRotation(int16_t choice)
{
    state.RotationMode = static_cast<uint8_t>(choice >= 0 && choice <= 3 ? choice : 1);
    float* d = images.Displacement.data();
    if (StepResult done = LibraryOk(outside::RotateDisplacement(d, Rows(), Cols(), state.RotationMode)); !done)
        return done;
    if (choice != 4 && choice != 5)
        return {};
    const float offset = choice == 4 ? outside::MinSingle(d, Rows(), Cols()) : outside::MaxSingle(d, Rows(), Cols());
    if (IsNoData(offset))
        return {};   // no data at all: nothing to shift
    for (float& v : images.Displacement.buffer())
        if (!IsNoData(v))
            v -= offset;
    return {};
}

bool HoldsData(const model::SingleMatrix& m)
{
    for (float v : m.buffer())
        if (!IsNoData(v))
            return true;
    return false;
}

std::string NoDataMessage()
{
    return "The result holds no data: the analysed region holds a single value, or every pixel of it is blank, "
           "masked or without a usable value." +
           std::string(model::CR) + "No figures are given.";
}

uint64_t AnalysisMemoryNeeded(int cols, int rows)
{
    // Bytes a pixel: five float matrices of the pipeline (unwrapped phase,
    // displacement, result, chart copy, reference difference), four byte
    // matrices, and the library's unwrap grid and queue.
    constexpr uint64_t kBytesPerPixel = 5 * 4 + 4 + 24;
    if (cols <= 0 || rows <= 0)
        return 0;
    return static_cast<uint64_t>(cols) * static_cast<uint64_t>(rows) * kBytesPerPixel;
}

uint64_t AnalysisMemoryBudget()
{
    if (gMemoryBudget != 0)
        return gMemoryBudget;
    uint64_t budget = PhysicalMemory() / 2;
    if (budget == 0)
        budget = uint64_t(4) << 30;
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        budget = std::min<uint64_t>(budget, static_cast<uint64_t>(limit.rlim_cur) / 2);
    return budget;
}

void SetAnalysisMemoryBudget(uint64_t bytes) { gMemoryBudget = bytes; }

std::string MemoryProblem(int cols, int rows)
{
    const uint64_t needed = AnalysisMemoryNeeded(cols, rows), budget = AnalysisMemoryBudget();
    if (needed <= budget)
        return std::string();
    const auto mb = [](uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20); };
    return "The image (" + std::to_string(cols) + " x " + std::to_string(rows) +
           ") is too large to analyse in the memory of this computer." + std::string(model::CR) + "It needs about " +
           mb(needed) + " MB; " + mb(budget) + " MB can be used.";
}

void SetReference(int domainPosition)
{
    images.ReferenceDisplacement.resize(Cols(), Rows());
    state.RefXMax = images.XMax;
    state.RefYMax = images.YMax;
    state.ReferenceInMemory = true;
    outside::CopySingleMatrix(images.Displacement.data(), Rows(), Cols(), images.ReferenceDisplacement.data());
    const std::string size = " (" + std::to_string(Cols()) + " x " + std::to_string(Rows()) + ")";
    const std::string caption =
        state.PartitionInMemory ? "Reference: Domain " + std::to_string(domainPosition + 1) + size
                                : "Reference: " + platform::FileNameOf(model::files.PhaseImageFile) + size;
    if (AnalysisWindow* w = CurrentAnalysisWindow())
        w->SetReferenceCaption(caption);
}

StepResult ApplyReference()
{
    images.DifferenceMatrix.resize(Cols(), Rows());
    if (state.RefXMax == images.XMax && state.RefYMax == images.YMax &&
        images.ReferenceDisplacement.size() == images.Displacement.size()) {
        StepResult done = SubtractReference();
        state.RelativeResult = bool(done);
        return done;
    }
    model::ShowMsg(kReferenceSizeText + std::string(model::CR) +
                       "Absolute displacement will be reported.",
                   48, kSetupTitle);
    if (AnalysisWindow* w = CurrentAnalysisWindow())
        w->UncheckRelative();
    return {};
}

void ComputeDisplacementRange()
{
    state.MaxZ = outside::MaxSingle(images.Displacement.data(), Rows(), Cols());
    state.MinZ = outside::MinSingle(images.Displacement.data(), Rows(), Cols());
    state.ZRange = state.MaxZ - state.MinZ;
}

void SwapImageMatrix()
{
    images.ResultMatrix.resize(Cols(), Rows());
    outside::SwapSingleMatrix(images.Displacement.data(), Rows(), Cols(), images.ResultMatrix.data());
}

int ReducedColumn(int i, int xMax) { return static_cast<int>(RoundHalfEven((i - 1) / 49.0 * xMax)); }
int ReducedRow(int j, int yMax) { return static_cast<int>(RoundHalfEven((50 - j) / 49.0 * yMax)); }

void ReduceData()
{
    auto& r = images.ReducedData;
    if (r.cols() != model::ReducedSize || r.rows() != model::ReducedSize)
        r.create(model::ReducedSize, model::ReducedSize);
    const auto& m = images.ResultMatrix;
    for (int i = 1; i <= model::ReducedSize; ++i)
        for (int j = 1; j <= model::ReducedSize; ++j) {
            const int x = ReducedColumn(i, images.XMax), y = ReducedRow(j, images.YMax);
            r(i - 1, j - 1) = m.contains(x, y) ? m(x, y) : NoDataValue;
        }
}

void MakeChartData()
{
    const auto& m = images.ResultMatrix;
    images.ChartData.assignRows(images.XMax + 1, images.YMax + 1, [&](int y) { return &m(0, images.YMax - y); });
}

namespace {

// After a step on Displacement: false with the reason when the step stopped
// or left no data.
bool DataAfter(const StepResult& step, std::string* reason)
{
    if (!step)
        *reason = step.failure;
    else if (!HoldsData(images.Displacement))
        *reason = NoDataMessage();
    else
        return true;
    return false;
}

// CurrentPhase through `mask` (none: copied), filtered when asked, unwrapped
// and converted with the fringe value in use; false with the reason when a
// step stops or the result holds no data.
bool PhaseToDisplacementSteps(const model::ByteMatrix* mask, const AnalysisOptions& o, std::string* reason)
{
    StepResult done = MaskPhase(mask);
    if (done && o.phaseFilter)
        done = FilterPhase();
    if (done)
        done = UnwrapPhase();
    if (!done) {
        *reason = done.failure;
        return false;
    }
    state.FringeValue = FringeValueInUse(o);
    return DataAfter(PhaseToDisplacement(), reason);
}

// The steps of Calculate Displacement after its checks; false with the reason
// when one stops.
bool CalculateSteps(const AnalysisOptions& o, double width, double height, std::string* reason)
{
    auto fail = [&](const std::string& why) {
        *reason = why;
        return false;
    };
    // Region to analyse.
    if (state.PartitionInMemory) {
        ExtractDomain(static_cast<int16_t>(o.domain));
        model::maskPartition.CurrentDomain = static_cast<int16_t>(o.domain);
    } else {
        SetRegionSize(images.FullXMax + 1, images.FullYMax + 1);
        images.CurrentPhase.resize(Cols(), Rows());
        if (StepResult done = LibraryOk(
                outside::CopyByteMatrix(images.PhaseImage.data(), Rows(), Cols(), images.CurrentPhase.data()));
            !done)
            return fail(done.failure);
        if (state.MaskInMemory) {
            images.CurrentMask.resize(Cols(), Rows());
            if (StepResult done = LibraryOk(
                    outside::CopyByteMatrix(images.MaskImage.data(), Rows(), Cols(), images.CurrentMask.data()));
                !done)
                return fail(done.failure);
        }
    }
    // A frame of one value holds no data; otherwise blank pixels are
    // analysed as 127 unless excluded.
    if (RegionHoldsNoMeasurement(CurrentMaskInUse(), o.exclude128))
        return fail(NoDataMessage());
    if (!o.exclude128)
        ReplaceBlankPhase();
    // Mask, filter, unwrap, convert. WorkingPhase is read by nothing
    // after the unwrap; the single image gives its storage back before the
    // result matrices are made, which keeps the peak of a large image down
    // (a batch keeps it for the next image).
    const bool converted = PhaseToDisplacementSteps(CurrentMaskInUse(), o, reason);
    images.WorkingPhase.clear();
    GiveBackFreedMemory();
    if (!converted)
        return false;
    // Compensation (in mils, sample in inches).
    if (o.compensate && !DataAfter(Compensate(width, height), reason))
        return false;
    // Levelling, reference, range, result matrices.
    if (!DataAfter(ApplyRotation(static_cast<int16_t>(o.rotation)), reason))
        return false;
    if (o.setReference)
        SetReference(o.domain);
    if (o.relative) {
        if (StepResult done = ApplyReference(); !done)
            return fail(done.failure);
        if (!HoldsData(images.Displacement))
            return fail(NoDataMessage());
    }
    ComputeDisplacementRange();
    SwapImageMatrix();
    ReduceData();
    // Chart copy.
    MakeChartData();
    return true;
}

// An image in memory, a grating and a rotation from the lists; false after
// the message.
bool CheckImageAndChoices(const AnalysisOptions& o)
{
    if (!state.PhaseInMemory) {
        platform::ShowMessage("No Phase Data in Memory", platform::kMsgOkOnly, model::AppTitle);
        return false;
    }
    if (o.grating < 0 || o.grating > 5 || o.rotation < 0 || o.rotation > 5) {
        model::ShowMsg("Select a grating and a rotation.", 16, kSetupTitle);
        return false;
    }
    return true;
}

// Compensation needs the sample size inside the compensated area, checked on
// the very size the compensation is given; false after the message (the
// window's box unticked). The size in the box units goes to *width, *height.
bool CheckCompensationSetup(const AnalysisOptions& o, AnalysisWindow* window, double* width, double* height)
{
    if (!o.compensate)
        return true;
    if (!ParseSampleSize(o, width, height)) {
        model::ShowMsg(kSampleSizeText, 16, kSetupTitle);
        if (window) {
            window->FocusSampleWidth();
            window->UncheckCompensate();
        }
        return false;
    }
    const std::string problem =
        CheckCompensationArea(static_cast<uint8_t>(o.grating), SampleInches(*width), SampleInches(*height));
    if (!problem.empty()) {
        model::ShowMsg(problem, 16, kSetupTitle);
        if (window)
            window->UncheckCompensate();
        return false;
    }
    return true;
}

// The region must be analysable: a selected domain inside the image, a mask
// of the image's size, and memory for its analysis. False after the message.
bool CheckRegion(const AnalysisOptions& o)
{
    std::string problem = RegionProblem(o);
    if (problem.empty()) {
        const bool domain = state.PartitionInMemory;
        const model::Domain* d = domain ? &model::maskPartition.DomainTable[o.domain] : nullptr;
        problem = MemoryProblem(domain ? d->Width : images.FullXMax + 1, domain ? d->Height : images.FullYMax + 1);
    }
    if (problem.empty())
        return true;
    model::ShowMsg(problem, 16, kSetupTitle);
    return false;
}

// The calibrated fringe value when asked for, and a fringe value in use that
// the analysis accepts; false after the message.
bool CheckFringeValue(const AnalysisOptions& o)
{
    if (o.useFringeFile) {
        const std::string path = platform::JoinPath(platform::UtilityFolder(), "FringeValue.txt");
        state.CalibratedFringeValue = outside::ReadFringeValue(path.c_str(), state.GratingIndex);
        if (state.CalibratedFringeValue == NoDataValue) {
            const std::string reason = outside::LastError();
            model::ShowMsg("FringeValue.txt cannot be read." +
                               (reason.empty() ? std::string() : std::string(model::CR) + reason),
                           16, "Calibration Needed");
            return false;
        }
        if (state.CalibratedFringeValue == -1.0f) {
            model::ShowMsg("Analysis cannot be performed with this grating until" + std::string(model::CR) +
                               "a calibrated value is entered in FringeValue.txt.",
                           48, "Calibration Needed");
            return false;
        }
    }
    const std::string fringe = FringeProblem(o);
    if (fringe.empty())
        return true;
    model::ShowMsg(fringe, 16, o.useFringeFile ? "Calibration Needed" : kSetupTitle);
    return false;
}

// The steps with the window busy, then the figures; a step that stops puts the
// window back into its state without a result and shows the reason.
CalculateOutcome Calculate(const AnalysisOptions& o, double width, double height, AnalysisWindow* window)
{
    CalculateOutcome out;
    state.RelativeResult = false;
    if (window)
        window->ShowProcessing();
    std::string reason;
    bool done = false;
    try {
        done = CalculateSteps(o, width, height, &reason);
    } catch (const std::bad_alloc&) {
        reason = kOutOfMemoryText;
    }
    if (!done) {
        // Nothing of this run is shown, saved or plotted.
        state.RelativeResult = false;
        ResetAnalysisState();
        model::ShowMsg(reason, 16, kAnalysisTitle);
        return out;
    }
    out.completed = true;
    out.maxZ = FormatNumber(state.MaxZ, model::files.ZFormat);
    out.minZ = FormatNumber(state.MinZ, model::files.ZFormat);
    out.range = FormatNumber(state.ZRange, model::files.ZFormat);
    if (window)
        window->ShowResults(out.maxZ, out.minZ, out.range);
    return out;
}

} // namespace

CalculateOutcome RunCalculateDisplacement(const AnalysisOptions& o)
{
    if (!CheckImageAndChoices(o))
        return {};
    state.GratingIndex = static_cast<uint8_t>(o.grating);
    AnalysisWindow* window = CurrentAnalysisWindow();
    double width = 0, height = 0;
    if (!CheckCompensationSetup(o, window, &width, &height) || !CheckRegion(o) || !CheckFringeValue(o))
        return {};
    return Calculate(o, width, height, window);
}

namespace {

bool BatchSteps(bool relative, const AnalysisOptions& o, std::string* reason)
{
    auto fail = [&](const std::string& why) {
        *reason = why;
        return false;
    };
    // A fringe value that cannot be used stops before any work.
    const std::string fringe = FringeProblem(o);
    if (!fringe.empty())
        return fail(fringe);
    // The mask applies only when it has the image's size.
    const auto& b = model::batch;
    const bool maskFits = o.useMask && b.BatchMaskRows == Rows() && b.BatchMaskCols == Cols() &&
                          b.BatchMask.size() == images.CurrentPhase.size();
    const model::ByteMatrix* mask = maskFits ? &b.BatchMask : nullptr;
    // Frame of one value, blank pixels.
    if (RegionHoldsNoMeasurement(mask, o.exclude128))
        return fail(NoDataMessage());
    if (!o.exclude128)
        ReplaceBlankPhase();
    // Mask, filter, unwrap, convert.
    if (!PhaseToDisplacementSteps(mask, o, reason))
        return false;
    // Grating.
    state.GratingIndex = static_cast<uint8_t>(o.grating);
    // Compensation.
    if (o.compensate) {
        double width = 0, height = 0;
        if (!ParseSampleSize(o, &width, &height))
            return fail(kSampleSizeText);
        if (!DataAfter(Compensate(width, height), reason))
            return false;
    }
    // Corner-point levellings need data in the four matrix corners.
    if (o.rotation == 2 || o.rotation == 3) {
        SwapImageMatrix();
        const auto& m = images.ResultMatrix;
        const int xm = images.XMax, ym = images.YMax;
        if (IsNoData(m(0, 0)) || IsNoData(m(xm, ym)) || IsNoData(m(xm, 0)) || IsNoData(m(0, ym)))
            return fail("A corner of the image has no data: it cannot be levelled on its corners.");
    }
    // Levelling.
    if (StepResult done = ApplyRotation(static_cast<int16_t>(o.rotation)); !done)
        return fail(done.failure);
    // Relative step (the caller has compared the sizes; a reference of
    // another size is refused rather than read past its end).
    if (relative) {
        if (images.ReferenceDisplacement.size() != images.Displacement.size())
            return fail(kReferenceSizeText);
        images.DifferenceMatrix.resize(Cols(), Rows());
        if (StepResult done = SubtractReference(); !done)
            return fail(done.failure);
    }
    if (!HoldsData(images.Displacement))
        return fail(NoDataMessage());
    // Range of the result, then the result takes the displacement's place.
    ComputeDisplacementRange();
    SwapImageMatrix();
    return true;
}

} // namespace

bool BatchAnalyzeImage(bool relative, const AnalysisOptions& o, std::string* reason)
{
    std::string why;
    bool done = false;
    // The caller must have put an image of ImageCols x ImageRows into CurrentPhase.
    if (Cols() <= 0 || Rows() <= 0 || images.CurrentPhase.cols() != Cols() || images.CurrentPhase.rows() != Rows()) {
        why = "No image of " + std::to_string(Cols()) + " x " + std::to_string(Rows()) + " is prepared.";
    } else {
        why = MemoryProblem(Cols(), Rows());
        if (why.empty()) {
            try {
                done = BatchSteps(relative, o, &why);
            } catch (const std::bad_alloc&) {
                why = kOutOfMemoryText;
            }
        }
    }
    if (reason)
        *reason = done ? std::string() : why;
    return done;
}

} // namespace core
