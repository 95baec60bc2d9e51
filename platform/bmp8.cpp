// Reader for 8-bit palette BMP pictures (phase images and masks): the headers
// first, then only the rows the headers declare, read where they lie.
#include "platform/bmp8.h"

#include "platform/regular_file.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

namespace platform {

namespace {

uint32_t U16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t U32(const uint8_t* p) { return U16(p) | U16(p + 2) << 16; }

// The bytes of a picture, in memory or in an open file.
class Bytes {
public:
    virtual ~Bytes() = default;
    virtual uint64_t size() const = 0;
    // Up to n bytes at `offset`: the number read, short only at the end; -1 on an error.
    virtual int64_t readAt(uint64_t offset, uint8_t* out, size_t n) = 0;
};

class MemoryBytes : public Bytes {
public:
    MemoryBytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t size() const override { return size_; }
    int64_t readAt(uint64_t offset, uint8_t* out, size_t n) override
    {
        if (offset >= size_) return 0;
        const size_t k = size_t(std::min<uint64_t>(n, size_ - offset));
        std::memcpy(out, data_ + offset, k);
        return int64_t(k);
    }

private:
    const uint8_t* data_;
    size_t size_;
};

class FileBytes : public Bytes {
public:
    explicit FileBytes(RegularFile& file) : file_(file) {}
    uint64_t size() const override { return file_.size(); }
    int64_t readAt(uint64_t offset, uint8_t* out, size_t n) override { return file_.readAt(offset, out, n); }

private:
    RegularFile& file_;
};

// Reads bytes one at a time from `start`, through a buffer, never past `limit`.
class Cursor {
public:
    Cursor(Bytes& bytes, uint64_t start, uint64_t limit) : bytes_(bytes), next_(start), limit_(limit) {}
    bool get(uint8_t* v)
    {
        if (at_ == end_) {
            if (next_ >= limit_) return false;
            const size_t want = size_t(std::min<uint64_t>(sizeof buffer_, limit_ - next_));
            const int64_t got = bytes_.readAt(next_, buffer_, want);
            if (got <= 0) return false;
            next_ += uint64_t(got);
            at_ = 0;
            end_ = size_t(got);
        }
        *v = buffer_[at_++];
        return true;
    }

private:
    Bytes& bytes_;
    uint64_t next_, limit_;
    uint8_t buffer_[65536];
    size_t at_ = 0, end_ = 0;
};

Bmp8Image Failed(Bmp8Image& img, Bmp8Status status)
{
    img.status = status;
    img.cols = img.rows = 0;
    img.pixels = {};
    return img;
}

// Room for `pixels` pixels, taken without filling it: rows are appended as
// they are read.
bool Reserve(Bmp8Image& img, uint64_t pixels)
{
    try {
        img.pixels.reserve(size_t(pixels));
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

// Uncompressed rows, each `stride` bytes in the file, read top row first.
Bmp8Image ReadRows(Bytes& bytes, uint64_t offBits, int width, int height, bool topDown, Bmp8Image& img)
{
    const uint64_t stride = (uint64_t(width) + 3) & ~uint64_t(3);
    // The last row need not carry its padding.
    if (offBits + stride * uint64_t(height - 1) + uint64_t(width) > bytes.size())
        return Failed(img, Bmp8Status::Truncated);
    if (!Reserve(img, uint64_t(width) * uint64_t(height))) return Failed(img, Bmp8Status::TooLarge);
    std::vector<uint8_t> row(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        const int fileRow = topDown ? y : height - 1 - y;
        if (bytes.readAt(offBits + stride * uint64_t(fileRow), row.data(), row.size()) != int64_t(row.size()))
            return Failed(img, Bmp8Status::Truncated);   // the file shrank while it was read
        img.pixels.insert(img.pixels.end(), row.begin(), row.end());
    }
    img.cols = width;
    img.rows = height;
    img.status = Bmp8Status::Ok;
    return img;
}

// RLE8 pixel data: runs (count, index), and escapes after a 0 byte: 0 end of
// line, 1 end of picture, 2 move by (dx, dy), n >= 3 a literal run of n
// indices padded to an even length. Pixels that no run reaches (skipped by a
// move, or left by an end of line or of the picture) are blank (128), never a
// value that would pass for phase data. Data that ends before the picture is
// complete, without its end marker, is a truncated picture.
Bmp8Image ReadRle8(Bytes& bytes, uint64_t offBits, int width, int height, bool topDown, Bmp8Image& img)
{
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    // Run-length data can skip rows or end the picture in two bytes, so its
    // size says nothing of the picture's: room is taken as rows are passed,
    // doubling up to the whole picture, never ahead of the data.
    auto makeRoom = [&](uint64_t more) {
        const uint64_t need = img.pixels.size() + more;
        if (need <= img.pixels.capacity()) return true;
        return Reserve(img, std::min(pixels, std::max<uint64_t>(need, 2 * uint64_t(img.pixels.capacity()))));
    };
    // No encoding spends more than four bytes a pixel (a one-pixel move) and
    // two a row: data beyond that is never read.
    Cursor in(bytes, offBits, offBits + 4 * pixels + 2 * uint64_t(height) + 2);
    // Rows in file order, each finished row appended.
    std::vector<uint8_t> current(size_t(width), kUnreachedPixel);
    int row = 0;
    int64_t x = 0;
    bool room = true;
    auto finishRowsUpTo = [&](int64_t target) {
        while (row < target && row < height && (room = makeRoom(uint64_t(width)))) {
            img.pixels.insert(img.pixels.end(), current.begin(), current.end());
            std::fill(current.begin(), current.end(), kUnreachedPixel);
            ++row;
        }
    };
    auto put = [&](uint8_t v) {
        if (x >= 0 && x < width) current[size_t(x)] = v;
        ++x;
    };
    bool ended = false;
    uint8_t a = 0, b = 0;
    while (room && row < height && in.get(&a) && in.get(&b)) {
        if (a > 0) {
            for (int k = 0; k < a; ++k) put(b);
        } else if (b == 0) {
            finishRowsUpTo(int64_t(row) + 1);
            x = 0;
        } else if (b == 1) {
            ended = true;
            break;
        } else if (b == 2) {
            uint8_t dx = 0, dy = 0;
            if (!in.get(&dx) || !in.get(&dy)) break;
            x += dx;
            finishRowsUpTo(int64_t(row) + dy);
        } else {
            bool complete = true;
            for (int k = 0; k < b && complete; ++k) {
                uint8_t v = 0;
                complete = in.get(&v);
                if (complete) put(v);
            }
            uint8_t pad = 0;
            if (!complete || ((b & 1) && !in.get(&pad))) break;
        }
    }
    // Writers may leave out the final marker once the last row is complete.
    const bool complete = ended || row >= height || (row == height - 1 && x >= width);
    if (!room) return Failed(img, Bmp8Status::TooLarge);
    if (!complete) return Failed(img, Bmp8Status::Truncated);
    finishRowsUpTo(height);
    if (!room) return Failed(img, Bmp8Status::TooLarge);
    if (!topDown) {
        for (int y = 0; y < height / 2; ++y)
            std::swap_ranges(img.pixels.begin() + int64_t(y) * width, img.pixels.begin() + int64_t(y + 1) * width,
                             img.pixels.begin() + int64_t(height - 1 - y) * width);
    }
    img.cols = width;
    img.rows = height;
    img.status = Bmp8Status::Ok;
    return img;
}

Bmp8Image Decode(Bytes& bytes, uint64_t maxPixels)
{
    Bmp8Image img;
    img.status = Bmp8Status::NotBmp;
    uint8_t head[14 + 40] = {};
    const int64_t got = bytes.readAt(0, head, sizeof head);
    if (got < 26 || head[0] != 'B' || head[1] != 'M') return img;
    const uint32_t offBits = U32(head + 10);
    const uint32_t infoSize = U32(head + 14);
    int64_t width = 0, height = 0;
    uint32_t bits = 0, compression = 0;
    if (infoSize == 12) { // OS/2 core header: 16-bit sizes, bottom-up only
        width = U16(head + 18);
        height = U16(head + 20);
        bits = U16(head + 24);
    } else if (infoSize >= 40 && got >= 14 + 40) {
        width = int32_t(U32(head + 18));
        height = int32_t(U32(head + 22));
        bits = U16(head + 28);
        compression = U32(head + 30);
    } else {
        return img;
    }
    img.bitsPerPixel = int(bits);
    if (bits != 8) return Failed(img, Bmp8Status::NotEightBit);
    if (compression != 0 && compression != 1) return Failed(img, Bmp8Status::Compressed);
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return Failed(img, Bmp8Status::BadSize);
    if (uint64_t(width) * uint64_t(height) > maxPixels) return Failed(img, Bmp8Status::TooLarge);
    if (offBits < 14 + uint64_t(infoSize) || offBits >= bytes.size()) return Failed(img, Bmp8Status::Truncated);
    return compression == 1 ? ReadRle8(bytes, offBits, int(width), int(height), topDown, img)
                            : ReadRows(bytes, offBits, int(width), int(height), topDown, img);
}

} // namespace

Bmp8Image DecodeBmp8(const uint8_t* data, size_t size, uint64_t maxPixels)
{
    MemoryBytes bytes(data, size);
    return Decode(bytes, maxPixels);
}

Bmp8Image ReadBmp8(const std::string& path, uint64_t maxPixels)
{
    // Regular files only (a pipe would block, a device never end); of the
    // file, the headers and the declared rows are read, nothing after them.
    RegularFile file;
    if (!file.open(path)) return {};
    FileBytes bytes(file);
    return Decode(bytes, maxPixels);
}

std::string Bmp8StatusText(Bmp8Status status)
{
    switch (status) {
    case Bmp8Status::Ok: return "";
    case Bmp8Status::CannotOpen: return "The file cannot be opened.";
    case Bmp8Status::NotBmp: return "The file is not a BMP picture.";
    case Bmp8Status::NotEightBit: return "The picture is not an 8-bit (256 level) BMP picture.";
    case Bmp8Status::Compressed: return "Compressed BMP pictures are not supported.";
    case Bmp8Status::BadSize: return "The picture size is not valid.";
    case Bmp8Status::Truncated: return "The picture data is incomplete.";
    case Bmp8Status::TooLarge: return "The picture is larger than the memory it may take.";
    }
    return "";
}

} // namespace platform
