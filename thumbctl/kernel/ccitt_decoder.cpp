// Facsimile strips of a kernel object into a one-bit image object.
#include "thumbctl/kernel/ccitt_decoder.h"

#include <algorithm>
#include <vector>

#include "thumbctl/kernel/ccitt.h"
#include "thumbctl/kernel/ipi.h"

int CcittDecode(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target) {
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, source) || !ipiIsValidObject(env, target)) return ipiGetError(env);
    const int coding = int(source->compression);
    if (!ccitt::IsCcittCoding(coding)) return ipiReportError(env, ipiErrNonPermissibleOption);

    // Where the strips lie: a TIFF source holds them back to back, as its strip
    // table counts them; any other source is one strip of `size` bytes.
    const int64_t format = source->fileFormat;
    int64_t strips = 0, rowsPerStrip = 0;
    const uint32_t* counts = nullptr;
    bool lsbFirst = false;
    if (format == ipiFormatTiff) {
        strips = ipiGetObjectAttribute(env, source, "stripsPerImage");
        if (strips < 0) return ipiReportError(env, ipiErrNonPermissibleOption);
        if (strips >= 1) {
            rowsPerStrip = ipiGetObjectAttribute(env, source, "rowsPerStrip");
            counts = reinterpret_cast<const uint32_t*>(ipiGetObjectAttribute(env, source, "stripByteCounts"));
            if (rowsPerStrip <= 0 || !counts) return ipiReportError(env, ipiErrNonPermissibleOption);
        }
        lsbFirst = source->bitOrder == ipiOrderLsbFirst;
    } else if (format == ipiFormatNone || format == ipiFormatCgmContainer) {
        if (coding == ccitt::kModifiedHuffman) return ipiReportError(env, ipiErrNonPermissibleOption);
    } else {
        return ipiReportError(env, ipiErrNonPermissibleOption);
    }
    if (source->dataType != ipiTypeBoolean || target->dataType != ipiTypeBoolean)
        return ipiReportError(env, ipiErrMismatchDataType);

    const int64_t width = source->dim[0];
    const int64_t rows = std::min(source->dim[1], target->dim[1]);
    const int64_t planeBytes = ipiObjectDataSize(env, target);
    if (width < 1 || rows < 1 || target->dim[0] < 1) return 0;
    if (planeBytes <= 0) return ipiReportError(env, ipiErrSystem);

    IpiAccessorPair io(env, source, target);
    if (!io) return ipiGetError(env);
    IPIACCESSOR *in = io.in, *out = io.out;
    int rc = 0;
    std::vector<uint8_t> plane;
    try {
        plane.assign(size_t(planeBytes), 0);
    } catch (...) {
        rc = ipiReportError(env, ipiErrSystem);
    }
    if (rc == 0 && ipiIsInited(target)) {
        ipiReadFileAtMost(env, out, 0, plane.data(), planeBytes);
        if (target->bitOrder == ipiOrderLsbFirst)
            for (uint8_t& b : plane) {
                uint8_t r = 0;
                for (int i = 0; i < 8; ++i)
                    if (b & (1 << i)) r |= uint8_t(0x80 >> i);
                b = r;
            }
    }
    ccitt::BitPlane bits;
    bits.data = plane.data();
    bits.sizeBytes = plane.size();
    bits.rowBits = uint64_t(target->dim[0]);
    bits.rows = target->dim[1];
    bits.bottomUp = target->pixelInterpretation == ipiBitmapLayout || source->pixelInterpretation == ipiBitmapLayout;

    // Strip by strip, each from its own offset with a fresh bit buffer.
    const int64_t available = ipiStoreSize(in);
    const int64_t stripCount = strips >= 1 ? strips : 1;
    const int64_t perStrip = strips >= 1 ? rowsPerStrip : rows;
    int64_t offset = 0;
    std::vector<uint8_t> data;
    for (int64_t s = 0; rc == 0 && s < stripCount; ++s) {
        const int64_t firstRow = s * perStrip;
        if (firstRow >= rows) break;
        int64_t bytes = strips >= 1 ? int64_t(counts[s]) : available;
        bytes = std::max<int64_t>(0, std::min(bytes, available - offset));
        try {
            data.resize(size_t(bytes));
        } catch (...) {
            rc = ipiReportError(env, ipiErrSystem);
            break;
        }
        if (bytes > 0 && ipiReadFileAt(env, in, offset, data.data(), bytes) != bytes) {
            rc = ipiGetError(env);
            break;
        }
        ccitt::DecodeStrip(coding, data.data(), data.size(), lsbFirst, width, firstRow,
                           std::min(perStrip, rows - firstRow), bits);
        offset += bytes;
    }
    if (rc == 0) {
        if (target->bitOrder == ipiOrderLsbFirst) target->bitOrder = ipiOrderMsbFirst;
        if (ipiWriteToStore(env, out, 0, plane.data(), planeBytes) != planeBytes) rc = ipiGetError(env);
    }
    const int closeRc = io.Close();
    if (rc == 0) rc = closeRc;
    if (rc == 0) ipiSetAttribute(env, target, "bitOrder", ipiOrderMsbFirst);
    return rc;
}
