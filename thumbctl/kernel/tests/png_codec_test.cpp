// PNG chunk parser and pixel decoder against ImageMagick's reading, and
// crafted damaged streams.
#include "thumbctl/kernel/png_codec.h"

#include "testsupport/testsupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>

using testsupport::MagickPixels;
using testsupport::ReadBytes;
using testsupport::Shell;
using testsupport::TempDir;

namespace {

struct Rows {
    int64_t rowBytes = 0;
    std::vector<uint8_t> bytes;
};

void CollectRow(void* ctx, int y, const uint8_t* row) {
    Rows* r = static_cast<Rows*>(ctx);
    std::memcpy(r->bytes.data() + y * r->rowBytes, row, static_cast<size_t>(r->rowBytes));
}

struct Decoded {
    int code = -999;
    PngStreamInfo info;
    Rows rows;
};

Decoded Decode(const std::vector<uint8_t>& file, bool progressive = false, int pass = 1) {
    Decoded d;
    d.code = PngParseStream(file.data(), file.size(), &d.info);
    if (d.code) return d;
    PngShape s;
    s.width = d.info.width;
    s.height = d.info.height;
    s.bitDepth = d.info.bitDepth;
    s.channels = d.info.channels;
    s.interlaced = d.info.interlaced != 0;
    d.rows.rowBytes = PngRowBytes(s.width, s.bitDepth, s.channels);
    d.rows.bytes.assign(static_cast<size_t>(d.rows.rowBytes * s.height), 0);
    const std::vector<uint8_t> z = PngGatherImageData(file.data(), d.info);
    d.code = PngDecodeRows(z.data(), z.size(), s, progressive, pass, CollectRow, &d.rows);
    return d;
}

// Decoded pixels as 8-bit RGB (or RGBA for 4 channels), palette applied.
std::vector<uint8_t> Expand(const Decoded& d) {
    std::vector<uint8_t> out;
    const int depth = d.info.bitDepth;
    for (int y = 0; y < d.info.height; ++y) {
        const uint8_t* row = d.rows.bytes.data() + y * d.rows.rowBytes;
        for (int x = 0; x < d.info.width; ++x) {
            if (d.info.channels > 1) {
                for (int c = 0; c < d.info.channels; ++c) out.push_back(row[x * d.info.channels + c]);
                continue;
            }
            const int perByte = 8 / depth;
            const int v = (row[x / perByte] >> ((perByte - 1 - x % perByte) * depth)) & ((1 << depth) - 1);
            if (d.info.colourType == 3) {
                for (int c = 0; c < 3; ++c) out.push_back(d.info.palette[v * 3 + c]);
            } else {
                const int g = v * 255 / ((1 << depth) - 1);
                for (int c = 0; c < 3; ++c) out.push_back(static_cast<uint8_t>(g));
            }
        }
    }
    return out;
}

struct MagickCase {
    const char* options;
    int colourType;
    int bitDepth;
};

class PngAgainstMagick : public ::testing::TestWithParam<std::tuple<MagickCase, bool>> {};

TEST_P(PngAgainstMagick, DecodesEqualToImageMagick) {
    const MagickCase c = std::get<0>(GetParam());
    const bool interlace = std::get<1>(GetParam());
    TempDir dir("png");
    const std::string path = dir.file("a.png");
    Shell(std::string("convert -size 67x45 -seed 3 plasma:yellow-blue \\( -size 67x45 gradient:white-black "
                      "-alpha copy \\) -compose copy-opacity -composite ") +
          c.options + (interlace ? " -interlace PNG " : " -interlace none ") + path);
    const std::vector<uint8_t> file = ReadBytes(path);
    ASSERT_FALSE(file.empty());
    const Decoded d = Decode(file);
    ASSERT_EQ(d.code, 0) << c.options;
    ASSERT_EQ(d.info.colourType, c.colourType) << c.options;
    ASSERT_EQ(d.info.bitDepth, c.bitDepth) << c.options;
    ASSERT_EQ(d.info.interlaced, interlace ? 1 : 0);
    EXPECT_EQ(Expand(d), MagickPixels(path, d.info.channels == 4 ? "rgba" : "rgb")) << c.options;
}

INSTANTIATE_TEST_SUITE_P(
    EveryType, PngAgainstMagick,
    ::testing::Combine(
        ::testing::Values(
            MagickCase{"-alpha off -colorspace gray -define png:color-type=0 -define png:bit-depth=1", 0, 1},
            MagickCase{"-alpha off -colorspace gray -define png:color-type=0 -define png:bit-depth=4", 0, 4},
            MagickCase{"-alpha off -colorspace gray -define png:color-type=0 -define png:bit-depth=8", 0, 8},
            MagickCase{"-alpha off -monochrome -define png:color-type=3 -define png:bit-depth=1", 3, 1},
            MagickCase{"-alpha off -colors 14 -define png:color-type=3 -define png:bit-depth=4", 3, 4},
            MagickCase{"-alpha off -colors 200 -define png:color-type=3 -define png:bit-depth=8", 3, 8},
            MagickCase{"-alpha off -define png:color-type=2 -define png:bit-depth=8", 2, 8},
            MagickCase{"-define png:color-type=6 -define png:bit-depth=8", 6, 8}),
        ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<MagickCase, bool>>& info) {
        const MagickCase& c = std::get<0>(info.param);
        return "ColourType" + std::to_string(c.colourType) + "_Depth" + std::to_string(c.bitDepth) +
               (std::get<1>(info.param) ? "_Interlaced" : "_Plain");
    });

// ---- crafted streams --------------------------------------------------------

void PutBe32(std::vector<uint8_t>& v, uint32_t x) {
    for (int s = 24; s >= 0; s -= 8) v.push_back(static_cast<uint8_t>(x >> s));
}

void Chunk(std::vector<uint8_t>& f, const char* type, const std::vector<uint8_t>& body) {
    PutBe32(f, static_cast<uint32_t>(body.size()));
    const size_t at = f.size();
    f.insert(f.end(), type, type + 4);
    f.insert(f.end(), body.begin(), body.end());
    PutBe32(f, static_cast<uint32_t>(crc32(0, f.data() + at, static_cast<uInt>(body.size() + 4))));
}

std::vector<uint8_t> Ihdr(int w, int h, int depth, int ct, int interlace = 0) {
    std::vector<uint8_t> b;
    PutBe32(b, static_cast<uint32_t>(w));
    PutBe32(b, static_cast<uint32_t>(h));
    b.push_back(static_cast<uint8_t>(depth));
    b.push_back(static_cast<uint8_t>(ct));
    b.push_back(0);
    b.push_back(0);
    b.push_back(static_cast<uint8_t>(interlace));
    return b;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& raw) {
    uLongf n = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> out(n);
    compress(out.data(), &n, raw.data(), static_cast<uLong>(raw.size()));
    out.resize(n);
    return out;
}

const uint8_t kSig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// A 4x3 8-bit grey image whose rows use the given filter bytes.
std::vector<uint8_t> GreyFile(const std::vector<int>& filters, const std::vector<uint8_t>& tail = {}) {
    std::vector<uint8_t> raw;
    for (size_t y = 0; y < filters.size(); ++y) {
        raw.push_back(static_cast<uint8_t>(filters[y]));
        for (int x = 0; x < 4; ++x) raw.push_back(static_cast<uint8_t>(10 * y + x));
    }
    std::vector<uint8_t> z = Deflate(raw);
    z.insert(z.end(), tail.begin(), tail.end());
    std::vector<uint8_t> f(kSig, kSig + 8);
    Chunk(f, "IHDR", Ihdr(4, static_cast<int>(filters.size()), 8, 0));
    Chunk(f, "IDAT", z);
    Chunk(f, "IEND", {});
    return f;
}

TEST(PngCrafted, FiltersAndStreamEnds) {
    const Decoded ok = Decode(GreyFile({0, 1, 2, 3, 4}));
    ASSERT_EQ(ok.code, 0);
    // Each filter undone over the raw bytes gives: row0 as is; row1 sums of
    // left neighbours; ... just check the Up row: raw + row above.
    const uint8_t* r1 = ok.rows.bytes.data() + 4;
    EXPECT_EQ(r1[0], 10);
    EXPECT_EQ(r1[1], 10 + 11);
    EXPECT_EQ(Decode(GreyFile({0, 5, 0})).code, ipiErrSyntacticalError);
    EXPECT_EQ(Decode(GreyFile({0, 0}, {1, 2, 3})).code, ipiErrSyntacticalError);  // bytes after the zlib end

    // Truncated image data.
    std::vector<uint8_t> raw(3 * 5, 0);
    std::vector<uint8_t> z = Deflate(raw);
    z.resize(z.size() / 2);
    std::vector<uint8_t> f(kSig, kSig + 8);
    Chunk(f, "IHDR", Ihdr(4, 3, 8, 0));
    Chunk(f, "IDAT", z);
    Chunk(f, "IEND", {});
    EXPECT_EQ(Decode(f).code, ipiErrSyntacticalError);
}

TEST(PngCrafted, ChunkRulesAreEnforced) {
    const std::vector<uint8_t> plte(6 * 3, 7);
    const std::vector<uint8_t> idat = Deflate({0, 0, 0, 0, 0});  // 1 row of 4 px, 8-bit palette
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, std::vector<uint8_t>>> chunks;
        int code;
    } cases[] = {
        {"plain", {{"IHDR", Ihdr(4, 1, 8, 3)}, {"PLTE", plte}, {"IDAT", idat}, {"IEND", {}}}, 0},
        {"text before IHDR", {{"tEXt", {'a', 0, 'b'}}, {"IHDR", Ihdr(4, 1, 8, 3)}, {"PLTE", plte}, {"IDAT", idat}, {"IEND", {}}}, 0},
        {"second IHDR", {{"IHDR", Ihdr(4, 1, 8, 3)}, {"IHDR", Ihdr(4, 1, 8, 3)}, {"PLTE", plte}, {"IDAT", idat}, {"IEND", {}}}, 22},
        {"PLTE first", {{"PLTE", plte}, {"IHDR", Ihdr(4, 1, 8, 3)}, {"IDAT", idat}, {"IEND", {}}}, 22},
        {"IDAT before PLTE", {{"IHDR", Ihdr(4, 1, 8, 3)}, {"IDAT", idat}, {"PLTE", plte}, {"IEND", {}}}, 22},
        {"PLTE of 100 bytes", {{"IHDR", Ihdr(4, 1, 8, 3)}, {"PLTE", std::vector<uint8_t>(100, 1)}, {"IDAT", idat}, {"IEND", {}}}, 22},
        {"PLTE of 300 entries", {{"IHDR", Ihdr(4, 1, 8, 3)}, {"PLTE", std::vector<uint8_t>(900, 1)}, {"IDAT", idat}, {"IEND", {}}}, 22},
        {"tRNS longer than PLTE", {{"IHDR", Ihdr(4, 1, 8, 3)}, {"PLTE", plte}, {"tRNS", std::vector<uint8_t>(7, 0)}, {"IDAT", idat}, {"IEND", {}}}, 22},
        {"digit in type", {{"IHDR", Ihdr(4, 1, 8, 3)}, {"PLTE", plte}, {"a1bC", {}}, {"IDAT", idat}, {"IEND", {}}}, 22},
        {"unknown letters", {{"IHDR", Ihdr(4, 1, 8, 3)}, {"PLTE", plte}, {"prVt", {1, 2}}, {"IDAT", idat}, {"IEND", {}}}, 0},
        {"split IDAT", {{"IHDR", Ihdr(4, 1, 8, 3)}, {"PLTE", plte}, {"IDAT", {idat.begin(), idat.begin() + 3}}, {"IDAT", {idat.begin() + 3, idat.begin() + 5}}, {"IDAT", {idat.begin() + 5, idat.end()}}, {"IEND", {}}}, 0},
        {"IDAT not contiguous", {{"IHDR", Ihdr(4, 1, 8, 3)}, {"PLTE", plte}, {"IDAT", {idat.begin(), idat.begin() + 3}}, {"tEXt", {'a', 0}}, {"IDAT", {idat.begin() + 3, idat.end()}}, {"IEND", {}}}, 22},
        {"16-bit", {{"IHDR", Ihdr(4, 1, 16, 0)}, {"IDAT", idat}, {"IEND", {}}}, 22},
        {"2-bit", {{"IHDR", Ihdr(4, 1, 2, 0)}, {"IDAT", idat}, {"IEND", {}}}, 22},
        {"grey alpha", {{"IHDR", Ihdr(4, 1, 8, 4)}, {"IDAT", idat}, {"IEND", {}}}, 22},
        {"zero width", {{"IHDR", Ihdr(0, 1, 8, 0)}, {"IDAT", idat}, {"IEND", {}}}, 22},
        {"gAMA after PLTE", {{"IHDR", Ihdr(4, 1, 8, 3)}, {"PLTE", plte}, {"gAMA", {0, 0, 0, 1}}, {"IDAT", idat}, {"IEND", {}}}, 22},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> f(kSig, kSig + 8);
        for (const auto& ch : c.chunks) Chunk(f, ch.first, ch.second);
        PngStreamInfo info;
        EXPECT_EQ(PngParseStream(f.data(), f.size(), &info), c.code) << c.name;
        if (c.code == 0) {
            EXPECT_EQ(info.idatTotal, idat.size()) << c.name;
            EXPECT_EQ(PngGatherImageData(f.data(), info), idat) << c.name;
        }
    }
}

