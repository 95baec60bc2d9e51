// Decode entry points: an image file (in memory or on disk) to packed DIBs.
#include "thumbctl/kernel/decode.h"

#include "thumbctl/kernel/bmp_codec.h"
#include "thumbctl/kernel/ipi_dib.h"
#include "thumbctl/kernel/ipi_env.h"
#include "thumbctl/kernel/ipi_extent.h"
#include "thumbctl/kernel/ipi_import.h"
#include "thumbctl/kernel/ipi_object.h"
#include "thumbctl/kernel/ipi_registry.h"
#include "thumbctl/kernel/ipi_store.h"
#include "thumbctl/kernel/jpeg_codec.h"
#include "thumbctl/kernel/jpeg_reader.h"
#include "thumbctl/kernel/png_codec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// TIFF files from this size on are decoded in place, not read whole first.
constexpr int64_t kTiffInPlaceBytes = 0x500000;

// Returned by the bitmap decoders for a picture they leave to the general
// path (a kernel image first, then the bitmap written from it).
constexpr int kNotDirect = 1 << 20;

// The box a caller is going to shrink the bitmap into (0 x 0: none).
struct ShrinkBox {
    int64_t width = 0;
    int64_t height = 0;
    IPIVALUE* pictureSize = nullptr;  // receives the JPEG's own width and height
};

struct FormatRoute;

// Straight into a new bitmap: `img` holds the picture's header, `src` its
// bytes in memory (applicationAddressSpace, size). 0, an error, or
// kNotDirect.
using BitmapDecoder = int (*)(IPIENVIRONMENT* env, const FormatRoute& route, const IPIATTRIBUTE* src,
                              IPIOBJECT* img, const ShrinkBox& box, IPIHANDLE* dib);
// A format's changes to the header it read before its bitmap is laid out.
using HeaderStep = void (*)(IPIENVIRONMENT* env, IPIOBJECT* img);

// The decisions in which the decode formats differ, named in each route.
enum RouteFlag : unsigned {
    Pages = 1u << 0,           // several pages: page counts, pages from `page` on, large files read in place
    PageArgument = 1u << 1,    // a negative page is refused
    OnePageUncounted = 1u << 2,  // the page count is 1, answered without reading
    ColourTable = 1u << 3,     // the image takes a colour table object
    Progressive = 1u << 4,     // the `progressive` and `interlacePass` attributes apply
    PassThrough = 1u << 5,     // an uncompressed packed DIB in the file is the bitmap itself
    FourBitBitmaps = 1u << 6,  // its decoder writes 4-bit pictures into a bitmap too
    GreyRamp = 1u << 7,        // the general path gives the image a descending grey ramp
};

// What the decode entry points do with each decode format: the kernel file
// format that reads it, its decisions, and the steps in which it differs.
struct FormatRoute {
    int decodeFormat;
    int fileFormat;
    unsigned flags;            // RouteFlag values
    HeaderStep bitmapHeader;   // null: the header as read
    BitmapDecoder intoBitmap;  // null: always the general path
    bool Has(RouteFlag f) const { return (flags & f) != 0; }
};

int DecodeJpegIntoDib(IPIENVIRONMENT* env, const FormatRoute& route, const IPIATTRIBUTE* src, IPIOBJECT* img,
                      const ShrinkBox& box, IPIHANDLE* dib);
int DecodeCompressedIntoDib(IPIENVIRONMENT* env, const FormatRoute& route, const IPIATTRIBUTE* src, IPIOBJECT* img,
                            const ShrinkBox& box, IPIHANDLE* dib);
int DecodeBmpIntoDib(IPIENVIRONMENT* env, const FormatRoute& route, const IPIATTRIBUTE* src, IPIOBJECT* img,
                     const ShrinkBox& box, IPIHANDLE* dib);
void PngBitmapHeader(IPIENVIRONMENT* env, IPIOBJECT* img);

// clang-format off
const FormatRoute kRoutes[] = {
    // decode format   file format            decisions                                      bitmap header    into a bitmap
    {DecodeFormatTiff, ipiFormatTiff,         Pages | PageArgument | ColourTable,            nullptr,         nullptr},
    {DecodeFormatJpeg, ipiFormatJpeg,         0,                                             nullptr,         DecodeJpegIntoDib},
    {DecodeFormatGif,  ipiFormatGif,          PageArgument | OnePageUncounted | ColourTable, nullptr,         nullptr},
    {DecodeFormatBmp,  ipiFormatBmp,          ColourTable | PassThrough | FourBitBitmaps,    nullptr,         DecodeBmpIntoDib},
    {DecodeFormatPcx,  ipiFormatPcx,          ColourTable,                                   nullptr,         DecodeCompressedIntoDib},
    {DecodeFormatPng,  ipiFormatPng,          ColourTable | Progressive | FourBitBitmaps,    PngBitmapHeader, DecodeCompressedIntoDib},
    {DecodeFormatCgm,  ipiFormatCgmContainer, ColourTable | GreyRamp,                        nullptr,         nullptr},
};
// clang-format on

