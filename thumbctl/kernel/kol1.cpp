// "KOL1" bilevel raster reader.
#include "thumbctl/kernel/kol1.h"

#include "thumbctl/kernel/codec_io.h"
#include "thumbctl/kernel/ipi_env.h"
#include "thumbctl/kernel/ipi_object.h"
#include "thumbctl/kernel/ipi_store.h"

#include <algorithm>
#include <vector>

namespace kol1 {

namespace {
uint32_t Be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
} // namespace

int ParseHeader(const uint8_t* b, size_t n, Header* header)
{
    *header = Header();
    if (n < size_t(kHeaderBytes)) return ipiErrInsufficientSize;
    if (b[0] != 'K' || b[1] != 'O' || b[2] != 'L' || b[3] != '1') return ipiErrSyntacticalError;
    header->dataLength = Be32(b + 4);
    header->rows = uint16_t(Be16(b + 8));
    const uint32_t flags = Be16(b + 10);
    if (flags != 0 && flags != 0x8000) return ipiErrSyntacticalError;
    if (b[20] != 0xC1) return ipiErrSyntacticalError;
    header->colourCode = b[21];
    if (b[22] != 1) return ipiErrSyntacticalError;
    header->columns = uint16_t(Be16(b + 23));
    // Without columns there is no row to hold the data.
    if (header->columns == 0 && header->dataLength != 0) return ipiErrSyntacticalError;
    return 0;
}

void ColourTable(uint8_t code, uint8_t rgb[6])
{
    uint8_t r = 255, g = 255, b = 255;
    if (code == 0xF1) g = b = 0;
    else if (code == 0xF2) r = g = 0;
    else if (code == 0xF4) r = b = 0;
    rgb[0] = r, rgb[1] = g, rgb[2] = b;
    rgb[3] = rgb[4] = rgb[5] = 0;
}

} // namespace kol1

namespace {

int ReadKol1(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector)
{
    if (source->cls != &ipiClassGenericImage && source->cls != &ipiClassMonochromeImage)
        return ipiReportError(env, ipiErrMismatchObjectClass);
    if (!ipiIsImageClass(target->cls)) return ipiReportError(env, ipiErrMismatchObjectClass);

    IPIACCESSOR* in = ipiOpenAccessor(env, source, "r", 1, nullptr, 0);
    if (!in) return ipiGetError(env);
    uint8_t raw[kol1::kHeaderBytes];
    kol1::Header h;
    int rc = 0;
    if (ipiReadFileAt(env, in, 0, raw, kol1::kHeaderBytes) != kol1::kHeaderBytes) rc = ipiGetError(env);
    else if ((rc = kol1::ParseHeader(raw, sizeof raw, &h)) != 0) ipiReportError(env, rc);
    const int64_t available = ipiStoreSize(in);
    ipiCloseAccessor(env, in);
    if (rc) return rc;

    IPIATTRIBUTE dims[] = {{"xDimension", h.columns}, {"yDimension", h.rows}, {"zDimension", 1},
                           {"tDimension", 1}, {"bDimension", 1}};
    if ((rc = ipiSetAttributes(env, source, dims, 5)) != 0) return rc;
    IPIATTRIBUTE kind[] = {{"dataType", ipiTypeBoolean}, {"dataPrecision", 1}, {"bitOrder", ipiOrderMsbFirst}};
    if ((rc = ipiSetAttributes(env, source, kind, 3)) != 0) return rc;
    ipiSetAttribute(env, source, "inited", 0);
    ipiSetAttribute(env, target, "inited", 0);

    if (selector == ipiSelectAll || selector == ipiSelectHeader) {
        IPIATTRIBUTE a[] = {{"xDimension", h.columns}, {"yDimension", h.rows}, {"zDimension", 1},
                            {"tDimension", 1}, {"bDimension", 1}, {"dataType", source->dataType},
                            {"dataPrecision", 1}, {"bitOrder", ipiOrderMsbFirst},
                            {"byteOrder", ipiOrderMsbFirst}, {"compression", ipiCompressionBilevelRun},
                            {"size", IPIVALUE(h.dataLength)}};
        if ((rc = ipiSetAttributes(env, target, a, 11)) != 0) return rc;
        IPIVALUE lutValue = 0;
        IPIATTRIBUTE get[] = {{"lut", reinterpret_cast<IPIVALUE>(&lutValue)}};
        ipiGetAttributes(env, target, get, 1);
        auto* lut = reinterpret_cast<IPIOBJECT*>(lutValue);
        if (lut && ipiIsValidObject(env, lut)) {
            uint8_t rgb[6];
            kol1::ColourTable(h.colourCode, rgb);
            if ((rc = CodecWritePalette(env, lut, 2, rgb, 2)) != 0) return rc;
        }
    }

    if (selector == ipiSelectAll || selector == ipiSelectData) {
        if (source->dataType != ipiTypeBoolean || target->dataType != ipiTypeBoolean)
            return ipiReportError(env, ipiErrMismatchDataType);
        const int64_t length = h.dataLength;
        if (length > available - kol1::kHeaderBytes) return ipiReportError(env, ipiErrInsufficientSize);
        IpiAccessorPair io(env, source, target);
        if (!io) return ipiGetError(env);
        std::vector<uint8_t> piece;
        const int64_t pieceBytes = std::min<int64_t>(std::max<int64_t>(h.columns, 32768), std::max<int64_t>(length, 1));
        try {
            piece.resize(size_t(pieceBytes));
        } catch (...) {
            rc = ipiReportError(env, ipiErrSystem);
        }
        for (int64_t done = 0; rc == 0 && done < length;) {
            const int64_t n = std::min(pieceBytes, length - done);
            if (ipiReadFileAt(env, io.in, kol1::kHeaderBytes + done, piece.data(), n) != n ||
                ipiWriteToStore(env, io.out, done, piece.data(), n) != n)
                rc = ipiGetError(env);
            done += n;
        }
        const int closeRc = io.Close();
        if (rc == 0) rc = closeRc;
        if (rc == 0) target->size = length;
    }
    return rc;
}

} // namespace

int Kol1ReadFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, source) || !ipiIsValidObject(env, target)) return ipiGetError(env);
    const int rc = ReadKol1(env, source, target, selector);
    // Both objects are marked inited on every way out.
    if (!ipiIsInited(source)) source->flags |= ipiFlagInited;
    if (!ipiIsInited(target)) target->flags |= ipiFlagInited;
    return rc;
}
