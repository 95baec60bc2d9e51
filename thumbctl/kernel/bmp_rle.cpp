// Run-length codes of Windows bitmaps (decoder and encoder) and the
// PackBits decoder of TIFF strips.
#include "thumbctl/kernel/bmp_codec.h"

#include "thumbctl/kernel/ipi_env.h"
#include "thumbctl/kernel/ipi_memory.h"
#include "thumbctl/kernel/ipi_object.h"
#include "thumbctl/kernel/ipi_store.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Sequential reader of a store's bytes, bounded by `limit`.
class ByteStream {
public:
    ByteStream(IPIENVIRONMENT* env, IPIACCESSOR* in, int64_t limit) : env_(env), in_(in), limit_(limit) {}
    // False at the end of the data or on a read failure (see failed()).
    bool get(uint8_t* b)
    {
        if (pos_ >= fill_) {
            if (consumed_ >= limit_) return false;
            int64_t n = std::min<int64_t>(int64_t(buf_.size()), limit_ - consumed_);
            int64_t got = ipiReadFileAtMost(env_, in_, consumed_, buf_.data(), n);
            if (got <= 0) {
                failed_ = got < 0;
                consumed_ = limit_;
                return false;
            }
            consumed_ += got;
            fill_ = got;
            pos_ = 0;
        }
        *b = buf_[size_t(pos_++)];
        return true;
    }
    bool failed() const { return failed_; }

private:
    IPIENVIRONMENT* env_;
    IPIACCESSOR* in_;
    int64_t limit_;
    int64_t consumed_ = 0;
    std::vector<uint8_t> buf_ = std::vector<uint8_t>(65536);
    int64_t fill_ = 0, pos_ = 0;
    bool failed_ = false;
};

int64_t SampleIndex(const IPIOBJECT* o, int64_t b, int64_t t, int64_t z, int64_t y)
{
    return (((b * o->dim[3] + t) * o->dim[2] + z) * o->dim[1] + y) * o->dim[0];
}

} // namespace

