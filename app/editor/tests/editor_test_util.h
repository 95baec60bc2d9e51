#pragma once
// Shared set-up of the editor tests: a current phase image in the model and
// the TIFF library found next to the test programs.
#include "app/core/model/model.h"
#include "platform/folders.h"
#include "platform/strandel_binding.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace edtest {

inline std::string Fixture(const std::string& name)
{
    return testsupport::SourceDir() + "/app/editor/tests/fixtures/" + name;
}

// A known pattern: pixel (x, y) = (x * 3 + y * 7 + seed) mod 256, never 128.
inline std::vector<uint8_t> Pattern(int cols, int rows, int seed = 0)
{
    std::vector<uint8_t> px(size_t(cols) * size_t(rows));
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x) {
            uint8_t v = uint8_t((x * 3 + y * 7 + seed) % 256);
            if (v == 128) v = 129;
            px[size_t(y) * cols + x] = v;
        }
    return px;
}

// Makes a cols x rows image current (full size, no mask, no partition).
inline void MakeCurrentImage(int cols, int rows, int seed = 0, const std::string& file = "")
{
    model::ResetModel();
    auto& im = model::images;
    im.ImageCols = int16_t(cols);
    im.ImageRows = int16_t(rows);
    im.XMax = cols - 1;
    im.YMax = rows - 1;
    im.FullXMax = int16_t(cols - 1);
    im.FullYMax = int16_t(rows - 1);
    im.PhaseImage.create(cols, rows);
    im.PhaseImage.buffer() = Pattern(cols, rows, seed);
    im.CurrentPhase = im.PhaseImage;
    im.DisplayImage = im.PhaseImage;
    model::state.PhaseInMemory = true;
    model::state.StartupInProgress = false;
    model::files.PhaseImageFile = file;
}

// A whole measurement header (nine fields, the fringe value in the ninth): a
// header that breaks off makes a file every reader of phase images refuses.
inline const std::string kHeader = "Calverdine Phase Measurement\r\nHeader Fields:9\r\nA: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\n"
                                   "E: 5\r\nF: 6\r\nFringe Value: 0.5\r\n\\\\EndHeader\r\n";

inline void WriteTiff(const std::string& path, int cols, int rows, int seed = 0, const std::string& header = kHeader)
{
    std::vector<uint8_t> px = Pattern(cols, rows, seed);
    ASSERT_EQ(0, strandel::WriteTIFFFile(path, uint16_t(cols), uint16_t(rows), header, px.data()))
        << strandel::LoadError();
}

struct LibrarySetUp {
    LibrarySetUp() { platform::SetSystemFolder(testsupport::BinDir()); }
};

} // namespace edtest
