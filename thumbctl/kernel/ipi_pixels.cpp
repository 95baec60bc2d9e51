// Pixel copy between objects: match points, clipping and regions.
#include "thumbctl/kernel/ipi_env.h"
#include "thumbctl/kernel/ipi_import.h"
#include "thumbctl/kernel/ipi_object.h"
#include "thumbctl/kernel/ipi_store.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

int64_t Index(const int64_t* dim, int64_t b, int64_t t, int64_t z, int64_t y)
{
    return (((b * dim[3] + t) * dim[2] + z) * dim[1] + y) * dim[0];
}

bool RegionByte(IPIENVIRONMENT* env, IPIACCESSOR* a, int64_t index)
{
    if (!a->useRoi) return true;
    uint8_t v = 0;
    return ipiReadFileAtMost(env, a->roiStore, index, &v, 1) == 1 && v != 0;
}

int Convert(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination, bool plain)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, source) || !ipiIsValidObject(env, destination)) return ipiErrInvalidInstance;
    const int64_t st = source->dataType, dt = destination->dataType;
    if (st != ipiTypeBoolean && st != ipiTypeNonNegative && st != ipiTypeIdentifier)
        return ipiReportError(env, ipiErrMismatchDataType);
    if ((st == ipiTypeNonNegative && dt != ipiTypeNonNegative) || (st == ipiTypeIdentifier && dt != ipiTypeIdentifier) ||
        (st == ipiTypeBoolean && dt != ipiTypeBoolean && dt != ipiTypeNonNegative))
        return ipiReportError(env, ipiErrMismatchDataType);
    IPIATTRIBUTE opts[] = {{"matchPointState", 1}, {"roiState", 1}};
    const int nopts = plain ? 0 : 2;
    IpiAccessorPair io(env, source, destination, opts, nopts);
    if (!io) return ipiGetError(env);
    IPIACCESSOR *in = io.in, *out = io.out;
    int64_t lo[5], hi[5], d[5];
    bool empty = false;
    for (int i = 0; i < 5; ++i) {
        d[i] = out->matchPoint[i] - in->matchPoint[i];
        lo[i] = std::max<int64_t>(d[i], 0);
        hi[i] = std::min<int64_t>(out->dim[i] - 1, in->dim[i] + d[i] - 1);
        if (hi[i] < lo[i]) empty = true;
    }
    int rc = 0;
    const int64_t bytesPer = st == ipiTypeIdentifier ? 4 : (in->precision + 7) / 8;
    std::vector<uint8_t> src;
    for (int64_t b = lo[4]; !empty && rc == 0 && b <= hi[4]; ++b)
        for (int64_t t = lo[3]; rc == 0 && t <= hi[3]; ++t)
            for (int64_t z = lo[2]; rc == 0 && z <= hi[2]; ++z)
                for (int64_t y = lo[1]; rc == 0 && y <= hi[1]; ++y) {
                    int64_t si = Index(in->dim, b - d[4], t - d[3], z - d[2], y - d[1]);
                    int64_t di = Index(out->dim, b, t, z, y);
                    const uint8_t* s = ipiReadAt(env, in, si);
                    if (!s) {
                        rc = ipiGetError(env);
                        break;
                    }
                    int64_t srcBits0 = st == ipiTypeBoolean ? si % 8 : 0;
                    int64_t need = st == ipiTypeBoolean ? (srcBits0 + in->dim[0] + 7) / 8 : in->dim[0] * bytesPer;
                    src.assign(s, s + std::min<int64_t>(need, in->store->stride));
                    src.resize(size_t(need), 0);
                    uint8_t* o = ipiReadAtOffset(env, out, di);
                    if (!o) {
                        rc = ipiGetError(env);
                        break;
                    }
                    int64_t dstBits0 = dt == ipiTypeBoolean ? di % 8 : 0;
                    for (int64_t x = lo[0]; x <= hi[0]; ++x) {
                        int64_t sx = x - d[0];
                        if (in->useRoi && !RegionByte(env, in, si + sx)) continue;
                        if (out->useRoi && !RegionByte(env, out, di + x)) continue;
                        if (st == ipiTypeBoolean) {
                            int64_t sb = srcBits0 + sx;
                            bool set = src[size_t(sb / 8)] & in->setMask[sb % 8];
                            if (dt == ipiTypeBoolean) {
                                int64_t db = dstBits0 + x;
                                if (set) o[size_t(db / 8)] |= out->setMask[db % 8];
                                else o[size_t(db / 8)] &= out->clearMask[db % 8];
                            } else {
                                o[size_t(x * ((out->precision + 7) / 8))] = set ? 255 : 0;
                            }
                        } else {
                            std::memcpy(o + x * bytesPer, &src[size_t(sx * bytesPer)], size_t(bytesPer));
                        }
                    }
                    if (ipiWriteAt(env, out, di)) rc = ipiGetError(env);
                }
    const int closeRc = io.Close();
    if (rc == 0) rc = closeRc;
    return rc;
}

} // namespace

int ipiConvertPixels(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination)
{
    return Convert(env, source, destination, false);
}

int ipiCopyImageData(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* destination)
{
    return Convert(env, source, destination, true);
}

int ipiImportFromMemory(IPIENVIRONMENT* env, const void* memory, IPIOBJECT* target, const IPIATTRIBUTE* attributes,
                        int count)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, target)) return ipiErrInvalidInstance;
    if (!memory) return ipiReportError(env, ipiErrNonPermissibleOption);
    std::vector<IPIATTRIBUTE> list;
    for (int i = 0; attributes && i < count; ++i) list.push_back(attributes[i]);
    list.push_back({"repository", ipiRepositoryApplication});
    list.push_back({"applicationAddressSpace", reinterpret_cast<IPIVALUE>(memory)});
    IPIOBJECT* src = ipiCreateObject(env, "oMemory", target->cls, target, list.data(), int(list.size()));
    if (!src) return ipiGetError(env);
    src->applicationAddressSpace = reinterpret_cast<IPIVALUE>(memory);
    src->flags |= ipiFlagInited;
    int rc = ipiConvertPixels(env, src, target);
    ipiDestroyObject(env, src);
    return rc;
}