const FormatRoute* RouteOf(int decodeFormat)
{
    for (const FormatRoute& r : kRoutes)
        if (r.decodeFormat == decodeFormat) return &r;
    return nullptr;
}

IPIVALUE FindValue(const IPIATTRIBUTE* a, int count, const char* name, bool* found)
{
    *found = false;
    for (int i = 0; a && i < count; ++i)
        if (a[i].name && std::strcmp(a[i].name, name) == 0) {
            *found = true;
            return a[i].value;
        }
    return 0;
}

int RepositoryFromAttributes(const IPIATTRIBUTE* a, int count)
{
    bool found = false;
    IPIVALUE v = FindValue(a, count, "repository", &found);
    return (!found || v == 33) ? ipiRepositoryWorkspace : ipiRepositoryFile;
}

// Gives `lut` a grey ramp of 2, 16 or 256 entries for 1-, 4- or 8-bit samples.
int SetGreyRamp(IPIENVIRONMENT* env, IPIOBJECT* lut, int64_t precision, bool descending)
{
    int64_t entries = precision == 1 ? 2 : precision == 4 ? 16 : 256;
    IPIATTRIBUTE la[] = {{"bitOrder", ipiOrderMsbFirst}, {"dataType", ipiTypeNonNegative}, {"dataPrecision", 8},
                         {"xDimension", entries}, {"bDimension", 3}};
    ipiSetAttributes(env, lut, la, 5);
    std::vector<uint8_t> planes(size_t(entries * 3));
    for (int64_t i = 0; i < entries; ++i) {
        int v = int(i * (255 / (entries - 1)));
        if (descending) v = 255 - v;
        planes[size_t(i)] = planes[size_t(entries + i)] = planes[size_t(2 * entries + i)] = uint8_t(v);
    }
    IPIACCESSOR* out = ipiOpenAccessor(env, lut, "w", 1, nullptr, 0);
    if (!out) return ipiGetError(env);
    int64_t n = ipiWriteToStore(env, out, 0, planes.data(), int64_t(planes.size()));
    int rc = ipiCloseAccessor(env, out);
    return n < 0 ? ipiGetError(env) : rc;
}

// Bits per pixel of the DIB that holds `image`; 0 when none does.
int DibDepth(const IPIOBJECT* image)
{
    if (image->dataType == ipiTypeBoolean && image->dataPrecision == 1) return 1;
    if (image->dataType != ipiTypeNonNegative) return 0;
    if (image->dataPrecision == 4 && image->dim[4] == 1) return 4;
    if (image->dataPrecision == 8 && image->dim[4] == 1) return 8;
    if (image->dataPrecision == 8 && image->dim[4] == 3 &&
        (image->cls == &ipiClassGenericImage || image->cls == &ipiClassColourImage))
        return 24;
    return 0;
}

// Writes `image` as a packed DIB into a new global block.
int MakeDib(IPIENVIRONMENT* env, IPIOBJECT* image, IPIHANDLE* handle)
{
    *handle = 0;
    const int depth = DibDepth(image);
    if (!depth) return ipiReportError(env, ipiErrNonPermissibleOption);
    IpiDibLayout layout;
    if (int rc = ipiDibLayoutFor(image->dim[0], image->dim[1], depth, &layout)) return ipiReportError(env, rc);
    IPIHANDLE h = ipiGlobalAlloc(layout.totalBytes);
    if (!h) return ipiReportError(env, ipiErrSystem);
    int rc;
    {
        IpiGlobalLock lock(h);
        rc = ipiExportDib(env, image, lock.ptr(), layout.totalBytes, ipiFormatDib, nullptr, 0);
        if (rc == 0 && !ipiIsCleanPackedDib(lock.ptr(), layout.totalBytes, nullptr))
            rc = ipiReportError(env, ipiErrSyntacticalError);
    }
    if (rc) {
        ipiGlobalFree(h);
        return rc;
    }
    *handle = h;
    return 0;
}

// ---- new bitmaps -------------------------------------------------------------

