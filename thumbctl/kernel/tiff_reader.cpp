// TIFF reader and strip conversion of the image kernel.
#include "thumbctl/kernel/tiff_reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "thumbctl/kernel/bitrun.h"
#include "thumbctl/kernel/bmp_codec.h"
#include "thumbctl/kernel/ipi_dib.h"
#include "thumbctl/kernel/ipi.h"
#include "thumbctl/kernel/tiff_format.h"

namespace {

uint8_t Reversed(uint8_t b) {
    b = uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

void ReverseBytes(uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) p[i] = Reversed(p[i]);
}

tiff::Source SourceOf(IPIENVIRONMENT* env, IPIACCESSOR* in) {
    tiff::Source src;
    src.size = uint64_t(std::max<int64_t>(0, ipiStoreSize(in)));
    src.read = [env, in, size = src.size](uint64_t offset, void* buffer, uint64_t count) {
        if (offset > size || count > size - offset) return false;
        return ipiReadFileAt(env, in, int64_t(offset), buffer, int64_t(count)) == int64_t(count);
    };
    return src;
}

int Report(IPIENVIRONMENT* env, int code) { return code ? ipiReportError(env, code) : 0; }

const IPICLASS* ExpectedClass(const tiff::Page& p) {
    return p.bands == 3 ? &ipiClassColourImage : &ipiClassMonochromeImage;
}

// Writes the page's description on the source (the data as stored).
int DescribeSource(IPIENVIRONMENT* env, IPIOBJECT* source, const tiff::Page& p) {
    IPIVALUE width = p.width;
    if (p.dataType == ipiTypeBoolean && p.compression == ipiCompressionNone && env->byteBoundary)
        width = (width + 7) / 8 * 8;
    const IPIATTRIBUTE attrs[] = {
        {"xDimension", width},
        {"yDimension", p.height},
        {"zDimension", 1},
        {"tDimension", 1},
        {"bDimension", p.bands},
        {"dataType", p.dataType},
        {"dataPrecision", p.bitsPerSample},
        {"bitOrder", p.lsbFirst ? ipiOrderLsbFirst : ipiOrderMsbFirst},
        {"byteOrder", p.littleEndian ? ipiOrderLsbFirst : ipiOrderMsbFirst},
        {"compression", p.compression},
        {"predictor", p.compression == ipiCompressionLzw ? p.predictor : p.eolState},
        {"colourSpace", p.colourSpace},
    };
    // The source's `size` stays the byte count of the file: a memory source's
    // store is bounded by it, and later pages are read through it again.
    if (ipiSetAttributes(env, source, attrs, int(sizeof attrs / sizeof attrs[0])) != 0) return ipiErrSystem;
    if (env->byteBoundary) ipiSetAttribute(env, source, "widthByteBoundary", p.width);
    return 0;
}

// Header stage: the picture's description and colour table on the target.
int DescribeTarget(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, const tiff::Page& p) {
    const IPIATTRIBUTE attrs[] = {
        {"xDimension", ipiGetObjectAttribute(env, source, "xDimension")},
        {"yDimension", p.height},
        {"zDimension", 1},
        {"tDimension", 1},
        {"bDimension", p.bands},
        {"dataType", p.dataType},
        {"dataPrecision", p.dataPrecision},
        // The pixel stage hands every target its data most significant bit
        // first, compressed strips included.
        {"bitOrder", ipiOrderMsbFirst},
        {"byteOrder", ipiGetObjectAttribute(env, source, "byteOrder")},
        {"compression", p.compression},
        {"predictor", ipiGetObjectAttribute(env, source, "predictor")},
        {"colourSpace", p.colourSpace},
    };
    if (ipiSetAttributes(env, target, attrs, int(sizeof attrs / sizeof attrs[0])) != 0) return ipiErrSystem;
    // Compressed pages: the byte count of all strips.
    if (p.compression != ipiCompressionNone) ipiSetAttribute(env, target, "size", IPIVALUE(p.compressedSize));
    if (env->byteBoundary) ipiSetAttribute(env, target, "widthByteBoundary", p.width);

    if (ipiGetObjectAttribute(env, target, "fileFormat") == ipiFormatTiff) {
        std::vector<uint32_t> offsets = p.stripOffsets, counts = p.stripByteCounts;
        uint32_t xr[2] = {p.xResolution[0], p.xResolution[1]};
        uint32_t yr[2] = {p.yResolution[0], p.yResolution[1]};
        const IPIATTRIBUTE tiffAttrs[] = {
            {"photometricInterpretation", p.photometric},
            {"resolutionUnit", p.resolutionUnit},
            {"rowsPerStrip", p.rowsPerStrip},
            {"orientation", p.orientation},
            {"planarConfiguration", p.planarConfiguration},
            {"newSubfileType", p.newSubfileType},
            {"pageNumber", p.pageNumber},
            {"stripsPerImage", IPIVALUE(offsets.size())},
            {"stripOffsets", reinterpret_cast<IPIVALUE>(offsets.data())},
            {"stripByteCounts", reinterpret_cast<IPIVALUE>(counts.data())},
            {"xResolution", p.hasXResolution ? reinterpret_cast<IPIVALUE>(xr) : 0},
            {"yResolution", p.hasYResolution ? reinterpret_cast<IPIVALUE>(yr) : 0},
        };
        if (ipiSetAttributes(env, target, tiffAttrs, int(sizeof tiffAttrs / sizeof tiffAttrs[0])) != 0)
            return ipiErrSystem;
    }

    // Colour map: the high byte of each 16-bit value, band after band.
    auto* lut = reinterpret_cast<IPIOBJECT*>(ipiGetObjectAttribute(env, target, "lut"));
    if (!lut || !ipiIsValidObject(env, lut)) return 0;
    const size_t perPlane = p.colorMap.size() / 3;
    int64_t entries = 0;
    if (p.colorMap.size() >= 3) {
        switch (p.bitsPerSample) {
        case 1: entries = 2; break;
        case 4: entries = 16; break;
        case 8: entries = 256; break;
        default: entries = int64_t(perPlane); break;
        }
    }
    const IPIATTRIBUTE lutAttrs[] = {{"bitOrder", ipiOrderMsbFirst},
                                     {"dataType", ipiTypeNonNegative},
                                     {"dataPrecision", 8},
                                     {"entries", std::max<int64_t>(entries, 1)},
                                     {"bDimension", 3}};
    if (ipiSetAttributes(env, lut, lutAttrs, 5) != 0) return ipiErrSystem;
    if (entries == 0) return 0;
    std::vector<uint8_t> table(size_t(entries) * 3, 0);
    const size_t used = std::min<size_t>(perPlane, size_t(entries));
    for (int band = 0; band < 3; ++band)
        for (size_t i = 0; i < used; ++i)
            table[size_t(band) * size_t(entries) + i] = uint8_t(p.colorMap[size_t(band) * perPlane + i] >> 8);
    IPIACCESSOR* out = ipiOpenAccessor(env, lut, "w", 1, nullptr, 0);
    if (!out) return ipiGetError(env);
    int rc = ipiWriteToStore(env, out, 0, table.data(), int64_t(table.size())) < 0 ? ipiGetError(env) : 0;
    const int closeRc = ipiCloseAccessor(env, out);
    return rc ? rc : closeRc;
}

// Reads stored row y of the page, bit order normalised to most significant
// bit first.
bool ReadRow(IPIENVIRONMENT* env, IPIACCESSOR* in, const tiff::Page& p, uint32_t y, std::vector<uint8_t>& row) {
    if (ipiReadFileAt(env, in, int64_t(tiff::RowOffset(p, y)), row.data(), int64_t(p.rowBytes)) !=
        int64_t(p.rowBytes))
        return false;
    if (p.lsbFirst) ReverseBytes(row.data(), row.size());
    return true;
}

// Compressed strips, one after the other from offset 0 of the target's store.
int CopyCompressed(IPIENVIRONMENT* env, IPIACCESSOR* in, IPIOBJECT* target, const tiff::Page& p) {
    ipiSetAttribute(env, target, "size", IPIVALUE(p.compressedSize));
    IPIACCESSOR* out = ipiOpenAccessor(env, target, "w", 1, nullptr, 0);
    if (!out) return ipiGetError(env);
    std::vector<uint8_t> piece(size_t(std::min<uint64_t>(std::max<uint64_t>(p.rowBytes, 4096), 1 << 20)));
    int rc = 0;
    int64_t at = 0;
    for (size_t s = 0; s < p.stripOffsets.size() && rc == 0; ++s) {
        uint64_t done = 0;
        while (done < p.stripByteCounts[s]) {
            const int64_t n = int64_t(std::min<uint64_t>(piece.size(), p.stripByteCounts[s] - done));
            if (ipiReadFileAt(env, in, int64_t(p.stripOffsets[s] + done), piece.data(), n) != n ||
                (p.lsbFirst && (ReverseBytes(piece.data(), size_t(n)), false)) ||
                ipiWriteToStore(env, out, at, piece.data(), n) != n) {
                rc = ipiGetError(env);
                break;
            }
            done += uint64_t(n);
            at += n;
        }
    }
    const int closeRc = ipiCloseAccessor(env, out);
    if (rc == 0 && closeRc) rc = closeRc;
    if (rc) return rc;
    // The strips now lie in the target most significant bit first.
    const IPIATTRIBUTE after[] = {{"size", at}, {"bitOrder", ipiOrderMsbFirst}};
    ipiSetAttributes(env, target, after, 2);
    return 0;
}

// Stored rows of a page (most significant bit first) into a bitmap-layout
// target: packed rows bottom-up, blue, green, red, each line of the target
// (`xDimension` samples at its precision; bytes for colour) one bitmap row
// with its padding. Each row is what the band-plane path and the bitmap
// writer would make of it: bilevel rows keep their padding bits only when
// `keepPadBits` (PackBits strips), 4-bit rows of odd width end in a zero
// nibble, 16-bit grey gives its high bytes.
class BitmapRows {
public:
    BitmapRows(IPIENVIRONMENT* env, IPIOBJECT* target, const tiff::Page& p, bool keepPadBits)
        : env_(env), target_(target), p_(p), keepPadBits_(keepPadBits)
    {
        const int64_t X = target->dim[0];
        const int64_t bits = p.bands == 3 ? 8 : target->dataPrecision;
        stride_ = (X * bits + 7) / 8;
        if (p.bands == 3) cols_ = std::min<int64_t>(p.width, X / 3);
        else cols_ = std::min<int64_t>(p.width, X);
        rows_ = std::min<int64_t>(p.height, target->dim[1]);
    }
    ~BitmapRows() { Close(); }

