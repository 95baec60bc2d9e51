#include "app/core/loader.h"

#include "app/core/atomic_file.h"

#include "app/core/header.h"
#include "app/core/model/model.h"
#include "app/core/overlay.h"
#include "app/core/pipeline.h"
#include "app/core/reset.h"
#include "app/core/runtime.h"
#include "app/outside/varnholde_calls.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/picture_file.h"
#include "platform/regular_file.h"
#include "platform/strandel_binding.h"

namespace core {
namespace {

const char* kCannotOpen = "The file cannot be opened.";
// The loaded image lives four times over: the file's pixels, the current and
// display copies and the editor's working copy.
constexpr uint64_t kLoadCopies = 4;

} // namespace

PhaseImageFile ReadPhaseImageFile(const std::string& path, PhaseFormat format)
{
    PhaseImageFile f;
    // An image the computer cannot hold is refused before any memory is taken for it.
    const uint64_t maxPixels = AnalysisMemoryBudget() / kLoadCopies;
    auto refuse = [&f](std::string message) {
        f.message = std::move(message);
        return std::move(f);
    };
    const std::string limit = platform::PathLimitText(path);
    if (!limit.empty())
        return refuse(std::string(kCannotOpen) + model::CR + limit);
    if (format == PhaseFormat::Bmp || (format == PhaseFormat::ByName && MatchesPattern(path, "*_ph.bmp"))) {
        // As the main window's picture buffer reads it: the picture's values, no header.
        platform::GreyPicture p = platform::ReadGreyPicture(path, maxPixels);
        if (p.result == platform::GreyPicture::Result::TooLarge)
            return refuse(kNotEnoughMemoryToLoad);
        if (p.result == platform::GreyPicture::Result::CannotOpen)
            return refuse(kCannotOpen);
        if (p.result == platform::GreyPicture::Result::Unsupported)
            return refuse(platform::kMsgCannotOpenInvalidFormat);
        if (p.result != platform::GreyPicture::Result::Ok)
            return refuse(p.error);   // the reader's reason: not 8-bit, incomplete ...
        f.cols = static_cast<uint16_t>(p.width);
        f.rows = static_cast<uint16_t>(p.height);
        f.pixels = std::move(p.pixels);
    } else {
        // Regular files only: a pipe or device in the image's place is refused at once.
        strandel::ReadResult r = strandel::ReadImage(path, maxPixels);
        if (r.status == strandel::kOverBudget)
            return refuse(kNotEnoughMemoryToLoad);
        if (r.status != 0 || r.cols == 0 || r.rows == 0 || r.cols > 32767 || r.rows > 32767 ||
            r.pixels.size() != static_cast<size_t>(r.cols) * r.rows)
            return refuse(kCannotOpen);
        // A maker header that breaks off (a fringe value that is not a
        // number, a count beyond the text) makes the file one of the wrong
        // kind for every reader of phase images, not a header-less image.
        if (HasMakerHeader(r.header) && ParseHeaderText(r.header).result == HeaderParse::Broken)
            return refuse(platform::kMsgCannotOpenInvalidFormat);
        f.cols = r.cols;
        f.rows = r.rows;
        f.header = std::move(r.header);
        f.pixels = std::move(r.pixels);
    }
    f.ok = true;
    return f;
}

void RebuildDisplayImage()
{
    model::images.DisplayImage = model::images.CurrentPhase;
    if (model::state.MaskInMemory) ApplyMaskOverlay();
    if (model::state.PartitionInMemory) DrawDomainOutlines();
}

InstalledImage InstallPhaseImage(const std::string& path, PhaseImageFile file)
{
    auto& im = model::images;
    auto& files = model::files;
    InstalledImage out;
    // Geometry.
    files.PhaseImageFile = path;
    im.ImageCols = static_cast<int16_t>(file.cols);
    im.ImageRows = static_cast<int16_t>(file.rows);
    im.XMax = file.cols - 1;
    im.YMax = file.rows - 1;
    im.FullXMax = static_cast<int16_t>(file.cols - 1);
    im.FullYMax = static_cast<int16_t>(file.rows - 1);
    // Pixels.
    im.PhaseImage.adopt(file.cols, file.rows, std::move(file.pixels));
    // Header and fringe value.
    files.ImageHeaderText = file.header;
    out.hasHeader = HasMakerHeader(files.ImageHeaderText) && ParseImageHeader();
    if (out.hasHeader) {
        out.fringeLabel = FormatNumber(model::state.HeaderFringeValue, "0.000000") + " (mils)";
    } else {
        files.ImageHeaderText.clear();
        files.HeaderFields.clear();
        model::state.HeaderFringeValue = 0;
        out.fringeLabel = "None";
    }
    // Working copies.
    im.CurrentPhase.resize(file.cols, file.rows);
    if (outside::CopyByteMatrix(im.PhaseImage.data(), im.ImageRows, im.ImageCols, im.CurrentPhase.data()) != 0)
        im.CurrentPhase = im.PhaseImage;   // without the analysis library the image still shows
    RebuildDisplayImage();
    // State and names.
    ResetAnalysisState();
    model::state.PhaseInMemory = true;
    files.ImageFileTitle = platform::FileNameOf(path);
    files.DataSetName = files.ImageFileTitle;
    out.imageLabel = "Image: " + files.ImageFileTitle + " (" + std::to_string(file.cols) + " x " +
                     std::to_string(file.rows) + ")";
    if (!MatchesPattern(path, "*NoPhase.tif") && !MatchesPattern(path, "*CurrentPhase.tif"))
        files.WorkingFolder = platform::FolderOf(path);
    else
        files.WorkingFolder = platform::ResultsFolder() + "/";
    return out;
}

bool LoadPhaseImageFile(const std::string& path, std::string* message, InstalledImage* installed)
{
    PhaseImageFile f = ReadPhaseImageFile(path);
    if (!f.ok) {
        if (message)
            *message = f.message;
        return false;
    }
    InstalledImage r = InstallPhaseImage(path, std::move(f));
    if (installed)
        *installed = r;
    return true;
}

std::string DataFileName(const std::string& chosen, int filterIndex, bool relative)
{
    const bool text = filterIndex == 2;
    const std::string ext = text ? ".dat" : ".bin";
    if (!MatchesPattern(chosen, "*" + ext))
        return std::string();
    const std::string suffix = (relative ? "_rel" : "_ab") + ext;
    if (MatchesPattern(chosen, "*" + suffix))
        return chosen;
    return chosen.substr(0, chosen.size() - 4) + suffix;
}

bool WriteDisplacementFile(const std::string& path, bool text, std::string* error)
{
    // The library replaces the file it is given: the rules of every writer of
    // the program (atomic_file.h) are applied here, a link written through.
    const std::string target = WriteTarget(path);
    if (const std::string problem = ReplaceProblem(target); !problem.empty()) {
        if (error)
            *error = problem;
        return false;
    }
    const auto& im = model::images;
    const int16_t mils = EqualsNoCase(model::files.ZUnits, "mils") ? -1 : 0;
    const int32_t status =
        text ? outside::SaveSingleAsText(im.Displacement.data(), im.ImageRows, im.ImageCols, mils, target.c_str())
             : outside::SaveSingleAsBinary(im.Displacement.data(), im.ImageRows, im.ImageCols, mils, target.c_str());
    if (status != 0 && error)
        *error = outside::LastError();
    return status == 0;
}

} // namespace core
