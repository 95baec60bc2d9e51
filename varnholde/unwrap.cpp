// Quality-guided flood-fill phase unwrapping.
//
// Each 4-connected island of non-blank pixels is unwrapped on its own, from
// its pixel nearest the image centre (fringe order 0 there). Pixels join the
// unwrapped region in order of a quality cost (the second differences of the
// wrapped phase around them); a pixel is unwrapped, in whole counts, from the
// neighbour through which it is first reached. Counts are integers, so long
// paths accumulate no rounding, and every tie is broken in a fixed order.
#include "varnholde/internal.h"
#include "varnholde/varnholde.h"

#include <cstdlib>
#include <limits>
#include <vector>

using namespace varnholde;

namespace {

constexpr int kBuckets = 1024;       // quality costs 0 .. kBuckets - 1
constexpr int kMissingPenalty = 64;  // cost of a second difference that cannot be formed

// Quality cost of every non-blank pixel: the summed magnitude of its
// horizontal, vertical and two diagonal second differences, in counts.
std::vector<uint16_t> QualityCosts(const uint8_t* w, int rows, int cols)
{
    std::vector<uint16_t> cost(static_cast<size_t>(rows) * cols, 0);
    static const int kPairs[4][2][2] = {{{-1, 0}, {1, 0}}, {{0, -1}, {0, 1}}, {{-1, -1}, {1, 1}}, {{1, -1}, {-1, 1}}};
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            const size_t i = static_cast<size_t>(y) * cols + x;
            const uint8_t p = w[i];
            if (p == kBlank) continue;
            int sum = 0;
            for (const auto& pair : kPairs) {
                const int ax = x + pair[0][0], ay = y + pair[0][1];
                const int bx = x + pair[1][0], by = y + pair[1][1];
                if (ax < 0 || ay < 0 || bx < 0 || by < 0 || ax >= cols || bx >= cols || ay >= rows || by >= rows) {
                    sum += kMissingPenalty;
                    continue;
                }
                const uint8_t a = w[static_cast<size_t>(ay) * cols + ax];
                const uint8_t b = w[static_cast<size_t>(by) * cols + bx];
                if (a == kBlank || b == kBlank) {
                    sum += kMissingPenalty;
                    continue;
                }
                sum += std::abs(WrappedStep(a, p) - WrappedStep(p, b));
            }
            cost[i] = static_cast<uint16_t>(sum < kBuckets ? sum : kBuckets - 1);
        }
    }
    return cost;
}

// Priority queue over small integer costs: one LIFO stack per cost.
class BucketQueue {
public:
    BucketQueue() : buckets_(kBuckets) {}
    void push(int32_t pixel, int cost)
    {
        buckets_[cost].push_back(pixel);
        if (cost < lowest_) lowest_ = cost;
        ++size_;
    }
    bool empty() const { return size_ == 0; }
    int32_t pop()
    {
        while (buckets_[lowest_].empty()) ++lowest_;
        const int32_t p = buckets_[lowest_].back();
        buckets_[lowest_].pop_back();
        --size_;
        return p;
    }

private:
    std::vector<std::vector<int32_t>> buckets_;
    int lowest_ = kBuckets;
    size_t size_ = 0;
};

enum : uint8_t { kSeen = 1, kDone = 2 };

template <typename Counts>
void Unwrap(const uint8_t* w, int rows, int cols, float* out)
{
    const size_t n = static_cast<size_t>(rows) * cols;
    const std::vector<uint16_t> cost = QualityCosts(w, rows, cols);
    std::vector<uint8_t> state(n, 0);
    std::vector<Counts> counts(n, 0);
    std::vector<int32_t> stack;
    BucketQueue queue;

    auto forNeighbours = [&](int32_t p, auto&& visit) {
        const int x = p % cols, y = p / cols;
        if (x > 0) visit(p - 1);
        if (x + 1 < cols) visit(p + 1);
        if (y > 0) visit(p - cols);
        if (y + 1 < rows) visit(p + cols);
    };
    // Doubled offsets from the centre keep the distance in integers.
    auto centreDistance = [&](int32_t p) {
        const int64_t dx = 2 * static_cast<int64_t>(p % cols) - (cols - 1);
        const int64_t dy = 2 * static_cast<int64_t>(p / cols) - (rows - 1);
        return dx * dx + dy * dy;
    };

    for (size_t start = 0; start < n; ++start) {
        if (w[start] == kBlank || (state[start] & kSeen)) continue;

        // Find the island and its seed: nearest the centre, then lowest index.
        int32_t seed = static_cast<int32_t>(start);
        int64_t seedDistance = centreDistance(seed);
        stack.assign(1, seed);
        state[start] |= kSeen;
        while (!stack.empty()) {
            const int32_t p = stack.back();
            stack.pop_back();
            const int64_t d = centreDistance(p);
            if (d < seedDistance || (d == seedDistance && p < seed)) {
                seed = p;
                seedDistance = d;
            }
            forNeighbours(p, [&](int32_t q) {
                if (w[q] != kBlank && !(state[q] & kSeen)) {
                    state[q] |= kSeen;
                    stack.push_back(q);
                }
            });
        }

        // Grow the unwrapped region from the seed, best quality first.
        counts[seed] = w[seed];
        state[seed] |= kDone;
        queue.push(seed, cost[seed]);
        while (!queue.empty()) {
            const int32_t p = queue.pop();
            forNeighbours(p, [&](int32_t q) {
                if (w[q] == kBlank || (state[q] & kDone)) return;
                counts[q] = counts[p] + WrappedStep(w[p], w[q]);
                state[q] |= kDone;
                queue.push(q, cost[q]);
            });
        }
    }

    for (size_t i = 0; i < n; ++i)
        out[i] = w[i] == kBlank ? kNoData : AsData(static_cast<float>(static_cast<double>(counts[i]) * kRadiansPerCount));
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
        // A path through every pixel moves at most 128 counts a step.
        if (Count(rows, cols) * 128 + 256 < static_cast<size_t>(std::numeric_limits<int32_t>::max()))
            Unwrap<int32_t>(wrapped, rows, cols, unwrapped);
        else
            Unwrap<int64_t>(wrapped, rows, cols, unwrapped);
        return kOk;
    });
}
