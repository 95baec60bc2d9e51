// mkutility: writes the sample files of the batch plot configuration into a
// folder: the sample phase image "Configuration Phase.tif", its two diagonal
// profiles "Diagonal.dat" and "Normalized Diagonal.dat" (profile chart data
// files) and the profile legend pictures "Diagonal Legend.bmp" and ".jpg".
//
//   mkutility [--] OUTDIR
//
// Every file is written through the program's one writer (core::AtomicFile).
// The sample is a synthetic warped part (the synthetic surface helper) wrapped
// with 10 mils a fringe, the fringe value the configuration preview uses.
#include "app/core/runtime.h"
#include "platform/strandel_binding.h"
#include "plots/builders/chart_builders.h"
#include "plots/charts/chartexport.h"
#include "tools/cli/args.h"
#include "tools/synth/synth.h"

#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kCols = 320;
constexpr int kRows = 240;
constexpr double kFringe = 10.0;
const char* const kSurface = "dome:0.00012+saddle:0.00006+plane:0.004,0.002,0";

const char* const kUsage =
    "usage: mkutility OUTDIR\n"
    "writes the batch configuration's sample files into OUTDIR\n"
    "exit status: 0 written, 1 a file could not be written, 2 bad command line\n";

bool Fail(const std::string& why)
{
    std::fprintf(stderr, "mkutility: %s\n", why.c_str());
    return false;
}

// Heights along one diagonal from (x0, y0) to (x1, y1), one value a step of
// the longer image side, as the batch diagonal profiles are sampled.
std::vector<float> Profile(const synth::Surface& z, double x0, double y0, double x1, double y1)
{
    const int n = std::max(kCols, kRows);
    std::vector<float> p(size_t(n), 0.0f);
    for (int k = 0; k < n; ++k) {
        const double t = double(k) / (n - 1);
        p[size_t(k)] = float(z(std::round(x0 + t * (x1 - x0)), std::round(y0 + t * (y1 - y0))));
    }
    return p;
}

bool WriteProfiles(const std::string& path, const std::vector<float>& ab, const std::vector<float>& cd)
{
    std::ostringstream out;
    out << "sorvanta-chart2d 1\n# Sample diagonal profiles of the batch configuration preview.\n";
    out << "series 2\npoints " << ab.size() << "\n";
    out << "label 1 " << plots::kSeriesAB << "\nlabel 2 " << plots::kSeriesCD << "\n";
    const double length = std::sqrt(double(kCols) * kCols + double(kRows) * kRows);
    for (size_t i = 0; i < ab.size(); ++i)
        out << double(i) * length / double(ab.size()) << ' ' << ab[i] << ' ' << cd[i] << '\n';
    std::string why;
    return core::WriteFileAtomically(path, out.str(), &why) || Fail("cannot write " + path + ": " + why);
}

// The legend of the two profiles: a line sample in each series' colour (the
// profile chart's first two series colours) and the series label.
QImage DiagonalLegend()
{
    QFont font;
    font.setPixelSize(16);
    const QFontMetrics fm(font);
    const int row = fm.height() + 12;
    const int width = 60 + fm.horizontalAdvance(plots::kSeriesAB) + 24;
    QImage image(width, 2 * row + 12, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(font);
    p.setPen(QPen(QColor(128, 128, 128), 1));
    p.drawRect(image.rect().adjusted(0, 0, -1, -1));
    const QColor colours[2] = {QColor(0, 0, 200), QColor(200, 0, 0)};
    const char* labels[2] = {plots::kSeriesAB, plots::kSeriesCD};
    for (int s = 0; s < 2; ++s) {
        const int y = 6 + s * row + row / 2;
        p.setPen(QPen(colours[s], 3));
        p.drawLine(12, y, 48, y);
        p.setPen(Qt::black);
        p.drawText(QRect(60, 6 + s * row, width - 60, row), Qt::AlignVCenter | Qt::AlignLeft, labels[s]);
    }
    p.end();
    return image;
}

bool Run(const std::string& folder)
{
    if (!QDir().mkpath(QString::fromStdString(folder))) return Fail("cannot create " + folder);
    auto at = [&](const char* name) { return folder + "/" + name; };
    std::string error;
    const synth::Surface z = synth::ParseSurface(kSurface, kCols, kRows, &error);
    if (!z) return Fail("bad surface: " + error);
    const std::vector<uint8_t> pixels = synth::WrapToPhase(kCols, kRows, z, kFringe);
    if (strandel::WriteTIFFFile(at("Configuration Phase.tif"), kCols, kRows, synth::MakeHeader(kFringe, kCols, kRows),
                                pixels.data(), &error) != 0)
        return Fail("cannot write the sample image: " + error);

    std::vector<float> ab = Profile(z, 0, 0, kCols - 1, kRows - 1);
    std::vector<float> cd = Profile(z, 0, kRows - 1, kCols - 1, 0);
    if (!WriteProfiles(at("Diagonal.dat"), ab, cd)) return false;
    plots::NormaliseProfile(ab);
    plots::NormaliseProfile(cd);
    if (!WriteProfiles(at("Normalized Diagonal.dat"), ab, cd)) return false;

    const QImage legend = DiagonalLegend();
    QString why;
    if (!charts::SavePicture(legend, QString::fromStdString(at("Diagonal Legend.bmp")), charts::PictureFormat::Bmp,
                             100, &why) ||
        !charts::SavePicture(legend, QString::fromStdString(at("Diagonal Legend.jpg")), charts::PictureFormat::Jpeg,
                             100, &why))
        return Fail("cannot write the diagonal legend: " + why.toStdString());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // One folder; anything that looks like an option is one ("--" before a
    // folder whose name begins with '-').
    cli::Parser p("mkutility", kUsage);
    std::vector<std::string> operands;
    if (const int status = p.parse(argc, argv, &operands); status >= 0) return status;
    if (operands.size() > 1) return p.usage("more than one folder given");
    if (operands.empty()) return p.usage("no folder given");
    const std::string folder = operands[0];
    if (const int status = p.refuse(cli::ReadPath("the folder", folder)); status >= 0) return status;
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return Run(folder) ? 0 : 1;
}
