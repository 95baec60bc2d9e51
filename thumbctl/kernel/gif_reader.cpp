// GIF header, colour table and raw image data reader.
#include "thumbctl/kernel/gif_reader.h"

#include "thumbctl/kernel/codec_io.h"
#include "thumbctl/kernel/ipi_env.h"
#include "thumbctl/kernel/ipi_object.h"

#include <cstring>

namespace {

struct Reader {
    const uint8_t* d;
    size_t size;
    size_t pos = 0;
    bool Has(size_t n) const { return pos <= size && size - pos >= n; }
    int U16(size_t at) const { return d[at] | (d[at + 1] << 8); }
};

// Data sub-blocks up to the zero-length terminator.
int SkipBlocks(Reader& r, int64_t* count, std::vector<uint8_t>* out)
{
    for (;;) {
        if (!r.Has(1)) return ipiErrInsufficientSize;
        const int n = r.d[r.pos++];
        if (n == 0) return 0;
        if (!r.Has(size_t(n))) return ipiErrInsufficientSize;
        if (count) *count += n;
        if (out) out->insert(out->end(), r.d + r.pos, r.d + r.pos + n);
        r.pos += size_t(n);
    }
}

int Extensions(Reader& r, GifInfo* g)
{
    while (r.Has(1) && r.d[r.pos] == 0x21) {
        ++r.pos;
        if (!r.Has(1)) return ipiErrInsufficientSize;
        const int label = r.d[r.pos++];
        if (label == 0xF9) {
            if (!r.Has(1)) return ipiErrInsufficientSize;
            const int n = r.d[r.pos++];
            if (!r.Has(size_t(n))) return ipiErrInsufficientSize;
            if (n >= 4) {
                const int packed = r.d[r.pos];
                g->hasControl = true;
                g->disposal = (packed >> 2) & 7;
                g->userInput = (packed >> 1) & 1;
                g->transparent = packed & 1;
                g->delay = r.U16(r.pos + 1);
                g->transparentIndex = r.d[r.pos + 3];
            }
            r.pos += size_t(n);
        }
        if (int rc = SkipBlocks(r, nullptr, nullptr)) return rc;
    }
    return 0;
}

void DefaultTable(int n, uint8_t* c)
{
    if (n == 0) {
        const uint8_t t[] = {0, 0, 0, 255, 255, 255};
        std::memcpy(c, t, sizeof(t));
        return;
    }
    if (n == 1) {
        const uint8_t t[] = {0, 0, 0, 128, 128, 128, 192, 192, 192, 255, 255, 255};
        std::memcpy(c, t, sizeof(t));
        return;
    }
    static const int levels[8][3] = {{0, 0, 0}, {0, 0, 0}, {2, 2, 2}, {4, 2, 2},
                                     {4, 4, 2}, {4, 4, 4}, {8, 4, 4}, {8, 8, 4}};
    const int R = levels[n][0], G = levels[n][1], B = levels[n][2];
    int i = 0;
    for (int r = 0; r < R; ++r)
        for (int g = 0; g < G; ++g)
            for (int b = 0; b < B; ++b, ++i) {
                c[3 * i] = uint8_t(r * (256 / R));
                c[3 * i + 1] = uint8_t(g * (256 / G));
                c[3 * i + 2] = uint8_t(b * (256 / B));
            }
}

}  // namespace

int GifParse(const uint8_t* data, size_t size, GifInfo* g, std::vector<uint8_t>* lzw)
{
    *g = GifInfo();
    Reader r{data, size};
    if (!r.Has(6)) return ipiErrSyntacticalError;
    if (std::memcmp(data, "GIF87a", 6) == 0) g->version = 236;
    else if (std::memcmp(data, "GIF89a", 6) == 0) g->version = 237;
    else return ipiErrSyntacticalError;
    r.pos = 6;
    if (!r.Has(7)) return ipiErrInsufficientSize;
    g->screenWidth = r.U16(6);
    g->screenHeight = r.U16(8);
    const int packed = data[10];
    g->globalTable = packed & 0x80;
    g->colourResolution = ((packed >> 4) & 7) + 1;
    g->sorted = packed & 0x08;
    g->sizeField = packed & 7;
    g->background = data[11];
    g->aspect = data[12];
    r.pos = 13;
    if (g->globalTable) {
        const size_t n = size_t(3) << (g->sizeField + 1);
        if (!r.Has(n)) return ipiErrInsufficientSize;
        std::memcpy(g->colours, data + r.pos, n);
        r.pos += n;
    } else {
        DefaultTable(g->sizeField, g->colours);
    }
    if (int rc = Extensions(r, g)) return rc;
    if (!r.Has(10)) return r.Has(1) ? ipiErrInsufficientSize : ipiErrSyntacticalError;
    if (data[r.pos] != 0x2C) return ipiErrSyntacticalError;
    g->left = r.U16(r.pos + 1);
    g->top = r.U16(r.pos + 3);
    g->width = r.U16(r.pos + 5);
    g->height = r.U16(r.pos + 7);
    const int ip = data[r.pos + 9];
    g->localTable = ip & 0x80;
    g->interlaced = ip & 0x40;
    g->localSorted = ip & 0x20;
    g->localSizeField = ip & 7;
    r.pos += 10;
    if (g->localTable) {
        const size_t n = size_t(3) << (g->localSizeField + 1);
        if (!r.Has(n)) return ipiErrInsufficientSize;
        std::memcpy(g->colours, data + r.pos, n);
        r.pos += n;
    }
    if (!r.Has(1)) return ipiErrInsufficientSize;
    g->codeSize = data[r.pos++];
    auto fits = [g](int field) { return g->codeSize == field + 1 || (field == 0 && g->codeSize == 2); };
    // An image with its own colour table is coded for that table when the
    // screen has none, or when only the image's table fits its code size.
    if (g->localTable && (!g->globalTable || (!fits(g->sizeField) && fits(g->localSizeField))))
        g->sizeField = g->localSizeField;
    if (!fits(g->sizeField)) return ipiErrSyntacticalError;
    if (int rc = SkipBlocks(r, &g->dataCount, lzw)) return rc;
    return Extensions(r, g);
}

