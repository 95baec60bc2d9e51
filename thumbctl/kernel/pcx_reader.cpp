// PCX header parser, reader and run-length decoder.
#include "thumbctl/kernel/pcx_reader.h"

#include "thumbctl/kernel/codec_io.h"
#include "thumbctl/kernel/ipi_env.h"
#include "thumbctl/kernel/ipi_object.h"

#include <algorithm>
#include <cstring>

namespace {
int Le16(const uint8_t* p) { return p[0] | (p[1] << 8); }
constexpr uint8_t kPaletteMarker = 12;  // before a 256-colour table
}  // namespace

int PcxParse(const uint8_t* d, size_t size, PcxInfo* info)
{
    *info = PcxInfo();
    if (size < 128) return ipiErrSyntacticalError;
    const int version = d[1];
    if (d[0] != 10 || d[2] != 1 || (version != 0 && version != 2 && version != 3 && version != 5))
        return ipiErrSyntacticalError;
    const int bpp = d[3], planes = d[65];
    int mode;
    if (bpp == 4) return ipiErrSemanticalError;
    if (bpp == 1 && planes == 1) mode = 1;
    else if (bpp == 1 && planes == 4) mode = 2;
    else if (bpp == 8 && planes == 1) mode = 3;
    else if (bpp == 8 && planes == 3) mode = 4;
    else return ipiErrSyntacticalError;
    const int w = Le16(d + 8) - Le16(d + 4) + 1, h = Le16(d + 10) - Le16(d + 6) + 1;
    if (w <= 0 || h <= 0) return ipiErrSyntacticalError;
    info->mode = mode;
    info->width = w;
    info->height = h;
    info->bitsPerPixel = bpp;
    info->planes = planes;
    info->bytesPerLine = Le16(d + 66);
    info->version = version;
    info->hRes = Le16(d + 12);
    info->vRes = Le16(d + 14);
    info->paletteInfo = Le16(d + 68);
    if (info->bytesPerLine == 0) return ipiErrSyntacticalError;

    // Extent of the run-length data: count, without expanding, until every
    // line of every plane is complete.
    const int64_t need = int64_t(planes) * info->bytesPerLine * h;
    int64_t expanded = 0;
    size_t pos = 128;
    while (expanded < need) {
        if (pos >= size) return ipiErrSyntacticalError;
        const uint8_t b = d[pos++];
        if ((b & 0xC0) == 0xC0) {
            if (pos >= size) return ipiErrSyntacticalError;
            ++pos;
            expanded += b & 0x3F;
        } else {
            ++expanded;
        }
    }
    // A run that passes the end of the picture's data is damage: the data
    // was changed or does not belong to this header.
    if (expanded > need) return ipiErrSyntacticalError;
    info->dataSize = pos - 128;

    if (mode == 1 || mode == 2) {
        info->paletteEntries = mode == 1 ? 2 : 16;
        info->palette.assign(d + 16, d + 16 + 3 * info->paletteEntries);
        if (mode == 1 && std::equal(d + 16, d + 19, d + 19)) info->palette = {0, 0, 0, 255, 255, 255};
    } else if (mode == 3 && info->paletteInfo == 1) {
        // The marker byte 12 and 768 bytes of table: right after the
        // run-length data, or at the end with only zeros between. Anything
        // else there means the data did not end where its runs say (a
        // changed run count shifts every pixel after it): damage, never a
        // picture.
        size_t at = 0;
        if (size - pos >= 769 && d[pos] == kPaletteMarker)
            at = pos + 1;
        else if (size - pos >= 769 && d[size - 769] == kPaletteMarker &&
                 std::all_of(d + pos, d + size - 769, [](uint8_t b) { return b == 0; }))
            at = size - 768;
        else
            return ipiErrSyntacticalError;
        info->paletteEntries = 256;
        info->palette.assign(d + at, d + at + 768);
    }
    return 0;
}

uint64_t PcxFileExtent(const IpiByteSource& src)
{
    // The header declares no end: the run-length data of its lines takes at
    // most two bytes a byte (runs of one), then comes the 256-colour table.
    // The reader finds where the data ends in its one pass over it, within
    // these bytes, and refuses a picture that does not end there.
    uint8_t d[128];
    if (!src.read(0, d, 128) || d[0] != 10) return ipiNoEndWithin(src, kIpiBesidePixels);
    const int64_t lines = int64_t(Le16(d + 10)) - Le16(d + 6) + 1;
    const int64_t need = int64_t(d[65]) * Le16(d + 66) * lines;
    if (need <= 0) return ipiNoEndWithin(src, kIpiBesidePixels);
    return std::min(src.size, ipiBoundOf(uint64_t(need), 2, 128 + 769));
}

