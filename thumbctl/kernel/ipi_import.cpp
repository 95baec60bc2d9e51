// Import, export, decompression dispatch, composite arrays, TIFF page count
// and image information.
#include "thumbctl/kernel/ipi_import.h"

#include "thumbctl/kernel/bmp_codec.h"
#include "thumbctl/kernel/ipi_env.h"
#include "thumbctl/kernel/ipi_object.h"
#include "thumbctl/kernel/ipi_registry.h"
#include "thumbctl/kernel/ipi_store.h"

#include <cstring>
#include <vector>

int ipiFileFormatOfDecodeFormat(int decodeFormat)
{
    switch (decodeFormat) {
    case 4: return ipiFormatTiff;
    case 5: return ipiFormatJpeg;
    case 6: return ipiFormatGif;
    case 7: return ipiFormatBmp;
    case 40: return ipiFormatPcx;
    case 44: return ipiFormatPng;
    case 45: return ipiFormatCgmContainer;
    default: return 0;
    }
}

namespace {

IPIVALUE FindValue(const IPIATTRIBUTE* a, int count, const char* name, bool* found = nullptr)
{
    for (int i = 0; a && i < count; ++i)
        if (a[i].name && std::strcmp(a[i].name, name) == 0) {
            if (found) *found = true;
            return a[i].value;
        }
    if (found) *found = false;
    return 0;
}

std::vector<IPIATTRIBUTE> WithExtra(const IPIATTRIBUTE* a, int count, std::initializer_list<IPIATTRIBUTE> extra)
{
    std::vector<IPIATTRIBUTE> v;
    for (int i = 0; a && i < count; ++i) v.push_back(a[i]);
    v.insert(v.end(), extra.begin(), extra.end());
    return v;
}

} // namespace

int ipiImportFile(IPIENVIRONMENT* env, const char* fileName, IPIOBJECT* target, int fileFormat, int selector,
                  const IPIATTRIBUTE* attributes, int count)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, target)) return ipiErrInvalidInstance;
    if (selector != ipiSelectAll && selector != ipiSelectData && selector != ipiSelectHeader)
        return ipiReportError(env, ipiErrOutOfRange);
    IpiReaderFn reader = ipiFindReader(fileFormat);
    if (!reader) return ipiReportError(env, ipiErrOutOfRange);
    if (int rc = ipiSetAttribute(env, target, "fileFormat", fileFormat)) return rc;
    bool isMemory = false;
    IPIVALUE memory = FindValue(attributes, count, "applicationAddressSpace", &isMemory);
    IPIVALUE size = FindValue(attributes, count, "size");
    std::vector<IPIATTRIBUTE> list;
    if (isMemory) {
        if (!memory || size <= 0) return ipiReportError(env, ipiErrInsufficientSize);
        list = WithExtra(attributes, count, {{"repository", ipiRepositoryApplication}, {"size", size}});
    } else {
        if (!fileName || !*fileName) return ipiReportError(env, ipiErrFileOpenFailure);
        list = WithExtra(attributes, count,
                         {{"repository", ipiRepositoryFile}, {"fileName", reinterpret_cast<IPIVALUE>(fileName)}});
    }
    IPIOBJECT* source;
    if (target->cls == &ipiClassCompositeIDArray) {
        source = ipiCreateObject(env, "oSource", &ipiClassGenericImage, nullptr, nullptr, 0);
        if (source) {
            ipiSetAttribute(env, source, "fileFormat", fileFormat);
            ipiSetAttributes(env, source, list.data(), int(list.size()));
        }
    } else {
        source = ipiCreateObject(env, "oSource", target->cls, target, list.data(), int(list.size()));
    }
    if (!source) return ipiGetError(env);
    source->flags |= ipiFlagInited;  // the file bytes exist
    if (isMemory) {
        source->applicationAddressSpace = memory;
        source->size = size;
    }
    int rc = reader(env, source, target, selector);
    ipiDestroyObject(env, source);
    return rc;
}

