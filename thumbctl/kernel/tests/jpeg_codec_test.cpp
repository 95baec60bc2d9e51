// JPEG codec and stream parser against the reference tools cjpeg / djpeg.
#include "thumbctl/kernel/jpeg_codec.h"
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/tests/dib_view.h"

#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>

using testsupport::ReadBytes;
using testsupport::Shell;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {

struct Pnm {
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> pixels;  // interleaved
};

// Binary PGM / PPM with maxval 255.
Pnm ReadPnm(const std::vector<uint8_t>& bytes) {
    Pnm p;
    if (bytes.size() < 3 || bytes[0] != 'P') return p;
    p.channels = bytes[1] == '6' ? 3 : (bytes[1] == '5' ? 1 : 0);
    size_t pos = 2;
    int fields[3];
    for (int f = 0; f < 3; ++f) {
        while (pos < bytes.size() && (isspace(bytes[pos]) || bytes[pos] == '#')) {
            if (bytes[pos] == '#')
                while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
            else
                ++pos;
        }
        int v = 0;
        while (pos < bytes.size() && isdigit(bytes[pos])) v = v * 10 + (bytes[pos++] - '0');
        fields[f] = v;
    }
    ++pos;
    p.width = fields[0];
    p.height = fields[1];
    const size_t n = static_cast<size_t>(p.width) * p.height * p.channels;
    if (fields[2] != 255 || bytes.size() < pos + n) return Pnm();
    p.pixels.assign(bytes.begin() + static_cast<long>(pos), bytes.begin() + static_cast<long>(pos + n));
    return p;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    double se = 0;
    for (size_t i = 0; i < a.size(); ++i) se += (a[i] - b[i]) * double(a[i] - b[i]);
    if (se == 0) return 99;
    return 10 * std::log10(255.0 * 255.0 / (se / a.size()));
}

struct Decoded {
    int code = -999;
    JpegStreamInfo info;
    std::vector<uint8_t> pixels;  // interleaved like the PNM
};

// Decodes at 1 / scale; `width` and `height` of the result in d.info.
Decoded DecodeFile(const std::vector<uint8_t>& file, int scale = 1) {
    Decoded d;
    d.code = JpegParseStream(file.data(), file.size(), &d.info);
    if (d.code) return d;
    const int c = d.info.components;
    const int w = JpegScaledLength(d.info.width, scale), h = JpegScaledLength(d.info.height, scale);
    d.pixels.assign(static_cast<size_t>(w) * h * c, 0);
    JpegPlane planes[3];
    for (int b = 0; b < c; ++b) {
        planes[b].origin = d.pixels.data() + b;
        planes[b].pixelStep = c;
        planes[b].rowStep = static_cast<ptrdiff_t>(w) * c;
    }
    d.code = JpegDecodeScan(file.data() + d.info.scanOffset, d.info.scanSize, d.info.tables, d.info.width,
                            d.info.height, c, d.info.sampling, planes, scale);
    d.info.width = w;
    d.info.height = h;
    return d;
}

// A picture with smooth areas, edges and fine detail, odd-sized so the last
// MCUs are partial.
std::string MakeSource(const TempDir& dir, int w = 203, int h = 141) {
    const std::string path = dir.file("src.ppm");
    std::ostringstream cmd;
    cmd << "convert -size " << w << "x" << h << " -seed 7 plasma:red-blue \\( -size " << w << "x" << h
        << " pattern:checkerboard \\) -compose overlay -composite -depth 8 ppm:" << path;
    Shell(cmd.str());
    return path;
}

class JpegAgainstDjpeg : public ::testing::TestWithParam<std::string> {};

TEST_P(JpegAgainstDjpeg, DecodesCloseToReference) {
    TempDir dir("jpeg");
    const std::string src = MakeSource(dir);
    const std::string jpg = dir.file("a.jpg");
    Shell("cjpeg " + GetParam() + " -outfile " + jpg + " " + src);
    Shell("djpeg -nosmooth -dct int -outfile " + dir.file("ref.pnm") + " " + jpg);
    const Pnm ref = ReadPnm(ReadBytes(dir.file("ref.pnm")));
    ASSERT_GT(ref.width, 0) << "djpeg failed for " << GetParam();
    const Decoded d = DecodeFile(ReadBytes(jpg));
    ASSERT_EQ(d.code, 0);
    EXPECT_EQ(d.info.width, ref.width);
    EXPECT_EQ(d.info.height, ref.height);
    EXPECT_EQ(d.info.components, ref.channels);
    EXPECT_GE(Psnr(d.pixels, ref.pixels), 38.0) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Baseline, JpegAgainstDjpeg,
    ::testing::Values("-sample 1x1", "-sample 2x1", "-sample 2x2", "-grayscale", "-sample 1x1 -restart 1",
                      "-sample 2x1 -restart 2", "-sample 2x2 -restart 1", "-sample 2x2 -restart 5B",
                      "-grayscale -restart 1", "-grayscale -restart 7B", "-sample 2x2 -quality 100",
                      "-sample 2x2 -quality 10 -baseline", "-sample 2x2 -optimize"));

TEST(JpegStream, SamplingCodesAndRefusedProcesses) {
    TempDir dir("jpeg");
    const std::string src = MakeSource(dir, 40, 24);
    struct Case {
        const char* options;
        int code;
        int sampling;
        int components;
    } cases[] = {
        {"-sample 1x1", 0, kJpegSampling1x1, 3},     {"-sample 2x1", 0, kJpegSampling2x1, 3},
        {"-sample 2x2", 0, kJpegSampling2x2, 3},     {"-grayscale", 0, kJpegSampling1x1, 1},
        {"-progressive", ipiErrSyntacticalError, 0, 0}, {"-arithmetic", ipiErrSyntacticalError, 0, 0},
        {"-sample 1x2", ipiErrSyntacticalError, 0, 0},  {"-sample 4x1", ipiErrSyntacticalError, 0, 0},
        {"-grayscale -progressive", ipiErrSyntacticalError, 0, 0},
    };
    for (const Case& c : cases) {
        const std::string jpg = dir.file("c.jpg");
        Shell(std::string("cjpeg ") + c.options + " -outfile " + jpg + " " + src);
        const std::vector<uint8_t> bytes = ReadBytes(jpg);
        ASSERT_FALSE(bytes.empty()) << c.options;
        JpegStreamInfo info;
        EXPECT_EQ(JpegParseStream(bytes.data(), bytes.size(), &info), c.code) << c.options;
        if (c.code == 0) {
            EXPECT_EQ(info.sampling, c.sampling) << c.options;
            EXPECT_EQ(info.components, c.components) << c.options;
            EXPECT_EQ(info.width, 40);
            EXPECT_EQ(info.height, 24);
        }
    }
}

TEST(JpegStream, JunkBeforeStartAndCommentsAreSkipped) {
    TempDir dir("jpeg");
    const std::string src = MakeSource(dir, 64, 48);
    Shell("cjpeg -sample 2x2 -outfile " + dir.file("a.jpg") + " " + src);
    Shell("wrjpgcom -comment 'a comment' " + dir.file("a.jpg") + " > " + dir.file("b.jpg"));
    const Decoded plain = DecodeFile(ReadBytes(dir.file("a.jpg")));
    ASSERT_EQ(plain.code, 0);

    std::vector<uint8_t> junk(100, 0x55);
    junk[10] = 0xFF;  // a lone FF that is not a start marker
    std::vector<uint8_t> withJunk = junk;
    const std::vector<uint8_t> a = ReadBytes(dir.file("a.jpg"));
    withJunk.insert(withJunk.end(), a.begin(), a.end());
    const Decoded shifted = DecodeFile(withJunk);
    ASSERT_EQ(shifted.code, 0);
    EXPECT_EQ(shifted.pixels, plain.pixels);

    const Decoded commented = DecodeFile(ReadBytes(dir.file("b.jpg")));
    ASSERT_EQ(commented.code, 0);
    EXPECT_EQ(commented.pixels, plain.pixels);
}

TEST(JpegStream, MalformedHeadersAreRefused) {
    TempDir dir("jpeg");
    const std::string src = MakeSource(dir, 32, 16);
    Shell("cjpeg -sample 2x2 -outfile " + dir.file("a.jpg") + " " + src);
    const std::vector<uint8_t> good = ReadBytes(dir.file("a.jpg"));
    JpegStreamInfo info;
    // No start of image at all.
    const std::vector<uint8_t> none(50, 0x11);
    EXPECT_EQ(JpegParseStream(none.data(), none.size(), &info), ipiErrSyntacticalError);
    // Every truncation of the headers is refused, never read past the end.
    ASSERT_EQ(JpegParseStream(good.data(), good.size(), &info), 0);
    for (size_t n = 0; n < info.scanOffset; ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
        EXPECT_NE(JpegParseStream(cut.data(), cut.size(), &info), 0) << n;
    }
    // A DHT table that claims more than 256 symbols.
    std::vector<uint8_t> bad = {0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x13, 0x10};
    for (int i = 0; i < 16; ++i) bad.push_back(0xFF);
    EXPECT_EQ(JpegParseStream(bad.data(), bad.size(), &info), ipiErrSyntacticalError);
    // DRI with a wrong length.
    const std::vector<uint8_t> dri = {0xFF, 0xD8, 0xFF, 0xDD, 0x00, 0x05, 0x00, 0x01, 0x00};
    EXPECT_EQ(JpegParseStream(dri.data(), dri.size(), &info), ipiErrSyntacticalError);
}

// Offsets of a stream's segments with marker `m` (after SOI, up to SOS).
std::vector<size_t> Segments(const std::vector<uint8_t>& f, int m) {
    std::vector<size_t> at;
    for (size_t p = 2; p + 4 <= f.size() && f[p] == 0xFF;) {
        if (f[p + 1] == m) at.push_back(p);
        if (f[p + 1] == 0xDA) break;
        p += 2 + ((f[p + 2] << 8) | f[p + 3]);
    }
    return at;
}

// The table each component selects: quantisation tables by the frame's
// selectors (cjpeg -qslots, three tables from a -qtables file), Huffman
// tables by the scan's (the table identities of a cjpeg stream swapped by
// hand). Where the codec cannot follow them, because the two chroma
// components select different tables, the stream is refused.
TEST(JpegStream, ComponentsDecodeWithTheTablesTheySelect) {
    TempDir dir("jpegsel");
    const std::string src = MakeSource(dir);
    // Three tables: 0 and 1 the standard ones, 2 a coarse ramp.
    std::ostringstream tables;
    for (int t = 0; t < 3; ++t)
        for (int k = 0; k < 64; ++k)
            tables << (t < 2 ? int(kJpegStdQuant[t][k]) : 8 + 3 * (k / 8 + k % 8)) << (k % 8 == 7 ? "\n" : " ");
    {
        std::vector<uint8_t> text;
        const std::string s = tables.str();
        text.assign(s.begin(), s.end());
        WriteBytes(dir.file("q.txt"), text);
    }
    const std::string q3 = "-qtables " + dir.file("q.txt") + " ";
    // Swaps Huffman tables 0 and 1 of both classes in the DHT segments and
    // in the scan's selectors: the same picture, coded with other identities.
    auto swapHuffman = [](std::vector<uint8_t> f) {
        for (size_t seg : Segments(f, 0xC4)) {
            const size_t end = seg + 2 + ((f[seg + 2] << 8) | f[seg + 3]);
            for (size_t p = seg + 4; p < end;) {
                f[p] ^= 1;
                int n = 0;
                for (int i = 1; i <= 16; ++i) n += f[p + i];
                p += 17 + n;
            }
        }
        const size_t sos = Segments(f, 0xDA).at(0);
        for (int j = 0; j < f[sos + 4]; ++j) f[sos + 6 + 2 * j] ^= 0x11;
        return f;
    };
    // Cr selects the luminance's Huffman tables, Cb the chrominance ones.
    auto splitChroma = [](std::vector<uint8_t> f) {
        const size_t sos = Segments(f, 0xDA).at(0);
        f[sos + 6 + 2 * 2] = 0x00;
        return f;
    };
    struct Case {
        const char* options;
        std::vector<uint8_t> (*edit)(std::vector<uint8_t>);
        bool followed;
    };
    const auto same = [](std::vector<uint8_t> f) { return f; };
    const Case cases[] = {
        {"-sample 2x2 -qslots 1,0,0", same, true},
        {"-sample 1x1 -qslots 1,0,0", same, true},
        {"-sample 2x1 -qslots 0,0,0", same, true},
        {"-grayscale -qslots 1", same, true},
        {"-sample 2x2 -qslots 2,1,1", nullptr, true},   // with the three tables
        {"-sample 2x2 -qslots 0,2,0", nullptr, false},  // chroma tables differ
        {"-sample 2x2 -qslots 0,1,2", nullptr, false},
        {"-sample 2x2", swapHuffman, true},
        {"-sample 1x1 -restart 1", swapHuffman, true},
        {"-grayscale", swapHuffman, true},
        {"-sample 2x2", splitChroma, false},
    };
    for (const Case& c : cases) {
        const bool threeTables = c.edit == nullptr;
        const std::string jpg = dir.file("s.jpg");
        Shell("cjpeg " + (threeTables ? q3 : std::string()) + c.options + " -outfile " + jpg + " " + src);
        std::vector<uint8_t> file = ReadBytes(jpg);
        ASSERT_FALSE(file.empty()) << c.options;
        if (c.edit) file = c.edit(file);
        WriteBytes(jpg, file);
        const Decoded d = DecodeFile(file);
        IPIHANDLE h = 0;
        int error = 0;
        const int entry =
            DecodeImageFromMemory(file.data(), &h, 1, DecodeFormatJpeg, 0, int64_t(file.size()), nullptr, 0, &error);
        if (h) ipiGlobalFree(h);
        if (!c.followed) {
            EXPECT_EQ(d.code, ipiErrSyntacticalError) << c.options;
            EXPECT_EQ(entry, 0) << c.options;
            continue;
        }
        EXPECT_EQ(entry, 1) << c.options << " error " << error;
        if (d.code != 0) {
            ADD_FAILURE() << c.options << " refused with " << d.code;
            continue;
        }
        Shell("djpeg -nosmooth -dct int -outfile " + dir.file("ref.pnm") + " " + jpg);
        const Pnm ref = ReadPnm(ReadBytes(dir.file("ref.pnm")));
        ASSERT_EQ(ref.width, d.info.width) << c.options;
        int worst = 0;
        for (size_t i = 0; i < ref.pixels.size() && i < d.pixels.size(); ++i)
            worst = std::max(worst, std::abs(int(ref.pixels[i]) - int(d.pixels[i])));
        EXPECT_GE(Psnr(d.pixels, ref.pixels), 38.0) << c.options;
        EXPECT_LE(worst, 24) << c.options;
    }
}

TEST(JpegDecode, TruncatedAndCorruptScansEndWithAnError) {
    TempDir dir("jpeg");
    const std::string src = MakeSource(dir, 96, 80);
    Shell("cjpeg -sample 2x2 -restart 1 -outfile " + dir.file("a.jpg") + " " + src);
    const std::vector<uint8_t> good = ReadBytes(dir.file("a.jpg"));
    JpegStreamInfo info;
    ASSERT_EQ(JpegParseStream(good.data(), good.size(), &info), 0);
    std::vector<uint8_t> out(96 * 80 * 3);
    JpegPlane planes[3];
    for (int b = 0; b < 3; ++b) planes[b] = {out.data() + b, 3, 96 * 3};
    // Cut in the middle of the scan: the decoder runs out of data.
    const size_t half = info.scanSize / 2;
    EXPECT_EQ(JpegDecodeScan(good.data() + info.scanOffset, half, info.tables, 96, 80, 3, info.sampling, planes),
              ipiErrInsufficientSize);
    // Random damage: any code, but no crash and no sanitizer report.
    std::mt19937 rng(5);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> scan(good.begin() + static_cast<long>(info.scanOffset), good.end());
        for (int k = 0; k < 4; ++k) scan[rng() % scan.size()] = static_cast<uint8_t>(rng());
        JpegDecodeScan(scan.data(), scan.size(), info.tables, 96, 80, 3, info.sampling, planes);
    }
    // A missing Huffman table is an option the codec cannot serve.
    JpegTables t = info.tables;
    t.hasHuff[kJpegChromAC] = false;
    EXPECT_EQ(JpegDecodeScan(good.data() + info.scanOffset, info.scanSize, t, 96, 80, 3, info.sampling, planes),
              ipiErrNonPermissibleOption);
    // A table whose counts do not form a prefix code.
    t = info.tables;
    std::memset(t.bits[kJpegLumDC], 0, 16);
    t.bits[kJpegLumDC][0] = 3;  // three codes of length 1
    EXPECT_EQ(JpegDecodeScan(good.data() + info.scanOffset, info.scanSize, t, 96, 80, 3, info.sampling, planes),
              ipiErrSyntacticalError);
}

