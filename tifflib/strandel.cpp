// Strandel over libtiff.
#include "tifflib/strandel.h"

#include <tiffio.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

constexpr ttag_t kInfoTag = 32768;

// Tag 32768 is known to libtiff before any file is opened.
TIFFExtendProc gParentExtender = nullptr;

void ExtendTags(TIFF* tif)
{
    static const TIFFFieldInfo kFields[] = {
        {kInfoTag, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_ASCII, FIELD_CUSTOM, 1, 0,
         const_cast<char*>("CalverdineInf")},
    };
    TIFFMergeFieldInfo(tif, kFields, sizeof kFields / sizeof kFields[0]);
    if (gParentExtender) gParentExtender(tif);
}

void Initialise()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gParentExtender = TIFFSetTagExtender(ExtendTags);
        // A windowed caller never sees libtiff's own chatter.
        TIFFSetWarningHandler(nullptr);
        TIFFSetErrorHandler(nullptr);
    });
}

char* CopyText(const char* s)
{
    size_t n = std::strlen(s);
    char* out = static_cast<char*>(std::malloc(n + 1));
    if (out) std::memcpy(out, s, n + 1);
    return out;
}

// The ".tif" completion rule. Names of any length the system allows pass.
bool CompletePath(const char* path, std::string& out)
{
    if (!path || !*path) return false;
    out = path;
    if (out.find('.') == std::string::npos) out += ".tif";
    return true;
}

// The first directory's strips lie inside the file: none starts in the
// header, and each holds its data within the file's size (an uncompressed
// strip the bytes of all its rows, a compressed one its byte count). A
// StripOffsets entry that libtiff ignored or padded (a count of 0, a wrong
// count) leaves offsets of 0 and fails here, and an image that declares far
// more rows than its bytes can hold is refused before anyone sizes a buffer
// for it.
bool StripsInsideFile(TIFF* tif, uint64_t fileSize)
{
    if (TIFFIsTiled(tif)) return false;  // the scanline reader takes strips only
    uint32_t length = 0, rowsPerStrip = 0;
    uint16_t compression = COMPRESSION_NONE;
    if (!TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &length)) return true;  // the reader refuses it
    if (!TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip) || rowsPerStrip == 0) return false;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    const uint32_t strips = TIFFNumberOfStrips(tif);
    const uint32_t rows = rowsPerStrip < length ? rowsPerStrip : length;
    if (length > 0 && (strips == 0 || uint64_t(strips) < (uint64_t(length) + rows - 1) / rows)) return false;
    for (uint32_t s = 0; s < strips && uint64_t(s) * rows < length; ++s) {
        int err = 0;
        const uint64_t offset = TIFFGetStrileOffsetWithErr(tif, s, &err);
        if (err) return false;
        const uint64_t byteCount = TIFFGetStrileByteCountWithErr(tif, s, &err);
        if (err) return false;
        const uint64_t stripRows = std::min<uint64_t>(rows, uint64_t(length) - uint64_t(s) * rows);
        const uint64_t bytes = compression == COMPRESSION_NONE ? stripRows * uint64_t(lineSize > 0 ? lineSize : 0)
                                                               : byteCount;
        if (offset < 8 || offset > fileSize || bytes > fileSize - offset) return false;
    }
    return true;
}

