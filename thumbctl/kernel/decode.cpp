// Decode entry points: an image file (in memory or on disk) to packed DIBs.
#include "thumbctl/kernel/decode.h"

#include "thumbctl/kernel/bmp_codec.h"
#include "thumbctl/kernel/ipi_dib.h"
#include "thumbctl/kernel/ipi_env.h"
#include "thumbctl/kernel/ipi_import.h"
#include "thumbctl/kernel/ipi_object.h"
#include "thumbctl/kernel/ipi_store.h"
#include "thumbctl/kernel/jpeg_codec.h"
#include "thumbctl/kernel/jpeg_reader.h"
#include "thumbctl/kernel/png_codec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

// TIFF files from this size on are decoded in place, not read whole first.
constexpr int64_t kTiffInPlaceBytes = 0x500000;

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
int MakeDib(IPIENVIRONMENT* env, IPIOBJECT* image, IPIHANDLE* handle, int repository)
{
    *handle = 0;
    IPIOBJECT* src = image;
    IPIOBJECT* three = nullptr;
    if (image->dataType == ipiTypeNonNegative && image->dataPrecision == 8 && image->dim[4] >= 4) {
        // Drop the fourth band (alpha) before writing.
        IPIATTRIBUTE a[] = {{"bDimension", 3}, {"repository", repository}, {"lut", 0}};
        three = ipiCreateObject(env, "oImage3", &ipiClassGenericImage, image, a, 3);
        if (!three) return ipiGetError(env);
        if (int rc = ipiCopyImageData(env, image, three)) {
            ipiDestroyObject(env, three);
            return rc;
        }
        src = three;
    }
    const int depth = DibDepth(src);
    if (!depth) {
        if (three) ipiDestroyObject(env, three);
        return ipiReportError(env, ipiErrNonPermissibleOption);
    }
    IpiDibLayout layout;
    int rc = ipiDibLayoutFor(src->dim[0], src->dim[1], depth, &layout);
    if (rc) {
        if (three) ipiDestroyObject(env, three);
        return ipiReportError(env, rc);
    }
    IPIHANDLE h = ipiGlobalAlloc(layout.totalBytes);
    if (!h) {
        if (three) ipiDestroyObject(env, three);
        return ipiReportError(env, ipiErrSystem);
    }
    {
        IpiGlobalLock lock(h);
        rc = ipiExportDib(env, src, lock.ptr(), layout.totalBytes, ipiFormatDib, nullptr, 0);
        if (rc == 0 && !ipiIsCleanPackedDib(lock.ptr(), layout.totalBytes, nullptr))
            rc = ipiReportError(env, ipiErrSyntacticalError);
    }
    if (three) ipiDestroyObject(env, three);
    if (rc) {
        ipiGlobalFree(h);
        return rc;
    }
    *handle = h;
    return 0;
}

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
        // As on the general path: bilevel rows whole bytes wide, pixels uncompressed.
        if (depth == 1) img->dim[0] = (img->dim[0] + 7) / 8 * 8;
        img->compression = 0;
        IpiDibLayout& layout = layouts[size_t(i)];
        if ((rc = ipiDibLayoutFor(img->dim[0], img->dim[1], depth, &layout)) != 0) {
            rc = ipiReportError(env, rc);
            break;
        }
        made[size_t(i)] = ipiGlobalAlloc(layout.totalBytes);
        if (!made[size_t(i)]) {
            rc = ipiReportError(env, ipiErrSystem);
            break;
        }
        // The block stays where it is while its handle lives.
        auto* p = static_cast<uint8_t*>(ipiGlobalLock(made[size_t(i)]));
        ipiGlobalUnlock(made[size_t(i)]);
        if ((rc = ipiExportDib(env, img, p, layout.headerBytes, ipiFormatDibHeader, nullptr, 0)) != 0) break;
        IPIATTRIBUTE ba[] = {{"repository", ipiRepositoryApplication}, {"pixelInterpretation", ipiBitmapLayout}};
        IPIOBJECT* bitmap = ipiCreateObject(env, "oBitmap", img->cls, img, ba, 2);
        if (!bitmap) {
            rc = ipiGetError(env);
            break;
        }
        // A line of the bitmap object is one row of the DIB.
        bitmap->dim[0] = depth == 24 ? layout.stride : layout.stride * 8 / depth;
        bitmap->applicationAddressSpace = reinterpret_cast<IPIVALUE>(p + layout.headerBytes);
        bitmap->size = layout.imageBytes;
        bitmap->flags |= ipiFlagInited;  // the zero-filled rows are its data
        rc = ipiSetCompositeElement(env, bitmap, bitmaps, i);
    }
    if (rc == 0) rc = ipiImportFile(env, path, bitmaps, ipiFormatTiff, ipiSelectData, src.data(), int(src.size()));
    for (IPIOBJECT* bitmap : bitmaps->elements)
        if (bitmap) ipiDestroyObject(env, bitmap);
    ipiDestroyObject(env, bitmaps);
    for (int i = 0; rc == 0 && i < n; ++i) {
        IpiGlobalLock lock(made[size_t(i)]);
        if (!ipiIsCleanPackedDib(lock.ptr(), layouts[size_t(i)].totalBytes, nullptr))
            rc = ipiReportError(env, ipiErrSyntacticalError);
    }
    for (int i = 0; i < n; ++i) {
        if (rc == 0) dibs[i] = made[size_t(i)];
        else if (made[size_t(i)]) ipiGlobalFree(made[size_t(i)]);
    }
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
        if (int rc = MakeDib(env, img, &dibs[i], repository)) return rc;
        ++*made;
    }
    if (!pagesToDecode.empty()) {
        if (int rc = DecodeTiffPagesIntoDibs(env, file, src, page, pagesToDecode, depths, dibs)) return rc;
        *made = int(pagesToDecode.size());
    }
    return *made > 0 ? 0 : ipiReportError(env, ipiErrSyntacticalError);
}