// Expands the PackBits codes of one TIFF strip into out[0, n): 128 is a
// no-op, and a code that passes n is cut there. False when the codes end
// first.
bool PackBitsExpand(const uint8_t* p, int64_t size, uint8_t* out, int64_t n, uint8_t mask)
{
    int64_t i = 0, k = 0;
    // While 129 bytes of codes and 128 of output are left, a code is copied
    // or filled in whole 16-byte pieces: the bytes past its end are written
    // over by the codes that follow.
    if (!mask) {
        while (n - k >= 128 && size - i >= 129) {
            const uint8_t c = p[i++];
            if (c < 128) {
                const int64_t len = int64_t(c) + 1;
                for (int64_t j = 0; j < len; j += 16) std::memcpy(out + k + j, p + i + j, 16);
                i += len;
                k += len;
            } else if (c > 128) {
                uint8_t fill[16];
                std::memset(fill, p[i++], 16);
                const int64_t len = 257 - int64_t(c);
                for (int64_t j = 0; j < len; j += 16) std::memcpy(out + k + j, fill, 16);
                k += len;
            }
        }
    }
    while (k < n) {
        if (i >= size) return false;
        const uint8_t c = p[i++];
        if (c < 128) {
            const int64_t len = int64_t(c) + 1;
            if (size - i < len) return false;
            const int64_t m = std::min(len, n - k);
            if (mask) {
                for (int64_t j = 0; j < m; ++j) out[k + j] = uint8_t(p[i + j] ^ mask);
            } else {
                std::memcpy(out + k, p + i, size_t(m));
            }
            i += len;
            k += m;
        } else if (c > 128) {
            if (i >= size) return false;
            const int64_t m = std::min<int64_t>(257 - c, n - k);
            std::memset(out + k, p[i++] ^ mask, size_t(m));
            k += m;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------

namespace {

// One BMP run-length decode: the codes, the row in hand and where it stands.
// Rows are fetched from the target and stored back whole: one byte a pixel,
// or two pixels a byte in a 4-bit bitmap. The code's first row is the
// bottom row: a bitmap target takes the rows in code order, any other target
// flipped, so that its row 0 is the top.
class RleDecoder {
public:
    RleDecoder(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, IPIACCESSOR* in, IPIACCESSOR* out)
        : env_(env), out_(out), data_(env, in, std::min(source->size, ipiStoreSize(in))),
          bits_(source->dataPrecision == 4 ? 4 : 8), bitmap_(target->pixelInterpretation == ipiBitmapLayout),
          packed4_(bitmap_ && target->dataPrecision == 4), TX_(target->dim[0]),
          W_(std::min(source->dim[0], TX_)), H_(std::min(source->dim[1], target->dim[1])),
          packedStride_((TX_ + 1) / 2), row_(size_t(TX_), 0)
    {
    }

    // 0, the error of a read or store, or 22 when the codes end before the
    // picture does (neither an end of bitmap nor the last row reached).
    int Run()
    {
        if (!LoadRow()) return ipiGetError(env_);
        bool more = true;
        while (more && rc_ == 0) {
            uint8_t b0, b1;
            if (!data_.get(&b0) || !data_.get(&b1)) break;
            if (b0 > 0) more = EncodedRun(b0, b1);
            else if (b1 == 0 || b1 == 1) more = EndOfLine(b1 == 1);
            else if (b1 == 2) more = Delta();
            else more = AbsoluteRun(b1);
        }
        if (rc_ == 0 && dirty_ && y_ < H_ && !StoreRow()) rc_ = ipiGetError(env_);
        if (rc_ == 0 && data_.failed()) rc_ = ipiGetError(env_);
        // Codes that stop inside the picture leave rows that no code gave.
        if (rc_ == 0 && !complete_ && !(y_ == H_ - 1 && x_ >= W_)) rc_ = ipiReportError(env_, ipiErrSyntacticalError);
        // Rows completed by a line end or a move: only the end of bitmap, or
        // the end of the codes, may follow. More codes there are not this
        // picture's: a cut file whose rest is zeros (line ends) or other data
        // reaches its last row only by taking them for its own.
        uint8_t b0, b1;
        if (rc_ == 0 && complete_ && !endOfBitmap_ && data_.get(&b0) &&
            (!data_.get(&b1) || b0 != 0 || b1 != 1))
            rc_ = ipiReportError(env_, ipiErrSyntacticalError);
        if (rc_ == 0 && data_.failed()) rc_ = ipiGetError(env_);
        return rc_;
    }

private:
    int64_t RowIndex() const { return bitmap_ ? y_ : H_ - 1 - y_; }

    bool LoadRow()
    {
        const int64_t r = RowIndex();
        if (packed4_) {
            std::vector<uint8_t> p(size_t(packedStride_), 0);
            if (ipiReadFileAtMost(env_, out_, r * packedStride_, p.data(), packedStride_) < 0) return false;
            for (int64_t x = 0; x < TX_; ++x) row_[size_t(x)] = x % 2 ? p[size_t(x / 2)] & 15 : p[size_t(x / 2)] >> 4;
            return true;
        }
        const uint8_t* p = ipiReadAtOffset(env_, out_, r * TX_);
        if (!p) return false;
        std::memcpy(row_.data(), p, size_t(TX_));
        return true;
    }

    bool StoreRow()
    {
        const int64_t r = RowIndex();
        if (packed4_) {
            std::vector<uint8_t> p(size_t(packedStride_), 0);
            for (int64_t x = 0; x < TX_; ++x)
                p[size_t(x / 2)] |= x % 2 ? (row_[size_t(x)] & 15) : uint8_t(row_[size_t(x)] << 4);
            return ipiWriteToStore(env_, out_, r * packedStride_, p.data(), packedStride_) == packedStride_;
        }
        return ipiWriteLineBytes(env_, out_, r * TX_, row_.data(), TX_) == 0;
    }

    // Stores the row in hand and moves `dy` rows on; false once past the last.
    bool NextRows(int64_t dy)
    {
        if (!StoreRow()) {
            rc_ = ipiGetError(env_);
            return false;
        }
        dirty_ = false;
        y_ += dy;
        if (y_ >= H_) {
            complete_ = true;
            return false;
        }
        if (!LoadRow()) rc_ = ipiGetError(env_);
        return rc_ == 0;
    }

    // `count` pixels of `value`, cut at the last column; at 4 bits they take
    // the value's nibbles in turn.
    bool EncodedRun(uint8_t count, uint8_t value)
    {
        for (int i = 0; i < count; ++i, ++x_)
            if (x_ < W_) row_[size_t(x_)] = bits_ == 8 ? value : (i % 2 == 0 ? value >> 4 : value & 15);
        dirty_ = true;
        return true;
    }

    // End of line, or end of bitmap.
    bool EndOfLine(bool endOfBitmap)
    {
        if (endOfBitmap) {
            if (!StoreRow()) rc_ = ipiGetError(env_);
            dirty_ = false;
            complete_ = endOfBitmap_ = true;
            return false;
        }
        x_ = 0;
        return NextRows(1);
    }

    // Right by dx and down the picture by dy rows; rows passed over keep
    // their contents.
    bool Delta()
    {
        uint8_t dx, dy;
        if (!data_.get(&dx) || !data_.get(&dy)) return false;
        x_ += dx;
        return dy == 0 || NextRows(dy);
    }

    // `count` pixels as they follow (bytes, or nibbles at 4 bits), then a pad
    // byte when their byte count is odd; all consumed even past the last column.
    bool AbsoluteRun(uint8_t count)
    {
        const int64_t bytes = bits_ == 8 ? count : (count + 1) / 2;
        for (int64_t i = 0; i < bytes; ++i) {
            uint8_t v;
            if (!data_.get(&v)) return false;
            if (bits_ == 8) {
                if (x_ < W_) row_[size_t(x_)] = v;
                ++x_;
            } else {
                for (int h = 0; h < 2 && 2 * i + h < count; ++h, ++x_)
                    if (x_ < W_) row_[size_t(x_)] = h == 0 ? v >> 4 : v & 15;
            }
        }
        dirty_ = true;
        uint8_t pad;
        return bytes % 2 == 0 || data_.get(&pad);
    }

    IPIENVIRONMENT* env_;
    IPIACCESSOR* out_;
    ByteStream data_;
    const int bits_;
    const bool bitmap_, packed4_;
    const int64_t TX_, W_, H_, packedStride_;
    std::vector<uint8_t> row_;
    int64_t x_ = 0, y_ = 0;
    bool dirty_ = false, complete_ = false, endOfBitmap_ = false;
    int rc_ = 0;
};

} // namespace

int BmpRleDecode(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, source) || !ipiIsValidObject(env, target)) return ipiErrInvalidInstance;
    if (source->size < 2) return ipiReportError(env, ipiErrSyntacticalError);
    if (source->dataType != ipiTypeNonNegative || target->dataType != ipiTypeNonNegative)
        return ipiReportError(env, ipiErrMismatchDataType);
    if (std::min(source->dim[0], target->dim[0]) <= 0 || std::min(source->dim[1], target->dim[1]) <= 0) return 0;
    IpiAccessorPair io(env, source, target);
    if (!io) return ipiGetError(env);
    const int rc = RleDecoder(env, source, target, io.in, io.out).Run();
    const int closeRc = io.Close();
    return rc ? rc : closeRc;
}

// ---------------------------------------------------------------------------

namespace {

// One PackBits decode: the objects, the layout of a row of codes and how a
// decoded row is stored into the target.
struct PackBitsJob {
    IPIENVIRONMENT* env = nullptr;
    IPIOBJECT* source = nullptr;
    IPIOBJECT* target = nullptr;
    int64_t fileFormat = 0;
    uint8_t mask = 0;       // 0xFF for inverted codes
    bool boolean = false;   // bits in, bits out
    bool bitmap = false;    // the target is a bitmap (rows bottom-up)
    bool contig3 = false;   // three interleaved 8-bit samples a pixel
    int64_t W = 0, P = 0, R = 0;  // target width, precision, bytes of one row of codes
    int64_t H = 0, Z = 0, T = 0, B = 0;
    int64_t bandLoops = 1;  // B for separate planes, else 1
};

// Checks the objects and works out the row layout; 0 or the error reported.
int PackBitsLayout(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, PackBitsJob* job)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, source) || !ipiIsValidObject(env, target)) return ipiErrInvalidInstance;
    const int64_t ff = source->fileFormat;
    if (ff != 0 && ff != ipiFormatTiff && ff != ipiFormatInvertedPackBits)
        return ipiReportError(env, ipiErrNonPermissibleOption);
    const bool boolean = source->dataType == ipiTypeBoolean && target->dataType == ipiTypeBoolean;
    const bool bytes = source->dataType == ipiTypeNonNegative && target->dataType == ipiTypeNonNegative;
    if (!boolean && !bytes) return ipiReportError(env, ipiErrMismatchDataType);
    int64_t planar = ipiPlanarContig;
    if (ff == ipiFormatTiff) {
        IPIVALUE p = ipiGetObjectAttribute(env, target, "planarConfiguration");
        if (!p) p = ipiGetObjectAttribute(env, source, "planarConfiguration");
        if (p == ipiPlanarSeparate) planar = ipiPlanarSeparate;
    }
    PackBitsJob& j = *job;
    j.env = env;
    j.source = source;
    j.target = target;
    j.fileFormat = ff;
    j.mask = ff == ipiFormatInvertedPackBits ? 0xFF : 0x00;
    j.boolean = boolean;
    j.bitmap = target->pixelInterpretation == ipiBitmapLayout;
    j.W = target->dim[0];
    j.P = target->dataPrecision;
    j.contig3 = bytes && j.P == 8 && source->dim[4] == 3 && planar != ipiPlanarSeparate;
    if (j.bitmap) j.R = (source->dim[4] * j.P * source->dim[0] + 7) / 8;
    else if (boolean) j.R = (j.W + 7) / 8;
    else if (j.P == 4) j.R = (j.W + 1) / 2;
    else if (j.contig3) j.R = 3 * j.W;
    else j.R = j.W;
    if (j.W <= 0 || j.R <= 0 || j.R > kIpiMaxBytes) return ipiReportError(env, ipiErrSyntacticalError);
    j.H = std::min(source->dim[1], target->dim[1]);
    j.Z = std::min(source->dim[2], target->dim[2]);
    j.T = std::min(source->dim[3], target->dim[3]);
    j.B = std::min(source->dim[4], target->dim[4]);
    j.bandLoops = planar == ipiPlanarSeparate ? j.B : 1;
    return 0;
}

