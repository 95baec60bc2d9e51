#pragma once
// Reader of the picture container (file format 216): a record-structured
// file whose pictures each carry a binary CGM (ISO 8632) holding one bilevel
// raster as a CELL ARRAY, CCITT-coded (Group 3 one- or two-dimensional,
// Group 4) or uncompressed.
//
// Layout (big-endian; a word is 4 bytes): two EBCDIC digits N and "#", the
// start word 0xF1118000 at N x 256, then per picture: 0xF1108000, 24 header
// bytes (byte 12 = 0xF1), 0xF110 + flag (0x8000: two end words), 0xF500 + L
// + L skipped bytes, 0xF401 + L + the CGM stream, or 0xF501 + length and the
// stream in continuation records (0xF0 0x04 + M + M bytes) followed by
// trailing records, then the end word 0xF0000000 (twice with the flag). The
// container ends with 0xF0000000.
#include "thumbctl/kernel/ipi_base.h"
#include "thumbctl/kernel/ipi_extent.h"

namespace cgm {

// Container words.
constexpr uint32_t kStartWord = 0xF1118000u;
constexpr uint32_t kPictureWord = 0xF1108000u;
constexpr uint32_t kEndWord = 0xF0000000u;

// CELL ARRAY codes of the container.
constexpr uint16_t kCellArrayMarker = 0xF007;

// Kernel compression (80, 81, 82 or 0) of a CELL ARRAY compression code
// (242, 243, 244, 245, 249); -1 for another code. *k receives the K of the
// two-dimensional codes (2 or 4), else 0.
int CompressionOfCode(int code, int* k);

// Resolution of a resolution code; false for an unknown code.
bool ResolutionOfCode(int code, int* x, int* y, int* unit);

} // namespace cgm

// Registered reader for 216 (see ipi_registry.h). A CompositeIDArray target
// receives one picture per element from picture `xMatchPoint` on; any other
// target the first picture. CCITT rasters are copied as they stand
// (`compression` 80/81/82, `size`); uncompressed rasters are written row by
// row.
int CgmContainerReadFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector);

// Registered page counter for 216: the number of pictures (0 with the error
// reported: 8 for a record past the end of the data, 22 for a malformed one).
int CgmCountPages(IPIENVIRONMENT* env, IPIOBJECT* source);

// The bytes of a container (ipi_extent.h): up to and with its end word.
uint64_t CgmContainerExtent(const IpiByteSource& src);
