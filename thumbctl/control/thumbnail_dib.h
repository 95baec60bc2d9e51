#pragma once
// Packed bitmaps of the thumbnail list: reading their geometry, copying them,
// fitting an image into the thumbnail box and shrinking it there by area
// averaging in 8.8 fixed point. Bitmaps live in the kernel's global-memory
// blocks (thumbctl/kernel/ipi_memory.h), the form the decode entry points
// return and the container hands over.
#include "thumbctl/kernel/ipi_memory.h"

#include <QImage>

#include <cstdint>
#include <string>

namespace thumbctl {

// Geometry of a packed bitmap as read from its header (40-byte information
// header or larger, or the 12-byte core header).
struct DibInfo {
    int64_t width = 0;
    int64_t height = 0;     // always positive; topDown says how rows lie
    bool topDown = false;   // negative height in the header
    int bitCount = 0;
    int compression = 0;
    int headerBytes = 0;    // header size field
    int tableEntries = 0;   // colour-table entries present
    int entryBytes = 4;     // 3 for a core header
    int64_t pixelOffset = 0;
    int64_t stride = 0;     // bytes per row, padded to 4
};

// Reads the header of the packed bitmap in `data` (`size` bytes) and checks
// that the rows fit in the block. False for anything else.
bool ReadDibInfo(const uint8_t* data, int64_t size, DibInfo* info);

// Width, height and bits per pixel of the bitmap in a block; false for a bad
// handle or an unreadable header.
bool GetDibInfo(IPIHANDLE dib, int64_t* width, int64_t* height, int* bitCount);

// A new block with the same bytes; 0 when memory runs out.
IPIHANDLE CopyDib(IPIHANDLE dib);

struct ThumbSize {
    int64_t width = 0;
    int64_t height = 0;
};

// Size of an image of w x h in a box of boxW x boxH: shrunk by one ratio
// (the smaller of the two) when it is larger than the box, never enlarged.
// A side that would shrink to nothing keeps one pixel.
ThumbSize FitIntoBox(int64_t w, int64_t h, int64_t boxW, int64_t boxH);

// How much of a bitmap a reduction covers, in pixels with 8 fractional
// bits: a picture decoded at 1/s of its size w x h covers w / s x h / s of
// its own pixels, less than the last whole ones when s does not divide w or
// h. 0 (or a value outside the last pixel): the whole bitmap.
struct SourceExtent {
    int64_t width256 = 0;
    int64_t height256 = 0;
};

// Area-average reduction of a whole packed bitmap (or of its extent) into a
// new one of dstW x dstH: 1-bit images give an 8-bit image whose table ramps
// between the two source colours, every other depth (4, 8, 16, 24, 32 bits)
// a 24-bit image. 0 when the source is not a plain uncompressed bitmap, a
// size is not positive, or memory runs out.
IPIHANDLE ReduceDib(const uint8_t* data, int64_t size, int64_t dstW, int64_t dstH, SourceExtent extent = {});
IPIHANDLE ReduceDib(IPIHANDLE dib, int64_t dstW, int64_t dstH, SourceExtent extent = {});

// The extent of a bitmap of width x height that holds a picture of
// pictureWidth x pictureHeight decoded at 1/1, 1/2, 1/4 or 1/8 (sides
// rounded up); the whole bitmap when it is none of these.
SourceExtent ExtentOfScaledPicture(int64_t width, int64_t height, int64_t pictureWidth, int64_t pictureHeight);

// How much a bitmap changes from pixel to pixel: the larger of the mean
// level steps between horizontal and between vertical neighbours, over the
// colour channels; -1 when the bitmap cannot be read or is 1-bit.
double NeighbourStep(IPIHANDLE dib);

// The bitmap as a picture for painting (null image when unreadable).
QImage DibToImage(IPIHANDLE dib);

// The picture file `path` decoded by the image kernel as the thumbnail list
// decodes it (DecodeFormat code `decodeFormat`): the same bound on what is
// read and the same refusals of cut or damaged data for every window that
// shows a picture. Null with *kernelError set when the kernel refuses it.
QImage DecodePictureFile(const std::string& path, int decodeFormat, int* kernelError);

// Owner of one global-memory block: frees it when replaced or destroyed.
class DibHandle {
public:
    DibHandle() = default;
    explicit DibHandle(IPIHANDLE h) : h_(h) {}
    ~DibHandle() { reset(); }
    DibHandle(DibHandle&& o) noexcept : h_(o.release()) {}
    DibHandle& operator=(DibHandle&& o) noexcept { if (this != &o) reset(o.release()); return *this; }
    DibHandle(const DibHandle&) = delete;
    DibHandle& operator=(const DibHandle&) = delete;

    IPIHANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != 0; }
    IPIHANDLE release() { IPIHANDLE h = h_; h_ = 0; return h; }
    void reset(IPIHANDLE h = 0) { if (h_ && h_ != h) ipiGlobalFree(h_); h_ = h; }

private:
    IPIHANDLE h_ = 0;
};

} // namespace thumbctl