// Returned by DecodeIntoDib for a picture it leaves to the general path.
constexpr int kNotDirect = 1 << 20;

// The box a caller is going to shrink the bitmap into (0 x 0: none).
struct ShrinkBox {
    int64_t width = 0;
    int64_t height = 0;
    IPIVALUE* pictureSize = nullptr;  // receives the JPEG's own width and height
};

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
int DecodeJpegIntoDib(IPIENVIRONMENT* env, const void* data, int64_t size, IPIOBJECT* img, const ShrinkBox& box,
                      IPIHANDLE* dib)
{
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
    if (int rc = ipiDibLayoutFor(img->dim[0], img->dim[1], depth, &layout)) return ipiReportError(env, rc);
    const IPIHANDLE h = ipiGlobalAlloc(layout.totalBytes);
    if (!h) return ipiReportError(env, ipiErrSystem);
    int rc;
    {
        IpiGlobalLock lock(h);
        uint8_t* p = lock.ptr();
        img->compression = 0;  // from here on `img` describes the bitmap's pixels
        rc = ipiExportDib(env, img, p, layout.headerBytes, ipiFormatDibHeader, nullptr, 0);
        if (rc == 0)
            rc = JpegDecodeIntoBitmap(env, static_cast<const uint8_t*>(data), size, scale, p + layout.headerBytes,
                                      layout.stride, layout.width, layout.height);
        if (rc == 0 && !ipiIsCleanPackedDib(p, layout.totalBytes, nullptr))
            rc = ipiReportError(env, ipiErrSyntacticalError);
    }
    if (rc) {
        ipiGlobalFree(h);
        return rc;
    }
    *dib = h;
    return 0;
}

