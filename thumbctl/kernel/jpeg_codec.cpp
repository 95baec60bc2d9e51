// Baseline JPEG codec over plain memory.
//
// Decoding reads the entropy-coded data through a 64-bit bit buffer (filled
// eight bytes at a time where no 0xFF byte is near) with a 10-bit lookahead
// table per Huffman table; for AC codes the table gives run, size and value
// (or end of block, or a run of 16) in one step. Coefficients are dequantised
// with divisors that carry the scale factors of the scaled inverse transform,
// which runs with 8 fractional bits; the blocks of an MCU are all read before
// any is transformed, and each MCU row is then converted into the caller's
// planes, two image rows per chroma row for 16-row MCUs. Where the build has
// SSE2, and where the processor has AVX2, the transform and the colour
// conversion run on vectors that give exactly the pixels of the portable
// code.
//
// A picture decoded at 1/2, 1/4 or 1/8 of its size makes each block 4 x 4,
// 2 x 2 or 1 x 1 pixels, each the mean of the pixels the full-size block
// would give there: at 1/8 the DC value alone; otherwise a block with few
// coefficients sums them through basis functions averaged over the output
// pixels, and a block with many goes through the full-size transform and
// is averaged. Chroma is then taken at the luminance's resolution.
#include "thumbctl/kernel/jpeg_codec.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

namespace {

// 1 / (s_r * s_c) with s_0 = 1 / (2 sqrt 2), s_k = 1 / (4 cos(k pi / 16)).
double InvScale(int k) {
    const double pi = 3.14159265358979323846;
    return k == 0 ? 2.0 * std::sqrt(2.0) : 4.0 * std::cos(k * pi / 16.0);
}

int RoundHalfAway(double v) { return v < 0 ? -static_cast<int>(-v + 0.5) : static_cast<int>(v + 0.5); }

// Working divisors D' = D / (s_r s_c) in natural order.
void ScaledDivisors(const uint8_t natural[64], int32_t out[64]) {
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
            out[r * 8 + c] = RoundHalfAway(natural[r * 8 + c] * InvScale(r) * InvScale(c));
}

// ---- Huffman decoding ----------------------------------------------------

// Lookahead tables are indexed by the next kFastBits bits of the stream.
constexpr int kFastBits = 10;

// AC lookahead entry: bits 0..7 the bits it consumes, bits 8..15 what it is
// (a run of 0..15 zeros before a coefficient whose value is in bits 16..31,
// or one of the kinds below).
enum : int {
    kAcEndOfBlock = 0x10,  // consumes the code
    kAcZeroRun16 = 0x11,   // 0xF0: skip 16 positions, consumes the code
    kAcSymbol = 0x12,      // code known (run/size in bits 16..23), value still to read
    kAcLongCode = 0x13,    // code longer than kFastBits: slow search
};

struct HuffDecoder {
    uint16_t fast[1 << kFastBits];     // (length << 8) | symbol, 0: longer code
    int32_t fastAC[1 << kFastBits];    // see above
    int32_t maxCode[18];               // largest code of each length, -1 when none
    int32_t valOffset[18];             // index of a code's symbol = code + offset
    uint8_t vals[256];
};

inline int32_t AcEntry(int value, int kind, int bitsUsed) {
    return static_cast<int32_t>(static_cast<uint32_t>(value) << 16) | (kind << 8) | bitsUsed;
}

// Builds the decoder of one table (T.81 F.2.2.3 plus the lookahead tables).
// False for a table whose counts do not form a prefix code.
bool BuildDecoder(const uint8_t bits[16], const uint8_t* vals, bool ac, HuffDecoder* d) {
    std::memset(d, 0, sizeof(*d));
    int total = 0;
    for (int i = 0; i < 16; ++i) total += bits[i];
    if (total > 256) return false;
    std::memcpy(d->vals, vals, static_cast<size_t>(total));
    int code = 0, k = 0;
    for (int len = 1; len <= 16; ++len) {
        const int n = bits[len - 1];
        d->valOffset[len] = k - code;
        d->maxCode[len] = n ? code + n - 1 : -1;
        for (int i = 0; i < n; ++i, ++k, ++code) {
            if (code >= (1 << len)) return false;  // not a prefix code
            if (len <= kFastBits) {
                const int shift = kFastBits - len;
                for (int j = 0; j < (1 << shift); ++j)
                    d->fast[(code << shift) | j] = static_cast<uint16_t>((len << 8) | d->vals[k]);
            }
        }
        if (code > (1 << len)) return false;
        code <<= 1;
    }
    d->maxCode[17] = 0x7fffffff;
    if (ac) {
        for (int i = 0; i < (1 << kFastBits); ++i) {
            const int e = d->fast[i];
            if (!e) {
                d->fastAC[i] = AcEntry(0, kAcLongCode, 0);
                continue;
            }
            const int len = e >> 8, rs = e & 255, run = rs >> 4, size = rs & 15;
            if (size == 0) {
                d->fastAC[i] = AcEntry(0, run == 15 ? kAcZeroRun16 : kAcEndOfBlock, len);
            } else if (size > 8 || len + size > kFastBits) {
                // Values of at most 8 bits keep the dequantised product below
                // 2^20, so only those skip the clamp of the slow path.
                d->fastAC[i] = AcEntry(rs, kAcSymbol, len);
            } else {
                int v = ((i << len) & ((1 << kFastBits) - 1)) >> (kFastBits - size);
                if (v < (1 << (size - 1))) v -= (1 << size) - 1;
                d->fastAC[i] = AcEntry(v, run, len + size);
            }
        }
    }
    return true;
}

inline uint64_t LoadBigEndian64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(__GNUC__) || defined(__clang__)
    return __builtin_bswap64(v);
#else
    uint64_t r = 0;
    for (int i = 0; i < 8; ++i) r = (r << 8) | p[i];
    return r;
#endif
}

// Bit input: the next bits stand left-aligned in `buf`, the bits below them
// are 0. At a marker or at the end of the data zero bits are fed in and
// counted in `pad`; reading into them is an error.
struct BitReader {
    const uint8_t* p;
    const uint8_t* end;
    uint64_t buf = 0;
    int bits = 0;
    int pad = 0;
    bool stopped = false;    // no more real bytes until the next restart
    bool atMarker = false;   // stopped at 0xFF followed by a non-zero byte

