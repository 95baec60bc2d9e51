// sorvanta-batch: the batch window's Get Batch Data on a folder of phase
// images, from the command line.
//
//   sorvanta-batch [options] FOLDER
//
// Writes "Batch Results for NAME (Abs).txt" (or "(Rel).txt" with --relative)
// into the folder, exactly as the batch window does, then prints the table's
// path, the count line and the error list. A message of the program is
// printed as "Title: text"; a run refused at its start exits with status 1.
//
// With --output it then does what Generate Output does: the asked data files
// and pictures of every analysed image beside it and the legends in the
// folder, drawn on charts set up as the batch configuration designs them (the
// Z and diagonal ranges the run suggests unless --zmin/--zmax are given). It
// prints each file written ("Wrote: path") and each one that could not be
// ("Not written: path: reason"); any of those exits with status 3. The run
// and its outputs are written under one lock of the folder: while another
// run or output (a window's, another instance's) writes into the folder, this
// one writes nothing, says the folder is busy and exits with status 1.
#include "app/batch/config/utility_files.h"
#include "app/batch/engine.h"
#include "app/batch/output.h"
#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "platform/folderjobs.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "tools/analysis-cli/analysis_cli.h"
#include "tools/cli/args.h"

#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Remembers the suggested ranges.
class OutputView : public batch::RunView {
public:
    std::string zMin, zMax, diagMin, diagMax;
    void SuggestRanges(const std::string& a, const std::string& b, const std::string& c, const std::string& d) override
    {
        zMin = a;
        zMax = b;
        diagMin = c;
        diagMax = d;
    }
};

bool ParseOutputs(const std::string& list, batch::OutputOptions* o)
{
    std::stringstream in(list);
    std::string item;
    bool any = false;
    while (std::getline(in, item, ',')) {
        item = core::ToLower(core::TrimSpaces(item));
        if (item == "3d") o->plot3D = true;
        else if (item == "contour") o->contour = true;
        else if (item == "diagonal") o->diagonal = true;
        else if (item == "data") o->saveData = true;
        else return false;
        any = true;
    }
    return any;
}

// The command line: the analysis options and the batch's own.
struct BatchArgs {
    analysiscli::Options analysis;
    std::string relative, format = "tif";
    std::optional<bool> normalize;
    bool outputAsked = false, jpeg = false, binary = false, text = false;
    batch::OutputOptions out;
    std::optional<std::string> zMin, zMax, diagMin, diagMax;
};

// Parses the command line into *b; the status to exit with, or -1 to go on.
int ParseArgs(int argc, char** argv, BatchArgs* b)
{
    cli::Parser p("sorvanta-batch",
                  std::string("usage: sorvanta-batch [options] FOLDER\n") + analysiscli::kOptionsUsage +
                      "  --relative NAME                  relative run against this image of the folder\n"
                      "  --normalize on|off               normalise the diagonals (default off)\n"
                      "  --format tif|bmp                 phase-image format (default tif)\n"
                      "  --output 3d,contour,diagonal,data   write these outputs of every analysed image\n"
                      "  --jpeg                           pictures as JPEG (default BMP, 24 bits)\n"
                      "  --text | --binary                data files as text (default) or binary\n"
                      "  --zmin Z --zmax Z                Z range of the plots and legends\n"
                      "  --diagmin Z --diagmax Z          range of the diagonal plots\n"
                      "--partition, --domain, --reference and --save do not apply to a batch.\n"
                      "exit status: 0 run (failed images are listed), 1 refused at its start,\n"
                      "             2 bad command line, 3 an output could not be written\n");
    std::string zMin, zMax, diagMin, diagMax;
    p.text("--relative", &b->relative)
        .onOff("--normalize", &b->normalize)
        .option("--output",
                [b](const std::string& v) {
                    b->outputAsked = true;
                    return ParseOutputs(v, &b->out)
                               ? std::string()
                               : "--output takes a list of 3d, contour, diagonal and data, not \"" + v + "\"";
                })
        .number("--zmin", &zMin)
        .number("--zmax", &zMax)
        .number("--diagmin", &diagMin)
        .number("--diagmax", &diagMax)
        .choice("--format", &b->format, {"tif", "bmp"})
        .flag("--jpeg", &b->jpeg)
        .flag("--binary", &b->binary)
        .flag("--text", &b->text);
    analysiscli::AddOptions(p, &b->analysis);
    std::vector<std::string> operands;
    if (const int status = p.parse(argc, argv, &operands); status >= 0)
        return status;
    if (b->binary && b->text)
        return p.usage("--text and --binary exclude each other");
    // A range given is never empty: the number reader takes no empty text.
    for (auto [text, range] : {std::pair{&zMin, &b->zMin}, std::pair{&zMax, &b->zMax},
                               std::pair{&diagMin, &b->diagMin}, std::pair{&diagMax, &b->diagMax}})
        if (!text->empty()) *range = *text;
    if (operands.size() > 1)
        return p.usage("more than one folder given");
    if (operands.empty())
        return p.usage("no folder given");
    if (const int status = p.refuse(cli::ReadPath("the folder", operands[0])); status >= 0)
        return status;
    const analysiscli::Options& a = b->analysis;
    if (!a.partition.empty() || a.domainGiven || !a.reference.empty() || !a.save.empty())
        return p.usage("--partition, --domain, --reference and --save do not apply to a batch");
    b->analysis.image = operands[0];
    return -1;
}