    int Open()
    {
        if (stride_ <= 0 || stride_ > kIpiMaxBytes) return Report(env_, ipiErrSyntacticalError);
        // A bitmap in caller memory that holds every row is written in place.
        if (target_->repository == ipiRepositoryApplication && target_->applicationAddressSpace &&
            target_->size >= stride_ * target_->dim[1]) {
            memory_ = reinterpret_cast<uint8_t*>(target_->applicationAddressSpace);
            return 0;
        }
        line_.assign(size_t(stride_), 0);
        out_ = ipiOpenAccessor(env_, target_, "w", 1, nullptr, 0);
        return out_ ? 0 : ipiGetError(env_);
    }
    int64_t Rows() const { return rows_; }

    // Stored row y (0 = top) into its bitmap row.
    int Put(int64_t y, const uint8_t* row)
    {
        if (y >= rows_) return 0;
        const int64_t at = (target_->dim[1] - 1 - y) * stride_;
        uint8_t* d = memory_ ? memory_ + at : line_.data();
        const int64_t n = cols_;
        int64_t used = 0;
        if (p_.dataType == ipiTypeBoolean) {
            int64_t bytes = keepPadBits_ ? int64_t(p_.rowBytes) : (n + 7) / 8;
            bytes = std::min(bytes, stride_);
            std::memcpy(d, row, size_t(bytes));
            if (!keepPadBits_ && (n & 7)) d[bytes - 1] &= uint8_t(0xFF00 >> (n & 7));
            if (target_->bitOrder == ipiOrderLsbFirst) ReverseBytes(d, size_t(bytes));
            used = bytes;
        } else if (p_.bands == 3) {
            ipiRgbToBgr(row, d, n);
            used = 3 * n;
        } else if (p_.bitsPerSample == 4) {
            used = (n + 1) / 2;
            std::memcpy(d, row, size_t(used));
            if (n & 1) d[used - 1] &= 0xF0;
        } else if (p_.bitsPerSample == 16) {
            const size_t high = p_.littleEndian ? 1 : 0;
            for (int64_t x = 0; x < n; ++x) d[x] = row[size_t(2 * x) + high];
            used = n;
        } else {
            std::memcpy(d, row, size_t(n));
            used = n;
        }
        std::memset(d + used, 0, size_t(stride_ - used));  // the row's padding
        if (memory_) return 0;
        return ipiWriteToStore(env_, out_, at, d, stride_) == stride_ ? 0 : ipiGetError(env_);
    }

