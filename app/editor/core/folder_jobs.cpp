#include "app/editor/core/folder_jobs.h"

#include "app/core/runtime.h"
#include "app/editor/core/domain_names.h"
#include "app/editor/core/elliptical_mask.h"
#include "app/editor/core/image_files.h"
#include "app/editor/core/mask_ops.h"
#include "app/editor/core/partition_file.h"
#include "platform/folderjobs.h"
#include "platform/folders.h"

#include <filesystem>
#include <set>
#include <system_error>

namespace editor {
namespace {

std::string BaseOf(const std::string& fileName)
{
    return fileName.size() > 7 ? fileName.substr(0, fileName.size() - 7) : std::string();
}

bool EnsureFolder(const std::string& folder, std::string* error)
{
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) return true;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder)) {
        if (error) *error = "The folder " + folder + " cannot be created.";
        return false;
    }
    return true;
}

bool WriteImage(const std::string& path, const std::string& format, const model::ByteMatrix& m,
                const std::string& header, std::string* error)
{
    if (core::EqualsNoCase(format, "bmp")) return WriteGreyBmp(path, m.cols(), m.rows(), m.data(), error);
    return WriteTiffImage(path, m.cols(), m.rows(), DerivedHeader(header), m.data(), error);
}

void Report(const JobCallbacks& cb, int value, int maximum)
{
    if (cb.progress) cb.progress(value, maximum);
}

// The full paths of the job's source images. The job keeps its own list: the
// batch window's record of its run is the batch window's alone.
std::vector<std::string> SourcePaths(const std::string& folder, const std::vector<std::string>& files)
{
    std::vector<std::string> paths;
    for (const std::string& f : files) paths.push_back(platform::JoinPath(folder, f));
    return paths;
}

// The canonical paths of the sources: an output never replaces one.
std::set<std::string> Sources(const std::vector<std::string>& paths)
{
    std::set<std::string> sources;
    for (const std::string& p : paths) sources.insert(platform::CanonicalPath(p));
    return sources;
}

JobOutcome Refused(const std::string& text, const std::string& title)
{
    JobOutcome o;
    o.message = text;
    o.title = title;
    return o;
}

} // namespace

std::string CroppedFileName(CropNaming naming, const std::string& sourceName, const std::string& domainName,
                            const std::string& format)
{
    const std::string ext = core::ToLower(format);
    switch (naming) {
    case CropNaming::AppendDomainToOriginal: return BaseOf(sourceName) + "_" + domainName + "_ph." + ext;
    case CropNaming::AppendOriginalToDomain: return domainName + "_" + sourceName;
    case CropNaming::UseDomainName: break;
    }
    return domainName + "_ph." + ext;
}

bool CutDomain(const model::ByteMatrix& image, const model::Domain& d, const model::ByteMatrix* mask, bool ellipse,
               model::ByteMatrix* out)
{
    if (!RectInside(d.Left, d.Top, d.Width, d.Height, image.cols(), image.rows())) return false;
    const bool useMask = mask && mask->cols() == image.cols() && mask->rows() == image.rows();
    out->create(d.Width, d.Height);
    for (int y = 0; y < d.Height; ++y) {
        for (int x = 0; x < d.Width; ++x) {
            uint8_t v = image(d.Left + x, d.Top + y);
            if (useMask && (*mask)(d.Left + x, d.Top + y) == 0) v = model::BlankPhaseValue;
            (*out)(x, y) = v;
        }
    }
    if (ellipse) *out = MakeEllipticalMask(*out);
    return true;
}

namespace {

// Why the domains cannot be cropped at all ("" when they can): none, or a
// name that cannot be part of a file name ("..", separators and control
// characters would write outside the destination).
std::string DomainsRefusal(const std::vector<model::Domain>& domains)
{
    if (domains.empty()) return "The partition holds no domain.";
    for (const model::Domain& d : domains)
        if (!IsSafeDomainName(d.Name)) return "The domain name \"" + d.Name + "\" cannot be part of a file name.";
    return "";
}

// One run of the crop-domains job: the domains of each image written to
// their files, the outcome and the progress as it goes.
class CropRun {
public:
    CropRun(const CropDomainsOptions& o, const std::vector<model::Domain>& domains, const JobCallbacks& cb,
            int imageCount, const std::vector<std::string>& paths)
        : o_(o), domains_(domains), cb_(cb), ext_(core::ToLower(o.format)), paths_(paths),
          mask_(model::state.MaskInMemory ? &model::images.MaskImage : nullptr),
          maximum_(imageCount * int(domains.size())),
          // Sources are never replaced by an output.
          sources_(o.currentImage ? std::set<std::string>{platform::CanonicalPath(model::files.PhaseImageFile)}
                                  : Sources(paths))
    {
        out.ran = true;
    }

