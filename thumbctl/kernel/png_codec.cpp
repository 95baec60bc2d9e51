// PNG chunk parsing and pixel decoding over plain memory.
#include "thumbctl/kernel/png_codec.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

int PngStreamInfo::KernelColourCode() const {
    switch (colourType) {
    case 0: return kPngColourGrey;
    case 2: return kPngColourRgb;
    case 3: return kPngColourPalette;
    case 4: return kPngColourGreyAlpha;
    case 6: return kPngColourRgbAlpha;
    default: return 0;
    }
}

namespace {

uint32_t Be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

bool IsLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// Adam7: where each pass starts and how far apart its pixels lie.
const int kPassX0[7] = {0, 4, 0, 2, 0, 1, 0};
const int kPassDx[7] = {8, 8, 4, 4, 2, 2, 1};
const int kPassY0[7] = {0, 0, 4, 0, 2, 0, 1};
const int kPassDy[7] = {8, 8, 8, 4, 4, 2, 2};

// Most bytes deflate makes of one byte of its stream: a 258-byte match from
// two one-bit codes.
constexpr uint64_t kDeflateMostPerByte = 1032;

// Bytes the image data inflates to: every row (of every pass) with its
// filter byte.
uint64_t FilteredBytes(const PngStreamInfo& info) {
    if (!info.interlaced)
        return uint64_t(info.height) * uint64_t(PngRowBytes(info.width, info.bitDepth, info.channels) + 1);
    uint64_t total = 0;
    for (int p = 0; p < 7; ++p) {
        const int64_t cols = info.width > kPassX0[p] ? (info.width - kPassX0[p] + kPassDx[p] - 1) / kPassDx[p] : 0;
        const int64_t rows = info.height > kPassY0[p] ? (info.height - kPassY0[p] + kPassDy[p] - 1) / kPassDy[p] : 0;
        if (cols > 0 && rows > 0) total += uint64_t(rows) * uint64_t(PngRowBytes(cols, info.bitDepth, info.channels) + 1);
    }
    return total;
}

}  // namespace

namespace {

// The 13 bytes of IHDR: size, depth and colour type the kernel reads.
int ParseIhdr(const uint8_t* body, PngStreamInfo* info) {
    const uint32_t w = Be32(body), h = Be32(body + 4);
    const int depth = body[8], ct = body[9];
    if (w == 0 || h == 0 || w > uint32_t(kIpiMaxDimension) || h > uint32_t(kIpiMaxDimension))
        return ipiErrSyntacticalError;
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16) return ipiErrSyntacticalError;
    if (ct != 0 && ct != 2 && ct != 3 && ct != 4 && ct != 6) return ipiErrSyntacticalError;
    if ((ct == 2 || ct == 4 || ct == 6) && depth < 8) return ipiErrSyntacticalError;
    if (ct == 3 && depth == 16) return ipiErrSyntacticalError;
    if (body[10] != 0 || body[11] != 0 || body[12] > 1) return ipiErrSyntacticalError;
    if (ct == 4) return ipiErrSyntacticalError;
    info->width = static_cast<int>(w);
    info->height = static_cast<int>(h);
    info->bitDepth = depth;
    info->colourType = ct;
    info->interlaced = body[12];
    info->channels = ct == 2 ? 3 : (ct == 6 ? 4 : 1);
    return 0;
}

}  // namespace

