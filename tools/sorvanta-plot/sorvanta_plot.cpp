// sorvanta-plot: the analysis of one phase image, as Calculate Displacement
// runs it, then one plot picture drawn by the chart builders.
//
//   sorvanta-plot [analysis options] --kind KIND --out PICTURE IMAGE_ph.tif|IMAGE_ph.bmp
//
// The picture is a BMP (24 bits) or a JPEG by the extension of PICTURE. A
// message of the program is printed as "Title: text"; a command stopped by
// one exits with status 1, bad arguments with status 2.
#include "app/core/figures.h"
#include "app/core/grating.h"
#include "app/core/loader.h"
#include "app/core/model/model.h"
#include "app/core/pipeline.h"
#include "app/core/runtime.h"
#include "app/core/settings.h"
#include "app/outside/varnholde_calls.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/pathtext.h"
#include "plots/builders/appearance.h"
#include "plots/builders/chart_builders.h"
#include "plots/charts/chart2d.h"
#include "plots/charts/chart3d.h"
#include "plots/styles/plotstyles.h"
#include "tools/analysis-cli/analysis_cli.h"
#include "tools/cli/args.h"

#include <QGuiApplication>

#include <cstdio>
#include <optional>
#include <sstream>
#include <string>

namespace {

const char* kUsage =
    "usage: sorvanta-plot [options] --kind KIND --out PICTURE IMAGE_ph.tif|IMAGE_ph.bmp\n"
    "  --kind 3d|contour|diagonal|chord|legend   what to draw\n"
    "  --out PICTURE                    .bmp or .jpg\n"
    "  --style NAME                     contour appearance: \"Color Fill\" (default), \"Gray Fill\",\n"
    "                                   \"Color Lines\", \"Black Lines\" (or ColorFill ...); with\n"
    "                                   --kind legend a contour legend in that style\n"
    "  --chord X1,Y1,X2,Y2              chord end points (image column, row); default the AB diagonal\n"
    "  --reduce on|off                  3D and contour on the 50 x 50 grid (default on)\n"
    "  --normalize on|off               diagonal profiles less their end-to-end line (default off)\n"
    "  --zmin Z --zmax Z                Z range of the plots (default the data's)\n"
    "  --size WxH                       picture size in pixels (default 860x560, legends 180x480)\n"
    "analysis options (as sorvanta-analyze):\n";

// The options of the picture; the analysis options are analysiscli's. The
// checked values beside them: picture type, chord ends, appearance, Z range.
struct Args {
    std::string out, kind, style, chord, zmin, zmax;
    int pictureWidth = 0, pictureHeight = 0;
    std::optional<bool> reduce, normalize;
    bool jpeg = false, haveZ = false;
    int chordEnds[4] = {0, 0, -1, -1};
    int appearance = 0;
    double zlo = 0, zhi = 0;
};

bool ParseChord(const std::string& text, int v[4])
{
    std::istringstream in(text);
    char comma = 0;
    for (int i = 0; i < 4; ++i) {
        if (!(in >> v[i])) return false;
        if (i < 3 && (!(in >> comma) || comma != ',')) return false;
    }
    in >> std::ws;
    return in.eof();
}

bool Save(const std::string& path, bool jpeg, const charts::ChartBase& chart)
{
    QString error;
    const QString p = platform::PathText(path);   // the bytes given, whatever their encoding
    const bool ok = jpeg ? chart.exportJpeg(p, 100, &error) : chart.exportBmp(p, &error);
    if (!ok) std::printf("Save Graph Error: The file cannot be saved.\n%s: %s\n", path.c_str(), error.toStdString().c_str());
    return ok;
}

// Parses and checks the command line; the status to exit with, or -1 to go on.
int ParseArgs(int argc, char** argv, Args* a, analysiscli::Options* an)
{
    cli::Parser p("sorvanta-plot", std::string(kUsage) + analysiscli::kOptionsUsage +
                                       "exit status: 0 drawn and saved, 1 stopped by a message of the program or "
                                       "not saved,\n             2 bad command line\n");
    p.choice("--kind", &a->kind, {"3d", "contour", "diagonal", "chord", "legend"})
        .path("--out", &a->out)
        .text("--style", &a->style)
        .option("--chord",
                [a](const std::string& v) {
                    a->chord = v;
                    return ParseChord(v, a->chordEnds) ? std::string()
                                                       : "--chord must be X1,Y1,X2,Y2, not \"" + v + "\"";
                })
        .number("--zmin", &a->zmin)
        .number("--zmax", &a->zmax)
        .size("--size", &a->pictureWidth, &a->pictureHeight, 50, 8000)
        .onOff("--reduce", &a->reduce)
        .onOff("--normalize", &a->normalize);
    analysiscli::AddOptions(p, an);
    std::vector<std::string> operands;
    if (const int status = p.parse(argc, argv, &operands); status >= 0) return status;
    if (const int status = p.refuse(analysiscli::TakeImage(operands, an)); status >= 0) return status;
    if (a->kind.empty()) return p.usage("--kind must be 3d, contour, diagonal, chord or legend");
    if (a->out.empty()) return p.usage("no --out picture given");
    a->jpeg = core::MatchesPattern(a->out, "*.jpg");
    if (!a->jpeg && !core::MatchesPattern(a->out, "*.bmp")) {
        std::printf("Save Graph Error: The file cannot be saved.\nInvalid filename specified.\n");
        return 1;
    }
    if (!a->style.empty()) {
        a->appearance = plots::AppearanceIndex(QString::fromStdString(a->style));
        if (a->appearance < 0) return p.usage("unknown --style " + a->style);
    }
    if (!analysiscli::CheckSaveName(*an)) return 1;
    a->haveZ = !a->zmin.empty() || !a->zmax.empty();
    if (a->haveZ &&
        (!core::ParseNumber(a->zmin, &a->zlo) || !core::ParseNumber(a->zmax, &a->zhi) || !(a->zhi > a->zlo)))
        return p.usage("--zmin and --zmax go together, with Z max greater than Z min");
    const std::string problem = a->haveZ ? core::PlotRangeProblem(a->zlo, a->zhi) : std::string();
    if (!problem.empty()) {
        std::printf("Presentation Setup Error: %s\n", problem.c_str());
        return 1;
    }
    return -1;
}

// A 3D surface, a contour map or a legend, as the plot windows and the
// legend maker fill them; true when saved.
bool DrawSurfaceChart(const Args& a, const plots::ResultFacts& facts, const plots::OptionBoxes& boxes, QSize size)
{
    charts::Chart3D c;
    c.setSize(size);
    const bool reduce = a.reduce.value_or(true);
    if (a.kind == "3d") {
        c.setKind(charts::ChartKind::Surface);
        plots::Setup3DChart(c, plots::ModelGrid(reduce), facts, boxes);
    } else if (a.kind == "contour") {
        c.setKind(charts::ChartKind::Contour);
        plots::ApplyAppearanceStyle(c, a.appearance);
        plots::SetupContourChart(c, plots::ModelGrid(reduce), facts, boxes, false);
    } else {
        c.setKind(charts::ChartKind::LegendOnly);
        c.setHeaderShown(false);
        c.setFooterShown(false);
        const double zlo = a.haveZ ? a.zlo : facts.minZ;
        const double zhi = a.haveZ ? a.zhi : facts.maxZ;
        if (a.style.empty()) {
            c.setLegendMode(0);
            plots::Apply3DLevels(c, zlo, zhi, facts.zFormat);
        } else {
            plots::ApplyAppearanceStyle(c, a.appearance);
            plots::ApplyContourLayout(c, c.contourFilled(), zlo, zhi, facts.zFormat);
        }
    }
    return Save(a.out, a.jpeg, c);
}

// The diagonal profiles or a chord profile; true when saved.
bool DrawProfileChart(const Args& a, const plots::ResultFacts& facts, const plots::OptionBoxes& boxes, QSize size)
{
    charts::Chart2D c;
    c.setSize(size);
    if (a.kind == "diagonal") {
        plots::ConfigureDiagonalChart(c, false);
        std::vector<float> ab, cd;
        plots::ModelDiagonals(&ab, &cd);
        const plots::DiagonalBuild b = plots::SetupDiagonalChart(c, ab, cd, a.normalize.value_or(false), facts, boxes);
        if (b.cornerMasked) {
            platform::ShowMessage(plots::kCornerMaskMessage, 0, model::AppTitle);
            plots::SetupDiagonalChart(c, ab, cd, false, facts, boxes);
        }
        return Save(a.out, a.jpeg, c);
    }
    int chord[4] = {a.chordEnds[0], a.chordEnds[1], a.chordEnds[2], a.chordEnds[3]};
    if (chord[2] < 0) {
        chord[2] = facts.xMax;
        chord[3] = facts.yMax;
    }
    for (int k = 0; k < 4; ++k)
        if (chord[k] < 0 || chord[k] > (k % 2 ? facts.yMax : facts.xMax)) {
            std::printf("Chord Error: Invalid endpoint selected.\n");
            return false;
        }
    if (chord[0] == chord[2] && chord[1] == chord[3]) {
        std::printf("Chord Error: No line selected.\n");
        return false;
    }
    core::ChordProfile(int16_t(chord[0]), int16_t(chord[1]), int16_t(chord[2]), int16_t(chord[3]));
    c.setLegendShown(false);
    plots::SetupChordChart(c, model::images.ProfileData, chord[0], chord[1], chord[2], chord[3], facts, boxes);
    return Save(a.out, a.jpeg, c);
}

} // namespace

