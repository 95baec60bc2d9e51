#pragma once
// The ellipse inscribed in a domain: every pixel outside it becomes the blank
// value 128. The traversal is the integer midpoint ellipse of the crop-domains
// job, computed in 64-bit integers so that large domains cannot overflow.
#include "app/core/model/matrix.h"

namespace editor {

// A new matrix of the source's size; the source is not changed. A matrix of
// at most 2 x 2 pixels (both half-axes 0) is returned unchanged.
model::ByteMatrix MakeEllipticalMask(const model::ByteMatrix& source);

} // namespace editor