TEST(JpegDecode, MarkerInsideTheDataIsASemanticError) {
    // Grey 8x8 with standard tables: DC code for size 0 is "00", AC EOB
    // "1010"; then FF D9 before the second block of a 16x8 image.
    JpegTables t;
    t.hasQuant[0] = true;
    std::memset(t.quant[0], 1, 64);
    for (int s = 0; s < 2; ++s) {
        std::memcpy(t.bits[s], kJpegStdBits[s], 16);
        std::memcpy(t.vals[s], kJpegStdVals[s], static_cast<size_t>(kJpegStdValCount[s]));
        t.hasHuff[s] = true;
    }
    const uint8_t scan[] = {0x28, 0xFF, 0xD9};  // 00 1010 00 | marker
    std::vector<uint8_t> out(16 * 8);
    JpegPlane p{out.data(), 1, 16};
    EXPECT_EQ(JpegDecodeScan(scan, sizeof(scan), t, 16, 8, 1, kJpegSampling1x1, &p), ipiErrSemanticalError);
    // One block alone decodes to mid grey.
    EXPECT_EQ(JpegDecodeScan(scan, sizeof(scan), t, 8, 8, 1, kJpegSampling1x1, &p), 0);
    EXPECT_EQ(out[0], 128);
}

// Wraps an encoded scan into a JFIF stream the reference decoder reads.
std::vector<uint8_t> WrapScan(const JpegTables& t, int w, int h, int bands, int sampling,
                              const std::vector<uint8_t>& scan) {
    std::vector<uint8_t> f = {0xFF, 0xD8};
    auto u16 = [&](int v) {
        f.push_back(static_cast<uint8_t>(v >> 8));
        f.push_back(static_cast<uint8_t>(v));
    };
    for (int q = 0; q < (bands == 3 ? 2 : 1); ++q) {
        f.push_back(0xFF), f.push_back(0xDB), u16(67), f.push_back(static_cast<uint8_t>(q));
        f.insert(f.end(), t.quant[q], t.quant[q] + 64);
    }
    f.push_back(0xFF), f.push_back(0xC0), u16(8 + 3 * bands), f.push_back(8), u16(h), u16(w);
    f.push_back(static_cast<uint8_t>(bands));
    const int yhv = sampling == kJpegSampling2x2 ? 0x22 : (sampling == kJpegSampling2x1 ? 0x21 : 0x11);
    for (int c = 0; c < bands; ++c) {
        f.push_back(static_cast<uint8_t>(c + 1));
        f.push_back(static_cast<uint8_t>(c == 0 && bands == 3 ? yhv : 0x11));
        f.push_back(static_cast<uint8_t>(c == 0 ? 0 : 1));
    }
    const int classes[4] = {0x00, 0x10, 0x01, 0x11};
    for (int s = 0; s < (bands == 3 ? 4 : 2); ++s) {
        int n = 0;
        for (int i = 0; i < 16; ++i) n += t.bits[s][i];
        f.push_back(0xFF), f.push_back(0xC4), u16(19 + n), f.push_back(static_cast<uint8_t>(classes[s]));
        f.insert(f.end(), t.bits[s], t.bits[s] + 16);
        f.insert(f.end(), t.vals[s], t.vals[s] + n);
    }
    if (t.restartInterval) f.push_back(0xFF), f.push_back(0xDD), u16(4), u16(t.restartInterval);
    f.push_back(0xFF), f.push_back(0xDA), u16(6 + 2 * bands), f.push_back(static_cast<uint8_t>(bands));
    for (int c = 0; c < bands; ++c) {
        f.push_back(static_cast<uint8_t>(c + 1));
        f.push_back(static_cast<uint8_t>(c == 0 ? 0x00 : 0x11));
    }
    f.push_back(0), f.push_back(63), f.push_back(0);
    f.insert(f.end(), scan.begin(), scan.end());
    f.push_back(0xFF), f.push_back(0xD9);
    return f;
}

