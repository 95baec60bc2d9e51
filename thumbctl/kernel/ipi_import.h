#pragma once
// Import, export, decompression, composite arrays, pixel copy and image
// information: the kernel's front towards files and memory.
#include "thumbctl/kernel/ipi_base.h"
#include "thumbctl/kernel/ipi_memory.h"

// Reads an image into `target` by file format code with a selector (0, 171,
// 172). Source: the named file, or memory when `attributes` holds
// `applicationAddressSpace` (then `size` is required: the byte count).
int ipiImportFile(IPIENVIRONMENT* env, const char* fileName, IPIOBJECT* target, int fileFormat,
                  int selector, const IPIATTRIBUTE* attributes, int count);
// Whole image (attributes, data, decompression) from memory / from a file
// (read in place through the file, never copied whole).
// A CompositeIDArray target receives all pages from its `xMatchPoint` on.
int ipiImportIntoObject(IPIENVIRONMENT* env, const void* data, IPIOBJECT* target, int fileFormat,
                        int64_t size, const IPIATTRIBUTE* attributes, int count);
int ipiImportFileIntoObject(IPIENVIRONMENT* env, const char* fileName, IPIOBJECT* target, int fileFormat,
                            const IPIATTRIBUTE* attributes, int count);

// Page count of a TIFF (207) or picture container (216); other formats
// report 12; 0 means failure (error recorded).
int ipiOpenMultiImageFromMemory(IPIENVIRONMENT* env, const void* data, int fileFormat, int64_t size);
int ipiOpenMultiImageFromFile(IPIENVIRONMENT* env, const char* fileName, int fileFormat);
// TIFF page count over a source object (registered page counter for 207).

// Element n of a CompositeIDArray (null / error 18 beyond `entries`).
IPIOBJECT* ipiGetCompositeElement(IPIENVIRONMENT* env, IPIOBJECT* array, int64_t n);
int ipiSetCompositeElement(IPIENVIRONMENT* env, IPIOBJECT* object, IPIOBJECT* array, int64_t n);

// Decodes `source`'s compressed data into `destination` (compression 0)
// through the decoder registered for the source's compression; 12 when none.
int ipiDecompress(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination);

// Writes `object` into caller memory as BMP (225), DIB (255) or DIB header
// and colour table (271). `memory` must hold `memorySize` bytes.
int ipiExportDib(IPIENVIRONMENT* env, IPIOBJECT* object, void* memory, int64_t memorySize, int fileFormat,
                 const IPIATTRIBUTE* options, int count);
// As ipiExportDib with options `compression` (0 or 234: BMP run-length) and
// `dataPrecision`.
int ipiExportCompressed(IPIENVIRONMENT* env, IPIOBJECT* object, void* memory, int64_t memorySize,
                        int fileFormat, const IPIATTRIBUTE* options, int count);

// Pixel copy between objects (match points, clipping, regions).
int ipiConvertPixels(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination);
int ipiCopyImageData(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination);
// Wraps `memory` (`size` bytes given in the attribute list, or the object's
// data size) as an object of target's class and converts it into `target`.
int ipiImportFromMemory(IPIENVIRONMENT* env, const void* memory, IPIOBJECT* target,
                        const IPIATTRIBUTE* attributes, int count);

// Image information by decode format code (4, 5, 6, 7, 40, 44, 45).
// `attributes` is a get-list (values are IPIVALUE addresses) of
// xDimension, yDimension, compression, colorMode, predictor,
// photometricInterpretation, interlaced, transparency,
// transparencyPaletteIndex, xResolution, yResolution. For TIFF each value
// is the address of an array of `count` IPIVALUEs (one per page from
// `index`). Returns 0 or the error (also in *error).
int GetImageInfo(const char* path, int count, int index, int format, const IPIATTRIBUTE* attributes,
                 int attributeCount, int* error);
int GetImageInfoFromMemory(const void* data, int count, int index, int format, int64_t size,
                           const IPIATTRIBUTE* attributes, int attributeCount, int* error);

// Decode format code (4, 5, 6, 7, 40, 44, 45) to kernel file format; 0 for
// an unknown code.
int ipiFileFormatOfDecodeFormat(int decodeFormat);
