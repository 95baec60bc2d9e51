#pragma once
// Picture export of charts: BMP (always 24 bits a pixel) or JPEG. The file is
// written under a temporary name and renamed into place, so a failed export
// never leaves a half-written picture and a file of that name keeps what it
// held; `error` then tells why (the reason alone, without the path).
// `path` is a path's platform::PathText: the file written is the one of those
// bytes, a name that is not UTF-8 included.
#include <QImage>
#include <QString>

#include <string>

namespace charts {

enum class PictureFormat { Bmp, Jpeg };

bool SavePicture(const QImage& image, const QString& path, PictureFormat format, int quality,
                 QString* error = nullptr);
// The same with the path as the file system names it (bytes that need not
// be UTF-8).
bool SavePictureFile(const QImage& image, const std::string& path, PictureFormat format, int quality,
                     std::string* error = nullptr);

} // namespace charts