TEST(JpegEncode, QualityFactorDivisors) {
    uint8_t d[64];
    JpegQuantForQuality(1, 0, d);
    EXPECT_EQ(0, std::memcmp(d, kJpegStdQuant[0], 64));
    JpegQuantForQuality(2, 1, d);
    EXPECT_EQ(d[0], (17 + 1) / 2);
    EXPECT_EQ(d[63], (99 + 1) / 2);
    JpegQuantForQuality(0, 0, d);
    for (int k = 0; k < 64; ++k) EXPECT_EQ(d[k], 1);
    JpegQuantForQuality(-2, 0, d);
    EXPECT_EQ(d[0], 3);
    EXPECT_EQ(d[63], 31);
    // Divisors never reach 0 nor pass a byte: the stored table is the one used.
    JpegQuantForQuality(100, 0, d);
    for (int k = 0; k < 64; ++k) EXPECT_GE(d[k], 1);
    JpegQuantForQuality(-30, 0, d);
    EXPECT_EQ(d[63], 255);
}

struct EncodeCase {
    int bands, sampling, quality, restart, width, height;
};

class JpegEncodeRoundTrip : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(JpegEncodeRoundTrip, ReferenceDecoderReadsTheScan) {
    const EncodeCase c = GetParam();
    TempDir dir("jpeg");
    Shell("convert -size " + std::to_string(c.width) + "x" + std::to_string(c.height) +
          " gradient:orange-navy -depth 8 ppm:" + dir.file("src.ppm"));
    Pnm src = ReadPnm(ReadBytes(dir.file("src.ppm")));
    ASSERT_EQ(src.channels, 3);
    std::vector<uint8_t> planar(src.pixels.size());
    const size_t n = static_cast<size_t>(c.width) * c.height;
    JpegConstPlane in[3];
    if (c.bands == 1) {
        for (size_t i = 0; i < n; ++i) planar[i] = src.pixels[3 * i + 1];
        in[0] = {planar.data(), 1, c.width};
    } else {
        for (size_t i = 0; i < n; ++i)
            for (int b = 0; b < 3; ++b) planar[b * n + i] = src.pixels[3 * i + b];
        for (int b = 0; b < 3; ++b) in[b] = {planar.data() + b * n, 1, c.width};
    }
    JpegTables tables;
    std::vector<uint8_t> scan;
    ASSERT_EQ(JpegEncodeScan(in, c.width, c.height, c.bands, c.sampling, c.quality, c.restart, &tables, &scan), 0);
    for (size_t i = 0; i + 1 < scan.size(); ++i)
        if (scan[i] == 0xFF) {
            EXPECT_TRUE(scan[i + 1] == 0 || (scan[i + 1] >= 0xD0 && scan[i + 1] <= 0xD7));
        }
    const std::vector<uint8_t> file = WrapScan(tables, c.width, c.height, c.bands, c.sampling, scan);
    WriteBytes(dir.file("enc.jpg"), file);
    Shell("djpeg -nosmooth -dct int -outfile " + dir.file("ref.pnm") + " " + dir.file("enc.jpg"));
    const Pnm ref = ReadPnm(ReadBytes(dir.file("ref.pnm")));
    ASSERT_EQ(ref.width, c.width) << "reference decoder refused the encoded stream";
    const Decoded ours = DecodeFile(file);
    ASSERT_EQ(ours.code, 0);
    EXPECT_GE(Psnr(ours.pixels, ref.pixels), 38.0);
    // Close to the source too (a smooth gradient codes well).
    std::vector<uint8_t> orig(ref.pixels.size());
    for (size_t i = 0; i < n; ++i)
        for (int b = 0; b < c.bands; ++b) orig[i * c.bands + b] = c.bands == 1 ? src.pixels[3 * i + 1] : src.pixels[3 * i + b];
    EXPECT_GE(Psnr(ref.pixels, orig), 28.0);
}

