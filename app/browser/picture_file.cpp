// Result pictures for the full-size viewer.
#include "app/browser/picture_file.h"

#include "platform/regular_file.h"
#include "platform/strandel_binding.h"

#include <QFile>
#include <QImageReader>

namespace browser {

namespace {

uint32_t U16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t U32(const uint8_t* p) { return U16(p) | U16(p + 2) << 16; }

// Qt's readers show a BMP or JPEG whose data ends early as a whole picture
// (the missing rows blank or grey): such a file ends before its picture does.
// A BMP's rows must lie inside the file; a JPEG read to the file's last byte
// must end with its end-of-image marker.
bool EndsEarly(platform::RegularFile& file, const QByteArray& format, qint64 consumed)
{
    if (format == "bmp") {
        uint8_t h[14 + 40] = {};
        if (!file.readExactlyAt(0, h, sizeof h) || U32(h + 14) < 40) return false;
        const uint32_t compression = U32(h + 30);
        if (compression != 0 && compression != 3) return false;   // run-length data: Qt's reader decides
        const int64_t width = int32_t(U32(h + 18)), height = int32_t(U32(h + 22)), bits = U16(h + 28);
        if (width <= 0 || height == 0) return false;
        const uint64_t rowBytes = (uint64_t(width) * uint64_t(bits) + 7) / 8;
        const uint64_t stride = (rowBytes + 3) & ~uint64_t(3);
        const uint64_t rows = uint64_t(height < 0 ? -height : height);
        return uint64_t(U32(h + 10)) + stride * (rows - 1) + rowBytes > file.size();
    }
    if (format == "jpeg" || format == "jpg") {
        uint8_t tail[2] = {};
        return uint64_t(consumed) >= file.size() &&
               !(file.readExactlyAt(file.size() - 2, tail, 2) && tail[0] == 0xFF && tail[1] == 0xD9);
    }
    return false;
}

} // namespace

QImage ReadPicture(const std::string& path, std::string* error)
{
    auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return QImage();
    };
    // A regular file only, opened without waiting: a pipe, folder or device
    // in a picture's place is refused at once.
    platform::RegularFile file;
    if (!file.open(path)) {
        const std::string limit = platform::PathLimitText(path);
        return fail(limit.empty() ? "The file cannot be opened." : "The file cannot be opened.\r" + limit);
    }
    uint8_t head[4] = {};
    const bool tiff = file.readExactlyAt(0, head, sizeof head) &&
                      ((head[0] == 'I' && head[1] == 'I' && head[2] == 42 && head[3] == 0) ||
                       (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && head[3] == 42));
    if (tiff) {
        strandel::ReadResult r = strandel::ReadImage(path);
        if (r.status != 0 || r.cols == 0 || r.rows == 0 || r.pixels.size() < size_t(r.cols) * r.rows)
            return fail("The file cannot be opened.");
        QImage grey(int(r.cols), int(r.rows), QImage::Format_Grayscale8);
        for (int y = 0; y < grey.height(); ++y)
            std::copy_n(r.pixels.data() + size_t(y) * r.cols, r.cols, grey.scanLine(y));
        return grey;
    }
    // Qt's readers read what their format needs from the file opened above
    // (a picture with data after it is not read to its end).
    QFile device;
    if (!device.open(file.descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return fail("The file cannot be opened.");
    QImageReader reader(&device);
    const QByteArray format = reader.format();
    QImage image = reader.read();
    if (image.isNull()) return fail(reader.errorString().toStdString());
    if (EndsEarly(file, format, device.pos())) return fail("The picture data is incomplete.");
    return image;
}

} // namespace browser