namespace {

// Steps over data sub-blocks up to their zero-length terminator.
bool SkipSubBlocks(IpiByteCursor& c)
{
    for (;;) {
        const int n = c.Get();
        if (n < 0) return false;
        if (n == 0) return true;
        if (!c.Skip(uint64_t(n))) return false;
    }
}

// Steps over a colour table when the packed field announces one.
bool SkipColourTable(IpiByteCursor& c, int packed)
{
    return !(packed & 0x80) || c.Skip(uint64_t(3) << ((packed & 7) + 1));
}

}  // namespace

uint64_t GifFileExtent(const IpiByteSource& src)
{
    // The reader takes the first image and the extensions right after it.
    // Before that image only what a file keeps beside its pixels; its LZW
    // codes are at most 12 bits a pixel, in sub-blocks of up to 255 bytes.
    IpiByteSource seen = src;
    seen.size = std::min(src.size, kIpiBesidePixels);
    IpiByteCursor c(seen);
    auto noEnd = [&] { return ipiNoEndWithin(src, seen.size); };
    uint8_t head[13];
    if (!c.Read(head, 13) || std::memcmp(head, "GIF8", 4) != 0 || !SkipColourTable(c, head[10])) return noEnd();
    bool imageSeen = false;
    for (;;) {
        const int block = c.Get();
        if (block == 0x21) {  // extension: label, sub-blocks
            if (c.Get() < 0 || !SkipSubBlocks(c)) return noEnd();
        } else if (block == 0x2C && !imageSeen) {  // image: descriptor, table, code size, sub-blocks
            uint8_t d[9];
            if (!c.Read(d, 9)) return noEnd();
            const uint64_t pixels = uint64_t(d[4] | (d[5] << 8)) * uint64_t(d[6] | (d[7] << 8));
            seen.size = std::min(src.size, ipiBoundOf(pixels, 2, c.Pos() + kIpiBesidePixels));
            if (!SkipColourTable(c, d[8]) || c.Get() < 0 || !SkipSubBlocks(c)) return noEnd();
            imageSeen = true;
        } else if (imageSeen && block >= 0) {
            return c.Pos() - 1;  // the next image or the trailer: the picture is complete
        } else if (block == 0x3B || block < 0) {
            return imageSeen ? c.Pos() : noEnd();
        } else {
            return noEnd();
        }
    }
}

int GifReadFile(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target, int selector)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (source->cls != &ipiClassMonochromeImage && source->cls != &ipiClassGenericImage)
        return ipiReportError(env, ipiErrMismatchObjectClass);
    CodecSourceBytes bytes;
    if (int rc = bytes.Open(env, source, -1)) return rc;
    std::vector<uint8_t> lzw;
    GifInfo g;
    const bool wantData = selector == ipiSelectAll || selector == ipiSelectData;
    if (int rc = GifParse(bytes.data(), bytes.size(), &g, wantData ? &lzw : nullptr)) return ipiReportError(env, rc);

    auto* lut = reinterpret_cast<IPIOBJECT*>(target->lut);
    if (lut && ipiIsValidObject(env, lut)) {
        if (int rc = CodecWritePalette(env, lut, g.LutEntries(), g.colours, g.LutEntries())) return rc;
    }
    if (wantData) {
        if (int rc = CodecWriteAll(env, target, lzw.data(), int64_t(lzw.size()))) return rc;
    }
    if (selector == ipiSelectAll || selector == ipiSelectHeader) {
        const int sw = g.screenWidth ? g.screenWidth : g.width;
        const int sh = g.screenHeight ? g.screenHeight : g.height;
        IPIATTRIBUTE a[] = {{"version", g.version}, {"screenWidth", sw}, {"screenDepth", sh}, {"left", g.left},
                            {"top", g.top}, {"xDimension", g.width}, {"yDimension", g.height}, {"zDimension", 1},
                            {"tDimension", 1}, {"bDimension", 1},
                            {"dataType", g.sizeField ? ipiTypeNonNegative : ipiTypeBoolean},
                            {"bitOrder", ipiOrderMsbFirst}, {"dataPrecision", g.sizeField + 1},
                            {"codeSize", g.codeSize}, {"interlacedImage", g.interlaced ? 1 : 0},
                            {"transparency", g.transparent ? 1 : 0},
                            {"transparencyPaletteIndex", g.transparent ? g.transparentIndex : 0},
                            {"compression", ipiCompressionLzw}, {"size", IPIVALUE(g.dataCount)}};
        for (const IPIATTRIBUTE& e : a)
            if (int rc = ipiSetAttribute(env, target, e.name, e.value)) return rc;
    }
    return 0;
}
