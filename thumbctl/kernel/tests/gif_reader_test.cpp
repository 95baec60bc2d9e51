// GIF header reading against giftext, default tables, and the decode and
// information entry points.
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/gif_reader.h"
#include "thumbctl/kernel/ipi_import.h"

#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

using testsupport::ReadBytes;
using testsupport::Shell;
using testsupport::TempDir;

namespace {

int Field(const std::string& text, const std::string& key) {
    const size_t at = text.find(key);
    if (at == std::string::npos) return -1;
    return std::atoi(text.c_str() + at + key.size());
}

TEST(GifParse, AgreesWithGiftext) {
    TempDir dir("gif");
    struct Case {
        const char* options;
    } cases[] = {
        {"-colors 5 -interlace GIF"},
        {"-colors 200 -interlace none"},
        {"-monochrome"},
        {"-colors 16 -page 40x30+3+4"},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file("a.gif");
        Shell(std::string("convert -size 23x17 -seed 3 plasma: ") + c.options +
              " -fill red -draw 'point 0,0' -transparent red " + path);
        const std::string text = Shell("giftext " + path);
        const std::vector<uint8_t> bytes = ReadBytes(path);
        GifInfo g;
        std::vector<uint8_t> lzw;
        ASSERT_EQ(GifParse(bytes.data(), bytes.size(), &g, &lzw), 0) << c.options;
        EXPECT_EQ(g.screenWidth, Field(text, "Screen Size - Width = ")) << c.options;
        EXPECT_EQ(g.screenHeight, Field(text, ", Height = ")) << c.options;
        EXPECT_EQ(g.colourResolution, Field(text, "ColorResolution = ")) << c.options;
        EXPECT_EQ(g.sizeField + 1, Field(text, "BitsPerPixel = ")) << c.options;
        EXPECT_EQ(g.background, Field(text, "BackGround = ")) << c.options;
        EXPECT_EQ(g.left, Field(text, "Image Size - Left = ")) << c.options;
        EXPECT_EQ(g.top, Field(text, ", Top = ")) << c.options;
        EXPECT_EQ(g.width, Field(text, "Image Size - Left = " + std::to_string(g.left) + ", Top = " +
                                           std::to_string(g.top) + ", Width = "));
        EXPECT_EQ(g.interlaced, text.find("Image is Interlaced") != std::string::npos) << c.options;
        EXPECT_EQ(g.localTable, text.find("Has Image Color Map") != std::string::npos) << c.options;
        EXPECT_EQ(g.transparent, text.find("Transparency on: yes") != std::string::npos) << c.options;
        if (g.transparent) {
            EXPECT_EQ(g.transparentIndex, Field(text, "Transparent Index: ")) << c.options;
        }
        EXPECT_EQ(int64_t(lzw.size()), g.dataCount);
        EXPECT_GT(g.dataCount, 0);

        // Through the kernel: information answers, decoding refused with 12.
        IPIVALUE w = 0, interlaced = 0, transparency = 0, index = 0;
        IPIATTRIBUTE q[] = {{"xDimension", reinterpret_cast<IPIVALUE>(&w)},
                            {"interlaced", reinterpret_cast<IPIVALUE>(&interlaced)},
                            {"transparency", reinterpret_cast<IPIVALUE>(&transparency)},
                            {"transparencyPaletteIndex", reinterpret_cast<IPIVALUE>(&index)}};
        int error = -5;
        GetImageInfoFromMemory(bytes.data(), 1, 0, DecodeFormatGif, int64_t(bytes.size()), q, 4, &error);
        EXPECT_EQ(error, 0);
        EXPECT_EQ(w, g.width);
        EXPECT_EQ(interlaced, g.interlaced ? 1 : 0);
        EXPECT_EQ(transparency, g.transparent ? 1 : 0);
        EXPECT_EQ(index, g.transparent ? g.transparentIndex : 0);
        IPIHANDLE h = 0;
        EXPECT_EQ(DecodeImageFromMemory(bytes.data(), &h, 1, DecodeFormatGif, 0, int64_t(bytes.size()), nullptr, 0,
                                        &error), 0);
        EXPECT_EQ(error, 12);
        EXPECT_EQ(h, 0u);
    }
}

std::vector<uint8_t> Gif(int packed, int codeSize, bool zeroScreen = false) {
    std::vector<uint8_t> d = {'G', 'I', 'F', '8', '9', 'a'};
    const int w = zeroScreen ? 0 : 4;
    d.insert(d.end(), {uint8_t(w), 0, uint8_t(w), 0, uint8_t(packed), 0, 0});
    if (packed & 0x80) d.resize(d.size() + (size_t(3) << ((packed & 7) + 1)), 9);
    d.insert(d.end(), {0x21, 0xF9, 4, 0x01, 0, 0, 5, 0});  // transparency on, index 5
    d.insert(d.end(), {0x2C, 0, 0, 0, 0, 4, 0, 3, 0, 0});
    d.insert(d.end(), {uint8_t(codeSize), 2, 0x11, 0x22, 1, 0x33, 0, 0x3B});
    return d;
}

TEST(GifParse, TablesCodeSizesAndDamage) {
    GifInfo g;
    std::vector<uint8_t> d = Gif(0x00, 2);  // size field 0, no global table, code size 2 accepted
    ASSERT_EQ(GifParse(d.data(), d.size(), &g, nullptr), 0);
    EXPECT_EQ(g.LutEntries(), 2);
    EXPECT_EQ(g.colours[3], 255);
    EXPECT_TRUE(g.transparent);
    EXPECT_EQ(g.transparentIndex, 5);
    EXPECT_EQ(g.dataCount, 3);
    d = Gif(0x02, 3);  // n = 2: 2 x 2 x 2 cube
    ASSERT_EQ(GifParse(d.data(), d.size(), &g, nullptr), 0);
    EXPECT_EQ(g.colours[3 * 7], 128);
    d = Gif(0x03, 4);  // n = 3: red 0, 64, 128, 192; green and blue 0, 128
    ASSERT_EQ(GifParse(d.data(), d.size(), &g, nullptr), 0);
    const uint8_t first[12] = {0, 0, 0, 0, 0, 128, 0, 128, 0, 0, 128, 128};
    EXPECT_EQ(0, std::memcmp(g.colours, first, 12));
    EXPECT_EQ(g.colours[3 * 15], 192);
    EXPECT_EQ(g.LutEntries(), 16);
    d = Gif(0x87, 7);  // size field 7 wants code size 8
    EXPECT_EQ(GifParse(d.data(), d.size(), &g, nullptr), ipiErrSyntacticalError);
    d = Gif(0x87, 8, true);
    ASSERT_EQ(GifParse(d.data(), d.size(), &g, nullptr), 0);
    EXPECT_EQ(g.screenWidth, 0);  // the reader puts the image size in its place
    d = Gif(0x00, 2);
    d[0] = 'X';
    EXPECT_EQ(GifParse(d.data(), d.size(), &g, nullptr), ipiErrSyntacticalError);
    d = Gif(0x00, 2);
    for (size_t n = 6; n < d.size() - 2; ++n) EXPECT_NE(GifParse(d.data(), n, &g, nullptr), 0) << n;
}

// An image that brings its own colour table where the screen has none: its
// code size and depth follow the image's table.
TEST(GifParse, OnlyALocalTableGovernsTheImage) {
    std::vector<uint8_t> d = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 3, 0, 0x00, 0, 0};
    d.insert(d.end(), {0x2C, 0, 0, 0, 0, 4, 0, 3, 0, 0x87});  // local table, size field 7
    for (int i = 0; i < 256; ++i) d.insert(d.end(), {uint8_t(i), uint8_t(255 - i), 7});
    d.insert(d.end(), {8, 2, 0x11, 0x22, 0, 0x3B});
    GifInfo g;
    ASSERT_EQ(GifParse(d.data(), d.size(), &g, nullptr), 0);
    EXPECT_EQ(g.LutEntries(), 256);
    EXPECT_EQ(g.colours[3 * 200 + 1], 55);
    IPIVALUE colorMode = 0, w = 0;
    IPIATTRIBUTE q[] = {{"colorMode", reinterpret_cast<IPIVALUE>(&colorMode)},
                        {"xDimension", reinterpret_cast<IPIVALUE>(&w)}};
    int error = -5;
    GetImageInfoFromMemory(d.data(), 1, 0, DecodeFormatGif, int64_t(d.size()), q, 2, &error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(colorMode, 16);  // 8 bits
    EXPECT_EQ(w, 4);
    // A global table still governs an image whose code size fits it.
    d = Gif(0x87, 8);
    ASSERT_EQ(GifParse(d.data(), d.size(), &g, nullptr), 0);
    EXPECT_EQ(g.sizeField, 7);
}

}  // namespace
