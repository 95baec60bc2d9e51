#pragma once
// The main program's calls into the TIFF library Strandel, loaded by file name
// on first use with each function bound on its own first call.
#include <cstdint>
#include <string>
#include <vector>

namespace strandel {

inline constexpr const char* kLibraryFile = "libStrandel.so";

uint16_t GetTIFFCols(const std::string& path);
uint16_t GetTIFFRows(const std::string& path);

// Reads the pixels of an 8-bit image into `pixels` (resized to cols x rows);
// returns the header text. `status` gets the library's status code
// (0 when read; negative otherwise, and `pixels` then is left empty).
struct ReadResult {
    int32_t status = -14;
    uint16_t cols = 0;
    uint16_t rows = 0;
    std::string header;
    std::vector<uint8_t> pixels;
};
ReadResult ReadImage(const std::string& path);

// Writes an 8-bit grey image with its header text; returns the library status
// (0 written). -1000 when the library cannot be loaded. The image is written
// under a hidden temporary name beside the target (no longer than the target's
// own name, so the library's 79-character rule holds the same) and renamed into
// place, so a failed write never leaves a half file or spoils an existing one.
int32_t WriteTIFFFile(const std::string& path, uint16_t cols, uint16_t rows, const std::string& info,
                      const uint8_t* pixels);

// Why the last call could not reach the library ("" when it could).
std::string LoadError();

inline constexpr int32_t kLibraryMissing = -1000;

} // namespace strandel