int PcxExpand(const uint8_t* rle, size_t size, int lineBytes, int lines, std::vector<uint8_t>* out)
{
    out->assign(size_t(lineBytes) * size_t(lines), 0);
    const size_t total = out->size();
    size_t pos = 0, o = 0;
    while (o < total) {
        if (pos >= size) return ipiErrSyntacticalError;
        const uint8_t b = rle[pos++];
        if ((b & 0xC0) == 0xC0) {
            if (pos >= size) return ipiErrSyntacticalError;
            const uint8_t v = rle[pos++];
            const size_t n = std::min<size_t>(b & 0x3F, total - o);
            std::fill(out->begin() + long(o), out->begin() + long(o + n), v);
            o += n;
        } else {
            (*out)[o++] = b;
        }
    }
    return 0;
}

int PcxReadFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    CodecSourceBytes bytes;
    if (int rc = bytes.Open(env, source, -1)) return rc;
    PcxInfo info;
    if (int rc = PcxParse(bytes.data(), bytes.size(), &info)) return ipiReportError(env, rc);
    if (int64_t(info.width) > kIpiMaxDimension || int64_t(info.height) > kIpiMaxDimension)
        return ipiReportError(env, ipiErrSyntacticalError);
    const IPICLASS* modeClass = info.mode == 4 ? &ipiClassColourImage : &ipiClassMonochromeImage;
    if (target->cls != &ipiClassGenericImage && target->cls != modeClass)
        return ipiReportError(env, ipiErrMismatchObjectClass);

    if (selector == ipiSelectAll || selector == ipiSelectHeader) {
        auto* lut = reinterpret_cast<IPIOBJECT*>(target->lut);
        if (lut && ipiIsValidObject(env, lut)) {
            if (int rc = CodecWritePalette(env, lut, info.paletteEntries, info.palette.data(), info.paletteEntries))
                return rc;
        }
        const IPIVALUE colourSpace = info.mode == 4 ? IPIVALUE(ipiColourSpaceRgb) : source->colourSpace;
        IPIATTRIBUTE a[] = {{"xDimension", info.width}, {"yDimension", info.height}, {"zDimension", 1},
                            {"tDimension", 1}, {"bDimension", info.mode == 2 ? 1 : info.planes},
                            {"dataType", info.mode == 1 ? ipiTypeBoolean : ipiTypeNonNegative},
                            {"bitOrder", ipiOrderMsbFirst}, {"byteOrder", ipiOrderMsbFirst},
                            {"dataPrecision", info.mode == 2 ? 4 : info.bitsPerPixel},
                            {"compression", ipiCompressionPcxRle}, {"size", IPIVALUE(info.dataSize)},
                            {"colourSpace", colourSpace}};
        if (int rc = ipiSetAttributes(env, target, a, 12)) return rc;
        if (target->fileFormat == ipiFormatPcx) {
            ipiSetAttribute(env, target, "versionNumber", info.version);
            ipiSetAttribute(env, target, "horizontalResolution", info.hRes);
            ipiSetAttribute(env, target, "verticalResolution", info.vRes);
            ipiSetAttribute(env, target, "bytePerLine", info.bytesPerLine);
        }
    }
    if (selector == ipiSelectAll || selector == ipiSelectData) {
        if (int rc = CodecWriteAll(env, target, bytes.data() + 128, int64_t(info.dataSize))) return rc;
    }
    return 0;
}

namespace {

// Scan lines of planes x bytes-per-line bytes from run-length data; the
// part of a run that passes a line's end begins the next line.
class PcxLines {
public:
    PcxLines(const CodecSourceBytes& rle, int64_t lineBytes) : rle_(rle), line_(size_t(lineBytes)) {}
    const uint8_t* data() const { return line_.data(); }