INSTANTIATE_TEST_SUITE_P(Encoder, JpegEncodeRoundTrip,
                         ::testing::Values(EncodeCase{3, kJpegSampling1x1, 1, 0, 40, 24},
                                           EncodeCase{3, kJpegSampling2x1, 1, 0, 33, 19},
                                           EncodeCase{3, kJpegSampling2x2, 1, 2, 17, 17},
                                           EncodeCase{3, kJpegSampling2x2, 2, 3, 64, 48},
                                           EncodeCase{1, kJpegSampling2x2, 1, 5, 30, 21},
                                           EncodeCase{1, kJpegSampling1x1, 0, 0, 16, 16}));

TEST(JpegEncode, RestartMarkersFollowTheInterval) {
    std::vector<uint8_t> pix(32 * 8, 90);
    JpegConstPlane in{pix.data(), 1, 32};
    JpegTables t;
    std::vector<uint8_t> scan;
    auto markers = [&]() {
        std::vector<int> m;
        for (size_t i = 0; i + 1 < scan.size(); ++i)
            if (scan[i] == 0xFF && scan[i + 1] != 0) m.push_back(scan[i + 1]);
        return m;
    };
    ASSERT_EQ(JpegEncodeScan(&in, 32, 8, 1, kJpegSampling1x1, 1, 0, &t, &scan), 0);
    EXPECT_TRUE(markers().empty());
    ASSERT_EQ(JpegEncodeScan(&in, 32, 8, 1, kJpegSampling1x1, 1, 2, &t, &scan), 0);
    EXPECT_EQ(markers(), (std::vector<int>{0xD0, 0xD1}));  // the second after the final MCU
    EXPECT_EQ(scan[scan.size() - 2], 0xFF);
}

