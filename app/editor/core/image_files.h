#pragma once
// Reading and writing the 8-bit grey images of the editor and its jobs: TIFF
// through the TIFF library (with the header text), BMP through the platform's
// picture read and a grey-palette writer. Both writers end in the program's
// one writer (core::AtomicFile), so a failed write never leaves a partial file.
#include <cstdint>
#include <string>
#include <vector>

namespace editor {

struct GreyImage {
    bool ok = false;
    std::string message;          // why it could not be read
    int cols = 0;
    int rows = 0;
    std::string header;           // TIFF header text ("" for BMP)
    std::vector<uint8_t> pixels;  // cols x rows, x fastest
};

// "tif" or "bmp" (any case) chooses the reader; anything else reads TIFF
// (the program's phase-image reader, core::ReadPhaseImageFile, a BMP as the
// main window's picture buffer reads it).
GreyImage ReadGreyImage(const std::string& path, const std::string& format);

// Writes an 8-bit TIFF with its header text. False with the reason on failure.
bool WriteTiffImage(const std::string& path, int cols, int rows, const std::string& header, const uint8_t* pixels,
                    std::string* error = nullptr);

// Writes an uncompressed 8-bit BMP with a grey palette (index = grey level).
bool WriteGreyBmp(const std::string& path, int cols, int rows, const uint8_t* pixels, std::string* error = nullptr);

// The header text written into a derived image: the source's text when it
// begins with "Calverdine" (letter case exact), else empty.
std::string DerivedHeader(const std::string& sourceHeader);

} // namespace editor
