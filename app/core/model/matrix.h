#pragma once
// A matrix of the shared data model: cols x rows elements indexed (x, y), x the
// column varying fastest, stored as one row-major buffer (element (x, y) at
// y * cols + x). Re-creating it discards the old contents (all elements 0);
// resizing it for a step that overwrites it whole keeps its storage.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace model {

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
        if (n > data_.capacity() || n < data_.capacity() / 2) {
            data_.clear();
            data_.shrink_to_fit();
        }
        data_.resize(n);
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
    int cols_ = 0;
    int rows_ = 0;
    std::vector<T> data_;
};

using ByteMatrix = Matrix<uint8_t>;
using SingleMatrix = Matrix<float>;

} // namespace model