// ---- pinned output ---------------------------------------------------------------
// The decoder's exact output for fixed streams (tests/fixtures/jpeg, made once
// with cjpeg from a plasma picture and a picture of saturated shapes), so that
// any change of a single decoded value is caught, not only a drop in PSNR.

uint64_t Fnv1a(const std::vector<uint8_t>& v) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : v) h = (h ^ b) * 1099511628211ull;
    return h;
}

std::string Hex(uint64_t v) {
    char s[20];
    std::snprintf(s, sizeof s, "%016" PRIx64, v);
    return s;
}

std::vector<uint8_t> Fixture(const std::string& name) {
    return ReadBytes(testsupport::SourceDir() + "/thumbctl/kernel/tests/fixtures/jpeg/" + name);
}

enum class Layout { BandsBottomUp, Interleaved, Reversed, Padded };

// Decodes into one of the destination layouts (band after band with rows
// bottom-up; bands next to each other; the same with the bands in reverse
// order; four bytes a pixel) and returns the pixels interleaved.
std::vector<uint8_t> DecodeLaidOut(const std::vector<uint8_t>& file, Layout layout, int* code) {
    JpegStreamInfo info;
    *code = JpegParseStream(file.data(), file.size(), &info);
    if (*code) return {};
    const int c = info.components, w = info.width, h = info.height;
    const size_t n = static_cast<size_t>(w) * h;
    const int step = layout == Layout::Padded ? 4 : c;
    std::vector<uint8_t> buf(n * step, 0x5A);
    // Where band b of pixel i lies.
    auto at = [&](size_t i, int b) -> size_t {
        const size_t x = i % w, y = i / w;
        switch (layout) {
        case Layout::BandsBottomUp: return b * n + (h - 1 - y) * w + x;
        case Layout::Reversed: return i * step + (c - 1 - b);
        default: return i * step + b;
        }
    };
    JpegPlane planes[3];
    for (int b = 0; b < c; ++b) {
        planes[b].origin = buf.data() + at(0, b);
        planes[b].pixelStep = layout == Layout::BandsBottomUp ? 1 : step;
        planes[b].rowStep = layout == Layout::BandsBottomUp ? -w : ptrdiff_t(w) * step;
    }
    *code = JpegDecodeScan(file.data() + info.scanOffset, info.scanSize, info.tables, w, h, c, info.sampling,
                           planes);
    std::vector<uint8_t> out(n * c);
    for (size_t i = 0; i < n; ++i)
        for (int b = 0; b < c; ++b) out[i * c + b] = buf[at(i, b)];
    return out;
}

// The pinned results hold for every path: AVX2 and SSE2 vectors and the
// portable code.
class JpegPinned : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        if (!JpegSelectCode(GetParam())) GTEST_SKIP() << "this path is not in this build or processor";
    }
    void TearDown() override { JpegUseVectorCode(true); }
};

INSTANTIATE_TEST_SUITE_P(Paths, JpegPinned, ::testing::Values(2, 1, 0),
                         [](const ::testing::TestParamInfo<int>& i) {
                             return i.param == 2 ? "Avx2" : i.param == 1 ? "Vector" : "Portable";
                         });

