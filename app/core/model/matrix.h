#pragma once
// A matrix of the shared data model: cols x rows elements indexed (x, y), x the
// column varying fastest, stored as one row-major buffer (element (x, y) at
// y * cols + x). Re-creating it discards the old contents (all elements 0);
// resizing it for a step that overwrites it whole keeps its storage.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace model {

// New storage of a large matrix is about to be written whole: its pages are
// made present in one call, which costs the system much less than taking
// them one at a time as the writing reaches them. Best effort; small blocks
// are left alone.
inline void PrepareForWriting(void* data, size_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    constexpr size_t kLarge = size_t(1) << 20;
    if (bytes < kLarge || !data)
        return;
    const uintptr_t page = uintptr_t(::sysconf(_SC_PAGESIZE));
    const uintptr_t first = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(page - 1);
    if (end > first)
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
    (void)data;
    (void)bytes;
#endif
}

template <typename T>
class Matrix {
public:
    Matrix() = default;
    Matrix(int cols, int rows) { create(cols, rows); }

    // Re-creates the matrix with every element 0 (or `fill`).
    void create(int cols, int rows, T fill = T())
    {
        cols_ = cols > 0 ? cols : 0;
        rows_ = rows > 0 ? rows : 0;
        data_.assign(static_cast<size_t>(cols_) * static_cast<size_t>(rows_), fill);
    }
    // Gives the matrix cols x rows elements for a step that writes every one
    // of them. The storage is kept while it fits (and is not more than twice
    // the size); new storage is made without copying the old values. What is
    // not written again keeps an old value or is 0.
    void resize(int cols, int rows)
    {
        cols_ = cols > 0 ? cols : 0;
        rows_ = rows > 0 ? rows : 0;
        const size_t n = static_cast<size_t>(cols_) * static_cast<size_t>(rows_);
        if (!keepsStorage(n)) {
            data_.clear();
            data_.shrink_to_fit();
            data_.reserve(n);
            PrepareForWriting(data_.data(), n * sizeof(T));
        }
        data_.resize(n);
    }
    // Makes the matrix cols x rows with row y a copy of the `cols` elements
    // at rowOf(y). The storage is kept as by resize; new storage is written
    // once, row after row, and not filled first.
    template <typename RowOf>
    void assignRows(int cols, int rows, RowOf rowOf)
    {
        const int c = cols > 0 ? cols : 0, r = rows > 0 ? rows : 0;
        const size_t n = static_cast<size_t>(c) * static_cast<size_t>(r);
        if (n == 0 || keepsStorage(n)) {
            resize(c, r);
            for (int y = 0; y < r; ++y) {
                const T* row = rowOf(y);
                std::copy(row, row + c, data_.data() + static_cast<size_t>(y) * c);
            }
            return;
        }
        std::vector<T> fresh;
        data_.clear();
        data_.shrink_to_fit();
        fresh.reserve(n);
        PrepareForWriting(fresh.data(), n * sizeof(T));
        for (int y = 0; y < r; ++y) {
            const T* row = rowOf(y);
            fresh.insert(fresh.end(), row, row + c);
        }
        adopt(c, r, std::move(fresh));
    }
    // Takes over `elements` (cols x rows of them, row-major) as the matrix.
    void adopt(int cols, int rows, std::vector<T>&& elements)
    {
        cols_ = cols > 0 ? cols : 0;
        rows_ = rows > 0 ? rows : 0;
        data_ = std::move(elements);
        data_.resize(static_cast<size_t>(cols_) * static_cast<size_t>(rows_));
    }
    void clear()
    {
        cols_ = rows_ = 0;
        data_.clear();
        data_.shrink_to_fit();
    }

    int cols() const { return cols_; }
    int rows() const { return rows_; }
    bool empty() const { return data_.empty(); }
    size_t size() const { return data_.size(); }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < cols_ && y < rows_; }

    T& at(int x, int y) { return data_[static_cast<size_t>(y) * cols_ + x]; }
    const T& at(int x, int y) const { return data_[static_cast<size_t>(y) * cols_ + x]; }
    T& operator()(int x, int y) { return at(x, y); }
    const T& operator()(int x, int y) const { return at(x, y); }

    // Address of element (0, 0), as the libraries take it.
    T* data() { return data_.data(); }
    const T* data() const { return data_.data(); }
    std::vector<T>& buffer() { return data_; }
    const std::vector<T>& buffer() const { return data_; }

    bool operator==(const Matrix& o) const { return cols_ == o.cols_ && rows_ == o.rows_ && data_ == o.data_; }

private:
    // Whether storage for n elements is kept: it fits and is not more than
    // twice the size.
    bool keepsStorage(size_t n) const { return n <= data_.capacity() && n >= data_.capacity() / 2; }

    int cols_ = 0;
    int rows_ = 0;
    std::vector<T> data_;
};

using ByteMatrix = Matrix<uint8_t>;
using SingleMatrix = Matrix<float>;

} // namespace model
