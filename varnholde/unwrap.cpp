// Quality-guided flood-fill phase unwrapping.
//
// Each 4-connected island of non-blank pixels is unwrapped on its own, from
// its pixel nearest the image centre (fringe order 0 there). Pixels join the
// unwrapped region in order of a quality cost (the second differences of the
// wrapped phase around them); a pixel is unwrapped, in whole counts, from the
// neighbour through which it is first reached. Counts are integers, so long
// paths accumulate no rounding, and every tie is broken in a fixed order.
//
// The fill visits pixels in quality order all over its front, so on a large
// image nearly every step lands on memory that is not in the cache. All it
// touches is one 4-byte cell a pixel, kept in the caller's output buffer:
// phase byte, blank, reached and edge bits, and the cost of a pixel until it
// is reached, then its fringe order (a count is the phase byte plus 256 times
// the order). An image whose orders outgrow the cell is filled again with wide
// counts beside the cells.
#include "varnholde/internal.h"
#include "varnholde/varnholde.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <sys/mman.h>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

using namespace varnholde;

namespace {

constexpr int kBuckets = 1024;       // quality costs 0 .. kBuckets - 1
constexpr int kMissingPenalty = 64;  // cost of a second difference that cannot be formed
constexpr int kLookAhead = 12;       // pixels of the queue fetched ahead of their turn

// One pixel of the fill: bits 0-7 phase byte, 8 blank, 9 reached, 10-13 no
// neighbour to the left, right, above, below; from bit 14 the cost until the
// pixel is reached, then its fringe order (signed).
using Cell = uint32_t;
constexpr Cell kBlankBit = 1u << 8, kReached = 1u << 9;
constexpr Cell kNoLeft = 1u << 10, kNoRight = 1u << 11, kNoUp = 1u << 12, kNoDown = 1u << 13;
constexpr int kHighShift = 14;
constexpr Cell kLowBits = (1u << kHighShift) - 1;
constexpr int32_t kMaxOrder = (1 << (31 - kHighShift)) - 1, kMinOrder = -kMaxOrder - 1;

inline int PhaseOf(Cell c) { return int(c & 255); }
inline int CostOf(Cell c) { return int(c >> kHighShift) & (kBuckets - 1); }
inline int32_t OrderOf(Cell c) { return static_cast<int32_t>(c) >> kHighShift; }

// The cells, in the caller's float buffer: read and written bytewise, so that
// the compiler sees no type punning.
struct Cells {
    float* buffer;
    Cell operator[](size_t i) const
    {
        Cell c;
        std::memcpy(&c, buffer + i, sizeof c);
        return c;
    }
    void set(size_t i, Cell c) const { std::memcpy(buffer + i, &c, sizeof c); }
    void fetch(int32_t i) const { __builtin_prefetch(buffer + i, 1); }
};

// Wide counts, for the rare image whose orders do not fit a cell.
class WideCounts {
public:
    explicit WideCounts(size_t n) : values_(new int64_t[n]) {}
    int64_t& operator[](size_t i) { return values_[i]; }

private:
    std::unique_ptr<int64_t[]> values_;
};

#if defined(__SSE2__)
// The second-difference term of 16 pixels: |int8(p - a) - int8(b - p)|, or
// the penalty where a or b is blank; 16-bit lanes, low and high 8 pixels.
inline void Terms16(__m128i a, __m128i p, __m128i b, __m128i* lo, __m128i* hi)
{
    const __m128i zero = _mm_setzero_si128(), blank = _mm_set1_epi8(char(kBlank));
    // Signed bytes widened to 16 bits: unpack against their sign.
    auto widen = [&](__m128i v, bool high) {
        const __m128i sign = _mm_cmpgt_epi8(zero, v);
        return high ? _mm_unpackhi_epi8(v, sign) : _mm_unpacklo_epi8(v, sign);
    };
    const __m128i first = _mm_sub_epi8(p, a), second = _mm_sub_epi8(b, p);
    const __m128i missing = _mm_or_si128(_mm_cmpeq_epi8(a, blank), _mm_cmpeq_epi8(b, blank));
    const __m128i penalty = _mm_set1_epi16(kMissingPenalty);
    for (int h = 0; h < 2; ++h) {
        const __m128i d = _mm_sub_epi16(widen(first, h), widen(second, h));
        const __m128i magnitude = _mm_max_epi16(d, _mm_sub_epi16(zero, d));
        const __m128i gone = h ? _mm_unpackhi_epi8(missing, missing) : _mm_unpacklo_epi8(missing, missing);
        (h ? *hi : *lo) = _mm_or_si128(_mm_and_si128(gone, penalty), _mm_andnot_si128(gone, magnitude));
    }
}

// Cells of an inside row (every neighbour exists) from x on, 16 pixels at a
// time; returns the first pixel not done. Four terms of at most 255 never
// reach the top cost, so no clamp is needed.
int InsideCells16(const uint8_t* r, const uint8_t* up, const uint8_t* down, int x, int cols, float* out)
{
    const __m128i zero = _mm_setzero_si128(), blank = _mm_set1_epi8(char(kBlank));
    for (; x + 17 <= cols; x += 16) {
        auto at = [](const uint8_t* row, int i) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i)); };
        const __m128i p = at(r, x);
        __m128i sum[2] = {zero, zero}, t[2];
        Terms16(at(r, x - 1), p, at(r, x + 1), &t[0], &t[1]);
        sum[0] = t[0], sum[1] = t[1];
        Terms16(at(up, x), p, at(down, x), &t[0], &t[1]);
        sum[0] = _mm_add_epi16(sum[0], t[0]), sum[1] = _mm_add_epi16(sum[1], t[1]);
        Terms16(at(up, x - 1), p, at(down, x + 1), &t[0], &t[1]);
        sum[0] = _mm_add_epi16(sum[0], t[0]), sum[1] = _mm_add_epi16(sum[1], t[1]);
        Terms16(at(up, x + 1), p, at(down, x - 1), &t[0], &t[1]);
        sum[0] = _mm_add_epi16(sum[0], t[0]), sum[1] = _mm_add_epi16(sum[1], t[1]);
        const __m128i isBlank = _mm_cmpeq_epi8(p, blank);
        for (int h = 0; h < 2; ++h) {
            const __m128i phase = h ? _mm_unpackhi_epi8(p, zero) : _mm_unpacklo_epi8(p, zero);
            const __m128i gone = h ? _mm_unpackhi_epi8(isBlank, isBlank) : _mm_unpacklo_epi8(isBlank, isBlank);
            // Blank: phase | blank bit; else phase | cost << kHighShift.
            const __m128i costs = _mm_andnot_si128(gone, sum[h]);
            const __m128i blankBits = _mm_and_si128(gone, _mm_set1_epi16(int16_t(kBlankBit)));
            const __m128i low = _mm_or_si128(phase, blankBits);
            for (int q = 0; q < 2; ++q) {
                const __m128i l = q ? _mm_unpackhi_epi16(low, zero) : _mm_unpacklo_epi16(low, zero);
                const __m128i c = q ? _mm_unpackhi_epi16(costs, zero) : _mm_unpacklo_epi16(costs, zero);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + 8 * h + 4 * q),
                                 _mm_or_si128(l, _mm_slli_epi32(c, kHighShift)));
            }
        }
    }
    return x;
}
#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VARNHOLDE_UNWRAP_AVX2 1
#define VARNHOLDE_AVX2_CODE __attribute__((target("avx2")))