// Only regular files are read: a pipe or a device in the file's place would
// block the open or never end.
TIFF* OpenTiff(const char* path, uint64_t* fileSize)
{
    Initialise();
    std::string full;
    if (!CompletePath(path, full)) return nullptr;
    struct stat st {};
    if (::stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    *fileSize = uint64_t(st.st_size);
    return TIFFOpen(full.c_str(), "r");
}

// A file whose strips do not lie inside it counts as one that cannot be opened.
TIFF* OpenForReading(const char* path)
{
    uint64_t fileSize = 0;
    TIFF* tif = OpenTiff(path, &fileSize);
    if (tif && !StripsInsideFile(tif, fileSize)) {
        TIFFClose(tif);
        return nullptr;
    }
    return tif;
}

uint16_t ReadSizeTag(const char* path, ttag_t tag)
{
    TIFF* tif = OpenForReading(path);
    if (!tif) return 0;
    uint32_t v = 0;
    if (!TIFFGetField(tif, tag, &v)) v = 0;
    TIFFClose(tif);
    return static_cast<uint16_t>(v & 0xFFFF);
}

// Copies one decoded scanline into one byte a pixel.
void WidenRow(const uint8_t* line, uint32_t width, uint16_t bits, uint8_t* out)
{
    if (bits == 8) {
        std::memcpy(out, line, width);
    } else if (bits == 4) {
        for (uint32_t x = 0; x < width; ++x) out[x] = (x & 1) ? (line[x >> 1] & 0x0F) : (line[x >> 1] >> 4);
    } else {
        for (uint32_t x = 0; x < width; ++x) out[x] = (line[x >> 3] >> (7 - (x & 7))) & 1;
    }
}

char* ReadImpl(const char* path, uint8_t* pixels, bool sized, size_t bufferBytes, int32_t* status)
{
    auto setStatus = [status](int32_t s) {
        if (status) *status = s;
    };
    // An image larger than the caller's buffer is refused as such; any other
    // must have its strips inside the file to be opened.
    uint64_t fileSize = 0;
    TIFF* tif = OpenTiff(path, &fileSize);
    uint32_t declaredWidth = 0, declaredLength = 0;
    const bool tooLarge = tif && sized && TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &declaredWidth) &&
                          TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &declaredLength) &&
                          uint64_t(declaredWidth) * declaredLength > bufferBytes;
    if (tif && !tooLarge && !StripsInsideFile(tif, fileSize)) {
        TIFFClose(tif);
        tif = nullptr;
    }
    if (!tif) {
        setStatus(STRANDEL_ERR_OPEN);
        return CopyText(" ");
    }
    char* tagText = nullptr;
    std::string text;
    if (TIFFGetField(tif, kInfoTag, &tagText) && tagText) text = tagText;

    int32_t result = STRANDEL_ERR_FORMAT;
    tmsize_t lineSize = TIFFScanlineSize(tif);
    uint8_t* line = lineSize > 0 ? static_cast<uint8_t*>(_TIFFmalloc(lineSize)) : nullptr;
    uint32_t width = 0, length = 0;
    uint16_t bits = 0, spp = 0, planar = 0, photometric = 0;
    bool ok = line != nullptr && TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) &&
              TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &length);
    if (!line && lineSize > 0) result = STRANDEL_ERR_NOMEM;
    if (ok) {
        if (!TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits)) {
            std::printf("Warning BitsPerSample tag missing\n");
            bits = 1;
        }
        ok = bits == 1 || bits == 4 || bits == 8;
    }
    if (ok) {
        if (!TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &spp)) {
            std::printf("Warning SamplesPerPixel tag missing\n");
            spp = 1;
        }
        if (!TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &planar)) {
            std::printf("Warning PlanarConfig tag missing\n");
            planar = 1;
        }
        ok = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) &&
             (photometric == 0 || photometric == 1 || photometric == 3);
    }
    if (ok && spp == 1) {
        const uint64_t needed = uint64_t(width) * length;
        // A scanline shorter than the row it must hold would be over-read.
        const uint64_t lineBits = uint64_t(width) * bits;
        if (uint64_t(lineSize) * 8 < lineBits) {
            result = STRANDEL_ERR_FORMAT;
        } else if (sized && needed > bufferBytes) {
            result = STRANDEL_ERR_TOO_LARGE;
        } else {
            result = STRANDEL_OK;
            for (uint32_t row = 0; row < length; ++row) {
                if (TIFFReadScanline(tif, line, row, 0) < 0) {
                    result = STRANDEL_ERR_READ;  // the image is damaged: no row after this one is read
                    break;
                }
                WidenRow(line, width, bits, pixels + uint64_t(row) * width);
            }
        }
    }
    if (line) _TIFFfree(line);
    TIFFClose(tif);
    setStatus(result);
    return CopyText(text.c_str());
}

} // namespace

extern "C" {

uint16_t GetTIFFCols(const char* path) { return ReadSizeTag(path, TIFFTAG_IMAGEWIDTH); }

uint16_t GetTIFFRows(const char* path) { return ReadSizeTag(path, TIFFTAG_IMAGELENGTH); }

char* ReadTIFFFile(const char* path, uint8_t* pixels)
{
    return ReadImpl(path, pixels, false, 0, nullptr);
}

char* ReadTIFFFileSized(const char* path, uint8_t* pixels, size_t bufferBytes, int32_t* status)
{
    return ReadImpl(path, pixels, true, bufferBytes, status);
}

int32_t WriteTIFFFile(const char* path, uint16_t cols, uint16_t rows, const char* info, const uint8_t* pixels)
{
    Initialise();
    std::string full;
    TIFF* tif = CompletePath(path, full) ? TIFFOpen(full.c_str(), "wl") : nullptr;
    if (!tif) {
        std::printf("Error opening output file: %s\n", path ? path : "");
        return STRANDEL_ERR_OPEN;
    }
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(cols));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(rows));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_MAKE, "Calverdine's Video Digitizer");
    TIFFSetField(tif, TIFFTAG_ARTIST, "Calverdine");
    TIFFSetField(tif, kInfoTag, info ? info : "");
    TIFFSetField(tif, TIFFTAG_HOSTCOMPUTER, "PC");
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 72.0f);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 72.0f);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);

    tmsize_t lineSize = TIFFScanlineSize(tif);
    uint8_t* row = static_cast<uint8_t*>(_TIFFmalloc(lineSize > 0 ? lineSize : 1));
    if (!row) {
        std::printf("Error: %s\n", "No memory for RowBuffer");
        TIFFClose(tif);
        return STRANDEL_ERR_NOMEM;
    }
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8);
    for (uint16_t r = 0; r < rows; ++r) {
        std::memcpy(row, pixels + uint64_t(r) * cols, cols);
        if (TIFFWriteScanline(tif, row, r, 0) < 0) {
            TIFFClose(tif);
            _TIFFfree(row);
            return STRANDEL_ERR_WRITE;
        }
    }
    // The directory is written on close; a failed flush means a broken file.
    int flushed = TIFFFlush(tif);
    TIFFClose(tif);
    _TIFFfree(row);
    return flushed ? STRANDEL_OK : STRANDEL_ERR_WRITE;
}

void ReadRawImage(const char* path, int16_t cols, int16_t rows, uint8_t* buffer)
{
    FILE* f = path ? std::fopen(path, "rb") : nullptr;
    if (!f) {
        std::printf("Can not open the image file!\n");
        return;
    }
    long n = long(cols) * long(rows);
    if (n > 0 && buffer) {
        size_t got = std::fread(buffer, 1, size_t(n), f);
        (void)got;
    }
    std::fclose(f);
}

char* TestFun(void) { return CopyText("test is passed"); }

} // extern "C"
