// PNG file reader and pixel decoder over kernel objects.
#include "thumbctl/kernel/png_reader.h"

#include "thumbctl/kernel/codec_io.h"
#include "thumbctl/kernel/ipi_dib.h"
#include "thumbctl/kernel/ipi_env.h"
#include "thumbctl/kernel/ipi_object.h"
#include "thumbctl/kernel/ipi_store.h"
#include "thumbctl/kernel/png_codec.h"

#include <algorithm>

int PngReadFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    CodecSourceBytes bytes;
    if (int rc = bytes.Open(env, source, -1)) return rc;
    PngStreamInfo info;
    if (int rc = PngParseStream(bytes.data(), bytes.size(), &info)) return ipiReportError(env, rc);
    const int bands = info.channels;
    const int dataType = info.bitDepth == 1 ? ipiTypeBoolean : ipiTypeNonNegative;
    IPIATTRIBUTE shape[] = {{"xDimension", info.width}, {"yDimension", info.height}, {"zDimension", 1},
                            {"tDimension", 1}, {"bDimension", bands}, {"dataType", dataType},
                            {"dataPrecision", info.bitDepth}, {"bitOrder", ipiOrderMsbFirst}};
    ipiSetAttributes(env, source, shape, 8);
    if (bands >= 3) ipiSetAttribute(env, source, "colourSpace", ipiColourSpaceRgb);

    if (selector == ipiSelectAll || selector == ipiSelectHeader) {
        if (int rc = ipiSetAttributes(env, target, shape, 8)) return rc;
        IPIATTRIBUTE a[] = {{"colourSpace", source->colourSpace}, {"byteOrder", ipiOrderMsbFirst},
                            {"compression", ipiCompressionPng}, {"size", IPIVALUE(info.idatTotal)}};
        if (int rc = ipiSetAttributes(env, target, a, 4)) return rc;
        if (target->fileFormat == ipiFormatPng) {
            ipiSetAttribute(env, target, "interlacedImage", info.interlaced);
            ipiSetAttribute(env, target, "colourType", info.KernelColourCode());
            if (info.hasTransparency) {
                ipiSetAttribute(env, target, "transparency", 1);
                if (info.colourType == 0) {
                    ipiSetAttribute(env, target, "transparencyGray", info.transparentGrey);
                } else if (info.colourType == 2) {
                    ipiSetAttribute(env, target, "transparencyRed", info.transparentRed);
                    ipiSetAttribute(env, target, "transparencyGreen", info.transparentGreen);
                    ipiSetAttribute(env, target, "transparencyBlue", info.transparentBlue);
                } else {
                    ipiSetAttribute(env, target, "transparencyEntry", IPIVALUE(info.paletteAlpha.size()));
                    ipiSetAttribute(env, target, "transparencyPaletteIndex",
                                    reinterpret_cast<IPIVALUE>(info.paletteAlpha.data()));
                }
            }
        }
        auto* lut = reinterpret_cast<IPIOBJECT*>(target->lut);
        if (lut && ipiIsValidObject(env, lut)) {
            const int entries = info.paletteEntries > 0 ? 1 << info.bitDepth : 0;
            if (int rc = CodecWritePalette(env, lut, entries, info.palette.data(), info.paletteEntries)) return rc;
        }
    }
    if (selector == ipiSelectAll || selector == ipiSelectData) {
        // The image data chunks one after the other, written as they lie.
        IPIACCESSOR* out = ipiOpenAccessor(env, target, "w", 1, nullptr, 0);
        if (!out) return ipiGetError(env);
        int rc = 0;
        int64_t at = 0;
        for (const PngStreamInfo::Range& r : info.idat) {
            if (rc == 0 && r.length > 0 &&
                ipiWriteToStore(env, out, at, bytes.data() + r.offset, int64_t(r.length)) != int64_t(r.length))
                rc = ipiGetError(env);
            at += int64_t(r.length);
        }
        const int closeRc = ipiCloseAccessor(env, out);
        if (rc == 0) rc = closeRc;
        if (rc) return rc;
        target->size = at;
    }
    return 0;
}

