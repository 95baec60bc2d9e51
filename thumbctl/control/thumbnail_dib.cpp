// Packed-bitmap geometry, copies, box fitting and the fixed-point area-average
// reduction that makes thumbnails.
#include "thumbctl/control/thumbnail_dib.h"

#include "thumbctl/kernel/decode.h"

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
// step = (source length << 8) / destination length, or the part of the
// source length given in 8.8 (span256) over the destination length. The first pixel weighs
// 256 minus its fraction, whole pixels 256, the last one the fraction it
// reaches into; a span inside one pixel gives that pixel the full 256.
AxisTaps BuildAxis(int64_t srcLen, int64_t span256, int64_t dstLen)
{
    AxisTaps t;
    // The whole length unless a part of the last pixel is given.
    if (span256 <= (srcLen - 1) << 8 || span256 > srcLen << 8) span256 = srcLen << 8;
    int64_t step = span256 / dstLen;
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

namespace {

// ---- the reduction, step by step -------------------------------------------------

// The bitmap being reduced.
struct ReductionSource {
    const uint8_t* data = nullptr;
    DibInfo info;
    Table table;
    int channels = 3;  // 1 for a 1-bit bitmap: the count of set pixels
};

// The new bitmap: its pixel rows and, at 8 bits, its colour table.
struct ReductionTarget {
    uint8_t* pixels = nullptr;
    uint8_t* table = nullptr;
    int64_t stride = 0;
};

// What each destination pixel reads: the source positions and weights along
// each axis, and the taps of x weighing less than a whole pixel.
struct ReductionPlan {
    AxisTaps xs, ys;
    std::vector<Corner> corners;
    size_t rowLen = 0;    // channel values in a source row
    bool narrow = true;   // column sums fit in 32 bits
};

// The sums one destination row gathers from its source rows.
struct RowSums {
    std::vector<uint32_t> acc32;  // weighted column sums, 32 bits when they fit
    std::vector<uint64_t> acc64;  // or 64
    std::vector<uint16_t> whole;  // unweighted sums of whole rows not yet moved over
    int wholeRows = 0;
    std::vector<int64_t> cornerSum, cornerWeight;  // what the truncated pixel weights drop
    std::vector<uint8_t> first;  // the first pixel of each span (the value of an empty span)
    std::vector<uint8_t> converted;  // a row that is not 24 bits, as channel values
};

bool OpenSource(const uint8_t* data, int64_t size, ReductionSource* src)
{
    if (!ReadDibInfo(data, size, &src->info) || src->info.compression != 0) return false;
    if (src->info.width > 0x7FFFFF || src->info.height > 0x7FFFFF) return false;
    src->data = data;
    src->table = ReadTable(data, src->info);
    src->channels = src->info.bitCount == 1 ? 1 : 3;
    return true;
}

// A blank 8-bit bitmap (from a bilevel one) or 24-bit one; the 8-bit table
// ramps from colour 0 to colour 1, the product taken before the division.
IPIHANDLE MakeTarget(const ReductionSource& src, int64_t dstW, int64_t dstH, ReductionTarget* dst)
{
    const bool bilevel = src.channels == 1;
    const IPIHANDLE out = ConstructBlank(dstW, dstH, bilevel ? 8 : 24, &dst->pixels, &dst->table, &dst->stride);
    if (!out || !bilevel) return out;
    const Table& t = src.table;
    for (int k = 0; k < 256; ++k) {
        dst->table[4 * k] = uint8_t(t.b[0] + ((int(t.b[1]) - int(t.b[0])) * k) / 256);
        dst->table[4 * k + 1] = uint8_t(t.g[0] + ((int(t.g[1]) - int(t.g[0])) * k) / 256);
        dst->table[4 * k + 2] = uint8_t(t.r[0] + ((int(t.r[1]) - int(t.r[0])) * k) / 256);
    }
    return out;
}

ReductionPlan PlanReduction(const ReductionSource& src, int64_t dstW, int64_t dstH, const SourceExtent& extent)
{
    const DibInfo& info = src.info;
    ReductionPlan plan;
    plan.xs = BuildAxis(info.width, extent.width256, dstW);
    plan.ys = BuildAxis(info.height, extent.height256, dstH);
    plan.corners = PartialTaps(plan.xs);
    plan.rowLen = size_t(info.width) * size_t(src.channels);
    int64_t widestRow = 0;
    for (int64_t j = 0; j < dstH; ++j) widestRow = std::max(widestRow, plan.ys.total[size_t(j)]);
    // Column sums of up to 65,793 source rows of 256 x 255 stay within 32 bits.
    plan.narrow = widestRow * 255 <= int64_t(UINT32_MAX);
    return plan;
}

RowSums MakeRowSums(const ReductionSource& src, const ReductionPlan& plan, int64_t dstW)
{
    RowSums sums;
    if (plan.narrow)
        sums.acc32.assign(plan.rowLen, 0);
    else
        sums.acc64.assign(plan.rowLen, 0);
    sums.whole.assign(plan.rowLen, 0);
    sums.cornerSum.assign(size_t(dstW) * src.channels, 0);
    sums.cornerWeight.assign(size_t(dstW), 0);
    sums.first.assign(size_t(dstW) * src.channels, 0);
    if (src.info.bitCount != 24) sums.converted.assign(size_t(src.info.width) * 3, 0);
    return sums;
}

// Moves the unweighted sums of whole rows into the weighted sums (as 256 x).
void MoveWholeRows(const ReductionPlan& plan, RowSums& sums)
{
    if (plan.narrow)
        MoveWholeRows(sums.acc32.data(), sums.whole.data(), plan.rowLen);
    else
        MoveWholeRows(sums.acc64.data(), sums.whole.data(), plan.rowLen);
    sums.wholeRows = 0;
}

// Source row r as channel values: read in place at 24 bits, else converted.
const uint8_t* SourceRow(const ReductionSource& src, int64_t r, RowSums& sums)
{
    const uint8_t* row = RowFromTop(src.data, src.info, r);
    if (src.info.bitCount == 24) return row;
    ConvertRow(row, src.info, src.table, sums.converted.data());
    return sums.converted.data();
}

// Whole source rows from tap `ty` on: up to four read in place at once
// (fewer passes over the sums), a converted row alone. Returns how many.
int AddWholeRows(const ReductionSource& src, const ReductionPlan& plan, int32_t ty, int32_t end,
                 const uint8_t* first, RowSums& sums)
{
    const uint8_t* rows[4] = {first, nullptr, nullptr, nullptr};
    int n = 1;
    if (src.info.bitCount == 24)
        for (; n < 4 && ty + n < end && plan.ys.weight[size_t(ty + n)] == 256; ++n)
            rows[n] = RowFromTop(src.data, src.info, plan.ys.src[size_t(ty + n)]);
    if (sums.wholeRows + n > kWholeRowsIn16Bits) MoveWholeRows(plan, sums);
    if (n == 4)
        AddFourRows(sums.whole.data(), rows[0], rows[1], rows[2], rows[3], plan.rowLen);
    else
        for (int m = 0; m < n; ++m) AddRow(sums.whole.data(), rows[m], plan.rowLen);
    sums.wholeRows += n;
    return n;
}

// A source row weighing wy < 256. Pixels fractional on both axes weigh the
// product of their axis weights / 256, truncated: keep what the truncation
// drops.
void AddPartialRow(const ReductionPlan& plan, const uint8_t* src, int32_t wy, int channels, RowSums& sums)
{
    if (plan.narrow)
        AddWeightedRow(sums.acc32.data(), src, plan.rowLen, wy);
    else
        AddWeightedRow(sums.acc64.data(), src, plan.rowLen, wy);
    for (const Corner& k : plan.corners) {
        const int32_t lost = (k.weight * wy) & 255;
        if (!lost) continue;
        sums.cornerWeight[size_t(k.dst)] += lost;
        const uint8_t* px = src + int64_t(k.pos) * channels;
        for (int c = 0; c < channels; ++c) sums.cornerSum[size_t(k.dst) * channels + c] += int64_t(lost) * px[c];
    }
}

// Gathers the source rows of destination row j. A pixel weighs
// (wx x wy) >> 8: the rows are summed per column weighted by wy here, the
// columns weighted by wx when the row is written, which gives the
// untruncated products; the corner sums hold what the shift drops.
void SumSourceRows(const ReductionSource& src, const ReductionPlan& plan, int64_t j, RowSums& sums)
{
    if (plan.narrow)
        std::fill(sums.acc32.begin(), sums.acc32.end(), 0u);
    else
        std::fill(sums.acc64.begin(), sums.acc64.end(), 0u);
    std::fill(sums.cornerSum.begin(), sums.cornerSum.end(), 0);
    std::fill(sums.cornerWeight.begin(), sums.cornerWeight.end(), 0);
    const int channels = src.channels;
    const int32_t begin = plan.ys.begin[size_t(j)], end = plan.ys.begin[size_t(j) + 1];
    for (int32_t ty = begin; ty < end; ++ty) {
        const uint8_t* row = SourceRow(src, plan.ys.src[size_t(ty)], sums);
        if (ty == begin) {
            const size_t dstW = sums.cornerWeight.size();
            for (size_t i = 0; i < dstW; ++i)
                for (int c = 0; c < channels; ++c)
                    sums.first[i * channels + c] = row[int64_t(plan.xs.src[size_t(plan.xs.begin[i])]) * channels + c];
        }
        const int32_t wy = plan.ys.weight[size_t(ty)];
        if (wy == 256)
            ty += AddWholeRows(src, plan, ty, end, row, sums) - 1;
        else
            AddPartialRow(plan, row, wy, channels, sums);
    }
    if (sums.wholeRows) MoveWholeRows(plan, sums);
}

// Destination row j from its sums: per span the column sums weighted by
// wx, less the corner sums, over the sum of the pixel weights. Every
// product of axis weights is 256 x its pixel weight plus the part the
// truncation drops, so both divide exactly. A bilevel source gives the
// weighted share of set pixels as an index into the ramp.
void WriteTargetRow(const ReductionPlan& plan, const RowSums& sums, int64_t j, int channels, uint8_t* dst)
{
    const int64_t wyTotal = plan.ys.total[size_t(j)];
    const int64_t dstW = int64_t(sums.cornerWeight.size());
    for (int64_t i = 0; i < dstW; ++i) {
        const int32_t t0 = plan.xs.begin[size_t(i)], t1 = plan.xs.begin[size_t(i) + 1];
        const size_t at = size_t(plan.xs.src[size_t(t0)]) * channels;
        const int32_t* wx = &plan.xs.weight[size_t(t0)];
        uint64_t s[3] = {0, 0, 0};
        if (plan.narrow)
            SumColumns(sums.acc32.data() + at, wx, t1 - t0, channels, s);
        else
            SumColumns(sums.acc64.data() + at, wx, t1 - t0, channels, s);
        const int64_t ws = (plan.xs.total[size_t(i)] * wyTotal - sums.cornerWeight[size_t(i)]) >> 8;
        if (channels == 1) {
            const int64_t sum = (int64_t(s[0]) - sums.cornerSum[size_t(i)]) >> 8;
            dst[i] = uint8_t(ws > 0 ? sum * 255 / ws : sums.first[size_t(i)] * 255);
            continue;
        }
        for (int c = 0; c < 3; ++c) {
            const int64_t sum = (int64_t(s[c]) - sums.cornerSum[size_t(i) * 3 + c]) >> 8;
            dst[3 * i + c] = uint8_t(ws > 0 ? sum / ws : sums.first[size_t(i) * 3 + c]);
        }
    }
}

} // namespace

IPIHANDLE ReduceDib(const uint8_t* data, int64_t size, int64_t dstW, int64_t dstH, SourceExtent extent)
{
    ReductionSource src;
    if (!OpenSource(data, size, &src) || dstW <= 0 || dstH <= 0) return 0;
    ReductionTarget dst;
    const IPIHANDLE out = MakeTarget(src, dstW, dstH, &dst);
    if (!out) return 0;
    const ReductionPlan plan = PlanReduction(src, dstW, dstH, extent);
    RowSums sums = MakeRowSums(src, plan, dstW);
    for (int64_t j = 0; j < dstH; ++j) {
        SumSourceRows(src, plan, j, sums);
        WriteTargetRow(plan, sums, j, src.channels, dst.pixels + (dstH - j - 1) * dst.stride);
    }
    ipiGlobalUnlock(out);
    return out;
}

IPIHANDLE ReduceDib(IPIHANDLE dib, int64_t dstW, int64_t dstH, SourceExtent extent)
{
    IpiGlobalLock lock(dib);
    if (!lock.ptr()) return 0;
    return ReduceDib(lock.ptr(), lock.size(), dstW, dstH, extent);
}

SourceExtent ExtentOfScaledPicture(int64_t width, int64_t height, int64_t pictureWidth, int64_t pictureHeight)
{
    for (int64_t scale = 1; scale <= 8; scale *= 2)
        if ((pictureWidth + scale - 1) / scale == width && (pictureHeight + scale - 1) / scale == height)
            return {(pictureWidth << 8) / scale, (pictureHeight << 8) / scale};
    return {};
}

double NeighbourStep(IPIHANDLE dib)
{
    IpiGlobalLock lock(dib);
    DibInfo info;
    if (!lock.ptr() || !ReadDibInfo(lock.ptr(), lock.size(), &info) || info.compression != 0 || info.bitCount == 1)
        return -1;
    const Table table = ReadTable(lock.ptr(), info);
    const size_t n = size_t(info.width) * 3;
    std::vector<uint8_t> row(n), above(n);
    int64_t across = 0, down = 0;
    for (int64_t r = 0; r < info.height; ++r) {
        ConvertRow(RowFromTop(lock.ptr(), info, r), info, table, row.data());
        for (size_t k = 3; k < n; ++k) across += std::abs(int(row[k]) - int(row[k - 3]));
        if (r > 0)
            for (size_t k = 0; k < n; ++k) down += std::abs(int(row[k]) - int(above[k]));
        row.swap(above);
    }
    const double pairsAcross = double(info.width - 1) * double(info.height) * 3;
    const double pairsDown = double(info.width) * double(info.height - 1) * 3;
    return std::max(pairsAcross > 0 ? double(across) / pairsAcross : 0.0, pairsDown > 0 ? double(down) / pairsDown : 0.0);
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

QImage DecodePictureFile(const std::string& path, int decodeFormat, int* kernelError)
{
    int error = 0;
    IPIHANDLE dib = 0;
    if (DecodeImageFromFile(path.c_str(), &dib, 1, decodeFormat, 0, nullptr, 0, &error) != 1 || !dib) {
        if (dib) ipiGlobalFree(dib);
        if (kernelError) *kernelError = error ? error : ipiErrSyntacticalError;
        return {};
    }
    DibHandle owner(dib);
    QImage image = DibToImage(dib);
    if (kernelError) *kernelError = image.isNull() ? ipiErrSyntacticalError : 0;
    return image;
}

} // namespace thumbctl