    // Tops the buffer up to more than 56 bits. Eight bytes without 0xFF are
    // taken in one step (as many as fit, exactly as the byte loop would).
    void Fill() {
        if (!stopped && end - p >= 8) {
            const uint64_t w = LoadBigEndian64(p);
            const uint64_t x = ~w;  // a zero byte here is a 0xFF byte there
            if (((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) == 0) {
                const int n = (64 - bits) >> 3;  // 1..8 whole bytes
                buf |= (w & (~0ull << (64 - 8 * n))) >> bits;
                bits += 8 * n;
                p += n;
                return;
            }
        }
        FillBytes();
    }
    void FillBytes() {
        while (bits <= 56) {
            if (stopped) {
                pad += 64 - bits;
                bits = 64;
                return;
            }
            if (p >= end) {
                stopped = true;
                continue;
            }
            uint32_t b = *p;
            if (b == 0xFF) {
                if (p + 1 < end && p[1] == 0) {
                    p += 2;
                } else {
                    stopped = true;
                    atMarker = p + 1 < end;
                    continue;
                }
            } else {
                ++p;
            }
            buf |= static_cast<uint64_t>(b) << (56 - bits);
            bits += 8;
        }
    }
    void Ensure(int n) {
        if (bits < n) Fill();
    }
    uint32_t Peek(int n) const { return static_cast<uint32_t>(buf >> (64 - n)); }
    void Skip(int n) {
        buf <<= n;
        bits -= n;
    }
    // Value of the next `size` bits (1..16), sign-extended as T.81 EXTEND.
    int Receive(int size) {
        const int v = static_cast<int>(Peek(size));
        Skip(size);
        return v < (1 << (size - 1)) ? v - ((1 << size) - 1) : v;
    }
    bool Overrun() const { return bits < pad; }
    int OverrunCode() const { return atMarker ? ipiErrSemanticalError : ipiErrInsufficientSize; }

    // Restart: drop the bits of the current byte and the two marker bytes.
    void Restart() {
        buf = 0;
        bits = pad = 0;
        if (stopped && atMarker) {
            p += 2;
        } else {
            // Damaged stream: go on after the next restart marker.
            while (p + 1 < end && !(p[0] == 0xFF && p[1] >= 0xD0 && p[1] <= 0xD7)) ++p;
            p = p + 1 < end ? p + 2 : end;
        }
        stopped = atMarker = false;
    }
};

// Symbol of a code longer than the lookahead (at least 16 bits buffered).
int DecodeLongSymbol(BitReader& br, const HuffDecoder& h) {
    const uint32_t code16 = br.Peek(16);
    for (int len = kFastBits + 1; len <= 16; ++len) {
        const int32_t c = static_cast<int32_t>(code16 >> (16 - len));
        if (c <= h.maxCode[len]) {
            br.Skip(len);
            return h.vals[(c + h.valOffset[len]) & 255];
        }
    }
    return -1;
}

inline int DecodeSymbol(BitReader& br, const HuffDecoder& h) {
    const int e = h.fast[br.Peek(kFastBits)];
    if (e) {
        br.Skip(e >> 8);
        return e & 255;
    }
    return DecodeLongSymbol(br, h);
}

// Dequantised coefficients are kept within +-2^20, so the transform's sums
// cannot overflow whatever the data holds (real images stay below 2^15).
inline int32_t ClampCoef(int32_t v) {
    return v < -(1 << 20) ? -(1 << 20) : (v > (1 << 20) ? (1 << 20) : v);
}

// One block: coefficients dequantised into natural order into `blk`, which
// must be all zero on entry; *count receives the number of AC coefficients
// stored (0: a flat block).
// `dqz` holds, per zig-zag index, the divisor times 64 plus the natural
// position.
// How a block's AC coefficients are kept: all stored; read past but not
// stored; stored with their natural positions listed in `listed`, in the
// order read.
enum class AcStore { kAll, kNone, kListed };

template <AcStore Store>
int DecodeBlock(BitReader& reader, const HuffDecoder& dc, const HuffDecoder& ac, int* pred,
                const uint32_t* dqz, int32_t blk[64], int* count, uint8_t* listed = nullptr) {
    BitReader br = reader;  // kept in registers while the block is read
    br.Ensure(32);
    const int t = DecodeSymbol(br, dc);
    if (t < 0 || t > 11) return ipiErrSyntacticalError;
    const int diff = t ? br.Receive(t) : 0;
    int p = *pred + diff;
    p = p < -32768 ? -32768 : (p > 32767 ? 32767 : p);
    *pred = p;
    blk[0] = ClampCoef(p * static_cast<int32_t>(dqz[0] >> 6));
    int n = 0;
    int k = 1;
    const int32_t* fastAC = ac.fastAC;
    while (k < 64) {
        br.Ensure(32);
        const int32_t f = fastAC[br.Peek(kFastBits)];
        const int kind = (f >> 8) & 0xFF;
        if (kind < 16) {
            k += kind;
            br.Skip(f & 0xFF);
            if (k > 63) return ipiErrSyntacticalError;
            if (Store != AcStore::kNone) {
                const uint32_t e = dqz[k];
                blk[e & 63] = (f >> 16) * static_cast<int32_t>(e >> 6);
                if (Store == AcStore::kListed) listed[n] = static_cast<uint8_t>(e & 63);
            }
            ++n;
            ++k;
            continue;
        }
        if (kind == kAcEndOfBlock) {
            br.Skip(f & 0xFF);
            break;
        }
        if (kind == kAcZeroRun16) {
            br.Skip(f & 0xFF);
            k += 16;
            continue;
        }
        int rs;
        if (kind == kAcSymbol) {
            br.Skip(f & 0xFF);
            rs = (f >> 16) & 0xFF;
        } else {
            rs = DecodeLongSymbol(br, ac);
            if (rs < 0) return ipiErrSyntacticalError;
        }
        const int run = rs >> 4, size = rs & 15;
        if (size == 0) {
            if (run != 15) break;
            k += 16;
            continue;
        }
        k += run;
        if (k > 63) return ipiErrSyntacticalError;
        const int value = br.Receive(size);
        if (Store != AcStore::kNone) {
            const uint32_t e = dqz[k];
            blk[e & 63] = ClampCoef(value * static_cast<int32_t>(e >> 6));
            if (Store == AcStore::kListed) listed[n] = static_cast<uint8_t>(e & 63);
        }
        ++n;
        ++k;
    }
    reader = br;
    *count = n;
    return 0;
}

// ---- inverse transform -----------------------------------------------------

// Product with 8 fractional bits. The multiplication wraps instead of
// overflowing: inputs are clamped so that only damaged data could get there.
inline int32_t Mul8(int32_t x, int32_t c) {
    return static_cast<int32_t>(static_cast<uint32_t>(x) * static_cast<uint32_t>(c)) >> 8;
}

inline uint8_t Clamp255(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Sample range limit for values -384..639 (index value + 384).
struct RangeLimit {
    uint8_t t[1024];
    RangeLimit() {
        for (int i = 0; i < 1024; ++i) t[i] = Clamp255(i - 384);
    }
};
const RangeLimit kRange;
inline uint8_t Limit(int32_t v) { return kRange.t[(v + 384) & 1023]; }

// Scaled inverse DCT of a dequantised block (inputs carry the factors
// 1 / (s_r s_c), so outputs come out 64 times too large).
void InverseTransform(const int32_t* in, uint8_t* out, ptrdiff_t stride) {
    int32_t ws[64];
    for (int c = 0; c < 8; ++c) {
        const int32_t* col = in + c;
        int32_t* w = ws + c;
        if ((col[8] | col[16] | col[24] | col[32] | col[40] | col[48] | col[56]) == 0) {
            const int32_t dc = col[0];
            for (int r = 0; r < 8; ++r) w[r * 8] = dc;
            continue;
        }
        int32_t t10 = col[0] + col[32], t11 = col[0] - col[32];
        int32_t t13 = col[16] + col[48];
        int32_t t12 = Mul8(col[16] - col[48], 362) - t13;
        const int32_t t0 = t10 + t13, t3 = t10 - t13, t1 = t11 + t12, t2 = t11 - t12;
        const int32_t z13 = col[40] + col[24], z10 = col[40] - col[24];
        const int32_t z11 = col[8] + col[56], z12 = col[8] - col[56];
        const int32_t t7 = z11 + z13;
        t11 = Mul8(z11 - z13, 362);
        const int32_t z5 = Mul8(z10 + z12, 473);
        t10 = Mul8(z12, 277) - z5;
        t12 = Mul8(z10, -669) + z5;
        const int32_t t6 = t12 - t7, t5 = t11 - t6, t4 = t10 + t5;
        w[0] = t0 + t7;
        w[56] = t0 - t7;
        w[8] = t1 + t6;
        w[48] = t1 - t6;
        w[16] = t2 + t5;
        w[40] = t2 - t5;
        w[32] = t3 + t4;
        w[24] = t3 - t4;
    }
    for (int r = 0; r < 8; ++r) {
        const int32_t* row = ws + r * 8;
        uint8_t* o = out + r * stride;
        // The rounding term and the level shift ride on the DC input.
        const int32_t d0 = row[0] + 32 + (128 << 6);
        int32_t t10 = d0 + row[4], t11 = d0 - row[4];
        int32_t t13 = row[2] + row[6];
        int32_t t12 = Mul8(row[2] - row[6], 362) - t13;
        const int32_t t0 = t10 + t13, t3 = t10 - t13, t1 = t11 + t12, t2 = t11 - t12;
        const int32_t z13 = row[5] + row[3], z10 = row[5] - row[3];
        const int32_t z11 = row[1] + row[7], z12 = row[1] - row[7];
        const int32_t t7 = z11 + z13;
        t11 = Mul8(z11 - z13, 362);
        const int32_t z5 = Mul8(z10 + z12, 473);
        t10 = Mul8(z12, 277) - z5;
        t12 = Mul8(z10, -669) + z5;
        const int32_t t6 = t12 - t7, t5 = t11 - t6, t4 = t10 + t5;
        o[0] = Limit((t0 + t7) >> 6);
        o[7] = Limit((t0 - t7) >> 6);
        o[1] = Limit((t1 + t6) >> 6);
        o[6] = Limit((t1 - t6) >> 6);
        o[2] = Limit((t2 + t5) >> 6);
        o[5] = Limit((t2 - t5) >> 6);
        o[4] = Limit((t3 + t4) >> 6);
        o[3] = Limit((t3 - t4) >> 6);
    }
}

#ifdef __SSE2__
// The same transform on four columns (then four rows) at once, in 32-bit
// lanes with the same wrapping products and shifts, so every output equals
// the scalar one.

// Low 32 bits of x * c for a constant 0 < c < 2^15 held in every 16-bit lane
// of `c`: the low halves' full products plus the high halves' low products.
inline __m128i MulLow32(__m128i x, __m128i c) {
    return _mm_add_epi32(_mm_mullo_epi16(x, c), _mm_slli_epi32(_mm_mulhi_epu16(x, c), 16));
}

// One-dimensional stage on vectors x[0..7] (input k of four transforms);
// outputs in x[0..7].
inline void InverseStage(__m128i x[8]) {
    const __m128i k362 = _mm_set1_epi16(362), k473 = _mm_set1_epi16(473), k277 = _mm_set1_epi16(277),
                  k669 = _mm_set1_epi16(669);
    __m128i t10 = _mm_add_epi32(x[0], x[4]), t11 = _mm_sub_epi32(x[0], x[4]);
    const __m128i t13 = _mm_add_epi32(x[2], x[6]);
    __m128i t12 = _mm_sub_epi32(_mm_srai_epi32(MulLow32(_mm_sub_epi32(x[2], x[6]), k362), 8), t13);
    const __m128i t0 = _mm_add_epi32(t10, t13), t3 = _mm_sub_epi32(t10, t13);
    const __m128i t1 = _mm_add_epi32(t11, t12), t2 = _mm_sub_epi32(t11, t12);
    const __m128i z13 = _mm_add_epi32(x[5], x[3]), z10 = _mm_sub_epi32(x[5], x[3]);
    const __m128i z11 = _mm_add_epi32(x[1], x[7]), z12 = _mm_sub_epi32(x[1], x[7]);
    const __m128i t7 = _mm_add_epi32(z11, z13);
    t11 = _mm_srai_epi32(MulLow32(_mm_sub_epi32(z11, z13), k362), 8);
    const __m128i z5 = _mm_srai_epi32(MulLow32(_mm_add_epi32(z10, z12), k473), 8);
    t10 = _mm_sub_epi32(_mm_srai_epi32(MulLow32(z12, k277), 8), z5);
    // z10 * -669 is the negated product.
    t12 = _mm_add_epi32(_mm_srai_epi32(_mm_sub_epi32(_mm_setzero_si128(), MulLow32(z10, k669)), 8), z5);
    const __m128i t6 = _mm_sub_epi32(t12, t7), t5 = _mm_sub_epi32(t11, t6), t4 = _mm_add_epi32(t10, t5);
    x[0] = _mm_add_epi32(t0, t7);
    x[7] = _mm_sub_epi32(t0, t7);
    x[1] = _mm_add_epi32(t1, t6);
    x[6] = _mm_sub_epi32(t1, t6);
    x[2] = _mm_add_epi32(t2, t5);
    x[5] = _mm_sub_epi32(t2, t5);
    x[4] = _mm_add_epi32(t3, t4);
    x[3] = _mm_sub_epi32(t3, t4);
}

inline void Transpose4(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
    const __m128i t0 = _mm_unpacklo_epi32(a, b), t1 = _mm_unpacklo_epi32(c, d);
    const __m128i t2 = _mm_unpackhi_epi32(a, b), t3 = _mm_unpackhi_epi32(c, d);
    a = _mm_unpacklo_epi64(t0, t1);
    b = _mm_unpackhi_epi64(t0, t1);
    c = _mm_unpacklo_epi64(t2, t3);
    d = _mm_unpackhi_epi64(t2, t3);
}

// Leaves the block all zero.
void InverseTransformSse2(int32_t* in, uint8_t* out, ptrdiff_t stride) {
    // Columns: w[h][r] holds row r of columns 4h..4h+3.
    __m128i w[2][8];
    for (int h = 0; h < 2; ++h) {
        for (int r = 0; r < 8; ++r) {
            w[h][r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + r * 8 + 4 * h));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(in + r * 8 + 4 * h), _mm_setzero_si128());
        }
        InverseStage(w[h]);
    }
    // Rows, four at a time: x[j] holds element j of rows 4g..4g+3.
    const __m128i bias = _mm_set1_epi32(32 + (128 << 6));
    const __m128i k384 = _mm_set1_epi32(384), k1023 = _mm_set1_epi32(1023);
    __m128i res[2][8];
    for (int g = 0; g < 2; ++g) {
        __m128i* x = res[g];
        for (int h = 0; h < 2; ++h) {
            x[4 * h + 0] = w[h][4 * g + 0];
            x[4 * h + 1] = w[h][4 * g + 1];
            x[4 * h + 2] = w[h][4 * g + 2];
            x[4 * h + 3] = w[h][4 * g + 3];
            Transpose4(x[4 * h + 0], x[4 * h + 1], x[4 * h + 2], x[4 * h + 3]);
        }
        x[0] = _mm_add_epi32(x[0], bias);
        InverseStage(x);
        // Range limit as the table does it: index (v + 384) mod 1024.
        for (int j = 0; j < 8; ++j)
            x[j] = _mm_sub_epi32(_mm_and_si128(_mm_add_epi32(_mm_srai_epi32(x[j], 6), k384), k1023), k384);
    }
    // Column j of all eight rows as 16-bit values, then transposed to rows.
    __m128i c[8];
    for (int j = 0; j < 8; ++j) c[j] = _mm_packs_epi32(res[0][j], res[1][j]);
    const __m128i a0 = _mm_unpacklo_epi16(c[0], c[1]), a1 = _mm_unpackhi_epi16(c[0], c[1]);
    const __m128i a2 = _mm_unpacklo_epi16(c[2], c[3]), a3 = _mm_unpackhi_epi16(c[2], c[3]);
    const __m128i a4 = _mm_unpacklo_epi16(c[4], c[5]), a5 = _mm_unpackhi_epi16(c[4], c[5]);
    const __m128i a6 = _mm_unpacklo_epi16(c[6], c[7]), a7 = _mm_unpackhi_epi16(c[6], c[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    const __m128i rows[4] = {
        _mm_packus_epi16(_mm_unpacklo_epi64(b0, b4), _mm_unpackhi_epi64(b0, b4)),
        _mm_packus_epi16(_mm_unpacklo_epi64(b1, b5), _mm_unpackhi_epi64(b1, b5)),
        _mm_packus_epi16(_mm_unpacklo_epi64(b2, b6), _mm_unpackhi_epi64(b2, b6)),
        _mm_packus_epi16(_mm_unpacklo_epi64(b3, b7), _mm_unpackhi_epi64(b3, b7)),
    };
    for (int r = 0; r < 4; ++r) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (2 * r) * stride), rows[r]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (2 * r + 1) * stride), _mm_srli_si128(rows[r], 8));
    }
}
#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SORVANTA_JPEG_AVX2 1
// The same transform on processors with AVX2, taken when the processor says
// it has it: all eight columns (then all eight rows) at once in 32-bit lanes,
// with the very products, shifts and range limit of the scalar code.
#define SORVANTA_AVX2 __attribute__((target("avx2")))

