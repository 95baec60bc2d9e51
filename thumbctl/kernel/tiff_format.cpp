// TIFF structure: header, directory chain, tags and page description.
#include "thumbctl/kernel/tiff_format.h"

#include <algorithm>
#include <unordered_set>

#include "thumbctl/kernel/bmp_codec.h"
#include "thumbctl/kernel/ipi_base.h"

namespace tiff {
namespace {

enum FieldType : uint32_t { kShort = 3, kLong = 4, kRational = 5 };

class Reader {
public:
    Reader(const Source& src, bool le) : src_(src), le_(le) {}
    bool U16(uint64_t at, uint32_t* v) const {
        uint8_t b[2];
        if (!src_.read(at, b, 2)) return false;
        *v = le_ ? uint32_t(b[0] | b[1] << 8) : uint32_t(b[0] << 8 | b[1]);
        return true;
    }
    bool U32(uint64_t at, uint32_t* v) const {
        uint8_t b[4];
        if (!src_.read(at, b, 4)) return false;
        *v = le_ ? uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24
                 : uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]);
        return true;
    }
    // The first SHORT of a value field read as a LONG in the file's order.
    uint32_t FirstShort(uint32_t field) const { return le_ ? field & 0xFFFF : field >> 16; }
    uint32_t SecondShort(uint32_t field) const { return le_ ? field >> 16 : field & 0xFFFF; }

    // `count` SHORT or LONG values of an entry, in the value field itself when
    // they fit in its four bytes, else at the offset it holds.
    bool Values(uint32_t type, uint32_t field, uint64_t count, std::vector<uint32_t>* out) const {
        out->clear();
        if (count > uint64_t(kIpiMaxTableEntries)) return false;
        out->reserve(size_t(count));
        const uint64_t size = type == kShort ? 2 : 4;
        if (size * count <= 4) {
            if (type == kLong) {
                if (count == 1) out->push_back(field);
            } else {
                if (count >= 1) out->push_back(FirstShort(field));
                if (count >= 2) out->push_back(SecondShort(field));
            }
            return true;
        }
        // One read for the whole table (strip tables run to thousands of
        // values, and a file source reads through the file).
        std::vector<uint8_t> bytes(size_t(size * count));
        if (!src_.read(field, bytes.data(), bytes.size())) return false;
        for (uint64_t i = 0; i < count; ++i) {
            const uint8_t* b = bytes.data() + size * i;
            if (type == kShort)
                out->push_back(le_ ? uint32_t(b[0] | b[1] << 8) : uint32_t(b[0] << 8 | b[1]));
            else
                out->push_back(le_ ? uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24
                                   : uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]));
        }
        return true;
    }

private:
    const Source& src_;
    bool le_;
};

bool ShortOrLong(uint32_t type) { return type == kShort || type == kLong; }

} // namespace

int ReadHeader(const Source& src, Header* header) {
    uint8_t b[8];
    if (src.size < 8 || !src.read(0, b, 8)) return kInsufficientSize;
    if (b[0] == 'I' && b[1] == 'I') header->littleEndian = true;
    else if (b[0] == 'M' && b[1] == 'M') header->littleEndian = false;
    else return kSyntax;
    Reader r(src, header->littleEndian);
    uint32_t version = 0;
    r.U16(2, &version);
    if (version != 42) return kSyntax;
    r.U32(4, &header->firstIfd);
    return kOk;
}

int WalkDirectories(const Source& src, const Header& header, std::vector<uint32_t>* offsets, int maxPages) {
    offsets->clear();
    Reader r(src, header.littleEndian);
    std::unordered_set<uint32_t> seen;
    uint32_t offset = header.firstIfd;
    while (offset != 0 && int(offsets->size()) < maxPages) {
        if (!seen.insert(offset).second) break;  // the chain loops back
        uint32_t entries = 0, next = 0;
        if (!r.U16(offset, &entries) || !r.U32(uint64_t(offset) + 2 + 12 * uint64_t(entries), &next))
            return kInsufficientSize;
        offsets->push_back(offset);
        offset = next;
    }
    return kOk;
}

namespace {

// One directory entry: tag, field type, count and the 4-byte value field,
// with the value a single SHORT or LONG holds (a SHORT held alone is the
// first two bytes of the field).
struct Entry {
    uint32_t tag = 0, type = 0, count = 0, field = 0, value = 0;
    bool One() const { return count == 1; }
};

int Need(bool ok) { return ok ? kOk : kSyntax; }

// Bytes of one value of a TIFF field type; 0 for a type TIFF does not know.
uint64_t TypeBytes(uint32_t type) {
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
    }
}