namespace {

struct Delivery {
    CodecRowWriter* out;
    int depth, channels;
    int64_t width;
    std::vector<uint8_t> tmp;
    int rc = 0;
};

void DeliverRow(void* context, int y, const uint8_t* row)
{
    auto* d = static_cast<Delivery*>(context);
    if (d->rc) return;
    CodecRowWriter& out = *d->out;
    const int64_t w = std::min(d->width, out.Width());
    if (out.BitmapLayout()) {
        if (d->channels == 3) {
            ipiRgbToBgr(row, d->tmp.data(), w);
            d->rc = out.PutBitmapRow(y, d->tmp.data(), 3 * w);
        } else if (d->channels == 4) {  // blue, green, red; the alpha sample is dropped
            const int c = d->channels;
            for (int64_t x = 0; x < w; ++x) {
                d->tmp[size_t(3 * x)] = row[c * x + 2];
                d->tmp[size_t(3 * x + 1)] = row[c * x + 1];
                d->tmp[size_t(3 * x + 2)] = row[c * x];
            }
            d->rc = out.PutBitmapRow(y, d->tmp.data(), 3 * w);
        } else if (d->depth < 8 && (w * d->depth) % 8) {
            // The padding bits of the row's last byte are cleared.
            const int64_t n = PngRowBytes(w, d->depth, 1);
            std::copy(row, row + n, d->tmp.begin());
            d->tmp[size_t(n - 1)] &= uint8_t(0xFF00 >> ((w * d->depth) % 8));
            d->rc = out.PutBitmapRow(y, d->tmp.data(), n);
        } else {
            d->rc = out.PutBitmapRow(y, row, PngRowBytes(w, d->depth, 1));
        }
        return;
    }
    if (d->depth == 1) {
        d->rc = out.PutBitRow(y, row, w);
    } else if (d->depth == 4) {
        for (int64_t x = 0; x < w; ++x) d->tmp[size_t(x)] = (x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4;
        d->rc = out.PutBandRow(0, y, d->tmp.data(), w);
    } else if (d->channels == 1) {
        d->rc = out.PutBandRow(0, y, row, w);
    } else {
        for (int c = 0; d->rc == 0 && c < d->channels; ++c) {
            for (int64_t x = 0; x < w; ++x) d->tmp[size_t(x)] = row[x * d->channels + c];
            d->rc = out.PutBandRow(c, y, d->tmp.data(), w);
        }
    }
}

}  // namespace

int PngDecodePixels(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    const int64_t colourType = source->fileFormat == ipiFormatPng ? ipiGetObjectAttribute(env, source, "colourType") : 0;
    const bool interlaced =
        source->fileFormat == ipiFormatPng && ipiGetObjectAttribute(env, source, "interlacedImage") != 0;
    const bool progressive = env->progressive != 0;
    if (progressive && (env->interlacePass < 1 || env->interlacePass > 7)) return ipiReportError(env, ipiErrOutOfRange);
    PngShape s;
    s.width = int(std::min<int64_t>(source->dim[0], kIpiMaxDimension));
    s.height = int(std::min<int64_t>(source->dim[1], kIpiMaxDimension));
    s.bitDepth = int(source->dataPrecision);
    s.channels = int(source->dim[4]);
    s.interlaced = interlaced;
    (void)colourType;
    // Supported pairs of source and destination.
    const bool bits = s.bitDepth == 1 && s.channels == 1;
    const bool ok = (bits && source->dataType == ipiTypeBoolean && destination->dataType == ipiTypeBoolean &&
                     source->bitOrder == destination->bitOrder) ||
                    (!bits && (s.bitDepth == 4 || s.bitDepth == 8) && destination->dataType == ipiTypeNonNegative &&
                     (s.channels == 1 || (s.bitDepth == 8 && (s.channels == 3 || s.channels == 4))));
    if (!ok || (s.bitDepth == 4 && s.channels != 1))
        return ipiReportError(env, ipiErrMismatchDataType);

    CodecSourceBytes z;
    if (int rc = z.Open(env, source, source->size > 0 ? source->size : -1)) return rc;
    CodecRowWriter out(env, destination);
    if (int rc = out.Open()) return rc;
    Delivery d{&out, s.bitDepth, s.channels, s.width, std::vector<uint8_t>(size_t(s.width) * 4 + 8)};
    int rc = PngDecodeRows(z.data(), z.size(), s, progressive, env->interlacePass, DeliverRow, &d);
    if (rc == 0) rc = d.rc;
    const int closeRc = out.Close();
    if (rc) return rc == d.rc ? rc : ipiReportError(env, rc);
    return closeRc;
}
