#pragma once
// TIFF file structure without the kernel's objects: the header, the chain of
// image file directories, the tags the kernel understands, and the checked
// description of one page (layout, kernel codes, strip table, colour map).
// Every read goes through a bounded byte source, so a damaged or hostile
// file costs an error code, never a read outside the data.
#include "thumbctl/kernel/ipi_extent.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace tiff {

// The bytes of the file: every read is checked against `size`, and strips
// against it too.
using Source = IpiByteSource;
using ReadFn = decltype(IpiByteSource::read);

// Kernel error codes used here.
enum : int { kOk = 0, kInsufficientSize = 8, kNonPermissible = 12, kSyntax = 22 };

struct Header {
    bool littleEndian = true;
    uint32_t firstIfd = 0;
};

// 0, 8 (fewer than 8 bytes) or 22 (not "II"/"MM" with version 42).
int ReadHeader(const Source& src, Header* header);

// Offsets of the directories of the chain, first page first. The walk stops
// at a zero offset, at an offset seen before (a loop), at an offset whose
// directory cannot be read, and after maxPages pages. Returns 0, or 8 when a
// directory or its next-offset field lies past the data (the offsets found
// before it are kept).
int WalkDirectories(const Source& src, const Header& header, std::vector<uint32_t>* offsets,
                    int maxPages = 65535);

// The tags of one directory as stored (before interpretation).
struct Directory {
    uint32_t subfileType = 0;
    uint32_t width = 1, length = 1;
    bool hasWidth = false, hasLength = false;  // ImageWidth, ImageLength given
    uint32_t bitsPerSampleValue = 0, bitsPerSampleCount = 0;  // value or offset
    uint32_t compression = 1;
    uint32_t photometric = 0;
    uint32_t stripOffsetsValue = 0, stripOffsetsCount = 0, stripOffsetsType = 0;
    uint32_t stripByteCountsValue = 0, stripByteCountsCount = 0, stripByteCountsType = 0;
    uint32_t orientation = 1;
    uint32_t samplesPerPixel = 0;
    uint32_t rowsPerStrip = 0xFFFFFFFFu;  // not given
    uint32_t xResolutionOffset = 0, yResolutionOffset = 0;
    uint32_t planarConfiguration = 1;
    uint32_t t4Options = 0, t6Options = 0;
    uint32_t resolutionUnit = 2;
    uint32_t pageNumber = 0;
    uint32_t predictor = 1;
    uint32_t colorMapOffset = 0, colorMapCount = 0;
    uint32_t tileWidth = 0, tileLength = 0;
    bool tiled = false;        // TileWidth, TileLength, TileOffsets or TileByteCounts present
    uint32_t fillOrder = 1;    // 1 most significant bit first, 2 least
    uint32_t ycbcrSubsampling = 0x00010001;
    uint64_t end = 0;  // end of the directory and of the values it keeps out of line
};

// Reads the directory at `offset`: 0, 22 (a known tag with the wrong type or
// count, a FillOrder other than 1 or 2) or 8 (the directory passes the data).
int ReadDirectory(const Source& src, bool littleEndian, uint32_t offset, Directory* dir);

// One page, checked and translated into the kernel's terms.
struct Page {
    uint32_t width = 0, height = 0;
    int bitsPerSample = 1;        // 1, 4, 8 or 16 as stored
    int samplesPerPixel = 1;      // 1 or 3
    int bands = 1;                // 1 grey/palette/bilevel, 3 colour
    int dataType = 18;            // 18 bits, 153 bytes
    int dataPrecision = 1;        // precision of the decoded samples (16 becomes 8)
    uint64_t rowBytes = 0;        // bytes of one stored row
    int compression = 0;          // kernel code: 0, 80, 81, 82, 90, 136, 156
    int eolState = 0;             // Group 3 fill bits
    int predictor = 0;            // LZW predictor: 0 none, 1 horizontal
    int photometric = 17;         // kernel code: 222, 17, 121, 157, 209
    int colourSpace = 0;
    int orientation = 0;          // kernel codes
    int planarConfiguration = 248;
    int resolutionUnit = 106;
    int newSubfileType = 252;
    uint32_t pageNumber = 0;
    bool lsbFirst = false;        // FillOrder 2
    bool littleEndian = true;
    bool hasXResolution = false, hasYResolution = false;
    uint32_t xResolution[2] = {0, 0}, yResolution[2] = {0, 0};
    uint32_t rowsPerStrip = 0;
    std::vector<uint32_t> stripOffsets, stripByteCounts;
    uint64_t compressedSize = 0;  // total of the byte counts (compressed pages)
    uint64_t stripsEnd = 0;       // end of the furthest strip in the data
    // Colour map: three planes (red, green, blue) of colorMapCount / 3 values.
    std::vector<uint16_t> colorMap;
};

// Checks a directory and describes its page. 0, or 22 for anything the kernel
// does not read (layouts, codings, photometric interpretations, orientations,
// tiles, planes, strip tables that do not fit the data ...) and for a
// directory without a tag its page cannot do without.
int InterpretDirectory(const Source& src, const Directory& dir, bool littleEndian, Page* page);

// Header, directory and interpretation of page `index` (0-based).
// 12 when the chain has no such page.
int ReadPage(const Source& src, int index, Page* page);

// Byte offset of stored row y: the strip holding it, plus its place there.
uint64_t RowOffset(const Page& page, uint32_t y);

// The bytes of a TIFF file that its pages use (ipi_extent.h): the end of the
// furthest directory, tag value or strip of the chain. src.size when a
// directory cannot be read or a page cannot be interpreted.
uint64_t FileExtent(const Source& src);

} // namespace tiff