// The radians of ToRadians on eight cells at once where the processor has
// AVX2, with the same double products and float rounding; returns the
// first cell not done.
VARNHOLDE_AVX2_CODE size_t RadiansAvx2(Cells cells, size_t n)
{
    const __m256d radiansPerCount = _mm256_set1_pd(kRadiansPerCount);
    const __m256i blank = _mm256_set1_epi32(int(kBlankBit)), phaseBits = _mm256_set1_epi32(255);
    const __m256 noData = _mm256_set1_ps(kNoData), below = _mm256_set1_ps(AsData(kNoData));
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cells.buffer + i));
        const __m256i count =
            _mm256_add_epi32(_mm256_and_si256(c, phaseBits), _mm256_slli_epi32(_mm256_srai_epi32(c, kHighShift), 8));
        const __m128 lo = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(count)), radiansPerCount));
        const __m128 hi =
            _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(count, 1)), radiansPerCount));
        __m256 r = _mm256_set_m128(hi, lo);
        r = _mm256_blendv_ps(r, below, _mm256_cmp_ps(r, noData, _CMP_EQ_OQ));
        const __m256 isBlank = _mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_and_si256(c, blank), blank));
        _mm256_storeu_ps(cells.buffer + i, _mm256_blendv_ps(r, noData, isBlank));
    }
    return i;
}

