#include "app/editor/core/elliptical_mask.h"

#include "app/core/model/model.h"
#include "app/core/runtime.h"

#include <algorithm>
#include <cstdint>

namespace editor {

model::ByteMatrix MakeEllipticalMask(const model::ByteMatrix& source)
{
    model::ByteMatrix result = source;
    if (source.empty()) return result;
    const int64_t C = source.cols() - 1;
    const int64_t R = source.rows() - 1;
    const int64_t a = int64_t(core::RoundHalfEven(double(C) / 2));
    const int64_t b = int64_t(core::RoundHalfEven(double(R) / 2));
    if (a == 0 && b == 0) return result;   // the traversal would never end
    const int64_t twoASq = 2 * a * a;
    const int64_t twoBSq = 2 * b * b;

    // Row r and its mirror R - r: every pixel from column c to the right border
    // and as many at the left border.
    auto blankRow = [&](int64_t r, int64_t c) {
        for (int64_t row : {r, R - r}) {
            if (row < 0 || row > R) continue;
            for (int64_t k = std::max<int64_t>(c, 0); k <= C; ++k) result(int(k), int(row)) = model::BlankPhaseValue;
            for (int64_t k = 0; k <= std::min(C - c, C); ++k) result(int(k), int(row)) = model::BlankPhaseValue;
        }
    };

    // The steep part, from the middle rows outward.
    int64_t col = C, row = b;
    int64_t xChange = b * b * (1 - 2 * a), yChange = a * a, err = 0;
    int64_t stopX = twoBSq * a, stopY = 0;
    while (stopX >= stopY) {
        --row;
        stopY += twoASq;
        err += yChange;
        yChange += twoASq;
        if (col < C) blankRow(row, col);
        if (2 * err + xChange > 0) {
            --col;
            stopX -= twoBSq;
            err += xChange;
            xChange += twoBSq;
        }
    }

    // The flat part, from the top row inward.
    col = a;
    row = 0;
    xChange = b * b;
    yChange = a * a * (1 - 2 * b);
    err = 0;
    stopX = 0;
    stopY = twoASq * b;
    while (stopX <= stopY) {
        ++col;
        stopX += twoBSq;
        err += xChange;
        xChange += twoBSq;
        blankRow(row, col);
        if (2 * err + yChange > 0) {
            ++row;
            stopY -= twoASq;
            err += yChange;
            yChange += twoASq;
        }
    }
    return result;
}

} // namespace editor