// Stores the first n bytes of one decoded row (band b, time t, plane z,
// row y) into the target, as its layout wants it. False on a store failure.
bool StorePackBitsRow(const PackBitsJob& j, IPIACCESSOR* out, std::vector<uint8_t>& row, int64_t b, int64_t t,
                      int64_t z, int64_t y, int64_t n)
{
    IPIENVIRONMENT* env = j.env;
    IPIOBJECT* target = j.target;
    const int64_t W = j.W, R = j.R;
    int64_t ry = j.bitmap ? target->dim[1] - 1 - y : y;
    if (j.boolean) {
        int64_t index = SampleIndex(target, b, t, z, ry);
        uint8_t* line = ipiReadAtOffset(env, out, index);
        if (!line) return false;
        int64_t bit0 = index % 8;
        const int order = int(target->bitOrder);
        for (int64_t x = 0; x < W && x / 8 < n; ++x) {
            bool set = row[size_t(x / 8)] & (0x80u >> (x % 8));
            int64_t bb = bit0 + x;
            uint8_t m = order == ipiOrderLsbFirst ? uint8_t(1u << (bb % 8)) : uint8_t(0x80u >> (bb % 8));
            if (set) line[size_t(bb / 8)] |= m;
            else line[size_t(bb / 8)] &= uint8_t(~m);
        }
        return ipiWriteAt(env, out, index) == 0;
    }
    if (j.P == 4 && j.bitmap) {
        int64_t rs = (W + 1) / 2;
        return ipiWriteToStore(env, out, SampleIndex(target, b, t, z, ry) / W * rs, row.data(), std::min(rs, R)) ==
               std::min(rs, R);
    }
    if (j.contig3 && !j.bitmap) {
        for (int64_t k = 0; k < j.B; ++k) {
            int64_t index = SampleIndex(target, k, t, z, ry);
            uint8_t* line = ipiReadAtOffset(env, out, index);
            if (!line) return false;
            for (int64_t i = 0; i < W; ++i) line[size_t(i)] = row[size_t(3 * i + k)];
            if (ipiWriteAt(env, out, index)) return false;
        }
        return true;
    }
    if (j.contig3)  // bitmap layout: B G R
        for (int64_t i = 0; i + 2 < R; i += 3) std::swap(row[size_t(i)], row[size_t(i + 2)]);
    int64_t index = SampleIndex(target, b, t, z, ry);
    if (j.P != 4) return ipiWriteLineBytes(env, out, index, row.data(), std::min(R, W)) == 0;
    uint8_t* line = ipiReadAtOffset(env, out, index);
    if (!line) return false;
    for (int64_t x = 0; x < W; ++x) line[size_t(x)] = x % 2 ? row[size_t(x / 2)] & 15 : row[size_t(x / 2)] >> 4;
    return ipiWriteAt(env, out, index) == 0;
}