int PngParseStream(const uint8_t* data, size_t size, PngStreamInfo* info) {
    *info = PngStreamInfo();
    if (size < 8 || std::memcmp(data, kSignature, 8) != 0) return ipiErrSyntacticalError;
    size_t pos = 8;
    bool seenIhdr = false, seenPlte = false, seenIdat = false, idatClosed = false, seenEnd = false;
    while (!seenEnd) {
        if (size - pos < 12) return ipiErrSyntacticalError;  // header and CRC at least
        const uint32_t length = Be32(data + pos);
        const uint8_t* type = data + pos + 4;
        if (length > 0x7FFFFFFFu || size - pos - 12 < length) return ipiErrSyntacticalError;
        const uint8_t* body = data + pos + 8;
        const uint32_t storedCrc = Be32(body + length);
        auto is = [&](const char* t) { return std::memcmp(type, t, 4) == 0; };
        bool checkCrc = true;

        if (seenIdat && !is("IDAT")) idatClosed = true;
        if (is("IHDR")) {
            if (seenIhdr || seenPlte || seenIdat || length != 13) return ipiErrSyntacticalError;
            if (int rc = ParseIhdr(body, info)) return rc;
            seenIhdr = true;
        } else if (is("PLTE")) {
            if (!seenIhdr || seenPlte || seenIdat || length % 3 != 0 || length == 0 || length / 3 > 256)
                return ipiErrSyntacticalError;
            info->paletteEntries = static_cast<int>(length / 3);
            info->palette.assign(body, body + length);
            seenPlte = true;
        } else if (is("IDAT")) {
            if (!seenIhdr || (info->colourType == 3 && !seenPlte) || idatClosed) return ipiErrSyntacticalError;
            info->idat.push_back({static_cast<size_t>(body - data), length});
            info->idatTotal += length;
            seenIdat = true;
            checkCrc = false;
        } else if (is("IEND")) {
            seenEnd = true;
        } else if (is("gAMA")) {
            if (!seenIhdr || seenPlte || length != 4) return ipiErrSyntacticalError;
        } else if (is("tRNS")) {
            if (!seenIhdr) return ipiErrSyntacticalError;
            if (info->colourType == 3) {
                if (!seenPlte || length > uint32_t(info->paletteEntries)) return ipiErrSyntacticalError;
                info->paletteAlpha.assign(body, body + length);
            } else if (info->colourType == 2 && length == 6) {
                info->transparentRed = (body[0] << 8) | body[1];
                info->transparentGreen = (body[2] << 8) | body[3];
                info->transparentBlue = (body[4] << 8) | body[5];
            } else if (info->colourType == 0 && length == 2) {
                info->transparentGrey = (body[0] << 8) | body[1];
            } else {
                return ipiErrSyntacticalError;
            }
            info->hasTransparency = true;
        } else {
            for (int i = 0; i < 4; ++i)
                if (!IsLetter(type[i])) return ipiErrSyntacticalError;
        }
        if (checkCrc) {
            const uint32_t crc = static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), type, length + 4));
            if (crc != storedCrc) return ipiErrSyntacticalError;
        }
        pos += 12 + length;
    }
    if (!seenIhdr || !seenIdat) return ipiErrSyntacticalError;
    if (info->bitDepth == 2 || info->bitDepth == 16) return ipiErrSyntacticalError;
    // Image data too short to inflate to the picture it declares.
    if (FilteredBytes(*info) > uint64_t(info->idatTotal) * kDeflateMostPerByte) return ipiErrSyntacticalError;
    return 0;
}

uint64_t PngFileExtent(const IpiByteSource& src) {
    // The header chunk declares the picture: its image data can take at most
    // twice its filtered rows (stored deflate blocks, chunks of any length),
    // and the other chunks what a file keeps beside its pixels.
    uint8_t head[8 + 8 + 13];
    if (!src.read(0, head, sizeof head) || std::memcmp(head, kSignature, 8) != 0)
        return ipiNoEndWithin(src, kIpiBesidePixels);
    PngStreamInfo info;
    const bool declared = Be32(head + 8) == 13 && std::memcmp(head + 12, "IHDR", 4) == 0 && ParseIhdr(head + 16, &info) == 0;
    const uint64_t bound = declared ? ipiBoundOf(FilteredBytes(info), 2, kIpiBesidePixels) : kIpiBesidePixels;
    const IpiByteSource seen = ipiBytesUpTo(src, bound);
    // Chunk after chunk by their lengths; only the length and type are read.
    uint64_t pos = 8;
    while (seen.read(pos, head, 8)) {
        const uint32_t length = Be32(head);
        // A chunk whose type is not four letters is no chunk: the data has
        // ended (zeros after a cut file) or is damaged.
        if (length > 0x7FFFFFFFu || !std::all_of(head + 4, head + 8, IsLetter)) break;
        pos += 12 + uint64_t(length);
        if (std::memcmp(head + 4, "IEND", 4) == 0) return std::min(pos, src.size);
    }
    return ipiNoEndWithin(src, seen.size);
}