TEST_P(JpegPinned, FixturesDecodeToTheirRecordedPixels) {
    struct Case {
        const char* file;
        const char* pixels;  // FNV-1a of the interleaved pixels
        const char* dib;     // FNV-1a of the DIB from the decode entry point
    } cases[] = {
        {"s22.jpg", "c03aebbeb88821a5", "685adfb0f0a934f0"},
        {"s21_restart2.jpg", "0407a40cd2995f6d", "b56836a6a249814a"},
        {"s11_optimize.jpg", "2e20cdc47aac11fb", "749ac8710d700dbe"},
        {"grey_restart1.jpg", "66859956ff630987", "68dca501a3a7f582"},
        {"s22_q100.jpg", "ef423fb65aa867c6", "aa3cfb6d5ee7a1ad"},
        {"s22_q3.jpg", "172c7a4601758f0d", "5902bb848c5bd782"},
        {"grey_q100_optimize.jpg", "636c8538a0638fc8", "3567579d5c8232bd"},
        {"saturated_s22.jpg", "eb287e8ce535ad98", "90da773eefc5e955"},
        {"saturated_s11.jpg", "43b54b197d5652c6", "a068d449afe06575"},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> file = Fixture(c.file);
        ASSERT_FALSE(file.empty()) << c.file;
        int code = -1;
        const std::vector<uint8_t> pixels = DecodeLaidOut(file, Layout::BandsBottomUp, &code);
        ASSERT_EQ(code, 0) << c.file;
        EXPECT_EQ(Hex(Fnv1a(pixels)), c.pixels) << c.file;
        // Every layout of the destination gets the same values.
        for (Layout l : {Layout::Interleaved, Layout::Reversed, Layout::Padded}) {
            EXPECT_EQ(DecodeLaidOut(file, l, &code), pixels) << c.file << " layout " << int(l);
            EXPECT_EQ(code, 0);
        }
        IPIHANDLE h = 0;
        int error = 0;
        ASSERT_EQ(DecodeImageFromMemory(file.data(), &h, 1, DecodeFormatJpeg, 0, int64_t(file.size()), nullptr, 0,
                                        &error),
                  1)
            << c.file << " error " << error;
        std::vector<uint8_t> dib;
        {
            IpiGlobalLock lock(h);
            dib.assign(lock.ptr(), lock.ptr() + lock.size());
        }
        ipiGlobalFree(h);
        EXPECT_EQ(Hex(Fnv1a(dib)), c.dib) << c.file;
    }
}

// Scans from the codec's own encoder with divisors 1 (the largest coefficient
// sizes) and with the coarsest divisors, over a picture with hard edges.
TEST_P(JpegPinned, OwnEncoderScansDecodeToTheirRecordedPixels) {
    const int w = 77, h = 45;
    std::vector<uint8_t> planar(size_t(w) * h * 3);
    uint32_t seed = 99;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int b = 0; b < 3; ++b) {
                seed = seed * 1664525u + 1013904223u;
                const int edge = ((x / 5 + y / 3 + b) & 1) ? 255 : 0;
                planar[size_t(b) * w * h + size_t(y) * w + x] = uint8_t(x < w / 2 ? edge : (seed >> 24));
            }
    struct Case {
        int bands, sampling, quality, restart;
        const char* pixels;
    } cases[] = {
        {3, kJpegSampling2x2, 0, 0, "c9488e36e089ac51"},
        {3, kJpegSampling2x1, -30, 3, "bea59bdce334027a"},
        {3, kJpegSampling1x1, 1, 0, "1020f58961a2a13b"},
        {1, kJpegSampling1x1, 0, 7, "cc8cc8b909c6a3fa"},
    };
    for (const Case& c : cases) {
        JpegConstPlane in[3];
        for (int b = 0; b < 3; ++b) in[b] = {planar.data() + size_t(b) * w * h, 1, w};
        JpegTables tables;
        std::vector<uint8_t> scan;
        ASSERT_EQ(JpegEncodeScan(in, w, h, c.bands, c.sampling, c.quality, c.restart, &tables, &scan), 0);
        std::vector<uint8_t> out(size_t(w) * h * c.bands);
        JpegPlane pl[3];
        for (int b = 0; b < c.bands; ++b) pl[b] = {out.data() + b, c.bands, w * c.bands};
        ASSERT_EQ(JpegDecodeScan(scan.data(), scan.size(), tables, w, h, c.bands, c.sampling, pl), 0);
        EXPECT_EQ(Hex(Fnv1a(out)), c.pixels) << c.bands << " " << c.sampling << " q " << c.quality;
    }
}

// The encoder's exact bytes for every MCU layout, quality factors at both
// ends, restart intervals and partial MCUs on the right and at the bottom.
TEST(JpegEncode, ScansAreTheirRecordedBytes) {
    const int w = 77, h = 45;
    std::vector<uint8_t> planar(size_t(w) * h * 3);
    uint32_t seed = 41;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int b = 0; b < 3; ++b) {
                seed = seed * 1664525u + 1013904223u;
                const int shade = (x * 3 + y * (b + 1)) & 255;
                planar[size_t(b) * w * h + size_t(y) * w + x] = uint8_t(y < h / 2 ? shade : (seed >> 24));
            }
    struct Case {
        int bands, sampling, quality, restart, width, height;
        const char* bytes;  // FNV-1a of the scan, then of the tables
    } cases[] = {
        {3, kJpegSampling2x2, 1, 0, 77, 45, "b244ae6ffd86a1e0:28e1f9185172e7dc"},
        {3, kJpegSampling2x1, 4, 3, 77, 45, "1f534273310c7751:f88b2cbc2dcb68c8"},
        {3, kJpegSampling1x1, -3, 1, 77, 45, "a00963f4ca41aa0e:e9b9340dfbfa80b2"},
        {3, kJpegSampling2x2, 0, 2, 17, 9, "47bbaf0c3eb1f3cd:37184fcd7c293fbf"},
        {1, kJpegSampling2x2, 2, 0, 77, 45, "76a9a67db8be655e:745bc28807eec04c"},
        {1, kJpegSampling1x1, 1, 5, 9, 17, "b4e9b887ce8ebb57:13aa7c9f294df9c5"},
    };
    for (const Case& c : cases) {
        JpegConstPlane in[3];
        for (int b = 0; b < 3; ++b) in[b] = {planar.data() + size_t(b) * w * h, 1, w};
        JpegTables tables;
        std::vector<uint8_t> scan;
        ASSERT_EQ(JpegEncodeScan(in, c.width, c.height, c.bands, c.sampling, c.quality, c.restart, &tables, &scan), 0);
        std::vector<uint8_t> t;
        for (int q = 0; q < 2; ++q) {
            t.push_back(tables.hasQuant[q]);
            t.insert(t.end(), tables.quant[q], tables.quant[q] + 64);
        }
        for (int k = 0; k < 4; ++k) {
            t.push_back(tables.hasHuff[k]);
            t.insert(t.end(), tables.bits[k], tables.bits[k] + 16);
            t.insert(t.end(), tables.vals[k], tables.vals[k] + 256);
        }
        t.push_back(uint8_t(tables.restartInterval));
        EXPECT_EQ(Hex(Fnv1a(scan)) + ":" + Hex(Fnv1a(t)), c.bytes)
            << c.bands << " " << c.sampling << " q " << c.quality << " r " << c.restart;
    }
}