    // The next line; false when the data runs out first.
    bool Next()
    {
        const int64_t L = int64_t(line_.size());
        int64_t o = std::min(carry_, L);
        std::memset(line_.data(), carryValue_, size_t(o));
        carry_ -= o;
        while (o < L) {
            if (pos_ >= rle_.size()) return false;
            const uint8_t b = rle_[pos_++];
            if ((b & 0xC0) != 0xC0) {
                line_[size_t(o++)] = b;
                continue;
            }
            if (pos_ >= rle_.size()) return false;
            const uint8_t v = rle_[pos_++];
            const int64_t n = std::min<int64_t>(b & 0x3F, L - o);
            std::memset(line_.data() + o, v, size_t(n));
            o += n;
            carry_ = (b & 0x3F) - n;
            carryValue_ = v;
        }
        return true;
    }

private:
    const CodecSourceBytes& rle_;
    std::vector<uint8_t> line_;
    size_t pos_ = 0;
    int64_t carry_ = 0;
    uint8_t carryValue_ = 0;
};

// The decoded picture's variant: planes of one bit or of eight; 0 or the
// error reported.
int PcxVariant(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination, int* planes, int* planeBits)
{
    const int64_t precision = destination->dataPrecision;
    const bool bytes = source->dataType == ipiTypeNonNegative && destination->dataType == ipiTypeNonNegative;
    if (source->dataType == ipiTypeBoolean && destination->dataType == ipiTypeBoolean) {
        *planes = 1, *planeBits = 1;
    } else if (bytes && precision == 4) {
        if (destination->pixelInterpretation == ipiBitmapLayout) return ipiReportError(env, ipiErrSemanticalError);
        *planes = 4, *planeBits = 1;
    } else if (bytes && precision == 8) {
        *planes = source->dim[4] >= 3 ? 3 : 1, *planeBits = 8;
    } else {
        return ipiReportError(env, ipiErrMismatchDataType);
    }
    return 0;
}

// One scan line into the destination's row y, as its variant and layout
// want it.
int PutLine(CodecRowWriter& out, const uint8_t* line, int64_t y, int64_t W, int64_t bpl, int planes, int planeBits,
            std::vector<uint8_t>& row)
{
    if (planeBits == 1 && planes == 1)
        return out.BitmapLayout() ? out.PutBitmapRow(y, line, (W + 7) / 8) : out.PutBitRow(y, line, W);
    if (planes == 4) {  // bit p of a pixel's value from plane p
        for (int64_t x = 0; x < W; ++x) {
            int v = 0;
            for (int p = 0; p < 4; ++p) v |= ((line[p * bpl + x / 8] >> (7 - x % 8)) & 1) << p;
            row[size_t(x)] = uint8_t(v);
        }
        return out.PutBandRow(0, y, row.data(), W);
    }
    if (out.BitmapLayout()) {
        if (planes == 1) return out.PutBitmapRow(y, line, W);
        for (int64_t x = 0; x < W; ++x)
            for (int c = 0; c < 3; ++c) row[size_t(3 * x + c)] = line[(2 - c) * bpl + x];
        return out.PutBitmapRow(y, row.data(), 3 * W);
    }
    int rc = 0;
    for (int p = 0; rc == 0 && p < planes; ++p) rc = out.PutBandRow(p, y, line + p * bpl, W);
    return rc;
}

} // namespace

int PcxDecodeRle(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    int planes = 0, planeBits = 0;
    if (int rc = PcxVariant(env, source, destination, &planes, &planeBits)) return rc;
    const int64_t W = std::min(source->dim[0], destination->dim[0]);
    const int64_t H = std::min(source->dim[1], destination->dim[1]);
    if (W <= 0 || H <= 0 || W > kIpiMaxDimension || H > kIpiMaxDimension)
        return ipiReportError(env, ipiErrSyntacticalError);
    const int64_t sw = source->dim[0];
    const int64_t expected = planeBits == 1 ? (sw + 15) / 16 * 2 : (sw + 1) / 2 * 2;
    const int64_t bpl = ipiGetObjectAttribute(env, source, "bytePerLine");
    // Each plane's line must hold the whole width: a line one byte short still
    // rounds up to the even length, but would take its last pixels from the
    // next line.
    const int64_t needed = planeBits == 1 ? (sw + 7) / 8 : sw;
    if ((bpl + 1) / 2 * 2 != expected || bpl < needed) return ipiReportError(env, ipiErrSyntacticalError);
    if (int64_t(planes) * bpl * source->dim[1] > kIpiMaxBytes) return ipiReportError(env, ipiErrSystem);

    CodecSourceBytes rle;
    if (int rc = rle.Open(env, source, source->size > 0 ? source->size : -1)) return rc;
    PcxLines lines(rle, planes * bpl);
    CodecRowWriter out(env, destination);
    if (int rc = out.Open()) return rc;
    int rc = 0;
    std::vector<uint8_t> row(size_t(W) * 3 + 8);
    for (int64_t y = 0; rc == 0 && y < H; ++y)
        rc = lines.Next() ? PutLine(out, lines.data(), y, W, bpl, planes, planeBits, row)
                          : ipiReportError(env, ipiErrSyntacticalError);
    const int closeRc = out.Close();
    return rc ? rc : closeRc;
}
