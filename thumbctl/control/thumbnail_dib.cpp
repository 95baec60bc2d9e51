// Packed-bitmap geometry, copies, box fitting and the fixed-point area-average
// reduction that makes thumbnails.
#include "thumbctl/control/thumbnail_dib.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace thumbctl {

namespace {

uint32_t Le16(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void PutLe16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void PutLe32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}

// One axis of the reduction: for each destination position the source
// positions it covers and their weights (out of 256).
struct AxisTaps {
    std::vector<int32_t> begin;  // dst + 1 entries into src / weight
    std::vector<int32_t> src;
    std::vector<int32_t> weight;
    std::vector<int64_t> total;  // dst entries: sum of the weights
};

// Spans in 8.8 fixed point: position i covers (i x step) .. (i x step + step),
// step = (source length << 8) / destination length. The first pixel weighs
// 256 minus its fraction, whole pixels 256, the last one the fraction it
// reaches into; a span inside one pixel gives that pixel the full 256.
AxisTaps BuildAxis(int64_t srcLen, int64_t dstLen)
{
    AxisTaps t;
    int64_t step = (srcLen << 8) / dstLen;
    if (step < 1) step = 1;
    t.begin.reserve(size_t(dstLen) + 1);
    for (int64_t i = 0; i < dstLen; ++i) {
        t.begin.push_back(int32_t(t.src.size()));
        const int64_t a = i * step;
        const int64_t b = a + step;
        const int64_t p0 = std::min<int64_t>(a >> 8, srcLen - 1);
        const int64_t p1 = b >> 8;
        if (p1 == (a >> 8)) {
            t.src.push_back(int32_t(p0));
            t.weight.push_back(256);
            continue;
        }
        t.src.push_back(int32_t(p0));
        t.weight.push_back(int32_t(256 - (a & 255)));
        for (int64_t p = p0 + 1; p < p1 && p < srcLen; ++p) {
            t.src.push_back(int32_t(p));
            t.weight.push_back(256);
        }
        if ((b & 255) != 0 && p1 < srcLen) {
            t.src.push_back(int32_t(p1));
            t.weight.push_back(int32_t(b & 255));
        }
    }
    t.begin.push_back(int32_t(t.src.size()));
    t.total.assign(size_t(dstLen), 0);
    for (int64_t i = 0; i < dstLen; ++i)
        for (int32_t k = t.begin[size_t(i)]; k < t.begin[size_t(i) + 1]; ++k) t.total[size_t(i)] += t.weight[size_t(k)];
    return t;
}

// A tap weighing less than a whole pixel (the first or last of a span).
struct Corner {
    int32_t dst, pos, weight;
};

std::vector<Corner> PartialTaps(const AxisTaps& t)
{
    std::vector<Corner> out;
    for (size_t i = 0; i + 1 < t.begin.size(); ++i)
        for (int32_t k = t.begin[i]; k < t.begin[i + 1]; ++k)
            if (t.weight[size_t(k)] != 256) out.push_back({int32_t(i), t.src[size_t(k)], t.weight[size_t(k)]});
    return out;
}

// acc[k] += weight x src[k] over a row of channel values; weight < 256, so
// each product fits in 16 bits.
template <typename Acc>
void AddWeightedRow(Acc* __restrict acc, const uint8_t* __restrict src, size_t n, int32_t weight)
{
    const uint16_t w = uint16_t(weight);
    for (size_t k = 0; k < n; ++k) acc[k] += Acc(uint16_t(src[k] * w));
}

// Whole source rows are first summed unweighted in 16 bits (257 rows of 255
// fit), then moved into the weighted sums as 256 x that.
constexpr int kWholeRowsIn16Bits = 257;

void AddRow(uint16_t* __restrict sums, const uint8_t* __restrict src, size_t n)
{
    for (size_t k = 0; k < n; ++k) sums[k] = uint16_t(sums[k] + src[k]);
}

void AddFourRows(uint16_t* __restrict sums, const uint8_t* __restrict a, const uint8_t* __restrict b,
                 const uint8_t* __restrict c, const uint8_t* __restrict d, size_t n)
{
    for (size_t k = 0; k < n; ++k) sums[k] = uint16_t(sums[k] + a[k] + b[k] + c[k] + d[k]);
}

template <typename Acc>
void MoveWholeRows(Acc* __restrict acc, uint16_t* __restrict sums, size_t n)
{
    for (size_t k = 0; k < n; ++k) {
        acc[k] += Acc(sums[k]) << 8;
        sums[k] = 0;
    }
}

// Column sums of one destination span weighted by their column weights.
template <typename Acc>
void SumColumns(const Acc* acc, const int32_t* wx, int32_t taps, int channels, uint64_t* s)
{
    if (channels == 1) {
        for (int32_t k = 0; k < taps; ++k) s[0] += uint64_t(wx[k]) * acc[k];
        return;
    }
    for (int32_t k = 0; k < taps; ++k, acc += 3) {
        const uint64_t w = uint64_t(wx[k]);
        s[0] += w * acc[0];
        s[1] += w * acc[1];
        s[2] += w * acc[2];
    }
}

// Colour-table entry k as blue, green, red (zero past the table).
struct Table {
    uint8_t b[256] = {}, g[256] = {}, r[256] = {};
};

Table ReadTable(const uint8_t* data, const DibInfo& info)
{
    Table t;
    const int n = std::min(info.tableEntries, 256);
    const uint8_t* p = data + info.headerBytes;
    for (int k = 0; k < n; ++k, p += info.entryBytes) {
        t.b[k] = p[0];
        t.g[k] = p[1];
        t.r[k] = p[2];
    }
    return t;
}

const uint8_t* RowFromTop(const uint8_t* data, const DibInfo& info, int64_t r)
{
    const int64_t row = info.topDown ? r : info.height - r - 1;
    return data + info.pixelOffset + row * info.stride;
}

// Source row r as channel values: one byte per pixel (1-bit: 0 or 1) or
// blue, green, red per pixel.
void ConvertRow(const uint8_t* row, const DibInfo& info, const Table& table, uint8_t* out)
{
    const int64_t w = info.width;
    switch (info.bitCount) {
    case 1:
        for (int64_t x = 0; x < w; ++x) out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        break;
    case 4:
        for (int64_t x = 0; x < w; ++x) {
            const int k = (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4);
            out[3 * x] = table.b[k]; out[3 * x + 1] = table.g[k]; out[3 * x + 2] = table.r[k];
        }
        break;
    case 8:
        for (int64_t x = 0; x < w; ++x) {
            const int k = row[x];
            out[3 * x] = table.b[k]; out[3 * x + 1] = table.g[k]; out[3 * x + 2] = table.r[k];
        }
        break;
    case 16:
        for (int64_t x = 0; x < w; ++x) {
            const uint32_t v = Le16(row + 2 * x);
            out[3 * x] = uint8_t((v & 31) * 255 / 31);
            out[3 * x + 1] = uint8_t(((v >> 5) & 31) * 255 / 31);
            out[3 * x + 2] = uint8_t(((v >> 10) & 31) * 255 / 31);
        }
        break;
    case 24:
        std::memcpy(out, row, size_t(3 * w));
        break;
    case 32:
        for (int64_t x = 0; x < w; ++x) {
            out[3 * x] = row[4 * x]; out[3 * x + 1] = row[4 * x + 1]; out[3 * x + 2] = row[4 * x + 2];
        }
        break;
    }
}

int64_t Stride(int64_t width, int bits) { return ((width * bits + 31) / 32) * 4; }

// A blank bitmap: 40-byte header, zeroed table (256 entries at 8 bits, none at
// 24), image size = block size, zero-filled rows.
IPIHANDLE ConstructBlank(int64_t w, int64_t h, int bits, uint8_t** pixels, uint8_t** table, int64_t* stride)
{
    const int64_t tableBytes = bits == 8 ? 1024 : 0;
    *stride = Stride(w, bits);
    if (w <= 0 || h <= 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return 0;
    if (h > (kIpiMaxBytes - 40 - tableBytes) / *stride) return 0;
    const int64_t total = 40 + tableBytes + *stride * h;
    const IPIHANDLE hd = ipiGlobalAlloc(total);
    if (!hd) return 0;
    auto* p = static_cast<uint8_t*>(ipiGlobalLock(hd));
    if (!p) { ipiGlobalFree(hd); return 0; }
    PutLe32(p, 40);
    PutLe32(p + 4, uint32_t(w));
    PutLe32(p + 8, uint32_t(h));
    PutLe16(p + 12, 1);
    PutLe16(p + 14, uint32_t(bits));
    PutLe32(p + 20, uint32_t(total));
    *table = p + 40;
    *pixels = p + 40 + tableBytes;
    return hd;
}

} // namespace

bool ReadDibInfo(const uint8_t* data, int64_t size, DibInfo* info)
{
    if (!data || size < 12) return false;
    DibInfo d;
    d.headerBytes = int(Le32(data));
    int64_t height = 0;
    uint32_t used = 0;
    if (d.headerBytes == 12) {
        d.width = Le16(data + 4);
        height = Le16(data + 6);
        d.bitCount = int(Le16(data + 10));
        d.entryBytes = 3;
    } else if (d.headerBytes >= 40 && d.headerBytes <= size) {
        d.width = int32_t(Le32(data + 4));
        height = int32_t(Le32(data + 8));
        d.bitCount = int(Le16(data + 14));
        d.compression = int(Le32(data + 16));
        used = Le32(data + 32);
    } else {
        return false;
    }
    if (d.bitCount != 1 && d.bitCount != 4 && d.bitCount != 8 && d.bitCount != 16 && d.bitCount != 24 &&
        d.bitCount != 32)
        return false;
    if (d.width <= 0 || height == 0) return false;
    d.topDown = height < 0;
    d.height = height < 0 ? -height : height;
    if (d.bitCount <= 8)
        d.tableEntries = used ? int(std::min<uint32_t>(used, 4096)) : (1 << d.bitCount);
    else
        d.tableEntries = int(std::min<uint32_t>(used, 4096));
    if (d.headerBytes == 12 && d.bitCount > 8) d.tableEntries = 0;
    d.pixelOffset = d.headerBytes + int64_t(d.tableEntries) * d.entryBytes;
    d.stride = Stride(d.width, d.bitCount);
    if (d.pixelOffset > size) return false;
    if (d.height > (size - d.pixelOffset) / d.stride) return false;
    *info = d;
    return true;
}

bool GetDibInfo(IPIHANDLE dib, int64_t* width, int64_t* height, int* bitCount)
{
    IpiGlobalLock lock(dib);
    DibInfo info;
    if (!lock.ptr() || !ReadDibInfo(lock.ptr(), lock.size(), &info)) return false;
    *width = info.width;
    *height = info.height;
    *bitCount = info.bitCount;
    return true;
}

IPIHANDLE CopyDib(IPIHANDLE dib)
{
    IpiGlobalLock src(dib);
    if (!src.ptr()) return 0;
    const IPIHANDLE copy = ipiGlobalAlloc(src.size());
    if (!copy) return 0;
    IpiGlobalLock dst(copy);
    if (!dst.ptr()) { ipiGlobalFree(copy); return 0; }
    std::memcpy(dst.ptr(), src.ptr(), size_t(src.size()));
    return copy;
}

ThumbSize FitIntoBox(int64_t w, int64_t h, int64_t boxW, int64_t boxH)
{
    if (w <= 0 || h <= 0) return {0, 0};
    if (w <= boxW && h <= boxH) return {w, h};
    const double ratio = std::min(double(boxW) / double(w), double(boxH) / double(h));
    ThumbSize s{int64_t(double(w) * ratio), int64_t(double(h) * ratio)};
    if (s.width < 1) s.width = 1;
    if (s.height < 1) s.height = 1;
    return s;
}

IPIHANDLE ReduceDib(const uint8_t* data, int64_t size, int64_t dstW, int64_t dstH)
{
    DibInfo info;
    if (!ReadDibInfo(data, size, &info) || info.compression != 0) return 0;
    if (dstW <= 0 || dstH <= 0 || info.width > 0x7FFFFF || info.height > 0x7FFFFF) return 0;

    const bool bilevel = info.bitCount == 1;
    const int channels = bilevel ? 1 : 3;
    const Table table = ReadTable(data, info);
    uint8_t* outPixels = nullptr;
    uint8_t* outTable = nullptr;
    int64_t outStride = 0;
    const IPIHANDLE out = ConstructBlank(dstW, dstH, bilevel ? 8 : 24, &outPixels, &outTable, &outStride);
    if (!out) return 0;

    if (bilevel) {
        // Ramp from colour 0 to colour 1; the product comes before the division.
        for (int k = 0; k < 256; ++k) {
            outTable[4 * k] = uint8_t(table.b[0] + ((int(table.b[1]) - int(table.b[0])) * k) / 256);
            outTable[4 * k + 1] = uint8_t(table.g[0] + ((int(table.g[1]) - int(table.g[0])) * k) / 256);
            outTable[4 * k + 2] = uint8_t(table.r[0] + ((int(table.r[1]) - int(table.r[0])) * k) / 256);
        }
    }

    // A pixel weighs (wx x wy) >> 8. Each destination row first sums its
    // source rows per column (weighted by wy), then each span sums those
    // columns (weighted by wx): that gives the untruncated products, from
    // which the few pixels fractional on both axes give back what the shift
    // drops, leaving exactly 256 x the sums of the pixel weights.
    const AxisTaps xs = BuildAxis(info.width, dstW);
    const AxisTaps ys = BuildAxis(info.height, dstH);
    const size_t rowLen = size_t(info.width) * size_t(channels);
    int64_t widestRow = 0;
    for (int64_t j = 0; j < dstH; ++j) widestRow = std::max(widestRow, ys.total[size_t(j)]);
    // Column sums of up to 65,793 source rows of 256 x 255 stay within 32 bits.
    const bool narrow = widestRow * 255 <= int64_t(UINT32_MAX);
    std::vector<uint32_t> acc32(narrow ? rowLen : 0);
    std::vector<uint64_t> acc64(narrow ? 0 : rowLen);
    std::vector<uint16_t> whole(rowLen);
    int wholeRows = 0;
    auto moveWholeRows = [&] {
        if (narrow)
            MoveWholeRows(acc32.data(), whole.data(), rowLen);
        else
            MoveWholeRows(acc64.data(), whole.data(), rowLen);
        wholeRows = 0;
    };
    std::vector<uint8_t> row(info.bitCount == 24 ? 0 : size_t(info.width) * 3);
    const std::vector<Corner> corners = PartialTaps(xs);
    std::vector<int64_t> cornerSum(size_t(dstW) * channels), cornerWeight(static_cast<size_t>(dstW));
    std::vector<uint8_t> first(size_t(dstW) * channels);

    for (int64_t j = 0; j < dstH; ++j) {
        if (narrow)
            std::fill(acc32.begin(), acc32.end(), 0u);
        else
            std::fill(acc64.begin(), acc64.end(), 0u);
        std::fill(cornerSum.begin(), cornerSum.end(), 0);
        std::fill(cornerWeight.begin(), cornerWeight.end(), 0);
        for (int32_t ty = ys.begin[size_t(j)]; ty < ys.begin[size_t(j) + 1]; ++ty) {
            const int32_t wy = ys.weight[size_t(ty)];
            const uint8_t* src = RowFromTop(data, info, ys.src[size_t(ty)]);
            if (info.bitCount != 24) {
                ConvertRow(src, info, table, row.data());
                src = row.data();
            }
            if (ty == ys.begin[size_t(j)]) {
                for (int64_t i = 0; i < dstW; ++i)
                    for (int c = 0; c < channels; ++c)
                        first[size_t(i * channels + c)] = src[int64_t(xs.src[size_t(xs.begin[size_t(i)])]) * channels + c];
            }
            if (wy == 256) {
                // Rows read in place go four at a time (fewer passes over
                // the sums); converted rows one by one.
                const uint8_t* rows[4] = {src, nullptr, nullptr, nullptr};
                int n = 1;
                if (info.bitCount == 24)
                    for (; n < 4 && ty + n < ys.begin[size_t(j) + 1] && ys.weight[size_t(ty + n)] == 256; ++n)
                        rows[n] = RowFromTop(data, info, ys.src[size_t(ty + n)]);
                if (wholeRows + n > kWholeRowsIn16Bits) moveWholeRows();
                if (n == 4)
                    AddFourRows(whole.data(), rows[0], rows[1], rows[2], rows[3], rowLen);
                else
                    for (int m = 0; m < n; ++m) AddRow(whole.data(), rows[m], rowLen);
                wholeRows += n;
                ty += n - 1;
                continue;
            }
            if (narrow)
                AddWeightedRow(acc32.data(), src, rowLen, wy);
            else
                AddWeightedRow(acc64.data(), src, rowLen, wy);
            // Pixels fractional on both axes: their weight is the product
            // / 256 truncated; keep what the truncation drops.
            for (const Corner& k : corners) {
                const int32_t lost = (k.weight * wy) & 255;
                if (!lost) continue;
                cornerWeight[size_t(k.dst)] += lost;
                const uint8_t* px = src + int64_t(k.pos) * channels;
                for (int c = 0; c < channels; ++c) cornerSum[size_t(k.dst) * channels + c] += int64_t(lost) * px[c];
            }
        }

        if (wholeRows) moveWholeRows();

        uint8_t* dst = outPixels + (dstH - j - 1) * outStride;
        const int64_t wyTotal = ys.total[size_t(j)];
        for (int64_t i = 0; i < dstW; ++i) {
            const int32_t t0 = xs.begin[size_t(i)], t1 = xs.begin[size_t(i) + 1];
            const size_t at = size_t(xs.src[size_t(t0)]) * channels;
            const int32_t* wx = &xs.weight[size_t(t0)];
            uint64_t s[3] = {0, 0, 0};
            if (narrow)
                SumColumns(acc32.data() + at, wx, t1 - t0, channels, s);
            else
                SumColumns(acc64.data() + at, wx, t1 - t0, channels, s);
            // Every product of axis weights is 256 x its pixel weight plus
            // the part the truncation drops, so both divide exactly.
            const int64_t ws = (xs.total[size_t(i)] * wyTotal - cornerWeight[size_t(i)]) >> 8;
            if (bilevel) {
                // Weighted share of set pixels as an index into the ramp.
                const int64_t sum = (int64_t(s[0]) - cornerSum[size_t(i)]) >> 8;
                dst[i] = uint8_t(ws > 0 ? sum * 255 / ws : first[size_t(i)] * 255);
            } else {
                for (int c = 0; c < 3; ++c) {
                    const int64_t sum = (int64_t(s[c]) - cornerSum[size_t(i) * 3 + c]) >> 8;
                    dst[3 * i + c] = uint8_t(ws > 0 ? sum / ws : first[size_t(i) * 3 + c]);
                }
            }
        }
    }
    ipiGlobalUnlock(out);
    return out;
}

IPIHANDLE ReduceDib(IPIHANDLE dib, int64_t dstW, int64_t dstH)
{
    IpiGlobalLock lock(dib);
    if (!lock.ptr()) return 0;
    return ReduceDib(lock.ptr(), lock.size(), dstW, dstH);
}

QImage DibToImage(IPIHANDLE dib)
{
    IpiGlobalLock lock(dib);
    DibInfo info;
    if (!lock.ptr() || !ReadDibInfo(lock.ptr(), lock.size(), &info) || info.compression != 0) return {};
    if (info.width > 32767 || info.height > 32767) return {};
    const Table table = ReadTable(lock.ptr(), info);
    QImage image(int(info.width), int(info.height), QImage::Format_RGB32);
    std::vector<uint8_t> row(size_t(info.width) * 3);
    for (int64_t r = 0; r < info.height; ++r) {
        ConvertRow(RowFromTop(lock.ptr(), info, r), info, table, row.data());
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(int(r)));
        for (int64_t x = 0; x < info.width; ++x) {
            if (info.bitCount == 1) {
                const int k = row[x];
                line[x] = qRgb(table.r[k], table.g[k], table.b[k]);
            } else {
                line[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
            }
        }
    }
    return image;
}

} // namespace thumbctl