    int Close()
    {
        const int rc = out_ ? ipiCloseAccessor(env_, out_) : 0;
        out_ = nullptr;
        return rc;
    }

private:
    IPIENVIRONMENT* env_;
    IPIOBJECT* target_;
    const tiff::Page& p_;
    bool keepPadBits_;
    int64_t stride_ = 0, cols_ = 0, rows_ = 0;
    std::vector<uint8_t> line_;
    uint8_t* memory_ = nullptr;
    IPIACCESSOR* out_ = nullptr;
};

// Uncompressed rows, or PackBits strips expanded one at a time, straight
// into a bitmap-layout target.
int DecodeIntoBitmap(IPIENVIRONMENT* env, IPIACCESSOR* in, IPIOBJECT* target, const tiff::Page& p)
{
    const bool packBits = p.compression == ipiCompressionPackBits;
    BitmapRows out(env, target, p, packBits);
    if (int rc = out.Open()) return rc;
    int rc = 0;
    const int64_t R = int64_t(p.rowBytes);
    if (!packBits) {
        std::vector<uint8_t> row(static_cast<size_t>(R));
        for (int64_t y = 0; rc == 0 && y < out.Rows(); ++y) {
            // Rows in memory are taken where they lie.
            const uint8_t* stored =
                p.lsbFirst ? nullptr : ipiViewStoreAt(in, int64_t(tiff::RowOffset(p, uint32_t(y))), R);
            if (!stored && !ReadRow(env, in, p, uint32_t(y), row)) {
                rc = ipiGetError(env);
                break;
            }
            rc = out.Put(y, stored ? stored : row.data());
        }
    } else {
        // Each strip is read whole and expanded on its own, so a pad byte at
        // a strip's end shifts nothing and a run may carry on into the next
        // row of its strip.
        constexpr int64_t kWindow = int64_t(1) << 20;
        std::vector<uint8_t> window, flipped;
        IpiScratch strip;
        int64_t windowAt = 0, windowBytes = 0;
        const int64_t rps = p.rowsPerStrip;
        for (size_t s = 0; rc == 0 && s < p.stripOffsets.size(); ++s) {
            const int64_t first = int64_t(s) * rps;
            if (first >= out.Rows()) break;
            const int64_t rows = std::min<int64_t>(rps, int64_t(p.height) - first);
            const int64_t bytes = p.stripByteCounts[s];
            // The codes must be able to fill the strip's rows, which bounds
            // the strip buffer by the data.
            if (rows > kIpiMaxBytes / R || rows * R > PackBitsMostBytes(bytes)) {
                rc = Report(env, ipiErrSyntacticalError);
                break;
            }
            uint8_t* expanded = strip.Reserve(rows * R);
            if (!expanded) {
                rc = Report(env, ipiErrSystem);
                break;
            }
            // Codes in memory are expanded where they lie. From a file they
            // are read a megabyte at a time, so that small strips lying one
            // after the other cost one read together.
            const int64_t offset = int64_t(p.stripOffsets[s]);
            const uint8_t* codes = ipiViewStoreAt(in, offset, bytes);
            if (!codes) {
                if (offset < windowAt || offset + bytes > windowAt + windowBytes) {
                    windowAt = offset;
                    windowBytes = std::max<int64_t>(bytes, std::min<int64_t>(kWindow, ipiStoreSize(in) - offset));
                    if (int64_t(window.size()) < windowBytes) window.resize(size_t(windowBytes));
                    if (windowBytes > 0 && ipiReadFileAt(env, in, offset, window.data(), windowBytes) != windowBytes) {
                        rc = ipiGetError(env);
                        break;
                    }
                }
                codes = window.data() + (offset - windowAt);
            }
            if (p.lsbFirst) {  // to most significant bit first, strip by strip
                flipped.assign(codes, codes + bytes);
                ReverseBytes(flipped.data(), flipped.size());
                codes = flipped.data();
            }
            if (!PackBitsExpand(codes, bytes, expanded, rows * R, 0)) {
                rc = Report(env, ipiErrSyntacticalError);
                break;
            }
            for (int64_t y = first; rc == 0 && y < std::min(out.Rows(), first + rows); ++y)
                rc = out.Put(y, expanded + (y - first) * R);
        }
    }
    const int closeRc = out.Close();
    if (rc == 0 && closeRc) rc = closeRc;
    if (rc == 0 && p.lsbFirst) ipiSetAttribute(env, target, "bitOrder", ipiOrderMsbFirst);
    return rc;
}

// Bilevel rows into the target's packed bit plane (row y at bit y x
// xDimension), in the target's bit order, row by row.
int ConvertBilevel(IPIENVIRONMENT* env, IPIACCESSOR* in, IPIOBJECT* target, const tiff::Page& p) {
    const int64_t planeBytes = ipiObjectDataSize(env, target);
    if (planeBytes <= 0) return planeBytes < 0 ? Report(env, ipiErrSystem) : 0;
    const int64_t X = target->dim[0], Y = target->dim[1];
    IPIACCESSOR* out = ipiOpenAccessor(env, target, "w", 1, nullptr, 0);
    if (!out) return ipiGetError(env);
    std::vector<uint8_t> row(size_t(p.rowBytes));
    const int64_t rows = std::min<int64_t>(p.height, Y);
    const int64_t cols = std::min<int64_t>(p.width, X);
    int rc = 0;
    for (int64_t y = 0; rc == 0 && y < rows; ++y)
        rc = ReadRow(env, in, p, uint32_t(y), row) ? ipiPutBitRow(env, out, y * X, row.data(), cols) : ipiGetError(env);
    const int closeRc = ipiCloseAccessor(env, out);
    return rc ? rc : closeRc;
}

// Byte samples (grey, palette, 4-bit, 16-bit grey, 8-bit colour).
int ConvertBytes(IPIENVIRONMENT* env, IPIACCESSOR* in, IPIOBJECT* target, const tiff::Page& p) {
    const int64_t X = target->dim[0], Y = target->dim[1];
    const int64_t plane = X * Y * std::max<int64_t>(1, target->dim[2]) * std::max<int64_t>(1, target->dim[3]);
    const int64_t targetBands = std::max<int64_t>(1, target->dim[4]);
    const int64_t rows = std::min<int64_t>(p.height, Y);
    if (p.bands == 3 && targetBands < 3) return 0;  // no layout holds the colour samples

    IPIACCESSOR* out = ipiOpenAccessor(env, target, "w", 1, nullptr, 0);
    if (!out) return ipiGetError(env);
    std::vector<uint8_t> row(size_t(p.rowBytes));
    std::vector<uint8_t> line(size_t(std::max<int64_t>(X, 1)));
    int rc = 0;
    auto put = [&](int64_t offset, int64_t n) {
        if (n > 0 && ipiWriteToStore(env, out, offset, line.data(), n) != n) rc = ipiGetError(env);
    };
    for (int64_t y = 0; y < rows && rc == 0; ++y) {
        if (!ReadRow(env, in, p, uint32_t(y), row)) {
            rc = ipiGetError(env);
            break;
        }
        if (p.bands == 3) {  // red, green and blue planes
            const int64_t n = std::min<int64_t>(p.width, X);
            for (int band = 0; band < 3 && rc == 0; ++band) {
                for (int64_t x = 0; x < n; ++x) line[size_t(x)] = row[size_t(3 * x + band)];
                put(band * plane + y * X, n);
            }
        } else if (p.bitsPerSample == 4) {  // one byte a pixel
            const int64_t n = std::min<int64_t>(p.width, X);
            for (int64_t x = 0; x < n; ++x)
                line[size_t(x)] = (x & 1) ? row[size_t(x / 2)] & 0x0F : row[size_t(x / 2)] >> 4;
            put(y * X, n);
        } else if (p.bitsPerSample == 16) {  // grey: the high byte of each sample
            const int64_t n = std::min<int64_t>(p.width, X);
            const size_t high = p.littleEndian ? 1 : 0;
            for (int64_t x = 0; x < n; ++x) line[size_t(x)] = row[size_t(2 * x) + high];
            put(y * X, n);
        } else {  // 8-bit grey or palette indices
            const int64_t n = std::min<int64_t>(p.width, X);
            std::memcpy(line.data(), row.data(), size_t(n));
            put(y * X, n);
        }
    }
    const int closeRc = ipiCloseAccessor(env, out);
    if (rc == 0 && closeRc) rc = closeRc;
    if (rc == 0 && p.lsbFirst) ipiSetAttribute(env, target, "bitOrder", ipiOrderMsbFirst);
    return rc;
}

} // namespace