// Answer of StoreLayoutTag for a tag it does not store.
constexpr int kNotLayout = -1;

// The tags of the picture's layout: size, samples, coding, strips.
int StoreLayoutTag(const Entry& e, Directory* dir) {
    const uint32_t type = e.type, value = e.value;
    switch (e.tag) {
    case 254: dir->subfileType = value; return Need(type == kLong && e.One());
    case 255:
        if (value >= 1 && value <= 3) dir->subfileType = value - 1;
        return Need(type == kShort && e.One());
    case 256: dir->width = value, dir->hasWidth = true; return Need(ShortOrLong(type) && e.One());
    case 257: dir->length = value, dir->hasLength = true; return Need(ShortOrLong(type) && e.One());
    case 258:
        dir->bitsPerSampleCount = e.count;
        dir->bitsPerSampleValue = e.One() ? value : e.field;
        return Need(type == kShort);
    case 259: dir->compression = value; return Need(type == kShort && e.One());
    case 262: dir->photometric = value; return Need(type == kShort && e.One());
    case 266: dir->fillOrder = value; return Need(type == kShort && e.One() && (value == 1 || value == 2));
    case 273:
    case 324:
        dir->stripOffsetsType = type;
        dir->stripOffsetsCount = e.count;
        dir->stripOffsetsValue = e.field;
        if (e.tag == 324) dir->tiled = true;
        return Need(e.tag == 273 ? ShortOrLong(type) : type == kLong);
    case 274: dir->orientation = value; return Need(ShortOrLong(type) && e.One());
    case 277: dir->samplesPerPixel = value; return Need(type == kShort && e.One());
    case 278: dir->rowsPerStrip = value; return Need(ShortOrLong(type) && e.One());
    case 279:
    case 325:
        dir->stripByteCountsType = type;
        dir->stripByteCountsCount = e.count;
        dir->stripByteCountsValue = e.field;
        if (e.tag == 325) dir->tiled = true;
        return Need(ShortOrLong(type));
    case 280:
    case 281: return Need(type == kShort);
    case 284: dir->planarConfiguration = value; return Need(type == kShort && e.One());
    default: return kNotLayout;
    }
}

// The other tags the kernel knows: resolutions, facsimile options, page,
// predictor, colour map, tiles, JPEG tables, YCbCr subsampling.
int StoreOtherTag(const Reader& r, const Entry& e, Directory* dir) {
    const uint32_t type = e.type, value = e.value;
    switch (e.tag) {
    case 282: dir->xResolutionOffset = e.field; return Need(type == kRational && e.One());
    case 283: dir->yResolutionOffset = e.field; return Need(type == kRational && e.One());
    case 292: dir->t4Options = value; return Need(ShortOrLong(type) && e.One());
    case 293: dir->t6Options = value; return Need(ShortOrLong(type) && e.One());
    case 296: dir->resolutionUnit = value; return Need(type == kShort && e.One());
    case 297:
        dir->pageNumber = r.FirstShort(e.field) << 16 | r.SecondShort(e.field);
        return Need(type == kShort && e.count == 2);
    case 317: dir->predictor = value; return Need(type == kShort && e.One());
    case 320:
        dir->colorMapCount = e.count;
        dir->colorMapOffset = e.field;
        return Need(type == kShort);
    case 322: dir->tileWidth = value, dir->tiled = true; return Need(ShortOrLong(type) && e.One());
    case 323: dir->tileLength = value, dir->tiled = true; return Need(ShortOrLong(type) && e.One());
    case 512: return Need(type == kShort && e.One());
    case 519:
    case 520:
    case 521: return Need(type == kLong);
    case 530:
        dir->ycbcrSubsampling = r.FirstShort(e.field) << 16 | r.SecondShort(e.field);
        return Need(type == kShort && e.count == 2);
    default: return kOk;
    }
}

} // namespace

int ReadDirectory(const Source& src, bool littleEndian, uint32_t offset, Directory* dir) {
    *dir = Directory{};
    Reader r(src, littleEndian);
    uint32_t entries = 0;
    if (!r.U16(offset, &entries)) return kInsufficientSize;
    dir->end = uint64_t(offset) + 2 + 12 * uint64_t(entries) + 4;
    for (uint32_t i = 0; i < entries; ++i) {
        const uint64_t at = uint64_t(offset) + 2 + 12 * uint64_t(i);
        Entry e;
        if (!r.U16(at, &e.tag) || !r.U16(at + 2, &e.type) || !r.U32(at + 4, &e.count) || !r.U32(at + 8, &e.field))
            return kInsufficientSize;
        const uint64_t bytes = TypeBytes(e.type) * e.count;
        if (bytes > 4) dir->end = std::max(dir->end, uint64_t(e.field) + bytes);
        e.value = e.type == kShort ? r.FirstShort(e.field) : e.field;
        // A known tag with the wrong type or count ends the read.
        int rc = StoreLayoutTag(e, dir);
        if (rc == kNotLayout) rc = StoreOtherTag(r, e, dir);
        if (rc != kOk) return rc;
    }
    return kOk;
}