// Expands codes of a plain stream into out[0, n): the byte 128 ends the data
// (*ended), and a run or literal that passes n is cut there. *made counts the
// bytes made. 0, or the error (reported) when the data runs out first.
int ExpandPackBitsRow(IPIENVIRONMENT* env, ByteStream& data, uint8_t mask, uint8_t* out, int64_t n, bool* ended,
                      int64_t* made)
{
    auto next = [&](uint8_t* b) { return data.get(b); };
    auto fail = [&] { return data.failed() ? ipiGetError(env) : ipiReportError(env, ipiErrSyntacticalError); };
    int64_t& k = *made;
    k = 0;
    while (k < n) {
        uint8_t c;
        if (!next(&c)) return fail();
        if (c == 128) {
            *ended = true;
            break;
        }
        if (c < 128) {
            for (int i = 0; i <= c; ++i) {
                uint8_t v;
                if (!next(&v)) return fail();
                if (k < n) out[k++] = uint8_t(v ^ mask);
            }
        } else {
            uint8_t v;
            if (!next(&v)) return fail();
            const int64_t m = std::min<int64_t>(257 - c, n - k);
            std::memset(out + k, v ^ mask, size_t(m));
            k += m;
        }
    }
    return 0;
}

// The strip table of a TIFF source: no strips (0) for any other source or
// an incomplete table.
struct PackBitsStrips {
    int64_t count = 0, rowsPerStrip = 0;
    const uint32_t* byteCounts = nullptr;
};

