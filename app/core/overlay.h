#pragma once
// What the display image shows over the phase image: the mask (masked points
// white) and the outlines of the partition's domains. The loader rebuilds the
// display with these; the editor draws and erases with them.
#include "app/core/model/model.h"

#include <cstdint>
#include <vector>

namespace core {

// Pixels at the mask's 0 points become `value`; pixels holds as many points
// as the mask, in the same order.
void SetMaskedPixels(const model::ByteMatrix& mask, std::vector<uint8_t>& pixels, uint8_t value);

// The one-pixel outline of a rectangle drawn into an image with `value`: the
// top and bottom rows, then the left and right columns. Pixels outside the
// image are left alone.
void DrawOutline(model::ByteMatrix& image, int left, int top, int width, int height, uint8_t value);
// The same edges copied back from `source`.
void RestoreOutline(model::ByteMatrix& image, const model::ByteMatrix& source, int left, int top, int width,
                    int height);

// DisplayImage pixels of masked points become 255 (when mask and display
// have the same size).
void ApplyMaskOverlay();
// The outline of every domain drawn into DisplayImage with 255.
void DrawDomainOutlines();

} // namespace core