int TiffDecodeStripData(IPIENVIRONMENT* env, IPIACCESSOR* in, IPIOBJECT* target, const tiff::Page& p) {
    const int64_t targetType = target->dataType;
    if ((p.dataType != ipiTypeBoolean && p.dataType != targetType) ||
        (p.dataType == ipiTypeBoolean && targetType != ipiTypeBoolean))
        return Report(env, ipiErrMismatchDataType);
    const bool sourceCompressed = p.compression != ipiCompressionNone;
    const bool targetCompressed = target->compression != ipiCompressionNone;
    // Compressed data goes only into a compressed target, and the reverse.
    // A bitmap takes uncompressed and PackBits pages straight from the strips.
    if (target->pixelInterpretation == ipiBitmapLayout && !targetCompressed &&
        (!sourceCompressed || p.compression == ipiCompressionPackBits))
        return Report(env, DecodeIntoBitmap(env, in, target, p));
    if (sourceCompressed != targetCompressed) return 0;
    if (sourceCompressed) return Report(env, CopyCompressed(env, in, target, p));
    if (p.dataType == ipiTypeBoolean) return Report(env, ConvertBilevel(env, in, target, p));
    return Report(env, ConvertBytes(env, in, target, p));
}

namespace {

int ReadImageWith(IPIENVIRONMENT* env, IPIACCESSOR* in, const tiff::Source& src, bool littleEndian,
                  IPIOBJECT* source, IPIOBJECT* target, int selector, uint32_t ifdOffset) {
    tiff::Directory dir;
    int rc = tiff::ReadDirectory(src, littleEndian, ifdOffset, &dir);
    if (rc) return rc;
    tiff::Page page;
    rc = tiff::InterpretDirectory(src, dir, littleEndian, &page);
    if (rc) return rc;
    if ((rc = DescribeSource(env, source, page)) != 0) return rc;
    const IPICLASS* cls = ipiGetObjectClass(env, source);
    if (cls != &ipiClassGenericImage && cls != ExpectedClass(page)) return ipiErrMismatchObjectClass;
    if (selector == ipiSelectAll || selector == ipiSelectHeader) {
        if ((rc = DescribeTarget(env, source, target, page)) != 0) return rc;
    }
    if (selector == ipiSelectAll || selector == ipiSelectData) {
        if ((rc = TiffDecodeStripData(env, in, target, page)) != 0) return rc;
    }
    return 0;
}

} // namespace

