// Windows bitmap reader and writer.
#include "thumbctl/kernel/bmp_codec.h"

#include "thumbctl/kernel/ipi_dib.h"
#include "thumbctl/kernel/ipi_env.h"
#include "thumbctl/kernel/ipi_object.h"
#include "thumbctl/kernel/ipi_store.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct BmpHeader {
    int64_t width = 0;
    int64_t height = 0;
    int bpp = 0;
    int compression = 0;       // kernel code: 0 or 234
    int64_t imageSize = 0;     // compressed byte count, bounded by the data
    int32_t xPels = 0;
    int32_t yPels = 0;
    int64_t coloursUsed = 0;
    int64_t tableOffset = 0;
    int64_t tableEntries = 0;  // entries present in the file's table (capped)
    int64_t pixelOffset = 0;
    int64_t stride = 0;
    int64_t dataSize = 0;      // bytes in the source
};

// Reads and checks the headers. Returns 0 or 22 (malformed / truncated).
int ParseHeader(IPIENVIRONMENT* env, IPIACCESSOR* in, int fileFormat, BmpHeader* h)
{
    h->dataSize = ipiStoreSize(in);
    int64_t infoOffset = 0;
    int64_t fileOffBits = 0;
    if (fileFormat == ipiFormatBmp) {
        uint8_t fh[14];
        if (h->dataSize < 14 || ipiReadFileAt(env, in, 0, fh, 14) != 14) return ipiErrSyntacticalError;
        if (fh[0] != 'B' || fh[1] != 'M') return ipiErrSyntacticalError;
        fileOffBits = ipiLe32(fh + 10);
        infoOffset = 14;
    }
    uint8_t ih[40];
    if (h->dataSize < infoOffset + 40 || ipiReadFileAt(env, in, infoOffset, ih, 40) != 40)
        return ipiErrSyntacticalError;
    int64_t headerSize = ipiLe32(ih);
    if (headerSize < 40 || headerSize > h->dataSize) return ipiErrSyntacticalError;
    h->width = int32_t(ipiLe32(ih + 4));
    h->height = int32_t(ipiLe32(ih + 8));
    if (h->width <= 0 || h->height <= 0 || h->width > kIpiMaxDimension || h->height > kIpiMaxDimension)
        return ipiErrSyntacticalError;
    h->bpp = ipiLe16(ih + 14);
    if (h->bpp != 1 && h->bpp != 4 && h->bpp != 8 && h->bpp != 16 && h->bpp != 24 && h->bpp != 32)
        return ipiErrSyntacticalError;
    uint32_t comp = ipiLe32(ih + 16);
    if (comp == 0) h->compression = 0;
    else if ((comp == 1 && h->bpp == 8) || (comp == 2 && h->bpp == 4)) h->compression = ipiCompressionBmpRle;
    else return ipiErrSyntacticalError;
    h->xPels = int32_t(ipiLe32(ih + 24));
    h->yPels = int32_t(ipiLe32(ih + 28));
    h->coloursUsed = ipiLe32(ih + 32);
    h->stride = ipiBmpStride(h->width, h->bpp);
    // The colour table follows the information header, whatever its size.
    h->tableOffset = infoOffset + headerSize;
    int64_t full = h->bpp <= 8 ? (int64_t(1) << h->bpp) : 0;
    int64_t listed = h->coloursUsed;
    if (listed == 0) listed = full;
    if (h->bpp <= 8) h->tableEntries = std::min(listed, full);
    else h->tableEntries = std::min<int64_t>(listed, 256);
    if (fileFormat == ipiFormatBmp) {
        h->pixelOffset = fileOffBits;
        if (h->pixelOffset < infoOffset + headerSize) return ipiErrSyntacticalError;
    } else {
        // A packed DIB: pixels right after the table as the header lists it.
        if (h->bpp <= 8) h->pixelOffset = headerSize + 4 * listed;
        else h->pixelOffset = headerSize + 4 * std::min<int64_t>(h->coloursUsed, kIpiMaxTableEntries);
    }
    if (h->pixelOffset >= h->dataSize) return ipiErrSyntacticalError;  // no pixel data at all
    if (h->compression) {
        int64_t left = h->dataSize - h->pixelOffset;
        int64_t stated = ipiLe32(ih + 20);
        h->imageSize = (stated > 0 && stated <= left) ? stated : left;
    }
    if (h->stride <= 0 || h->stride > kIpiMaxBytes / h->height) return ipiErrSyntacticalError;
    return 0;
}

} // namespace