// The low (0) or high (1) half of a vector.
VARNHOLDE_AVX2_CODE inline __m128i Half(__m256i v, int h)
{
    return h ? _mm256_extracti128_si256(v, 1) : _mm256_castsi256_si128(v);
}

VARNHOLDE_AVX2_CODE inline __m256i Load32(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

// Second-difference terms of 32 pixels (16-bit lanes, low and high 16 pixels),
// as Terms16 gives them.
VARNHOLDE_AVX2_CODE inline void Terms32(__m256i a, __m256i p, __m256i b, __m256i* lo, __m256i* hi)
{
    const __m256i blank = _mm256_set1_epi8(char(kBlank)), penalty = _mm256_set1_epi16(kMissingPenalty);
    const __m256i first = _mm256_sub_epi8(p, a), second = _mm256_sub_epi8(b, p);
    const __m256i missing = _mm256_or_si256(_mm256_cmpeq_epi8(a, blank), _mm256_cmpeq_epi8(b, blank));
    for (int h = 0; h < 2; ++h) {
        const __m256i d = _mm256_sub_epi16(_mm256_cvtepi8_epi16(Half(first, h)), _mm256_cvtepi8_epi16(Half(second, h)));
        const __m256i gone = _mm256_cvtepi8_epi16(Half(missing, h));  // 0 or -1 in each lane
        (h ? *hi : *lo) = _mm256_blendv_epi8(_mm256_abs_epi16(d), penalty, gone);
    }
}

// As InsideCells16, 32 pixels at a time; returns the first pixel not done.
VARNHOLDE_AVX2_CODE int InsideCells32(const uint8_t* r, const uint8_t* up, const uint8_t* down, int x, int cols,
                                      float* out)
{
    const __m256i blank = _mm256_set1_epi8(char(kBlank));
    for (; x + 33 <= cols; x += 32) {
        const __m256i p = Load32(r + x);
        __m256i sum[2], t[2];
        Terms32(Load32(r + x - 1), p, Load32(r + x + 1), &sum[0], &sum[1]);
        Terms32(Load32(up + x), p, Load32(down + x), &t[0], &t[1]);
        sum[0] = _mm256_add_epi16(sum[0], t[0]), sum[1] = _mm256_add_epi16(sum[1], t[1]);
        Terms32(Load32(up + x - 1), p, Load32(down + x + 1), &t[0], &t[1]);
        sum[0] = _mm256_add_epi16(sum[0], t[0]), sum[1] = _mm256_add_epi16(sum[1], t[1]);
        Terms32(Load32(up + x + 1), p, Load32(down + x - 1), &t[0], &t[1]);
        sum[0] = _mm256_add_epi16(sum[0], t[0]), sum[1] = _mm256_add_epi16(sum[1], t[1]);
        const __m256i isBlank = _mm256_cmpeq_epi8(p, blank);
        for (int h = 0; h < 2; ++h) {
            const __m128i ph = Half(p, h), bh = Half(isBlank, h);
            for (int q = 0; q < 2; ++q) {
                // Eight pixels: phase | blank bit, or phase | cost << kHighShift.
                const __m128i p8 = q ? _mm_srli_si128(ph, 8) : ph;
                const __m128i b8 = q ? _mm_srli_si128(bh, 8) : bh;
                const __m128i cost16 = Half(sum[h], q);
                const __m256i phase = _mm256_cvtepu8_epi32(p8);
                const __m256i gone = _mm256_cvtepi8_epi32(b8);
                const __m256i cost = _mm256_slli_epi32(_mm256_cvtepu16_epi32(cost16), kHighShift);
                const __m256i cell = _mm256_or_si256(phase, _mm256_blendv_epi8(cost, _mm256_set1_epi32(int(kBlankBit)), gone));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x + 16 * h + 8 * q), cell);
            }
        }
    }
    return x;
}
#endif

