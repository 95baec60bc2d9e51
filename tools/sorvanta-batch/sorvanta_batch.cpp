// sorvanta-batch: the batch window's Get Batch Data on a folder of phase
// images, from the command line.
//
//   sorvanta-batch [options] FOLDER
//
// Writes "Batch Results for NAME (Abs).txt" (or "(Rel).txt" with --relative)
// into the folder, exactly as the batch window does, then prints the table's
// path, the count line and the error list. A message of the program is
// printed as "Title: text"; a run refused at its start exits with status 1.
#include "app/batch/engine.h"
#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "platform/folderjobs.h"
#include "platform/messages.h"
#include "tools/analysis-cli/analysis_cli.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

int Usage(const std::string& why)
{
    if (!why.empty())
        std::fprintf(stderr, "sorvanta-batch: %s\n", why.c_str());
    std::fputs("usage: sorvanta-batch [options] FOLDER\n", stderr);
    std::fputs(analysiscli::kOptionsUsage, stderr);
    std::fputs("  --relative NAME                  relative run against this image of the folder\n"
               "  --normalize on|off               normalise the diagonals (default off)\n"
               "  --format tif|bmp                 phase-image format (default tif)\n"
               "--partition, --domain, --reference and --save do not apply to a batch.\n",
               stderr);
    return 2;
}

std::string FileTitle(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int main(int argc, char** argv)
{
    analysiscli::Options a;
    std::string relative, format = "tif";
    std::optional<bool> normalize;
    auto extra = [&](const std::string& opt, const std::string& v, std::string* why) {
        if (opt == "--relative") {
            relative = v;
        } else if (opt == "--normalize") {
            if (!analysiscli::OnOff(v, &normalize))
                *why = "--normalize must be on or off";
        } else if (opt == "--format") {
            format = core::ToLower(v);
            if (format != "tif" && format != "bmp")
                *why = "--format must be tif or bmp";
        } else {
            return false;
        }
        return true;
    };
    std::string why;
    switch (analysiscli::Parse(argc, argv, &a, &why, extra)) {
    case analysiscli::Parsed::Help:
        return Usage("");
    case analysiscli::Parsed::Bad:
        return Usage(why == "no image given" ? "no folder given" : why);
    case analysiscli::Parsed::Ok:
        break;
    }
    if (!a.partition.empty() || !a.reference.empty() || !a.save.empty())
        return Usage("--partition, --domain, --reference and --save do not apply to a batch");

    analysiscli::PrintMessages();
    if (!analysiscli::Start(a))
        return 1;
    model::files.ImageFileFormat = format == "tif" ? "TIF" : "BMP";

    batch::BatchOptions o;
    o.folder = a.image;
    while (o.folder.size() > 1 && o.folder.back() == '/')
        o.folder.pop_back();
    o.files = platform::ListFiles(o.folder, "*_ph." + format);
    o.analysis.grating = a.grating;
    o.analysis.rotation = a.rotation;
    o.analysis.exclude128 = a.exclude128.value_or(true);
    o.analysis.phaseFilter = a.filter.value_or(false);
    o.analysis.compensate = a.compensate.value_or(false);
    o.analysis.useFringeFile = a.fringeFile.value_or(false);
    o.analysis.sampleWidth = a.width;
    o.analysis.sampleHeight = a.height;
    o.normalizeDiagonal = normalize.value_or(false);
    o.rotationText = core::RotationItemText(a.rotation);

    if (!a.mask.empty()) {
        switch (batch::LoadBatchMask(a.mask)) {
        case batch::MaskLoad::BadName:
            std::printf("Load Mask File Error: %s\n", analysiscli::Lines(platform::kMsgCannotOpenInvalidFormat).c_str());
            return 1;
        case batch::MaskLoad::Unreadable:
            std::printf("Load Mask File Error: The file cannot be opened.\n");
            return 1;
        case batch::MaskLoad::Ok:
            break;
        }
        o.analysis.useMask = true;
        o.maskCaption = FileTitle(a.mask);
    }
    if (!relative.empty()) {
        const std::string name = FileTitle(relative);
        auto it = std::find_if(o.files.begin(), o.files.end(),
                               [&](const std::string& f) { return core::EqualsNoCase(f, name); });
        if (it == o.files.end()) {
            std::fprintf(stderr, "sorvanta-batch: %s is not a phase image of %s\n", name.c_str(), o.folder.c_str());
            return 1;
        }
        model::batch.BatchRelativeMode = true;
        model::batch.BatchReferenceIndex = static_cast<int16_t>(it - o.files.begin());
    }

    batch::RunView quiet;
    const batch::RunOutcome r = batch::RunBatchAnalysis(o, quiet);
    if (r.end != batch::RunEnd::Completed)
        return 1;
    std::printf("Table: %s\n", r.tablePath.c_str());
    std::printf("%s\n", batch::CountLine(r.processed, r.total).c_str());
    if (!model::batch.BatchErrorList.empty())
        std::printf("Batch Processing Errors:\n%s", analysiscli::Lines(model::batch.BatchErrorList).c_str());
    return 0;
}