SORVANTA_AVX2 inline __m256i Mul8Avx2(__m256i x, int c) {
    return _mm256_srai_epi32(_mm256_mullo_epi32(x, _mm256_set1_epi32(c)), 8);
}

SORVANTA_AVX2 inline void InverseStageAvx2(__m256i x[8]) {
    __m256i t10 = _mm256_add_epi32(x[0], x[4]), t11 = _mm256_sub_epi32(x[0], x[4]);
    const __m256i t13 = _mm256_add_epi32(x[2], x[6]);
    __m256i t12 = _mm256_sub_epi32(Mul8Avx2(_mm256_sub_epi32(x[2], x[6]), 362), t13);
    const __m256i t0 = _mm256_add_epi32(t10, t13), t3 = _mm256_sub_epi32(t10, t13);
    const __m256i t1 = _mm256_add_epi32(t11, t12), t2 = _mm256_sub_epi32(t11, t12);
    const __m256i z13 = _mm256_add_epi32(x[5], x[3]), z10 = _mm256_sub_epi32(x[5], x[3]);
    const __m256i z11 = _mm256_add_epi32(x[1], x[7]), z12 = _mm256_sub_epi32(x[1], x[7]);
    const __m256i t7 = _mm256_add_epi32(z11, z13);
    t11 = Mul8Avx2(_mm256_sub_epi32(z11, z13), 362);
    const __m256i z5 = Mul8Avx2(_mm256_add_epi32(z10, z12), 473);
    t10 = _mm256_sub_epi32(Mul8Avx2(z12, 277), z5);
    t12 = _mm256_add_epi32(Mul8Avx2(z10, -669), z5);
    const __m256i t6 = _mm256_sub_epi32(t12, t7), t5 = _mm256_sub_epi32(t11, t6), t4 = _mm256_add_epi32(t10, t5);
    x[0] = _mm256_add_epi32(t0, t7);
    x[7] = _mm256_sub_epi32(t0, t7);
    x[1] = _mm256_add_epi32(t1, t6);
    x[6] = _mm256_sub_epi32(t1, t6);
    x[2] = _mm256_add_epi32(t2, t5);
    x[5] = _mm256_sub_epi32(t2, t5);
    x[4] = _mm256_add_epi32(t3, t4);
    x[3] = _mm256_sub_epi32(t3, t4);
}

// x[r] lane c becomes x[c] lane r.
SORVANTA_AVX2 inline void Transpose8Avx2(__m256i x[8]) {
    __m256i a[8], b[8];
    for (int i = 0; i < 8; i += 2) {
        a[i] = _mm256_unpacklo_epi32(x[i], x[i + 1]);
        a[i + 1] = _mm256_unpackhi_epi32(x[i], x[i + 1]);
    }
    for (int i = 0; i < 8; i += 4) {
        b[i] = _mm256_unpacklo_epi64(a[i], a[i + 2]);
        b[i + 1] = _mm256_unpackhi_epi64(a[i], a[i + 2]);
        b[i + 2] = _mm256_unpacklo_epi64(a[i + 1], a[i + 3]);
        b[i + 3] = _mm256_unpackhi_epi64(a[i + 1], a[i + 3]);
    }
    for (int i = 0; i < 4; ++i) {
        x[i] = _mm256_permute2x128_si256(b[i], b[i + 4], 0x20);
        x[i + 4] = _mm256_permute2x128_si256(b[i], b[i + 4], 0x31);
    }
}

// `in` is aligned to 32 bytes; the block is left all zero.
SORVANTA_AVX2 void InverseTransformAvx2(int32_t* in, uint8_t* out, ptrdiff_t stride) {
    // Columns: x[r] holds row r of all eight columns.
    __m256i* const v = reinterpret_cast<__m256i*>(in);
    __m256i x[8] = {_mm256_load_si256(v), _mm256_load_si256(v + 1), _mm256_load_si256(v + 2),
                    _mm256_load_si256(v + 3), _mm256_load_si256(v + 4), _mm256_load_si256(v + 5),
                    _mm256_load_si256(v + 6), _mm256_load_si256(v + 7)};
    const __m256i zero = _mm256_setzero_si256();
    _mm256_store_si256(v, zero);
    _mm256_store_si256(v + 1, zero);
    _mm256_store_si256(v + 2, zero);
    _mm256_store_si256(v + 3, zero);
    _mm256_store_si256(v + 4, zero);
    _mm256_store_si256(v + 5, zero);
    _mm256_store_si256(v + 6, zero);
    _mm256_store_si256(v + 7, zero);
    InverseStageAvx2(x);
    // Rows: x[j] holds element j of all eight rows.
    Transpose8Avx2(x);
    x[0] = _mm256_add_epi32(x[0], _mm256_set1_epi32(32 + (128 << 6)));
    InverseStageAvx2(x);
    // Range limit as the table does it: index (v + 384) mod 1024.
    const __m256i k384 = _mm256_set1_epi32(384), k1023 = _mm256_set1_epi32(1023);
    for (int j = 0; j < 8; ++j)
        x[j] = _mm256_sub_epi32(_mm256_and_si256(_mm256_add_epi32(_mm256_srai_epi32(x[j], 6), k384), k1023), k384);
    // Back to rows, clamped to bytes two rows at a time.
    Transpose8Avx2(x);
    for (int r = 0; r < 8; r += 2) {
        const __m128i a = _mm_packs_epi32(_mm256_castsi256_si128(x[r]), _mm256_extracti128_si256(x[r], 1));
        const __m128i b = _mm_packs_epi32(_mm256_castsi256_si128(x[r + 1]), _mm256_extracti128_si256(x[r + 1], 1));
        const __m128i px = _mm_packus_epi16(a, b);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + r * stride), px);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (r + 1) * stride), _mm_srli_si128(px, 8));
    }
}
#endif

// Value of a block whose only coefficient is `dc` (dequantised and scaled).
inline uint8_t FlatValue(int32_t dc) { return Clamp255((dc + 32 + (128 << 6)) >> 6); }

void FlatBlock(int32_t dc, uint8_t* out, ptrdiff_t stride) {
    const uint8_t v = FlatValue(dc);
    for (int r = 0; r < 8; ++r) std::memset(out + r * stride, v, 8);
}

// The code the decoder runs: the portable code or one of the vector paths,
// which all store the very same pixels.
enum class Code { kPortable = 0, kSse2 = 1, kAvx2 = 2 };

// Pixels of a decoded block (aligned to 32 bytes); the block is left all
// zero again.
inline void DecodeToPixels(int32_t* blk, int count, uint8_t* out, ptrdiff_t stride, Code code) {
    if (count == 0) {
        FlatBlock(blk[0], out, stride);
    } else {
#ifdef SORVANTA_JPEG_AVX2
        if (code == Code::kAvx2) {
            InverseTransformAvx2(blk, out, stride);
            return;
        }
#endif
#ifdef __SSE2__
        if (code != Code::kPortable) {
            InverseTransformSse2(blk, out, stride);
            return;
        }
#endif
        InverseTransform(blk, out, stride);
        std::memset(blk, 0, 64 * sizeof(int32_t));
    }
    blk[0] = 0;
}

// ---- reduced-size inverse transforms ------------------------------------------

