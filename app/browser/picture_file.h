#pragma once
// Reads a result picture for the full-size viewer: BMP and JPEG plot
// pictures and legends (and PNG, PCX) through the image kernel, as the
// thumbnail list reads them, 8-bit grey TIFF phase images and masks through
// Strandel.
#include <QImage>
#include <QString>

#include <string>

namespace browser {

// The picture, or a null image with `error` set when it cannot be read.
QImage ReadPicture(const std::string& path, std::string* error = nullptr);

} // namespace browser
