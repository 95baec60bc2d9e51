// Facsimile strips of a kernel object into a one-bit image object.
#include "thumbctl/kernel/ccitt_decoder.h"

#include <algorithm>
#include <vector>

#include "thumbctl/kernel/bitrun.h"
#include "thumbctl/kernel/ccitt.h"
#include "thumbctl/kernel/ipi.h"

namespace {

// Where the strips lie: a TIFF source holds them back to back, as its strip
// table counts them; any other source is one strip of all its bytes.
struct Strips {
    int64_t count = 0;         // 0: one strip of all the bytes
    int64_t rowsPerStrip = 0;
    const uint32_t* byteCounts = nullptr;
    bool lsbFirst = false;
};

// The strip table of `source`; 0 or the error reported.
int StripsOf(IPIENVIRONMENT* env, IPIOBJECT* source, int coding, Strips* strips)
{
    const int64_t format = source->fileFormat;
    if (format == ipiFormatTiff) {
        strips->count = ipiGetObjectAttribute(env, source, "stripsPerImage");
        if (strips->count < 0) return ipiReportError(env, ipiErrNonPermissibleOption);
        if (strips->count >= 1) {
            strips->rowsPerStrip = ipiGetObjectAttribute(env, source, "rowsPerStrip");
            strips->byteCounts =
                reinterpret_cast<const uint32_t*>(ipiGetObjectAttribute(env, source, "stripByteCounts"));
            if (strips->rowsPerStrip <= 0 || !strips->byteCounts)
                return ipiReportError(env, ipiErrNonPermissibleOption);
        }
        strips->lsbFirst = source->bitOrder == ipiOrderLsbFirst;
        return 0;
    }
    if (format == ipiFormatNone || format == ipiFormatCgmContainer) {
        if (coding == ccitt::kModifiedHuffman) return ipiReportError(env, ipiErrNonPermissibleOption);
        return 0;
    }
    return ipiReportError(env, ipiErrNonPermissibleOption);
}

// Decodes strip after strip, each from its own offset with a fresh bit
// buffer, every row straight into the target's packed bits (in the target's
// bit order; bottom-up in bitmap layout). Rows an end of page leaves keep
// the target's contents; bytes that run out before the rows are whole are
// error 22.
int DecodeStrips(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, IPIACCESSOR* in, IPIACCESSOR* out,
                 int coding, const Strips& strips)
{
    const int64_t width = source->dim[0];
    const int64_t rows = std::min(source->dim[1], target->dim[1]);
    const int64_t X = target->dim[0], Y = target->dim[1];
    const bool bottomUp =
        target->pixelInterpretation == ipiBitmapLayout || source->pixelInterpretation == ipiBitmapLayout;
    const int64_t available = ipiStoreSize(in);
    const int64_t stripCount = strips.count >= 1 ? strips.count : 1;
    const int64_t perStrip = strips.count >= 1 ? strips.rowsPerStrip : rows;
    int64_t offset = 0;
    std::vector<uint8_t> data;
    for (int64_t s = 0; s < stripCount; ++s) {
        const int64_t firstRow = s * perStrip;
        if (firstRow >= rows) break;
        const int64_t stated = strips.count >= 1 ? int64_t(strips.byteCounts[s]) : available;
        const int64_t bytes = std::max<int64_t>(0, std::min(stated, available - offset));
        data.resize(size_t(bytes));
        if (bytes > 0 && ipiReadFileAt(env, in, offset, data.data(), bytes) != bytes) return ipiGetError(env);
        offset += bytes;
        int rc = 0;
        ccitt::StripResult result;
        ccitt::DecodeStripRows(coding, data.data(), data.size(), strips.lsbFirst, width,
                               std::min(perStrip, rows - firstRow),
                               [&](int64_t row, const uint8_t* bits) {
                                   const int64_t y = firstRow + row;
                                   if (rc == 0) rc = ipiPutBitRow(env, out, (bottomUp ? Y - 1 - y : y) * X, bits,
                                                                  std::min(width, X));
                               },
                               &result);
        if (rc) return rc;
        if (result.dataExhausted) return ipiReportError(env, ipiErrSyntacticalError);
    }
    return 0;
}

} // namespace

int CcittDecode(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, source) || !ipiIsValidObject(env, target)) return ipiGetError(env);
    const int coding = int(source->compression);
    if (!ccitt::IsCcittCoding(coding)) return ipiReportError(env, ipiErrNonPermissibleOption);
    Strips strips;
    if (int rc = StripsOf(env, source, coding, &strips)) return rc;
    if (source->dataType != ipiTypeBoolean || target->dataType != ipiTypeBoolean)
        return ipiReportError(env, ipiErrMismatchDataType);
    if (source->dim[0] < 1 || std::min(source->dim[1], target->dim[1]) < 1 || target->dim[0] < 1) return 0;
    if (ipiObjectDataSize(env, target) <= 0) return ipiReportError(env, ipiErrSystem);

    IpiAccessorPair io(env, source, target);
    if (!io) return ipiGetError(env);
    const int rc = DecodeStrips(env, source, target, io.in, io.out, coding, strips);
    const int closeRc = io.Close();
    return rc ? rc : closeRc;
}
