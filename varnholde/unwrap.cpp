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
// touches is one 4-byte cell a pixel: cost, blank and reached bits, the phase
// byte and the fringe order (a count is the phase byte plus 256 times the
// order). An image whose orders outgrow the cell is filled again with wide
// counts beside the cells.
#include "varnholde/internal.h"
#include "varnholde/varnholde.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include <sys/mman.h>

using namespace varnholde;

namespace {

constexpr int kBuckets = 1024;       // quality costs 0 .. kBuckets - 1
constexpr int kMissingPenalty = 64;  // cost of a second difference that cannot be formed
constexpr int kLookAhead = 12;       // pixels of the queue fetched ahead of their turn

// One pixel of the fill: bits 0-9 cost, 10 blank, 11 reached, 12-19 phase
// byte, 20-31 fringe order (signed).
using Cell = uint32_t;
constexpr Cell kCostBits = kBuckets - 1;
constexpr Cell kBlankBit = 1u << 10, kReached = 1u << 11;
constexpr int kPhaseShift = 12, kOrderShift = 20;
constexpr Cell kBelowOrder = (1u << kOrderShift) - 1;
constexpr int32_t kMaxOrder = (1 << (31 - kOrderShift)) - 1, kMinOrder = -kMaxOrder - 1;

inline int PhaseOf(Cell c) { return int(c >> kPhaseShift) & 255; }
inline int32_t OrderOf(Cell c) { return static_cast<int32_t>(c) >> kOrderShift; }
inline int32_t CountOf(Cell c) { return PhaseOf(c) + 256 * OrderOf(c); }

// A buffer of trivially constructible elements, left unfilled. Large ones ask
// the kernel for huge pages, which saves most of the address-translation
// misses of the scattered fill.
template <typename T>
class Scratch {
public:
    explicit Scratch(size_t n) : n_(n)
    {
        constexpr size_t kHuge = size_t(2) << 20;
        const size_t bytes = std::max<size_t>(n * sizeof(T), 1);
        if (bytes >= 4 * kHuge) {
            void* p = nullptr;
            if (posix_memalign(&p, kHuge, bytes) != 0) throw std::bad_alloc();
            madvise(p, (bytes + kHuge - 1) / kHuge * kHuge, MADV_HUGEPAGE);
            data_ = static_cast<T*>(p);
        } else {
            data_ = static_cast<T*>(std::malloc(bytes));
            if (!data_) throw std::bad_alloc();
        }
    }
    ~Scratch() { std::free(data_); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }
    T* data() { return data_; }
    size_t size() const { return n_; }

private:
    T* data_ = nullptr;
    size_t n_ = 0;
};

// The cells of the image inside a one-pixel blank frame (stride cols + 2),
// so that every pixel has four neighbours and the outside reads as blank.
// The cost of a pixel is the summed magnitude of its horizontal, vertical and
// two diagonal second differences, in counts, with a fixed penalty for each
// one that a blank or outside pixel prevents.
void MakeCells(const uint8_t* w, int rows, int cols, Cell* cells)
{
    const size_t stride = size_t(cols) + 2;
    const Cell frame = kBlankBit | (Cell(kBlank) << kPhaseShift);
    std::fill(cells, cells + stride, frame);
    std::fill(cells + (size_t(rows) + 1) * stride, cells + (size_t(rows) + 2) * stride, frame);
    // Phase byte at (x, y), blank outside the image.
    auto at = [&](int x, int y) -> uint8_t {
        return x < 0 || y < 0 || x >= cols || y >= rows ? kBlank : w[size_t(y) * cols + x];
    };
    auto term = [](uint8_t a, uint8_t p, uint8_t b) {
        return (a == kBlank || b == kBlank) ? kMissingPenalty : std::abs(WrappedStep(a, p) - WrappedStep(p, b));
    };
    for (int y = 0; y < rows; ++y) {
        const uint8_t* r = w + size_t(y) * cols;
        Cell* out = cells + (size_t(y) + 1) * stride + 1;
        out[-1] = out[cols] = frame;
        const bool inner = y > 0 && y + 1 < rows;
        for (int x = 0; x < cols; ++x) {
            const uint8_t p = r[x];
            if (p == kBlank) {
                out[x] = frame;
                continue;
            }
            int sum;
            if (inner && x > 0 && x + 1 < cols) {
                const uint8_t* up = r - cols;
                const uint8_t* down = r + cols;
                sum = term(r[x - 1], p, r[x + 1]) + term(up[x], p, down[x]) + term(up[x - 1], p, down[x + 1]) +
                      term(up[x + 1], p, down[x - 1]);
            } else {
                sum = term(at(x - 1, y), p, at(x + 1, y)) + term(at(x, y - 1), p, at(x, y + 1)) +
                      term(at(x - 1, y - 1), p, at(x + 1, y + 1)) + term(at(x + 1, y - 1), p, at(x - 1, y + 1));
            }
            out[x] = Cell(sum < kBuckets ? sum : kBuckets - 1) | (Cell(p) << kPhaseShift);
        }
    }
}

// Priority queue over small integer costs: one first-in first-out list per
// cost, so that pixels of equal quality are taken in the order they were
// reached. The lists are chains of fixed-size chunks, which go back to a pool
// once read, so the queue holds little more than what waits in it.
class BucketQueue {
public:
    BucketQueue() { std::fill(std::begin(heads_), std::end(heads_), List{}); }
    __attribute__((always_inline)) void push(int32_t pixel, int cost)
    {
        List& l = heads_[cost];
        if (l.tailChunk < 0 || l.tailPos == kChunkItems) {
            const int32_t c = newChunk();
            if (l.tailChunk < 0) l.headChunk = c, l.headPos = 0;
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
    // list, when that list holds it in the same chunk; else -1. Unless a
    // better pixel comes first, it is popped soon.
    int32_t peek(int ahead) const
    {
        const List& l = heads_[lowest_ < kBuckets ? lowest_ : 0];
        if (l.headChunk < 0) return -1;
        const int pos = l.headPos + ahead;
        const int end = l.headChunk == l.tailChunk ? l.tailPos : kChunkItems;
        return pos < end ? chunks_[size_t(l.headChunk)].items[pos] : -1;
    }
    int32_t pop()
    {
        while (heads_[lowest_].headChunk < 0) ++lowest_;
        List& l = heads_[lowest_];
        Chunk& c = chunks_[size_t(l.headChunk)];
        const int32_t pixel = c.items[l.headPos++];
        --size_;
        if (l.headChunk == l.tailChunk && l.headPos == l.tailPos) {
            free_.push_back(l.headChunk);
            l = List{};
        } else if (l.headPos == kChunkItems) {
            free_.push_back(l.headChunk);
            l.headChunk = c.next;
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
    int32_t newChunk()
    {
        if (!free_.empty()) {
            const int32_t c = free_.back();
            free_.pop_back();
            return c;
        }
        chunks_.emplace_back();
        return int32_t(chunks_.size() - 1);
    }
    List heads_[kBuckets];
    std::deque<Chunk> chunks_;
    std::vector<int32_t> free_;
    int lowest_ = kBuckets;
    size_t size_ = 0;
};

// Islands of 4-connected non-blank pixels, each with its seed: the pixel
// nearest the image centre, the first in row order on a tie. One raster scan
// with union-find (roots are each island's first pixel), then one scan to
// number the islands and pick the seeds (returned as cell indices). The links
// live in `links` (one per pixel, row-major without the frame): a root links
// to itself until it is numbered, then holds -(island + 1). They are read and
// written bytewise, as they borrow the caller's float buffer.
std::vector<int32_t> FindSeeds(const Cell* cells, int rows, int cols, float* links)
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
    auto join = [&](int32_t i, int32_t n) {
        const int32_t a = find(i), b = find(n);
        if (a < b) set(b, a);
        else if (b < a) set(a, b);
    };
    const int32_t stride = cols + 2;
    for (int y = 0; y < rows; ++y) {
        const Cell* c = cells + (y + 1) * stride + 1;
        int32_t i = y * cols;
        for (int x = 0; x < cols; ++x, ++i) {
            if (c[x] & kBlankBit) continue;
            set(i, i);
            if (!(c[x - 1] & kBlankBit)) join(i, i - 1);
            if (!(c[x - stride] & kBlankBit)) join(i, i - cols);
        }
    }
    std::vector<int32_t> seeds;
    std::vector<int64_t> distances;
    for (int y = 0; y < rows; ++y) {
        const Cell* c = cells + (y + 1) * stride + 1;
        int32_t i = y * cols;
        const int64_t dy = 2 * int64_t(y) - (rows - 1);
        for (int x = 0; x < cols; ++x, ++i) {
            if (c[x] & kBlankBit) continue;
            const int32_t r = find(i);
            const int64_t dx = 2 * int64_t(x) - (cols - 1);
            const int64_t d = dx * dx + dy * dy; // doubled offsets keep it in integers
            const int32_t cell = (y + 1) * stride + x + 1;
            const int32_t l = get(r);
            if (l == r) {
                set(r, -int32_t(seeds.size()) - 1);
                seeds.push_back(cell);
                distances.push_back(d);
            } else {
                const size_t k = size_t(-l - 1);
                if (d < distances[k]) seeds[k] = cell, distances[k] = d;
            }
        }
    }
    return seeds;
}

// Grows each island from its seed, best quality first; a pixel is unwrapped
// from the neighbour that reaches it first. `Orders` keeps the counts: in the
// cells themselves (false as soon as an order does not fit) or beside them.
template <typename Orders>
bool Fill(Cell* cells, int32_t stride, const std::vector<int32_t>& seeds, Orders counts)
{
    BucketQueue queue;
    for (const int32_t seed : seeds) {
        cells[seed] |= kReached;
        counts.set(cells, seed, PhaseOf(cells[seed]));
        queue.push(seed, cells[seed] & kCostBits);
        while (!queue.empty()) {
            const int32_t p = queue.pop();
            // The cells of a pixel soon to come are fetched while this one is
            // worked on.
            if (const int32_t soon = queue.peek(kLookAhead); soon >= 0) {
                __builtin_prefetch(cells + soon - stride, 1);
                __builtin_prefetch(cells + soon, 1);
                __builtin_prefetch(cells + soon + stride, 1);
            }
            const Cell cp = cells[p];
            const int wp = PhaseOf(cp);
            const int64_t from = counts.get(cells, p);
            for (const int32_t q : {p - 1, p + 1, p - stride, p + stride}) {
                const Cell cq = cells[q];
                if (cq & (kBlankBit | kReached)) continue;
                cells[q] = cq | kReached;
                if (!counts.set(cells, q, from + WrappedStep(uint8_t(wp), uint8_t(PhaseOf(cq))))) return false;
                queue.push(q, cq & kCostBits);
            }
        }
    }
    return true;
}

// Counts kept as fringe orders in the cells.
struct OrdersInCells {
    int64_t get(const Cell* cells, int32_t i) const { return CountOf(cells[i]); }
    bool set(Cell* cells, int32_t i, int64_t count) const
    {
        const int64_t order = (count - PhaseOf(cells[i])) / 256;
        if (order < kMinOrder || order > kMaxOrder) return false;
        cells[i] = (cells[i] & kBelowOrder) | (Cell(int32_t(order)) << kOrderShift);
        return true;
    }
};

// Counts of any size, in an array beside the cells.
struct CountsBeside {
    int64_t* counts;
    int64_t get(const Cell*, int32_t i) const { return counts[i]; }
    bool set(Cell*, int32_t i, int64_t count) const
    {
        counts[i] = count;
        return true;
    }
};

// Radians of every pixel from its count, 9999.0 for blank pixels.
template <typename Count>
void ToRadians(const Cell* cells, int rows, int cols, Count count, float* out)
{
    const int32_t stride = cols + 2;
    for (int y = 0; y < rows; ++y) {
        const int32_t first = (y + 1) * stride + 1;
        float* row = out + size_t(y) * cols;
        for (int x = 0; x < cols; ++x) {
            const Cell c = cells[first + x];
            row[x] = (c & kBlankBit) ? kNoData
                                     : AsData(static_cast<float>(static_cast<double>(count(first + x)) * kRadiansPerCount));
        }
    }
}

void Unwrap(const uint8_t* phase, int rows, int cols, float* out)
{
    const int32_t stride = cols + 2;
    const size_t n = (size_t(rows) + 2) * size_t(stride);
    Scratch<Cell> cells(n);
    MakeCells(phase, rows, cols, cells.data());
    const std::vector<int32_t> seeds = FindSeeds(cells.data(), rows, cols, out);
    Cell* c = cells.data();
    if (Fill(c, stride, seeds, OrdersInCells{})) {
        ToRadians(c, rows, cols, [c](int32_t i) { return CountOf(c[i]); }, out);
        return;
    }
    // Rare: more than 2047 fringes from a seed.
    for (size_t i = 0; i < n; ++i) c[i] &= ~kReached;
    Scratch<int64_t> wide(n);
    Fill(c, stride, seeds, CountsBeside{wide.data()});
    ToRadians(c, rows, cols, [&wide](int32_t i) { return wide[size_t(i)]; }, out);
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