// Basis functions of the scaled transform averaged over the output pixels of
// a block made n pixels wide (n = 8, 4, 2, 1): entry [u][x] is the mean over
// pixels x s .. x s + s - 1 (s = 8 / n) of cos((2 i + 1) u pi / 16) /
// cos(u pi / 16) (1 for u = 0), with 12 fractional bits. A block reduced
// with them holds the means of the s x s pixels the full transform gives
// there, before the clamp.
struct ReducedBasis {
    int32_t h[4][8][8] = {};  // [log2(8 / n)][u][x]
    ReducedBasis() {
        const double pi = 3.14159265358979323846;
        for (int shift = 0; shift < 4; ++shift) {
            const int n = 8 >> shift, s = 1 << shift;
            for (int u = 0; u < 8; ++u) {
                for (int x = 0; x < n; ++x) {
                    double sum = 0;
                    for (int k = 0; k < s; ++k)
                        sum += u == 0 ? 1.0 : std::cos((2 * (x * s + k) + 1) * u * pi / 16) / std::cos(u * pi / 16);
                    h[shift][u][x] = RoundHalfAway(sum / s * 4096);
                }
            }
        }
    }
};
const ReducedBasis kReduced;

// A dequantised block straight to (8 >> xShift) x (8 >> yShift) pixels
// through the averaged basis, in exact 64-bit sums: first each column
// frequency that has a coefficient (the DC and the `count` listed ones) is
// taken down the output rows, then each output row along the columns used.
// Leaves the block all zero.
void ReducedTransform(int32_t* blk, const uint8_t* listed, int count, int xShift, int yShift, uint8_t* out,
                      ptrdiff_t stride) {
    const int32_t(*hx)[8] = kReduced.h[xShift];
    const int32_t(*hy)[8] = kReduced.h[yShift];
    const int nx = 8 >> xShift, ny = 8 >> yShift;
    int64_t ws[8][8];  // [output row][column frequency], 12 fractional bits
    for (int y = 0; y < ny; ++y) ws[y][0] = int64_t(blk[0]) * 4096;  // the DC's basis is 1 everywhere
    blk[0] = 0;
    unsigned used = 1;  // column frequencies with a coefficient
    for (int k = 0; k < count; ++k) {
        const int pos = listed[k];
        const int64_t c = blk[pos];
        blk[pos] = 0;
        const int v = pos >> 3, u = pos & 7;
        if (!(used & (1u << u))) {
            used |= 1u << u;
            for (int y = 0; y < ny; ++y) ws[y][u] = 0;
        }
        for (int y = 0; y < ny; ++y) ws[y][u] += c * hy[v][y];
    }
    int columns[8], n = 0;
    for (int u = 0; u < 8; ++u)
        if (used & (1u << u)) columns[n++] = u;
    // Sums carry 24 fractional bits and 64 times the sample; the rounding
    // term and the level shift start them.
    const int64_t bias = int64_t(32 + (128 << 6)) << 24;
    for (int y = 0; y < ny; ++y) {
        for (int x = 0; x < nx; ++x) {
            int64_t acc = bias;
            for (int i = 0; i < n; ++i) acc += ws[y][columns[i]] * hx[columns[i]][x];
            acc >>= 30;
            out[y * stride + x] = static_cast<uint8_t>(acc < 0 ? 0 : (acc > 255 ? 255 : acc));
        }
    }
}

#ifdef __SSE2__
// The 2 x 2 cells of an 8 x 8 block averaged into 4 x 4 pixels, rounded as
// the portable loop does: (sum + 2) / 4.
inline void AverageHalfSse2(const uint8_t* px, uint8_t* out, ptrdiff_t stride) {
    const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi16(1), two = _mm_set1_epi32(2);
    __m128i q[4];
    for (int y = 0; y < 4; ++y) {
        const __m128i a = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(px + 16 * y)), zero);
        const __m128i b = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(px + 16 * y + 8)), zero);
        q[y] = _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_add_epi16(a, b), ones), two), 2);
    }
    const __m128i p = _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3]));
    const int32_t rows[4] = {_mm_cvtsi128_si32(p), _mm_cvtsi128_si32(_mm_srli_si128(p, 4)),
                             _mm_cvtsi128_si32(_mm_srli_si128(p, 8)), _mm_cvtsi128_si32(_mm_srli_si128(p, 12))};
    for (int y = 0; y < 4; ++y) std::memcpy(out + y * stride, &rows[y], 4);
}

// The 4 x 4 cells of an 8 x 8 block averaged into 2 x 2 pixels: (sum + 8) / 16.
inline void AverageQuarterSse2(const uint8_t* px, uint8_t* out, ptrdiff_t stride) {
    const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi16(1), eight = _mm_set1_epi32(8);
    for (int y = 0; y < 2; ++y) {
        __m128i sum = zero;
        for (int r = 0; r < 4; ++r)
            sum = _mm_add_epi16(sum, _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(px + 8 * (4 * y + r))), zero));
        const __m128i pairs = _mm_madd_epi16(sum, ones);  // columns 0+1, 2+3, 4+5, 6+7
        const __m128i quads = _mm_srli_epi32(_mm_add_epi32(_mm_add_epi32(pairs, _mm_srli_epi64(pairs, 32)), eight), 4);
        out[y * stride] = static_cast<uint8_t>(_mm_cvtsi128_si32(quads));
        out[y * stride + 1] = static_cast<uint8_t>(_mm_cvtsi128_si32(_mm_srli_si128(quads, 8)));
    }
}
#endif

// Blocks with at most this many AC coefficients are reduced through the
// averaged basis; beyond it the full-size transform and averaging its pixels
// cost less.
constexpr int kSparseCoefficients = 6;

// Pixels of a decoded block made (8 >> xShift) x (8 >> yShift) pixels; the
// block is left all zero again. 8 x 8 is the full-size transform (all AC
// coefficients stored); a 1 x 1 block had only its DC stored; other sizes
// had their AC positions listed.
inline void DecodeToReducedPixels(int32_t* blk, const uint8_t* listed, int count, int xShift, int yShift,
                                  uint8_t* out, ptrdiff_t stride, Code code) {
    const bool vector = code != Code::kPortable;
    if (xShift == 0 && yShift == 0) {
        DecodeToPixels(blk, count, out, stride, code);
        return;
    }
    if (count == 0 || (xShift == 3 && yShift == 3)) {
        const uint8_t v = FlatValue(blk[0]);
        for (int r = 0; r < (8 >> yShift); ++r) std::memset(out + r * stride, v, static_cast<size_t>(8 >> xShift));
        blk[0] = 0;
        return;
    }
    if (count <= kSparseCoefficients) {
        ReducedTransform(blk, listed, count, xShift, yShift, out, stride);
        return;
    }
    // A block with many coefficients goes through the fast full-size
    // transform; its pixels are then averaged over each output pixel's cell.
    alignas(16) uint8_t px[64];
    DecodeToPixels(blk, count, px, 8, code);
#ifdef __SSE2__
    if (vector && xShift == 1 && yShift == 1) {
        AverageHalfSse2(px, out, stride);
        return;
    }
    if (vector && xShift == 2 && yShift == 2) {
        AverageQuarterSse2(px, out, stride);
        return;
    }
#endif
    const int nx = 8 >> xShift, ny = 8 >> yShift, sx = 1 << xShift, sy = 1 << yShift;
    const int cellShift = xShift + yShift, half = (1 << cellShift) >> 1;
    for (int y = 0; y < ny; ++y) {
        for (int x = 0; x < nx; ++x) {
            int sum = 0;
            for (int j = 0; j < sy; ++j)
                for (int i = 0; i < sx; ++i) sum += px[(y * sy + j) * 8 + x * sx + i];
            out[y * stride + x] = static_cast<uint8_t>((sum + half) >> cellShift);
        }
    }
}

// ---- colour conversion -------------------------------------------------------

struct ColourTables {
    int32_t r[256], b[256], gcb[256], gcr[256];
    uint8_t clamp[768];  // value + 256 -> value limited to 0..255
    ColourTables() {
        for (int i = 0; i < 768; ++i) clamp[i] = Clamp255(i - 256);
        for (int i = 0; i < 256; ++i) {
            const int c = i - 128;
            r[i] = (359 * c + 128) >> 8;
            b[i] = (454 * c + 128) >> 8;
            gcb[i] = -88 * c;
            gcr[i] = -183 * c + 128;
        }
    }
};
const ColourTables& Colour() {
    static const ColourTables t;
    return t;
}

// Converts `n` pixels of one image row, or of two rows sharing the chroma
// row (Pair, `y1` the second row); chroma sample i/H covers pixel i. `o0`
// and `o1` are the rows' R, G, B starts. Step is the output pixel step when
// known at compile time (0: runtime).
template <int H, int Step, bool Pair>
void ConvertRow(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, int n,
                uint8_t* const o0[3], uint8_t* const o1[3], ptrdiff_t sr, ptrdiff_t sg, ptrdiff_t sb) {
    const ColourTables& t = Colour();
    if (Step) sr = sg = sb = Step;
    // Y + term lies within -180..434.
    const uint8_t* clamp = t.clamp + 256;
    uint8_t *R0 = o0[0], *G0 = o0[1], *B0 = o0[2];
    uint8_t *R1 = o1[0], *G1 = o1[1], *B1 = o1[2];
    // Pixels from .. to - 1, which share chroma sample c.
    auto convert = [&](int c, int from, int to) {
        const int rt = t.r[cr[c]], gt = (t.gcb[cb[c]] + t.gcr[cr[c]]) >> 8, bt = t.b[cb[c]];
        for (int j = from; j < to; ++j) {
            const int Y = y0[j];
            R0[j * sr] = clamp[Y + rt];
            G0[j * sg] = clamp[Y + gt];
            B0[j * sb] = clamp[Y + bt];
            if (Pair) {
                const int Y1 = y1[j];
                R1[j * sr] = clamp[Y1 + rt];
                G1[j * sg] = clamp[Y1 + gt];
                B1[j * sb] = clamp[Y1 + bt];
            }
        }
    };
    int i = 0, c = 0;
    for (; i + H <= n; i += H, ++c) convert(c, i, i + H);
    if (i < n) convert(c, i, n);
}

template <int H, bool Pair>
void ConvertRowAnyStep(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, int n,
                       uint8_t* const o0[3], uint8_t* const o1[3], ptrdiff_t sr, ptrdiff_t sg, ptrdiff_t sb) {
    if (sr == 3 && sg == 3 && sb == 3)
        ConvertRow<H, 3, Pair>(y0, y1, cb, cr, n, o0, o1, 3, 3, 3);
    else if (sr == 1 && sg == 1 && sb == 1)
        ConvertRow<H, 1, Pair>(y0, y1, cb, cr, n, o0, o1, 1, 1, 1);
    else
        ConvertRow<H, 0, Pair>(y0, y1, cb, cr, n, o0, o1, sr, sg, sb);
}

