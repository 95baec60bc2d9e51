// Result pictures for the full-size viewer.
#include "app/browser/picture_file.h"

#include "platform/strandel_binding.h"

#include <QFile>
#include <QImageReader>

namespace browser {

namespace {

bool LooksLikeTiff(const std::string& path)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = f.read(4);
    return head == QByteArray("II*\0", 4) || head == QByteArray("MM\0*", 4);
}

} // namespace

QImage ReadPicture(const std::string& path, std::string* error)
{
    if (LooksLikeTiff(path)) {
        strandel::ReadResult r = strandel::ReadImage(path);
        if (r.status != 0 || r.cols == 0 || r.rows == 0 || r.pixels.size() < size_t(r.cols) * r.rows) {
            if (error) *error = "The file cannot be opened.";
            return {};
        }
        QImage grey(int(r.cols), int(r.rows), QImage::Format_Grayscale8);
        for (int y = 0; y < grey.height(); ++y)
            std::copy_n(r.pixels.data() + size_t(y) * r.cols, r.cols, grey.scanLine(y));
        return grey;
    }
    QImageReader reader(QString::fromStdString(path));
    QImage image = reader.read();
    if (image.isNull() && error) *error = reader.errorString().toStdString();
    return image;
}

} // namespace browser
