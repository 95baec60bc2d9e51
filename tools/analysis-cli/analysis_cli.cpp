#include "tools/analysis-cli/analysis_cli.h"

#include "app/core/header.h"

#include "app/core/figures.h"
#include "app/core/grating.h"
#include "app/core/loader.h"
#include "app/core/model/model.h"
#include "app/core/reset.h"
#include "app/core/runtime.h"
#include "app/core/settings.h"
#include "app/outside/varnholde_calls.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/strandel_binding.h"
#include "tools/cli/usage.h"
#include "app/editor/core/mask_ops.h"
#include "app/editor/core/partition_file.h"

#include <cstdio>

namespace analysiscli {

const char* const kOptionsUsage =
    "  --grating LPI                    50, 100, 200, 300, 500 or 1000 (default 100)\n"
    "  --rotation None|LSF|4Pt|3Pt|LSF+|LSF-   levelling (default LSF)\n"
    "  --xy in|mm  --z mils|microns     units (default in, mils)\n"
    "  --width W  --height H            sample size in the lateral units\n"
    "  --exclude128 on|off              keep bytes 128 blank (default: on with a header)\n"
    "  --filter on|off  --compensate on|off\n"
    "  --fringe-file on|off             use FringeValue.txt (default: off with a header;\n"
    "                                   always on for an image without one)\n"
    "  --base DIR                       folder holding \"Calverdine/Utility Files\"\n"
    "  --mask FILE                      mask (*_msk.tif) of the image's size\n"
    "  --partition FILE --domain N      analyse domain N (1 = first) of a partition file\n"
    "  --reference FILE                 result relative to this image's result\n"
    "  --save PATH                      data file: .dat text, .bin binary\n";

std::string Lines(std::string text)
{
    for (char& c : text)
        if (c == '\r')
            c = '\n';
    return text;
}

namespace {

// Loads an image and fills the options the loader would set on the window.
bool Load(const std::string& path, const Options& a, const std::string& tool, core::AnalysisOptions* o)
{
    std::string message;
    core::InstalledImage installed;
    if (!core::LoadPhaseImageFile(path, &message, &installed)) {
        std::printf("Load Phase Image: %s\n", Lines(message).c_str());
        return false;
    }
    o->exclude128 = a.exclude128.value_or(installed.hasHeader);
    o->useFringeFile = installed.hasHeader ? a.fringeFile.value_or(false) : true;
    if (!installed.hasHeader && a.fringeFile && !*a.fringeFile)
        std::fprintf(stderr, "%s: %s has no header; FringeValue.txt is used\n", tool.c_str(), path.c_str());
    return true;
}

bool LoadMask(const std::string& path)
{
    const int cols = model::images.FullXMax + 1, rows = model::images.FullYMax + 1;
    editor::MaskRead r = editor::ReadMaskFile(path, cols, rows);
    if (r.status == editor::MaskRead::SizeMismatch) {
        std::printf("Load Mask File Error: %s\n", Lines(editor::MaskSizeMessage(r.width, r.height)).c_str());
        return false;
    }
    if (r.status != editor::MaskRead::Ok) {
        std::printf("Load Mask File Error: %s\n", Lines(r.message.empty() ? "The file cannot be opened." : r.message).c_str());
        return false;
    }
    model::images.MaskImage = std::move(r.mask);
    model::state.MaskInMemory = true;
    return true;
}

bool LoadPartition(const std::string& path)
{
    const int cols = model::images.FullXMax + 1, rows = model::images.FullYMax + 1;
    editor::PartitionRead r = editor::ReadPartitionFile(path, cols, rows);
    if (r.status == editor::PartitionRead::Ok) {
        editor::StorePartition(model::maskPartition, r.domains, r.width, r.height);
        model::state.PartitionInMemory = true;
        return true;
    }
    if (r.status == editor::PartitionRead::SizeMismatch)
        std::printf("Load Partition File Error: %s\n", Lines(editor::PartitionSizeMessage(r.width, r.height)).c_str());
    else
        std::printf("Load Partition File Error: The file cannot be opened.%s%s\n", r.reason.empty() ? "" : "\n",
                    r.reason.c_str());
    return false;
}

} // namespace

void AddOptions(cli::Parser& p, Options* a)
{
    p.option("--grating",
             [a](const std::string& v) {
                 long lpi = 0;
                 a->grating = cli::ReadInteger("--grating", v, 1, 1000, &lpi).empty()
                                  ? core::GratingPosition(static_cast<int>(lpi))
                                  : -1;
                 return a->grating < 0 ? "--grating must be 50, 100, 200, 300, 500 or 1000, not \"" + v + "\""
                                       : std::string();
             })
        .option("--rotation",
                [a](const std::string& v) {
                    a->rotation = core::RotationPosition(v);
                    return a->rotation < 0 ? "--rotation must be None, LSF, 4Pt, 3Pt, LSF+ or LSF-, not \"" + v + "\""
                                           : std::string();
                })
        .choice("--xy", &a->xy, {"in", "mm"})
        .choice("--z", &a->z, {"mils", "microns"})
        .positiveNumber("--width", &a->width)
        .positiveNumber("--height", &a->height)
        .onOff("--exclude128", &a->exclude128)
        .onOff("--filter", &a->filter)
        .onOff("--compensate", &a->compensate)
        .onOff("--fringe-file", &a->fringeFile)
        .path("--base", &a->base)
        // The files are opened by the program's own readers and writers,
        // whose messages name a path beyond the system's limits.
        .text("--mask", &a->mask)
        .text("--partition", &a->partition)
        .option("--domain",
                [a](const std::string& v) {
                    long n = 0;
                    const std::string why = cli::ReadInteger("--domain", v, 1, model::MaxDomains - 1, &n);
                    if (why.empty()) a->domain = static_cast<int>(n) - 1;
                    a->domainGiven = true;
                    return why;
                })
        .text("--reference", &a->reference)
        .text("--save", &a->save);
}

std::string TakeImage(const std::vector<std::string>& operands, Options* a)
{
    if (operands.size() > 1)
        return "more than one image given";
    if (operands.empty())
        return "no image given";
    a->image = operands[0];
    if (a->domainGiven != !a->partition.empty())
        return "--domain and --partition go together";
    return "";
}

bool CheckSaveName(const Options& a)
{
    if (!a.save.empty() && core::DataFileName(a.save, 2, false).empty() && core::DataFileName(a.save, 1, false).empty()) {
        std::printf("Save Data File: The file cannot be saved.\nInvalid filename specified.\n");
        return false;
    }
    return true;
}

void PrintMessages()
{
    platform::SetMessageHandler([](const std::string& text, int style, const std::string& title) {
        // A header read in part does not stop the command: it is a warning
        // beside the command's outcome, not a second outcome.
        if (text == core::kHeaderReadError)
            std::printf("Warning: %s; the image is analysed with the header fields that were read.\n", text.c_str());
        else
            std::printf("%s: %s\n", title.c_str(), Lines(text).c_str());
        std::fflush(stdout);
        return style == platform::kMsgQuestion ? int(platform::kAnsYes) : int(platform::kAnsOk);
    });
}

bool Start(const Options& a)
{
    if (!a.base.empty())
        platform::SetBaseFolder(a.base);
    uint8_t probe = 0, copy = 0;
    if (outside::CopyByteMatrix(&probe, 1, 1, &copy) == outside::kLibraryMissing) {
        std::printf("The analysis library cannot be loaded: %s\n", outside::LoadError().c_str());
        return false;
    }
    model::ResetModel();
    model::files.XYUnits = a.xy;
    model::files.ZUnits = a.z;
    model::files.ZFormat = a.z == "mils" ? "0.0" : "0";
    core::SetUnitScaleFactor();
    core::LoadGratingCompTable(core::GratingCompFilePath());
    model::state.StartupInProgress = false;
    return true;
}

bool Analyse(const Options& a, const std::string& tool, core::AnalysisOptions* used, core::CalculateOutcome* result)
{
    core::AnalysisOptions o;
    o.grating = a.grating;
    o.rotation = a.rotation;
    o.domain = a.domain;
    o.phaseFilter = a.filter.value_or(false);
    o.compensate = a.compensate.value_or(false);
    o.sampleWidth = a.width;
    o.sampleHeight = a.height;

    auto prepare = [&](const std::string& path) {
        if (!Load(path, a, tool, &o))
            return false;
        if (!a.mask.empty() && !LoadMask(a.mask))
            return false;
        if (!a.partition.empty() && !LoadPartition(a.partition))
            return false;
        return true;
    };

    if (!a.reference.empty()) {
        if (!prepare(a.reference))
            return false;
        core::AnalysisOptions ref = o;
        ref.setReference = true;
        if (!core::RunCalculateDisplacement(ref).completed)
            return false;
        o.relative = true;
    }
    if (!prepare(a.image))
        return false;
    *result = core::RunCalculateDisplacement(o);
    *used = o;
    return result->completed;
}

bool SaveData(const Options& a)
{
    if (a.save.empty())
        return true;
    const bool text = core::DataFileName(a.save, 2, false).size() > 0;
    const std::string path = core::DataFileName(a.save, text ? 2 : 1, model::state.RelativeResult);
    std::string error;
    if (!core::WriteDisplacementFile(path, text, &error)) {
        std::printf("Save Data File: The file cannot be saved.\n%s\n", error.c_str());
        return false;
    }
    std::printf("Saved: %s\n", path.c_str());
    return true;
}

} // namespace analysiscli