#ifdef __SSE2__
// How the three colour planes lie, for the vector conversion.
enum RgbLayout { kRgbPlanar, kRgbInterleaved, kBgrInterleaved, kRgbOther };

RgbLayout LayoutOf(const JpegPlane* pl) {
    const bool sameRows = pl[0].rowStep == pl[1].rowStep && pl[1].rowStep == pl[2].rowStep;
    if (pl[0].pixelStep == 1 && pl[1].pixelStep == 1 && pl[2].pixelStep == 1) return kRgbPlanar;
    if (!sameRows || pl[0].pixelStep != 3 || pl[1].pixelStep != 3 || pl[2].pixelStep != 3) return kRgbOther;
    if (pl[1].origin == pl[0].origin + 1 && pl[2].origin == pl[0].origin + 2) return kRgbInterleaved;
    if (pl[1].origin == pl[2].origin + 1 && pl[0].origin == pl[2].origin + 2) return kBgrInterleaved;
    return kRgbOther;
}

// Chroma terms of eight samples (16-bit lanes, already minus 128), computed
// in 32 bits exactly as the tables do: (359 Cr + 128) >> 8,
// (-88 Cb - 183 Cr + 128) >> 8, (454 Cb + 128) >> 8.
inline void ChromaTerms(__m128i cb, __m128i cr, __m128i* rt, __m128i* gt, __m128i* bt) {
    const __m128i one = _mm_set1_epi16(1);
    const __m128i kR = _mm_set_epi16(128, 359, 128, 359, 128, 359, 128, 359);
    const __m128i kB = _mm_set_epi16(128, 454, 128, 454, 128, 454, 128, 454);
    const __m128i kG = _mm_set_epi16(-183, -88, -183, -88, -183, -88, -183, -88);
    const __m128i k128 = _mm_set1_epi32(128);
    auto terms = [&](__m128i lo, __m128i hi, __m128i k, bool round) {
        __m128i a = _mm_madd_epi16(lo, k), b = _mm_madd_epi16(hi, k);
        if (round) {
            a = _mm_add_epi32(a, k128);
            b = _mm_add_epi32(b, k128);
        }
        return _mm_packs_epi32(_mm_srai_epi32(a, 8), _mm_srai_epi32(b, 8));
    };
    *rt = terms(_mm_unpacklo_epi16(cr, one), _mm_unpackhi_epi16(cr, one), kR, false);
    *bt = terms(_mm_unpacklo_epi16(cb, one), _mm_unpackhi_epi16(cb, one), kB, false);
    *gt = terms(_mm_unpacklo_epi16(cb, cr), _mm_unpackhi_epi16(cb, cr), kG, true);
}

// Writes 16 pixels whose first, second and third bytes are a, b and c.
inline void StoreInterleaved(uint8_t* out, __m128i a, __m128i b, __m128i c) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i abLo = _mm_unpacklo_epi8(a, b), abHi = _mm_unpackhi_epi8(a, b);
    const __m128i cLo = _mm_unpacklo_epi8(c, zero), cHi = _mm_unpackhi_epi8(c, zero);
    const __m128i px[4] = {_mm_unpacklo_epi16(abLo, cLo), _mm_unpackhi_epi16(abLo, cLo),
                           _mm_unpacklo_epi16(abHi, cHi), _mm_unpackhi_epi16(abHi, cHi)};
    const __m128i low3 = _mm_set_epi32(0, 0xFFFFFF, 0, 0xFFFFFF);
    __m128i q[4];
    for (int i = 0; i < 4; ++i) {
        // Four 4-byte pixels into 12 bytes: pairs within each half, then the halves.
        const __m128i v = _mm_or_si128(_mm_and_si128(px[i], low3), _mm_srli_epi64(_mm_andnot_si128(low3, px[i]), 8));
        q[i] = _mm_or_si128(_mm_move_epi64(v), _mm_slli_si128(_mm_srli_si128(v, 8), 6));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(q[0], _mm_slli_si128(q[1], 12)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_or_si128(_mm_srli_si128(q[1], 4), _mm_slli_si128(q[2], 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), _mm_or_si128(_mm_srli_si128(q[2], 8), _mm_slli_si128(q[3], 4)));
}

// One or two image rows (y1 may be null) sharing one chroma row, 16 pixels at
// a time from pixel `from` on; returns how many pixels are done then (the
// rest is left to the scalar code). `out0` and `out1` are the output rows'
// R, G, B starts.
template <int H>
int ConvertRowsSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, int from, int n,
                    RgbLayout layout, uint8_t* const out0[3], uint8_t* const out1[3]) {
    const __m128i zero = _mm_setzero_si128(), k128 = _mm_set1_epi16(128);
    int x = from;
    for (; x + 16 <= n; x += 16) {
        __m128i rt[2], gt[2], bt[2];  // terms of pixels x..x+7 and x+8..x+15
        if (H == 2) {
            const __m128i b = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + x / 2)), zero), k128);
            const __m128i r = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + x / 2)), zero), k128);
            __m128i rv, gv, bv;
            ChromaTerms(b, r, &rv, &gv, &bv);
            rt[0] = _mm_unpacklo_epi16(rv, rv), rt[1] = _mm_unpackhi_epi16(rv, rv);
            gt[0] = _mm_unpacklo_epi16(gv, gv), gt[1] = _mm_unpackhi_epi16(gv, gv);
            bt[0] = _mm_unpacklo_epi16(bv, bv), bt[1] = _mm_unpackhi_epi16(bv, bv);
        } else {
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x));
            const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x));
            ChromaTerms(_mm_sub_epi16(_mm_unpacklo_epi8(b, zero), k128), _mm_sub_epi16(_mm_unpacklo_epi8(r, zero), k128),
                        &rt[0], &gt[0], &bt[0]);
            ChromaTerms(_mm_sub_epi16(_mm_unpackhi_epi8(b, zero), k128), _mm_sub_epi16(_mm_unpackhi_epi8(r, zero), k128),
                        &rt[1], &gt[1], &bt[1]);
        }
        for (int row = 0; row < 2; ++row) {
            const uint8_t* yrow = row ? y1 : y0;
            if (!yrow) break;
            uint8_t* const* out = row ? out1 : out0;
            const __m128i yv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(yrow + x));
            const __m128i yLo = _mm_unpacklo_epi8(yv, zero), yHi = _mm_unpackhi_epi8(yv, zero);
            // Y + term lies within -180..434, so the saturating pack is the clamp.
            const __m128i R = _mm_packus_epi16(_mm_add_epi16(yLo, rt[0]), _mm_add_epi16(yHi, rt[1]));
            const __m128i G = _mm_packus_epi16(_mm_add_epi16(yLo, gt[0]), _mm_add_epi16(yHi, gt[1]));
            const __m128i B = _mm_packus_epi16(_mm_add_epi16(yLo, bt[0]), _mm_add_epi16(yHi, bt[1]));
            if (layout == kRgbPlanar) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out[0] + x), R);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out[1] + x), G);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out[2] + x), B);
            } else if (layout == kRgbInterleaved) {
                StoreInterleaved(out[0] + 3 * x, R, G, B);
            } else {
                StoreInterleaved(out[2] + 3 * x, B, G, R);
            }
        }
    }
    return x;
}
#endif

#ifdef SORVANTA_JPEG_AVX2
// The conversion on processors with AVX2, 32 pixels at a time, with the
// very arithmetic of the tables.

// Terms of sixteen samples: (k0 v + k1 w (+ 128)) >> 8 for the 16-bit pairs
// (v, w) of lo and hi, in the samples' order (madd and the pack work per
// 128-bit half, which keeps it).
SORVANTA_AVX2 inline __m256i TermsAvx2(__m256i lo, __m256i hi, __m256i k, bool round) {
    __m256i a = _mm256_madd_epi16(lo, k), b = _mm256_madd_epi16(hi, k);
    if (round) {
        a = _mm256_add_epi32(a, _mm256_set1_epi32(128));
        b = _mm256_add_epi32(b, _mm256_set1_epi32(128));
    }
    return _mm256_packs_epi32(_mm256_srai_epi32(a, 8), _mm256_srai_epi32(b, 8));
}

// Chroma terms of sixteen samples (16-bit lanes, already minus 128), as
// ChromaTerms gives them, in the samples' order.
SORVANTA_AVX2 inline void ChromaTermsAvx2(__m256i cb, __m256i cr, __m256i* rt, __m256i* gt, __m256i* bt) {
    const __m256i one = _mm256_set1_epi16(1);
    // 16-bit pairs (factor, second factor) as madd takes them.
    const __m256i kR = _mm256_set1_epi32((128 << 16) | 359);
    const __m256i kB = _mm256_set1_epi32((128 << 16) | 454);
    const __m256i kG = _mm256_set1_epi32(int32_t((uint32_t(uint16_t(-183)) << 16) | uint16_t(-88)));
    *rt = TermsAvx2(_mm256_unpacklo_epi16(cr, one), _mm256_unpackhi_epi16(cr, one), kR, false);
    *bt = TermsAvx2(_mm256_unpacklo_epi16(cb, one), _mm256_unpackhi_epi16(cb, one), kB, false);
    *gt = TermsAvx2(_mm256_unpacklo_epi16(cb, cr), _mm256_unpackhi_epi16(cb, cr), kG, true);
}

// Sixteen bytes widened to 16-bit lanes, minus 128.
SORVANTA_AVX2 inline __m256i WidenMinus128(const uint8_t* p) {
    return _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
                            _mm256_set1_epi16(128));
}

// Each of sixteen terms twice, for the two pixels of its sample: out[0] the
// terms of pixels 0..15, out[1] of 16..31.
SORVANTA_AVX2 inline void SpreadAvx2(__m256i t, __m256i* out) {
    const __m256i lo = _mm256_unpacklo_epi16(t, t), hi = _mm256_unpackhi_epi16(t, t);
    out[0] = _mm256_permute2x128_si256(lo, hi, 0x20);
    out[1] = _mm256_permute2x128_si256(lo, hi, 0x31);
}

