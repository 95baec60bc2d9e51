// Strandel over libtiff.
#include "tifflib/strandel.h"

#include <tiffio.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
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

// What libtiff reports while a file is open. Messages while the pixels are
// decoded mean a row came out wrong or incomplete (a strip that ends early,
// a bad code, a run past the row), whatever the codec: the row failed.
struct Reports {
    bool decoding = false;
    bool lostData = false;
};

// Notices that come with intact data while decoding.
bool IsNotice(const char* fmt)
{
    // LZW of the earliest writers, bit order reversed: read as it is.
    return fmt && std::strncmp(fmt, "Old-style LZW codes", 19) == 0;
}

int OnMessage(TIFF*, void* user, const char*, const char* fmt, va_list)
{
    auto* r = static_cast<Reports*>(user);
    if (r && r->decoding && !IsNotice(fmt)) r->lostData = true;
    return 1;   // handled: a windowed caller never sees libtiff's chatter
}

// The most rows of lineSize bytes that byteCount bytes of a strip can decode
// to, for each compression the library reads; false for any other. No codec
// makes more of its data than this, so a strip that declares more rows than
// its bytes can fill is refused before anyone sizes a buffer for it.
bool MostRows(uint16_t compression, uint64_t byteCount, uint64_t lineSize, uint64_t* rows)
{
    uint64_t bytes = 0;
    switch (compression) {
    case COMPRESSION_PACKBITS:   // a count byte and one value give at most 128 bytes
        bytes = 64 * byteCount;
        break;
    case COMPRESSION_LZW: {      // codes of 9 bits or more; the n-th code after a clear adds
                                 // at most n bytes, and no entry of the 4096-code table more
        const uint64_t codes = byteCount * 8 / 9;
        bytes = std::min(codes * (codes + 1) / 2, codes * 4096);
        break;
    }
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:    // deflate expands at most 1032 times
        bytes = 1032 * byteCount;
        break;
    case COMPRESSION_JPEG:       // at least one bit for every block of 8 x 8 samples
        bytes = 512 * byteCount;
        break;
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:  // at least one bit a row, whatever its width
        *rows = 8 * byteCount;
        return true;
    default:
        return false;
    }
    *rows = lineSize > 0 ? bytes / lineSize : 0;
    return true;
}

// The first directory's strips lie inside the file and can hold the image:
// none starts in the header, each holds its data within the file's size (an
// uncompressed strip the bytes of all its rows, a compressed one its byte
// count), and a compressed strip's bytes can decode to all its rows. A
// StripOffsets entry that libtiff ignored or padded (a count of 0, a wrong
// count) leaves offsets of 0 and fails here, and an image that declares far
// more rows than its bytes can hold, or a compression the library does not
// read, is refused before anyone sizes a buffer for it.
bool StripsHoldTheImage(TIFF* tif, uint64_t fileSize)
{
    if (TIFFIsTiled(tif)) return false;  // the scanline reader takes strips only
    uint32_t length = 0, rowsPerStrip = 0;
    uint16_t compression = COMPRESSION_NONE;
    if (!TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &length)) return true;  // the reader refuses it
    if (!TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip) || rowsPerStrip == 0) return false;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    const uint64_t lineBytes = uint64_t(lineSize > 0 ? lineSize : 0);
    uint64_t unused = 0;
    if (compression != COMPRESSION_NONE && !MostRows(compression, 0, lineBytes, &unused)) return false;
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
        const uint64_t bytes = compression == COMPRESSION_NONE ? stripRows * lineBytes : byteCount;
        if (offset < 8 || offset > fileSize || bytes > fileSize - offset) return false;
        uint64_t most = 0;
        if (compression != COMPRESSION_NONE && (!MostRows(compression, byteCount, lineBytes, &most) || most < stripRows))
            return false;
    }
    return true;
}

// Opens a regular file for reading without waiting: a pipe or device in its
// place never holds the open, and the check is made on the open descriptor
// itself, so a path swapped for a pipe after any earlier look is refused too.
// Returns the descriptor (-1 when refused) and the file's size.
int OpenRegularFile(const std::string& path, uint64_t* fileSize)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    *fileSize = uint64_t(st.st_size);
    return fd;
}

// Only regular files are read. The file is read, not mapped: one that shrinks
// while it is read gives a read error, never a fault.
TIFF* OpenTiff(const char* path, Reports* reports, uint64_t* fileSize)
{
    Initialise();
    std::string full;
    if (!CompletePath(path, full)) return nullptr;
    const int fd = OpenRegularFile(full, fileSize);
    if (fd < 0) return nullptr;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) {
        ::close(fd);
        return nullptr;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnMessage, reports);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnMessage, reports);
    TIFF* tif = TIFFFdOpenExt(fd, full.c_str(), "rm", options);
    TIFFOpenOptionsFree(options);
    if (!tif) ::close(fd);   // libtiff closes the descriptor only with the file it opened
    return tif;
}

