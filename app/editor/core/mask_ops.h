#pragma once
// Mask editing on the shared data model: a new mask, rectangles masked and the
// last one taken out again, the display overlay, mask files (*_msk.tif) and
// the burn of the mask into the phase image. The phase-image window calls
// these and only moves the pictures and buttons.
#include "app/core/model/model.h"
#include "app/core/overlay.h"

#include <string>

namespace editor {

// The rectangle of the last accepted Add Region (one level of undo).
struct MaskUndo {
    bool valid = false;
    int left = 0, top = 0, width = 0, height = 0;
};
MaskUndo& LastMaskRect();

// New mask of the full image's size, every byte 255; DisplayImage becomes a
// copy of PhaseImage unless a partition keeps its outlines in it.
void BeginMask();

// Masks the rectangle (MaskImage 0, DisplayImage 255) when it lies inside the
// image and records it for undo; false (nothing changed, the undo record kept)
// when it does not.
bool AddMaskRect(int left, int top, int width, int height);

// Unmasks the last accepted rectangle (DisplayImage from PhaseImage) and draws
// the partition outlines again. Nothing happens without a recorded rectangle.
void UndoMaskRect();

// True when the mask being drawn masks any point (a region is drawn).
bool MaskHasRegions();

// The display overlay (masked points, domain outlines) lives with the core's
// display rebuild.
using core::ApplyMaskOverlay;
using core::DrawDomainOutlines;
using core::SetMaskedPixels;

// "Mask dimensions W (X) x H (Y) do not match current phase image size."
std::string MaskSizeMessage(int width, int height);

// Writes the mask file: 8-bit, the mask's size, an empty header text.
bool WriteMaskFile(const std::string& path, const model::ByteMatrix& mask, std::string* error = nullptr);

struct MaskRead {
    enum Status { Ok, CannotOpen, SizeMismatch };
    Status status = CannotOpen;
    int width = 0, height = 0;  // size of the file's picture
    model::ByteMatrix mask;     // the file's bytes as they are
    std::string message;        // for CannotOpen
};
MaskRead ReadMaskFile(const std::string& path, int cols, int rows);

// Masked pixels of PhaseImage become 128. False (nothing changed) when the
// mask does not have the full image's size.
bool BurnMaskIntoPhase();

} // namespace editor