PackBitsStrips TiffStripTable(const PackBitsJob& j)
{
    PackBitsStrips st;
    if (j.fileFormat != ipiFormatTiff) return st;
    st.count = ipiGetObjectAttribute(j.env, j.source, "stripsPerImage");
    st.rowsPerStrip = ipiGetObjectAttribute(j.env, j.source, "rowsPerStrip");
    st.byteCounts = reinterpret_cast<const uint32_t*>(ipiGetObjectAttribute(j.env, j.source, "stripByteCounts"));
    if (st.count < 1 || st.rowsPerStrip < 1 || !st.byteCounts) st.count = 0;
    return st;
}

// TIFF strips lie back to back as the strip table counts them; each is
// decoded on its own, so a pad byte at a strip's end shifts nothing and a
// run may carry on into the next row of its strip.
int DecodePackBitsStrips(const PackBitsJob& j, const PackBitsStrips& st, IPIACCESSOR* in, IPIACCESSOR* out,
                         std::vector<uint8_t>& row)
{
    IPIENVIRONMENT* env = j.env;
    const int64_t R = j.R, H = j.H, rowsPerStrip = st.rowsPerStrip;
    const int64_t sourceRows = j.source->dim[1];
    const int64_t available = ipiStoreSize(in);
    IpiScratch strip, packed;
    int64_t s = 0, at = 0;
    int rc = 0;
    for (int64_t b = 0; rc == 0 && b < j.bandLoops; ++b)
        for (int64_t t = 0; rc == 0 && t < j.T; ++t)
            for (int64_t z = 0; rc == 0 && z < j.Z; ++z)
                for (int64_t first = 0; rc == 0 && first < sourceRows && s < st.count; first += rowsPerStrip, ++s) {
                    const int64_t rows = std::min(rowsPerStrip, sourceRows - first);
                    const int64_t bytes = std::max<int64_t>(0, std::min<int64_t>(st.byteCounts[s], available - at));
                    const int64_t from = at;
                    at += bytes;
                    if (first >= H) continue;
                    // Codes that cannot fill the strip's rows are refused
                    // before any buffer is sized by those rows.
                    if (rows > kIpiMaxBytes / R || rows * R > PackBitsMostBytes(bytes)) {
                        rc = ipiReportError(env, ipiErrSyntacticalError);
                        break;
                    }
                    uint8_t* expanded = strip.Reserve(rows * R);
                    uint8_t* codes = packed.Reserve(std::max<int64_t>(bytes, 1));
                    if (!expanded || !codes) {
                        rc = ipiReportError(env, ipiErrSystem);
                        break;
                    }
                    if (bytes > 0 && ipiReadFileAt(env, in, from, codes, bytes) != bytes) {
                        rc = ipiGetError(env);
                        break;
                    }
                    if (!PackBitsExpand(codes, bytes, expanded, rows * R, j.mask)) {
                        rc = ipiReportError(env, ipiErrSyntacticalError);
                        break;
                    }
                    for (int64_t y = first; rc == 0 && y < std::min(H, first + rows); ++y) {
                        std::memcpy(row.data(), expanded + (y - first) * R, size_t(R));
                        if (!StorePackBitsRow(j, out, row, b, t, z, y, R)) rc = ipiGetError(env);
                    }
                }
    return rc;
}