// The run's options as the batch window gathers them: folder, images,
// analysis options, mask and reference. False (the reason printed) when the
// mask or the reference cannot be had.
bool PrepareRun(const BatchArgs& b, batch::BatchOptions* o)
{
    const analysiscli::Options& a = b.analysis;
    o->folder = a.image;
    while (o->folder.size() > 1 && o->folder.back() == '/')
        o->folder.pop_back();
    o->files = platform::ListFiles(o->folder, "*_ph." + b.format);
    o->analysis.grating = a.grating;
    o->analysis.rotation = a.rotation;
    o->analysis.exclude128 = a.exclude128.value_or(true);
    o->analysis.phaseFilter = a.filter.value_or(false);
    o->analysis.compensate = a.compensate.value_or(false);
    o->analysis.useFringeFile = a.fringeFile.value_or(false);
    o->analysis.sampleWidth = a.width;
    o->analysis.sampleHeight = a.height;
    o->normalizeDiagonal = b.normalize.value_or(false);
    o->rotationText = core::RotationItemText(a.rotation);

    if (!a.mask.empty()) {
        switch (batch::LoadBatchMask(a.mask)) {
        case batch::MaskLoad::BadName:
            std::printf("Load Mask File Error: %s\n", analysiscli::Lines(platform::kMsgCannotOpenInvalidFormat).c_str());
            return false;
        case batch::MaskLoad::Unreadable:
            std::printf("Load Mask File Error: The file cannot be opened.\n");
            return false;
        case batch::MaskLoad::Ok:
            break;
        }
        o->analysis.useMask = true;
        o->maskCaption = platform::FileNameOf(a.mask);
    }
    if (!b.relative.empty()) {
        // A name with a folder part names an image of that folder: another
        // folder's image is not the one of this folder that has its name.
        const std::string name = platform::FileNameOf(b.relative);
        const bool here = b.relative.find('/') == std::string::npos ||
                          platform::SamePath(platform::FolderOf(b.relative), o->folder);
        const int at = here ? batch::FindPhaseImage(o->files, name) : -1;
        if (at < 0) {
            std::fprintf(stderr, "sorvanta-batch: %s is not a phase image of %s\n", b.relative.c_str(),
                         o->folder.c_str());
            return false;
        }
        model::batch.BatchRelativeMode = true;
        model::batch.BatchReferenceIndex = static_cast<int16_t>(at);
        o->referenceName = o->files[size_t(at)];
    }
    return true;
}

