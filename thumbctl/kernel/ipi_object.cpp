// Image objects: classes, the object tree, attributes and format records.
#include "thumbctl/kernel/ipi_object.h"

#include "thumbctl/kernel/ipi_env.h"
#include "thumbctl/kernel/ipi_store.h"

#include <cerrno>
#include <cstring>
#include <new>

const IPICLASS ipiClassColourImage = {"ColourImage", 0};
const IPICLASS ipiClassGenericImage = {"GenericImage", 1};
const IPICLASS ipiClassMonochromeImage = {"MonochromeImage", 2};
const IPICLASS ipiClassHistogram = {"Histogram", 3};
const IPICLASS ipiClassLookupTable = {"LookupTable", 4};
const IPICLASS ipiClassMatrix = {"Matrix", 5};
const IPICLASS ipiClassDitherArray = {"DitherArray", 6};
const IPICLASS ipiClassImpulseResponseArray = {"ImpulseResponseArray", 7};
const IPICLASS ipiClassMaskArray = {"MaskArray", 8};
const IPICLASS ipiClassROI = {"ROI", 9};
const IPICLASS ipiClassPowerSpectrumArray = {"PowerSpectrumArray", 10};
const IPICLASS ipiClassTransferFunctionArray = {"TransferFunctionArray", 11};
const IPICLASS ipiClassWindowFunctionArray = {"WindowFunctionArray", 12};
const IPICLASS ipiClassTuple = {"Tuple", 13};
const IPICLASS ipiClassCompositeIDArray = {"CompositeIDArray", 14};

namespace {

const IPICLASS* const kClasses[] = {
    &ipiClassColourImage, &ipiClassGenericImage, &ipiClassMonochromeImage, &ipiClassHistogram,
    &ipiClassLookupTable, &ipiClassMatrix, &ipiClassDitherArray, &ipiClassImpulseResponseArray,
    &ipiClassMaskArray, &ipiClassROI, &ipiClassPowerSpectrumArray, &ipiClassTransferFunctionArray,
    &ipiClassWindowFunctionArray, &ipiClassTuple, &ipiClassCompositeIDArray,
};

bool IsKnownClass(const IPICLASS* c)
{
    for (auto* k : kClasses)
        if (k == c) return true;
    return false;
}

bool IsSpectrumClass(const IPICLASS* c)
{
    return c == &ipiClassPowerSpectrumArray || c == &ipiClassTransferFunctionArray ||
           c == &ipiClassWindowFunctionArray;
}

} // namespace

bool ipiIsImageClass(const IPICLASS* c)
{
    return c == &ipiClassColourImage || c == &ipiClassGenericImage || c == &ipiClassMonochromeImage;
}

// ---------------------------------------------------------------------------
// Format records

struct IpiFormatData {
    int code = 0;
    struct Scalar {
        const char* name;
        IPIVALUE value;
    };
    std::vector<Scalar> scalars;
    // TIFF
    std::vector<uint32_t> stripOffsets, stripByteCounts;
    uint32_t xRational[2] = {0, 0};
    uint32_t yRational[2] = {0, 0};
    // JPEG tables
    std::vector<uint8_t> tables[10];
    // PNG alpha table
    std::vector<uint8_t> alpha;

    Scalar* find(const char* name)
    {
        for (auto& s : scalars)
            if (std::strcmp(s.name, name) == 0) return &s;
        return nullptr;
    }
};

