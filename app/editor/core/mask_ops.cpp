#include "app/editor/core/mask_ops.h"

#include <algorithm>

#include "app/editor/core/image_files.h"
#include "app/editor/core/partition_file.h"

namespace editor {

MaskUndo& LastMaskRect()
{
    static MaskUndo undo;
    return undo;
}

void BeginMask()
{
    auto& im = model::images;
    const int cols = im.FullXMax + 1;
    const int rows = im.FullYMax + 1;
    if (!model::state.PartitionInMemory || im.DisplayImage.cols() != cols || im.DisplayImage.rows() != rows)
        im.DisplayImage = im.PhaseImage;
    im.MaskImage.create(cols, rows, 255);
    LastMaskRect() = {};
}

bool AddMaskRect(int left, int top, int width, int height)
{
    auto& im = model::images;
    if (!RectInside(left, top, width, height, im.MaskImage.cols(), im.MaskImage.rows())) return false;
    for (int y = top; y < top + height; ++y)
        for (int x = left; x < left + width; ++x) im.MaskImage(x, y) = 0;
    for (int y = top; y < top + height; ++y)
        for (int x = left; x < left + width; ++x)
            if (im.DisplayImage.contains(x, y)) im.DisplayImage(x, y) = 255;
    auto& mp = model::maskPartition;
    mp.RoiLeft = left;
    mp.RoiTop = top;
    mp.UndoMaskWidth = width;
    mp.UndoMaskHeight = height;
    LastMaskRect() = {true, left, top, width, height};
    return true;
}

bool MaskHasRegions()
{
    const auto& px = model::images.MaskImage.buffer();
    return std::find(px.begin(), px.end(), uint8_t(0)) != px.end();
}

void UndoMaskRect()
{
    MaskUndo& u = LastMaskRect();
    if (!u.valid) return;
    auto& im = model::images;
    for (int y = u.top; y < u.top + u.height; ++y) {
        for (int x = u.left; x < u.left + u.width; ++x) {
            if (im.MaskImage.contains(x, y)) im.MaskImage(x, y) = 255;
            if (im.DisplayImage.contains(x, y) && im.PhaseImage.contains(x, y)) im.DisplayImage(x, y) = im.PhaseImage(x, y);
        }
    }
    if (model::state.PartitionInMemory) DrawDomainOutlines();
    u.valid = false;
}

std::string MaskSizeMessage(int width, int height)
{
    return "Mask dimensions " + std::to_string(width) + " (X) x " + std::to_string(height) +
           " (Y) do not match current phase image size.";
}

bool WriteMaskFile(const std::string& path, const model::ByteMatrix& mask, std::string* error)
{
    return WriteTiffImage(path, mask.cols(), mask.rows(), "", mask.data(), error);
}

MaskRead ReadMaskFile(const std::string& path, int cols, int rows)
{
    MaskRead r;
    GreyImage g = ReadGreyImage(path, "tif");
    if (!g.ok) {
        r.message = g.message;
        return r;
    }
    r.width = g.cols;
    r.height = g.rows;
    if (g.cols != cols || g.rows != rows) {
        r.status = MaskRead::SizeMismatch;
        return r;
    }
    r.mask.create(g.cols, g.rows);
    r.mask.buffer() = std::move(g.pixels);
    r.status = MaskRead::Ok;
    return r;
}

bool BurnMaskIntoPhase()
{
    auto& im = model::images;
    if (im.MaskImage.cols() != im.PhaseImage.cols() || im.MaskImage.rows() != im.PhaseImage.rows()) return false;
    SetMaskedPixels(im.MaskImage, im.PhaseImage.buffer(), model::BlankPhaseValue);
    return true;
}

} // namespace editor
