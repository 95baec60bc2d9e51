#pragma once
// The grid-and-bucket flood-fill unwrapper as it stood before its memory
// layout was made compact: kept for the tests and the benchmark, which compare
// the library's Unwrap_FloodFill with it pixel for pixel and side by side.
#include "varnholde/internal.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <vector>

namespace reference_unwrap {

using namespace varnholde;

inline constexpr int kBuckets = 1024;       // quality costs 0 .. kBuckets - 1
inline constexpr int kMissingPenalty = 64;  // cost of a second difference that cannot be formed

// Everything the fill needs of one pixel, side by side for the cache. Before
// the fill, `count` serves the island search as its union-find link.
template <typename Counts>
struct Cell {
    Counts count;
    uint16_t cost;
    uint8_t w;
    uint8_t done;
};

// The image with a one-pixel blank frame, so that every pixel has four
// neighbours and the outside of the image reads as blank.
template <typename Counts>
struct Grid {
    int rows, cols, stride;
    std::vector<Cell<Counts>> cells;
    Grid(const uint8_t* phase, int r, int c)
        : rows(r), cols(c), stride(c + 2), cells(size_t(r + 2) * (c + 2), Cell<Counts>{0, 0, kBlank, 0})
    {
        for (int y = 0; y < rows; ++y) {
            const uint8_t* in = phase + size_t(y) * cols;
            Cell<Counts>* out = &cells[at(0, y)];
            for (int x = 0; x < cols; ++x) out[x].w = in[x];
        }
    }
    size_t at(int x, int y) const { return size_t(y + 1) * stride + (x + 1); }
};

// Quality cost of every non-blank pixel: the summed magnitude of its
// horizontal, vertical and two diagonal second differences, in counts, with a
// fixed penalty for each one that a blank or outside pixel prevents.
template <typename Counts>
void QualityCosts(Grid<Counts>& g)
{
    const ptrdiff_t s = g.stride;
    const ptrdiff_t offsets[4] = {1, s, s + 1, s - 1};
    for (int y = 0; y < g.rows; ++y) {
        Cell<Counts>* c = &g.cells[g.at(0, y)];
        for (int x = 0; x < g.cols; ++x, ++c) {
            const uint8_t p = c->w;
            if (p == kBlank) continue;
            int sum = 0;
            for (ptrdiff_t o : offsets) {
                const uint8_t a = c[-o].w, b = c[o].w;
                sum += (a == kBlank || b == kBlank) ? kMissingPenalty : std::abs(WrappedStep(a, p) - WrappedStep(p, b));
            }
            c->cost = static_cast<uint16_t>(sum < kBuckets ? sum : kBuckets - 1);
        }
    }
}

// Priority queue over small integer costs: one first-in first-out list per
// cost, so that pixels of equal quality are taken in the order they were
// reached.
class BucketQueue {
public:
    BucketQueue() : buckets_(kBuckets), heads_(kBuckets, 0) {}
    void push(int32_t pixel, int cost)
    {
        buckets_[cost].push_back(pixel);
        if (cost < lowest_) lowest_ = cost;
        ++size_;
    }
    bool empty() const { return size_ == 0; }
    int32_t pop()
    {
        while (heads_[lowest_] == buckets_[lowest_].size()) {
            buckets_[lowest_].clear();
            heads_[lowest_] = 0;
            ++lowest_;
        }
        --size_;
        return buckets_[lowest_][heads_[lowest_]++];
    }

private:
    std::vector<std::vector<int32_t>> buckets_;
    std::vector<size_t> heads_;
    int lowest_ = kBuckets;
    size_t size_ = 0;
};

// Islands of 4-connected non-blank pixels, each with its seed: the pixel
// nearest the image centre, the first in row order on a tie. One raster scan
// with union-find (roots are each island's first pixel), then one scan to
// number the islands and pick the seeds.
template <typename Counts>
std::vector<int32_t> FindSeeds(Grid<Counts>& g)
{
    auto& c = g.cells;
    const int32_t s = g.stride;
    // Links live in `count`: a root links to itself until it is numbered,
    // then holds -(island + 1).
    auto find = [&](int32_t i) {
        while (c[i].count >= 0 && c[i].count != i) {
            const int32_t p = int32_t(c[i].count);
            if (c[p].count >= 0 && c[p].count != p) c[i].count = c[p].count; // path halving
            i = p;
        }
        return i;
    };
    for (int y = 0; y < g.rows; ++y) {
        int32_t i = int32_t(g.at(0, y));
        for (int x = 0; x < g.cols; ++x, ++i) {
            if (c[i].w == kBlank) continue;
            c[i].count = i;
            for (int32_t n : {i - 1, i - s}) {
                if (c[n].w == kBlank) continue;
                const int32_t a = find(i), b = find(n);
                if (a < b) c[b].count = a;
                else if (b < a) c[a].count = b;
            }
        }
    }
    std::vector<int32_t> seeds;
    std::vector<int64_t> distances;
    for (int y = 0; y < g.rows; ++y) {
        int32_t i = int32_t(g.at(0, y));
        const int64_t dy = 2 * int64_t(y) - (g.rows - 1);
        for (int x = 0; x < g.cols; ++x, ++i) {
            if (c[i].w == kBlank) continue;
            const int32_t r = find(i);
            const int64_t dx = 2 * int64_t(x) - (g.cols - 1);
            const int64_t d = dx * dx + dy * dy; // doubled offsets keep it in integers
            if (c[r].count == r) {
                c[r].count = -Counts(seeds.size()) - 1;
                seeds.push_back(i);
                distances.push_back(d);
            } else {
                const size_t k = size_t(-c[r].count - 1);
                if (d < distances[k]) seeds[k] = i, distances[k] = d;
            }
        }
    }
    return seeds;
}

template <typename Counts>
void Unwrap(const uint8_t* phase, int rows, int cols, float* out)
{
    Grid<Counts> g(phase, rows, cols);
    QualityCosts(g);
    const std::vector<int32_t> seeds = FindSeeds(g);
    auto& c = g.cells;
    const int32_t s = g.stride;
    BucketQueue queue;

    // Each island grows from its seed, best quality first; a pixel is
    // unwrapped from the neighbour that reaches it first.
    for (const int32_t seed : seeds) {
        c[seed].count = c[seed].w;
        c[seed].done = 1;
        queue.push(seed, c[seed].cost);
        while (!queue.empty()) {
            const int32_t p = queue.pop();
            const Cell<Counts>& from = c[p];
            for (int32_t q : {p - 1, p + 1, p - s, p + s}) {
                Cell<Counts>& to = c[q];
                if (to.w == kBlank || to.done) continue;
                to.count = from.count + WrappedStep(from.w, to.w);
                to.done = 1;
                queue.push(q, to.cost);
            }
        }
    }

    for (int y = 0; y < rows; ++y) {
        const Cell<Counts>* in = &c[g.at(0, y)];
        float* row = out + size_t(y) * cols;
        for (int x = 0; x < cols; ++x)
            row[x] = in[x].w == kBlank ? kNoData
                                       : AsData(static_cast<float>(static_cast<double>(in[x].count) * kRadiansPerCount));
    }
}

// Unwrap_FloodFill's result (seed -1) for a valid size; no argument checks.
inline void UnwrapFloodFill(const uint8_t* wrapped, int rows, int cols, float* unwrapped)
{
    if (Count(int16_t(rows), int16_t(cols)) * 128 + 256 < static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        Unwrap<int32_t>(wrapped, rows, cols, unwrapped);
    else
        Unwrap<int64_t>(wrapped, rows, cols, unwrapped);
}

} // namespace reference_unwrap