// A plain stream: row after row until the rows or the data end (the byte 128
// ends the data; bytes decoded before it still make a row).
int DecodePackBitsStream(const PackBitsJob& j, IPIACCESSOR* in, IPIACCESSOR* out, std::vector<uint8_t>& row)
{
    IPIENVIRONMENT* env = j.env;
    ByteStream data(env, in, std::min(j.source->size > 0 ? j.source->size : ipiStoreSize(in), ipiStoreSize(in)));
    int rc = 0;
    bool finished = false;
    for (int64_t b = 0; rc == 0 && !finished && b < j.bandLoops; ++b)
        for (int64_t t = 0; rc == 0 && !finished && t < j.T; ++t)
            for (int64_t z = 0; rc == 0 && !finished && z < j.Z; ++z)
                for (int64_t y = 0; rc == 0 && !finished && y < j.H; ++y) {
                    std::fill(row.begin(), row.end(), 0);
                    bool ended = false;
                    int64_t n = 0;
                    rc = ExpandPackBitsRow(env, data, j.mask, row.data(), j.R, &ended, &n);
                    if (rc) return rc;
                    finished = ended;
                    if ((n > 0 || !ended) && !StorePackBitsRow(j, out, row, b, t, z, y, n)) rc = ipiGetError(env);
                }
    return rc;
}

} // namespace

int PackBitsDecode(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target)
{
    PackBitsJob job;
    if (int rc = PackBitsLayout(env, source, target, &job)) return rc;
    IpiAccessorPair io(env, source, target);
    if (!io) return ipiGetError(env);
    std::vector<uint8_t> row(size_t(job.R), 0);
    const PackBitsStrips strips = TiffStripTable(job);
    int rc = strips.count > 0 ? DecodePackBitsStrips(job, strips, io.in, io.out, row)
                              : DecodePackBitsStream(job, io.in, io.out, row);
    const int closeRc = io.Close();
    if (rc == 0) rc = closeRc;
    return rc;
}

// ---------------------------------------------------------------------------