namespace {

// Size. The tags a page cannot do without, whatever its photometric
// interpretation: ImageWidth and ImageLength (checked here), StripOffsets,
// and StripByteCounts when compressed (StripTable). Bilevel and grey pages
// need nothing more: BitsPerSample 1, Compression 1, PhotometricInterpretation
// 0 (WhiteIsZero), RowsPerStrip (all rows) and ResolutionUnit stand in when
// absent, and the resolutions are not needed; palette pages need their
// ColorMap (ColourMap), RGB pages a SamplesPerPixel of 3 (Photometric).
int Size(const Directory& dir, Page& p) {
    if (dir.tiled) return kSyntax;  // pages laid out in tiles are not read
    if (!dir.hasWidth || !dir.hasLength) return kSyntax;
    if (dir.width < 1 || dir.length < 1 || dir.width > kIpiMaxDimension || dir.length > kIpiMaxDimension)
        return kSyntax;
    p.width = dir.width;
    p.height = dir.length;
    return kOk;
}

// Samples: one (bilevel, grey, palette) or three 8-bit colour samples.
int Samples(const Reader& r, const Directory& dir, Page& p) {
    const uint32_t samples = dir.samplesPerPixel == 0 ? 1 : dir.samplesPerPixel;
    uint32_t bits = 1;
    if (dir.bitsPerSampleCount == 1) {
        bits = dir.bitsPerSampleValue;
    } else if (dir.bitsPerSampleCount == 3 || dir.bitsPerSampleCount == 4) {
        std::vector<uint32_t> v;
        if (!r.Values(kShort, dir.bitsPerSampleValue, dir.bitsPerSampleCount, &v)) return kSyntax;
        for (uint32_t b : v)
            if (b != v[0]) return kSyntax;
        bits = v[0];
        if (dir.bitsPerSampleCount != samples) return kSyntax;
    } else if (dir.bitsPerSampleCount != 0) {
        return kSyntax;
    }
    if (samples == 1) {
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16) return kSyntax;
    } else if (samples == 3) {
        if (bits != 8) return kSyntax;  // only 8-bit chunky colour
    } else {
        return kSyntax;  // grey with alpha, RGBA, CMYK and other sample counts
    }
    p.bitsPerSample = int(bits);
    p.samplesPerPixel = int(samples);
    p.bands = samples == 3 ? 3 : 1;
    p.dataType = bits == 1 ? 18 : 153;
    p.dataPrecision = bits == 16 ? 8 : int(bits);
    p.rowBytes = (uint64_t(p.width) * samples * bits + 7) / 8;
    return kOk;
}

// Coding, to the kernel's compression code.
int Coding(const Directory& dir, Page& p) {
    switch (dir.compression) {
    case 1: p.compression = ipiCompressionNone; break;
    case 2: p.compression = ipiCompressionCcittMH; break;
    case 3:
        p.compression = (dir.t4Options & 1) ? ipiCompressionCcittG3_2D : ipiCompressionCcittG3;
        if (dir.t4Options & 4) p.eolState = 1;
        break;
    case 4: p.compression = ipiCompressionCcittG4; break;
    case 5:
        p.compression = ipiCompressionLzw;
        if (dir.predictor == 1) p.predictor = 0;
        else if (dir.predictor == 2) p.predictor = 1;
        else return kSyntax;
        if (p.bitsPerSample == 16) return kSyntax;
        break;
    case 32773: p.compression = ipiCompressionPackBits; break;
    default: return kSyntax;
    }
    if (dir.compression >= 2 && dir.compression <= 4 && p.bitsPerSample != 1) return kSyntax;  // facsimile is bilevel
    return kOk;
}

// Photometric interpretation, consistent with the samples.
int Photometric(const Directory& dir, Page& p) {
    switch (dir.photometric) {
    case 0: p.photometric = ipiPhotometricMinIsWhite; break;
    case 1: p.photometric = ipiPhotometricMinIsBlack; break;
    case 2: p.photometric = 121; p.colourSpace = ipiColourSpaceRgb; break;
    case 3: p.photometric = 157; break;
    case 4: p.photometric = 209; break;
    default: return kSyntax;  // CMYK, YCbCr, CIE L*a*b* and unknown values
    }
    if ((dir.photometric == 2) != (p.samplesPerPixel == 3)) return kSyntax;
    if (dir.photometric == 3 && p.bitsPerSample == 16) return kSyntax;
    if (dir.photometric == 4 && p.bitsPerSample != 1) return kSyntax;
    return kOk;
}