namespace {

// Scalar attribute names of each format record. To give a format another
// attribute, add its name here.
const char* const kGifNames[] = {"interlacedImage", "left", "top", "screenDepth", "screenWidth",
                                 "version", "transparency", "transparencyPaletteIndex", "codeSize",
                                 nullptr};
const char* const kTiffNames[] = {"photometricInterpretation", "resolutionUnit", "rowsPerStrip",
                                  "stripsPerImage", "orientation", "planarConfiguration", "pageNumber",
                                  "newSubfileType", nullptr};
const char* const kCgmNames[] = {"resolutionUnit", "xResolution", "yResolution", "xVDC1stCorner",
                                 "yVDC1stCorner", "xVDC2ndCorner", "yVDC2ndCorner", nullptr};
const char* const kBmpNames[] = {"resolutionUnit", "xResolution", "yResolution", nullptr};
const char* const kJpegNames[] = {"restartInterval", nullptr};
const char* const kPcxNames[] = {"horizontalResolution", "verticalResolution", "versionNumber", "bytePerLine",
                                 nullptr};
const char* const kPngNames[] = {"interlacedImage", "colourType", "transparency", "transparencyGray",
                                 "transparencyRed", "transparencyGreen", "transparencyBlue",
                                 "transparencyEntry", nullptr};

const struct {
    const char* name;
    size_t size;
} kJpegTables[10] = {
    {"chrominanceACBITS", 16}, {"chrominanceACHUFFVAL", 256}, {"chrominanceDCBITS", 16},
    {"chrominanceDCHUFFVAL", 16}, {"chrominanceQuantizationTable", 64}, {"luminanceACBITS", 16},
    {"luminanceACHUFFVAL", 256}, {"luminanceDCBITS", 16}, {"luminanceDCHUFFVAL", 16},
    {"luminanceQuantizationTable", 64},
};

const char* const* NamesOf(int code)
{
    switch (code) {
    case ipiFormatGif: return kGifNames;
    case ipiFormatTiff: return kTiffNames;
    case ipiFormatCgmContainer: return kCgmNames;
    case ipiFormatBmp: return kBmpNames;
    case ipiFormatJpeg: return kJpegNames;
    case ipiFormatPcx: return kPcxNames;
    case ipiFormatPng: return kPngNames;
    default: return nullptr;
    }
}

std::unique_ptr<IpiFormatData> NewFormat(int code)
{
    const char* const* names = NamesOf(code);
    if (!names) return nullptr;
    std::unique_ptr<IpiFormatData> f(new (std::nothrow) IpiFormatData);
    if (!f) return nullptr;
    f->code = code;
    for (const char* const* n = names; *n; ++n) f->scalars.push_back({*n, 0});
    if (code == ipiFormatPcx) f->find("versionNumber")->value = 5;
    if (code == ipiFormatPng) f->find("transparencyEntry")->value = 256;
    return f;
}

int JpegTableIndex(const char* name)
{
    for (int i = 0; i < 10; ++i)
        if (std::strcmp(kJpegTables[i].name, name) == 0) return i;
    return -1;
}

enum class SetResult { Skipped, Stored, Restart, Failed };

// Sets a format attribute; Restart asks the caller to apply the list again.
SetResult SetFormatValue(IpiFormatData& f, const char* name, IPIVALUE value)
{
    if (f.code == ipiFormatTiff) {
        if (std::strcmp(name, "stripsPerImage") == 0) {
            auto* s = f.find("stripsPerImage");
            if (s->value == value) return SetResult::Stored;
            if (value < 0 || value > kIpiMaxTableEntries) return SetResult::Failed;
            try {
                f.stripOffsets.assign(size_t(value), 0);
                f.stripByteCounts.assign(size_t(value), 0);
            } catch (...) {
                return SetResult::Failed;
            }
            s->value = value;
            return SetResult::Restart;
        }
        bool offsets = std::strcmp(name, "stripOffsets") == 0;
        if (offsets || std::strcmp(name, "stripByteCounts") == 0) {
            auto& v = offsets ? f.stripOffsets : f.stripByteCounts;
            if (value && !v.empty()) std::memcpy(v.data(), reinterpret_cast<const void*>(value), v.size() * 4);
            return SetResult::Stored;
        }
        bool xr = std::strcmp(name, "xResolution") == 0;
        if (xr || std::strcmp(name, "yResolution") == 0) {
            if (value) std::memcpy(xr ? f.xRational : f.yRational, reinterpret_cast<const void*>(value), 8);
            return SetResult::Stored;
        }
    }
    if (f.code == ipiFormatJpeg) {
        int t = JpegTableIndex(name);
        if (t >= 0) {
            if (value) {
                f.tables[t].resize(kJpegTables[t].size);
                std::memcpy(f.tables[t].data(), reinterpret_cast<const void*>(value), kJpegTables[t].size);
            }
            return SetResult::Stored;
        }
    }
    if (f.code == ipiFormatPng && std::strcmp(name, "transparencyPaletteIndex") == 0) {
        if (value) {
            if (f.alpha.empty()) f.alpha.assign(256, 255);
            IPIVALUE n = f.find("transparencyEntry")->value;
            if (n < 0) n = 0;
            if (n > 256) n = 256;
            std::memcpy(f.alpha.data(), reinterpret_cast<const void*>(value), size_t(n));
        }
        return SetResult::Stored;
    }
    if (auto* s = f.find(name)) {
        s->value = value;
        return SetResult::Stored;
    }
    return SetResult::Skipped;
}

bool GetFormatValue(IpiFormatData& f, const char* name, IPIVALUE* out)
{
    if (f.code == ipiFormatTiff) {
        if (std::strcmp(name, "stripOffsets") == 0) {
            *out = f.stripOffsets.empty() ? 0 : reinterpret_cast<IPIVALUE>(f.stripOffsets.data());
            return true;
        }
        if (std::strcmp(name, "stripByteCounts") == 0) {
            *out = f.stripByteCounts.empty() ? 0 : reinterpret_cast<IPIVALUE>(f.stripByteCounts.data());
            return true;
        }
        if (std::strcmp(name, "xResolution") == 0) {
            *out = reinterpret_cast<IPIVALUE>(f.xRational);
            return true;
        }
        if (std::strcmp(name, "yResolution") == 0) {
            *out = reinterpret_cast<IPIVALUE>(f.yRational);
            return true;
        }
    }
    if (f.code == ipiFormatJpeg) {
        int t = JpegTableIndex(name);
        if (t >= 0) {
            *out = f.tables[t].empty() ? 0 : reinterpret_cast<IPIVALUE>(f.tables[t].data());
            return true;
        }
    }
    if (f.code == ipiFormatPng && std::strcmp(name, "transparencyPaletteIndex") == 0) {
        *out = f.alpha.empty() ? 0 : reinterpret_cast<IPIVALUE>(f.alpha.data());
        return true;
    }
    if (auto* s = f.find(name)) {
        *out = s->value;
        return true;
    }
    return false;
}

// Plain attribute words by name. `shape` tells whether setting it clears
// `inited`.
IPIVALUE* Word(IPIOBJECT* o, const char* n, bool* shape)
{
    *shape = false;
    struct Entry {
        const char* name;
        IPIVALUE IPIOBJECT::*field;
        bool shape;
    };
    static const Entry kWords[] = {
        {"applicationAddressSpace", &IPIOBJECT::applicationAddressSpace, false},
        {"bitOrder", &IPIOBJECT::bitOrder, false},
        {"byteOrder", &IPIOBJECT::byteOrder, false},
        {"colourSpace", &IPIOBJECT::colourSpace, false},
        {"compression", &IPIOBJECT::compression, true},
        {"compressionMethod", &IPIOBJECT::compression, true},
        {"k", &IPIOBJECT::k, false},
        {"predictor", &IPIOBJECT::predictor, false},
        {"eolState", &IPIOBJECT::predictor, false},
        {"dataPrecision", &IPIOBJECT::dataPrecision, true},
        {"jIndexAssignment", &IPIOBJECT::jIndexAssignment, false},
        {"kIndexAssignment", &IPIOBJECT::kIndexAssignment, false},
        {"lIndexAssignment", &IPIOBJECT::lIndexAssignment, false},
        {"mIndexAssignment", &IPIOBJECT::mIndexAssignment, false},
        {"nIndexAssignment", &IPIOBJECT::nIndexAssignment, false},
        {"repository", &IPIOBJECT::repository, false},
        {"lut", &IPIOBJECT::lut, false},
        {"roi", &IPIOBJECT::roi, false},
        {"samplingFactor", &IPIOBJECT::samplingFactor, false},
        {"scaleFactor", &IPIOBJECT::scaleFactor, false},
        {"quarityFactor", &IPIOBJECT::scaleFactor, false},
        {"size", &IPIOBJECT::size, false},
        {"workSpace", &IPIOBJECT::workSpace, false},
        {"applAddressSpaceHandle", &IPIOBJECT::applAddressSpaceHandle, false},
        {"workSpaceHandle", &IPIOBJECT::workSpaceHandle, false},
        {"pixelInterpretation", &IPIOBJECT::pixelInterpretation, false},
        {"widthByteBoundary", &IPIOBJECT::widthByteBoundary, false},
        {"compressionLevel", &IPIOBJECT::compressionLevel, false},
        {"filter", &IPIOBJECT::filter, false},
    };
    for (const auto& e : kWords)
        if (std::strcmp(e.name, n) == 0) {
            *shape = e.shape;
            return &(o->*(e.field));
        }
    static const char* const kDims[] = {"xDimension", "yDimension", "zDimension", "tDimension", "bDimension"};
    static const char* const kMatch[] = {"xMatchPoint", "yMatchPoint", "zMatchPoint", "tMatchPoint",
                                         "bMatchPoint"};
    for (int i = 0; i < 5; ++i) {
        if (std::strcmp(kDims[i], n) == 0) {
            *shape = true;
            return &o->dim[i];
        }
        if (std::strcmp(kMatch[i], n) == 0) return &o->matchPoint[i];
    }
    if (std::strcmp(n, "entries") == 0) {
        *shape = true;
        return &o->dim[0];
    }
    return nullptr;
}

void ApplyClassDefaults(IPIOBJECT* o, const IPICLASS* c)
{
    o->bitOrder = ipiOrderMsbFirst;
    o->byteOrder = ipiOrderMsbFirst;
    o->k = 2;
    o->scaleFactor = 1;
    o->pixelInterpretation = ipiPixelDefault;
    o->compressionLevel = 6;
    for (int i = 0; i < 5; ++i) o->dim[i] = 1;
    switch (c->index) {
    case 0: case 1: case 2: case 9:  // images and ROI
        o->dataType = ipiTypeNonNegative;
        o->dataPrecision = 8;
        o->repository = ipiRepositoryFile;
        o->samplingFactor = 239;
        if (c->index != 9) {
            o->jIndexAssignment = 226;
            o->kIndexAssignment = 227;
            o->lIndexAssignment = 228;
            o->mIndexAssignment = 201;
            o->nIndexAssignment = 14;
        }
        break;
    case 3:  // Histogram
        o->dataType = ipiTypeIdentifier;
        o->dataPrecision = 32;
        o->dim[0] = 256;
        o->repository = ipiRepositoryWorkspace;
        break;
    case 4:  // LookupTable
        o->dataType = ipiTypeNonNegative;
        o->dataPrecision = 8;
        o->dim[0] = 256;
        o->repository = ipiRepositoryWorkspace;
        break;
    case 5:  // Matrix
        o->dataType = ipiTypeReal;
        o->dataPrecision = 32;
        o->dim[0] = o->dim[1] = 3;
        o->repository = ipiRepositoryWorkspace;
        break;
    case 6: case 7: case 8:  // arrays
        o->dataType = ipiTypeSigned;
        o->dataPrecision = 16;
        o->dim[0] = o->dim[1] = 3;
        o->repository = ipiRepositoryWorkspace;
        break;
    case 10: case 11: case 12:  // spectra
        o->dataType = ipiTypeComplex;
        o->dataPrecision = 64;
        o->repository = ipiRepositoryFile;
        break;
    case 13:  // Tuple
        o->dataType = ipiTypeReal;
        o->dataPrecision = 32;
        o->repository = ipiRepositoryWorkspace;
        break;
    case 14:  // CompositeIDArray
        o->dataType = ipiTypeIdentifier;
        o->dataPrecision = 32;
        o->repository = ipiRepositoryWorkspace;
        break;
    }
}

IPIOBJECT* FindIn(IPIOBJECT* chain, const IPIOBJECT* target, int depth)
{
    for (IPIOBJECT* o = chain; o; o = o->next) {
        if (o == target) return o->inUse ? o : nullptr;
        if (depth < 100000 && o->firstChild)
            if (IPIOBJECT* f = FindIn(o->firstChild, target, depth + 1)) return f;
    }
    return nullptr;
}

void FreeChain(IPIENVIRONMENT* env, IPIOBJECT* chain)
{
    while (chain) {
        IPIOBJECT* next = chain->next;
        FreeChain(env, chain->firstChild);
        chain->firstChild = nullptr;
        if (chain->inUse) ipiFreeObjectData(env, chain);
        delete chain;
        chain = next;
    }
}

} // namespace