// JPEG, PCX and PNG pictures (not 16-colour PCX) decoded straight into the rows of
// the new bitmap: the header is read into `img`, the bitmap block is sized
// and given its header and colour table, and the compressed data is expanded
// into its pixel area in bitmap layout, with no full-size copy in between.
int DecodeIntoDib(IPIENVIRONMENT* env, const void* data, int64_t size, int ff, IPIOBJECT* img, const ShrinkBox& box,
                  IPIHANDLE* dib)
{
    IPIATTRIBUTE src[] = {{"applicationAddressSpace", reinterpret_cast<IPIVALUE>(data)}, {"size", size}};
    if (int rc = ipiImportFile(env, nullptr, img, ff, ipiSelectHeader, src, 2)) return rc;
    if (ff == ipiFormatPng) {
        // Grey and colour bitmaps take no colour table from the file; an
        // alpha band is dropped.
        const IPIVALUE colourType = ipiGetObjectAttribute(env, img, "colourType");
        if (colourType == kPngColourGrey || colourType == kPngColourRgb || colourType == kPngColourRgbAlpha)
            img->lut = 0;
        if (colourType == kPngColourRgbAlpha && img->dim[4] == 4) img->dim[4] = 3;
    }
    if (ff == ipiFormatJpeg && img->compression != 0)
        return DecodeJpegIntoDib(env, data, size, img, box, dib);
    const int depth = DibDepth(img);
    if (img->compression == 0 || depth == 0 || (depth == 4 && ff == ipiFormatPcx)) return kNotDirect;
    IpiDibLayout layout;
    if (int rc = ipiDibLayoutFor(img->dim[0], img->dim[1], depth, &layout)) return ipiReportError(env, rc);

    IPIATTRIBUTE ia[] = {{"repository", ipiRepositoryWorkspace}};
    IPIOBJECT* inter = ipiCreateObject(env, "oCompressed", img->cls, img, ia, 1);
    if (!inter) return ipiGetError(env);
    int rc = ipiImportFile(env, nullptr, inter, ff, ipiSelectAll, src, 2);
    IPIHANDLE h = 0;
    if (rc == 0) {
        h = ipiGlobalAlloc(layout.totalBytes);
        if (!h) rc = ipiReportError(env, ipiErrSystem);
    }
    if (rc == 0) {
        IpiGlobalLock lock(h);
        uint8_t* p = lock.ptr();
        img->compression = 0;  // from here on `img` describes the bitmap's pixels
        rc = ipiExportDib(env, img, p, layout.headerBytes, ipiFormatDibHeader, nullptr, 0);
        IPIOBJECT* bitmap = nullptr;
        if (rc == 0) {
            IPIATTRIBUTE ba[] = {{"repository", ipiRepositoryApplication}, {"pixelInterpretation", ipiBitmapLayout}};
            bitmap = ipiCreateObject(env, "oBitmap", img->cls, img, ba, 2);
            if (!bitmap) rc = ipiGetError(env);
        }
        if (rc == 0) {
            bitmap->applicationAddressSpace = reinterpret_cast<IPIVALUE>(p + layout.headerBytes);
            bitmap->size = layout.imageBytes;
            bitmap->flags |= ipiFlagInited;  // the zero-filled rows are its data
            rc = ipiDecompress(env, inter, bitmap);
        }
        if (bitmap) ipiDestroyObject(env, bitmap);
        if (rc == 0 && !ipiIsCleanPackedDib(p, layout.totalBytes, nullptr))
            rc = ipiReportError(env, ipiErrSyntacticalError);
    }
    ipiDestroyObject(env, inter);
    if (rc) {
        if (h) ipiGlobalFree(h);
        return rc;
    }
    *dib = h;
    return 0;
}

