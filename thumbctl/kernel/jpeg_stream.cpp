// Marker parsing of a baseline JPEG stream: tables, frame and scan headers.
#include "thumbctl/kernel/jpeg_codec.h"

#include <cstring>

namespace {

struct Cursor {
    const uint8_t* data;
    size_t size;
    size_t pos;
    bool Has(size_t n) const { return pos <= size && size - pos >= n; }
    int U8() { return data[pos++]; }
    int U16() {
        const int v = (data[pos] << 8) | data[pos + 1];
        pos += 2;
        return v;
    }
};

// DQT segment: entries of one precision/identity byte and 64 table bytes.
int ReadDqt(Cursor& c, size_t segEnd, JpegTables* t) {
    while (c.pos < segEnd) {
        const int pq = c.U8();
        if (segEnd - c.pos < 64) return ipiErrSyntacticalError;
        if (pq == 0 || pq == 1) {
            std::memcpy(t->quant[pq], c.data + c.pos, 64);
            t->hasQuant[pq] = true;
        } else if ((pq >> 4) != 0) {
            return ipiErrSyntacticalError;  // 16-bit tables belong to 12-bit images
        }
        c.pos += 64;
    }
    return 0;
}

// DHT segment: class/identity byte, 16 counts, the symbols.
int ReadDht(Cursor& c, size_t segEnd, JpegTables* t) {
    while (c.pos < segEnd) {
        const int tc = c.U8();
        int slot = -1;
        if (tc == 0x00) slot = kJpegLumDC;
        else if (tc == 0x10) slot = kJpegLumAC;
        else if (tc == 0x01) slot = kJpegChromDC;
        else if (tc == 0x11) slot = kJpegChromAC;
        else if (tc > 0x13) return ipiErrSyntacticalError;
        if (segEnd - c.pos < 16) return ipiErrSyntacticalError;
        uint8_t bits[16];
        std::memcpy(bits, c.data + c.pos, 16);
        c.pos += 16;
        int total = 0;
        for (int i = 0; i < 16; ++i) total += bits[i];
        const bool dc = (tc >> 4) == 0;
        if (total > (dc ? 16 : 256)) return ipiErrSyntacticalError;
        if (segEnd - c.pos < static_cast<size_t>(total)) return ipiErrSyntacticalError;
        if (slot >= 0) {
            std::memcpy(t->bits[slot], bits, 16);
            std::memset(t->vals[slot], 0, 256);
            std::memcpy(t->vals[slot], c.data + c.pos, static_cast<size_t>(total));
            t->hasHuff[slot] = true;
        }
        c.pos += static_cast<size_t>(total);
    }
    return 0;
}

// Tables and skipped segments; any other marker ends the run (returned in
// *marker). Error for a segment that does not fit the stream.
int ReadMiscSegments(Cursor& c, JpegTables* t, int* marker) {
    for (;;) {
        if (!c.Has(2)) return ipiErrSyntacticalError;
        if (c.data[c.pos] != 0xFF) return ipiErrSyntacticalError;
        // Fill bytes 0xFF before a marker are allowed.
        while (c.Has(2) && c.data[c.pos] == 0xFF && c.data[c.pos + 1] == 0xFF) ++c.pos;
        if (!c.Has(2)) return ipiErrSyntacticalError;
        const int m = c.U16() & 0xFF;
        const bool app = m >= 0xE0 && m <= 0xEF;
        if (!(app || m == 0xFE || m == 0xDB || m == 0xC4 || m == 0xDD)) {
            *marker = m;
            return 0;
        }
        if (!c.Has(2)) return ipiErrSyntacticalError;
        const int len = c.U16();
        if (len < 2 || !c.Has(static_cast<size_t>(len - 2))) return ipiErrSyntacticalError;
        const size_t segEnd = c.pos + static_cast<size_t>(len - 2);
        int rc = 0;
        if (m == 0xDB) {
            rc = ReadDqt(c, segEnd, t);
        } else if (m == 0xC4) {
            rc = ReadDht(c, segEnd, t);
        } else if (m == 0xDD) {
            if (len != 4) return ipiErrSyntacticalError;
            t->restartInterval = c.U16();
        }
        if (rc) return rc;
        c.pos = segEnd;
    }
}

}  // namespace

int JpegParseStream(const uint8_t* data, size_t size, JpegStreamInfo* info) {
    *info = JpegStreamInfo();
    Cursor c{data, size, 0};
    // Start of image, possibly behind other data.
    size_t start = size;
    for (size_t i = 0; i + 1 < size; ++i) {
        if (data[i] == 0xFF && data[i + 1] == 0xD8) {
            start = i + 2;
            break;
        }
    }
    if (start > size) return ipiErrSyntacticalError;
    c.pos = start;

    JpegTables& t = info->tables;
    int marker = 0;
    int rc = ReadMiscSegments(c, &t, &marker);
    if (rc) return rc;
    if (marker != 0xC0) return ipiErrSyntacticalError;  // progressive, arithmetic, lossless ... refused

    if (!c.Has(2)) return ipiErrSyntacticalError;
    const int len = c.U16();
    if ((len != 11 && len != 17) || !c.Has(static_cast<size_t>(len - 2))) return ipiErrSyntacticalError;
    const int precision = c.U8();
    const int height = c.U16();
    const int width = c.U16();
    const int comps = c.U8();
    if (precision != 8 || height == 0 || width == 0 || (comps != 1 && comps != 3) ||
        len != 8 + 3 * comps)
        return ipiErrSyntacticalError;
    int h[3] = {0, 0, 0}, v[3] = {0, 0, 0};
    for (int i = 0; i < comps; ++i) {
        c.U8();
        const int hv = c.U8();
        h[i] = hv >> 4;
        v[i] = hv & 15;
        c.U8();
        if (h[i] < 1 || h[i] > 4 || v[i] < 1 || v[i] > 4) return ipiErrSyntacticalError;
    }
    int sampling = kJpegSampling1x1;
    if (comps == 3) {
        // Chroma at one block per MCU, luminance 1x1, 2x1 or 2x2 (or all
        // components alike at 1x1).
        if (h[1] != 1 || v[1] != 1 || h[2] != 1 || v[2] != 1) return ipiErrSyntacticalError;
        if (h[0] == 1 && v[0] == 1) sampling = kJpegSampling1x1;
        else if (h[0] == 2 && v[0] == 1) sampling = kJpegSampling2x1;
        else if (h[0] == 2 && v[0] == 2) sampling = kJpegSampling2x2;
        else return ipiErrSyntacticalError;
    }

    rc = ReadMiscSegments(c, &t, &marker);
    if (rc) return rc;
    if (marker != 0xDA) return ipiErrSyntacticalError;
    if (!c.Has(3)) return ipiErrSyntacticalError;
    const int slen = c.U16();
    const int ns = c.U8();
    if ((slen != 8 && slen != 12) || ns != comps || slen != 6 + 2 * ns ||
        !c.Has(static_cast<size_t>(slen - 3)))
        return ipiErrSyntacticalError;
    c.pos += static_cast<size_t>(slen - 3);
    if (!t.hasQuant[0]) return ipiErrSyntacticalError;
    if (comps == 3 && !t.hasQuant[1]) {
        std::memcpy(t.quant[1], t.quant[0], 64);
        t.hasQuant[1] = true;
    }

    info->width = width;
    info->height = height;
    info->components = comps;
    info->sampling = sampling;
    info->scanOffset = c.pos;
    info->scanSize = size - c.pos;
    return 0;
}