IPIOBJECT::IPIOBJECT()
    : next(nullptr), firstChild(nullptr), inUse(0), flags(0), cls(nullptr), templ(nullptr),
      applicationAddressSpace(0), bitOrder(0), byteOrder(0), colourSpace(0), compression(0), k(0),
      predictor(0), dataPrecision(0), dataType(0), fileFormat(0), jIndexAssignment(0), kIndexAssignment(0),
      lIndexAssignment(0), mIndexAssignment(0), nIndexAssignment(0), repository(0), lut(0), roi(0),
      samplingFactor(0), scaleFactor(0), size(0), dim{0, 0, 0, 0, 0}, matchPoint{0, 0, 0, 0, 0}, workSpace(0),
      applAddressSpaceHandle(0), workSpaceHandle(0), pixelInterpretation(0), widthByteBoundary(0),
      compressionLevel(0), filter(0)
{
}

IPIOBJECT::~IPIOBJECT() = default;

IPIOBJECT* ipiIsValidObject(IPIENVIRONMENT* env, IPIOBJECT* object)
{
    if (ipiCheckEnvironment(env)) return nullptr;
    IPIOBJECT* o = object ? FindIn(env->root, object, 0) : nullptr;
    if (!o) ipiReportError(env, ipiErrInvalidInstance);
    return o;
}