// The table's path, the count line and the error list of a finished run.
void PrintRun(const batch::RunOutcome& r)
{
    std::printf("Table: %s\n", r.tablePath.c_str());
    std::printf("%s\n", batch::CountLine(r.processed, r.total).c_str());
    if (!model::batch.BatchErrorList.empty())
        std::printf("Batch Processing Errors:\n%s", analysiscli::Lines(model::batch.BatchErrorList).c_str());
}

// The asked outputs, with the ranges given or else those the run suggested
// (none yet before the run).
batch::OutputOptions OutputRequest(const BatchArgs& b, const OutputView& view)
{
    batch::OutputOptions out = b.out;
    out.textData = !b.binary;
    out.bitmap = !b.jpeg;
    out.zMin = b.zMin.value_or(view.zMin);
    out.zMax = b.zMax.value_or(view.zMax);
    out.diagMin = b.diagMin.value_or(view.diagMin);
    out.diagMax = b.diagMax.value_or(view.diagMax);
    return out;
}

// False (the refusal printed) when the outputs asked cannot be written.
bool OutputRequestAccepted(const batch::OutputOptions& out)
{
    const batch::Refusal refusal = batch::CheckOutputRequest(out);
    if (refusal.text.empty())
        return true;
    std::printf("%s: %s\n", refusal.title.c_str(), refusal.text.c_str());
    return false;
}

// Generate Output on the run's analysed images, with the ranges the run
// suggested unless given, under the run's lock of the folder; the status to
// exit with.
int GenerateOutputs(const BatchArgs& b, const batch::RunRecord& record, const OutputView& view,
                    batch::FolderLock& lock, char** argv)
{
    const batch::BatchOptions& o = record.options;
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    batchcfg::InstallUtilityFiles();
    batch::OutputOptions out = OutputRequest(b, view);
    out.normaliseDiagonal = o.normalizeDiagonal;
    out.folder = o.folder;
    if (!OutputRequestAccepted(out))
        return 1;
    const batch::OutputRun run = batch::RecordedRun(record);
    charts::Chart3D surface, contour, surfaceLegend, contourLegend;
    charts::Chart2D diagonal;
    const batch::OutputCharts charts{&surface, &contour, &diagonal, &surfaceLegend, &contourLegend};
    batchcfg::DesignCharts(charts);
    surface.setViewElevation(model::settings.SettingBatchPlotAltitude);
    surface.setViewRotation(model::settings.SettingBatchPlotRotation);
    const batch::OutputReport report = batch::GenerateOutput(run, out, charts, {}, &lock);
    if (!report.refused.empty()) {
        std::printf("Folder Access Error: %s\n", report.refused.c_str());
        return 1;
    }
    for (const std::string& f : report.written)
        std::printf("Wrote: %s\n", f.c_str());
    for (const std::string& f : report.failed)
        std::printf("Not written: %s\n", f.c_str());
    std::printf("%s\n", batch::ProcessedCaption(report.processed, int(run.images.size())).c_str());
    return report.failed.empty() ? 0 : 3;
}

} // namespace

int main(int argc, char** argv)
{
    BatchArgs b;
    if (const int status = ParseArgs(argc, argv, &b); status >= 0)
        return status;
    analysiscli::PrintMessages();
    if (!analysiscli::Start(b.analysis))
        return 1;
    model::files.ImageFileFormat = b.format == "tif" ? "TIF" : "BMP";
    // Ranges given on the command line are checked before the run: a
    // refused output request leaves the folder's table as it was.
    if (b.outputAsked && !OutputRequestAccepted(OutputRequest(b, OutputView())))
        return 1;
    batch::BatchOptions o;
    if (!PrepareRun(b, &o))
        return 1;
    OutputView view;
    // The folder stays locked from the run through its outputs.
    batch::FolderLock lock;
    const batch::RunOutcome r = batch::RunBatchAnalysis(o, view, &lock);
    if (r.end != batch::RunEnd::Completed)
        return 1;
    PrintRun(r);
    return b.outputAsked ? GenerateOutputs(b, r.record, view, lock, argv) : 0;
}
