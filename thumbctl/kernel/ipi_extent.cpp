// Bounded byte sources over memory, files and stores, and the cursor the
// extent functions walk them with.
#include "thumbctl/kernel/ipi_extent.h"

#include "thumbctl/kernel/ipi_memory.h"
#include "thumbctl/kernel/ipi_store.h"

#include <algorithm>
#include <cstring>

namespace {

bool Within(uint64_t size, uint64_t offset, uint64_t count) { return offset <= size && count <= size - offset; }

constexpr uint64_t kPiece = 65536;

} // namespace

IpiByteSource ipiMemoryBytes(const void* data, int64_t size)
{
    IpiByteSource s;
    s.size = data && size > 0 ? uint64_t(size) : 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    s.read = [bytes, n = s.size](uint64_t offset, void* buffer, uint64_t count) {
        if (!Within(n, offset, count)) return false;
        if (count) std::memcpy(buffer, bytes + offset, size_t(count));
        return true;
    };
    return s;
}

IpiByteSource ipiFileBytes(int fd, int64_t size)
{
    IpiByteSource s;
    s.size = fd >= 0 && size > 0 ? uint64_t(size) : 0;
    s.read = [fd, n = s.size](uint64_t offset, void* buffer, uint64_t count) {
        return Within(n, offset, count) && ipiReadAt(fd, int64_t(offset), buffer, int64_t(count)) == int64_t(count);
    };
    return s;
}

IpiByteSource ipiStoreBytes(IPIENVIRONMENT* env, IPIACCESSOR* in)
{
    IpiByteSource s;
    s.size = uint64_t(std::max<int64_t>(0, ipiStoreSize(in)));
    s.read = [env, in, n = s.size](uint64_t offset, void* buffer, uint64_t count) {
        return Within(n, offset, count) &&
               ipiReadFileAt(env, in, int64_t(offset), buffer, int64_t(count)) == int64_t(count);
    };
    return s;
}

IpiByteSource ipiBytesUpTo(const IpiByteSource& src, uint64_t bound)
{
    IpiByteSource s;
    s.size = std::min(src.size, bound);
    s.read = [read = src.read, n = s.size](uint64_t offset, void* buffer, uint64_t count) {
        return Within(n, offset, count) && read(offset, buffer, count);
    };
    return s;
}

uint64_t ipiBoundOf(uint64_t a, uint64_t b, uint64_t c)
{
    constexpr uint64_t kMax = UINT64_MAX;
    if (a != 0 && b > kMax / a) return kMax;
    const uint64_t ab = a * b;
    return ab > kMax - c ? kMax : ab + c;
}

bool IpiByteCursor::Fill()
{
    if (pos_ >= pieceAt_ && pos_ < pieceAt_ + piece_.size()) return true;
    if (pos_ >= src_.size) return false;
    const uint64_t n = std::min(kPiece, src_.size - pos_);
    piece_.resize(size_t(n));
    pieceAt_ = pos_;
    if (!src_.read(pos_, piece_.data(), n)) {
        piece_.clear();
        return false;
    }
    return true;
}

int IpiByteCursor::Get()
{
    if (!Fill()) return -1;
    return piece_[size_t(pos_++ - pieceAt_)];
}

bool IpiByteCursor::Skip(uint64_t n)
{
    if (!Within(src_.size, pos_, n)) {
        pos_ = src_.size;
        return false;
    }
    pos_ += n;
    return true;
}

bool IpiByteCursor::Read(void* buffer, uint64_t n)
{
    auto* out = static_cast<uint8_t*>(buffer);
    while (n > 0) {
        if (!Fill()) return false;
        const uint64_t at = pos_ - pieceAt_;
        const uint64_t take = std::min<uint64_t>(n, piece_.size() - at);
        std::memcpy(out, piece_.data() + at, size_t(take));
        out += take;
        pos_ += take;
        n -= take;
    }
    return true;
}

bool IpiByteCursor::Find(uint8_t b)
{
    while (Fill()) {
        const uint64_t at = pos_ - pieceAt_;
        const void* hit = std::memchr(piece_.data() + at, b, size_t(piece_.size() - at));
        if (hit) {
            pos_ = pieceAt_ + uint64_t(static_cast<const uint8_t*>(hit) - piece_.data());
            return true;
        }
        pos_ = pieceAt_ + piece_.size();
    }
    return false;
}
