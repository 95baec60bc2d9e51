#pragma once
// Windows bitmap codec: BMP / DIB reader and writer, the BMP run-length
// decoder and encoder, and the PackBits decoder (TIFF strips).
#include "thumbctl/kernel/ipi_base.h"
#include "thumbctl/kernel/ipi_extent.h"

// Reader for 225 (BMP file) and 255 (packed DIB); see ipi_registry.h.
int BmpReadFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector, int fileFormat);
int BmpReadBmp(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector);  // 225
int BmpReadDib(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector);  // 255
// Writes `source` into `target`'s store as 225, 255 or 271; the target's
// `compression` 234 stores bytes the run-length encoder made.
int BmpWriteFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int fileFormat);

// The bytes of a BMP file (ipi_extent.h): the pixel offset plus the rows
// its header declares, or the run-length data of its stated size (when the
// size is not stated, the codes up to the end of the bitmap).
uint64_t BmpFileExtent(const IpiByteSource& src);

// Decoders (registered for compressions 234 and 156).
int BmpRleDecode(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target);
int PackBitsDecode(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target);
// The most bytes `codeBytes` bytes of PackBits codes can expand to: a
// two-byte code repeats its byte at most 128 times. A strip whose rows need
// more cannot be filled by its codes.
inline int64_t PackBitsMostBytes(int64_t codeBytes) { return codeBytes / 2 * 128; }
// Expands the PackBits codes of one TIFF strip (`size` bytes at p) into
// out[0, n), each byte XOR `mask`: 128 is a no-op, and a code that passes n
// is cut there. False when the codes end first.
bool PackBitsExpand(const uint8_t* p, int64_t size, uint8_t* out, int64_t n, uint8_t mask);

// Run-length encoder: pixels of `source` (153, one byte per pixel) into
// `target` (compression 234, dataPrecision 8 or 4); sets target `size`.
int ipiTransferPixels(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target);
