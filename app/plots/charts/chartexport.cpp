#include "chartexport.h"

#include <QSaveFile>
#include <algorithm>

namespace charts {

bool SavePicture(const QImage& image, const QString& path, PictureFormat format, int quality,
                 QString* error)
{
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (image.isNull()) return fail("empty picture");
    if (path.isEmpty()) return fail("no file name");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return fail("cannot write " + path + ": " + file.errorString());
    bool ok = false;
    if (format == PictureFormat::Bmp) {
        // 24 bits a pixel, never a palette.
        ok = image.convertToFormat(QImage::Format_RGB888).save(&file, "BMP");
    } else {
        ok = image.convertToFormat(QImage::Format_RGB32).save(&file, "JPEG", std::clamp(quality, 0, 100));
    }
    if (!ok) {
        file.cancelWriting();
        return fail("cannot encode the picture for " + path);
    }
    if (!file.commit()) return fail("cannot write " + path + ": " + file.errorString());
    return true;
}

} // namespace charts
