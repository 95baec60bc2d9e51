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

// The largest image side the program reads.
inline constexpr uint16_t kMaxSide = 32767;

// Reads the pixels of an 8-bit image into `pixels` (cols x rows) with its
// header text, in one open of the file. `status` gets the library's status
// code (0 when read; negative otherwise, and `pixels` then is left empty). A
// declared side above kMaxSide (STRANDEL_ERR_TOO_LARGE) or more than maxPixels
// pixels (kOverBudget) is refused before anything is allocated, memory that
// cannot be had gives STRANDEL_ERR_NOMEM; memory grows with the rows decoded,
// never ahead of them. The file read is exactly the one named (no ".tif"
// completion).
struct ReadResult {
    int32_t status = -14;
    uint16_t cols = 0;
    uint16_t rows = 0;
    std::string header;
    std::vector<uint8_t> pixels;
};
ReadResult ReadImage(const std::string& path, uint64_t maxPixels = UINT64_MAX);

// Writes an 8-bit grey image with its header text; returns the library status
// (0 written) and, when not written, why in *why. -1000 when the library
// cannot be loaded. The library writes into the program's one writer
// (core::AtomicFile): a new temporary file beside the target renamed over it,
// a link written through, a read-only file refused, the mode kept, so a
// failed write never leaves a half file or spoils an existing one.
int32_t WriteTIFFFile(const std::string& path, uint16_t cols, uint16_t rows, const std::string& info,
                      const uint8_t* pixels, std::string* why = nullptr);

// Why the last call could not reach the library ("" when it could).
std::string LoadError();

inline constexpr int32_t kLibraryMissing = -1000;
// The image has more pixels than the caller takes.
inline constexpr int32_t kOverBudget = -1001;

} // namespace strandel