namespace {

// Decompresses `inter` (compressed, already read) into `target`.
int FinishCompressed(IPIENVIRONMENT* env, IPIOBJECT* inter, IPIOBJECT* target)
{
    int64_t compression = inter->compression;
    target->compression = 0;
    target->flags &= ~ipiFlagInited;
    if (env->byteBoundary && target->fileFormat == ipiFormatTiff && target->dataPrecision == 1)
        target->dim[0] = (target->dim[0] + 7) / 8 * 8;
    if (target->fileFormat == ipiFormatGif) {
        if (target->dataPrecision == 2 || target->dataPrecision == 3) target->dataPrecision = 4;
        else if (target->dataPrecision > 4 && target->dataPrecision < 8) target->dataPrecision = 8;
    }
    int rc = ipiDecompress(env, inter, target);
    if (rc == 0 && compression == ipiCompressionJpeg) target->colourSpace = ipiColourSpaceRgb;
    return rc;
}

// The compressed bytes of a page, held in kernel memory: they come from data
// already in memory or read from a file, so no temporary file is needed.
IPIOBJECT* MakeIntermediate(IPIENVIRONMENT* env, IPIOBJECT* page)
{
    IPIATTRIBUTE a[] = {{"repository", ipiRepositoryWorkspace}};
    return ipiCreateObject(env, "oCompressed", page->cls, page, a, 1);
}

} // namespace

namespace {

// Header, data and decompression of an image whose bytes lie in memory
// (`list` holds `applicationAddressSpace` and `size`) or in the named file,
// which is then read in place.
int ImportWhole(IPIENVIRONMENT* env, const char* fileName, IPIOBJECT* target, int fileFormat,
                const std::vector<IPIATTRIBUTE>& list)
{
    const int n = int(list.size());
    if (int rc = ipiImportFile(env, fileName, target, fileFormat, ipiSelectHeader, list.data(), n)) return rc;

    if (target->cls == &ipiClassCompositeIDArray) {
        // All pages: a parallel array holds an intermediate for each compressed page.
        const int64_t entries = target->dim[0];
        IPIATTRIBUTE pa[] = {{"entries", entries}, {"xMatchPoint", target->matchPoint[0]}};
        IPIOBJECT* parallel = ipiCreateObject(env, "oParallel", &ipiClassCompositeIDArray, nullptr, pa, 2);
        if (!parallel) return ipiGetError(env);
        int rc = 0;
        std::vector<std::pair<IPIOBJECT*, IPIOBJECT*>> work;
        for (int64_t i = 0; rc == 0 && i < entries; ++i) {
            IPIOBJECT* page = i < int64_t(target->elements.size()) ? target->elements[size_t(i)] : nullptr;
            if (!page) break;
            IPIOBJECT* slot = page;
            if (page->compression != 0) {
                slot = MakeIntermediate(env, page);
                if (!slot) {
                    rc = ipiGetError(env);
                    break;
                }
                work.push_back({slot, page});
            }
            rc = ipiSetCompositeElement(env, slot, parallel, i);
        }
        if (rc == 0) rc = ipiImportFile(env, fileName, parallel, fileFormat, ipiSelectAll, list.data(), n);
        for (auto& w : work) {
            if (rc == 0) rc = FinishCompressed(env, w.first, w.second);
            ipiDestroyObject(env, w.first);
        }
        ipiDestroyObject(env, parallel);
        return rc;
    }

    if (target->compression == 0)
        return ipiImportFile(env, fileName, target, fileFormat, ipiSelectData, list.data(), n);
    IPIOBJECT* inter = MakeIntermediate(env, target);
    if (!inter) return ipiGetError(env);
    int rc = ipiImportFile(env, fileName, inter, fileFormat, ipiSelectAll, list.data(), n);
    if (rc == 0) rc = FinishCompressed(env, inter, target);
    ipiDestroyObject(env, inter);
    return rc;
}

} // namespace

int ipiImportIntoObject(IPIENVIRONMENT* env, const void* data, IPIOBJECT* target, int fileFormat, int64_t size,
                        const IPIATTRIBUTE* attributes, int count)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, target)) return ipiErrInvalidInstance;
    if (!data || size <= 0) return ipiReportError(env, ipiErrInsufficientSize);
    return ImportWhole(env, nullptr, target, fileFormat,
                       WithExtra(attributes, count,
                                 {{"applicationAddressSpace", reinterpret_cast<IPIVALUE>(data)}, {"size", size}}));
}

int ipiImportFileIntoObject(IPIENVIRONMENT* env, const char* fileName, IPIOBJECT* target, int fileFormat,
                            const IPIATTRIBUTE* attributes, int count)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, target)) return ipiErrInvalidInstance;
    if (!fileName || !*fileName) return ipiReportError(env, ipiErrFileOpenFailure);
    return ImportWhole(env, fileName, target, fileFormat, WithExtra(attributes, count, {}));
}

// ---- multi-image sources ---------------------------------------------------

