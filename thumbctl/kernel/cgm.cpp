// Picture container reader: container records, CGM commands, CELL ARRAY raster.
#include "thumbctl/kernel/cgm.h"

#include "thumbctl/kernel/bitrun.h"
#include "thumbctl/kernel/ipi_env.h"
#include "thumbctl/kernel/ipi_extent.h"
#include "thumbctl/kernel/ipi_import.h"
#include "thumbctl/kernel/ipi_object.h"
#include "thumbctl/kernel/ipi_store.h"

#include <algorithm>
#include <vector>

namespace cgm {

int CompressionOfCode(int code, int* k)
{
    *k = 0;
    switch (code) {
    case 242: return ipiCompressionCcittG3;
    case 243: *k = 2; return ipiCompressionCcittG3_2D;
    case 244: *k = 4; return ipiCompressionCcittG3_2D;
    case 245: return ipiCompressionCcittG4;
    case 249: return ipiCompressionNone;
    default: return -1;
    }
}

bool ResolutionOfCode(int code, int* x, int* y, int* unit)
{
    static const struct {
        int code, x, y, unit;
    } kTable[] = {
        {177, 480, 480, 106}, {179, 400, 400, 106}, {192, 160, 160, 106}, {193, 240, 240, 106},
        {194, 180, 180, 106}, {195, 200, 200, 106}, {196, 300, 300, 106}, {208, 80, 80, 106},
        {209, 120, 120, 106}, {240, 8000, 3850, 145}, {241, 8000, 7700, 145}, {242, 6000, 3850, 145},
        {243, 6000, 5780, 145},
    };
    for (const auto& e : kTable)
        if (e.code == code) {
            *x = e.x, *y = e.y, *unit = e.unit;
            return true;
        }
    return false;
}

} // namespace cgm

namespace {

uint32_t Be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

constexpr int64_t kPiece = 32768;

// Bytes of the source at a running position; every read is bounded by the
// data. Errors are reported in `env` when there is one (the extent walk has
// none).
struct Reader {
    IPIENVIRONMENT* env;
    const IpiByteSource& bytes;
    int64_t pos = 0;

    int Read(void* dst, int64_t n)
    {
        if (n < 0 || !bytes.read(uint64_t(pos), dst, uint64_t(n))) return Fail(ipiErrInsufficientSize);
        pos += n;
        return 0;
    }
    int Skip(int64_t n)
    {
        if (n < 0 || n > int64_t(bytes.size) - pos) return Fail(ipiErrInsufficientSize);
        pos += n;
        return 0;
    }
    int Half(uint32_t* v)
    {
        uint8_t b[2];
        if (int rc = Read(b, 2)) return rc;
        *v = Be16(b);
        return 0;
    }
    int Word(uint32_t* v)
    {
        uint8_t b[4];
        if (int rc = Read(b, 4)) return rc;
        *v = Be32(b);
        return 0;
    }
    int Fail(int code) { return env ? ipiReportError(env, code) : code; }
};

// The CGM stream of one picture: one segment (0xF401) or a chain of
// continuation records (0xF501).
struct Stream {
    Reader* r;
    bool continued = false;
    int64_t left = 0;  // bytes left in the segment or the current record

    int Take(int64_t n, uint8_t* dst)
    {
        while (n > 0) {
            if (left == 0) {
                if (!continued) return r->Fail(ipiErrSyntacticalError);  // past the segment
                uint8_t h[4];
                if (int rc = r->Read(h, 4)) return rc;
                if (h[0] != 0xF0 || h[1] != 0x04 || (h[2] & 0x80)) return r->Fail(ipiErrSyntacticalError);
                left = Be16(h + 2);
                continue;
            }
            const int64_t t = std::min(n, left);
            if (int rc = dst ? r->Read(dst, t) : r->Skip(t)) return rc;
            if (dst) dst += t;
            n -= t;
            left -= t;
        }
        return 0;
    }
};

// Parameters of one CGM command, short form or long form in partitions.
struct Params {
    Stream* s;
    int64_t left = 0;
    bool more = false;

