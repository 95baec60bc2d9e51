#pragma once
// Image objects, classes and attributes.
//
// Everything the kernel works on is an IPIOBJECT: named attributes plus data
// in a data store (ipi_store.h). Codecs never touch the record's fields; they
// read and write attributes by name:
//
//   IPIVALUE w = ipiGetObjectAttribute(env, obj, "xDimension");
//   ipiSetAttribute(env, obj, "dataType", ipiTypeNonNegative);
//   IPIATTRIBUTE list[] = {{"xDimension", w}, {"yDimension", h}};
//   ipiSetAttributes(env, obj, list, 2);
//
// Setting a shape attribute (dimensions, compression, dataType,
// dataPrecision) clears `inited`. Setting `fileFormat` gives the object the
// format record of that format (TIFF, GIF, JPEG, PNG, PCX, BMP, picture
// container); format attributes (e.g. "photometricInterpretation",
// "stripsPerImage", "colourType", "bytePerLine") are then set and read by
// name the same way; names the object's format does not know are skipped.
// A CompositeIDArray holds object handles: use ipiGetCompositeElement /
// ipiSetCompositeElement (ipi_import.h).
#include "thumbctl/kernel/ipi_base.h"
#include "thumbctl/kernel/ipi_memory.h"

#include <memory>
#include <string>
#include <vector>

struct IPICLASS {
    const char* name;
    int index;  // 0..14 in the order below
};

// The 15 classes; the class identity is the entry's address.
extern const IPICLASS ipiClassColourImage;
extern const IPICLASS ipiClassGenericImage;
extern const IPICLASS ipiClassMonochromeImage;
extern const IPICLASS ipiClassHistogram;
extern const IPICLASS ipiClassLookupTable;
extern const IPICLASS ipiClassMatrix;
extern const IPICLASS ipiClassDitherArray;
extern const IPICLASS ipiClassImpulseResponseArray;
extern const IPICLASS ipiClassMaskArray;
extern const IPICLASS ipiClassROI;
extern const IPICLASS ipiClassPowerSpectrumArray;
extern const IPICLASS ipiClassTransferFunctionArray;
extern const IPICLASS ipiClassWindowFunctionArray;
extern const IPICLASS ipiClassTuple;
extern const IPICLASS ipiClassCompositeIDArray;

bool ipiIsImageClass(const IPICLASS* c);  // ColourImage, GenericImage, MonochromeImage

// Format record of the object's current `fileFormat` (kernel internal).
struct IpiFormatData;

struct IPIOBJECT {
    IPIOBJECT* next;        // next record of the same chain
    IPIOBJECT* firstChild;  // chain of objects created from this one
    int inUse;
    int flags;              // bit 0 inited, bit 1 tmpnam
    std::string name;
    const IPICLASS* cls;
    IPIOBJECT* templ;

    // The attribute words.
    IPIVALUE applicationAddressSpace;
    IPIVALUE bitOrder;
    IPIVALUE byteOrder;
    IPIVALUE colourSpace;
    IPIVALUE compression;   // also `compressionMethod`
    IPIVALUE k;
    IPIVALUE predictor;     // also `eolState`
    IPIVALUE dataPrecision;
    IPIVALUE dataType;
    IPIVALUE fileFormat;
    std::string fileName;   // `fileName` (read back as a const char*)
    IPIVALUE jIndexAssignment, kIndexAssignment, lIndexAssignment, mIndexAssignment, nIndexAssignment;
    IPIVALUE repository;
    IPIVALUE lut;           // IPIOBJECT* of a LookupTable
    IPIVALUE roi;           // IPIOBJECT* of a ROI
    IPIVALUE samplingFactor;
    IPIVALUE scaleFactor;   // also `quarityFactor`
    IPIVALUE size;          // bytes of stored (compressed) data or of a memory source
    IPIVALUE dim[5];        // x (`entries`), y, z, t, b
    IPIVALUE matchPoint[5];
    IPIVALUE workSpace;     // locked pointer of the workspace block
    IPIVALUE applAddressSpaceHandle;
    IPIVALUE workSpaceHandle;  // IPIHANDLE of the workspace block
    IPIVALUE pixelInterpretation;
    IPIVALUE widthByteBoundary;
    IPIVALUE compressionLevel;
    IPIVALUE filter;

    std::unique_ptr<IpiFormatData> format;
    std::vector<IPIOBJECT*> elements;  // CompositeIDArray elements

    IPIOBJECT();
    ~IPIOBJECT();
};

enum : int { ipiFlagInited = 1, ipiFlagTmpnam = 2 };