std::vector<uint8_t> PngGatherImageData(const uint8_t* data, const PngStreamInfo& info) {
    std::vector<uint8_t> out;
    out.reserve(info.idatTotal);
    for (const auto& r : info.idat) out.insert(out.end(), data + r.offset, data + r.offset + r.length);
    return out;
}

// ---- pixel decoding ----------------------------------------------------------

namespace {

inline uint8_t Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

template <int Bpp>
void UnfilterFixed(int type, uint8_t* row, const uint8_t* prev, size_t n) {
    switch (type) {
    case 1:
        for (size_t i = Bpp; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - Bpp]);
        break;
    case 2:
        for (size_t i = 0; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
        break;
    case 3:
        for (size_t i = 0; i < Bpp && i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + (prev[i] >> 1));
        for (size_t i = Bpp; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + ((row[i - Bpp] + prev[i]) >> 1));
        break;
    case 4:
        for (size_t i = 0; i < Bpp && i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
        for (size_t i = Bpp; i < n; ++i)
            row[i] = static_cast<uint8_t>(row[i] + Paeth(row[i - Bpp], prev[i], prev[i - Bpp]));
        break;
    default:
        break;
    }
}

// Undoes a row filter; false for a filter type above 4.
bool Unfilter(int type, uint8_t* row, const uint8_t* prev, size_t n, int bpp) {
    if (type > 4) return false;
    if (type == 0) return true;
    switch (bpp) {
    case 1: UnfilterFixed<1>(type, row, prev, n); break;
    case 3: UnfilterFixed<3>(type, row, prev, n); break;
    case 4: UnfilterFixed<4>(type, row, prev, n); break;
    default: UnfilterFixed<2>(type, row, prev, n); break;
    }
    return true;
}

// Pixel access on packed rows of 1, 4 or 8-bit samples (bytesPerPixel for 8).
struct PixelCopier {
    int bitDepth;
    int bytesPerPixel;  // 0 for sub-byte depths
    void Copy(const uint8_t* src, int sx, uint8_t* dst, int dx) const {
        if (bytesPerPixel) {
            std::memcpy(dst + size_t(dx) * bytesPerPixel, src + size_t(sx) * bytesPerPixel, size_t(bytesPerPixel));
            return;
        }
        const int perByte = 8 / bitDepth;
        const int mask = (1 << bitDepth) - 1;
        const int sshift = (perByte - 1 - sx % perByte) * bitDepth;
        const int dshift = (perByte - 1 - dx % perByte) * bitDepth;
        const int v = (src[sx / perByte] >> sshift) & mask;
        uint8_t& d = dst[dx / perByte];
        d = static_cast<uint8_t>((d & ~(mask << dshift)) | (v << dshift));
    }
};

struct Inflater {
    z_stream zs;
    bool open = false;
    ~Inflater() {
        if (open) inflateEnd(&zs);
    }
    // Fills `out` completely; 0, or 22 when the stream ends or breaks first.
    int Fill(uint8_t* out, size_t n) {
        zs.next_out = out;
        zs.avail_out = static_cast<uInt>(n);
        while (zs.avail_out > 0) {
            const int rc = inflate(&zs, Z_NO_FLUSH);
            if (rc == Z_STREAM_END) return zs.avail_out == 0 ? 0 : ipiErrSyntacticalError;
            if (rc == Z_MEM_ERROR) return ipiErrSystem;
            if (rc != Z_OK) return ipiErrSyntacticalError;
        }
        return 0;
    }
    // After the last row: the stream must end here with nothing left over.
    int Finish() {
        uint8_t extra;
        zs.next_out = &extra;
        zs.avail_out = 1;
        const int rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_STREAM_END || zs.avail_out == 0 || zs.avail_in != 0) return ipiErrSyntacticalError;
        return 0;
    }
};

}  // namespace

