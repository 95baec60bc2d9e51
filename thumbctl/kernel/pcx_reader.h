#pragma once
// PCX in the kernel: the header parser / reader (format 246) and the
// run-length decoder registered for compression 247. The plain parsing lives
// in PcxParse / PcxExpand so that it can be driven without kernel objects.
#include "thumbctl/kernel/ipi_base.h"
#include "thumbctl/kernel/ipi_extent.h"

#include <vector>

struct PcxInfo {
    int mode = 0;         // 1 bilevel, 2 16-colour, 3 8-bit, 4 24-bit
    int width = 0, height = 0;
    int bitsPerPixel = 0, planes = 0, bytesPerLine = 0;
    int version = 0, hRes = 0, vRes = 0, paletteInfo = 0;
    size_t dataSize = 0;            // run-length bytes from offset 128
    int paletteEntries = 0;         // 2, 16, 256 or 0
    std::vector<uint8_t> palette;   // paletteEntries x (r, g, b)
};

// Header, extent of the run-length data and palette. Kernel code: 0, 19
// (4 bits per pixel), 22 (anything malformed or cut short, a run that passes
// the end of the picture's data, or a 256-colour table without its marker
// byte 12, found right after the run-length data or else in the last 769
// bytes with only zeros between). A two-colour header table whose two
// entries are equal (writers often leave it zero) gives black and white.
int PcxParse(const uint8_t* data, size_t size, PcxInfo* info);
// Expands run-length data into scan lines of planes x bytesPerLine bytes
// each (`lines` of them); 22 when the data runs out.
int PcxExpand(const uint8_t* rle, size_t size, int lineBytes, int lines, std::vector<uint8_t>* out);

int PcxReadFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector);
// The bytes of a PCX file (ipi_extent.h): at most the header, the most
// run-length data its lines can take and a 256-colour table; the reader
// finds the data's end within them.
uint64_t PcxFileExtent(const IpiByteSource& src);
int PcxDecodeRle(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination);