namespace {

int CountPages(IPIENVIRONMENT* env, int fileFormat, const IPIATTRIBUTE* a, int n)
{
    IpiPageCounterFn counter = ipiFindPageCounter(fileFormat);
    if (!counter) {
        ipiReportError(env, ipiErrNonPermissibleOption);
        return 0;
    }
    IPIOBJECT* source = ipiCreateObject(env, "oSource", &ipiClassGenericImage, nullptr, a, n);
    if (!source) return 0;
    source->flags |= ipiFlagInited;
    ipiSetAttribute(env, source, "fileFormat", fileFormat);
    int pages = counter(env, source);
    ipiDestroyObject(env, source);
    return pages;
}

} // namespace

int ipiOpenMultiImageFromMemory(IPIENVIRONMENT* env, const void* data, int fileFormat, int64_t size)
{
    if (ipiCheckEnvironment(env)) return 0;
    if (!data || size <= 0) {
        ipiReportError(env, ipiErrInsufficientSize);
        return 0;
    }
    IPIATTRIBUTE a[] = {{"repository", ipiRepositoryApplication},
                        {"applicationAddressSpace", reinterpret_cast<IPIVALUE>(data)},
                        {"size", size}};
    return CountPages(env, fileFormat, a, 3);
}

int ipiOpenMultiImageFromFile(IPIENVIRONMENT* env, const char* fileName, int fileFormat)
{
    if (ipiCheckEnvironment(env)) return 0;
    if (!fileName || !*fileName) {
        ipiReportError(env, ipiErrFileOpenFailure);
        return 0;
    }
    IPIATTRIBUTE a[] = {{"repository", ipiRepositoryFile}, {"fileName", reinterpret_cast<IPIVALUE>(fileName)}};
    return CountPages(env, fileFormat, a, 2);
}

// ---- composite arrays --------------------------------------------------------

IPIOBJECT* ipiGetCompositeElement(IPIENVIRONMENT* env, IPIOBJECT* array, int64_t n)
{
    if (ipiCheckEnvironment(env) || !ipiIsValidObject(env, array)) return nullptr;
    if (array->dataType != ipiTypeIdentifier) {
        ipiReportError(env, ipiErrMismatchDataType);
        return nullptr;
    }
    if (n < 0 || n + 1 > array->dim[0]) {
        ipiReportError(env, ipiErrOutOfRange);
        return nullptr;
    }
    IPIOBJECT* e = n < int64_t(array->elements.size()) ? array->elements[size_t(n)] : nullptr;
    if (!e || !ipiIsValidObject(env, e)) {
        ipiReportError(env, ipiErrInvalidInstance);
        return nullptr;
    }
    return e;
}

int ipiSetCompositeElement(IPIENVIRONMENT* env, IPIOBJECT* object, IPIOBJECT* array, int64_t n)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, array)) return ipiErrInvalidInstance;
    if (array->dataType != ipiTypeIdentifier) return ipiReportError(env, ipiErrMismatchDataType);
    if (n < 0 || n + 1 > array->dim[0] || n >= kIpiMaxTableEntries) return ipiReportError(env, ipiErrOutOfRange);
    if (int64_t(array->elements.size()) <= n) array->elements.resize(size_t(n + 1), nullptr);
    array->elements[size_t(n)] = object;
    array->flags |= ipiFlagInited;
    return 0;
}

// ---- decompression and export ------------------------------------------------

int ipiDecompress(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, source) || !ipiIsValidObject(env, destination)) return ipiErrInvalidInstance;
    if (destination->compression != 0) return ipiReportError(env, ipiErrNonPermissibleOption);
    IpiDecoderFn decoder = ipiFindDecoder(int(source->compression));
    if (!decoder) return ipiReportError(env, ipiErrNonPermissibleOption);
    return decoder(env, source, destination);
}

int ipiExportDib(IPIENVIRONMENT* env, IPIOBJECT* object, void* memory, int64_t memorySize, int fileFormat,
                 const IPIATTRIBUTE*, int)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, object)) return ipiErrInvalidInstance;
    if (fileFormat != ipiFormatBmp && fileFormat != ipiFormatDib && fileFormat != ipiFormatDibHeader)
        return ipiReportError(env, ipiErrOutOfRange);
    if (!memory || memorySize <= 0) return ipiReportError(env, ipiErrInsufficientSize);
    IPIATTRIBUTE a[] = {{"repository", ipiRepositoryApplication},
                        {"applicationAddressSpace", reinterpret_cast<IPIVALUE>(memory)},
                        {"size", memorySize}};
    IPIOBJECT* out = ipiCreateObject(env, "oOutput", object->cls, object, a, 3);
    if (!out) return ipiGetError(env);
    if (fileFormat == ipiFormatBmp && out->fileFormat != ipiFormatBmp) ipiSetAttribute(env, out, "fileFormat", ipiFormatBmp);
    out->applicationAddressSpace = reinterpret_cast<IPIVALUE>(memory);
    out->size = memorySize;
    out->flags |= ipiFlagInited;  // write into the caller's block as it is
    int rc = BmpWriteFile(env, object, out, fileFormat);
    ipiDestroyObject(env, out);
    return rc;
}