int PngDecodeRows(const uint8_t* zdata, size_t zsize, const PngShape& shape, bool progressive, int pass,
                  PngRowSink sink, void* context) {
    if (progressive && (pass < 1 || pass > 7)) return ipiErrOutOfRange;
    if (shape.width <= 0 || shape.height <= 0) return ipiErrSyntacticalError;
    const int bitsPerPixel = shape.bitDepth * shape.channels;
    const int bpp = (bitsPerPixel + 7) / 8;
    const int64_t rowBytes = PngRowBytes(shape.width, shape.bitDepth, shape.channels);
    if (rowBytes > (int64_t(1) << 30) || zsize > 0xFFFFFFFFu) return ipiErrSystem;

    Inflater inf;
    std::memset(&inf.zs, 0, sizeof(inf.zs));
    const int irc = inflateInit(&inf.zs);
    if (irc != Z_OK) return irc == Z_MEM_ERROR ? ipiErrSystem : ipiErrSyntacticalError;
    inf.open = true;
    inf.zs.next_in = const_cast<Bytef*>(zdata);
    inf.zs.avail_in = static_cast<uInt>(zsize);

    // Row buffers: the filter byte, then the row; `prev` starts zeroed.
    std::unique_ptr<uint8_t[]> bufA(new (std::nothrow) uint8_t[rowBytes + 1]());
    std::unique_ptr<uint8_t[]> bufB(new (std::nothrow) uint8_t[rowBytes + 1]());
    if (!bufA || !bufB) return ipiErrSystem;
    uint8_t* cur = bufA.get();
    uint8_t* prev = bufB.get();

    if (!shape.interlaced) {
        for (int y = 0; y < shape.height; ++y) {
            int rc = inf.Fill(cur, static_cast<size_t>(rowBytes) + 1);
            if (rc) return rc;
            if (!Unfilter(cur[0], cur + 1, prev + 1, static_cast<size_t>(rowBytes), bpp))
                return ipiErrSyntacticalError;
            sink(context, y, cur + 1);
            std::swap(cur, prev);
        }
        return inf.Finish();
    }

    const int64_t imageBytes = rowBytes * shape.height;
    if (imageBytes > kIpiMaxBytes) return ipiErrSystem;
    // Every pixel is written by one of the passes (with the progressive view,
    // by the first pass's blocks); only the bits past a row's last pixel are
    // cleared first.
    std::unique_ptr<uint8_t[]> image(new (std::nothrow) uint8_t[static_cast<size_t>(imageBytes)]);
    if (!image) return ipiErrSystem;
    if ((int64_t(shape.width) * bitsPerPixel) % 8)
        for (int y = 0; y < shape.height; ++y) image[size_t(y + 1) * size_t(rowBytes) - 1] = 0;
    const PixelCopier px{shape.bitDepth, shape.bitDepth >= 8 ? bpp : 0};
    const int lastPass = progressive ? pass - 1 : 6;
    for (int p = 0; p <= lastPass; ++p) {
        const int cols = shape.width > kPassX0[p] ? (shape.width - kPassX0[p] + kPassDx[p] - 1) / kPassDx[p] : 0;
        const int rows = shape.height > kPassY0[p] ? (shape.height - kPassY0[p] + kPassDy[p] - 1) / kPassDy[p] : 0;
        if (cols == 0 || rows == 0) continue;
        const size_t passBytes = static_cast<size_t>(PngRowBytes(cols, shape.bitDepth, shape.channels));
        std::memset(prev, 0, passBytes + 1);
        // Block painted per pixel in the progressive view.
        const int bw = progressive ? 8 >> ((p + 1) >> 1) : 1;
        const int bh = progressive ? 8 >> (p >> 1) : 1;
        for (int r = 0; r < rows; ++r) {
            int rc = inf.Fill(cur, passBytes + 1);
            if (rc) return rc;
            if (!Unfilter(cur[0], cur + 1, prev + 1, passBytes, bpp)) return ipiErrSyntacticalError;
            const int y = kPassY0[p] + r * kPassDy[p];
            for (int yy = y; yy < y + bh && yy < shape.height; ++yy) {
                uint8_t* dst = image.get() + static_cast<size_t>(yy) * static_cast<size_t>(rowBytes);
                for (int i = 0; i < cols; ++i) {
                    const int x = kPassX0[p] + i * kPassDx[p];
                    for (int xx = x; xx < x + bw && xx < shape.width; ++xx) px.Copy(cur + 1, i, dst, xx);
                }
            }
            std::swap(cur, prev);
        }
    }
    if (lastPass == 6) {
        const int rc = inf.Finish();
        if (rc) return rc;
    }
    for (int y = 0; y < shape.height; ++y)
        sink(context, y, image.get() + static_cast<size_t>(y) * static_cast<size_t>(rowBytes));
    return 0;
}