const IPICLASS* ipiGetObjectClass(IPIENVIRONMENT* env, IPIOBJECT* object)
{
    IPIOBJECT* o = ipiIsValidObject(env, object);
    return o ? o->cls : nullptr;
}

namespace {

// Whether an object of `cls` may be made from `templ`: the same class, or
// image classes (and regions and spectra) from any image; 0 or the error.
int CheckTemplate(IPIENVIRONMENT* env, const IPICLASS* cls, IPIOBJECT* templ)
{
    if (!ipiIsValidObject(env, templ)) return ipiErrInvalidInstance;  // reported
    if (templ->cls == cls) return 0;
    const bool ok = ipiIsImageClass(cls) ? ipiIsImageClass(templ->cls)
                                         : ((cls == &ipiClassROI || IsSpectrumClass(cls)) && ipiIsImageClass(templ->cls));
    return ok ? 0 : ipiReportError(env, ipiErrMismatchObjectClass);
}

// A record for a new object in the chain under `templ` (or the root): the
// first unused one, cleared in its place, or a new one at the chain's end.
IPIOBJECT* TakeRecord(IPIENVIRONMENT* env, IPIOBJECT* templ)
{
    IPIOBJECT** head = templ ? &templ->firstChild : &env->root;
    IPIOBJECT** tail = head;
    for (IPIOBJECT* o = *head; o; o = o->next) {
        if (!o->inUse) {
            // Reset a reused record, keeping its place in the chain.
            IPIOBJECT* next = o->next;
            IPIOBJECT* child = o->firstChild;
            o->~IPIOBJECT();
            new (o) IPIOBJECT;
            o->next = next;
            o->firstChild = child;
            return o;
        }
        tail = &o->next;
    }
    auto* record = new (std::nothrow) IPIOBJECT;
    if (!record) {
        errno = ENOMEM;
        ipiReportError(env, ipiErrSystem);
        return nullptr;
    }
    *tail = record;
    return record;
}

// The template's attribute words, without its data, then what the class
// fixes of them.
void CopyTemplateWords(IPIENVIRONMENT* env, IPIOBJECT* record, const IPIOBJECT* templ, const IPICLASS* cls)
{
    record->applicationAddressSpace = 0;
    record->bitOrder = templ->bitOrder;
    record->byteOrder = templ->byteOrder;
    record->colourSpace = templ->colourSpace;
    record->compression = templ->compression;
    record->k = templ->k;
    record->predictor = templ->predictor;
    record->dataPrecision = templ->dataPrecision;
    record->dataType = templ->dataType;
    record->jIndexAssignment = templ->jIndexAssignment;
    record->kIndexAssignment = templ->kIndexAssignment;
    record->lIndexAssignment = templ->lIndexAssignment;
    record->mIndexAssignment = templ->mIndexAssignment;
    record->nIndexAssignment = templ->nIndexAssignment;
    record->repository = templ->repository;
    record->lut = templ->lut;
    record->roi = templ->roi;
    record->samplingFactor = templ->samplingFactor;
    record->scaleFactor = templ->scaleFactor;
    record->size = templ->size;
    for (int i = 0; i < 5; ++i) {
        record->dim[i] = templ->dim[i];
        record->matchPoint[i] = templ->matchPoint[i];
    }
    record->applAddressSpaceHandle = 0;
    record->pixelInterpretation = templ->pixelInterpretation;
    record->widthByteBoundary = templ->widthByteBoundary;
    record->compressionLevel = templ->compressionLevel;
    record->filter = templ->filter;
    if (cls == &ipiClassColourImage) record->dim[2] = record->dim[3] = 1;
    if (cls == &ipiClassMonochromeImage) record->dim[2] = record->dim[3] = record->dim[4] = 1;
    if (cls == &ipiClassROI) {
        record->dataType = ipiTypeNonNegative;
        record->dataPrecision = env->nonnegativeIntegerPrecision;
    }
    if (cls == &ipiClassPowerSpectrumArray || cls == &ipiClassTransferFunctionArray) {
        record->dataType = ipiTypeComplex;
        record->dataPrecision = env->complexArithmeticPrecision;
    }
    if (cls == &ipiClassWindowFunctionArray) {
        record->dataType = ipiTypeReal;
        record->dataPrecision = env->realArithmeticPrecision;
    }
}

// A new object's attribute words without a template: the class's defaults.
void SetClassWords(IPIENVIRONMENT* env, IPIOBJECT* record, const IPICLASS* cls)
{
    ApplyClassDefaults(record, cls);
    if (cls == &ipiClassDitherArray) {
        record->dataType = ipiTypeNonNegative;
        record->dataPrecision = env->nonnegativeIntegerPrecision;
        record->dim[0] = record->dim[1] = 4;
        record->scaleFactor = 16;
    } else if (cls == &ipiClassMaskArray) {
        record->dataType = ipiTypeNonNegative;
        record->dataPrecision = env->nonnegativeIntegerPrecision;
    } else if (cls == &ipiClassWindowFunctionArray) {
        record->dataType = ipiTypeReal;
        record->dataPrecision = env->realArithmeticPrecision;
    }
}

} // namespace