// One channel of 32 pixels: Y + term clamped to bytes. Y + term lies within
// -180..434, so the saturating pack is the clamp; the pack works per 128-bit
// half, the permute puts the pixels back in order.
SORVANTA_AVX2 inline __m256i ChannelAvx2(__m256i ya, __m256i yb, const __m256i* t) {
    return _mm256_permute4x64_epi64(_mm256_packus_epi16(_mm256_add_epi16(ya, t[0]), _mm256_add_epi16(yb, t[1])),
                                    0xD8);
}

// Byte shuffles that put 16 pixels' first, second and third bytes (a, b,
// c) into three 16-byte pieces of the interleaved row: kInterleave[piece]
// [channel][i] is the pixel whose channel goes to byte i of the piece, or
// 0x80 for none.
struct InterleaveMasks {
    uint8_t m[3][3][16];
    constexpr InterleaveMasks() : m() {
        for (int piece = 0; piece < 3; ++piece)
            for (int ch = 0; ch < 3; ++ch)
                for (int i = 0; i < 16; ++i) {
                    const int k = 16 * piece + i;
                    m[piece][ch][i] = static_cast<uint8_t>(k % 3 == ch ? k / 3 : 0x80);
                }
    }
};
constexpr InterleaveMasks kInterleave;

SORVANTA_AVX2 inline void StoreInterleavedSsse3(uint8_t* out, __m128i a, __m128i b, __m128i c) {
    for (int piece = 0; piece < 3; ++piece) {
        const __m128i* m = reinterpret_cast<const __m128i*>(kInterleave.m[piece]);
        const __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, _mm_loadu_si128(m)),
                                                    _mm_shuffle_epi8(b, _mm_loadu_si128(m + 1))),
                                       _mm_shuffle_epi8(c, _mm_loadu_si128(m + 2)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * piece), v);
    }
}

// As ConvertRowsSse2, 32 pixels at a time from pixel 0.
template <int H>
SORVANTA_AVX2 int ConvertRowsAvx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, int n,
                                  RgbLayout layout, uint8_t* const out0[3], uint8_t* const out1[3]) {
    int x = 0;
    for (; x + 32 <= n; x += 32) {
        __m256i rt[2], gt[2], bt[2];  // terms of pixels x..x+15 and x+16..x+31
        if (H == 2) {
            __m256i rv, gv, bv;
            ChromaTermsAvx2(WidenMinus128(cb + x / 2), WidenMinus128(cr + x / 2), &rv, &gv, &bv);
            SpreadAvx2(rv, rt);
            SpreadAvx2(gv, gt);
            SpreadAvx2(bv, bt);
        } else {
            ChromaTermsAvx2(WidenMinus128(cb + x), WidenMinus128(cr + x), &rt[0], &gt[0], &bt[0]);
            ChromaTermsAvx2(WidenMinus128(cb + x + 16), WidenMinus128(cr + x + 16), &rt[1], &gt[1], &bt[1]);
        }
        for (int row = 0; row < 2; ++row) {
            const uint8_t* yrow = row ? y1 : y0;
            if (!yrow) break;
            uint8_t* const* out = row ? out1 : out0;
            const __m256i ya = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(yrow + x)));
            const __m256i yb = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(yrow + x + 16)));
            const __m256i R = ChannelAvx2(ya, yb, rt), G = ChannelAvx2(ya, yb, gt), B = ChannelAvx2(ya, yb, bt);
            if (layout == kRgbPlanar) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out[0] + x), R);
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out[1] + x), G);
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out[2] + x), B);
                continue;
            }
            const bool rgb = layout == kRgbInterleaved;
            const __m256i first = rgb ? R : B, third = rgb ? B : R;
            uint8_t* o = (rgb ? out[0] : out[2]) + 3 * x;
            StoreInterleavedSsse3(o, _mm256_castsi256_si128(first), _mm256_castsi256_si128(G),
                                  _mm256_castsi256_si128(third));
            StoreInterleavedSsse3(o + 48, _mm256_extracti128_si256(first, 1), _mm256_extracti128_si256(G, 1),
                                  _mm256_extracti128_si256(third, 1));
        }
    }
    return x;
}
#endif

// Converts image row `row` (n pixels) into the caller's planes, the two-row
// pair (row, row + 1) when `y1` is given: both share the chroma row.
template <int H>
void ConvertRows(const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr, int n,
                 const JpegPlane* pl, int row, Code code) {
    const bool vector = code != Code::kPortable;
    const ptrdiff_t sr = pl[0].pixelStep, sg = pl[1].pixelStep, sb = pl[2].pixelStep;
    const int nRows = y1 ? 2 : 1;
    uint8_t* out[2][3] = {};
    for (int k = 0; k < nRows; ++k)
        for (int b = 0; b < 3; ++b) out[k][b] = pl[b].origin + (row + k) * pl[b].rowStep;
    int done = 0;
#ifdef __SSE2__
    const RgbLayout layout = LayoutOf(pl);
#ifdef SORVANTA_JPEG_AVX2
    if (code == Code::kAvx2 && layout != kRgbOther)
        done = ConvertRowsAvx2<H>(y0, y1, cb, cr, n, layout, out[0], out[1]);
#endif
    if (vector && layout != kRgbOther) done = ConvertRowsSse2<H>(y0, y1, cb, cr, done, n, layout, out[0], out[1]);
#else
    (void)vector;
#endif
    uint8_t* o[2][3] = {};
    for (int k = 0; k < nRows; ++k) {
        o[k][0] = out[k][0] + done * sr;
        o[k][1] = out[k][1] + done * sg;
        o[k][2] = out[k][2] + done * sb;
    }
    const uint8_t* y0d = y0 + done;
    const uint8_t* y1d = y1 ? y1 + done : nullptr;
    const uint8_t* cbd = cb + done / H;
    const uint8_t* crd = cr + done / H;
    if (y1d)
        ConvertRowAnyStep<H, true>(y0d, y1d, cbd, crd, n - done, o[0], o[1], sr, sg, sb);
    else
        ConvertRowAnyStep<H, false>(y0d, y1d, cbd, crd, n - done, o[0], o[1], sr, sg, sb);
}

// The best code this build and processor have.
Code BestCode() {
#ifdef SORVANTA_JPEG_AVX2
    if (__builtin_cpu_supports("avx2")) return Code::kAvx2;
#endif
#ifdef __SSE2__
    return Code::kSse2;
#else
    return Code::kPortable;
#endif
}
std::atomic<int> g_code{int(BestCode())};

}  // namespace

bool JpegUseVectorCode(bool on) {
    g_code.store(int(on ? BestCode() : Code::kPortable));
    return BestCode() != Code::kPortable;
}

bool JpegSelectCode(int path) {
    if (path < 0 || path > int(BestCode())) return false;
    g_code.store(path);
    return true;
}

bool JpegMcuSize(int bands, int sampling, int* mcuWidth, int* mcuHeight) {
    int w = 8, h = 8;
    if (bands != 1) {
        if (sampling == kJpegSampling1x1) {
        } else if (sampling == kJpegSampling2x1) {
            w = 16;
        } else if (sampling == kJpegSampling2x2) {
            w = h = 16;
        } else {
            return false;
        }
    }
    *mcuWidth = w;
    *mcuHeight = h;
    return true;
}

int JpegScaledLength(int length, int scale) { return (length + scale - 1) / scale; }