    int Begin(uint32_t command)
    {
        const uint32_t length = command & 31;
        if (length != 31) {
            left = length;
            more = false;
            return 0;
        }
        return NextPartition();
    }
    int NextPartition()
    {
        uint8_t b[2];
        if (int rc = s->Take(2, b)) return rc;
        const uint32_t p = Be16(b);
        more = (p & 0x8000) != 0;
        left = p & 0x7FFF;
        return 0;
    }
    // Reads n parameter bytes across partitions; 22 when the parameters end.
    int Read(uint8_t* dst, int64_t n)
    {
        while (n > 0) {
            if (left == 0) {
                if (!more) return s->r->Fail(ipiErrSyntacticalError);
                if (int rc = NextPartition()) return rc;
                continue;
            }
            const int64_t t = std::min(n, left);
            if (int rc = s->Take(t, dst)) return rc;
            dst += t;
            n -= t;
            left -= t;
        }
        return 0;
    }
    // Next piece of what is left (up to `max` bytes); *n = 0 at the end.
    int ReadSome(uint8_t* dst, int64_t max, int64_t* n)
    {
        *n = 0;
        while (left == 0 && more)
            if (int rc = NextPartition()) return rc;
        if (left == 0) return 0;
        const int64_t t = std::min(max, left);
        if (int rc = s->Take(t, dst)) return rc;
        left -= t;
        *n = t;
        return 0;
    }
    int SkipAll(int64_t* counted = nullptr)
    {
        for (;;) {
            if (int rc = s->Take(left, nullptr)) return rc;
            if (counted) *counted += left;
            left = 0;
            if (!more) return 0;
            if (int rc = NextPartition()) return rc;
        }
    }
};

// What the description pass learns of a picture.
struct Picture {
    bool cellArray = false;
    int compression = 0;
    int k = 0;
    int xResolution = 0, yResolution = 0, resolutionUnit = 0;
    uint32_t vdc[4] = {0, 0, 0, 0};
    int64_t width = 0, height = 0;
    int64_t rasterBytes = 0;
};

// The head of a picture's data stream: the flag after 0xF110, the skipped
// 0xF500 record, and the 0xF401 (single) or 0xF501 (continued) stream header.
struct StreamHead {
    uint32_t flag = 0;
    bool continued = false;
    int64_t length = 0;
    int64_t streamStart = 0;
};

int ReadStreamHead(Reader& r, StreamHead* h)
{
    uint32_t v = 0, n = 0;
    if (int rc = r.Half(&v)) return rc;
    if (v != 0xF110) return r.Fail(ipiErrSyntacticalError);
    if (int rc = r.Half(&h->flag)) return rc;
    if (int rc = r.Half(&v)) return rc;
    if (int rc = r.Half(&n)) return rc;
    if (v != 0xF500 || n >= 32768) return r.Fail(ipiErrSyntacticalError);
    if (int rc = r.Skip(n)) return rc;
    if (int rc = r.Half(&v)) return rc;
    if (int rc = r.Half(&n)) return rc;
    if (v == 0xF401) h->continued = false;
    else if (v == 0xF501) h->continued = true;
    else return r.Fail(ipiErrSyntacticalError);
    h->length = n & 0x7FFF;
    h->streamStart = r.pos;
    return 0;
}

// Trailing records of a continued stream and the end word(s).
int FinishPicture(Reader& r, const StreamHead& h)
{
    uint32_t w = 0;
    if (int rc = r.Word(&w)) return rc;
    if (h.continued) {
        while ((w >> 16) != 0xF000 && !(w & 0x8000)) {
            if (int rc = r.Skip(w & 0x7FFF)) return rc;
            if (int rc = r.Word(&w)) return rc;
        }
    }
    if (w != cgm::kEndWord) return r.Fail(ipiErrSyntacticalError);
    if (h.flag == 0x8000) {
        if (int rc = r.Word(&w)) return rc;
        if (w != cgm::kEndWord) return r.Fail(ipiErrSyntacticalError);
    }
    return 0;
}

// Walks a picture whose start word has been read, without its CGM stream.
int SkipPicture(Reader& r)
{
    uint8_t header[24];
    if (int rc = r.Read(header, 24)) return rc;
    if (header[12] != 0xF1) return r.Fail(ipiErrSyntacticalError);
    StreamHead h;
    if (int rc = ReadStreamHead(r, &h)) return rc;
    if (!h.continued)
        if (int rc = r.Skip(h.length)) return rc;
    return FinishPicture(r, h);
}

// Decodes the first 24 parameter bytes of a CELL ARRAY.
int DecodeCellHead(Reader& r, const uint8_t* p, Picture* pic)
{
    // A wrong marker is malformed data like any other.
    if (Be16(p + 16) != cgm::kCellArrayMarker) return r.Fail(ipiErrSyntacticalError);
    pic->compression = cgm::CompressionOfCode(p[18], &pic->k);
    if (pic->compression < 0) return r.Fail(ipiErrSyntacticalError);
    if (!cgm::ResolutionOfCode(p[19], &pic->xResolution, &pic->yResolution, &pic->resolutionUnit))
        return r.Fail(ipiErrSyntacticalError);
    pic->width = Be16(p + 20);
    pic->height = Be16(p + 22);
    if (pic->width == 0 || pic->height == 0) return r.Fail(ipiErrSyntacticalError);
    return 0;
}

// Writes the raster of the CELL ARRAY whose head has been read.
int WriteRaster(Reader& r, Params& prm, const Picture& pic, IPIOBJECT* target, IPIACCESSOR* out)
{
    IPIENVIRONMENT* env = r.env;
    std::vector<uint8_t> buffer;
    if (pic.compression != ipiCompressionNone) {
        buffer.resize(size_t(kPiece));
        int64_t offset = 0;
        for (;;) {
            int64_t n = 0;
            if (int rc = prm.ReadSome(buffer.data(), kPiece, &n)) return rc;
            if (n == 0) break;
            if (ipiWriteToStore(env, out, offset, buffer.data(), n) != n) return ipiGetError(env);
            offset += n;
        }
        return 0;
    }
    const int64_t rowBytes = (pic.width + 7) / 8;
    const int64_t X = target->dim[0], Y = target->dim[1];
    const int64_t columns = std::min(pic.width, X);
    buffer.resize(size_t(rowBytes));
    for (int64_t y = 0; y < pic.height; ++y) {
        if (prm.Read(buffer.data(), rowBytes)) return r.Fail(ipiErrSyntacticalError);  // a short row
        if (y < Y && columns > 0)
            if (int rc = ipiPutBitRow(env, out, y * X, buffer.data(), columns)) return rc;
    }
    return prm.SkipAll();
}

// One pass over the CGM commands up to END METAFILE. The description pass
// fills `pic`; the data pass writes the first CELL ARRAY's raster.
int Pass(Reader& r, Stream& s, Picture* pic, IPIOBJECT* target, IPIACCESSOR* out)
{
    const bool describe = out == nullptr;
    bool cellSeen = false;
    for (;;) {
        uint8_t cw[2];
        if (int rc = s.Take(2, cw)) return rc;
        const uint32_t command = Be16(cw);
        const uint32_t cls = command >> 12, id = (command >> 5) & 0x7F;
        Params prm{&s};
        if (int rc = prm.Begin(command)) return rc;
        bool end = false;
        int rc = 0;
        if (cls == 0 && (id == 1 || id == 3 || id == 4 || id == 5)) {
            rc = prm.SkipAll();
        } else if (cls == 0 && id == 2) {
            rc = prm.SkipAll();
            end = true;
        } else if ((cls == 1 && id == 1) || (cls == 2 && id == 7) || (cls == 5 && id == 34) || (cls == 6 && id == 1)) {
            rc = prm.SkipAll();
        } else if (cls == 2 && id == 6) {
            if (describe) {
                uint8_t v[8];
                rc = prm.Read(v, 8);
                for (int i = 0; rc == 0 && i < 4; ++i) pic->vdc[i] = Be16(v + 2 * i);
            }
            if (rc == 0) rc = prm.SkipAll();
        } else if (cls == 4 && id == 10) {
            if (cellSeen) {
                rc = prm.SkipAll();  // one raster a picture: the first
            } else {
                cellSeen = true;
                uint8_t head[24];
                rc = prm.Read(head, 24);
                if (rc == 0 && describe) {
                    rc = DecodeCellHead(r, head, pic);
                    pic->rasterBytes = 0;
                    if (rc == 0) rc = prm.SkipAll(&pic->rasterBytes);
                    pic->cellArray = rc == 0;
                } else if (rc == 0) {
                    rc = WriteRaster(r, prm, *pic, target, out);
                }
            }
        } else {
            rc = r.Fail(ipiErrSyntacticalError);
        }
        if (rc) return rc;
        if (end) break;
    }
    if (describe && !pic->cellArray) return r.Fail(ipiErrSyntacticalError);  // no raster
    return 0;
}

// Starts the stream after the 24 header bytes and runs one pass; leaves the
// reader where the picture's trailing part begins.
int RunPass(Reader& r, int64_t afterHeader, StreamHead* h, Picture* pic, IPIOBJECT* target, IPIACCESSOR* out)
{
    r.pos = afterHeader;
    *h = StreamHead();
    if (int rc = ReadStreamHead(r, h)) return rc;
    Stream s{&r, h->continued, h->continued ? 0 : h->length};
    if (int rc = Pass(r, s, pic, target, out)) return rc;
    if (h->continued) return r.Skip(s.left);  // the rest of the last record
    r.pos = h->streamStart;
    return r.Skip(h->length);
}

// Reads one picture (its start word already read) into `target`.
int ReadPicture(Reader& r, IPIOBJECT* source, IPIOBJECT* target, bool header, bool data)
{
    IPIENVIRONMENT* env = r.env;
    uint8_t head[24];
    if (int rc = r.Read(head, 24)) return rc;
    if (head[12] != 0xF1) return r.Fail(ipiErrSyntacticalError);
    const int64_t afterHeader = r.pos;

    StreamHead h;
    Picture pic;
    if (int rc = RunPass(r, afterHeader, &h, &pic, nullptr, nullptr)) return rc;
    int64_t end = r.pos;
    IPIATTRIBUTE sa[] = {{"xDimension", pic.width}, {"yDimension", pic.height}, {"zDimension", 1},
                         {"tDimension", 1}, {"bDimension", 1}, {"dataType", ipiTypeBoolean},
                         {"bitOrder", ipiOrderMsbFirst}};
    if (int rc = ipiSetAttributes(env, source, sa, 7)) return rc;

    if (header) {
        IPIATTRIBUTE ta[] = {{"xDimension", pic.width}, {"yDimension", pic.height}, {"zDimension", 1},
                             {"tDimension", 1}, {"bDimension", 1}, {"dataType", source->dataType},
                             {"bitOrder", source->bitOrder}, {"compression", pic.compression},
                             {"xResolution", pic.xResolution}, {"yResolution", pic.yResolution},
                             {"resolutionUnit", pic.resolutionUnit}, {"xVDC1stCorner", pic.vdc[0]},
                             {"yVDC1stCorner", pic.vdc[1]}, {"xVDC2ndCorner", pic.vdc[2]},
                             {"yVDC2ndCorner", pic.vdc[3]}, {"eolState", 0}};
        if (int rc = ipiSetAttributes(env, target, ta, 16)) return rc;
        if (pic.compression != ipiCompressionNone)
            if (int rc = ipiSetAttribute(env, target, "size", pic.rasterBytes)) return rc;
    }
    if (data) {
        if (target->dataType != ipiTypeBoolean) return r.Fail(ipiErrMismatchDataType);
        IPIACCESSOR* out = ipiOpenAccessor(env, target, "w", 1, nullptr, 0);
        if (!out) return ipiGetError(env);
        int rc = RunPass(r, afterHeader, &h, &pic, target, out);
        const int closeRc = ipiCloseAccessor(env, out);
        if (rc) return rc;
        if (closeRc) return closeRc;
        if (pic.compression != ipiCompressionNone) target->size = pic.rasterBytes;
        end = r.pos;
    }
    r.pos = end;
    return FinishPicture(r, h);
}

int ReadContainerStart(Reader& r)
{
    uint8_t b[4];
    if (int rc = r.Read(b, 4)) return rc;
    if (b[0] < 0xF0 || b[0] > 0xF9 || b[1] < 0xF0 || b[1] > 0xF9 || b[2] != 0x23)
        return r.Fail(ipiErrSyntacticalError);
    r.pos = int64_t((b[0] - 0xF0) * 10 + (b[1] - 0xF0)) * 256;
    uint32_t w = 0;
    if (int rc = r.Word(&w)) return rc;
    if (w != cgm::kStartWord) return r.Fail(ipiErrSyntacticalError);
    return 0;
}

int ReadContainer(IPIENVIRONMENT* env, IPIACCESSOR* in, IPIOBJECT* source, IPIOBJECT* target, int selector)
{
    const bool header = selector == ipiSelectAll || selector == ipiSelectHeader;
    const bool data = selector == ipiSelectAll || selector == ipiSelectData;
    const IpiByteSource bytes = ipiStoreBytes(env, in);
    Reader r{env, bytes};
    if (int rc = ReadContainerStart(r)) return rc;
    uint32_t w = 0;
    if (target->cls != &ipiClassCompositeIDArray) {
        if (int rc = r.Word(&w)) return rc;
        if (w != cgm::kPictureWord) return r.Fail(ipiErrSyntacticalError);
        return ReadPicture(r, source, target, header, data);
    }
    const int64_t start = target->matchPoint[0];
    const int64_t entries = target->dim[0];
    if (start < 0) return r.Fail(ipiErrNonPermissibleOption);
    for (int64_t p = 0; p < start; ++p) {
        if (int rc = r.Word(&w)) return rc;
        if (w == cgm::kEndWord) return r.Fail(ipiErrNonPermissibleOption);
        if (w != cgm::kPictureWord) return r.Fail(ipiErrSyntacticalError);
        if (int rc = SkipPicture(r)) return rc;
    }
    for (int64_t j = 0; j < entries; ++j) {
        if (int rc = r.Word(&w)) return rc;
        if (w == cgm::kEndWord) break;
        if (w != cgm::kPictureWord) return r.Fail(ipiErrSyntacticalError);
        IPIOBJECT* element = j < int64_t(target->elements.size()) ? target->elements[size_t(j)] : nullptr;
        if (!element || !ipiIsValidObject(env, element)) break;
        if (int rc = ipiSetAttribute(env, element, "fileFormat", ipiFormatCgmContainer)) return rc;
        if (int rc = ReadPicture(r, source, element, header, data)) return rc;
    }
    return 0;
}

} // namespace

int CgmContainerReadFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (!ipiIsValidObject(env, source) || !ipiIsValidObject(env, target)) return ipiGetError(env);
    IPIACCESSOR* in = ipiOpenAccessor(env, source, "r", 1, nullptr, 0);
    if (!in) return ipiGetError(env);
    const int rc = ReadContainer(env, in, source, target, selector);
    ipiCloseAccessor(env, in);
    return rc;
}

int CgmCountPages(IPIENVIRONMENT* env, IPIOBJECT* source)
{
    if (ipiCheckEnvironment(env) || !ipiIsValidObject(env, source)) return 0;
    IPIACCESSOR* in = ipiOpenAccessor(env, source, "r", 1, nullptr, 0);
    if (!in) return 0;
    const IpiByteSource bytes = ipiStoreBytes(env, in);
    Reader r{env, bytes};
    int rc = bytes.size < 4 ? r.Fail(ipiErrInsufficientSize) : ReadContainerStart(r);
    int pages = 0;
    while (rc == 0 && pages < kIpiMaxChain) {
        uint32_t w = 0;
        if ((rc = r.Word(&w)) != 0) break;
        if (w == cgm::kEndWord) break;
        if (w != cgm::kPictureWord) {
            rc = r.Fail(ipiErrSyntacticalError);
            break;
        }
        if ((rc = SkipPicture(r)) != 0) break;
        ++pages;
    }
    ipiCloseAccessor(env, in);
    return rc ? 0 : pages;
}

uint64_t CgmContainerExtent(const IpiByteSource& src)
{
    // A container whose records cannot be followed to its end word is
    // refused by the reader: it gets no more than what a file keeps beside
    // its pixels to find that out.
    Reader r{nullptr, src};
    if (ReadContainerStart(r) != 0) return ipiNoEndWithin(src, kIpiBesidePixels);
    for (int pages = 0; pages <= kIpiMaxChain; ++pages) {
        uint32_t w = 0;
        if (r.Word(&w) != 0) break;
        if (w == cgm::kEndWord) return uint64_t(r.pos);
        if (w != cgm::kPictureWord || SkipPicture(r) != 0) break;
    }
    return ipiNoEndWithin(src, kIpiBesidePixels);
}
