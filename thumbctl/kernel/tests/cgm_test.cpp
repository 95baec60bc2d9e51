// Picture container reader: record structure, CGM commands, CELL ARRAY
// rasters (uncompressed, and a Group 4 strip written by libtiff's tiffcp
// checked against ImageMagick's reading of the TIFF), composite targets,
// page counts and the decode entry points with format 45.
#include "thumbctl/kernel/cgm.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "testsupport/testsupport.h"
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/ipi.h"
#include "thumbctl/kernel/tests/dib_view.h"
#include "thumbctl/kernel/tests/kernel_env.h"
#include "tools/kfixtures/kfixtures.h"

namespace {

using Bytes = std::vector<uint8_t>;
using kfix::CgmPicture;

// Decodes through the entry point; error in *error, the view of the bitmap.
DibView DecodeMemory(const Bytes& file, int* error)
{
    IPIHANDLE dib = 0;
    *error = -5;
    const int made = DecodeImageFromMemory(file.data(), &dib, 1, DecodeFormatCgm, 0, int64_t(file.size()), nullptr, 0, error);
    const DibView v = TakeDib(dib);
    return made == 1 ? v : DibView();
}

// The picture as the bitmap should show it: 1 bits black, 0 bits white.
Bytes ExpectedRgb(const kfix::Bilevel& b)
{
    Bytes rgb;
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            for (int c = 0; c < 3; ++c) rgb.push_back(b.At(x, y) ? 0 : 255);
    return rgb;
}

TEST(CgmContainer, UncompressedRasterDecodesThroughFormat45)
{
    // Width 10: two bytes a row; both entry points give the same bitmap.
    const kfix::Bilevel b = kfix::PatternBilevel(10, 6, 5);
    const Bytes file = kfix::CgmContainer({kfix::UncompressedPicture(b)});
    int error = -5;
    const DibView v = DecodeMemory(file, &error);
    ASSERT_EQ(error, 0);
    EXPECT_EQ(v.bits, 1);
    EXPECT_EQ(v.width, 10);
    EXPECT_EQ(v.height, 6);
    EXPECT_EQ(v.rgb, ExpectedRgb(b));

    testsupport::TempDir dir("cgm");
    const std::string path = dir.file("picture.cgmc");
    testsupport::WriteBytes(path, file);
    IPIHANDLE dib = 0;
    ASSERT_EQ(DecodeImageFromFile(path.c_str(), &dib, 1, DecodeFormatCgm, 0, nullptr, 0, &error), 1);
    EXPECT_EQ(TakeDib(dib).rgb, v.rgb);
    // A container is no multi-page source for the page-count entry points.
    EXPECT_EQ(CountPagesInMemory(file.data(), DecodeFormatCgm, int64_t(file.size()), nullptr, 0, &error), 0);
    EXPECT_EQ(error, -100);
}

TEST(CgmContainer, GroupFourStripFromTiffcpMatchesImageMagick)
{
    testsupport::TempDir dir("cgmg4");
    int exitCode = 1;
    testsupport::Shell("command -v convert && command -v tiffcp", &exitCode);
    if (exitCode != 0) GTEST_SKIP() << "ImageMagick or tiffcp missing";
    const kfix::Bilevel b = kfix::PatternBilevel(173, 61, 23);
    std::string pbm = "P4\n173 61\n";
    Bytes pbmBytes(pbm.begin(), pbm.end());
    pbmBytes.insert(pbmBytes.end(), b.rows.begin(), b.rows.end());
    testsupport::WriteBytes(dir.file("p.pbm"), pbmBytes);
    testsupport::Shell("convert " + dir.file("p.pbm") + " -define quantum:polarity=min-is-white -compress none " + dir.file("plain.tif") +
                           " && tiffcp -c g4 -r 100000 " + dir.file("plain.tif") + " " + dir.file("g4.tif"),
                       &exitCode);
    ASSERT_EQ(exitCode, 0);
    kfix::TiffStrips strip;
    ASSERT_TRUE(kfix::ReadTiffStrips(testsupport::ReadBytes(dir.file("g4.tif")), &strip));
    ASSERT_EQ(strip.compression, 4u);
    CgmPicture p;
    p.compressionCode = 245;
    p.width = int(strip.width), p.height = int(strip.height);
    p.raster = strip.data;
    p.continued = true;  // the stream in continuation records, the raster across partitions
    p.continuationPiece = 333;
    p.partition = 100;

    int error = -5;
    const DibView v = DecodeMemory(kfix::CgmContainer({p}), &error);
    ASSERT_EQ(error, 0);
    EXPECT_EQ(v.width, 173);
    EXPECT_EQ(v.height, 61);
    const Bytes magick = testsupport::MagickPixels(dir.file("g4.tif"), "rgb");
    ASSERT_FALSE(magick.empty());
    EXPECT_EQ(v.rgb, magick);
    EXPECT_EQ(v.rgb, ExpectedRgb(b));
}

TEST(CgmContainer, StructureRules)
{
    const kfix::Bilevel b = kfix::PatternBilevel(12, 4, 3);
    auto base = [&]() { return kfix::UncompressedPicture(b); };
    struct Case {
        const char* what;
        std::function<Bytes()> make;
        int error;
    } cases[] = {
        {"pictures at 3 x 256", [&] { return kfix::CgmContainer({base()}, 3); }, 0},
        {"digit not EBCDIC", [&] { Bytes f = kfix::CgmContainer({base()}); f[1] = '1'; return f; }, 22},
        {"no #", [&] { Bytes f = kfix::CgmContainer({base()}); f[2] = '$'; return f; }, 22},
        {"start word", [&] { Bytes f = kfix::CgmContainer({base()}); f[259] = 0x01; return f; }, 22},
        {"picture word", [&] { Bytes f = kfix::CgmContainer({base()}); f[263] = 0x01; return f; }, 22},
        {"header byte 12", [&] { Bytes f = kfix::CgmContainer({base()}); f[264 + 12] = 0xF2; return f; }, 22},
        {"two end words with flag 0x8000", [&] { CgmPicture p = base(); p.flag = 0x8000; return kfix::CgmContainer({p}); }, 0},
        {"one end word with flag 0x8000", [&] {
             CgmPicture p = base(); p.flag = 0x8000;
             Bytes f = kfix::CgmContainer({p}); f.resize(f.size() - 4); f[f.size() - 4] = 0x12; return f; }, 22},
        {"a LINE command", [&] { CgmPicture p = base(); kfix::CgmCommand(p.extraCommands, 4, 1, {0, 0, 0, 0}); return kfix::CgmContainer({p}); }, 22},
        {"COLOUR TABLE and ESCAPE are skipped", [&] {
             CgmPicture p = base(); kfix::CgmCommand(p.extraCommands, 5, 34, {0, 1, 2, 3});
             kfix::CgmCommand(p.extraCommands, 6, 1, {9, 9}); return kfix::CgmContainer({p}); }, 0},
        {"CELL ARRAY marker", [&] { CgmPicture p = base(); p.cellMarker = 0xF008; return kfix::CgmContainer({p}); }, 22},
        {"compression code", [&] { CgmPicture p = base(); p.compressionCode = 246; return kfix::CgmContainer({p}); }, 22},
        {"resolution code", [&] { CgmPicture p = base(); p.resolutionCode = 178; return kfix::CgmContainer({p}); }, 22},
        {"no raster", [&] { CgmPicture p = base(); p.width = 0; return kfix::CgmContainer({p}); }, 22},
        {"short raster row", [&] { CgmPicture p = base(); p.raster.pop_back(); return kfix::CgmContainer({p}); }, 22},
        {"stream cut inside its segment", [&] {
             Bytes f = kfix::CgmContainer({base()});
             const size_t at = 264 + 24 + 12 + 2;  // length of the 0xF401 segment
             const int n = (f[at] << 8 | f[at + 1]) - 6;
             f[at] = uint8_t(n >> 8), f[at + 1] = uint8_t(n); return f; }, 22},
        {"continued stream", [&] { CgmPicture p = base(); p.continued = true; p.continuationPiece = 5; p.trailingRecord = true; return kfix::CgmContainer({p}); }, 0},
        {"continuation tag", [&] {
             CgmPicture p = base(); p.continued = true; p.continuationPiece = 5;
             Bytes f = kfix::CgmContainer({p}); f[264 + 24 + 12 + 4 + 9 + 1] = 0x05; return f; }, 22},
        {"long form in 7-byte partitions", [&] { CgmPicture p = base(); p.partition = 7; return kfix::CgmContainer({p}); }, 0},
        {"file cut short", [&] { Bytes f = kfix::CgmContainer({base()}); f.resize(f.size() - 30); return f; }, 8},
    };
    for (const Case& c : cases) {
        int error = -5;
        const DibView v = DecodeMemory(c.make(), &error);
        EXPECT_EQ(error, c.error) << c.what;
        if (c.error == 0) {
            EXPECT_EQ(v.rgb, ExpectedRgb(b)) << c.what;
        }
    }
}

TEST(CgmContainer, HeaderAttributes)
{
    Env e;
    CgmPicture p;
    p.compressionCode = 244;  // Group 3 two-dimensional, K 4
    p.resolutionCode = 241;   // 8000 x 7700 pixels per metre
    p.width = 40, p.height = 30;
    p.raster = Bytes(57, 0x11);
    p.vdc[0] = 1, p.vdc[1] = 2, p.vdc[2] = 400, p.vdc[3] = 300;
    const Bytes file = kfix::CgmContainer({p});
    IPIOBJECT* img = ipiCreateGenericImage(e.env, "oImage", nullptr, nullptr, 0);
    IPIATTRIBUTE src[] = {{"applicationAddressSpace", reinterpret_cast<IPIVALUE>(file.data())},
                          {"size", IPIVALUE(file.size())}};
    ASSERT_EQ(ipiImportFile(e.env, nullptr, img, ipiFormatCgmContainer, ipiSelectAll, src, 2), 0);
    auto get = [&](const char* n) { return ipiGetObjectAttribute(e.env, img, n); };
    EXPECT_EQ(get("xDimension"), 40);
    EXPECT_EQ(get("yDimension"), 30);
    EXPECT_EQ(get("dataType"), ipiTypeBoolean);
    EXPECT_EQ(get("compression"), ipiCompressionCcittG3_2D);
    EXPECT_EQ(get("size"), 57);
    EXPECT_EQ(get("xResolution"), 8000);
    EXPECT_EQ(get("yResolution"), 7700);
    EXPECT_EQ(get("resolutionUnit"), 145);
    EXPECT_EQ(get("xVDC1stCorner"), 1);
    EXPECT_EQ(get("yVDC2ndCorner"), 300);
    // The raster bytes are stored as they stand.
    IPIACCESSOR* in = ipiOpenAccessor(e.env, img, "r", 1, nullptr, 0);
    Bytes stored(57);
    EXPECT_EQ(ipiReadFileAt(e.env, in, 0, stored.data(), 57), 57);
    ipiCloseAccessor(e.env, in);
    EXPECT_EQ(stored, p.raster);

    // Image information answers dots per inch for unit 145.
    IPIVALUE x = 0, compression = 0, colorMode = 0;
    IPIATTRIBUTE info[] = {{"xResolution", reinterpret_cast<IPIVALUE>(&x)},
                           {"compression", reinterpret_cast<IPIVALUE>(&compression)},
                           {"colorMode", reinterpret_cast<IPIVALUE>(&colorMode)}};
    int error = -5;
    EXPECT_EQ(GetImageInfoFromMemory(file.data(), 1, 0, DecodeFormatCgm, int64_t(file.size()), info, 3, &error), 0);
    EXPECT_EQ(x, 204);  // 8000 x 0.0254 + 0.9
    EXPECT_EQ(compression, 28);
    EXPECT_EQ(colorMode, 14);
}

struct PageWalk {
    int rc = -5;
    std::vector<IPIVALUE> widths;
    IPIVALUE entries = 0;
};

PageWalk ReadPages(const Bytes& file, int entries, int start)
{
    Env e;
    PageWalk w;
    IPIATTRIBUTE ca[] = {{"entries", entries}, {"xMatchPoint", start}};
    IPIOBJECT* array = ipiCreateCompositeIDArray(e.env, "oArray", nullptr, ca, 2);
    std::vector<IPIOBJECT*> pages;
    for (int i = 0; i < entries; ++i) {
        IPIATTRIBUTE ia[] = {{"repository", ipiRepositoryWorkspace}};
        pages.push_back(ipiCreateGenericImage(e.env, "oImage", nullptr, ia, 1));
        ipiSetCompositeElement(e.env, pages.back(), array, i);
    }
    w.rc = ipiImportIntoObject(e.env, file.data(), array, ipiFormatCgmContainer, int64_t(file.size()), nullptr, 0);
    for (IPIOBJECT* p : pages) w.widths.push_back(ipiGetObjectAttribute(e.env, p, "xDimension"));
    w.entries = ipiGetObjectAttribute(e.env, array, "entries");
    return w;
}

TEST(CgmContainer, CompositeTargetsGetOnePicturePerElement)
{
    const Bytes file = kfix::CgmContainer({kfix::UncompressedPicture(kfix::PatternBilevel(11, 3)),
                                           kfix::UncompressedPicture(kfix::PatternBilevel(22, 3)),
                                           kfix::UncompressedPicture(kfix::PatternBilevel(33, 3))});
    // Five entries from picture 0: three filled, the walk ends at the end word.
    PageWalk w = ReadPages(file, 5, 0);
    EXPECT_EQ(w.rc, 0);
    EXPECT_EQ(w.widths, (std::vector<IPIVALUE>{11, 22, 33, 1, 1}));
    EXPECT_EQ(w.entries, 5);
    w = ReadPages(file, 2, 1);
    EXPECT_EQ(w.rc, 0);
    EXPECT_EQ(w.widths, (std::vector<IPIVALUE>{22, 33}));
    // Start picture 3 reads nothing and succeeds; start picture 4 is past the end.
    w = ReadPages(file, 2, 3);
    EXPECT_EQ(w.rc, 0);
    EXPECT_EQ(w.widths, (std::vector<IPIVALUE>{1, 1}));
    EXPECT_EQ(ReadPages(file, 2, 4).rc, 12);
    EXPECT_EQ(ReadPages(file, 2, -1).rc, 12);

    // Page count through the multi-image entry point.
    Env e;
    EXPECT_EQ(ipiOpenMultiImageFromMemory(e.env, file.data(), ipiFormatCgmContainer, int64_t(file.size())), 3);
    const Bytes cut(file.begin(), file.end() - 40);
    EXPECT_EQ(ipiOpenMultiImageFromMemory(e.env, cut.data(), ipiFormatCgmContainer, int64_t(cut.size())), 0);
    EXPECT_EQ(ipiGetError(e.env), 8);
    Bytes bad = file;
    bad[263] = 0x77;
    EXPECT_EQ(ipiOpenMultiImageFromMemory(e.env, bad.data(), ipiFormatCgmContainer, int64_t(bad.size())), 0);
    EXPECT_EQ(ipiGetError(e.env), 22);
}

TEST(CgmContainer, CommittedFixturesDecode)
{
    const std::string dir = testsupport::SourceDir() + "/thumbctl/kernel/tests/fixtures/cgm/";
    struct Case {
        const char* file;
        int width, height;
        uint32_t seed;
    } cases[] = {{"uncompressed-10x6.cgmc", 10, 6, 5},
                 {"continued-64x48.cgmc", 64, 48, 9},
                 {"two-pictures.cgmc", 37, 23, 7},
                 {"g4-120x90.cgmc", 120, 90, 11}};
    for (const Case& c : cases) {
        const Bytes f = testsupport::ReadBytes(dir + c.file);
        ASSERT_FALSE(f.empty()) << c.file;
        int error = -5;
        const DibView v = DecodeMemory(f, &error);
        EXPECT_EQ(error, 0) << c.file;
        EXPECT_EQ(v.rgb, ExpectedRgb(kfix::PatternBilevel(c.width, c.height, c.seed))) << c.file;
    }
}

} // namespace