namespace {

// End of run-length codes that begin at `at`: after the end-of-bitmap code,
// or after the code that completes the last of `rows` rows; 0 when the data
// ends first.
uint64_t RleCodesEnd(const IpiByteSource& src, uint64_t at, int64_t rows, int bpp)
{
    IpiByteCursor c(src, at);
    int64_t y = 0;
    for (;;) {
        const int b0 = c.Get(), b1 = c.Get();
        if (b0 < 0 || b1 < 0) return 0;
        if (b0 > 0) continue;  // encoded run
        if (b1 == 1) return c.Pos();  // end of bitmap
        if (b1 == 0) {  // end of line
            if (++y >= rows) return c.Pos();
        } else if (b1 == 2) {  // delta
            if (c.Get() < 0) return 0;
            const int dy = c.Get();
            if (dy < 0) return 0;
            if ((y += dy) >= rows) return c.Pos();
        } else {  // absolute run and its pad byte
            const uint64_t bytes = bpp == 8 ? uint64_t(b1) : uint64_t(b1 + 1) / 2;
            if (!c.Skip(bytes + bytes % 2)) return 0;
        }
    }
}

} // namespace

uint64_t BmpFileExtent(const IpiByteSource& src)
{
    uint8_t head[54];
    if (!src.read(0, head, 54) || head[0] != 'B' || head[1] != 'M') return ipiNoEndWithin(src, kIpiBesidePixels);
    const uint64_t offBits = ipiLe32(head + 10);
    const int64_t width = int32_t(ipiLe32(head + 18));
    int64_t height = int32_t(ipiLe32(head + 22));
    const int bpp = ipiLe16(head + 28);
    const uint32_t compression = ipiLe32(head + 30);
    const uint64_t stated = ipiLe32(head + 34);
    if (height < 0) height = -height;
    if (width <= 0 || height == 0 || width > kIpiMaxDimension || height > kIpiMaxDimension)
        return ipiNoEndWithin(src, kIpiBesidePixels);
    if (compression == 0 || compression == 3) {
        // The rows the header declares, right where it says they begin.
        const int64_t stride = ipiBmpStride(width, bpp);
        if (stride <= 0) return ipiNoEndWithin(src, kIpiBesidePixels);
        const uint64_t pixels = uint64_t(stride) * uint64_t(height);
        const uint64_t end = std::max<uint64_t>(offBits + pixels, 54);
        return end <= pixels + kIpiBesidePixels ? std::min(end, src.size) : ipiNoEndWithin(src, pixels + kIpiBesidePixels);
    }
    if ((compression == 1 && bpp == 8) || (compression == 2 && bpp == 4)) {
        // Run-length codes take at most two bytes a pixel (runs of one, or
        // short literal runs with their pad byte) and an end of line a row.
        const uint64_t bound = ipiBoundOf(uint64_t(width) * uint64_t(height), 2, uint64_t(2 * height + 2) + kIpiBesidePixels);
        if (offBits >= bound) return ipiNoEndWithin(src, bound);
        // The stated size of the codes narrows what is read, never widens it.
        const uint64_t end = stated > 0 ? std::min(offBits + stated, bound)
                                        : RleCodesEnd(ipiBytesUpTo(src, bound), offBits, height, bpp);
        return end > 0 ? std::min(std::max<uint64_t>(end, 54), src.size) : ipiNoEndWithin(src, bound);
    }
    return ipiNoEndWithin(src, kIpiBesidePixels);  // a coding the reader refuses
}