namespace {

// The Huffman decoders and dequantisation entries of one scan's tables.
struct ScanTables {
    HuffDecoder huff[4];
    uint32_t dqz[2][64];  // zig-zag order: divisor << 6 | natural position
};

// Builds them for the tables a grey (one table of each kind) or colour scan
// uses; a kernel code.
int SetUpScanTables(const JpegTables& tables, bool colour, ScanTables* st) {
    const int nTables = colour ? 2 : 1;
    for (int t = 0; t < nTables; ++t) {
        if (!tables.hasQuant[t] || !tables.hasHuff[2 * t] || !tables.hasHuff[2 * t + 1])
            return ipiErrNonPermissibleOption;
    }
    for (int t = 0; t < nTables; ++t) {
        for (int s = 0; s < 2; ++s) {
            const int slot = 2 * t + s;
            if (!BuildDecoder(tables.bits[slot], tables.vals[slot], s == 1, &st->huff[slot]))
                return ipiErrSyntacticalError;
        }
        uint8_t natural[64];
        for (int k = 0; k < 64; ++k) natural[kJpegZigZag[k]] = tables.quant[t][k];
        int32_t scaled[64];
        ScaledDivisors(natural, scaled);
        for (int k = 0; k < 64; ++k)
            st->dqz[t][k] = (static_cast<uint32_t>(scaled[kJpegZigZag[k]]) << 6) | kJpegZigZag[k];
    }
    return 0;
}

// Sizes of a decode at 1 / (1 << shift), in output pixels.
struct ScanLayout {
    int mcuW = 8, mcuH = 8;            // MCU in image pixels
    int mcusX = 0, mcusY = 0;
    int shift = 0;
    int bs = 8;                        // a luminance block gives bs x bs pixels
    int outW = 0, outH = 0;            // the picture
    int mcuOutW = 8, mcuOutH = 8;      // an MCU
    int chromaW = 8, chromaH = 8;      // a chroma block
    int chromaXShift = 0, chromaYShift = 0;
    int yStride = 0, cStride = 0;      // rows of the MCU row buffers
    int hBlocks = 1, vBlocks = 1;      // luminance blocks of an MCU
};

ScanLayout LayoutOf(int width, int height, int mcuW, int mcuH, int shift) {
    ScanLayout l;
    l.mcuW = mcuW;
    l.mcuH = mcuH;
    l.mcusX = (width + mcuW - 1) / mcuW;
    l.mcusY = (height + mcuH - 1) / mcuH;
    l.shift = shift;
    l.bs = 8 >> shift;
    l.outW = JpegScaledLength(width, 1 << shift);
    l.outH = JpegScaledLength(height, 1 << shift);
    l.mcuOutW = mcuW >> shift;
    l.mcuOutH = mcuH >> shift;
    // At full size a chroma block gives 8 x 8 samples, which the conversion
    // spreads over the MCU. A smaller picture takes its chroma at the
    // luminance's resolution instead, one chroma block covering the whole
    // MCU: its samples are then means over the same pixels as the
    // luminance's, not over two or four times as many.
    l.chromaW = shift ? l.mcuOutW : 8;
    l.chromaH = shift ? l.mcuOutH : 8;
    l.chromaXShift = l.chromaW == 8 ? 0 : l.chromaW == 4 ? 1 : l.chromaW == 2 ? 2 : 3;
    l.chromaYShift = l.chromaH == 8 ? 0 : l.chromaH == 4 ? 1 : l.chromaH == 2 ? 2 : 3;
    l.yStride = l.mcusX * l.mcuOutW;
    l.cStride = l.mcusX * l.chromaW;
    l.hBlocks = mcuW / 8;
    l.vBlocks = mcuH / 8;
    return l;
}

// The decoded samples of one MCU row before they are delivered.
struct McuRowBuffers {
    std::unique_ptr<uint8_t[]> luma, chroma;
    uint8_t* cb = nullptr;
    uint8_t* cr = nullptr;
    bool Allocate(const ScanLayout& l, bool colour) {
        luma.reset(new (std::nothrow) uint8_t[static_cast<size_t>(l.yStride) * l.mcuOutH]);
        if (!luma) return false;
        if (!colour) return true;
        chroma.reset(new (std::nothrow) uint8_t[static_cast<size_t>(l.cStride) * l.chromaH * 2]);
        if (!chroma) return false;
        cb = chroma.get();
        cr = cb + l.cStride * l.chromaH;
        return true;
    }
};

// The scan's entropy-coded data read MCU after MCU: the bit reader, the DC
// predictors and the restart count.
struct ScanReader {
    BitReader br;
    int pred[3] = {0, 0, 0};
    long mcuCount = 0;
    int restart = 0;
    ScanReader(const uint8_t* data, size_t size, int restartInterval) : restart(restartInterval) {
        br.p = data;
        br.end = data + size;
    }
    // After each MCU: the code when the MCU read past the data, else 0;
    // after every `restart` MCUs the restart marker is passed over and the
    // predictors start again from 0.
    int EndMcu() {
        if (br.Overrun()) return br.OverrunCode();
        ++mcuCount;
        if (restart > 0 && mcuCount % restart == 0) {
            br.Restart();
            pred[0] = pred[1] = pred[2] = 0;
        }
        return 0;
    }
};

// Coefficients of the blocks of one MCU, all decoded before any of them is
// transformed, so that the transform never waits for the decoder's stores.
struct McuCoefficients {
    alignas(32) int32_t blk[6][64] = {};
    int count[6] = {};
};

// One MCU row at full size.
int DecodeMcuRowFull(ScanReader& sr, const ScanTables& st, const ScanLayout& l, McuRowBuffers& buf, bool colour,
                     Code code, McuCoefficients& m) {
    const int luma = l.hBlocks * l.vBlocks;
    const int blocks = luma + (colour ? 2 : 0);
    for (int mx = 0; mx < l.mcusX; ++mx) {
        for (int b = 0; b < blocks; ++b) {
            const bool y = b < luma;
            const int slot = y ? kJpegLumDC : kJpegChromDC;
            const int rc = DecodeBlock<AcStore::kAll>(sr.br, st.huff[slot], st.huff[slot + 1],
                                                      &sr.pred[y ? 0 : 1 + (b - luma)], st.dqz[y ? 0 : 1], m.blk[b],
                                                      &m.count[b]);
            if (rc) return rc;
        }
        for (int v = 0; v < l.vBlocks; ++v)
            for (int h = 0; h < l.hBlocks; ++h) {
                const int b = v * l.hBlocks + h;
                DecodeToPixels(m.blk[b], m.count[b], buf.luma.get() + (v * 8) * l.yStride + mx * l.mcuW + h * 8,
                               l.yStride, code);
            }
        if (colour) {
            DecodeToPixels(m.blk[luma], m.count[luma], buf.cb + mx * 8, l.cStride, code);
            DecodeToPixels(m.blk[luma + 1], m.count[luma + 1], buf.cr + mx * 8, l.cStride, code);
        }
        if (int rc = sr.EndMcu()) return rc;
    }
    return 0;
}

// One block made (8 >> xShift) x (8 >> yShift) pixels at `out`.
int DecodeReducedBlock(BitReader& br, const HuffDecoder& dc, const HuffDecoder& ac, int* pred, const uint32_t* dqz,
                       int32_t* blk, int xShift, int yShift, uint8_t* out, ptrdiff_t stride, Code code) {
    uint8_t listed[64];
    int count = 0, rc;
    if (xShift == 0 && yShift == 0)
        rc = DecodeBlock<AcStore::kAll>(br, dc, ac, pred, dqz, blk, &count);
    else if (xShift == 3 && yShift == 3)
        rc = DecodeBlock<AcStore::kNone>(br, dc, ac, pred, dqz, blk, &count);
    else
        rc = DecodeBlock<AcStore::kListed>(br, dc, ac, pred, dqz, blk, &count, listed);
    if (rc) return rc;
    DecodeToReducedPixels(blk, listed, count, xShift, yShift, out, stride, code);
    return 0;
}

// One MCU row at 1/2, 1/4 or 1/8 of the size, block after block.
int DecodeMcuRowScaled(ScanReader& sr, const ScanTables& st, const ScanLayout& l, McuRowBuffers& buf, bool colour,
                       Code code, int32_t* blk) {
    for (int mx = 0; mx < l.mcusX; ++mx) {
        for (int v = 0; v < l.vBlocks; ++v)
            for (int h = 0; h < l.hBlocks; ++h) {
                uint8_t* out = buf.luma.get() + (v * l.bs) * l.yStride + mx * l.mcuOutW + h * l.bs;
                const int rc = DecodeReducedBlock(sr.br, st.huff[kJpegLumDC], st.huff[kJpegLumAC], &sr.pred[0],
                                                  st.dqz[0], blk, l.shift, l.shift, out, l.yStride, code);
                if (rc) return rc;
            }
        if (colour) {
            for (int c = 0; c < 2; ++c) {
                uint8_t* out = (c ? buf.cr : buf.cb) + mx * l.chromaW;
                const int rc = DecodeReducedBlock(sr.br, st.huff[kJpegChromDC], st.huff[kJpegChromAC], &sr.pred[1 + c],
                                                  st.dqz[1], blk, l.chromaXShift, l.chromaYShift, out, l.cStride, code);
                if (rc) return rc;
            }
        }
        if (int rc = sr.EndMcu()) return rc;
    }
    return 0;
}

// The rows of MCU row `my` that lie inside the picture, into the caller's
// planes: grey copied, colour converted (at full size with 16-row MCUs two
// image rows share each chroma row).
void DeliverMcuRow(const McuRowBuffers& buf, const ScanLayout& l, int my, bool colour, const JpegPlane* planes,
                   Code code) {
    const int y0 = my * l.mcuOutH;
    const int rows = l.outH - y0 < l.mcuOutH ? l.outH - y0 : l.mcuOutH;
    if (!colour) {
        for (int r = 0; r < rows; ++r) {
            const uint8_t* yrow = buf.luma.get() + static_cast<size_t>(r) * l.yStride;
            uint8_t* o = planes[0].origin + (y0 + r) * planes[0].rowStep;
            if (planes[0].pixelStep == 1) {
                std::memcpy(o, yrow, static_cast<size_t>(l.outW));
            } else {
                for (int x = 0; x < l.outW; ++x) o[x * planes[0].pixelStep] = yrow[x];
            }
        }
        return;
    }
    const int rowsPerChroma = l.mcuH == 16 && l.shift == 0 ? 2 : 1;
    for (int r = 0; r < rows; r += rowsPerChroma) {
        const uint8_t* yrow = buf.luma.get() + static_cast<size_t>(r) * l.yStride;
        const uint8_t* next = rowsPerChroma == 2 && r + 1 < rows ? yrow + l.yStride : nullptr;
        const int c = r / rowsPerChroma;
        const uint8_t* cbRow = buf.cb + c * l.cStride;
        const uint8_t* crRow = buf.cr + c * l.cStride;
        if (l.mcuW == 16 && l.shift == 0)
            ConvertRows<2>(yrow, next, cbRow, crRow, l.outW, planes, y0 + r, code);
        else
            ConvertRows<1>(yrow, next, cbRow, crRow, l.outW, planes, y0 + r, code);
    }
}

}  // namespace

int JpegDecodeScan(const uint8_t* data, size_t size, const JpegTables& tables, int width, int height,
                   int bands, int sampling, const JpegPlane* planes, int scale) {
    if (width <= 0 || height <= 0 || (bands != 1 && bands != 3)) return ipiErrNonPermissibleOption;
    const int shift = scale == 1 ? 0 : scale == 2 ? 1 : scale == 4 ? 2 : scale == 8 ? 3 : -1;
    if (shift < 0) return ipiErrOutOfRange;
    int mcuW = 8, mcuH = 8;
    if (!JpegMcuSize(bands, sampling, &mcuW, &mcuH)) return ipiErrNonPermissibleOption;
    const bool colour = bands == 3;
    const Code code = Code(g_code.load(std::memory_order_relaxed));

    struct Working {
        ScanTables tables;
        McuCoefficients mcu;
    };
    std::unique_ptr<Working> w(new (std::nothrow) Working);
    if (!w) return ipiErrSystem;
    if (int rc = SetUpScanTables(tables, colour, &w->tables)) return rc;
    const ScanLayout layout = LayoutOf(width, height, mcuW, mcuH, shift);
    McuRowBuffers buffers;
    if (!buffers.Allocate(layout, colour)) return ipiErrSystem;

    ScanReader reader(data, size, tables.restartInterval);
    for (int my = 0; my < layout.mcusY; ++my) {
        const int rc = shift ? DecodeMcuRowScaled(reader, w->tables, layout, buffers, colour, code, w->mcu.blk[0])
                             : DecodeMcuRowFull(reader, w->tables, layout, buffers, colour, code, w->mcu);
        if (rc) return rc;
        DeliverMcuRow(buffers, layout, my, colour, planes, code);
    }
    return 0;
}

// ---- encoder -------------------------------------------------------------

void JpegQuantForQuality(int quality, int table, uint8_t natural[64]) {
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) {
            long d;
            if (quality >= 1) {
                d = (kJpegStdQuant[table][r * 8 + c] + quality / 2) / quality;
            } else {
                d = 1 + static_cast<long>(quality < 0 ? -static_cast<long>(quality) : 0) * (1 + r + c);
            }
            natural[r * 8 + c] = static_cast<uint8_t>(d < 1 ? 1 : (d > 255 ? 255 : d));
        }
    }
}

