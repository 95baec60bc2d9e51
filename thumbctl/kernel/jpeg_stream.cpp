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

// Every table a stream defines, by the identity it is given, before the
// components pick theirs: quantisation tables 0 to 3 (zig-zag order) and
// Huffman tables 0 to 3 of each class (DC 0..3, AC 4..7).
struct DefinedTables {
    uint8_t quant[4][64] = {};
    bool hasQuant[4] = {false, false, false, false};
    uint8_t bits[8][16] = {};
    uint8_t vals[8][256] = {};
    bool hasHuff[8] = {false, false, false, false, false, false, false, false};
    int restartInterval = 0;
};

// DQT segment: entries of one precision/identity byte and 64 table bytes.
int ReadDqt(Cursor& c, size_t segEnd, DefinedTables* t) {
    while (c.pos < segEnd) {
        const int pq = c.U8();
        if (segEnd - c.pos < 64) return ipiErrSyntacticalError;
        if (pq <= 3) {
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
int ReadDht(Cursor& c, size_t segEnd, DefinedTables* t) {
    while (c.pos < segEnd) {
        const int tc = c.U8();
        if (tc > 0x13) return ipiErrSyntacticalError;
        const int id = tc & 15;
        const int slot = id <= 3 ? 4 * (tc >> 4) + id : -1;
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
int ReadMiscSegments(Cursor& c, DefinedTables* t, int* marker) {
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

// A component's Huffman table of one class (0 DC, 1 AC), by its selector;
// null when the stream defines none under that identity.
struct HuffRef {
    const uint8_t* bits = nullptr;
    const uint8_t* vals = nullptr;
};
HuffRef HuffOf(const DefinedTables& d, int cls, int id) {
    const int slot = 4 * cls + id;
    return d.hasHuff[slot] ? HuffRef{d.bits[slot], d.vals[slot]} : HuffRef{};
}
bool SameHuff(HuffRef a, HuffRef b) {
    if (!a.bits || !b.bits) return !a.bits && !b.bits;
    return std::memcmp(a.bits, b.bits, 16) == 0 && std::memcmp(a.vals, b.vals, 256) == 0;
}

// The codec's tables from the ones each component selects: the first
// component's are the luminance tables, the other two components' the
// chrominance ones. The codec keeps one table of each kind for both chroma
// components, so two chroma components that select tables with different
// contents are refused (22), as are selectors outside the baseline ranges.
// A chroma component whose quantisation table is not defined takes the
// luminance one; a luminance quantisation table must be defined.
int SelectTables(const DefinedTables& d, int comps, const int* tq, const int* td, const int* ta, JpegTables* out) {
    for (int i = 0; i < comps; ++i)
        if (tq[i] > 3 || td[i] > 1 || ta[i] > 1) return ipiErrSyntacticalError;
    if (!d.hasQuant[tq[0]]) return ipiErrSyntacticalError;
    *out = JpegTables();
    out->restartInterval = d.restartInterval;
    std::memcpy(out->quant[0], d.quant[tq[0]], 64);
    out->hasQuant[0] = true;
    auto putHuff = [&](int slot, HuffRef h) {
        if (!h.bits) return;
        std::memcpy(out->bits[slot], h.bits, 16);
        std::memcpy(out->vals[slot], h.vals, 256);
        out->hasHuff[slot] = true;
    };
    putHuff(kJpegLumDC, HuffOf(d, 0, td[0]));
    putHuff(kJpegLumAC, HuffOf(d, 1, ta[0]));
    if (comps == 1) return 0;
    const uint8_t* q1 = d.hasQuant[tq[1]] ? d.quant[tq[1]] : out->quant[0];
    const uint8_t* q2 = d.hasQuant[tq[2]] ? d.quant[tq[2]] : out->quant[0];
    const HuffRef dc1 = HuffOf(d, 0, td[1]), dc2 = HuffOf(d, 0, td[2]);
    const HuffRef ac1 = HuffOf(d, 1, ta[1]), ac2 = HuffOf(d, 1, ta[2]);
    if (std::memcmp(q1, q2, 64) != 0 || !SameHuff(dc1, dc2) || !SameHuff(ac1, ac2)) return ipiErrSyntacticalError;
    std::memcpy(out->quant[1], q1, 64);
    out->hasQuant[1] = true;
    putHuff(kJpegChromDC, dc1);
    putHuff(kJpegChromAC, ac1);
    return 0;
}

}  // namespace

namespace {

// What the frame and scan headers say of the components.
struct Components {
    int count = 0;
    int ids[3] = {0, 0, 0};
    int tq[3] = {0, 0, 0};             // quantisation table selectors
    int td[3] = {0, 0, 0}, ta[3] = {0, 0, 0};  // DC and AC table selectors
};

// Frame header (after its marker): size, components, their sampling and
// quantisation table selectors; the sampling code into *sampling.
int ReadFrame(Cursor& c, JpegStreamInfo* info, Components* comp, int* sampling) {
    if (!c.Has(2)) return ipiErrSyntacticalError;
    const int len = c.U16();
    if ((len != 11 && len != 17) || !c.Has(static_cast<size_t>(len - 2))) return ipiErrSyntacticalError;
    const int precision = c.U8();
    info->height = c.U16();
    info->width = c.U16();
    const int comps = c.U8();
    if (precision != 8 || info->height == 0 || info->width == 0 || (comps != 1 && comps != 3) ||
        len != 8 + 3 * comps)
        return ipiErrSyntacticalError;
    comp->count = comps;
    int h[3] = {0, 0, 0}, v[3] = {0, 0, 0};
    for (int i = 0; i < comps; ++i) {
        comp->ids[i] = c.U8();
        const int hv = c.U8();
        h[i] = hv >> 4;
        v[i] = hv & 15;
        comp->tq[i] = c.U8();
        if (h[i] < 1 || h[i] > 4 || v[i] < 1 || v[i] > 4) return ipiErrSyntacticalError;
    }
    *sampling = kJpegSampling1x1;
    if (comps == 3) {
        // Chroma at one block per MCU, luminance 1x1, 2x1 or 2x2 (or all
        // components alike at 1x1).
        if (h[1] != 1 || v[1] != 1 || h[2] != 1 || v[2] != 1) return ipiErrSyntacticalError;
        if (h[0] == 1 && v[0] == 1) *sampling = kJpegSampling1x1;
        else if (h[0] == 2 && v[0] == 1) *sampling = kJpegSampling2x1;
        else if (h[0] == 2 && v[0] == 2) *sampling = kJpegSampling2x2;
        else return ipiErrSyntacticalError;
    }
    return 0;
}

// Scan header (after its marker): the frame's components in the frame's
// order, each with its DC and AC table selectors.
int ReadScan(Cursor& c, Components* comp) {
    if (!c.Has(3)) return ipiErrSyntacticalError;
    const int slen = c.U16();
    const int ns = c.U8();
    if ((slen != 8 && slen != 12) || ns != comp->count || slen != 6 + 2 * ns ||
        !c.Has(static_cast<size_t>(slen - 3)))
        return ipiErrSyntacticalError;
    for (int j = 0; j < ns; ++j) {
        if (c.U8() != comp->ids[j]) return ipiErrSyntacticalError;
        const int sel = c.U8();
        comp->td[j] = sel >> 4;
        comp->ta[j] = sel & 15;
    }
    c.pos += 3;  // spectral selection and approximation: fixed in a baseline scan
    return 0;
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

    DefinedTables t;
    Components comp;
    int marker = 0, sampling = 0;
    int rc = ReadMiscSegments(c, &t, &marker);
    if (rc) return rc;
    if (marker != 0xC0) return ipiErrSyntacticalError;  // progressive, arithmetic, lossless ... refused
    if ((rc = ReadFrame(c, info, &comp, &sampling))) return rc;
    if ((rc = ReadMiscSegments(c, &t, &marker))) return rc;
    if (marker != 0xDA) return ipiErrSyntacticalError;
    if ((rc = ReadScan(c, &comp))) return rc;
    if ((rc = SelectTables(t, comp.count, comp.tq, comp.td, comp.ta, &info->tables))) return rc;

    info->components = comp.count;
    info->sampling = sampling;
    info->scanOffset = c.pos;
    info->scanSize = size - c.pos;
    return 0;
}