// A file whose strips cannot hold its image counts as one that cannot be opened.
TIFF* OpenForReading(const char* path, Reports* reports)
{
    uint64_t fileSize = 0;
    TIFF* tif = OpenTiff(path, reports, &fileSize);
    if (tif && !StripsHoldTheImage(tif, fileSize)) {
        TIFFClose(tif);
        return nullptr;
    }
    return tif;
}

uint16_t ReadSizeTag(const char* path, ttag_t tag)
{
    Reports reports;
    TIFF* tif = OpenForReading(path, &reports);
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

// Where the rows of a read go: told the declared size first (before the
// file's strips are checked, so nothing may be taken for it yet), then given
// each row.
class RowSink {
public:
    virtual ~RowSink() = default;
    // STRANDEL_OK when an image of this size is wanted, else the status that
    // refuses it.
    virtual int32_t size(uint32_t width, uint32_t length) = 0;
    // False ends the read (STRANDEL_ERR_NOMEM).
    virtual bool row(uint32_t y, const uint8_t* pixels) = 0;
};

// The rows go into a caller's buffer of bufferBytes (no limit when unsized).
class BufferSink : public RowSink {
public:
    BufferSink(uint8_t* pixels, bool sized, size_t bufferBytes) : pixels_(pixels), sized_(sized), bytes_(bufferBytes) {}
    int32_t size(uint32_t width, uint32_t length) override
    {
        width_ = width;
        return sized_ && uint64_t(width) * length > bytes_ ? STRANDEL_ERR_TOO_LARGE : STRANDEL_OK;
    }
    bool row(uint32_t y, const uint8_t* pixels) override
    {
        std::memcpy(pixels_ + uint64_t(y) * width_, pixels, width_);
        return true;
    }

private:
    uint8_t* pixels_;
    bool sized_;
    size_t bytes_;
    uint32_t width_ = 0;
};

// The rows go to a caller's functions.
class CallbackSink : public RowSink {
public:
    explicit CallbackSink(const StrandelRowReader& reader) : reader_(reader) {}
    int32_t size(uint32_t width, uint32_t length) override
    {
        return reader_.size && !reader_.size(reader_.context, width, length) ? STRANDEL_ERR_TOO_LARGE : STRANDEL_OK;
    }
    bool row(uint32_t y, const uint8_t* pixels) override
    {
        return !reader_.row || reader_.row(reader_.context, y, pixels) != 0;
    }

private:
    const StrandelRowReader& reader_;
};

// Opens the image for a sink. An image the sink does not want at its
// declared size is kept open with the refusal in *refusal (the header text is
// still read); any other must have strips that hold it. Null when it cannot
// be opened.
TIFF* OpenForSink(const char* path, Reports* reports, RowSink& sink, int32_t* refusal)
{
    uint64_t fileSize = 0;
    TIFF* tif = OpenTiff(path, reports, &fileSize);
    uint32_t declaredWidth = 0, declaredLength = 0;
    *refusal = STRANDEL_OK;
    if (tif && TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &declaredWidth) &&
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &declaredLength))
        *refusal = sink.size(declaredWidth, declaredLength);
    if (tif && *refusal == STRANDEL_OK && !StripsHoldTheImage(tif, fileSize)) {
        TIFFClose(tif);
        tif = nullptr;
    }
    return tif;
}

// The layout of an image's pixels; a tag the reader can do without is
// warned about and takes its usual value.
struct PixelLayout {
    uint32_t width = 0, length = 0;
    uint16_t bits = 0, spp = 0, planar = 0, photometric = 0;
};

// False when the image is no grey or palette picture of 1, 4 or 8 bits.
bool ReadPixelLayout(TIFF* tif, PixelLayout* l)
{
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l->width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l->length))
        return false;
    if (!TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &l->bits)) {
        std::fprintf(stderr, "Warning BitsPerSample tag missing\n");
        l->bits = 1;
    }
    if (l->bits != 1 && l->bits != 4 && l->bits != 8) return false;
    if (!TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &l->spp)) {
        std::fprintf(stderr, "Warning SamplesPerPixel tag missing\n");
        l->spp = 1;
    }
    if (!TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &l->planar)) {
        std::fprintf(stderr, "Warning PlanarConfig tag missing\n");
        l->planar = 1;
    }
    return TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l->photometric) &&
           (l->photometric == 0 || l->photometric == 1 || l->photometric == 3);
}