    JobOutcome out;

    // The folders of the domains, when each domain has its own.
    void MakeDomainFolders()
    {
        if (!o_.domainSubfolders) return;
        for (const model::Domain& d : domains_) {
            std::string err;
            if (!EnsureFolder(platform::JoinPath(o_.destination, d.Name), &err)) out.failedWrites.push_back(err);
        }
    }

    void Start()
    {
        Report(cb_, 0, maximum_);
        platform::YieldToUi();
    }

    // Crops and writes the domains of image number `i`; false when one could
    // not be written.
    bool WriteDomains(const model::ByteMatrix& image, const std::string& header, const std::string& folder,
                      const std::string& sourceName, int i)
    {
        const int n = int(domains_.size());
        bool allWritten = true;
        for (int d = 0; d < n; ++d) {
            const model::Domain& dom = domains_[size_t(d)];
            const std::string name = CroppedFileName(o_.naming, sourceName, dom.Name, ext_);
            const std::string path =
                o_.domainSubfolders ? platform::JoinPath(folder, dom.Name, name) : platform::JoinPath(folder, name);
            std::string err;
            model::ByteMatrix cut;
            if (!CutDomain(image, dom, mask_, o_.ellipse, &cut))
                err = "the domain " + dom.Name + " lies outside the image";
            else if (sources_.count(platform::CanonicalPath(path)))
                err = "it would replace a source image";
            else
                WriteImage(path, ext_, cut, header, &err);
            if (!err.empty()) {
                out.failedWrites.push_back(path + ": " + err);
                allWritten = false;
            }
            platform::YieldToUi();
            Report(cb_, i * n + d + 1, maximum_);
        }
        return allWritten;
    }

    // Image number `i` of the folder: read, checked against the current
    // image's size, cropped into its folder; counted as processed or skipped.
    void CropFolderImage(const std::string& name, int i, int cols, int rows)
    {
        GreyImage g = ReadGreyImage(paths_[size_t(i)], ext_);
        bool processed = false;
        if (g.ok && g.cols == cols && g.rows == rows) {
            model::ByteMatrix image(g.cols, g.rows);
            image.buffer() = std::move(g.pixels);
            std::string folder = o_.destination;
            bool folderOk = true;
            if (o_.imageSubfolders) {
                folder = platform::JoinPath(o_.destination, BaseOf(name));
                std::string err;
                folderOk = EnsureFolder(folder, &err);
                if (!folderOk) out.failedWrites.push_back(err);
            }
            processed = folderOk && WriteDomains(image, g.header, folder, name, i);
        }
        if (processed)
            ++out.processed;
        else
            out.skippedList += name + model::CR;
        Count();
        platform::YieldToUi();
    }

    void Count()
    {
        if (cb_.counter) cb_.counter(out.processed, out.total);
    }

private:
    const CropDomainsOptions& o_;
    const std::vector<model::Domain>& domains_;
    const JobCallbacks& cb_;
    const std::string ext_;
    const std::vector<std::string> paths_;
    const model::ByteMatrix* mask_;
    const int maximum_;
    const std::set<std::string> sources_;
};

} // namespace