namespace {

void Put2(std::vector<uint8_t>& o, int a, int b)
{
    o.push_back(uint8_t(a));
    o.push_back(uint8_t(b));
}

void EncodeRow8(const uint8_t* p, int64_t L, std::vector<uint8_t>& o)
{
    int64_t i = 0;
    const int64_t last = L - 1;
    while (i <= last) {
        if (i == last) {
            Put2(o, 1, p[i]);
            ++i;
        } else if (p[i] == p[i + 1]) {
            int64_t n = 1;
            while (i + n <= last && p[i + n] == p[i]) ++n;
            int64_t left = n;
            while (left >= 254) {
                Put2(o, 254, p[i]);
                left -= 254;
            }
            if (left > 0) Put2(o, int(left), p[i]);
            i += n;
        } else {
            int64_t j = i + 1;
            while (j < last && p[j] != p[j + 1]) ++j;
            if (j == last) j = last + 1;  // literal runs through the last pixel
            int64_t m = j - i;
            while (m >= 254) {
                Put2(o, 0, 254);
                o.insert(o.end(), p + i, p + i + 254);
                i += 254;
                m -= 254;
            }
            if (m >= 3) {
                Put2(o, 0, int(m));
                o.insert(o.end(), p + i, p + i + m);
                if (m % 2) o.push_back(0);
            } else if (m == 2) {
                Put2(o, 1, p[i]);
                Put2(o, 1, p[i + 1]);
            } else if (m == 1) {
                Put2(o, 1, p[i]);
            }
            i += m;
        }
    }
    static const int kPad[4] = {0, 3, 2, 1};
    if (int pad = kPad[L % 4]) Put2(o, pad, 0);
}

void EncodeRow4(const uint8_t* p, int64_t L, std::vector<uint8_t>& o)
{
    const int64_t nb = (L + 1) / 2;
    std::vector<uint8_t> b(size_t(nb), 0);
    for (int64_t x = 0; x < L; ++x) b[size_t(x / 2)] |= x % 2 ? (p[x] & 15) : uint8_t((p[x] & 15) << 4);
    const int64_t last = nb - 1;
    int64_t i = 0;
    while (i <= last) {
        if (i == last) {
            Put2(o, 2, b[size_t(i)]);
            ++i;
        } else if (b[size_t(i)] == b[size_t(i + 1)]) {
            int64_t k = 1;
            while (i + k <= last && b[size_t(i + k)] == b[size_t(i)]) ++k;
            int64_t n = 2 * k;
            while (n >= 254) {
                Put2(o, 254, b[size_t(i)]);
                n -= 254;
            }
            if (n > 0) Put2(o, int(n), b[size_t(i)]);
            i += k;
        } else {
            int64_t j = i + 1;
            while (j < last && b[size_t(j)] != b[size_t(j + 1)]) ++j;
            if (j == last) j = last + 1;
            int64_t m = 2 * (j - i);
            while (m >= 254) {
                Put2(o, 0, 254);
                o.insert(o.end(), b.begin() + i, b.begin() + i + 127);
                o.push_back(0);
                i += 127;
                m -= 254;
            }
            if (m >= 3) {
                Put2(o, 0, int(m));
                o.insert(o.end(), b.begin() + i, b.begin() + i + m / 2);
                if ((m / 2) % 2) o.push_back(0);
            } else if (m == 2) {
                Put2(o, 2, b[size_t(i)]);
            }
            i += m / 2;
        }
    }
    static const int kPad[4] = {0, 6, 4, 2};
    if (int pad = kPad[nb % 4]) Put2(o, pad, 0);
}

} // namespace

int ipiTransferPixels(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, source) || !ipiIsValidObject(env, target)) return ipiErrInvalidInstance;
    if (source->dataType != ipiTypeNonNegative || target->dataType != ipiTypeNonNegative)
        return ipiReportError(env, ipiErrMismatchDataType);
    const int64_t P = target->dataPrecision;
    if (P != 8 && P != 4) {
        target->size = 0;
        return 0;
    }
    const int64_t L = std::min(source->dim[0], target->dim[0]);
    const int64_t H = std::min(source->dim[1], target->dim[1]);
    IpiAccessorPair io(env, source, target);
    if (!io) return ipiGetError(env);
    IPIACCESSOR *in = io.in, *out = io.out;
    int rc = 0;
    int64_t written = 0;
    std::vector<uint8_t> code;
    code.reserve(32767);
    for (int64_t y = 0; rc == 0 && y < H && L > 0; ++y) {
        const uint8_t* p = ipiReadAt(env, in, (source->dim[1] - 1 - y) * source->dim[0]);
        if (!p) {
            rc = ipiGetError(env);
            break;
        }
        std::vector<uint8_t> pixels(p, p + L);
        code.clear();
        if (P == 8) EncodeRow8(pixels.data(), L, code);
        else EncodeRow4(pixels.data(), L, code);
        Put2(code, 0, y == H - 1 ? 1 : 0);
        if (ipiWriteToStore(env, out, written, code.data(), int64_t(code.size())) != int64_t(code.size())) {
            rc = ipiGetError(env);
            break;
        }
        written += int64_t(code.size());
    }
    const int closeRc = io.Close();
    if (rc == 0) rc = closeRc;
    if (rc == 0) target->size = written;
    return rc;
}
