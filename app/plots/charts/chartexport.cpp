#include "chartexport.h"

#include "app/core/runtime.h"
#include "platform/pathtext.h"

#include <QBuffer>
#include <algorithm>

namespace charts {

bool SavePicture(const QImage& image, const QString& path, PictureFormat format, int quality,
                 QString* error)
{
    std::string why;
    const bool ok = SavePictureFile(image, platform::PathBytes(path), format, quality, &why);
    if (!ok && error) *error = QString::fromStdString(why);
    return ok;
}

bool SavePictureFile(const QImage& image, const std::string& path, PictureFormat format, int quality,
                     std::string* error)
{
    auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (image.isNull()) return fail("The picture is empty.");
    if (path.empty()) return fail("No file name was given.");
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
    if (!core::WriteFileAtomically(path, bytes.toStdString(), &why)) return fail(why);
    return true;
}

} // namespace charts