IPIOBJECT* ipiCreateObject(IPIENVIRONMENT* env, const char* name, const IPICLASS* cls, IPIOBJECT* templ,
                           const IPIATTRIBUTE* attributes, int count)
{
    if (ipiCheckEnvironment(env)) return nullptr;
    if (!IsKnownClass(cls)) {
        ipiReportError(env, ipiErrIncorrectObjectClass);
        return nullptr;
    }
    if (templ && CheckTemplate(env, cls, templ) != 0) return nullptr;
    IPIOBJECT* record = TakeRecord(env, templ);
    if (!record) return nullptr;
    record->inUse = 1;
    record->flags = 0;
    if (name && *name) record->name = name;
    record->cls = cls;
    record->templ = templ;
    if (templ) {
        CopyTemplateWords(env, record, templ, cls);
        if (ipiCopyFormatData(env, record, templ) != 0) {
            ipiDestroyObject(env, record);
            return nullptr;
        }
    } else {
        SetClassWords(env, record, cls);
    }
    ipiSetAttributes(env, record, attributes, count);
    return record;
}

#define IPI_CREATE(fn, cls)                                                                            \
    IPIOBJECT* fn(IPIENVIRONMENT* e, const char* n, IPIOBJECT* t, const IPIATTRIBUTE* a, int c)       \
    {                                                                                                  \
        return ipiCreateObject(e, n, &cls, t, a, c);                                                   \
    }