// Damaged scans: the code returned and what was stored until then stay the same.
TEST_P(JpegPinned, DamagedScansGiveTheirRecordedResults) {
    const std::vector<uint8_t> file = Fixture("s21_restart2.jpg");
    JpegStreamInfo info;
    ASSERT_EQ(JpegParseStream(file.data(), file.size(), &info), 0);
    const char* expected[] = {
        "8:b50fb7b7a2cd207f",
        "0:4bc39b26dae01667",
        "19:1db983e4fb7a876c",
        "0:26d8a339a3841cfd",
        "0:df35f8d81f1dfdab",
        "0:428eccf8b670cd7e",
        "0:aab3cd5fd9eba3b9",
        "22:253e153ab6a378c9",
        "0:18757543cef487db",
        "19:cef838cdc9d17d1a",
        "19:5814c126216e34b2",
        "0:aa815354c90f22de",
    };
    std::mt19937 rng(11);
    std::string got;
    for (int round = 0; round < 12; ++round) {
        std::vector<uint8_t> scan(file.begin() + static_cast<long>(info.scanOffset), file.end());
        if (round == 0) {
            scan.resize(scan.size() / 3);  // cut short
        } else {
            for (int k = 0; k < round; ++k) {
                const uint8_t value = static_cast<uint8_t>(rng());
                scan[rng() % scan.size()] = value;
            }
        }
        std::vector<uint8_t> out(size_t(info.width) * info.height * 3, 0);
        JpegPlane pl[3];
        for (int b = 0; b < 3; ++b) pl[b] = {out.data() + b, 3, info.width * 3};
        const int code =
            JpegDecodeScan(scan.data(), scan.size(), info.tables, info.width, info.height, 3, info.sampling, pl);
        EXPECT_EQ(std::to_string(code) + ":" + Hex(Fnv1a(out)), expected[round]) << "round " << round;
    }
}

namespace {

// The coarsest divisors and the standard Huffman tables: random entropy-coded
// data then gives coefficients of every size, up to the clamp.
JpegTables CoarseStandardTables()
{
    JpegTables t;
    for (int q = 0; q < 2; ++q) {
        std::memset(t.quant[q], 255, 64);
        t.hasQuant[q] = true;
    }
    for (int s = 0; s < 4; ++s) {
        std::memcpy(t.bits[s], kJpegStdBits[s], 16);
        std::memcpy(t.vals[s], kJpegStdVals[s], static_cast<size_t>(kJpegStdValCount[s]));
        t.hasHuff[s] = true;
    }
    return t;
}

} // namespace

// Random entropy-coded data with the coarsest divisors gives coefficients of
// every size, up to the clamp: vector and portable code store the same pixels
// and end with the same code.
TEST(JpegDecode, VectorAndPortableCodeAgreeOnExtremeData) {
    if (!JpegUseVectorCode(true)) GTEST_SKIP() << "no vector code in this build";
    JpegTables t = CoarseStandardTables();
    std::mt19937 rng(3);
    const int w = 53, h = 37;
    for (int round = 0; round < 60; ++round) {
        std::vector<uint8_t> scan(4000 + round * 50);
        for (uint8_t& b : scan) b = static_cast<uint8_t>(rng() % 255);  // no 0xFF: no marker
        const int sampling = kJpegSampling1x1 + round % 3;
        const int bands = round % 4 == 3 ? 1 : 3;
        // Every path this processor has (portable, SSE2, AVX2) against the portable one.
        std::vector<uint8_t> results[3];
        int codes[3];
        for (int path = 0; path < 3; ++path) {
            if (!JpegSelectCode(path)) continue;
            std::vector<uint8_t> out(size_t(w) * h * 3, 0);
            JpegPlane pl[3];
            for (int b = 0; b < bands; ++b) pl[b] = {out.data() + b, 3, w * 3};
            codes[path] = JpegDecodeScan(scan.data(), scan.size(), t, w, h, bands, sampling, pl);
            results[path] = out;
            EXPECT_EQ(codes[0], codes[path]) << round << " path " << path;
            EXPECT_EQ(results[0], results[path]) << round << " path " << path;
        }
        JpegUseVectorCode(true);
    }
}

// ---- decoding at 1/2, 1/4 and 1/8 -------------------------------------------

// How far a picture decoded at 1 / scale lies from the means of the s x s
// cells of the full-size decode (whole cells only: the last partial cells
// also hold pixels outside the picture).
struct CellDifference {
    double mean = 0;
    int max = 0;
};
CellDifference CompareWithCellMeans(const Decoded& full, const Decoded& small, int scale) {
    const int c = full.info.components, w = full.info.width, h = full.info.height;
    long total = 0, count = 0;
    CellDifference d;
    for (int y = 0; y + scale <= h; y += scale)
        for (int x = 0; x + scale <= w; x += scale)
            for (int b = 0; b < c; ++b) {
                int sum = 0;
                for (int j = 0; j < scale; ++j)
                    for (int i = 0; i < scale; ++i) sum += full.pixels[(size_t(y + j) * w + x + i) * c + b];
                const int mean = (sum + scale * scale / 2) / (scale * scale);
                const int got = small.pixels[(size_t(y / scale) * small.info.width + x / scale) * c + b];
                const int diff = std::abs(got - mean);
                total += diff;
                d.max = std::max(d.max, diff);
                ++count;
            }
    d.mean = count ? double(total) / count : 0;
    return d;
}

