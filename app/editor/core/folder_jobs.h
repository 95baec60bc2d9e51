#pragma once
// The two folder jobs of the editor: crop every domain of the partition out
// of the current phase image or out of each phase image of a folder, and burn
// the mask into each phase image of a folder. Both read the shared data model
// (current image, mask, domain table) and change none of it; the windows show
// their progress through the callbacks. Each run holds a platform::JobGuard,
// yields to the window system between images and goes on after a failed image.
#include "app/core/model/model.h"

#include <functional>
#include <string>
#include <vector>

namespace editor {

// Naming of the cropped images (source part7_ph.tif, domain Left):
enum class CropNaming {
    UseDomainName,            // Left_ph.tif
    AppendOriginalToDomain,   // Left_part7_ph.tif
    AppendDomainToOriginal,   // part7_Left_ph.tif
};

struct CropDomainsOptions {
    bool currentImage = false;      // crop the current image instead of a folder
    std::string sourceFolder;
    std::string destination;
    bool ellipse = false;
    bool domainSubfolders = false;
    bool imageSubfolders = false;   // folder mode only
    CropNaming naming = CropNaming::AppendDomainToOriginal;
    std::string format = "tif";     // "tif" or "bmp"
};

struct JobCallbacks {
    std::function<void(int value, int maximum)> progress;      // progress bar
    std::function<void(int processed, int total)> counter;     // "Number of Images Processed" text
    std::function<void()> started;                             // the run begins (after the checks)
};

struct JobOutcome {
    bool ran = false;               // false: refused (see message) or another run was going on
    std::string message;            // refusal text
    std::string title;              // refusal title
    int processed = 0;
    int total = 0;
    std::string skippedList;        // names of files not processed, each followed by CR
    std::vector<std::string> failedWrites;   // outputs that could not be written, with the reason
};

// The name of the output file for a domain.
std::string CroppedFileName(CropNaming naming, const std::string& sourceName, const std::string& domainName,
                            const std::string& format);

// Cuts domain (left, top, width, height) out of an image: the mask's 0 points
// become 128 (when a mask is given), then the ellipse when asked. False when
// the domain does not lie inside the image.
bool CutDomain(const model::ByteMatrix& image, const model::Domain& d, const model::ByteMatrix* mask, bool ellipse,
               model::ByteMatrix* out);

// Runs the crop-domains job on the domains given (the partition in memory).
JobOutcome RunCropDomains(const CropDomainsOptions& options, const std::vector<model::Domain>& domains,
                          const JobCallbacks& callbacks = {});

struct BurnMaskOptions {
    std::string sourceFolder;
    std::string destination;
    bool maskedSubfolder = false;   // write into destination/Masked
    bool tagFilenames = false;      // name_msk_ph.ext
    std::string format = "tif";
};

// The output path of a burned image.
std::string BurnedFileName(const BurnMaskOptions& options, const std::string& folder, const std::string& fileName);

// Burns model::images.MaskImage into every phase image of the source folder
// that has the current image's size.
JobOutcome RunBurnMask(const BurnMaskOptions& options, const JobCallbacks& callbacks = {});

} // namespace editor