int main(int argc, char** argv)
{
    Args a;
    analysiscli::Options an;
    if (const int status = ParseArgs(argc, argv, &a, &an); status >= 0) return status;

    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    // The analysis, as the main window's Calculate Displacement runs it.
    analysiscli::PrintMessages();
    if (!analysiscli::Start(an)) return 1;
    core::AnalysisOptions o;
    core::CalculateOutcome result;
    if (!analysiscli::Analyse(an, "sorvanta-plot", &o, &result)) return 1;
    if (!analysiscli::SaveData(an)) return 1;

    // The chart, as the plot windows' builders fill it.
    plots::InstallChartStyles();
    const plots::ResultFacts facts = plots::ModelFacts();
    plots::OptionBoxes boxes;
    boxes.rotation = core::RotationItemText(o.rotation);
    boxes.sampleWidth = an.width;
    boxes.sampleHeight = an.height;
    boxes.zMin = a.zmin;
    boxes.zMax = a.zmax;
    const QSize size = a.pictureWidth > 0 ? QSize(a.pictureWidth, a.pictureHeight)
                       : a.kind == "legend"  ? QSize(180, 480)
                                             : QSize(860, 560);
    const bool surface = a.kind == "3d" || a.kind == "contour" || a.kind == "legend";
    return (surface ? DrawSurfaceChart(a, facts, boxes, size) : DrawProfileChart(a, facts, boxes, size)) ? 0 : 1;
}