// The cells of the image: phase, blank and edge bits and the cost of each
// pixel, which is the summed magnitude of its horizontal, vertical and two
// diagonal second differences, in counts, with a fixed penalty for each one
// that a blank or outside pixel prevents.
void MakeCells(const uint8_t* w, int rows, int cols, Cells cells)
{
    // Phase byte at (x, y), blank outside the image.
    auto at = [&](int x, int y) -> uint8_t {
        return x < 0 || y < 0 || x >= cols || y >= rows ? kBlank : w[size_t(y) * cols + x];
    };
    auto term = [](uint8_t a, uint8_t p, uint8_t b) {
        const int second = std::abs(WrappedStep(a, p) - WrappedStep(p, b));
        return ((a == kBlank) | (b == kBlank)) ? kMissingPenalty : second;
    };
    for (int y = 0; y < rows; ++y) {
        const uint8_t* r = w + size_t(y) * cols;
        const size_t first = size_t(y) * cols;
        const Cell rowEdges = (y == 0 ? kNoUp : 0) | (y == rows - 1 ? kNoDown : 0);
        // A pixel next to the border of the image.
        auto edge = [&](int x) {
            const uint8_t p = r[x];
            const Cell low = p | rowEdges | (x == 0 ? kNoLeft : 0) | (x == cols - 1 ? kNoRight : 0);
            const int sum = term(at(x - 1, y), p, at(x + 1, y)) + term(at(x, y - 1), p, at(x, y + 1)) +
                            term(at(x - 1, y - 1), p, at(x + 1, y + 1)) + term(at(x + 1, y - 1), p, at(x - 1, y + 1));
            cells.set(first + x, p == kBlank ? low | kBlankBit
                                             : low | (Cell(sum < kBuckets ? sum : kBuckets - 1) << kHighShift));
        };
        if (y == 0 || y + 1 == rows || cols < 3) {
            for (int x = 0; x < cols; ++x) edge(x);
            continue;
        }
        edge(0);
        // Inside: every neighbour exists; no branches.
        const uint8_t* up = r - cols;
        const uint8_t* down = r + cols;
        float* out = cells.buffer + first;
        int x = 1;
#ifdef VARNHOLDE_UNWRAP_AVX2
        static const bool avx2 = __builtin_cpu_supports("avx2");
        if (avx2) x = InsideCells32(r, up, down, x, cols, out);
#endif
#if defined(__SSE2__)
        x = InsideCells16(r, up, down, x, cols, out);
#endif
        for (; x + 1 < cols; ++x) {
            const uint8_t p = r[x];
            const int sum = term(r[x - 1], p, r[x + 1]) + term(up[x], p, down[x]) + term(up[x - 1], p, down[x + 1]) +
                            term(up[x + 1], p, down[x - 1]);
            const Cell cell = p == kBlank ? (p | kBlankBit) : (p | (Cell(std::min(sum, kBuckets - 1)) << kHighShift));
            std::memcpy(out + x, &cell, sizeof cell);
        }
        edge(cols - 1);
    }
}