int ipiExportCompressed(IPIENVIRONMENT* env, IPIOBJECT* object, void* memory, int64_t memorySize, int fileFormat,
                        const IPIATTRIBUTE* options, int count)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, object)) return ipiErrInvalidInstance;
    if (object->compression != 0) return ipiReportError(env, ipiErrNonPermissibleOption);
    bool has = false;
    IPIVALUE compression = FindValue(options, count, "compression");
    IPIVALUE precision = FindValue(options, count, "dataPrecision", &has);
    if (!has) precision = object->dataPrecision;
    if (compression == 0) return ipiExportDib(env, object, memory, memorySize, fileFormat, nullptr, 0);
    if (compression != ipiCompressionBmpRle) return ipiReportError(env, ipiErrNonPermissibleOption);
    IPIOBJECT* tmp = ipiCreateObject(env, "oRle", object->cls, object, nullptr, 0);
    if (!tmp) return ipiGetError(env);
    tmp->compression = ipiCompressionBmpRle;
    tmp->dataPrecision = precision;
    tmp->repository = ipiRepositoryFile;
    tmp->flags &= ~ipiFlagInited;
    int rc = ipiTransferPixels(env, object, tmp);
    if (rc == 0) rc = ipiExportDib(env, tmp, memory, memorySize, fileFormat, nullptr, 0);
    ipiDestroyObject(env, tmp);
    return rc;
}

// ---- image information -----------------------------------------------------------

