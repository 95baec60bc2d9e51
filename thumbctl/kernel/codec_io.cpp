// Shared data movement of the JPEG, PNG, PCX and GIF readers.
#include "thumbctl/kernel/codec_io.h"

#include "thumbctl/kernel/ipi_dib.h"
#include "thumbctl/kernel/ipi_env.h"
#include "thumbctl/kernel/ipi_object.h"
#include "thumbctl/kernel/ipi_registry.h"
#include "thumbctl/kernel/ipi_store.h"

#include <algorithm>

int CodecReadAll(IPIENVIRONMENT* env, IPIOBJECT* object, int64_t limit, std::vector<uint8_t>* bytes)
{
    IPIACCESSOR* in = ipiOpenAccessor(env, object, "r", 1, nullptr, 0);
    if (!in) return ipiGetError(env);
    int64_t n = ipiStoreSize(in);
    if (limit >= 0) n = std::min(n, limit);
    int rc = 0;
    if (n < 0 || n > kIpiMaxBytes) {
        rc = ipiReportError(env, ipiErrSystem);
    } else {
        bytes->assign(size_t(n), 0);
        if (n > 0 && ipiReadFileAt(env, in, 0, bytes->data(), n) != n) rc = ipiGetError(env);
    }
    int closeRc = ipiCloseAccessor(env, in);
    return rc ? rc : closeRc;
}

CodecSourceBytes::~CodecSourceBytes()
{
    if (in_) ipiCloseAccessor(env_, in_);
}

int CodecSourceBytes::Open(IPIENVIRONMENT* env, IPIOBJECT* object, int64_t limit)
{
    env_ = env;
    in_ = ipiOpenAccessor(env, object, "r", 1, nullptr, 0);
    if (!in_) return ipiGetError(env);
    int64_t n = ipiStoreSize(in_);
    if (limit >= 0) n = std::min(n, limit);
    // A file is copied only as far as its picture goes.
    const IpiExtentFn extent = limit < 0 && !ipiViewStoreAt(in_, 0, n) ? ipiFindExtent(int(object->fileFormat)) : nullptr;
    if (extent) n = int64_t(extent(ipiStoreBytes(env, in_)));
    if (n < 0 || n > kIpiMaxBytes) return ipiReportError(env, ipiErrSystem);
    size_ = size_t(n);
    data_ = ipiViewStoreAt(in_, 0, n);
    if (data_) return 0;
    copy_.assign(size_, 0);
    data_ = copy_.data();
    if (n > 0 && ipiReadFileAt(env, in_, 0, copy_.data(), n) != n) return ipiGetError(env);
    return 0;
}

int CodecWriteAll(IPIENVIRONMENT* env, IPIOBJECT* object, const uint8_t* bytes, int64_t n)
{
    IPIACCESSOR* out = ipiOpenAccessor(env, object, "w", 1, nullptr, 0);
    if (!out) return ipiGetError(env);
    int rc = 0;
    for (int64_t done = 0; rc == 0 && done < n;) {
        const int64_t piece = std::min<int64_t>(n - done, 16384);
        if (ipiWriteToStore(env, out, done, bytes + done, piece) != piece) rc = ipiGetError(env);
        done += piece;
    }
    const int closeRc = ipiCloseAccessor(env, out);
    if (rc == 0) rc = closeRc;
    if (rc == 0) object->size = n;
    return rc;
}

int CodecWritePalette(IPIENVIRONMENT* env, IPIOBJECT* lut, int entries, const uint8_t* rgb, int count)
{
    if (!lut) return 0;
    IPIATTRIBUTE a[] = {{"bitOrder", ipiOrderMsbFirst}, {"dataType", ipiTypeNonNegative},
                        {"entries", entries}, {"bDimension", 3}};
    if (int rc = ipiSetAttributes(env, lut, a, 4)) return rc;
    if (entries <= 0) return 0;
    std::vector<uint8_t> planes(size_t(entries) * 3, 0);
    const int n = std::min(entries, count);
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c) planes[size_t(c * entries + i)] = rgb[3 * i + c];
    return CodecWriteAll(env, lut, planes.data(), int64_t(planes.size()));
}

CodecRowWriter::CodecRowWriter(IPIENVIRONMENT* env, IPIOBJECT* destination) : env_(env), obj_(destination) {}

CodecRowWriter::~CodecRowWriter()
{
    if (out_) ipiCloseAccessor(env_, out_);
}

int CodecRowWriter::Open()
{
    bitmap_ = obj_->pixelInterpretation == ipiBitmapLayout;
    x_ = obj_->dim[0];
    y_ = obj_->dim[1];
    b_ = std::max<int64_t>(1, obj_->dim[4]);
    zt_ = std::max<int64_t>(1, obj_->dim[2]) * std::max<int64_t>(1, obj_->dim[3]);
    order_ = int(obj_->bitOrder);
    out_ = ipiOpenAccessor(env_, obj_, "w", 1, nullptr, 0);
    return out_ ? 0 : ipiGetError(env_);
}

int CodecRowWriter::Close()
{
    int rc = out_ ? ipiCloseAccessor(env_, out_) : 0;
    out_ = nullptr;
    return rc;
}

int CodecRowWriter::PutBandRow(int64_t band, int64_t y, const uint8_t* samples, int64_t n)
{
    if (band >= b_ || y >= y_) return 0;
    const int64_t index = (band * zt_ * y_ + y) * x_;
    return ipiWriteLineBytes(env_, out_, index, samples, std::min(n, x_));
}

int CodecRowWriter::PutBitRow(int64_t y, const uint8_t* bits, int64_t n)
{
    if (y >= y_) return 0;
    const int64_t index = y * x_;
    uint8_t* line = ipiReadAtOffset(env_, out_, index);
    if (!line) return ipiGetError(env_);
    const int64_t bit0 = index % 8;
    const int64_t count = std::min(n, x_);
    for (int64_t x = 0; x < count; ++x) {
        const bool set = bits[x / 8] & (0x80u >> (x % 8));
        const int64_t b = bit0 + x;
        const uint8_t mask = order_ == ipiOrderLsbFirst ? uint8_t(1u << (b % 8)) : uint8_t(0x80u >> (b % 8));
        if (set) line[b / 8] |= mask;
        else line[b / 8] &= uint8_t(~mask);
    }
    return ipiWriteAt(env_, out_, index);
}

int CodecRowWriter::PutBitmapRow(int64_t y, const uint8_t* bytes, int64_t n)
{
    if (y >= y_) return 0;
    if (!stride_) {
        int bits = int(obj_->dataPrecision) * int(b_);
        stride_ = ipiBmpStride(x_, bits >= 24 ? 24 : bits);
        if (!stride_) stride_ = (x_ * bits + 31) / 32 * 4;
    }
    const int64_t off = (y_ - 1 - y) * stride_;
    const int64_t count = std::min(n, stride_);
    if (ipiWriteToStore(env_, out_, off, bytes, count) != count) return ipiGetError(env_);
    return 0;
}