IPI_CREATE(ipiCreateGenericImage, ipiClassGenericImage)
IPI_CREATE(ipiCreateMonochromeImage, ipiClassMonochromeImage)
IPI_CREATE(ipiCreateHistogram, ipiClassHistogram)
IPI_CREATE(ipiCreateLookupTable, ipiClassLookupTable)
IPI_CREATE(ipiCreateMatrix, ipiClassMatrix)
IPI_CREATE(ipiCreateDitherArray, ipiClassDitherArray)
IPI_CREATE(ipiCreateImpulseResponseArray, ipiClassImpulseResponseArray)
IPI_CREATE(ipiCreateMaskArray, ipiClassMaskArray)
IPI_CREATE(ipiCreateROI, ipiClassROI)
IPI_CREATE(ipiCreatePowerSpectrumArray, ipiClassPowerSpectrumArray)
IPI_CREATE(ipiCreateTransferFunctionArray, ipiClassTransferFunctionArray)
IPI_CREATE(ipiCreateWindowFunctionArray, ipiClassWindowFunctionArray)
IPI_CREATE(ipiCreateTuple, ipiClassTuple)
IPI_CREATE(ipiCreateCompositeIDArray, ipiClassCompositeIDArray)
#undef IPI_CREATE

int ipiDestroyObject(IPIENVIRONMENT* env, IPIOBJECT* object)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    IPIOBJECT* o = ipiIsValidObject(env, object);
    if (!o) return env->lastError;
    o->inUse = 0;
    ipiFreeObjectData(env, o);
    FreeChain(env, o->firstChild);
    o->firstChild = nullptr;
    o->elements.clear();
    return 0;
}

