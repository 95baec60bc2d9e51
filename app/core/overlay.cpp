#include "app/core/overlay.h"

namespace core {
namespace {

// Visits the outline's pixels in drawing order: top and bottom rows, then
// the left and right columns.
template <typename Visit>
void ForEachOutlinePixel(int left, int top, int width, int height, Visit visit)
{
    for (int x = left; x < left + width; ++x) {
        visit(x, top);
        visit(x, top + height - 1);
    }
    for (int y = top; y < top + height; ++y) {
        visit(left, y);
        visit(left + width - 1, y);
    }
}

} // namespace

void SetMaskedPixels(const model::ByteMatrix& mask, std::vector<uint8_t>& pixels, uint8_t value)
{
    const std::vector<uint8_t>& m = mask.buffer();
    for (size_t i = 0; i < pixels.size(); ++i)
        if (m[i] == 0) pixels[i] = value;
}

void DrawOutline(model::ByteMatrix& image, int left, int top, int width, int height, uint8_t value)
{
    ForEachOutlinePixel(left, top, width, height, [&](int x, int y) {
        if (image.contains(x, y)) image(x, y) = value;
    });
}

void RestoreOutline(model::ByteMatrix& image, const model::ByteMatrix& source, int left, int top, int width,
                    int height)
{
    ForEachOutlinePixel(left, top, width, height, [&](int x, int y) {
        if (image.contains(x, y) && source.contains(x, y)) image(x, y) = source(x, y);
    });
}

void ApplyMaskOverlay()
{
    auto& im = model::images;
    if (im.MaskImage.cols() != im.DisplayImage.cols() || im.MaskImage.rows() != im.DisplayImage.rows()) return;
    SetMaskedPixels(im.MaskImage, im.DisplayImage.buffer(), 255);
}

void DrawDomainOutlines()
{
    const auto& mp = model::maskPartition;
    for (int d = 0; d <= mp.DomainCount - 2 && d < model::MaxDomains; ++d) {
        const model::Domain& dom = mp.DomainTable[size_t(d)];
        DrawOutline(model::images.DisplayImage, dom.Left, dom.Top, dom.Width, dom.Height, 255);
    }
}

} // namespace core