// A new bitmap block for a picture of `img`'s size at `depth`, its header and
// colour table written from `img`; *pixels receives its first (bottom) row.
// The block stays where it is while its handle lives.
int NewBitmap(IPIENVIRONMENT* env, IPIOBJECT* img, int depth, IpiDibLayout* layout, IPIHANDLE* block,
              uint8_t** pixels)
{
    *block = 0;
    if (int rc = ipiDibLayoutFor(img->dim[0], img->dim[1], depth, layout)) return ipiReportError(env, rc);
    const IPIHANDLE h = ipiGlobalAlloc(layout->totalBytes);
    if (!h) return ipiReportError(env, ipiErrSystem);
    auto* p = static_cast<uint8_t*>(ipiGlobalLock(h));
    ipiGlobalUnlock(h);
    img->compression = 0;  // from here on `img` describes the bitmap's pixels
    if (int rc = ipiExportDib(env, img, p, layout->headerBytes, ipiFormatDibHeader, nullptr, 0)) {
        ipiGlobalFree(h);
        return rc;
    }
    *block = h;
    *pixels = p + layout->headerBytes;
    return 0;
}

// An image object in bitmap layout over the pixel area of a new bitmap.
// With `rowLines`, one line of it is one whole row of the bitmap, padding
// included (the TIFF and BMP decoders write rows so).
IPIOBJECT* BitmapObject(IPIENVIRONMENT* env, IPIOBJECT* img, const IpiDibLayout& layout, uint8_t* pixels,
                        bool rowLines)
{
    IPIATTRIBUTE ba[] = {{"repository", ipiRepositoryApplication}, {"pixelInterpretation", ipiBitmapLayout}};
    IPIOBJECT* bitmap = ipiCreateObject(env, "oBitmap", img->cls, img, ba, 2);
    if (!bitmap) return nullptr;
    if (rowLines)
        bitmap->dim[0] = layout.bitsPerPixel == 24 ? layout.stride : layout.stride * 8 / layout.bitsPerPixel;
    bitmap->applicationAddressSpace = reinterpret_cast<IPIVALUE>(pixels);
    bitmap->size = layout.imageBytes;
    bitmap->flags |= ipiFlagInited;  // the zero-filled rows are its data
    return bitmap;
}

// The end of a bitmap decode: a failed one, or one that did not make a
// clean bitmap, frees its block; a good one hands it out.
int FinishBitmap(IPIENVIRONMENT* env, int rc, IPIHANDLE block, const IpiDibLayout& layout, IPIHANDLE* dib)
{
    if (rc == 0) {
        IpiGlobalLock lock(block);
        if (!ipiIsCleanPackedDib(lock.ptr(), layout.totalBytes, nullptr)) rc = ipiReportError(env, ipiErrSyntacticalError);
    }
    if (rc) {
        if (block) ipiGlobalFree(block);
        return rc;
    }
    *dib = block;
    return 0;
}

// ---- TIFF pages ------------------------------------------------------------

// Bits per pixel of the bitmap a TIFF page is decoded straight into from its
// strips (uncompressed or PackBits, one band or three in one plane); 0 when
// the page takes the general path.
int DirectTiffDepth(IPIENVIRONMENT* env, IPIOBJECT* img)
{
    if (img->compression != 0 && img->compression != ipiCompressionPackBits) return 0;
    const IPIVALUE bands = img->dim[4];
    if (bands != 1 && bands != 3) return 0;
    if (ipiGetObjectAttribute(env, img, "photometricInterpretation") == ipiPhotometricSeparated) return 0;
    if (bands == 3 && ipiGetObjectAttribute(env, img, "planarConfiguration") == ipiPlanarSeparate) return 0;
    return DibDepth(img);
}