// Priority queue over small integer costs: one first-in first-out list per
// cost, so that pixels of equal quality are taken in the order they were
// reached. The lists are chains of fixed-size chunks, which go back to a pool
// once read, so the queue holds little more than what waits in it.
class BucketQueue {
public:
    // For a fill of `pixels` pixels: the chunks come from one mapping with
    // room for all of them waiting at once, which takes memory only as it is
    // used and gives it all back at the end.
    explicit BucketQueue(size_t pixels) : capacity_(pixels / kChunkItems + 2 * kBuckets + 2)
    {
        void* p = mmap(nullptr, capacity_ * sizeof(Chunk), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        chunks_ = static_cast<Chunk*>(p);
    }
    ~BucketQueue() { munmap(chunks_, capacity_ * sizeof(Chunk)); }
    BucketQueue(const BucketQueue&) = delete;
    BucketQueue& operator=(const BucketQueue&) = delete;
    __attribute__((always_inline)) void push(int32_t pixel, int cost)
    {
        List& l = heads_[cost];
        if (l.tailChunk < 0 || l.tailPos == kChunkItems) {
            const int32_t c = newChunk();
            if (l.tailChunk < 0) {
                l.headChunk = c, l.headPos = 0;
                waiting_[cost >> 6] |= uint64_t(1) << (cost & 63);
            }
            else chunks_[size_t(l.tailChunk)].next = c;
            l.tailChunk = c;
            l.tailPos = 0;
        }
        chunks_[size_t(l.tailChunk)].items[l.tailPos++] = pixel;
        if (cost < lowest_) lowest_ = cost;
        ++size_;
    }
    bool empty() const { return size_ == 0; }
    // The pixel `ahead` places behind the next one in the lowest non-empty
    // list, when that list holds it in its first two chunks; else -1. Unless
    // a better pixel comes first, it is popped soon.
    int32_t peek(int ahead) const
    {
        const List& l = heads_[lowest_ < kBuckets ? lowest_ : 0];
        if (l.headChunk < 0) return -1;
        int pos = l.headPos + ahead;
        int32_t chunk = l.headChunk;
        if (pos >= kChunkItems && chunk != l.tailChunk) {
            chunk = chunks_[size_t(chunk)].next;
            pos -= kChunkItems;
        }
        const int end = chunk == l.tailChunk ? l.tailPos : kChunkItems;
        return pos < end ? chunks_[size_t(chunk)].items[pos] : -1;
    }
    int32_t pop()
    {
        if (heads_[lowest_].headChunk < 0) {
            int word = lowest_ >> 6;
            uint64_t bits = waiting_[word] & (~uint64_t(0) << (lowest_ & 63));
            while (!bits) bits = waiting_[++word];
            lowest_ = word * 64 + __builtin_ctzll(bits);
        }
        List& l = heads_[lowest_];
        Chunk& c = chunks_[size_t(l.headChunk)];
        const int32_t pixel = c.items[l.headPos++];
        --size_;
        if (l.headChunk == l.tailChunk && l.headPos == l.tailPos) {
            release(l.headChunk);
            l = List{};
            waiting_[lowest_ >> 6] &= ~(uint64_t(1) << (lowest_ & 63));
        } else if (l.headPos == kChunkItems) {
            const int32_t next = c.next;
            release(l.headChunk);
            l.headChunk = next;
            l.headPos = 0;
        }
        return pixel;
    }

private:
    static constexpr int kChunkItems = 255;
    struct Chunk {
        int32_t items[kChunkItems];
        int32_t next;
    };
    struct List {
        int32_t headChunk = -1, tailChunk = -1;
        int headPos = 0, tailPos = 0;
    };
    // Read chunks are chained through `next` for reuse.
    int32_t newChunk()
    {
        if (free_ >= 0) {
            const int32_t c = free_;
            free_ = chunks_[size_t(c)].next;
            return c;
        }
        if (used_ == capacity_) throw std::bad_alloc();
        if (used_ == present_) makePresent();
        return int32_t(used_++);
    }
    // The next stretch of never-used chunks is about to be written: its pages
    // are made present in one call rather than one at a time.
    void makePresent()
    {
        constexpr size_t kStretch = (size_t(1) << 20) / sizeof(Chunk);
        const size_t end = std::min(capacity_, present_ + kStretch);
#ifdef MADV_POPULATE_WRITE
        const uintptr_t page = 4096;
        const uintptr_t from = reinterpret_cast<uintptr_t>(chunks_ + present_) & ~(page - 1);
        const uintptr_t to = reinterpret_cast<uintptr_t>(chunks_ + end);
        madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#endif
        present_ = end;
    }
    void release(int32_t c)
    {
        chunks_[size_t(c)].next = free_;
        free_ = c;
    }
    List heads_[kBuckets];
    uint64_t waiting_[kBuckets / 64] = {};   // bit per list that holds pixels
    Chunk* chunks_ = nullptr;
    size_t capacity_ = 0, used_ = 0, present_ = 0;
    int32_t free_ = -1;
    int lowest_ = kBuckets;
    size_t size_ = 0;
};

// Islands of 4-connected non-blank pixels, each with its seed: the pixel
// nearest the image centre, the first in row order on a tie. One raster scan
// over the runs of non-blank pixels with union-find (the root of a set is its
// first pixel, as joins keep the smaller root), then one scan to number the
// islands and pick the seeds, a run at a time. Only the first pixel of a run
// holds a link; a run joins the set of each run above it that it touches.
// The links borrow the output buffer (before it holds the cells): a root
// links to itself until it is numbered, then holds -(island + 1).
std::vector<int32_t> FindSeeds(const uint8_t* w, int rows, int cols, float* links)
{
    auto get = [links](int32_t i) {
        int32_t v;
        std::memcpy(&v, links + i, sizeof v);
        return v;
    };
    auto set = [links](int32_t i, int32_t v) { std::memcpy(links + i, &v, sizeof v); };
    auto find = [&](int32_t i) {
        for (int32_t p = get(i); p >= 0 && p != i; p = get(i)) {
            const int32_t g = get(p);
            if (g >= 0 && g != p) set(i, g); // path halving
            i = p;
        }
        return i;
    };
    // The runs of row y, in order: f(first x, end x).
    auto runs = [&](int y, auto&& f) {
        const uint8_t* r = w + size_t(y) * cols;
        int x = 0;
        while (x < cols) {
            while (x < cols && r[x] == kBlank) ++x;
            if (x == cols) break;
            const void* blank = std::memchr(r + x, kBlank, size_t(cols - x));
            const int end = blank ? int(static_cast<const uint8_t*>(blank) - r) : cols;
            f(x, end);
            x = end;
        }
    };
    // The runs of the row above (first x, end x), and those of this row.
    std::vector<std::pair<int, int>> above, here;
    for (int y = 0; y < rows; ++y) {
        here.clear();
        size_t next = 0;  // the first run above that may still touch a run of this row
        runs(y, [&](int x0, int x1) {
            here.emplace_back(x0, x1);
            const int32_t first = y * cols + x0;
            int32_t root = first;
            while (next < above.size() && above[next].second <= x0) ++next;
            // Each run above that this run touches, from the left.
            for (size_t k = next; k < above.size() && above[k].first < x1; ++k) {
                const int32_t top = find((y - 1) * cols + above[k].first);
                if (top < root) {
                    if (root != first) set(root, top);
                    root = top;
                } else if (root < top) {
                    set(top, root);
                }
            }
            set(first, root);
        });
        above.swap(here);
    }
    std::vector<int32_t> seeds;
    std::vector<int64_t> distances;
    for (int y = 0; y < rows; ++y) {
        const int64_t dy = 2 * int64_t(y) - (rows - 1);
        runs(y, [&](int x0, int x1) {
            // The run's pixel nearest the centre column (the left one of two).
            const int x = std::min(std::max((cols - 1) / 2, x0), x1 - 1);
            const int64_t dx = 2 * int64_t(x) - (cols - 1);
            const int64_t d = dx * dx + dy * dy; // doubled offsets keep it in integers
            const int32_t r = find(y * cols + x0);
            const int32_t l = get(r);
            if (l == r) {
                set(r, -int32_t(seeds.size()) - 1);
                seeds.push_back(y * cols + x);
                distances.push_back(d);
            } else {
                const size_t k = size_t(-l - 1);
                if (d < distances[k]) seeds[k] = y * cols + x, distances[k] = d;
            }
        });
    }
    return seeds;
}

// Grows each island from its seed, best quality first; a pixel is unwrapped
// from the neighbour that reaches it first. Without `wide` the counts go into
// the cells as fringe orders, and the fill gives up (false) as soon as one
// does not fit; with it they go there.
template <bool Wide>
bool Fill(Cells cells, int32_t cols, size_t n, const std::vector<int32_t>& seeds, WideCounts* wide)
{
    BucketQueue queue(n);
    for (const int32_t seed : seeds) {
        const Cell cs = cells[size_t(seed)];
        if (Wide) (*wide)[size_t(seed)] = PhaseOf(cs);
        cells.set(size_t(seed), (cs & kLowBits) | kReached);   // fringe order 0
        queue.push(seed, CostOf(cs));
        while (!queue.empty()) {
            const int32_t p = queue.pop();
            // The cells of a pixel soon to come are fetched while this one is
            // worked on.
            if (const int32_t soon = queue.peek(kLookAhead); soon >= 0) {
                cells.fetch(soon - cols);
                cells.fetch(soon);
                cells.fetch(soon + cols);
            }
            const Cell cp = cells[size_t(p)];
            const int wp = PhaseOf(cp);
            const int32_t order = OrderOf(cp);
            // `beyond` is the pixel past q seen from p.
            auto visit = [&](Cell edge, int32_t q, int32_t beyond) {
                if (cp & edge) return true;
                const Cell cq = cells[size_t(q)];
                if (cq & (kBlankBit | kReached)) return true;
                const int wq = PhaseOf(cq);
                const int step = WrappedStep(uint8_t(wp), uint8_t(wq));
                if (Wide) {
                    (*wide)[size_t(q)] = (*wide)[size_t(p)] + step;
                    cells.set(size_t(q), cq | kReached);
                } else {
                    // The count moves by `step`; the order by -1, 0 or 1.
                    const int32_t next = order + (wp + step - wq) / 256;
                    if (next < kMinOrder || next > kMaxOrder) return false;
                    cells.set(size_t(q), (cq & kLowBits) | kReached | (Cell(next) << kHighShift));
                }
                // A pixel reached upwards or downwards is often taken next
                // (when its cost is the lowest), and then needs the row past
                // it, which nothing has touched yet: fetch it now.
                if (beyond != q) cells.fetch(beyond);
                queue.push(q, CostOf(cq));
                return true;
            };
            if (!visit(kNoLeft, p - 1, p - 1) || !visit(kNoRight, p + 1, p + 1) ||
                !visit(kNoUp, p - cols, p - 2 * cols) || !visit(kNoDown, p + cols, p + 2 * cols))
                return false;
        }
    }
    return true;
}

// Radians of every pixel, in place of its cell; 9999.0 for blank pixels.
// Without branches (AsData spelt out), so that it runs on whole vectors.
void ToRadians(Cells cells, size_t n, WideCounts* wide)
{
    const float below = AsData(kNoData);
    size_t i = 0;
#ifdef VARNHOLDE_UNWRAP_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (!wide && avx2) i = RadiansAvx2(cells, n);
#endif
#if defined(__SSE2__)
    if (!wide) {
        const __m128d radiansPerCount = _mm_set1_pd(kRadiansPerCount);
        const __m128i blank = _mm_set1_epi32(int(kBlankBit)), phaseBits = _mm_set1_epi32(255);
        for (; i + 4 <= n; i += 4) {
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cells.buffer + i));
            // phase + 256 * order
            const __m128i count =
                _mm_add_epi32(_mm_and_si128(c, phaseBits), _mm_slli_epi32(_mm_srai_epi32(c, kHighShift), 8));
            const __m128 r = ToFloat4(_mm_mul_pd(_mm_cvtepi32_pd(count), radiansPerCount),
                                      _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(count, 0xEE)), radiansPerCount));
            const __m128 isBlank = _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(c, blank), blank));
            _mm_storeu_ps(cells.buffer + i, Select4(isBlank, _mm_set1_ps(kNoData), AsData4(r)));
        }
    }