namespace {

IPIVALUE InfoCompression(int64_t c)
{
    switch (c) {
    case 0: return 0;
    case ipiCompressionCcittG3: return 27;
    case ipiCompressionCcittG3_2D: return 28;
    case ipiCompressionCcittG4: return 29;
    case ipiCompressionCcittMH: return 26;
    case ipiCompressionLzw: return 25;
    case ipiCompressionPackBits: return 30;
    case ipiCompressionBmpRle: return 31;
    default: return -100;
    }
}

IPIVALUE InfoColorMode(int ff, int64_t bits, int64_t bands)
{
    if (ff == ipiFormatGif) {
        if (bits == 1) return 14;
        if (bits >= 2 && bits <= 4) return 15;
        if (bits >= 5 && bits <= 8) return 16;
        return -100;
    }
    if (ff == ipiFormatJpeg) return bands == 1 ? 17 : bands == 3 ? 18 : -100;
    if (ff == ipiFormatCgmContainer) return bits == 1 ? 14 : -100;
    if (bits == 1) return 14;
    if (bits == 4 || (ff == ipiFormatPng && bits == 2)) return 15;
    if (bits == 8 && bands == 1) return 16;
    if (bits == 8 && (bands == 3 || (ff == ipiFormatPng && bands == 4))) return 18;
    return -100;
}

IPIVALUE InfoValue(IPIENVIRONMENT* env, IPIOBJECT* o, int ff, const char* name)
{
    auto get = [&](const char* n) { return ipiGetObjectAttribute(env, o, n); };
    if (!std::strcmp(name, "xDimension") || !std::strcmp(name, "yDimension")) return get(name);
    if (!std::strcmp(name, "compression")) return InfoCompression(o->compression);
    if (!std::strcmp(name, "colorMode")) return InfoColorMode(ff, o->dataPrecision, o->dim[4]);
    if (!std::strcmp(name, "photometricInterpretation")) return 51;
    if (!std::strcmp(name, "predictor")) return get("predictor");
    if (!std::strcmp(name, "interlaced")) return get("interlacedImage");
    if (!std::strcmp(name, "transparency") || !std::strcmp(name, "transparencyPaletteIndex")) return get(name);
    bool xr = !std::strcmp(name, "xResolution");
    if (xr || !std::strcmp(name, "yResolution")) {
        if (ff == ipiFormatPcx) return get(xr ? "horizontalResolution" : "verticalResolution");
        if (ff == ipiFormatTiff) {
            auto* r = reinterpret_cast<const uint32_t*>(get(name));
            if (!r) return 0;
            double v = r[1] ? double(r[0]) / r[1] : double(r[0]);
            if (get("resolutionUnit") == ipiResolutionUnitCm) v = v * 2.54 + 0.9;
            return IPIVALUE(v);
        }
        IPIVALUE v = get(name);
        if (ff == ipiFormatBmp || get("resolutionUnit") == ipiResolutionUnitMetre)
            return IPIVALUE(double(v) * 0.0254 + 0.9);
        return v;
    }
    return 0;
}

int Info(const char* path, const void* data, int64_t size, int count, int index, int format,
         const IPIATTRIBUTE* attributes, int attributeCount)
{
    int ff = ipiFileFormatOfDecodeFormat(format);
    if (!ff) return ipiErrUnknownFormat;
    if (ff == ipiFormatGif && (count < 1 || index < 0)) return ipiErrUnknownFormat;
    if (ff == ipiFormatTiff && (count < 1 || index < 0)) return ipiErrUnknownFormat;
    IPIENVIRONMENT* env = ipiOpenEnvironment(nullptr);
    if (!env) return ipiErrSystem;
    int rc = 0;
    std::vector<IPIATTRIBUTE> src;
    if (!path) src = {{"applicationAddressSpace", reinterpret_cast<IPIVALUE>(data)}, {"size", size}};
    IPIOBJECT* lut = ipiCreateLookupTable(env, "oLUT", nullptr, nullptr, 0);
    IPIATTRIBUTE ia[] = {{"repository", ipiRepositoryFile}, {"lut", reinterpret_cast<IPIVALUE>(lut)}};
    std::vector<IPIOBJECT*> pages;
    if (ff == ipiFormatTiff) {
        IPIATTRIBUTE ca[] = {{"entries", count}, {"xMatchPoint", index}};
        IPIOBJECT* array = ipiCreateCompositeIDArray(env, "oArray", nullptr, ca, 2);
        for (int i = 0; array && i < count; ++i) {
            IPIOBJECT* img = ipiCreateGenericImage(env, "oImage", nullptr, ia, 2);
            if (!img) break;
            ipiSetCompositeElement(env, img, array, i);
            pages.push_back(img);
        }
        rc = array ? ipiImportFile(env, path, array, ff, ipiSelectHeader, src.data(), int(src.size()))
                   : ipiGetError(env);
        if (rc == 0) pages.resize(size_t(std::min<int64_t>(int64_t(pages.size()), array->dim[0])));
    } else {
        IPIOBJECT* img = ipiCreateGenericImage(env, "oImage", nullptr, ia, 2);
        rc = img ? ipiImportFile(env, path, img, ff, ipiSelectHeader, src.data(), int(src.size())) : ipiGetError(env);
        pages.push_back(img);
    }
    for (int i = 0; rc == 0 && attributes && i < attributeCount; ++i) {
        if (!attributes[i].name || !attributes[i].value) continue;
        auto* outp = reinterpret_cast<IPIVALUE*>(attributes[i].value);
        if (ff == ipiFormatTiff) {
            for (size_t p = 0; p < pages.size(); ++p) outp[p] = InfoValue(env, pages[p], ff, attributes[i].name);
        } else {
            *outp = InfoValue(env, pages[0], ff, attributes[i].name);
        }
    }
    int closeRc = ipiCloseEnvironment(env);
    return closeRc ? closeRc : rc;
}

} // namespace

int GetImageInfo(const char* path, int count, int index, int format, const IPIATTRIBUTE* attributes,
                 int attributeCount, int* error)
{
    int rc;
    if (!path || !*path) {
        rc = ipiErrFileOpenFailure;
    } else if (ipiFileFormatOfDecodeFormat(format) == 0) {
        rc = ipiErrUnknownFormat;
    } else if (ipiFileSize(path) < 0) {
        rc = ipiErrFileOpenFailure;
    } else {
        rc = Info(path, nullptr, 0, count, index, format, attributes, attributeCount);
    }
    if (error) *error = rc;
    return rc;
}

int GetImageInfoFromMemory(const void* data, int count, int index, int format, int64_t size,
                           const IPIATTRIBUTE* attributes, int attributeCount, int* error)
{
    int rc = (!data || size <= 0) ? ipiErrSyntacticalError
                                  : Info(nullptr, data, size, count, index, format, attributes, attributeCount);
    if (ipiFileFormatOfDecodeFormat(format) == 0) rc = ipiErrUnknownFormat;
    if (error) *error = rc;
    return rc;
}