int DecodeSingle(IPIENVIRONMENT* env, const void* data, int64_t size, int ff, IPIHANDLE* dib, int repository,
                 const IPIATTRIBUTE* attributes, int attributeCount)
{
    if (ff == ipiFormatPng) {
        bool found = false;
        IPIVALUE v = FindValue(attributes, attributeCount, "progressive", &found);
        if (found) env->progressive = int32_t(v);
        v = FindValue(attributes, attributeCount, "interlacePass", &found);
        if (found) env->interlacePass = int32_t(v);
    }
    IPIOBJECT* lut = nullptr;
    if (ff != ipiFormatJpeg) {
        IPIATTRIBUTE la[] = {{"bDimension", 3}};
        lut = ipiCreateLookupTable(env, "oLUT", nullptr, la, 1);
        if (!lut) return ipiGetError(env);
    }
    IPIATTRIBUTE ia[] = {{"repository", repository}, {"lut", reinterpret_cast<IPIVALUE>(lut)}};
    IPIOBJECT* img = ipiCreateGenericImage(env, "oImage", nullptr, ia, 2);
    if (!img) return ipiGetError(env);
    if (ff == ipiFormatJpeg || ff == ipiFormatPcx || ff == ipiFormatPng) {
        // A JPEG that is going to be shrunk into a box may be decoded smaller.
        bool foundW = false, foundH = false;
        const IPIVALUE boxW = FindValue(attributes, attributeCount, "boxWidth", &foundW);
        const IPIVALUE boxH = FindValue(attributes, attributeCount, "boxHeight", &foundH);
        bool foundSize = false;
        const IPIVALUE sizeOut = FindValue(attributes, attributeCount, "pictureSize", &foundSize);
        const ShrinkBox box{foundW && foundH ? int64_t(boxW) : 0, foundW && foundH ? int64_t(boxH) : 0,
                            reinterpret_cast<IPIVALUE*>(sizeOut)};
        const int rc = DecodeIntoDib(env, data, size, ff, img, box, dib);
        if (rc != kNotDirect) return rc;
    }
    if (int rc = ipiImportIntoObject(env, data, img, ff, size, nullptr, 0)) return rc;
    if (ff == ipiFormatCgmContainer && lut) {
        if (int rc = SetGreyRamp(env, lut, img->dataPrecision, true)) return rc;
    }
    if (ff == ipiFormatPng) {
        IPIVALUE colourType = ipiGetObjectAttribute(env, img, "colourType");
        if (colourType == 265 || colourType == 266) {
            img->lut = 0;
        } else if (colourType == 267 || colourType == 268) {
            IPIATTRIBUTE a2[] = {{"bDimension", std::max<IPIVALUE>(1, img->dim[4] - 1)}, {"lut", 0},
                                 {"repository", repository}};
            IPIOBJECT* img2 = ipiCreateObject(env, "oImage2", &ipiClassGenericImage, img, a2, 3);
            if (!img2) return ipiGetError(env);
            if (int rc = ipiCopyImageData(env, img, img2)) return rc;
            img = img2;
        }
    }
    return MakeDib(env, img, dib, repository);
}

// An uncompressed BMP of 1, 4, 8 or 24 bits whose pixels follow a 40-byte
// header and a full colour table is already a packed DIB.
bool IsPassThroughBmp(const uint8_t* p, int64_t size)
{
    if (size < 54 || p[0] != 'B' || p[1] != 'M') return false;
    IpiDibLayout layout;
    if (!ipiIsCleanPackedDib(p + 14, size - 14, &layout)) return false;
    return ipiLe32(p + 10) == uint32_t(14 + layout.headerBytes);
}

