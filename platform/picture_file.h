#pragma once
// The picture buffer's file read, without its widget: an 8-bit grey picture
// from a BMP (its palette indices) or a TIFF (through the TIFF library),
// chosen by the file's first bytes. The main window's BMP phase images and the
// command-line tools read BMP phase images through it alike.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct GreyPicture {
    enum class Result {
        Ok,
        CannotOpen,    // missing, not a regular file, or a path beyond the system's limits
        NotEightBit,   // a BMP of another depth: its values would not be bytes
        Unsupported,   // neither a BMP nor a TIFF picture, or a compressed BMP
        BadFile,       // damaged or truncated picture
        TooLarge,      // more pixels than the caller takes
    };
    Result result = Result::CannotOpen;
    std::string error;             // why, for the user ("" when read)
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;   // width x height, top row first, x fastest
};

// Reads the picture; one of more than maxPixels pixels is refused before any
// memory is taken for it.
GreyPicture ReadGreyPicture(const std::string& path, uint64_t maxPixels = UINT64_MAX);

} // namespace platform