namespace {

int Analyse(IPIENVIRONMENT* env, IPIOBJECT* source, int fileFormat, BmpHeader* h)
{
    IPIACCESSOR* in = ipiOpenAccessor(env, source, "r", 1, nullptr, 0);
    if (!in) return ipiGetError(env);
    int rc = ParseHeader(env, in, fileFormat, h);
    ipiCloseAccessor(env, in);
    if (rc) return ipiReportError(env, rc);

    int64_t xdim = h->width;
    if (env->byteBoundary) {
        source->widthByteBoundary = h->width;
        if (h->bpp == 1) xdim = (xdim + 7) / 8 * 8;
    }
    const IPICLASS* expected;
    int64_t bands = 1;
    if (h->bpp == 1) {
        source->dataType = ipiTypeBoolean;
        expected = &ipiClassMonochromeImage;
    } else if (h->bpp <= 8) {
        source->dataType = ipiTypeNonNegative;
        expected = &ipiClassMonochromeImage;
    } else {
        source->dataType = ipiTypeNonNegative;
        source->colourSpace = ipiColourSpaceRgb;
        bands = h->bpp == 32 ? 4 : 3;
        expected = &ipiClassColourImage;
    }
    source->dim[0] = xdim;
    source->dim[1] = h->height;
    source->dim[2] = source->dim[3] = 1;
    source->dim[4] = bands;
    source->dataPrecision = h->bpp;
    source->bitOrder = ipiOrderMsbFirst;
    source->compression = h->compression;
    source->flags &= ~ipiFlagInited;
    if (source->cls != &ipiClassGenericImage && source->cls != expected)
        return ipiReportError(env, ipiErrMismatchObjectClass);
    return 0;
}

int HeaderStage(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int fileFormat, const BmpHeader& h)
{
    IPIATTRIBUTE attrs[] = {
        {"xDimension", source->dim[0]},
        {"yDimension", source->dim[1]},
        {"zDimension", 1},
        {"tDimension", 1},
        {"bDimension", source->dim[4] == 4 ? 3 : source->dim[4]},
        {"dataType", source->dataType},
        {"dataPrecision", h.bpp > 8 ? 8 : h.bpp},
        {"bitOrder", ipiOrderMsbFirst},
        {"byteOrder", ipiOrderMsbFirst},
        {"compression", h.compression},
        {"size", h.compression ? h.imageSize : 0},
        {"colourSpace", source->colourSpace},
    };
    if (int rc = ipiSetAttributes(env, target, attrs, int(sizeof(attrs) / sizeof(attrs[0])))) return rc;
    if (env->byteBoundary) target->widthByteBoundary = source->widthByteBoundary;
    if (target->fileFormat == ipiFormatBmp) {
        IPIATTRIBUTE res[] = {{"resolutionUnit", ipiResolutionUnitMetre},
                              {"xResolution", h.xPels},
                              {"yResolution", h.yPels}};
        ipiSetAttributes(env, target, res, 3);
    }
    (void)fileFormat;
    auto* lut = reinterpret_cast<IPIOBJECT*>(target->lut);
    if (!lut) return 0;
    if (!ipiIsValidObject(env, lut)) return ipiGetError(env);
    int64_t entries = h.bpp <= 8 ? (int64_t(1) << h.bpp) : std::min<int64_t>(h.coloursUsed, 256);
    IPIATTRIBUTE la[] = {{"bitOrder", ipiOrderMsbFirst},
                         {"dataType", ipiTypeNonNegative},
                         {"dataPrecision", 8},
                         {"xDimension", entries},
                         {"bDimension", 3}};
    ipiSetAttributes(env, lut, la, 5);
    lut->flags &= ~ipiFlagInited;
    if (entries == 0) return 0;

    std::vector<uint8_t> file(size_t(h.tableEntries) * 4, 0);
    IPIACCESSOR* in = ipiOpenAccessor(env, source, "r", 1, nullptr, 0);
    if (!in) return ipiGetError(env);
    int64_t got = h.tableEntries ? ipiReadFileAtMost(env, in, h.tableOffset, file.data(), int64_t(file.size())) : 0;
    ipiCloseAccessor(env, in);
    if (got < 0) return ipiGetError(env);
    std::vector<uint8_t> planes(size_t(entries) * 3, 0);
    int64_t n = std::min<int64_t>(got / 4, entries);
    for (int64_t i = 0; i < n; ++i) {
        planes[size_t(i)] = file[size_t(4 * i + 2)];
        planes[size_t(entries + i)] = file[size_t(4 * i + 1)];
        planes[size_t(2 * entries + i)] = file[size_t(4 * i)];
    }
    IPIACCESSOR* out = ipiOpenAccessor(env, lut, "w", 1, nullptr, 0);
    if (!out) return ipiGetError(env);
    int64_t w = ipiWriteToStore(env, out, 0, planes.data(), int64_t(planes.size()));
    int rc = ipiCloseAccessor(env, out);
    if (w < 0) return ipiGetError(env);
    return rc;
}

// The run-length codes as they stand, from the pixel offset to offset 0 of
// the target's store; target `size` their count.
int CopyCompressed(IPIENVIRONMENT* env, IPIACCESSOR* in, IPIACCESSOR* out, IPIOBJECT* target, const BmpHeader& h)
{
    std::vector<uint8_t> buf(size_t(std::min<int64_t>(std::max<int64_t>(h.stride, 4096), 1 << 20)));
    for (int64_t done = 0; done < h.imageSize;) {
        const int64_t n = std::min<int64_t>(int64_t(buf.size()), h.imageSize - done);
        if (ipiReadFileAt(env, in, h.pixelOffset + done, buf.data(), n) != n ||
            ipiWriteToStore(env, out, done, buf.data(), n) != n)
            return ipiGetError(env);
        done += n;
    }
    target->size = h.imageSize;
    return 0;
}

// Stored row `fileRow` (the first row in the file is 0, the bottom row) into
// `row`: 0, or 22 when the data ends before the row's pixels (a last row
// without its padding is whole).
int ReadFileRow(IPIENVIRONMENT* env, IPIACCESSOR* in, const BmpHeader& h, int64_t fileRow, std::vector<uint8_t>& row)
{
    const int64_t got = ipiReadFileAtMost(env, in, h.pixelOffset + fileRow * h.stride, row.data(), h.stride);
    if (got < 0) return ipiGetError(env);
    if (got < (h.width * h.bpp + 7) / 8) return ipiReportError(env, ipiErrSyntacticalError);
    return 0;
}

// Bitmap layout: rows in file order, three bytes blue, green, red a pixel,
// each row a line of `X` bytes.
int ConvertToBitmapRows(IPIENVIRONMENT* env, IPIACCESSOR* in, IPIACCESSOR* out, const BmpHeader& h, int64_t X)
{
    if (X < 3 * h.width) return ipiReportError(env, ipiErrInsufficientSize);
    std::vector<uint8_t> row(size_t(h.stride)), conv(size_t(X), 0);
    for (int64_t y = 0; y < h.height; ++y) {
        if (int rc = ReadFileRow(env, in, h, y, row)) return rc;
        for (int64_t x = 0; x < h.width; ++x) {
            uint8_t* d = &conv[size_t(3 * x)];
            if (h.bpp == 16) {
                unsigned v = ipiLe16(&row[size_t(2 * x)]);
                unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
                d[0] = uint8_t((b << 3) | (b >> 2));
                d[1] = uint8_t((g << 3) | (g >> 2));
                d[2] = uint8_t((r << 3) | (r >> 2));
            } else {
                const uint8_t* s = &row[size_t((h.bpp / 8) * x)];
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            }
        }
        if (ipiWriteToStore(env, out, y * X, conv.data(), X) != X) return ipiGetError(env);
    }
    return 0;
}

// One file row of one-bit pixels into the target's packed bits at sample
// index `index`, each side's bits in its own order.
int PutBitRow(IPIENVIRONMENT* env, IPIACCESSOR* out, const std::vector<uint8_t>& row, int64_t index, int64_t count,
              int srcOrder, int dstOrder)
{
    uint8_t* line = ipiReadAtOffset(env, out, index);
    if (!line) return ipiGetError(env);
    const int64_t bit0 = index % 8;
    for (int64_t x = 0; x < count; ++x) {
        bool set = row[size_t(x / 8)] & (srcOrder == ipiOrderLsbFirst ? (1u << (x % 8)) : (0x80u >> (x % 8)));
        int64_t b = bit0 + x;
        uint8_t mask = dstOrder == ipiOrderLsbFirst ? uint8_t(1u << (b % 8)) : uint8_t(0x80u >> (b % 8));
        if (set) line[size_t(b / 8)] |= mask;
        else line[size_t(b / 8)] &= uint8_t(~mask);
    }
    return ipiWriteAt(env, out, index) ? ipiGetError(env) : 0;
}

// One file row of 4- or 8-bit colour indices, one byte a pixel.
int PutIndexRow(IPIENVIRONMENT* env, IPIACCESSOR* out, const BmpHeader& h, const std::vector<uint8_t>& row,
                int64_t index, int64_t count)
{
    uint8_t* line = ipiReadAtOffset(env, out, index);
    if (!line) return ipiGetError(env);
    for (int64_t x = 0; x < count; ++x)
        line[size_t(x)] = h.bpp == 8 ? row[size_t(x)]
                                     : (x % 2 == 0 ? uint8_t(row[size_t(x / 2)] >> 4) : uint8_t(row[size_t(x / 2)] & 15));
    return ipiWriteAt(env, out, index) ? ipiGetError(env) : 0;
}

// One file row of 16-, 24- or 32-bit colour into the red, green and blue
// band planes (band k `bandSize` samples after band k - 1).
int PutColourRow(IPIENVIRONMENT* env, IPIACCESSOR* out, const BmpHeader& h, const std::vector<uint8_t>& row,
                 int64_t index, int64_t count, int64_t bands, int64_t bandSize)
{
    for (int64_t k = 0; k < bands; ++k) {
        uint8_t* line = ipiReadAtOffset(env, out, k * bandSize + index);
        if (!line) return ipiGetError(env);
        for (int64_t x = 0; x < count; ++x) {
            if (h.bpp == 16) {
                const unsigned p = ipiLe16(&row[size_t(2 * x)]);
                const unsigned c = (p >> (10 - 5 * k)) & 31;
                line[size_t(x)] = uint8_t((c << 3) | (c >> 2));
            } else {
                line[size_t(x)] = row[size_t((h.bpp / 8) * x + (2 - k))];
            }
        }
        if (ipiWriteAt(env, out, k * bandSize + index)) return ipiGetError(env);
    }
    return 0;
}

// Rows top down into the target's planes, one sample a pixel (packed bits
// at one bit).
int ConvertRows(IPIENVIRONMENT* env, IPIACCESSOR* in, IPIACCESSOR* out, IPIOBJECT* source, IPIOBJECT* target,
                const BmpHeader& h)
{
    const int64_t X = target->dim[0], Y = target->dim[1];
    const int64_t xCount = std::min<int64_t>(std::min(source->dim[0], X), h.width);
    const int64_t yCount = std::min(h.height, Y);
    const int64_t bandSize = X * Y * std::max<int64_t>(1, target->dim[2]) * std::max<int64_t>(1, target->dim[3]);
    const int64_t bands = std::min<int64_t>(std::min<int64_t>(source->dim[4], target->dim[4]), 3);
    std::vector<uint8_t> row(size_t(h.stride));
    for (int64_t y = 0; y < yCount; ++y) {
        int rc = ReadFileRow(env, in, h, h.height - 1 - y, row);
        if (rc == 0) {
            if (h.bpp == 1)
                rc = PutBitRow(env, out, row, y * X, xCount, int(source->bitOrder), int(target->bitOrder));
            else if (h.bpp <= 8)
                rc = PutIndexRow(env, out, h, row, y * X, xCount);
            else
                rc = PutColourRow(env, out, h, row, y * X, xCount, bands, bandSize);
        }
        if (rc) return rc;
    }
    return 0;
}

int PixelStage(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, const BmpHeader& h)
{
    if ((source->dataType != ipiTypeBoolean && source->dataType != ipiTypeNonNegative) ||
        source->dataType != target->dataType)
        return ipiReportError(env, ipiErrMismatchDataType);
    IpiAccessorPair io(env, source, target);
    if (!io) return ipiGetError(env);
    int rc;
    if (h.compression == ipiCompressionBmpRle)
        rc = CopyCompressed(env, io.in, io.out, target, h);
    else if (h.bpp >= 16 && target->pixelInterpretation == ipiBitmapLayout)
        rc = ConvertToBitmapRows(env, io.in, io.out, h, target->dim[0]);
    else
        rc = ConvertRows(env, io.in, io.out, source, target, h);
    const int closeRc = io.Close();
    return rc ? rc : closeRc;
}

} // namespace

int BmpReadFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector, int fileFormat)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, source) || !ipiIsValidObject(env, target)) return ipiErrInvalidInstance;
    BmpHeader h;
    int rc = Analyse(env, source, fileFormat, &h);
    if (rc == 0 && (selector == ipiSelectAll || selector == ipiSelectHeader))
        rc = HeaderStage(env, source, target, fileFormat, h);
    if (rc == 0 && (selector == ipiSelectAll || selector == ipiSelectData)) rc = PixelStage(env, source, target, h);
    source->flags |= ipiFlagInited;
    target->flags |= ipiFlagInited;
    return rc;
}

int BmpReadBmp(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector)
{
    return BmpReadFile(env, source, target, selector, ipiFormatBmp);
}

int BmpReadDib(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector)
{
    return BmpReadFile(env, source, target, selector, ipiFormatDib);
}

// ---- writer ---------------------------------------------------------------

namespace {

// What the writer makes of a source: depth, colour table entries, row
// stride, image bytes and where the pixels begin.
struct WriteLayout {
    int depth = 0, entries = 0;
    int64_t stride = 0, imageBytes = 0, base = 0, pixelOffset = 0;
    bool compressed = false;
};

// The depth and sizes for `source` written into `target`; 0, 12 or 22.
int LayoutFor(IPIOBJECT* source, IPIOBJECT* target, int fileFormat, WriteLayout* l)
{
    l->compressed = target->compression == ipiCompressionBmpRle;
    const int64_t P = target->dataPrecision;
    const int64_t X = target->dim[0];
    const bool sameClass = source->cls == target->cls &&
                           (source->cls == &ipiClassColourImage || source->cls == &ipiClassGenericImage);
    if (sameClass && source->dim[4] >= 4 && target->dim[4] >= 4) l->depth = 32, l->entries = 0;
    else if (sameClass && source->dim[4] >= 3 && target->dim[4] >= 3 && P == 8) l->depth = 24, l->entries = 0;
    else if (sameClass && source->dim[4] >= 3 && target->dim[4] >= 3 && P == 16) return ipiErrNonPermissibleOption;
    else if (P == 1) l->depth = 1, l->entries = 2;
    else if (P == 4) l->depth = 4, l->entries = 16;
    else if (P == 8) l->depth = 8, l->entries = 256;
    else return ipiErrNonPermissibleOption;
    if (l->compressed && l->depth != 4 && l->depth != 8) return ipiErrNonPermissibleOption;
    if (X <= 0 || target->dim[1] <= 0 || X > kIpiMaxDimension || target->dim[1] > kIpiMaxDimension)
        return ipiErrSyntacticalError;
    l->stride = ipiBmpStride(X, l->depth);
    l->imageBytes = l->compressed ? source->size : l->stride * target->dim[1];
    if (l->imageBytes < 0 || l->imageBytes > kIpiMaxBytes) return ipiErrSyntacticalError;
    l->base = fileFormat == ipiFormatBmp ? 14 : 0;
    l->pixelOffset = l->base + 40 + 4 * int64_t(l->entries);
    return 0;
}

// The file header (BMP only) and the 40-byte information header.
int WriteHeaders(IPIENVIRONMENT* env, IPIOBJECT* target, IPIACCESSOR* out, int fileFormat, const WriteLayout& l)
{
    uint8_t head[54] = {};
    if (fileFormat == ipiFormatBmp) {
        head[0] = 'B';
        head[1] = 'M';
        ipiPutLe32(head + 2, uint32_t(54 + 4 * l.entries + l.imageBytes));
        ipiPutLe32(head + 10, uint32_t(54 + 4 * l.entries));
    }
    uint8_t* info = head + l.base;
    ipiPutLe32(info, 40);
    int64_t width = target->dim[0];
    if (env->byteBoundary && target->dataPrecision == 1 && target->widthByteBoundary > 0)
        width = target->widthByteBoundary;
    ipiPutLe32(info + 4, uint32_t(width));
    ipiPutLe32(info + 8, uint32_t(target->dim[1]));
    ipiPutLe16(info + 12, 1);
    ipiPutLe16(info + 14, uint32_t(l.depth));
    ipiPutLe32(info + 16, l.compressed ? (l.depth == 8 ? 1u : 2u) : 0u);
    ipiPutLe32(info + 20, l.compressed ? uint32_t(l.imageBytes) : 0u);
    if (target->fileFormat == ipiFormatBmp &&
        ipiGetObjectAttribute(env, target, "resolutionUnit") == ipiResolutionUnitMetre) {
        ipiPutLe32(info + 24, uint32_t(ipiGetObjectAttribute(env, target, "xResolution")));
        ipiPutLe32(info + 28, uint32_t(ipiGetObjectAttribute(env, target, "yResolution")));
    }
    ipiPutLe32(info + 32, uint32_t(l.entries));
    ipiPutLe32(info + 36, uint32_t(l.entries));
    return ipiWriteToStore(env, out, 0, head, l.base + 40) == l.base + 40 ? 0 : ipiGetError(env);
}

// The colour table from the source's `lut` when it has a usable one, else
// black and white, 16 grey levels or the grey ramp.
std::vector<uint8_t> ColourTable(IPIENVIRONMENT* env, IPIOBJECT* source, int entries)
{
    std::vector<uint8_t> table(size_t(entries) * 4, 0);
    auto* lut = reinterpret_cast<IPIOBJECT*>(source->lut);
    if (lut && ipiIsValidObject(env, lut) && lut->dim[0] != 0 && lut->dim[4] >= 3 &&
        (lut->dataType == ipiTypeNonNegative || lut->dataType == ipiTypeSigned) &&
        lut->bitOrder == ipiOrderMsbFirst && ipiIsInited(lut)) {
        IPIACCESSOR* la = ipiOpenAccessor(env, lut, "r", 1, nullptr, 0);
        if (la) {
            const int64_t E = lut->dim[0];
            const int bytes = lut->dataType == ipiTypeSigned ? 2 : 1;
            std::vector<uint8_t> planes(size_t(E * 3 * bytes), 0);
            const bool read = ipiReadFileAtMost(env, la, 0, planes.data(), int64_t(planes.size())) >= 0;
            ipiCloseAccessor(env, la);
            if (read) {
                const int pick = bytes == 2 ? (source->byteOrder == ipiOrderLsbFirst ? 0 : 1) : 0;
                for (int64_t i = 0; i < std::min<int64_t>(entries, E); ++i)
                    for (int k = 0; k < 3; ++k)
                        table[size_t(4 * i + (2 - k))] = planes[size_t((k * E + i) * bytes + pick)];
                return table;
            }
        }
    }
    for (int i = 0; i < entries; ++i) {
        uint8_t v = entries == 2 ? uint8_t(i * 255) : entries == 16 ? uint8_t(i * 17) : uint8_t(i);
        table[size_t(4 * i)] = table[size_t(4 * i + 1)] = table[size_t(4 * i + 2)] = v;
    }
    return table;
}

// Run-length codes the encoder made, copied as they stand.
int CopyCodes(IPIENVIRONMENT* env, IPIACCESSOR* in, IPIACCESSOR* out, const WriteLayout& l)
{
    std::vector<uint8_t> buf(65536);
    for (int64_t done = 0; done < l.imageBytes;) {
        const int64_t n = std::min<int64_t>(65536, l.imageBytes - done);
        if (ipiReadFileAt(env, in, done, buf.data(), n) != n ||
            ipiWriteToStore(env, out, l.pixelOffset + done, buf.data(), n) != n)
            return ipiGetError(env);
        done += n;
    }
    return 0;
}

// One bitmap row of the source's band lines (`lines`: red, green, blue and
// alpha at 24 and 32 bits, else the one band) into `row`.
void PackRow(const WriteLayout& l, const uint8_t* const lines[4], int64_t xCount, int64_t bit0, int srcOrder,
             std::vector<uint8_t>& row)
{
    std::fill(row.begin(), row.end(), 0);
    if (l.depth == 32 || l.depth == 24) {
        const int64_t step = l.depth / 8;
        const uint8_t *r = lines[0], *g = lines[1], *b = lines[2], *a = lines[3];
        uint8_t* d = row.data();
        for (int64_t x = 0; x < xCount; ++x) {
            d[step * x + 0] = b[x];
            d[step * x + 1] = g[x];
            d[step * x + 2] = r[x];
            if (l.depth == 32) d[step * x + 3] = a[x];
        }
    } else if (l.depth == 8) {
        std::memcpy(row.data(), lines[0], size_t(xCount));
    } else if (l.depth == 4) {
        for (int64_t x = 0; x < xCount; ++x) {
            uint8_t v = lines[0][x];
            uint8_t& d = row[size_t(x / 2)];
            if (x % 2 == 0) d = uint8_t(v * 16);
            else d = uint8_t((d & 0xF0) | (v & 15));
        }
    } else {
        for (int64_t x = 0; x < xCount; ++x) {
            int64_t b = bit0 + x;
            uint8_t m = srcOrder == ipiOrderLsbFirst ? uint8_t(1u << (b % 8)) : uint8_t(0x80u >> (b % 8));
            if (lines[0][b / 8] & m) row[size_t(x / 8)] |= uint8_t(0x80u >> (x % 8));
        }
    }
}

// The source's rows, bottom row first, each padded to the stride.
int WriteRows(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, IPIACCESSOR* in, IPIACCESSOR* out,
              const WriteLayout& l)
{
    const int64_t SX = source->dim[0], SY = source->dim[1];
    const int64_t xCount = std::min(SX, target->dim[0]);
    const int64_t yCount = std::min(SY, target->dim[1]);
    const int64_t srcBand = SX * SY * std::max<int64_t>(1, source->dim[2]) * std::max<int64_t>(1, source->dim[3]);
    std::vector<uint8_t> row(size_t(l.stride), 0);
    const int bandsUsed = l.depth == 32 ? 4 : l.depth == 24 ? 3 : 1;
    // A band's line is used where the store has it, copied only when it lies
    // in the store's line buffer, which the next read reuses.
    std::vector<std::vector<uint8_t>> copies(static_cast<size_t>(bandsUsed));
    const uint8_t* lines[4] = {};
    for (int64_t y = 0; y < yCount; ++y) {
        const int64_t sy = SY - 1 - y;
        for (int k = 0; k < bandsUsed; ++k) {
            const uint8_t* p = ipiReadAt(env, in, k * srcBand + sy * SX);
            if (!p) return ipiGetError(env);
            if (k + 1 < bandsUsed && ipiIsLineBuffer(in->store, p)) {
                copies[size_t(k)].assign(p, p + xCount);  // several bands: 24 or 32 bits
                p = copies[size_t(k)].data();
            }
            lines[k] = p;
        }
        PackRow(l, lines, xCount, (sy * SX) % 8, int(source->bitOrder), row);
        if (ipiWriteToStore(env, out, l.pixelOffset + y * l.stride, row.data(), l.stride) != l.stride)
            return ipiGetError(env);
    }
    return 0;
}

} // namespace

int BmpWriteFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int fileFormat)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, source) || !ipiIsValidObject(env, target)) return ipiErrInvalidInstance;
    if (fileFormat != ipiFormatBmp && fileFormat != ipiFormatDib && fileFormat != ipiFormatDibHeader)
        return ipiReportError(env, ipiErrOutOfRange);
    if (target->compression != 0 && target->compression != ipiCompressionBmpRle)
        return ipiReportError(env, ipiErrNonPermissibleOption);
    target->bitOrder = ipiOrderMsbFirst;
    WriteLayout l;
    if (int rc = LayoutFor(source, target, fileFormat, &l)) return ipiReportError(env, rc);

    IpiAccessorPair io(env, source, target);
    if (!io) return ipiGetError(env);
    int rc = WriteHeaders(env, target, io.out, fileFormat, l);
    if (rc == 0 && l.entries > 0) {
        const std::vector<uint8_t> table = ColourTable(env, source, l.entries);
        if (ipiWriteToStore(env, io.out, l.base + 40, table.data(), int64_t(table.size())) != int64_t(table.size()))
            rc = ipiGetError(env);
    }
    if (rc == 0 && fileFormat != ipiFormatDibHeader) {
        if (source->dataType != target->dataType ||
            (source->dataType != ipiTypeBoolean && source->dataType != ipiTypeNonNegative))
            rc = ipiReportError(env, ipiErrMismatchDataType);
        else if (l.compressed)
            rc = CopyCodes(env, io.in, io.out, l);
        else
            rc = WriteRows(env, source, target, io.in, io.out, l);
    }
    const int closeRc = io.Close();
    return rc ? rc : closeRc;
}
