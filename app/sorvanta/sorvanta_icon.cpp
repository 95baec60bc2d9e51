// sorvanta-icon FOLDER SIZE...: draws the program's icon, a rounded tile
// showing the wrapped fringes of a domed, tilted part as the program shows a
// phase image, and writes FOLDER/SIZE/sorvanta.png for each size through the
// program's one writer. Run by the build for the icon theme.
#include "app/core/runtime.h"
#include "tools/cli/args.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Coverage of the rounded tile at (u, v) in [-1, 1]^2: 1 inside, 0 outside.
bool InsideTile(double u, double v)
{
    const double half = 0.92, radius = 0.28;
    const double dx = std::max(std::fabs(u) - (half - radius), 0.0);
    const double dy = std::max(std::fabs(v) - (half - radius), 0.0);
    return std::fabs(u) <= half && std::fabs(v) <= half && dx * dx + dy * dy <= radius * radius;
}

// The colour of the tile at (u, v): wrapped phase of a dome with a tilt,
// a sawtooth of fringes from dark to light blue.
QColor Fringe(double u, double v)
{
    const double phase = 5.5 * (1.0 - 0.55 * (u * u + v * v)) + 1.8 * u - 1.1 * v;
    const double w = phase - std::floor(phase);  // wrapped into [0, 1)
    return QColor::fromRgbF(float(0.10 + 0.55 * w), float(0.22 + 0.62 * w), float(0.45 + 0.52 * w));
}

QImage Draw(int size)
{
    const int samples = 4;  // per pixel and axis, for smooth edges
    QImage image(size, size, QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const double u = 2.0 * (x + (sx + 0.5) / samples) / size - 1.0;
                    const double v = 2.0 * (y + (sy + 0.5) / samples) / size - 1.0;
                    if (!InsideTile(u, v)) continue;
                    const QColor c = Fringe(u, v);
                    r += c.redF();
                    g += c.greenF();
                    b += c.blueF();
                    a += 1;
                }
            }
            if (a == 0) {
                image.setPixel(x, y, qRgba(0, 0, 0, 0));
                continue;
            }
            const int alpha = int(std::lround(255.0 * a / (samples * samples)));
            image.setPixel(x, y, qRgba(int(std::lround(255 * r / a)), int(std::lround(255 * g / a)),
                                       int(std::lround(255 * b / a)), alpha));
        }
    }
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    cli::Parser p("sorvanta-icon", "usage: sorvanta-icon FOLDER SIZE...\n"
                                   "writes FOLDER/SIZE/sorvanta.png for each SIZE (8 to 1024)\n"
                                   "exit status: 0 written, 1 a picture could not be written, 2 bad command line\n");
    std::vector<std::string> operands;
    if (const int status = p.parse(argc, argv, &operands); status >= 0) return status;
    if (operands.size() < 2) return p.usage("needs a folder and a size");
    std::vector<int> sizes;
    for (size_t i = 1; i < operands.size(); ++i) {
        long size = 0;
        if (const int status = p.refuse(cli::ReadInteger("SIZE", operands[i], 8, 1024, &size)); status >= 0)
            return status;
        sizes.push_back(int(size));
    }
    // The longest path written: FOLDER/1024/sorvanta.png.
    if (const int status = p.refuse(cli::ReadPath("FOLDER", operands[0] + "/1024/sorvanta.png")); status >= 0)
        return status;
    for (const int size : sizes) {
        const QString folder = QString::fromLocal8Bit(operands[0].c_str()) + "/" + QString::number(size);
        const QString path = folder + "/sorvanta.png";
        // Encoded in memory, then written through the program's one writer.
        QByteArray bytes;
        QBuffer buffer(&bytes);
        std::string why;
        if (!QDir().mkpath(folder))
            why = "the folder cannot be made";
        else if (!buffer.open(QIODevice::WriteOnly) || !Draw(size).save(&buffer, "PNG"))
            why = "the picture cannot be encoded";
        else
            core::WriteFileAtomically(QFile::encodeName(path).toStdString(), bytes.toStdString(), &why);
        if (!why.empty()) {
            std::fprintf(stderr, "sorvanta-icon: cannot write %s: %s\n", QFile::encodeName(path).constData(),
                         why.c_str());
            return 1;
        }
    }
    return 0;
}