JobOutcome RunCropDomains(const CropDomainsOptions& o, const std::vector<model::Domain>& domains,
                          const JobCallbacks& cb)
{
    platform::JobGuard guard("Crop Domains");
    if (!guard.started()) return Refused("A crop job is already running.", "Crop Domains");
    const std::string refusal = DomainsRefusal(domains);
    if (!refusal.empty()) return Refused(refusal, "Crop Domains");
    std::vector<std::string> files;
    if (!o.currentImage) {
        files = platform::ListFiles(o.sourceFolder, "*_ph." + core::ToLower(o.format));
        if (files.empty()) return Refused("No phase images found in this folder.", "Folder Selection Error");
    }
    if (cb.started) cb.started();

    CropRun run(o, domains, cb, o.currentImage ? 1 : int(files.size()), SourcePaths(o.sourceFolder, files));
    run.MakeDomainFolders();
    run.Start();
    const auto& im = model::images;
    if (o.currentImage) {
        run.out.total = 1;
        const std::string sourceName = platform::FileNameOf(model::files.PhaseImageFile);
        if (run.WriteDomains(im.PhaseImage, model::files.ImageHeaderText, o.destination, sourceName, 0))
            run.out.processed = 1;
        run.Count();
        return run.out;
    }
    run.out.total = int(files.size());
    for (int i = 0; i < run.out.total; ++i) run.CropFolderImage(files[size_t(i)], i, im.FullXMax + 1, im.FullYMax + 1);
    return run.out;
}

std::string BurnedFileName(const BurnMaskOptions& o, const std::string& folder, const std::string& fileName)
{
    if (o.tagFilenames) return platform::JoinPath(folder, BaseOf(fileName) + "_msk_ph." + core::ToLower(o.format));
    return platform::JoinPath(folder, fileName);
}

JobOutcome RunBurnMask(const BurnMaskOptions& o, const JobCallbacks& cb)
{
    platform::JobGuard guard("Burn Mask");
    if (!guard.started()) return Refused("A burn job is already running.", "Burn Mask");
    const std::string ext = core::ToLower(o.format);
    const std::vector<std::string> files = platform::ListFiles(o.sourceFolder, "*_ph." + ext);
    if (files.empty()) return Refused("No phase images found in this folder.", "Folder Selection Error");
    const std::string outFolder = o.maskedSubfolder ? platform::JoinPath(o.destination, "Masked") : o.destination;
    // The canonical comparison: "dir/", "dir/." or a link to the source folder
    // are the source folder too.
    if (!o.tagFilenames && platform::SamePath(o.sourceFolder, outFolder))
        return Refused(std::string("Select a different destination directory") + model::CR +
                           "Or choose a filename output option.",
                       "Output Path Error");
    const auto& im = model::images;
    const int cols = im.FullXMax + 1;
    const int rows = im.FullYMax + 1;
    if (im.MaskImage.cols() != cols || im.MaskImage.rows() != rows)
        return Refused("No mask of the current image's size is in memory.", "Burn Mask");

    if (cb.started) cb.started();
    JobOutcome out;
    out.ran = true;
    out.total = int(files.size());
    const std::vector<std::string> paths = SourcePaths(o.sourceFolder, files);
    Report(cb, 0, out.total);
    platform::YieldToUi();

    std::string folderError;
    const bool folderOk = EnsureFolder(outFolder, &folderError);
    if (!folderOk) out.failedWrites.push_back(folderError);

    const std::set<std::string> sources = Sources(paths);

    for (int i = 0; i < out.total; ++i) {
        const std::string& name = files[size_t(i)];
        GreyImage g = ReadGreyImage(paths[size_t(i)], ext);
        bool processed = false;
        if (g.ok && g.cols == cols && g.rows == rows && folderOk) {
            SetMaskedPixels(im.MaskImage, g.pixels, model::BlankPhaseValue);
            const std::string path = BurnedFileName(o, outFolder, name);
            std::string err;
            if (sources.count(platform::CanonicalPath(path))) {
                err = "it would replace a source image";
            } else {
                model::ByteMatrix m(g.cols, g.rows);
                m.buffer() = std::move(g.pixels);
                WriteImage(path, ext, m, g.header, &err);
            }
            if (err.empty())
                processed = true;
            else
                out.failedWrites.push_back(path + ": " + err);
        }
        if (processed) {
            ++out.processed;
            Report(cb, i + 1, out.total);
        } else {
            out.skippedList += name + model::CR;
        }
        if (cb.counter) cb.counter(out.processed, out.total);
        platform::YieldToUi();
    }
    return out;
}

} // namespace editor