namespace {

struct HuffEncoder {
    uint16_t code[256];
    uint8_t size[256];
};

void BuildEncoder(const uint8_t bits[16], const uint8_t* vals, HuffEncoder* e) {
    std::memset(e, 0, sizeof(*e));
    int code = 0, k = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int i = 0; i < bits[len - 1]; ++i, ++k, ++code) {
            e->code[vals[k]] = static_cast<uint16_t>(code);
            e->size[vals[k]] = static_cast<uint8_t>(len);
        }
        code <<= 1;
    }
}

struct BitWriter {
    std::vector<uint8_t>* out;
    uint32_t acc = 0;
    int n = 0;  // bits pending in acc (low end)

    void Put(uint32_t value, int len) {
        acc = (acc << len) | (value & ((1u << len) - 1));
        n += len;
        while (n >= 8) {
            const uint8_t b = static_cast<uint8_t>(acc >> (n - 8));
            out->push_back(b);
            if (b == 0xFF) out->push_back(0);
            n -= 8;
        }
        acc &= (1u << n) - 1;
    }
    // Pending bits padded with zeros.
    void Flush() {
        if (n > 0) {
            const uint8_t b = static_cast<uint8_t>(acc << (8 - n));
            out->push_back(b);
            if (b == 0xFF) out->push_back(0);
        }
        acc = 0;
        n = 0;
    }
    void Marker(int m) {
        Flush();
        out->push_back(0xFF);
        out->push_back(static_cast<uint8_t>(m));
    }
};

inline int32_t Mul8e(int32_t x, int32_t c) { return static_cast<int32_t>((static_cast<int64_t>(x) * c) >> 8); }

// Scaled forward DCT (outputs carry 1 / (s_u s_v)), in natural order.
void ForwardTransform(int32_t d[64]) {
    for (int pass = 0; pass < 2; ++pass) {
        const int step = pass == 0 ? 1 : 8;   // along a row, then along a column
        const int next = pass == 0 ? 8 : 1;
        for (int i = 0; i < 8; ++i) {
            int32_t* p = d + i * next;
            int32_t* q[8];
            for (int k = 0; k < 8; ++k) q[k] = p + k * step;
            const int32_t t0 = *q[0] + *q[7], t7 = *q[0] - *q[7];
            const int32_t t1 = *q[1] + *q[6], t6 = *q[1] - *q[6];
            const int32_t t2 = *q[2] + *q[5], t5 = *q[2] - *q[5];
            const int32_t t3 = *q[3] + *q[4], t4 = *q[3] - *q[4];
            const int32_t t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;
            *q[0] = t10 + t11;
            *q[4] = t10 - t11;
            const int32_t z1 = Mul8e(t12 + t13, 181);
            *q[2] = t13 + z1;
            *q[6] = t13 - z1;
            const int32_t a10 = t4 + t5, a11 = t5 + t6, a12 = t6 + t7;
            const int32_t z5 = Mul8e(a10 - a12, 97);
            const int32_t z2 = Mul8e(a10, 138) + z5;
            const int32_t z4 = Mul8e(a12, 334) + z5;
            const int32_t z3 = Mul8e(a11, 181);
            const int32_t z11 = t7 + z3, z13 = t7 - z3;
            *q[5] = z13 + z2;
            *q[3] = z13 - z2;
            *q[1] = z11 + z4;
            *q[7] = z11 - z4;
        }
    }
}

int SizeOf(int v) {
    int a = v < 0 ? -v : v, s = 0;
    while (a) {
        ++s;
        a >>= 1;
    }
    return s;
}

void EncodeBlock(BitWriter& bw, int32_t blk[64], const int32_t* divisors, const HuffEncoder& dc,
                 const HuffEncoder& ac, int* pred) {
    ForwardTransform(blk);
    int q[64];
    for (int k = 0; k < 64; ++k) q[k] = blk[kJpegZigZag[k]] / divisors[kJpegZigZag[k]];
    const int diff = q[0] - *pred;
    *pred = q[0];
    const int s = SizeOf(diff);
    bw.Put(dc.code[s], dc.size[s]);
    if (s) bw.Put(static_cast<uint32_t>(diff < 0 ? diff - 1 : diff), s);
    int run = 0;
    for (int k = 1; k < 64; ++k) {
        const int v = q[k];
        if (v == 0) {
            ++run;
            continue;
        }
        while (run >= 16) {
            bw.Put(ac.code[0xF0], ac.size[0xF0]);
            run -= 16;
        }
        const int sz = SizeOf(v);
        const int rs = (run << 4) | sz;
        bw.Put(ac.code[rs], ac.size[rs]);
        bw.Put(static_cast<uint32_t>(v < 0 ? v - 1 : v), sz);
        run = 0;
    }
    if (run > 0) bw.Put(ac.code[0], ac.size[0]);
}

// The encoder's working tables: Huffman codes per slot and the scaled
// quantisation divisors of luminance and chrominance.
struct EncoderTables {
    HuffEncoder huff[4];
    int32_t divisors[2][64];
};

// Fills `tables` with what the scan is coded with (the quality factor's
// quantisation tables in zig-zag order, the standard Huffman tables, the
// restart interval) and `enc` with the same in working form.
void SetUpEncoder(int quality, bool colour, int restartInterval, JpegTables* tables, EncoderTables* enc) {
    *tables = JpegTables();
    for (int t = 0; t < (colour ? 2 : 1); ++t) {
        uint8_t natural[64];
        JpegQuantForQuality(quality, t, natural);
        for (int k = 0; k < 64; ++k) tables->quant[t][k] = natural[kJpegZigZag[k]];
        tables->hasQuant[t] = true;
        ScaledDivisors(natural, enc->divisors[t]);
        for (int s = 0; s < 2; ++s) {
            const int slot = 2 * t + s;
            std::memcpy(tables->bits[slot], kJpegStdBits[slot], 16);
            std::memcpy(tables->vals[slot], kJpegStdVals[slot], static_cast<size_t>(kJpegStdValCount[slot]));
            tables->hasHuff[slot] = true;
            BuildEncoder(kJpegStdBits[slot], kJpegStdVals[slot], &enc->huff[slot]);
        }
    }
    tables->restartInterval = restartInterval > 0 ? restartInterval : 0;
}

// The pixels an encoder reads: rows past the last one repeat it, columns
// past the last one repeat it.
struct EncoderSource {
    const JpegConstPlane* planes;
    int width, height;
    int Sample(int band, int x, int y) const {
        x = x < width ? x : width - 1;
        y = y < height ? y : height - 1;
        const JpegConstPlane& p = planes[band];
        return p.origin[y * p.rowStep + x * p.pixelStep];
    }
    // Luminance of a grey or colour pixel.
    int Luma(bool colour, int x, int y) const {
        if (!colour) return Sample(0, x, y);
        const int R = Sample(0, x, y), G = Sample(1, x, y), B = Sample(2, x, y);
        return (77 * R + 150 * G + 29 * B + 128) >> 8;
    }
    // Cb (comp 0) or Cr (comp 1) of a pixel.
    int Chroma(int comp, int x, int y) const {
        const int R = Sample(0, x, y), G = Sample(1, x, y), B = Sample(2, x, y);
        return comp == 0 ? (128 * (B + 256) - 85 * G - 43 * R) >> 8 : (128 * (R + 256) - 107 * G - 21 * B) >> 8;
    }
};

// The luminance block whose top-left pixel is (x0, y0), level-shifted.
void GatherLumaBlock(const EncoderSource& src, bool colour, int x0, int y0, int32_t blk[64]) {
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) blk[r * 8 + c] = src.Luma(colour, x0 + c, y0 + r) - 128;
}

// The chroma block of an MCU at (x0, y0): one sample, the top-left one, of
// each sx x sy group of pixels, level-shifted.
void GatherChromaBlock(const EncoderSource& src, int comp, int x0, int y0, int sx, int sy, int32_t blk[64]) {
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) blk[r * 8 + c] = src.Chroma(comp, x0 + c * sx, y0 + r * sy) - 128;
}

// One MCU: its luminance blocks in row order, then Cb and Cr.
void EncodeMcu(BitWriter& bw, const EncoderSource& src, const EncoderTables& enc, bool colour, int x0, int y0,
               int mcuW, int mcuH, int pred[3]) {
    int32_t blk[64];
    for (int by = 0; by < mcuH; by += 8) {
        for (int bx = 0; bx < mcuW; bx += 8) {
            GatherLumaBlock(src, colour, x0 + bx, y0 + by, blk);
            EncodeBlock(bw, blk, enc.divisors[0], enc.huff[kJpegLumDC], enc.huff[kJpegLumAC], &pred[0]);
        }
    }
    if (!colour) return;
    for (int comp = 0; comp < 2; ++comp) {
        GatherChromaBlock(src, comp, x0, y0, mcuW / 8, mcuH / 8, blk);
        EncodeBlock(bw, blk, enc.divisors[1], enc.huff[kJpegChromDC], enc.huff[kJpegChromAC], &pred[1 + comp]);
    }
}

}  // namespace

int JpegEncodeScan(const JpegConstPlane* planes, int width, int height, int bands, int sampling,
                   int quality, int restartInterval, JpegTables* tables, std::vector<uint8_t>* out) {
    if (width <= 0 || height <= 0 || (bands != 1 && bands != 3)) return ipiErrNonPermissibleOption;
    int mcuW = 8, mcuH = 8;
    if (!JpegMcuSize(bands, sampling, &mcuW, &mcuH)) return ipiErrNonPermissibleOption;
    const bool colour = bands == 3;
    EncoderTables enc;
    SetUpEncoder(quality, colour, restartInterval, tables, &enc);

    out->clear();
    BitWriter bw;
    bw.out = out;
    const EncoderSource src{planes, width, height};
    int pred[3] = {0, 0, 0};
    long mcuCount = 0;
    int markers = 0;
    const int mcusX = (width + mcuW - 1) / mcuW;
    const int mcusY = (height + mcuH - 1) / mcuH;
    for (int my = 0; my < mcusY; ++my) {
        for (int mx = 0; mx < mcusX; ++mx) {
            EncodeMcu(bw, src, enc, colour, mx * mcuW, my * mcuH, mcuW, mcuH, pred);
            // After every restartInterval MCUs, the final one included.
            ++mcuCount;
            if (restartInterval > 0 && mcuCount % restartInterval == 0) {
                bw.Marker(0xD0 + (markers++ % 8));
                pred[0] = pred[1] = pred[2] = 0;
            }
        }
    }
    bw.Flush();
    return 0;
}
