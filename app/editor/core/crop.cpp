#include "app/editor/core/crop.h"

#include "app/core/model/model.h"
#include "app/editor/core/partition_file.h"

namespace editor {

bool CropRegionValid(int left, int top, int width, int height, int cols, int rows)
{
    return RectInside(left, top, width, height, cols, rows);
}

void AcceptCroppedImage(int cols, int rows, const std::vector<uint8_t>& pixels)
{
    auto& im = model::images;
    im.ImageCols = int16_t(cols);
    im.ImageRows = int16_t(rows);
    im.XMax = cols - 1;
    im.YMax = rows - 1;
    im.FullXMax = int16_t(im.XMax);
    im.FullYMax = int16_t(im.YMax);
    im.PhaseImage.create(cols, rows);
    if (pixels.size() == im.PhaseImage.size()) im.PhaseImage.buffer() = pixels;
    im.RowBuffer.assign(size_t(cols), 0);
    im.CurrentPhase = im.PhaseImage;
    im.DisplayImage = im.PhaseImage;
}

std::string ImageCaption(const std::string& fileTitle, int cols, int rows)
{
    return "Image: " + (fileTitle.empty() ? std::string("Current") : fileTitle) + " (" + std::to_string(cols) +
           " x " + std::to_string(rows) + ")";
}

} // namespace editor