void ipiFreeObjectTree(IPIENVIRONMENT* env)
{
    FreeChain(env, env->root);
    env->root = nullptr;
}

int ipiCopyFormatData(IPIENVIRONMENT* env, IPIOBJECT* object, IPIOBJECT* templ)
{
    object->format.reset();
    object->fileFormat = templ->fileFormat;
    if (!templ->format) return 0;
    std::unique_ptr<IpiFormatData> copy(new (std::nothrow) IpiFormatData);
    if (!copy) {
        errno = ENOMEM;
        return ipiReportError(env, ipiErrSystem);
    }
    try {
        *copy = *templ->format;
    } catch (...) {
        errno = ENOMEM;
        return ipiReportError(env, ipiErrSystem);
    }
    object->format = std::move(copy);
    return 0;
}

void ipiFreeFormatData(IPIENVIRONMENT*, IPIOBJECT* object) { object->format.reset(); }

int ipiSetAttributes(IPIENVIRONMENT* env, IPIOBJECT* object, const IPIATTRIBUTE* attributes, int count)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!attributes || count < 1) return 0;
    int restarts = 0;
    for (int i = 0; i < count; ++i) {
        const char* n = attributes[i].name;
        IPIVALUE v = attributes[i].value;
        if (!n) continue;
        bool shape = false;
        if (IPIVALUE* w = Word(object, n, &shape)) {
            *w = v;
            if (shape) object->flags &= ~ipiFlagInited;
            continue;
        }
        if (std::strcmp(n, "dataType") == 0) {
            object->dataType = v;
            object->flags &= ~ipiFlagInited;
            switch (v) {
            case ipiTypeBoolean: object->dataPrecision = env->booleanPrecision; break;
            case ipiTypeComplex: object->dataPrecision = env->complexArithmeticPrecision; break;
            case ipiTypeNonNegative: object->dataPrecision = env->nonnegativeIntegerPrecision; break;
            case ipiTypeReal: object->dataPrecision = env->realArithmeticPrecision; break;
            case ipiTypeSigned: object->dataPrecision = env->signedIntegerPrecision; break;
            default: break;
            }
            continue;
        }
        if (std::strcmp(n, "fileName") == 0) {
            const char* s = reinterpret_cast<const char*>(v);
            if (object->fileName.empty() && s && *s) object->fileName = s;
            continue;
        }
        if (std::strcmp(n, "inited") == 0) {
            if (v) object->flags |= ipiFlagInited;
            else object->flags &= ~ipiFlagInited;
            continue;
        }
        if (std::strcmp(n, "tmpnam") == 0) continue;
        if (std::strcmp(n, "fileFormat") == 0) {
            if (object->fileFormat == v) continue;
            object->format.reset();
            object->fileFormat = v;
            if (NamesOf(int(v))) {
                object->format = NewFormat(int(v));
                if (!object->format) {
                    errno = ENOMEM;
                    return ipiReportError(env, ipiErrSystem);
                }
            }
            if (v != 0 && restarts++ < 4) i = -1;
            continue;
        }
        if (object->format) {
            SetResult r = SetFormatValue(*object->format, n, v);
            if (r == SetResult::Failed) {
                errno = ENOMEM;
                return ipiReportError(env, ipiErrSystem);
            }
            if (r == SetResult::Restart && restarts++ < 4) i = -1;
        }
    }
    return 0;
}