#endif
    for (; i < n; ++i) {
        const Cell c = cells[i];
        const int64_t count = wide ? (*wide)[i] : PhaseOf(c) + 256 * int64_t(OrderOf(c));
        const float r = static_cast<float>(static_cast<double>(count) * kRadiansPerCount);
        cells.buffer[i] = (c & kBlankBit) ? kNoData : (r == kNoData ? below : r);
    }
}

void Unwrap(const uint8_t* phase, int rows, int cols, float* out)
{
    const size_t n = size_t(rows) * size_t(cols);
    const Cells cells{out};
    const std::vector<int32_t> seeds = FindSeeds(phase, rows, cols, out);
    MakeCells(phase, rows, cols, cells);
    if (Fill<false>(cells, cols, n, seeds, nullptr)) {
        ToRadians(cells, n, nullptr);
        return;
    }
    // Rare: more fringes from a seed than a cell holds.
    MakeCells(phase, rows, cols, cells);
    WideCounts wide(n);
    Fill<true>(cells, cols, n, seeds, &wide);
    ToRadians(cells, n, &wide);
}

} // namespace

extern "C" int32_t Unwrap_FloodFill(const uint8_t* wrapped, int16_t seed, int16_t rows, int16_t cols,
                                    float* unwrapped)
{
    return Guard([&] {
        if (!ValidSize(rows, cols) || !Present(wrapped, "phase") || !Present(unwrapped, "output")) return kBadArgument;
        if (seed != -1) {
            SetError("Seed mode " + std::to_string(seed) + " is not supported (use -1 for the automatic seed).");
            return kBadArgument;
        }
        Unwrap(wrapped, rows, cols, unwrapped);
        return kOk;
    });
}
