#pragma once
// GIF in the kernel: the reader (format 92) describes the first image of a
// GIF87a / GIF89a file and copies its LZW data (sub-block lengths removed)
// with compression 136; the kernel has no LZW decoder, so decoding the
// image answers 12. GifParse is the plain parser under it.
#include "thumbctl/kernel/ipi_base.h"
#include "thumbctl/kernel/ipi_extent.h"

#include <vector>

struct GifInfo {
    int version = 0;  // 236 GIF87a, 237 GIF89a
    int screenWidth = 0, screenHeight = 0;
    bool globalTable = false;
    int colourResolution = 0;  // bits, 1..8
    bool sorted = false;
    int sizeField = 0;         // size field of the table the image is coded for (0..7)
    int background = 0, aspect = 0;
    // Last Graphic Control Extension read.
    bool hasControl = false;
    int disposal = 0, userInput = 0, delay = 0;
    bool transparent = false;
    int transparentIndex = 0;
    // First image.
    int left = 0, top = 0, width = 0, height = 0;
    bool localTable = false, interlaced = false, localSorted = false;
    int localSizeField = 0;
    int codeSize = 0;
    int64_t dataCount = 0;
    uint8_t colours[256 * 3] = {};  // the colour table in effect
    int LutEntries() const { return sizeField == 0 ? 2 : (sizeField <= 3 ? 16 : 256); }
};

// Parses up to and past the first image; appends the image's LZW bytes to
// `lzw` when not null. Kernel code: 0, 22 (malformed), 8 (cut short).
int GifParse(const uint8_t* data, size_t size, GifInfo* info, std::vector<uint8_t>* lzw);

int GifReadFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector);
// The bytes of a GIF file the reader takes (ipi_extent.h): up to the end
// of its first image and the extensions right after it, the blocks stepped
// over by their lengths.
uint64_t GifFileExtent(const IpiByteSource& src);