// TIFF pages described in `pages` (page `first` on) decoded into new bitmaps
// in dibs[0..]: each bitmap is sized and given its header and colour table,
// then one pass over the file expands every page's strips straight into its
// rows. On failure no bitmap is left.
int DecodeTiffPagesIntoDibs(IPIENVIRONMENT* env, const char* path, const std::vector<IPIATTRIBUTE>& src, int first,
                            const std::vector<IPIOBJECT*>& pages, const std::vector<int>& depths, IPIHANDLE* dibs)
{
    const int n = int(pages.size());
    IPIATTRIBUTE ca[] = {{"entries", n}, {"xMatchPoint", first}};
    IPIOBJECT* bitmaps = ipiCreateCompositeIDArray(env, "oBitmaps", nullptr, ca, 2);
    if (!bitmaps) return ipiGetError(env);
    std::vector<IPIHANDLE> made(size_t(n), 0);
    std::vector<IpiDibLayout> layouts(static_cast<size_t>(n));
    int rc = 0;
    for (int i = 0; rc == 0 && i < n; ++i) {
        IPIOBJECT* img = pages[size_t(i)];
        const int depth = depths[size_t(i)];
        // As on the general path: bilevel rows whole bytes wide.
        if (depth == 1) img->dim[0] = (img->dim[0] + 7) / 8 * 8;
        uint8_t* pixels = nullptr;
        if ((rc = NewBitmap(env, img, depth, &layouts[size_t(i)], &made[size_t(i)], &pixels)) != 0) break;
        IPIOBJECT* bitmap = BitmapObject(env, img, layouts[size_t(i)], pixels, true);
        rc = bitmap ? ipiSetCompositeElement(env, bitmap, bitmaps, i) : ipiGetError(env);
    }
    if (rc == 0) rc = ipiImportFile(env, path, bitmaps, ipiFormatTiff, ipiSelectData, src.data(), int(src.size()));
    for (IPIOBJECT* bitmap : bitmaps->elements)
        if (bitmap) ipiDestroyObject(env, bitmap);
    ipiDestroyObject(env, bitmaps);
    // All or none: once one fails, the rest are freed (and the caller frees
    // those handed out).
    for (int i = 0; i < n; ++i) rc = FinishBitmap(env, rc, made[size_t(i)], layouts[size_t(i)], &dibs[i]);
    return rc;
}

// TIFF pages from memory, or from the file `path` read in place when `data`
// is null. When every page asked for is uncompressed or PackBits in a bitmap
// depth, each is decoded straight into its bitmap; otherwise all pages go
// through kernel images first.
int DecodeTiff(IPIENVIRONMENT* env, const char* path, const void* data, int64_t size, IPIHANDLE* dibs, int count,
               int page, int repository, int* made)
{
    env->byteBoundary = 256;
    int pages = data ? ipiOpenMultiImageFromMemory(env, data, ipiFormatTiff, size)
                     : ipiOpenMultiImageFromFile(env, path, ipiFormatTiff);
    if (pages <= 0) return ipiGetError(env) ? ipiGetError(env) : ipiErrSyntacticalError;
    int n = std::min(pages, count);
    IPIATTRIBUTE ca[] = {{"entries", n}, {"xMatchPoint", page}};
    IPIOBJECT* array = ipiCreateCompositeIDArray(env, "oArray", nullptr, ca, 2);
    if (!array) return ipiGetError(env);
    for (int i = 0; i < n; ++i) {
        IPIATTRIBUTE la[] = {{"bDimension", 3}};
        IPIOBJECT* lut = ipiCreateLookupTable(env, "oLUT", nullptr, la, 1);
        if (!lut) return ipiGetError(env);
        IPIATTRIBUTE ia[] = {{"repository", repository}, {"lut", reinterpret_cast<IPIVALUE>(lut)}};
        IPIOBJECT* img = ipiCreateGenericImage(env, "oImage", nullptr, ia, 2);
        if (!img) return ipiGetError(env);
        if (int rc = ipiSetCompositeElement(env, img, array, i)) return rc;
    }

    std::vector<IPIATTRIBUTE> src;
    if (data) src = {{"applicationAddressSpace", reinterpret_cast<IPIVALUE>(data)}, {"size", size}};
    const char* file = data ? nullptr : path;
    std::vector<int> depths;
    if (ipiImportFile(env, file, array, ipiFormatTiff, ipiSelectHeader, src.data(), int(src.size())) == 0) {
        const int64_t got = std::min<int64_t>(array->dim[0], int64_t(array->elements.size()));
        for (int64_t i = 0; i < got && i < count; ++i) {
            IPIOBJECT* img = ipiGetCompositeElement(env, array, i);
            const int depth = img ? DirectTiffDepth(env, img) : 0;
            if (!depth) {
                depths.clear();
                break;
            }
            depths.push_back(depth);
        }
    }
    if (depths.empty()) {
        if (int rc = data ? ipiImportIntoObject(env, data, array, ipiFormatTiff, size, nullptr, 0)
                          : ipiImportFileIntoObject(env, path, array, ipiFormatTiff, nullptr, 0))
            return rc;
    }
    int64_t got = std::min<int64_t>(array->dim[0], int64_t(array->elements.size()));
    std::vector<IPIOBJECT*> pagesToDecode;
    for (int64_t i = 0; i < got && i < count; ++i) {
        IPIOBJECT* img = ipiGetCompositeElement(env, array, i);
        if (!img) return ipiGetError(env);
        auto* lut = reinterpret_cast<IPIOBJECT*>(ipiGetObjectAttribute(env, img, "lut"));
        IPIVALUE bands = ipiGetObjectAttribute(env, img, "bDimension");
        IPIVALUE photometric = ipiGetObjectAttribute(env, img, "photometricInterpretation");
        if (bands == 4 || photometric == ipiPhotometricSeparated) return ipiReportError(env, ipiErrSyntacticalError);
        if (bands == 1 && lut && (photometric == ipiPhotometricMinIsWhite || photometric == ipiPhotometricMinIsBlack)) {
            if (int rc = SetGreyRamp(env, lut, img->dataPrecision, photometric == ipiPhotometricMinIsWhite)) return rc;
        }
        if (!depths.empty()) {
            pagesToDecode.push_back(img);
            continue;
        }
        if (int rc = MakeDib(env, img, &dibs[i])) return rc;
        ++*made;
    }
    if (!pagesToDecode.empty()) {
        if (int rc = DecodeTiffPagesIntoDibs(env, file, src, page, pagesToDecode, depths, dibs)) return rc;
        *made = int(pagesToDecode.size());
    }
    return *made > 0 ? 0 : ipiReportError(env, ipiErrSyntacticalError);
}