// Creation; null on failure (error recorded: 24, 6, 9, 11 or -1).
IPIOBJECT* ipiCreateObject(IPIENVIRONMENT* env, const char* name, const IPICLASS* cls,
                           IPIOBJECT* templ, const IPIATTRIBUTE* attributes, int count);
IPIOBJECT* ipiCreateGenericImage(IPIENVIRONMENT*, const char*, IPIOBJECT*, const IPIATTRIBUTE*, int);
IPIOBJECT* ipiCreateMonochromeImage(IPIENVIRONMENT*, const char*, IPIOBJECT*, const IPIATTRIBUTE*, int);
IPIOBJECT* ipiCreateHistogram(IPIENVIRONMENT*, const char*, IPIOBJECT*, const IPIATTRIBUTE*, int);
IPIOBJECT* ipiCreateLookupTable(IPIENVIRONMENT*, const char*, IPIOBJECT*, const IPIATTRIBUTE*, int);
IPIOBJECT* ipiCreateMatrix(IPIENVIRONMENT*, const char*, IPIOBJECT*, const IPIATTRIBUTE*, int);
IPIOBJECT* ipiCreateDitherArray(IPIENVIRONMENT*, const char*, IPIOBJECT*, const IPIATTRIBUTE*, int);
IPIOBJECT* ipiCreateImpulseResponseArray(IPIENVIRONMENT*, const char*, IPIOBJECT*, const IPIATTRIBUTE*, int);
IPIOBJECT* ipiCreateMaskArray(IPIENVIRONMENT*, const char*, IPIOBJECT*, const IPIATTRIBUTE*, int);
IPIOBJECT* ipiCreateROI(IPIENVIRONMENT*, const char*, IPIOBJECT*, const IPIATTRIBUTE*, int);
IPIOBJECT* ipiCreatePowerSpectrumArray(IPIENVIRONMENT*, const char*, IPIOBJECT*, const IPIATTRIBUTE*, int);
IPIOBJECT* ipiCreateTransferFunctionArray(IPIENVIRONMENT*, const char*, IPIOBJECT*, const IPIATTRIBUTE*, int);
IPIOBJECT* ipiCreateWindowFunctionArray(IPIENVIRONMENT*, const char*, IPIOBJECT*, const IPIATTRIBUTE*, int);
IPIOBJECT* ipiCreateTuple(IPIENVIRONMENT*, const char*, IPIOBJECT*, const IPIATTRIBUTE*, int);
IPIOBJECT* ipiCreateCompositeIDArray(IPIENVIRONMENT*, const char*, IPIOBJECT*, const IPIATTRIBUTE*, int);

// 0, or the last error when the object is not valid (9 recorded).
int ipiDestroyObject(IPIENVIRONMENT* env, IPIOBJECT* object);
// The object when alive in env's tree; else reports 9 and returns null.
IPIOBJECT* ipiIsValidObject(IPIENVIRONMENT* env, IPIOBJECT* object);
// Class after a validity check (null when invalid).
const IPICLASS* ipiGetObjectClass(IPIENVIRONMENT* env, IPIOBJECT* object);

// Attribute lists. Set: 0, or -1 when an allocation failed (unknown names
// are skipped). Get: each value is the address of an IPIVALUE.
int ipiSetAttributes(IPIENVIRONMENT* env, IPIOBJECT* object, const IPIATTRIBUTE* attributes, int count);
int ipiSetAttribute(IPIENVIRONMENT* env, IPIOBJECT* object, const char* name, IPIVALUE value);
int ipiGetAttributes(IPIENVIRONMENT* env, IPIOBJECT* object, const IPIATTRIBUTE* attributes, int count);
// One attribute of a valid object (0 when unknown or invalid).
IPIVALUE ipiGetObjectAttribute(IPIENVIRONMENT* env, IPIOBJECT* object, const char* name);

// Format records: copy the template's format (code and record) into the
// object; free the object's record.
int ipiCopyFormatData(IPIENVIRONMENT* env, IPIOBJECT* object, IPIOBJECT* templ);
void ipiFreeFormatData(IPIENVIRONMENT* env, IPIOBJECT* object);

// Convenience for kernel code.
inline bool ipiIsInited(const IPIOBJECT* o) { return (o->flags & ipiFlagInited) != 0; }
// Byte size of an object's uncompressed data as the stores lay it out
// (elements x xDimension x precision, precision below 8 raised to 8 for
// non-negative integers); -1 when it overflows kIpiMaxBytes.
int64_t ipiObjectDataSize(const IPIENVIRONMENT* env, const IPIOBJECT* o);

// Frees the whole tree of an environment (close uses it).
void ipiFreeObjectTree(IPIENVIRONMENT* env);