// Decodes the image in memory, or for a TIFF with null `data` the file
// `path` in place.
int Decode(const char* path, const void* data, int64_t size, IPIHANDLE* dibs, int count, int format, int page,
           const IPIATTRIBUTE* attributes, int attributeCount, int* made)
{
    const int ff = ipiFileFormatOfDecodeFormat(format);
    const int repository = RepositoryFromAttributes(attributes, attributeCount);
    if (ff == ipiFormatBmp && data && IsPassThroughBmp(static_cast<const uint8_t*>(data), size)) {
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
    if (ff == ipiFormatTiff) {
        rc = DecodeTiff(env, path, data, size, dibs, count, page, repository, made);
    } else {
        rc = DecodeSingle(env, data, size, ff, &dibs[0], repository, attributes, attributeCount);
        if (rc == 0) *made = 1;
    }
    if (rc && rc == ipiGetError(env)) rc = ipiGetError(env);
    int closeRc = ipiCloseEnvironment(env);
    if (closeRc) rc = closeRc;
    return rc;
}

// Argument checks shared by both entry points; 0 or -100.
int CheckArguments(IPIHANDLE* dibs, int count, int format, int page, const IPIATTRIBUTE* attributes,
                   int attributeCount)
{
    int ff = ipiFileFormatOfDecodeFormat(format);
    if (!ff || !dibs || count < 1) return ipiErrUnknownFormat;
    if ((ff == ipiFormatTiff || ff == ipiFormatGif) && page < 0) return ipiErrUnknownFormat;
    if (ff == ipiFormatPng) {
        bool found = false;
        IPIVALUE pass = FindValue(attributes, attributeCount, "interlacePass", &found);
        if (found && (pass < 1 || pass > 7)) return ipiErrUnknownFormat;
    }
    for (const char* side : {"boxWidth", "boxHeight"}) {
        bool found = false;
        const IPIVALUE v = FindValue(attributes, attributeCount, side, &found);
        if (found && (v < 1 || v > 0x7FFFFFFF)) return ipiErrUnknownFormat;
    }
    return 0;
}

// The bytes of a file the decoder of `fileFormat` can use: for a BMP as many
// as its headers declare (a picture padded with a gigabyte reads only its
// own bytes), for every other format the whole file up to the kernel's cap.
IPIHANDLE ReadDeclaredBytes(const char* path, int fileFormat, int* error)
{
    int64_t limit = INT64_MAX;
    if (fileFormat == ipiFormatBmp) {
        uint8_t head[54];
        int64_t size = 0;
        const int fd = ipiOpenRegularFile(path, &size);
        if (fd >= 0) {
            const int64_t got = ipiReadAt(fd, 0, head, sizeof head);
            ::close(fd);
            const int64_t declared = BmpDeclaredFileBytes(head, got);
            if (declared > 0) limit = declared;
        }
    }
    return ReadFileHeadToGlobal(path, limit, error);
}

// Start of both entry points: *error set to the outcome of the argument
// checks and, when they pass, the handles cleared.
bool Begin(IPIHANDLE* dibs, int count, int format, int page, const IPIATTRIBUTE* attributes, int attributeCount,
           int* error)
{
    const int rc = CheckArguments(dibs, count, format, page, attributes, attributeCount);
    if (error) *error = rc;
    if (rc) return false;
    for (int i = 0; i < count; ++i) dibs[i] = 0;
    return true;
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
    if (!Begin(dibs, count, format, page, attributes, attributeCount, error)) return 0;
    int made = 0;
    const int rc = !data || size <= 0 ? ipiErrSyntacticalError
                                      : Decode(nullptr, data, size, dibs, count, format, page, attributes, attributeCount, &made);
    return Finish(rc, made, dibs, count, error);
}

int DecodeImageFromFile(const char* path, IPIHANDLE* dibs, int count, int format, int page,
                        const IPIATTRIBUTE* attributes, int attributeCount, int* error)
{
    if (!Begin(dibs, count, format, page, attributes, attributeCount, error)) return 0;
    // Large TIFF files are read in place through the file; everything else is
    // read whole and decoded as from memory, so that both entry points give
    // the same bitmaps.
    if (ipiFileFormatOfDecodeFormat(format) == ipiFormatTiff && ipiFileSize(path) >= kTiffInPlaceBytes) {
        int made = 0;
        const int rc = Decode(path, nullptr, 0, dibs, count, format, page, attributes, attributeCount, &made);
        return Finish(rc, made, dibs, count, error);
    }
    int readError = 0;
    IPIHANDLE file = ReadDeclaredBytes(path, ipiFileFormatOfDecodeFormat(format), &readError);
    if (!file) {
        if (error) *error = readError;
        return 0;
    }
    int made = 0;
    int rc;
    {
        IpiGlobalLock lock(file);
        rc = Decode(path, lock.ptr(), lock.size(), dibs, count, format, page, attributes, attributeCount, &made);
    }
    ipiGlobalFree(file);
    return Finish(rc, made, dibs, count, error);
}

namespace {

// Page count of a TIFF file (`fromFile`) or image in memory, one for a GIF.
int CountPages(bool fromFile, const char* path, const void* data, int64_t size, int format, int* error)
{
    if (error) *error = 0;
    if (format == DecodeFormatGif) return 1;
    if (format != DecodeFormatTiff) {
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
    int pages = fromFile ? ipiOpenMultiImageFromFile(env, path, ipiFormatTiff)
                         : ipiOpenMultiImageFromMemory(env, data, ipiFormatTiff, size);
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
