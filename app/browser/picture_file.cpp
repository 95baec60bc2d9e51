// Result pictures for the full-size viewer.
#include "app/browser/picture_file.h"

#include "platform/regular_file.h"
#include "platform/strandel_binding.h"
#include "thumbctl/control/constants.h"
#include "thumbctl/control/loading_host.h"

#include <algorithm>

namespace browser {

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
    // Plot pictures and legends are read as the thumbnail list reads them
    // (through the image kernel): one reader of each format, so a file the
    // list refuses (cut, damaged, no end within what its picture can take)
    // is never shown here as a whole picture.
    int listError = 0;
    QImage image = thumbctl::ReadPictureFile(path, &listError);
    if (!image.isNull()) return image;
    switch (listError) {
    case thumbctl::trkErrOutofMemory: return fail("There is not enough memory to show the picture.");
    case thumbctl::trkErrNotSupportFileFormat: return fail("The file is not a picture the viewer can show.");
    case thumbctl::trkErrFileNotFound:
    case thumbctl::trkErrPathNotFound:
    case thumbctl::trkErrFileIOError: return fail("The file cannot be opened.");
    default: return fail("The picture data is incomplete or damaged.");
    }
}

} // namespace browser