// ---- straight into a bitmap ------------------------------------------------

// Divisor (1, 2, 4 or 8) of the size at which a JPEG of w x h is decoded
// for a bitmap that is going to be shrunk into a box of boxW x boxH: the
// largest for which the picture still reaches the box's width or its height,
// so that it still covers the picture fitted into the box.
int JpegScaleForBox(int64_t w, int64_t h, int64_t boxW, int64_t boxH)
{
    if (boxW <= 0 || boxH <= 0) return 1;
    for (int scale = 8; scale > 1; scale /= 2)
        if (scale * boxW <= w || scale * boxH <= h) return scale;
    return 1;
}

// A JPEG decoded straight from the caller's bytes into the rows of a new
// bitmap, at 1 / `scale` of its size: `img` holds the header; neither the
// entropy-coded data nor the pixels are copied on the way.
int DecodeJpegIntoDib(IPIENVIRONMENT* env, const FormatRoute&, const IPIATTRIBUTE* src, IPIOBJECT* img,
                      const ShrinkBox& box, IPIHANDLE* dib)
{
    if (img->compression == 0) return kNotDirect;
    if (box.pictureSize) {
        box.pictureSize[0] = img->dim[0];
        box.pictureSize[1] = img->dim[1];
    }
    const int scale = JpegScaleForBox(img->dim[0], img->dim[1], box.width, box.height);
    img->dim[0] = JpegScaledLength(int(img->dim[0]), scale);
    img->dim[1] = JpegScaledLength(int(img->dim[1]), scale);
    const int depth = DibDepth(img);
    if (depth != 8 && depth != 24) return ipiReportError(env, ipiErrNonPermissibleOption);
    IpiDibLayout layout;
    IPIHANDLE block = 0;
    uint8_t* pixels = nullptr;
    int rc = NewBitmap(env, img, depth, &layout, &block, &pixels);
    if (rc == 0)
        rc = JpegDecodeIntoBitmap(env, reinterpret_cast<const uint8_t*>(src[0].value), src[1].value, scale, pixels,
                                  layout.stride, layout.width, layout.height);
    return FinishBitmap(env, rc, block, layout, dib);
}

// A picture whose compressed data a decoder expands straight into the rows
// of a new bitmap (`rowLines`: one line of the bitmap object a whole row):
// the compressed bytes are read into an intermediate object, the bitmap is
// sized and given its header and colour table, and the decoder writes its
// pixel area in bitmap layout, with no full-size copy in between.
int DecompressIntoDib(IPIENVIRONMENT* env, const IPIATTRIBUTE* src, IPIOBJECT* img, int depth, bool rowLines,
                      IPIHANDLE* dib)
{
    const int ff = int(img->fileFormat);
    IPIATTRIBUTE ia[] = {{"repository", ipiRepositoryWorkspace}};
    IPIOBJECT* inter = ipiCreateObject(env, "oCompressed", img->cls, img, ia, 1);
    if (!inter) return ipiGetError(env);
    int rc = ipiImportFile(env, nullptr, inter, ff, ipiSelectAll, src, 2);
    IpiDibLayout layout;
    IPIHANDLE block = 0;
    uint8_t* pixels = nullptr;
    if (rc == 0) rc = NewBitmap(env, img, depth, &layout, &block, &pixels);
    if (rc == 0) {
        IPIOBJECT* bitmap = BitmapObject(env, img, layout, pixels, rowLines);
        rc = bitmap ? ipiDecompress(env, inter, bitmap) : ipiGetError(env);
        if (bitmap) ipiDestroyObject(env, bitmap);
    }
    ipiDestroyObject(env, inter);
    return FinishBitmap(env, rc, block, layout, dib);
}

