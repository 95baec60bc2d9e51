#include "app/editor/core/image_files.h"

#include "app/core/loader.h"
#include "app/core/runtime.h"
#include "platform/regular_file.h"
#include "platform/strandel_binding.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QString>

#include <system_error>

namespace editor {
namespace {

// Both writers take 1 to 32767 points a side.
bool WritableSize(int cols, int rows, std::string* error)
{
    if (cols >= 1 && rows >= 1 && cols <= 32767 && rows <= 32767) return true;
    if (error) *error = "The image size is not valid.";
    return false;
}

} // namespace

GreyImage ReadGreyImage(const std::string& path, const std::string& format)
{
    GreyImage g;
    // The program's phase-image reader, as the main window reads each kind.
    core::PhaseImageFile f = core::ReadPhaseImageFile(
        path, core::EqualsNoCase(format, "bmp") ? core::PhaseFormat::Bmp : core::PhaseFormat::Tiff);
    g.ok = f.ok;
    g.message = std::move(f.message);
    g.cols = f.cols;
    g.rows = f.rows;
    g.header = std::move(f.header);
    g.pixels = std::move(f.pixels);
    return g;
}

bool WriteTiffImage(const std::string& path, int cols, int rows, const std::string& header, const uint8_t* pixels,
                    std::string* error)
{
    if (!WritableSize(cols, rows, error)) return false;
    // Encoded by the TIFF library into the program's one writer.
    std::string why;
    if (strandel::WriteTIFFFile(path, uint16_t(cols), uint16_t(rows), header, pixels, &why) == 0) return true;
    if (error) *error = why;
    return false;
}

bool WriteGreyBmp(const std::string& path, int cols, int rows, const uint8_t* pixels, std::string* error)
{
    if (!WritableSize(cols, rows, error)) return false;
    QImage img(cols, rows, QImage::Format_Indexed8);
    QVector<QRgb> palette(256);
    for (int i = 0; i < 256; ++i) palette[i] = qRgb(i, i, i);
    img.setColorTable(palette);
    for (int y = 0; y < rows; ++y) std::copy_n(pixels + size_t(y) * size_t(cols), size_t(cols), img.scanLine(y));
    // Encoded in memory, then written and checked through the one atomic writer.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !img.save(&buffer, "BMP")) {
        if (error) *error = "The file cannot be saved.";
        return false;
    }
    return core::WriteFileAtomically(path, bytes.toStdString(), error);
}

std::string DerivedHeader(const std::string& sourceHeader)
{
    return sourceHeader.rfind("Calverdine", 0) == 0 ? sourceHeader : std::string();
}

} // namespace editor