// Decodes the rows in order, each widened to a byte a pixel, into the sink.
// A row that libtiff could not decode, or that it reported damage in, fails:
// the image is damaged and no row after it is read.
int32_t ReadRows(TIFF* tif, const PixelLayout& l, uint8_t* line, Reports& reports, RowSink& sink)
{
    uint8_t* wide = l.width > 0 ? static_cast<uint8_t*>(_TIFFmalloc(tmsize_t(l.width))) : nullptr;
    if (l.width > 0 && !wide) return STRANDEL_ERR_NOMEM;
    int32_t result = STRANDEL_OK;
    reports.decoding = true;
    for (uint32_t row = 0; row < l.length; ++row) {
        if (TIFFReadScanline(tif, line, row, 0) < 0 || reports.lostData) {
            result = STRANDEL_ERR_READ;
            break;
        }
        WidenRow(line, l.width, l.bits, wide);
        if (!sink.row(row, wide)) {
            result = STRANDEL_ERR_NOMEM;
            break;
        }
    }
    reports.decoding = false;
    if (wide) _TIFFfree(wide);
    return result;
}

// The pixels of an open image into the sink, after the checks that keep a
// scanline from being over-read; the status of the read.
int32_t ReadPixels(TIFF* tif, int32_t refusal, Reports& reports, RowSink& sink)
{
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    uint8_t* line = lineSize > 0 ? static_cast<uint8_t*>(_TIFFmalloc(lineSize)) : nullptr;
    if (!line) return lineSize > 0 ? STRANDEL_ERR_NOMEM : STRANDEL_ERR_FORMAT;
    int32_t result = STRANDEL_ERR_FORMAT;
    PixelLayout l;
    if (ReadPixelLayout(tif, &l) && l.spp == 1) {
        // A scanline shorter than the row it must hold would be over-read.
        if (uint64_t(lineSize) * 8 < uint64_t(l.width) * l.bits)
            result = STRANDEL_ERR_FORMAT;
        else if (refusal != STRANDEL_OK)
            result = refusal;
        else
            result = ReadRows(tif, l, line, reports, sink);
    }
    _TIFFfree(line);
    return result;
}

char* ReadImpl(const char* path, RowSink& sink, int32_t* status)
{
    Reports reports;
    int32_t refusal = STRANDEL_OK;
    TIFF* tif = OpenForSink(path, &reports, sink, &refusal);
    if (!tif) {
        if (status) *status = STRANDEL_ERR_OPEN;
        return CopyText(" ");
    }
    char* tagText = nullptr;
    std::string text;
    if (TIFFGetField(tif, kInfoTag, &tagText) && tagText) text = tagText;
    const int32_t result = ReadPixels(tif, refusal, reports, sink);
    TIFFClose(tif);
    if (status) *status = result;
    return CopyText(text.c_str());
}

} // namespace

extern "C" {

uint16_t GetTIFFCols(const char* path) { return ReadSizeTag(path, TIFFTAG_IMAGEWIDTH); }

uint16_t GetTIFFRows(const char* path) { return ReadSizeTag(path, TIFFTAG_IMAGELENGTH); }

char* ReadTIFFFile(const char* path, uint8_t* pixels)
{
    BufferSink sink(pixels, false, 0);
    return ReadImpl(path, sink, nullptr);
}

char* ReadTIFFFileSized(const char* path, uint8_t* pixels, size_t bufferBytes, int32_t* status)
{
    BufferSink sink(pixels, true, bufferBytes);
    return ReadImpl(path, sink, status);
}

char* ReadTIFFRows(const char* path, const StrandelRowReader* reader, int32_t* status)
{
    if (!reader) {
        if (status) *status = STRANDEL_ERR_FORMAT;
        return CopyText(" ");
    }
    CallbackSink sink(*reader);
    return ReadImpl(path, sink, status);
}

int32_t WriteTIFFFile(const char* path, uint16_t cols, uint16_t rows, const char* info, const uint8_t* pixels)
{
    Initialise();
    std::string full;
    TIFF* tif = CompletePath(path, full) ? TIFFOpen(full.c_str(), "wl") : nullptr;
    if (!tif) {
        std::fprintf(stderr, "Error opening output file: %s\n", path ? path : "");
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
        std::fprintf(stderr, "Error: %s\n", "No memory for RowBuffer");
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
    uint64_t size = 0;
    const int fd = path ? OpenRegularFile(path, &size) : -1;
    if (fd < 0) {
        std::fprintf(stderr, "Can not open the image file!\n");
        return;
    }
    const long n = long(cols) * long(rows);
    size_t done = 0;
    while (n > 0 && buffer && done < size_t(n)) {
        const ssize_t got = ::read(fd, buffer + done, size_t(n) - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += size_t(got);
    }
    ::close(fd);
}

char* TestFun(void) { return CopyText("test is passed"); }

} // extern "C"