// Orientation, planes, resolution unit, subfile type and page number, to
// kernel codes; the resolutions as stored.
int Description(const Reader& r, const Directory& dir, Page& p) {
    static const int kOrientation[9] = {0, 0, 117, 1, 208, 213, 2, 132, 3};
    if (dir.orientation < 1 || dir.orientation > 8) return kSyntax;
    p.orientation = kOrientation[dir.orientation];
    // Separate planes matter only with several samples.
    if (dir.planarConfiguration != 1 && !(dir.planarConfiguration == 2 && p.samplesPerPixel == 1)) return kSyntax;
    p.planarConfiguration = ipiPlanarContig;
    switch (dir.resolutionUnit) {
    case 1: p.resolutionUnit = 0; break;
    case 2: p.resolutionUnit = 106; break;
    case 3: p.resolutionUnit = ipiResolutionUnitCm; break;
    default: return kSyntax;
    }
    if (dir.subfileType > 2) return kSyntax;
    p.newSubfileType = 252 + int(dir.subfileType);
    p.pageNumber = dir.pageNumber;
    if (dir.xResolutionOffset) {
        if (!r.U32(dir.xResolutionOffset, &p.xResolution[0]) || !r.U32(uint64_t(dir.xResolutionOffset) + 4, &p.xResolution[1]))
            return kSyntax;
        p.hasXResolution = true;
    }
    if (dir.yResolutionOffset) {
        if (!r.U32(dir.yResolutionOffset, &p.yResolution[0]) || !r.U32(uint64_t(dir.yResolutionOffset) + 4, &p.yResolution[1]))
            return kSyntax;
        p.hasYResolution = true;
    }
    return kOk;
}

// The strip table: offsets and byte counts, one per strip of RowsPerStrip
// rows (a surplus empty last strip, which some writers add, is tolerated).
int StripTable(const Reader& r, const Directory& dir, Page& p) {
    uint32_t countCount = dir.stripByteCountsCount;
    uint32_t countType = dir.stripByteCountsType ? dir.stripByteCountsType : kLong;
    if (countCount == 0 && p.compression == ipiCompressionNone) countCount = 1;  // counts are not needed
    if (countCount == 0 || dir.stripOffsetsCount == 0 || dir.stripOffsetsCount != countCount) return kSyntax;
    if (dir.rowsPerStrip == 0) return kSyntax;
    const uint64_t rps = std::min<uint64_t>(dir.rowsPerStrip, p.height);
    const uint64_t strips = (uint64_t(p.height) + rps - 1) / rps;
    if (strips != countCount) {
        bool surplus = countCount >= 4 && countCount == strips + 1;
        if (surplus) {
            std::vector<uint32_t> all;
            if (!r.Values(countType, dir.stripByteCountsValue, countCount, &all)) return kSyntax;
            surplus = all.back() == 0;
        }
        if (!surplus) return kSyntax;
    }
    p.rowsPerStrip = uint32_t(rps);
    if (!r.Values(dir.stripOffsetsType, dir.stripOffsetsValue, dir.stripOffsetsCount, &p.stripOffsets))
        return kSyntax;
    if (dir.stripByteCountsCount == 0) {
        p.stripByteCounts.assign(1, 0);
    } else if (!r.Values(countType, dir.stripByteCountsValue, countCount, &p.stripByteCounts)) {
        return kSyntax;
    }
    p.stripOffsets.resize(size_t(strips));
    p.stripByteCounts.resize(size_t(strips));
    return kOk;
}

// The most bytes `rows` rows of a page can take in its coding: PackBits
// two bytes a byte (literals of one), LZW at most 12 bits a byte with its
// clear codes, the CCITT codings at most two bytes a pixel and an end of
// line a row.
uint64_t MostCodedBytes(const Page& p, uint64_t rows) {
    const uint64_t n = rows * p.rowBytes;
    switch (p.compression) {
    case ipiCompressionNone: return n;
    case ipiCompressionPackBits: return 2 * n + 16;
    case ipiCompressionLzw: return 2 * n + 16;
    case ipiCompressionCcittG3:
    case ipiCompressionCcittG3_2D:
    case ipiCompressionCcittG4:
    case ipiCompressionCcittMH: return 16 * n + 8 * rows + 64;
    default: return UINT32_MAX;
    }
}