// Compressed PCX and PNG pictures (not 16-colour PCX) into the bitmap.
int DecodeCompressedIntoDib(IPIENVIRONMENT* env, const FormatRoute& route, const IPIATTRIBUTE* src, IPIOBJECT* img,
                            const ShrinkBox&, IPIHANDLE* dib)
{
    const int depth = DibDepth(img);
    if (img->compression == 0 || depth == 0 || (depth == 4 && !route.Has(FourBitBitmaps))) return kNotDirect;
    return DecompressIntoDib(env, src, img, depth, false, dib);
}

// Run-length BMPs are expanded into the bitmap, and 16- and 32-bit BMPs
// converted row by row into it (three bytes a pixel); other BMPs take the
// general path.
int DecodeBmpIntoDib(IPIENVIRONMENT* env, const FormatRoute&, const IPIATTRIBUTE* src, IPIOBJECT* img,
                     const ShrinkBox&, IPIHANDLE* dib)
{
    const int depth = DibDepth(img);
    if (depth == 0) return kNotDirect;
    if (img->compression != 0) return DecompressIntoDib(env, src, img, depth, true, dib);
    if (depth != 24) return kNotDirect;
    IpiDibLayout layout;
    IPIHANDLE block = 0;
    uint8_t* pixels = nullptr;
    int rc = NewBitmap(env, img, depth, &layout, &block, &pixels);
    if (rc == 0) {
        IPIOBJECT* bitmap = BitmapObject(env, img, layout, pixels, true);
        rc = bitmap ? ipiImportFile(env, nullptr, bitmap, ipiFormatBmp, ipiSelectData, src, 2) : ipiGetError(env);
        if (bitmap) ipiDestroyObject(env, bitmap);
    }
    return FinishBitmap(env, rc, block, layout, dib);
}

// A PNG bitmap takes no colour table for grey and colour pictures, and
// drops an alpha band.
void PngBitmapHeader(IPIENVIRONMENT* env, IPIOBJECT* img)
{
    const IPIVALUE colourType = ipiGetObjectAttribute(env, img, "colourType");
    if (colourType == kPngColourGrey || colourType == kPngColourRgb || colourType == kPngColourRgbAlpha) img->lut = 0;
    if (colourType == kPngColourRgbAlpha && img->dim[4] == 4) img->dim[4] = 3;
}

// The attributes of the decode call that a bitmap decoder uses.
ShrinkBox BoxOf(const IPIATTRIBUTE* attributes, int attributeCount)
{
    bool foundW = false, foundH = false, foundSize = false;
    const IPIVALUE boxW = FindValue(attributes, attributeCount, "boxWidth", &foundW);
    const IPIVALUE boxH = FindValue(attributes, attributeCount, "boxHeight", &foundH);
    const IPIVALUE sizeOut = FindValue(attributes, attributeCount, "pictureSize", &foundSize);
    return ShrinkBox{foundW && foundH ? int64_t(boxW) : 0, foundW && foundH ? int64_t(boxH) : 0,
                     reinterpret_cast<IPIVALUE*>(sizeOut)};
}

// The PNG options of the call into the environment.
void TakeProgressiveOptions(IPIENVIRONMENT* env, const IPIATTRIBUTE* attributes, int attributeCount)
{
    bool found = false;
    IPIVALUE v = FindValue(attributes, attributeCount, "progressive", &found);
    if (found) env->progressive = int32_t(v);
    v = FindValue(attributes, attributeCount, "interlacePass", &found);
    if (found) env->interlacePass = int32_t(v);
}

