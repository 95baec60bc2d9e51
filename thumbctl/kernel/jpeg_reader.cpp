// JPEG file reader and codec entry over kernel objects.
#include "thumbctl/kernel/jpeg_reader.h"

#include "thumbctl/kernel/codec_io.h"
#include "thumbctl/kernel/ipi_env.h"
#include "thumbctl/kernel/ipi_object.h"
#include "thumbctl/kernel/ipi_store.h"
#include "thumbctl/kernel/jpeg_codec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace {

const char* const kQuantNames[2] = {"luminanceQuantizationTable", "chrominanceQuantizationTable"};
const char* const kBitsNames[4] = {"luminanceDCBITS", "luminanceACBITS", "chrominanceDCBITS", "chrominanceACBITS"};
const char* const kValsNames[4] = {"luminanceDCHUFFVAL", "luminanceACHUFFVAL", "chrominanceDCHUFFVAL",
                                   "chrominanceACHUFFVAL"};

void PutTables(IPIENVIRONMENT* env, IPIOBJECT* o, const JpegTables& t, int bands)
{
    for (int s = 0; s < 4; ++s) {
        if (!t.hasHuff[s]) continue;
        uint8_t vals[256] = {};
        std::memcpy(vals, t.vals[s], (s & 1) ? 256 : 16);
        ipiSetAttribute(env, o, kBitsNames[s], reinterpret_cast<IPIVALUE>(t.bits[s]));
        ipiSetAttribute(env, o, kValsNames[s], reinterpret_cast<IPIVALUE>(vals));
    }
    if (t.hasQuant[0]) ipiSetAttribute(env, o, kQuantNames[0], reinterpret_cast<IPIVALUE>(t.quant[0]));
    if (t.hasQuant[1]) ipiSetAttribute(env, o, kQuantNames[1], reinterpret_cast<IPIVALUE>(t.quant[1]));
    else if (bands >= 3 && t.hasQuant[0]) ipiSetAttribute(env, o, kQuantNames[1], reinterpret_cast<IPIVALUE>(t.quant[0]));
    ipiSetAttribute(env, o, "restartInterval", t.restartInterval);
}

JpegTables GetTables(IPIENVIRONMENT* env, IPIOBJECT* o)
{
    JpegTables t;
    for (int q = 0; q < 2; ++q) {
        auto* p = reinterpret_cast<const uint8_t*>(ipiGetObjectAttribute(env, o, kQuantNames[q]));
        if (p) {
            std::memcpy(t.quant[q], p, 64);
            t.hasQuant[q] = true;
        }
    }
    for (int s = 0; s < 4; ++s) {
        auto* b = reinterpret_cast<const uint8_t*>(ipiGetObjectAttribute(env, o, kBitsNames[s]));
        auto* v = reinterpret_cast<const uint8_t*>(ipiGetObjectAttribute(env, o, kValsNames[s]));
        if (b && v) {
            std::memcpy(t.bits[s], b, 16);
            int n = 0;
            for (int i = 0; i < 16; ++i) n += b[i];
            std::memcpy(t.vals[s], v, size_t(std::min(n, (s & 1) ? 256 : 16)));
            t.hasHuff[s] = true;
        }
    }
    t.restartInterval = int(ipiGetObjectAttribute(env, o, "restartInterval"));
    return t;
}

}  // namespace

int JpegReadFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    CodecSourceBytes bytes;
    if (int rc = bytes.Open(env, source, -1)) return rc;
    JpegStreamInfo info;
    if (int rc = JpegParseStream(bytes.data(), bytes.size(), &info)) return ipiReportError(env, rc);
    const IPICLASS* cls = source->cls;
    if (!(cls == &ipiClassGenericImage || (info.components == 1 && cls == &ipiClassMonochromeImage) ||
          (info.components == 3 && cls == &ipiClassColourImage)))
        return ipiReportError(env, ipiErrMismatchObjectClass);

    IPIATTRIBUTE common[] = {{"xDimension", info.width}, {"yDimension", info.height}, {"zDimension", 1},
                             {"tDimension", 1}, {"bDimension", info.components}, {"dataType", ipiTypeNonNegative},
                             {"dataPrecision", 8}, {"bitOrder", ipiOrderMsbFirst},
                             {"compression", ipiCompressionJpeg}, {"size", IPIVALUE(info.scanSize)}};
    ipiSetAttributes(env, source, common, 10);
    if (info.components == 3) ipiSetAttribute(env, source, "colourSpace", 219);

    if (selector == ipiSelectAll || selector == ipiSelectHeader) {
        IPIATTRIBUTE a[] = {{"xDimension", info.width}, {"yDimension", info.height}, {"zDimension", 1},
                            {"tDimension", 1}, {"bDimension", info.components}, {"dataType", ipiTypeNonNegative},
                            {"dataPrecision", 8}, {"size", IPIVALUE(info.scanSize)}, {"bitOrder", ipiOrderMsbFirst},
                            {"byteOrder", ipiOrderMsbFirst}, {"compression", ipiCompressionJpeg},
                            {"colourSpace", 219}, {"samplingFactor", info.sampling}};
        if (int rc = ipiSetAttributes(env, target, a, 13)) return rc;
        PutTables(env, target, info.tables, info.components);
    }
    if (selector == ipiSelectAll || selector == ipiSelectData) {
        if (source->dataType != ipiTypeNonNegative || target->dataType != ipiTypeNonNegative)
            return ipiReportError(env, ipiErrMismatchDataType);
        if (int rc = CodecWriteAll(env, target, bytes.data() + info.scanOffset, int64_t(info.scanSize))) return rc;
    }
    return 0;
}

int JpegDecodeIntoBitmap(IPIENVIRONMENT* env, const uint8_t* data, int64_t size, int scale, uint8_t* pixels,
                         int64_t stride, int64_t width, int64_t height)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    JpegStreamInfo info;
    if (int rc = JpegParseStream(data, size_t(size), &info)) return ipiReportError(env, rc);
    if (JpegScaledLength(info.width, scale) != width || JpegScaledLength(info.height, scale) != height)
        return ipiReportError(env, ipiErrNonPermissibleOption);
    const int bands = info.components;
    if (stride < width * bands) return ipiReportError(env, ipiErrInsufficientSize);
    uint8_t* last = pixels + (height - 1) * stride;
    JpegPlane planes[3];
    for (int b = 0; b < bands; ++b) planes[b] = {last + (bands - 1 - b), bands, -stride};
    const int rc = JpegDecodeScan(data + info.scanOffset, info.scanSize, info.tables, info.width, info.height, bands,
                                  info.sampling, planes, scale);
    return rc ? ipiReportError(env, rc) : 0;
}

namespace {

int Decode(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination)
{
    if (destination->dataType != ipiTypeNonNegative) return ipiReportError(env, ipiErrMismatchDataType);
    const int64_t W = source->dim[0], H = source->dim[1];
    const int bands = source->dim[4] == 1 ? 1 : 3;
    if (W <= 0 || H <= 0 || W > kIpiMaxDimension || H > kIpiMaxDimension)
        return ipiReportError(env, ipiErrSyntacticalError);
    if (W * H * bands > kIpiMaxBytes) return ipiReportError(env, ipiErrSystem);
    const JpegTables tables = GetTables(env, source);
    CodecSourceBytes scan;
    if (int rc = scan.Open(env, source, source->size > 0 ? source->size : -1)) return rc;

    // A bitmap takes packed rows with the bands in reverse order (BGR), so the
    // decoder writes them that way; otherwise band after band.
    const bool bitmap = destination->pixelInterpretation == ipiBitmapLayout;
    // A bitmap in caller memory of exactly this picture's rows takes the
    // pixels straight from the decoder, bottom row first.
    const int64_t stride = (W * bands + 3) / 4 * 4;
    if (bitmap && destination->repository == ipiRepositoryApplication && destination->applicationAddressSpace &&
        destination->dim[0] == W && destination->dim[1] == H && destination->size >= stride * H) {
        auto* last = reinterpret_cast<uint8_t*>(destination->applicationAddressSpace) + (H - 1) * stride;
        JpegPlane direct[3];
        for (int b = 0; b < bands; ++b) direct[b] = {last + (bands - 1 - b), bands, -stride};
        const int rc = JpegDecodeScan(scan.data(), scan.size(), tables, int(W), int(H), bands,
                                      int(source->samplingFactor), direct);
        if (rc) return ipiReportError(env, rc);
        destination->flags |= ipiFlagInited;
        return 0;
    }
    // The decoder stores every pixel, so the buffer is not cleared first.
    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[size_t(W * H * bands)]);
    if (!pixels) return ipiReportError(env, ipiErrSystem);
    JpegPlane planes[3];
    for (int b = 0; b < bands; ++b) {
        if (bitmap)
            planes[b] = {pixels.get() + (bands - 1 - b), bands, W * bands};
        else
            planes[b] = {pixels.get() + b * W * H, 1, W};
    }
    int rc = JpegDecodeScan(scan.data(), scan.size(), tables, int(W), int(H), bands, int(source->samplingFactor),
                            planes);
    if (rc) return ipiReportError(env, rc);

