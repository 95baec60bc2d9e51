#pragma once
// TIFF reader of the image kernel (file format 207): header and directory
// chain, page description on the target object, colour map into its `lut`,
// and the pixel stage that moves strip data into the target (uncompressed
// data converted, compressed strips copied as they stand for ipiDecompress).
#include "thumbctl/kernel/ipi_base.h"

namespace tiff {
struct Page;
}

// Registered reader for 207 (see ipi_registry.h). A CompositeIDArray target
// receives one page per element, from page `xMatchPoint` on, at most
// `entries` pages; any other target the first page.
int TiffReadFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector);

// Registered page counter for 207: the pages of the directory chain (a
// chain that loops back or runs past the data ends where it breaks).
int TiffCountPages(IPIENVIRONMENT* env, IPIOBJECT* source);

// Reads the one page whose directory begins at `ifdOffset` into `target`.
int TiffReadImage(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector, uint32_t ifdOffset);

// Pixel stage: strip data of `page` from `in` (the file's bytes) into target.
// A bitmap-layout target (bottom-up rows, blue, green, red; its xDimension
// the row stride in samples, or in bytes for colour) takes uncompressed and
// PackBits pages decoded straight from the strips.
int TiffDecodeStripData(IPIENVIRONMENT* env, IPIACCESSOR* in, IPIOBJECT* target, const tiff::Page& page);
