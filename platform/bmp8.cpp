#include "platform/bmp8.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

uint32_t U16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t U32(const uint8_t* p) { return U16(p) | U16(p + 2) << 16; }

// RLE8 pixel data: runs (count, index), and escapes after a 0 byte: 0 end of
// line, 1 end of picture, 2 move by (dx, dy), n >= 3 a literal run of n
// indices padded to an even length. Pixels that no run reaches (skipped by a
// move, or left at the end of a row or of the picture) are blank (128), never
// a value that would pass for phase data.
Bmp8Image DecodeRle8(const uint8_t* p, size_t n, int width, int height, bool topDown, Bmp8Image& img)
{
    img.cols = width;
    img.rows = height;
    img.pixels.assign(size_t(width) * size_t(height), kUnreachedPixel);
    auto put = [&](int x, int fileRow, uint8_t v) {
        if (x < 0 || x >= width || fileRow < 0 || fileRow >= height) return;
        const int y = topDown ? fileRow : height - 1 - fileRow;
        img.pixels[size_t(y) * width + x] = v;
    };
    size_t i = 0;
    int x = 0, row = 0;
    bool ended = false;
    while (i + 1 < n && row < height) {
        const uint8_t a = p[i], b = p[i + 1];
        i += 2;
        if (a > 0) {
            for (int k = 0; k < a; ++k) put(x++, row, b);
        } else if (b == 0) {
            x = 0;
            ++row;
        } else if (b == 1) {
            ended = true;
            break;
        } else if (b == 2) {
            if (i + 1 >= n) break;
            x += p[i];
            row += p[i + 1];
            i += 2;
        } else {
            if (i + b > n) break;
            for (int k = 0; k < b; ++k) put(x++, row, p[i + k]);
            i += b + (b & 1);
        }
    }
    // Writers may leave out the final marker once the last row is complete.
    if (!ended && row < height - 1) {
        img.pixels.clear();
        img.cols = img.rows = 0;
        img.status = Bmp8Status::Truncated;
        return img;
    }
    img.status = Bmp8Status::Ok;
    return img;
}

} // namespace

Bmp8Image DecodeBmp8(const uint8_t* data, size_t size)
{
    Bmp8Image img;
    img.status = Bmp8Status::NotBmp;
    if (size < 26 || data[0] != 'B' || data[1] != 'M') return img;
    const uint32_t offBits = U32(data + 10);
    const uint32_t infoSize = U32(data + 14);
    int64_t width = 0, height = 0;
    uint32_t bits = 0, compression = 0;
    if (infoSize == 12) { // OS/2 core header: 16-bit sizes, bottom-up only
        width = U16(data + 18);
        height = U16(data + 20);
        bits = U16(data + 24);
    } else if (infoSize >= 40 && size >= 14 + 40) {
        width = int32_t(U32(data + 18));
        height = int32_t(U32(data + 22));
        bits = U16(data + 28);
        compression = U32(data + 30);
    } else {
        return img;
    }
    img.bitsPerPixel = int(bits);
    if (bits != 8) {
        img.status = Bmp8Status::NotEightBit;
        return img;
    }
    if (compression != 0 && compression != 1) {
        img.status = Bmp8Status::Compressed;
        return img;
    }
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767) {
        img.status = Bmp8Status::BadSize;
        return img;
    }
    if (compression == 1) {
        if (offBits < 14 + infoSize || offBits >= size) {
            img.status = Bmp8Status::Truncated;
            return img;
        }
        return DecodeRle8(data + offBits, size - offBits, int(width), int(height), topDown, img);
    }
    const uint64_t stride = (uint64_t(width) + 3) & ~uint64_t(3);
    // The last row need not carry its padding.
    const uint64_t needed = uint64_t(offBits) + stride * uint64_t(height - 1) + uint64_t(width);
    if (offBits < 14 + infoSize || needed > size) {
        img.status = Bmp8Status::Truncated;
        return img;
    }
    img.cols = int(width);
    img.rows = int(height);
    img.pixels.resize(size_t(width) * size_t(height));
    for (int64_t y = 0; y < height; ++y) {
        const int64_t fileRow = topDown ? y : height - 1 - y;
        const uint8_t* src = data + offBits + stride * uint64_t(fileRow);
        std::copy(src, src + width, img.pixels.begin() + y * width);
    }
    img.status = Bmp8Status::Ok;
    return img;
}

Bmp8Image ReadBmp8(const std::string& path)
{
    // Regular files only (a pipe would block, a device never end), and no
    // larger than the largest picture the reader takes.
    constexpr uint64_t kMaxBytes = 14 + 124 + 1024 + uint64_t(32768) * 32767;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) > kMaxBytes) {
        ::close(fd);
        return {};
    }
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(size_t(st.st_size));
    } catch (const std::bad_alloc&) {
        ::close(fd);
        return {};
    }
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    ::close(fd);
    bytes.resize(got);
    return DecodeBmp8(bytes.data(), bytes.size());
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
    }
    return "";
}

} // namespace platform