    CodecRowWriter out(env, destination);
    if ((rc = out.Open())) return rc;
    const int64_t w = std::min(W, out.Width()), h = std::min(H, out.Height());
    if (bitmap) {
        for (int64_t y = 0; rc == 0 && y < h; ++y) rc = out.PutBitmapRow(y, &pixels[size_t(y * W * bands)], w * bands);
    } else {
        for (int b = 0; rc == 0 && b < bands; ++b)
            for (int64_t y = 0; rc == 0 && y < h; ++y) rc = out.PutBandRow(b, y, &pixels[size_t(b * W * H + y * W)], w);
    }
    const int closeRc = out.Close();
    return rc ? rc : closeRc;
}

int Encode(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination)
{
    if (source->dataType != ipiTypeNonNegative || source->dataPrecision != 8)
        return ipiReportError(env, ipiErrMismatchDataType);
    const int64_t W = source->dim[0], H = source->dim[1];
    const int bands = destination->dim[4] == 1 ? 1 : 3;
    if (W <= 0 || H <= 0 || W > kIpiMaxDimension || H > kIpiMaxDimension || source->dim[4] < bands)
        return ipiReportError(env, ipiErrSyntacticalError);
    std::vector<uint8_t> pixels;
    if (int rc = CodecReadAll(env, source, W * H * bands, &pixels)) return rc;
    if (int64_t(pixels.size()) < W * H * bands) return ipiReportError(env, ipiErrInsufficientSize);
    JpegConstPlane planes[3];
    for (int b = 0; b < bands; ++b) planes[b] = {pixels.data() + b * W * H, 1, W};
    JpegTables tables;
    std::vector<uint8_t> scan;
    int rc = JpegEncodeScan(planes, int(W), int(H), bands, int(destination->samplingFactor),
                            int(destination->scaleFactor), int(ipiGetObjectAttribute(env, destination, "restartInterval")),
                            &tables, &scan);
    if (rc) return ipiReportError(env, rc);
    PutTables(env, destination, tables, bands);
    return CodecWriteAll(env, destination, scan.data(), int64_t(scan.size()));
}

}  // namespace

int JpegCodec(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination, int direction)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, source) || !ipiIsValidObject(env, destination)) return ipiErrInvalidInstance;
    if (direction != ipiDirectionCompress && direction != ipiDirectionDecompress)
        return ipiReportError(env, ipiErrOutOfRange);
    IPIOBJECT* compressed = direction == ipiDirectionCompress ? destination : source;
    if (compressed->fileFormat != ipiFormatJpeg) return ipiReportError(env, ipiErrNonPermissibleOption);
    int w, h;
    if (!JpegMcuSize(compressed->dim[4] == 1 ? 1 : 3, int(compressed->samplingFactor), &w, &h))
        return ipiReportError(env, ipiErrNonPermissibleOption);
    return direction == ipiDirectionCompress ? Encode(env, source, destination) : Decode(env, source, destination);
}

int JpegDecompress(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination)
{
    return JpegCodec(env, source, destination, ipiDirectionDecompress);
}