// One picture: straight into its bitmap where its format's decoder can,
// else imported into a kernel image and the bitmap written from that.
int DecodeSingle(IPIENVIRONMENT* env, const FormatRoute& route, const void* data, int64_t size, IPIHANDLE* dib,
                 int repository, const IPIATTRIBUTE* attributes, int attributeCount)
{
    if (route.Has(Progressive)) TakeProgressiveOptions(env, attributes, attributeCount);
    IPIOBJECT* lut = nullptr;
    if (route.Has(ColourTable)) {
        IPIATTRIBUTE la[] = {{"bDimension", 3}};
        lut = ipiCreateLookupTable(env, "oLUT", nullptr, la, 1);
        if (!lut) return ipiGetError(env);
    }
    IPIATTRIBUTE ia[] = {{"repository", repository}, {"lut", reinterpret_cast<IPIVALUE>(lut)}};
    IPIOBJECT* img = ipiCreateGenericImage(env, "oImage", nullptr, ia, 2);
    if (!img) return ipiGetError(env);
    if (route.intoBitmap) {
        IPIATTRIBUTE src[] = {{"applicationAddressSpace", reinterpret_cast<IPIVALUE>(data)}, {"size", size}};
        if (int rc = ipiImportFile(env, nullptr, img, route.fileFormat, ipiSelectHeader, src, 2)) return rc;
        if (route.bitmapHeader) route.bitmapHeader(env, img);
        const int rc = route.intoBitmap(env, route, src, img, BoxOf(attributes, attributeCount), dib);
        if (rc != kNotDirect) return rc;
    }
    if (int rc = ipiImportIntoObject(env, data, img, route.fileFormat, size, nullptr, 0)) return rc;
    if (route.Has(GreyRamp) && lut) {
        if (int rc = SetGreyRamp(env, lut, img->dataPrecision, true)) return rc;
    }
    return MakeDib(env, img, dib);
}

// ---- the frame of every call -------------------------------------------------

// An uncompressed BMP of 1, 4, 8 or 24 bits whose pixels follow a 40-byte
// header and a full colour table is already a packed DIB.
bool IsPassThroughBmp(const uint8_t* p, int64_t size)
{
    if (size < 54 || p[0] != 'B' || p[1] != 'M') return false;
    IpiDibLayout layout;
    if (!ipiIsCleanPackedDib(p + 14, size - 14, &layout)) return false;
    return ipiLe32(p + 10) == uint32_t(14 + layout.headerBytes);
}

// The bytes a picture of `route`'s format takes of the `size` at `data`:
// up to where its format marks its end; 0 when no end lies within what the
// declared picture can take (ipi_extent.h).
int64_t PictureBytes(const FormatRoute& route, const void* data, int64_t size)
{
    const IpiExtentFn extent = ipiFindExtent(route.fileFormat);
    return extent ? int64_t(extent(ipiMemoryBytes(data, size))) : size;
}

// Decodes the picture's `size` bytes in memory, or for a TIFF with null
// `data` the file `path` in place.
int Decode(const char* path, const void* data, int64_t size, IPIHANDLE* dibs, int count, const FormatRoute& route,
           int page, const IPIATTRIBUTE* attributes, int attributeCount, int* made)
{
    const int repository = RepositoryFromAttributes(attributes, attributeCount);
    if (route.Has(PassThrough) && data && IsPassThroughBmp(static_cast<const uint8_t*>(data), size)) {
        IPIHANDLE h = ipiGlobalAlloc(size - 14);
        if (!h) return ipiErrSystem;
        {
            IpiGlobalLock lock(h);
            std::memcpy(lock.ptr(), static_cast<const uint8_t*>(data) + 14, size_t(size - 14));
        }
        dibs[0] = h;
        *made = 1;
        return 0;
    }
    IPIENVIRONMENT* env = ipiOpenEnvironment(nullptr);
    if (!env) return ipiErrSystem;
    int rc;
    if (route.Has(Pages)) {
        rc = DecodeTiff(env, path, data, size, dibs, count, page, repository, made);
    } else {
        rc = DecodeSingle(env, route, data, size, &dibs[0], repository, attributes, attributeCount);
        if (rc == 0) *made = 1;
    }
    if (rc && rc == ipiGetError(env)) rc = ipiGetError(env);
    int closeRc = ipiCloseEnvironment(env);
    if (closeRc) rc = closeRc;
    return rc;
}

// Argument checks shared by both entry points: the route, or null with
// *rc -100.
const FormatRoute* CheckArguments(IPIHANDLE* dibs, int count, int format, int page, const IPIATTRIBUTE* attributes,
                                  int attributeCount)
{
    const FormatRoute* route = RouteOf(format);
    if (!route || !dibs || count < 1) return nullptr;
    if (route->Has(PageArgument) && page < 0) return nullptr;
    if (route->Has(Progressive)) {
        bool found = false;
        IPIVALUE pass = FindValue(attributes, attributeCount, "interlacePass", &found);
        if (found && (pass < 1 || pass > 7)) return nullptr;
    }
    for (const char* side : {"boxWidth", "boxHeight"}) {
        bool found = false;
        const IPIVALUE v = FindValue(attributes, attributeCount, side, &found);
        if (found && (v < 1 || v > 0x7FFFFFFF)) return nullptr;
    }
    return route;
}