int TiffReadImage(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector, uint32_t ifdOffset) {
    if (int rc = ipiCheckEnvironment(env)) return rc;
    IPIACCESSOR* in = ipiOpenAccessor(env, source, "r", 1, nullptr, 0);
    if (!in) return ipiGetError(env);
    const tiff::Source src = SourceOf(env, in);
    tiff::Header header;
    int rc = tiff::ReadHeader(src, &header) ? ipiErrSyntacticalError : 0;
    if (rc == 0) rc = ReadImageWith(env, in, src, header.littleEndian, source, target, selector, ifdOffset);
    ipiCloseAccessor(env, in);
    ipiSetAttribute(env, source, "inited", 1);
    return Report(env, rc);
}

int TiffReadFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector) {
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (selector != ipiSelectAll && selector != ipiSelectHeader && selector != ipiSelectData)
        return Report(env, ipiErrOutOfRange);
    IPIACCESSOR* in = ipiOpenAccessor(env, source, "r", 1, nullptr, 0);
    if (!in) return ipiGetError(env);
    const tiff::Source src = SourceOf(env, in);
    tiff::Header header;
    int rc = tiff::ReadHeader(src, &header) ? ipiErrSyntacticalError : 0;

    if (rc == 0 && ipiGetObjectClass(env, target) != &ipiClassCompositeIDArray) {
        rc = header.firstIfd == 0
                 ? ipiErrNonPermissibleOption
                 : ReadImageWith(env, in, src, header.littleEndian, source, target, selector, header.firstIfd);
    } else if (rc == 0) {
        const int64_t start = target->matchPoint[0];
        const int64_t wanted = target->dim[0];
        std::vector<uint32_t> offsets;
        if (start < 0 || header.firstIfd == 0) {
            rc = ipiErrNonPermissibleOption;
        } else {
            const int64_t limit = std::min<int64_t>(start + std::max<int64_t>(wanted, 0), kIpiMaxChain - 1);
            const int walk = tiff::WalkDirectories(src, header, &offsets, int(limit));
            if (int64_t(offsets.size()) <= start) rc = walk ? walk : ipiErrNonPermissibleOption;
        }
        int64_t read = 0;
        for (int64_t j = 0; rc == 0 && j < wanted && start + j < int64_t(offsets.size()); ++j) {
            IPIOBJECT* element = ipiGetCompositeElement(env, target, j);
            if (!element) break;
            if (ipiGetObjectAttribute(env, element, "fileFormat") != ipiFormatTiff)
                ipiSetAttribute(env, element, "fileFormat", ipiFormatTiff);
            rc = ReadImageWith(env, in, src, header.littleEndian, source, element, selector,
                               offsets[size_t(start + j)]);
            if (rc == 0) ++read;
        }
        if (rc == 0 && read > 0 && read < wanted && selector != ipiSelectData)
            ipiSetAttribute(env, target, "entries", read);
    }
    ipiCloseAccessor(env, in);
    ipiSetAttribute(env, source, "inited", 1);
    return Report(env, rc);
}

int TiffCountPages(IPIENVIRONMENT* env, IPIOBJECT* source) {
    IPIACCESSOR* in = ipiOpenAccessor(env, source, "r", 1, nullptr, 0);
    if (!in) return 0;
    const tiff::Source src = SourceOf(env, in);
    tiff::Header header;
    int rc = src.size < 9 ? int(ipiErrInsufficientSize) : tiff::ReadHeader(src, &header);
    std::vector<uint32_t> offsets;
    if (rc == 0) rc = tiff::WalkDirectories(src, header, &offsets);
    ipiCloseAccessor(env, in);
    if (rc) {
        ipiReportError(env, rc);
        return 0;
    }
    return int(offsets.size());
}