TEST(PngCrafted, CrcAndTransparency) {
    std::vector<uint8_t> f(kSig, kSig + 8);
    Chunk(f, "IHDR", Ihdr(2, 1, 8, 2));
    Chunk(f, "tRNS", {0, 1, 0, 2, 0, 3});
    const size_t textAt = f.size();
    Chunk(f, "tEXt", {'k', 0, 'v'});
    const size_t idatAt = f.size();
    Chunk(f, "IDAT", Deflate({0, 1, 2, 3, 4, 5, 6}));
    Chunk(f, "IEND", {});
    PngStreamInfo info;
    ASSERT_EQ(PngParseStream(f.data(), f.size(), &info), 0);
    EXPECT_TRUE(info.hasTransparency);
    EXPECT_EQ(info.transparentRed, 1);
    EXPECT_EQ(info.transparentGreen, 2);
    EXPECT_EQ(info.transparentBlue, 3);
    EXPECT_EQ(info.KernelColourCode(), kPngColourRgb);
    std::vector<uint8_t> bad = f;
    bad[textAt + 8 + 3] ^= 1;  // tEXt CRC
    EXPECT_EQ(PngParseStream(bad.data(), bad.size(), &info), ipiErrSyntacticalError);
    bad = f;
    bad[idatAt + 8 + 15 - 1] ^= 1;  // IDAT CRC is zlib's business, not the parser's
    EXPECT_EQ(PngParseStream(bad.data(), bad.size(), &info), 0);
    // Every truncation refused.
    for (size_t n = 0; n + 1 < f.size(); ++n)
        EXPECT_EQ(PngParseStream(f.data(), n, &info), ipiErrSyntacticalError) << n;
}