// Every strip must lie inside the data: compressed strips by their byte
// counts, uncompressed ones by the rows they hold. PackBits codes must be
// able to fill their strip's rows.
int StripsFitTheData(const Source& src, Page& p) {
    p.compressedSize = 0;
    const uint64_t rps = p.rowsPerStrip;
    for (uint64_t s = 0; s < p.stripOffsets.size(); ++s) {
        const uint64_t rows = std::min<uint64_t>(rps, p.height - s * rps);
        uint64_t bytes = p.compression == ipiCompressionNone ? rows * p.rowBytes : p.stripByteCounts[s];
        if (uint64_t(p.stripOffsets[s]) + bytes > src.size) return kSyntax;
        // A byte count is read no further than its rows can take coded.
        bytes = std::min(bytes, MostCodedBytes(p, rows));
        p.stripByteCounts[s] = uint32_t(std::min<uint64_t>(p.stripByteCounts[s], bytes));
        const uint64_t end = uint64_t(p.stripOffsets[s]) + bytes;
        p.stripsEnd = std::max(p.stripsEnd, end);
        if (p.compression == ipiCompressionPackBits && rows * p.rowBytes > uint64_t(PackBitsMostBytes(bytes)))
            return kSyntax;
        p.compressedSize += p.stripByteCounts[s];
    }
    if (p.compression != ipiCompressionNone && p.compressedSize == 0) return kSyntax;
    return kOk;
}

// Colour map: red, green and blue planes of 16-bit values; a palette page
// needs one.
int ColourMap(const Reader& r, const Directory& dir, Page& p) {
    if (dir.colorMapCount >= 3) {
        if (dir.colorMapCount > 3 * 65536) return kSyntax;
        std::vector<uint32_t> v;
        if (!r.Values(kShort, dir.colorMapOffset, dir.colorMapCount, &v)) return kSyntax;
        p.colorMap.assign(v.begin(), v.end());
    }
    if (dir.photometric == 3 && p.colorMap.size() < 3) return kSyntax;
    return kOk;
}

} // namespace

int InterpretDirectory(const Source& src, const Directory& dir, bool littleEndian, Page* page) {
    *page = Page{};
    Page& p = *page;
    const Reader r(src, littleEndian);
    p.littleEndian = littleEndian;
    p.lsbFirst = dir.fillOrder == 2;
    int rc = Size(dir, p);
    if (rc == kOk) rc = Samples(r, dir, p);
    if (rc == kOk) rc = Coding(dir, p);
    if (rc == kOk) rc = Photometric(dir, p);
    if (rc == kOk) rc = Description(r, dir, p);
    if (rc == kOk) rc = StripTable(r, dir, p);
    if (rc == kOk) rc = StripsFitTheData(src, p);
    if (rc == kOk) rc = ColourMap(r, dir, p);
    return rc;
}

int ReadPage(const Source& src, int index, Page* page) {
    Header header;
    int rc = ReadHeader(src, &header);
    if (rc != kOk) return rc;
    if (index < 0 || header.firstIfd == 0) return kNonPermissible;
    std::vector<uint32_t> offsets;
    rc = WalkDirectories(src, header, &offsets, index + 1);
    if (int(offsets.size()) <= index) return rc != kOk ? rc : kNonPermissible;
    Directory dir;
    rc = ReadDirectory(src, header.littleEndian, offsets[size_t(index)], &dir);
    if (rc != kOk) return rc;
    return InterpretDirectory(src, dir, header.littleEndian, page);
}

uint64_t FileExtent(const Source& src) {
    Header header;
    std::vector<uint32_t> offsets;
    // A chain the reader cannot follow is refused by it: it gets no more than
    // what a file keeps beside its pixels to find that out.
    if (ReadHeader(src, &header) != kOk || WalkDirectories(src, header, &offsets) != kOk)
        return ipiNoEndWithin(src, kIpiBesidePixels);
    // Each directory with the values it keeps out of line, and its page's strips.
    uint64_t end = 8;
    for (uint32_t offset : offsets) {
        Directory dir;
        Page page;
        if (ReadDirectory(src, header.littleEndian, offset, &dir) != kOk ||
            InterpretDirectory(src, dir, header.littleEndian, &page) != kOk)
            return ipiNoEndWithin(src, kIpiBesidePixels);
        end = std::max({end, dir.end, page.stripsEnd});
    }
    return std::min(end, src.size);
}

uint64_t RowOffset(const Page& page, uint32_t y) {
    const uint32_t strip = y / page.rowsPerStrip;
    return uint64_t(page.stripOffsets[strip]) + uint64_t(y % page.rowsPerStrip) * page.rowBytes;
}

} // namespace tiff