TEST(JpegScaled, ReducedPicturesHoldTheCellMeansOfTheFullOne) {
    TempDir dir("jpegscaled");
    const std::string src = MakeSource(dir);
    for (const std::string options : {"-sample 1x1", "-sample 2x1", "-sample 2x2 -restart 1", "-grayscale",
                                      "-sample 2x2 -quality 100", "-sample 2x2 -quality 20 -baseline"}) {
        const std::string jpg = dir.file("s.jpg");
        Shell("cjpeg " + options + " -outfile " + jpg + " " + src);
        const std::vector<uint8_t> file = ReadBytes(jpg);
        const Decoded full = DecodeFile(file);
        ASSERT_EQ(full.code, 0) << options;
        for (int scale : {2, 4, 8}) {
            const Decoded small = DecodeFile(file, scale);
            ASSERT_EQ(small.code, 0) << options << " 1/" << scale;
            EXPECT_EQ(small.info.width, (203 + scale - 1) / scale);
            EXPECT_EQ(small.info.height, (141 + scale - 1) / scale);
            const CellDifference d = CompareWithCellMeans(full, small, scale);
            EXPECT_LE(d.mean, 1.0) << options << " 1/" << scale;
            EXPECT_LE(d.max, 8) << options << " 1/" << scale;
        }
    }
}

// Damaged and extreme data: at every scale the decoder reads the same
// stream, so it ends with the same code as at full size, and it never
// writes outside the smaller picture (the sanitizer build watches that);
// vector and portable code store the same pixels.
TEST(JpegScaled, ExtremeDataEndsWithTheFullSizeCode) {
    JpegTables t = CoarseStandardTables();
    std::mt19937 rng(5);
    const int w = 53, h = 37;
    for (int round = 0; round < 24; ++round) {
        std::vector<uint8_t> scan(3000 + round * 70);
        for (uint8_t& b : scan) b = static_cast<uint8_t>(rng() % 255);
        const int sampling = kJpegSampling1x1 + round % 3;
        const int bands = round % 4 == 3 ? 1 : 3;
        int codes[4];
        int k = 0;
        for (int scale : {1, 2, 4, 8}) {
            const int sw = JpegScaledLength(w, scale), sh = JpegScaledLength(h, scale);
            std::vector<uint8_t> out[3];
            int code[3];
            for (int path = 0; path < 3; ++path) {
                if (!JpegSelectCode(path)) {
                    code[path] = code[path - 1];
                    continue;
                }
                out[path].assign(size_t(sw) * sh * 3, 0);
                JpegPlane pl[3];
                for (int b = 0; b < bands; ++b) pl[b] = {out[path].data() + b, 3, sw * 3};
                code[path] = JpegDecodeScan(scan.data(), scan.size(), t, w, h, bands, sampling, pl, scale);
                EXPECT_EQ(code[0], code[path]) << round << " 1/" << scale << " path " << path;
                EXPECT_EQ(out[0], out[path]) << round << " 1/" << scale << " path " << path;
            }
            JpegUseVectorCode(true);
            codes[k++] = code[2];
        }
        EXPECT_EQ(codes[1], codes[0]) << round;
        EXPECT_EQ(codes[2], codes[0]) << round;
        EXPECT_EQ(codes[3], codes[0]) << round;
    }
    uint8_t px[64];
    JpegPlane p{px, 1, 8};
    EXPECT_EQ(JpegDecodeScan(px, 0, t, 8, 8, 1, kJpegSampling1x1, &p, 3), 18);
}

// The decode entry gives a JPEG that is going to be shrunk into a box at the
// smallest scale that still reaches the box's width or height, and tells its
// own size; other formats and a JPEG without a box come back whole.
TEST(JpegScaled, DecodeEntryPicksTheScaleFromTheBox) {
    TempDir dir("jpegbox");
    Shell("convert -size 640x400 plasma:red-blue -seed 4 " + dir.file("p.ppm") + " && cjpeg -outfile " +
          dir.file("p.jpg") + " " + dir.file("p.ppm") + " && convert " + dir.file("p.ppm") + " -depth 8 " + dir.file("p.png"));
    const std::vector<uint8_t> jpg = ReadBytes(dir.file("p.jpg"));
    const std::vector<uint8_t> png = ReadBytes(dir.file("p.png"));
    struct Case {
        int format, boxW, boxH, width, height;
    } cases[] = {
        {DecodeFormatJpeg, 80, 60, 80, 50},     // 8 x 80 = 640 reaches the width
        {DecodeFormatJpeg, 81, 50, 80, 50},     // 8 x 50 = 400 the height
        {DecodeFormatJpeg, 81, 51, 160, 100},   // neither at 1/8: 1/4
        {DecodeFormatJpeg, 300, 150, 320, 200}, // 1/2
        {DecodeFormatJpeg, 321, 201, 640, 400}, // whole
        {DecodeFormatJpeg, 0, 0, 640, 400},     // no box given
        {DecodeFormatPng, 80, 60, 640, 400},
    };
    for (const Case& c : cases) {
        IPIVALUE size[2] = {0, 0};
        const IPIATTRIBUTE a[] = {{"boxWidth", c.boxW}, {"boxHeight", c.boxH},
                                  {"pictureSize", reinterpret_cast<IPIVALUE>(size)}};
        const std::vector<uint8_t>& f = c.format == DecodeFormatJpeg ? jpg : png;
        IPIHANDLE h = 0;
        int error = -7;
        ASSERT_EQ(DecodeImageFromMemory(f.data(), &h, 1, c.format, 0, int64_t(f.size()), c.boxW ? a : nullptr,
                                        c.boxW ? 3 : 0, &error), 1) << c.boxW << "x" << c.boxH << " error " << error;
        EXPECT_EQ(error, 0);
        const DibView v = TakeDib(h);
        EXPECT_EQ(v.width, c.width) << c.boxW << "x" << c.boxH;
        EXPECT_EQ(v.height, c.height) << c.boxW << "x" << c.boxH;
        if (c.format == DecodeFormatJpeg && c.boxW) {
            EXPECT_EQ(size[0], 640);
            EXPECT_EQ(size[1], 400);
        }
    }
    // A box side below 1 is a bad argument.
    const IPIATTRIBUTE bad[] = {{"boxWidth", 0}, {"boxHeight", 60}};
    IPIHANDLE h = 0;
    int error = 0;
    EXPECT_EQ(DecodeImageFromMemory(jpg.data(), &h, 1, DecodeFormatJpeg, 0, int64_t(jpg.size()), bad, 2, &error), 0);
    EXPECT_EQ(error, -100);
    EXPECT_EQ(h, 0u);
}

}  // namespace