TEST(PngCrafted, EveryChunksCrcIsCheckedButTheImageDatas) {
    // A damaged CRC refuses the stream in every chunk but IDAT, whose bytes
    // zlib's own check covers once inflated.
    std::vector<uint8_t> f(kSig, kSig + 8);
    std::vector<std::pair<std::string, size_t>> at;
    auto add = [&](const char* type, const std::vector<uint8_t>& body) {
        Chunk(f, type, body);
        at.emplace_back(type, f.size() - 1);  // the last byte of its CRC
    };
    add("IHDR", Ihdr(4, 1, 8, 3));
    add("gAMA", {0, 1, 0x86, 0xA0});
    add("PLTE", std::vector<uint8_t>(6 * 3, 7));
    add("tRNS", {0, 0x80});
    add("tEXt", {'k', 0, 'v'});
    add("IDAT", Deflate({0, 0, 1, 2, 3}));
    add("IEND", {});
    PngStreamInfo info;
    ASSERT_EQ(PngParseStream(f.data(), f.size(), &info), 0);
    for (const auto& chunk : at) {
        std::vector<uint8_t> bad = f;
        bad[chunk.second] ^= 0x10;
        EXPECT_EQ(PngParseStream(bad.data(), bad.size(), &info), chunk.first == "IDAT" ? 0 : ipiErrSyntacticalError)
            << chunk.first;
    }
}