// Start of both entry points: *error set to the outcome of the argument
// checks and, when they pass, the handles cleared. Null when they fail.
const FormatRoute* Begin(IPIHANDLE* dibs, int count, int format, int page, const IPIATTRIBUTE* attributes,
                         int attributeCount, int* error)
{
    const FormatRoute* route = CheckArguments(dibs, count, format, page, attributes, attributeCount);
    if (error) *error = route ? 0 : ipiErrUnknownFormat;
    if (!route) return nullptr;
    for (int i = 0; i < count; ++i) dibs[i] = 0;
    return route;
}

int Finish(int rc, int made, IPIHANDLE* dibs, int count, int* error)
{
    if (rc != 0) {
        for (int i = 0; i < count; ++i) {
            if (dibs[i]) ipiGlobalFree(dibs[i]);
            dibs[i] = 0;
        }
        if (error) *error = rc;
        return 0;
    }
    return made;
}

} // namespace

int DecodeImageFromMemory(const void* data, IPIHANDLE* dibs, int count, int format, int page, int64_t size,
                          const IPIATTRIBUTE* attributes, int attributeCount, int* error)
{
    const FormatRoute* route = Begin(dibs, count, format, page, attributes, attributeCount, error);
    if (!route) return 0;
    int made = 0;
    // No end within what the declared picture can take: refused, like a cut file.
    const int64_t bytes = data && size > 0 ? PictureBytes(*route, data, size) : 0;
    const int rc = bytes <= 0 ? ipiErrSyntacticalError
                              : Decode(nullptr, data, bytes, dibs, count, *route, page, attributes, attributeCount,
                                       &made);
    return Finish(rc, made, dibs, count, error);
}

IPIHANDLE ReadImageFileToGlobal(const char* path, int format, int* error)
{
    const FormatRoute* route = RouteOf(format);
    return ReadFileToGlobal(path, error, route ? ipiFindExtent(route->fileFormat) : nullptr);
}

int DecodeImageFromFile(const char* path, IPIHANDLE* dibs, int count, int format, int page,
                        const IPIATTRIBUTE* attributes, int attributeCount, int* error)
{
    const FormatRoute* route = Begin(dibs, count, format, page, attributes, attributeCount, error);
    if (!route) return 0;
    // Large TIFF files are read in place through the file; everything else is
    // read as far as its picture goes and decoded as from memory, so that both
    // entry points give the same bitmaps.
    if (route->Has(Pages) && ipiFileSize(path) >= kTiffInPlaceBytes) {
        int made = 0;
        const int rc = Decode(path, nullptr, 0, dibs, count, *route, page, attributes, attributeCount, &made);
        return Finish(rc, made, dibs, count, error);
    }
    int readError = 0;
    IPIHANDLE file = ReadImageFileToGlobal(path, format, &readError);
    if (!file) {
        if (error) *error = readError;
        return 0;
    }
    int made = 0;
    int rc;
    {
        // The block holds the picture's bytes and no more.
        IpiGlobalLock lock(file);
        rc = Decode(path, lock.ptr(), lock.size(), dibs, count, *route, page, attributes, attributeCount, &made);
    }
    ipiGlobalFree(file);
    return Finish(rc, made, dibs, count, error);
}

namespace {

// Page count of a TIFF file (`fromFile`) or image in memory; a format that
// holds one picture answers without reading.
int CountPages(bool fromFile, const char* path, const void* data, int64_t size, int format, int* error)
{
    if (error) *error = 0;
    const FormatRoute* route = RouteOf(format);
    if (route && route->Has(OnePageUncounted)) return 1;
    if (!route || !route->Has(Pages)) {
        if (error) *error = ipiErrUnknownFormat;
        return 0;
    }
    if (!fromFile && (!data || size <= 0)) {
        if (error) *error = ipiErrSyntacticalError;
        return 0;
    }
    IPIENVIRONMENT* env = ipiOpenEnvironment(nullptr);
    if (!env) {
        if (error) *error = ipiErrSystem;
        return 0;
    }
    int pages = fromFile ? ipiOpenMultiImageFromFile(env, path, route->fileFormat)
                         : ipiOpenMultiImageFromMemory(env, data, route->fileFormat, size);
    int rc = pages > 0 ? 0 : ipiGetError(env);
    int closeRc = ipiCloseEnvironment(env);
    if (closeRc) {
        rc = closeRc;
        pages = 0;
    }
    if (error) *error = rc;
    return pages;
}

} // namespace

int CountPagesInMemory(const void* data, int format, int64_t size, const IPIATTRIBUTE*, int, int* error)
{
    return CountPages(false, nullptr, data, size, format, error);
}

int CountPagesInFile(const char* path, int format, const IPIATTRIBUTE*, int, int* error)
{
    return CountPages(true, path, nullptr, 0, format, error);
}
