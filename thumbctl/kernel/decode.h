#pragma once
// Decode entry points of the image kernel: the only calls the thumbnail-list
// control makes. Each call opens its own kernel environment and closes it
// before returning. Bitmaps come back as packed DIBs in global-memory blocks
// (ipi_memory.h, 32-bit handles) that the caller owns and frees with
// ipiGlobalFree; a failed call leaves no block behind.
//
// Decode formats: 4 TIFF, 5 JPEG, 6 GIF, 7 BMP, 40 PCX, 44 PNG, 45 picture
// container. `error` receives 0, -100 (bad format or argument), -1 (no
// memory), 25 (cannot open), 22 (malformed data), 12 (no decoder) or
// another kernel code.
#include "thumbctl/kernel/ipi_base.h"
#include "thumbctl/kernel/ipi_memory.h"

enum DecodeFormat : int {
    DecodeFormatTiff = 4,
    DecodeFormatJpeg = 5,
    DecodeFormatGif = 6,
    DecodeFormatBmp = 7,
    DecodeFormatPcx = 40,
    DecodeFormatPng = 44,
    DecodeFormatCgm = 45,
};

// `dibs` holds `count` handles. TIFF: decodes up to `count` pages from
// `page` on and returns how many; other formats: one bitmap into dibs[0],
// returns 1. 0 on failure. `attributes` (optional): `repository` (33 or
// other), for PNG `progressive`, `interlacePass` (1..7), and `boxWidth` with
// `boxHeight` (both at least 1) when the bitmap is only going to be shrunk
// into a box of that size: a JPEG then comes back at 1/2, 1/4 or 1/8 of its
// size (sides rounded up), the smallest that still reaches the box's width
// or its height, so that it still covers the picture fitted into the box;
// `pictureSize`, the address of two IPIVALUEs, then receives the JPEG's own
// width and height. Only the picture's own bytes are decoded: from memory up
// to where its format marks its end, from a file as ReadImageFileToGlobal
// reads it (a large TIFF in place); data that ends before the picture is
// complete, or that cannot fill the size its header declares, is refused.
int DecodeImageFromMemory(const void* data, IPIHANDLE* dibs, int count, int format, int page, int64_t size,
                          const IPIATTRIBUTE* attributes, int attributeCount, int* error);
int DecodeImageFromFile(const char* path, IPIHANDLE* dibs, int count, int format, int page,
                        const IPIATTRIBUTE* attributes, int attributeCount, int* error);

// The bytes of an image file that its decode format reads, as
// DecodeImageFromFile reads them: from the start up to where the format
// marks its end (a JPEG's EOI, a PNG's IEND, a GIF's trailer, a picture
// container's end word, the furthest directory, value or strip of a TIFF,
// a BMP's declared rows, a PCX's run-length data and table), looked for no
// further than the declared picture can take (ipi_extent.h); the whole file
// when it ends first, at most the kernel's size cap. A new global block the
// caller frees; 0 with *error 25 (cannot open a regular file), 22 (empty, or
// no end within what the picture can take) or -1 (too large, no memory,
// read failure).
IPIHANDLE ReadImageFileToGlobal(const char* path, int format, int* error);

// TIFF: number of pages (0 with error on failure); GIF: 1; others: 0 with
// error -100.
int CountPagesInMemory(const void* data, int format, int64_t size, const IPIATTRIBUTE* attributes,
                       int attributeCount, int* error);
int CountPagesInFile(const char* path, int format, const IPIATTRIBUTE* attributes, int attributeCount,
                     int* error);