TEST(PngCrafted, ImageDataThatCannotFillThePictureIsRefused) {
    // Deflate makes at most 1032 bytes of one; 20 bytes of image data cannot
    // fill 30000 rows, one of them enough for a 4 x 1 picture.
    for (const uint32_t height : {1u, 30000u}) {
        std::vector<uint8_t> f(kSig, kSig + 8);
        Chunk(f, "IHDR", Ihdr(4, height, 8, 0));
        Chunk(f, "IDAT", Deflate({0, 1, 2, 3, 4}));
        Chunk(f, "IEND", {});
        PngStreamInfo info;
        EXPECT_EQ(PngParseStream(f.data(), f.size(), &info), height == 1 ? 0 : ipiErrSyntacticalError) << height;
    }
}

TEST(PngInterlace, OnePixelAndProgressiveBlocks) {
    TempDir dir("png");
    // 1x1 interlaced: only the first pass holds a pixel.
    Shell("convert -size 1x1 xc:'#123456' -define png:color-type=2 -interlace PNG " + dir.file("one.png"));
    const Decoded one = Decode(ReadBytes(dir.file("one.png")));
    ASSERT_EQ(one.code, 0);
    EXPECT_EQ(one.rows.bytes, (std::vector<uint8_t>{0x12, 0x34, 0x56}));

    Shell("convert -size 16x16 -seed 4 plasma: -depth 8 -define png:color-type=2 -interlace PNG " + dir.file("p.png"));
    const std::vector<uint8_t> file = ReadBytes(dir.file("p.png"));
    const Decoded full = Decode(file);
    ASSERT_EQ(full.code, 0);
    const Decoded first = Decode(file, true, 1);
    ASSERT_EQ(first.code, 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(first.rows.bytes[(y * 16 + x) * 3 + c], full.rows.bytes[((y & ~7) * 16 + (x & ~7)) * 3 + c]);
    const Decoded last = Decode(file, true, 7);
    EXPECT_EQ(last.rows.bytes, full.rows.bytes);
    EXPECT_EQ(Decode(file, true, 0).code, ipiErrOutOfRange);
    EXPECT_EQ(Decode(file, true, 8).code, ipiErrOutOfRange);
}

TEST(PngCrafted, RandomDamageNeverCrashes) {
    TempDir dir("png");
    Shell("convert -size 40x30 -seed 9 plasma: -depth 8 -interlace PNG " + dir.file("p.png"));
    const std::vector<uint8_t> good = ReadBytes(dir.file("p.png"));
    ASSERT_FALSE(good.empty());
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> f = good;
        for (int k = 0; k < 3; ++k) f[8 + rng() % (f.size() - 8)] = static_cast<uint8_t>(rng());
        Decode(f);
    }
}

}  // namespace
