#include "chartexport.h"

#include "app/core/runtime.h"
#include "platform/pathtext.h"

#include <QBuffer>
#include <algorithm>

namespace charts {

bool SavePicture(const QImage& image, const QString& path, PictureFormat format, int quality,
                 QString* error)
{
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (image.isNull()) return fail("The picture is empty.");
    if (path.isEmpty()) return fail("No file name was given.");
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    bool ok = false;
    if (format == PictureFormat::Bmp) {
        // 24 bits a pixel, never a palette.
        ok = image.convertToFormat(QImage::Format_RGB888).save(&buffer, "BMP");
    } else {
        ok = image.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPEG", std::clamp(quality, 0, 100));
    }
    if (!ok) return fail("The picture cannot be encoded.");
    std::string why;
    // The path's own bytes (a name need not be UTF-8): never another file's.
    if (!core::WriteFileAtomically(platform::PathBytes(path), bytes.toStdString(), &why))
        return fail(QString::fromStdString(why));
    return true;
}

} // namespace charts