int ipiSetAttribute(IPIENVIRONMENT* env, IPIOBJECT* object, const char* name, IPIVALUE value)
{
    IPIATTRIBUTE a = {name, value};
    return ipiSetAttributes(env, object, &a, 1);
}

namespace {

bool GetOne(IPIOBJECT* object, const char* n, IPIVALUE* out)
{
    bool shape = false;
    if (IPIVALUE* w = Word(object, n, &shape)) {
        *out = *w;
        return true;
    }
    if (std::strcmp(n, "dataType") == 0) { *out = object->dataType; return true; }
    if (std::strcmp(n, "fileFormat") == 0) { *out = object->fileFormat; return true; }
    if (std::strcmp(n, "fileName") == 0) {
        *out = object->fileName.empty() ? 0 : reinterpret_cast<IPIVALUE>(object->fileName.c_str());
        return true;
    }
    if (std::strcmp(n, "inited") == 0) { *out = (object->flags & ipiFlagInited) ? 1 : 0; return true; }
    if (std::strcmp(n, "tmpnam") == 0) { *out = (object->flags & ipiFlagTmpnam) ? 1 : 0; return true; }
    if (object->format) return GetFormatValue(*object->format, n, out);
    return false;
}

} // namespace

int ipiGetAttributes(IPIENVIRONMENT* env, IPIOBJECT* object, const IPIATTRIBUTE* attributes, int count)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, object)) return ipiErrInvalidInstance;
    if (!attributes) return 0;
    for (int i = 0; i < count; ++i) {
        if (!attributes[i].name || !attributes[i].value) continue;
        IPIVALUE v = 0;
        if (GetOne(object, attributes[i].name, &v)) *reinterpret_cast<IPIVALUE*>(attributes[i].value) = v;
    }
    return 0;
}

IPIVALUE ipiGetObjectAttribute(IPIENVIRONMENT* env, IPIOBJECT* object, const char* name)
{
    if (ipiCheckEnvironment(env) || !name || !ipiIsValidObject(env, object)) return 0;
    IPIVALUE v = 0;
    GetOne(object, name, &v);
    return v;
}

int64_t ipiObjectDataSize(const IPIENVIRONMENT* env, const IPIOBJECT* o)
{
    int64_t precision = o->dataPrecision;
    if (o->dataType == ipiTypeNonNegative && precision < 8) precision = env ? env->nonnegativeIntegerPrecision : 8;
    if (precision <= 0 || precision > 128) return -1;
    for (int i = 0; i < 5; ++i)
        if (o->dim[i] < 0 || o->dim[i] > kIpiMaxBytes * 8) return -1;
    const IPICLASS* c = o->cls;
    __int128 elements = 1;
    if (ipiIsImageClass(c) || c == &ipiClassROI)
        elements = __int128(o->dim[4]) * o->dim[3] * o->dim[2] * o->dim[1];
    else if (c == &ipiClassMatrix || c == &ipiClassDitherArray || c == &ipiClassImpulseResponseArray ||
             c == &ipiClassMaskArray)
        elements = o->dim[1];
    else if (c == &ipiClassLookupTable)
        elements = o->dim[4];
    else if (IsSpectrumClass(c))
        return 0;
    __int128 bits = elements * o->dim[0] * precision;
    __int128 bytes = (bits + 7) / 8;
    if (bytes > kIpiMaxBytes) return -1;
    return int64_t(bytes);
}
