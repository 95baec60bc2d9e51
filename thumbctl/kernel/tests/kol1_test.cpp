// "KOL1" bilevel raster reader: header rules, colour table, selectors, and
// whole imports decoded through the run-code decoder.
#include "thumbctl/kernel/kol1.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testsupport/testsupport.h"
#include "thumbctl/kernel/ipi.h"
#include "thumbctl/kernel/tests/kernel_env.h"
#include "tools/kfixtures/kfixtures.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Imported {
    int rc = -5;
    IPIVALUE width = 0, height = 0, compression = -1, size = -1, dataType = 0;
    Bytes palette;  // 6 bytes: r0 r1 g0 g1 b0 b1
    Bytes pixels;   // the target's store
};

// Imports `file` with a selector (ipiImportFile) or whole (selector -1:
// ipiImportIntoObject, decompressing).
Imported Import(const Bytes& file, int selector)
{
    Env e;
    Imported r;
    IPIATTRIBUTE la[] = {{"bDimension", 3}};
    IPIOBJECT* lut = ipiCreateLookupTable(e.env, "oLUT", nullptr, la, 1);
    IPIATTRIBUTE ia[] = {{"repository", ipiRepositoryWorkspace}, {"lut", reinterpret_cast<IPIVALUE>(lut)}};
    IPIOBJECT* img = ipiCreateGenericImage(e.env, "oImage", nullptr, ia, 2);
    if (selector < 0) {
        r.rc = ipiImportIntoObject(e.env, file.data(), img, ipiFormatBilevel, int64_t(file.size()), nullptr, 0);
    } else {
        IPIATTRIBUTE src[] = {{"applicationAddressSpace", reinterpret_cast<IPIVALUE>(file.data())},
                              {"size", IPIVALUE(file.size())}};
        r.rc = ipiImportFile(e.env, nullptr, img, ipiFormatBilevel, selector, src, 2);
    }
    r.width = ipiGetObjectAttribute(e.env, img, "xDimension");
    r.height = ipiGetObjectAttribute(e.env, img, "yDimension");
    r.compression = ipiGetObjectAttribute(e.env, img, "compression");
    r.size = ipiGetObjectAttribute(e.env, img, "size");
    r.dataType = ipiGetObjectAttribute(e.env, img, "dataType");
    if (ipiGetObjectAttribute(e.env, lut, "xDimension") == 2) r.palette = StoreBytes(e.env, lut);
    if (r.rc == 0 && selector != ipiSelectHeader) r.pixels = StoreBytes(e.env, img);
    // A decoded picture: its bits (the block may be larger, sized for the code).
    const int64_t bits = int64_t(r.width) * r.height;
    if (selector < 0 && r.compression == 0 && int64_t(r.pixels.size()) * 8 >= bits)
        r.pixels.resize(size_t((bits + 7) / 8));
    return r;
}

TEST(Kol1Reader, HeaderRules)
{
    const Bytes data = {0x7E, 0x00, 0x7F, 0x7F};
    struct Case {
        const char* what;
        int offset;   // byte to change, -1 none
        uint8_t value;
        int error;
    } cases[] = {
        {"flag word 0x8000", -1, 0, 0},
        {"flag word 0", 10, 0x00, 0},
        {"flag word 0x0001", 11, 0x01, 22},
        {"magic", 3, '2', 22},
        {"first marker", 20, 0xC2, 22},
        {"second marker", 22, 0x02, 22},
        {"any colour code", 21, 0x37, 0},
        {"reserved bytes are not read", 14, 0xAB, 0},
    };
    for (const Case& c : cases) {
        Bytes f = kfix::Kol1File(8, 2, data);
        if (c.offset >= 0) f[size_t(c.offset)] = c.value;
        EXPECT_EQ(Import(f, ipiSelectAll).rc, c.error) << c.what;
    }
    // No columns but data: no row can hold it.
    EXPECT_EQ(Import(kfix::Kol1File(0, 2, data), ipiSelectAll).rc, 22);
    // A header cut short, and data shorter than its stated length: 8.
    const Bytes whole = kfix::Kol1File(8, 2, data);
    EXPECT_EQ(Import(Bytes(whole.begin(), whole.begin() + 20), ipiSelectAll).rc, 8);
    Bytes shortData = whole;
    shortData.pop_back();
    EXPECT_EQ(Import(shortData, ipiSelectAll).rc, 8);
}

TEST(Kol1Reader, ColourTableByCode)
{
    struct Case {
        uint8_t code;
        Bytes palette;  // r0 r1 g0 g1 b0 b1
    } cases[] = {
        {0xF1, {255, 0, 0, 0, 0, 0}},
        {0xF2, {0, 0, 0, 0, 255, 0}},
        {0xF4, {0, 0, 255, 0, 0, 0}},
        {0x00, {255, 0, 255, 0, 255, 0}},
    };
    for (const Case& c : cases) {
        const Imported r = Import(kfix::Kol1File(8, 1, {0x7E, 0x00, 0x7F, 0x7F}, c.code), ipiSelectHeader);
        EXPECT_EQ(r.rc, 0);
        EXPECT_EQ(r.palette, c.palette) << int(c.code);
    }
}

TEST(Kol1Reader, HeaderOnlyDescribesAndDataCopiesTheCodeUnchanged)
{
    const kfix::Bilevel b = kfix::PatternBilevel(37, 23, 7);
    const Bytes code = kfix::EncodeRunPlane(b);
    const Bytes file = kfix::Kol1File(37, 23, code, 0xF2);

    const Imported head = Import(file, ipiSelectHeader);
    EXPECT_EQ(head.rc, 0);
    EXPECT_EQ(head.width, 37);
    EXPECT_EQ(head.height, 23);
    EXPECT_EQ(head.dataType, ipiTypeBoolean);
    EXPECT_EQ(head.compression, ipiCompressionBilevelRun);
    EXPECT_EQ(head.size, IPIVALUE(code.size()));
    EXPECT_TRUE(head.pixels.empty());

    // Data stage: the compressed bytes land in the store as they are, even
    // when the data is shorter than one row of columns.
    const Imported all = Import(file, ipiSelectAll);
    ASSERT_EQ(all.rc, 0);
    ASSERT_GE(all.pixels.size(), code.size());
    EXPECT_EQ(Bytes(all.pixels.begin(), all.pixels.begin() + long(code.size())), code);
    const Bytes tiny = {0x7E, 0x00, 0x7F, 0x7F};
    const Imported small = Import(kfix::Kol1File(200, 3, tiny), ipiSelectAll);
    ASSERT_EQ(small.rc, 0);
    EXPECT_EQ(Bytes(small.pixels.begin(), small.pixels.begin() + 4), tiny);
}

TEST(Kol1Reader, WholeImportDecodesThePicture)
{
    for (int width : {8, 13, 37, 200}) {
        const kfix::Bilevel b = kfix::PatternBilevel(width, 31, uint32_t(width) + 1);
        const Imported r = Import(kfix::Kol1File(width, 31, kfix::EncodeRunPlane(b, {2, 30})), -1);
        ASSERT_EQ(r.rc, 0) << width;
        EXPECT_EQ(r.compression, 0);
        EXPECT_EQ(r.pixels, kfix::ContinuousBits(b)) << width;
    }
}

TEST(Kol1Reader, CommittedFixturesDecode)
{
    const std::string dir = testsupport::SourceDir() + "/thumbctl/kernel/tests/fixtures/kol1/";
    struct Case {
        const char* file;
        int width, height;
        uint32_t seed;
    } cases[] = {{"pattern-coded.kol1", 37, 23, 7}, {"pattern-raw-rows.kol1", 37, 23, 7}, {"wide-red.kol1", 200, 40, 3}};
    for (const Case& c : cases) {
        const Bytes f = testsupport::ReadBytes(dir + c.file);
        ASSERT_FALSE(f.empty()) << c.file;
        const Imported r = Import(f, -1);
        ASSERT_EQ(r.rc, 0) << c.file;
        EXPECT_EQ(r.pixels, kfix::ContinuousBits(kfix::PatternBilevel(c.width, c.height, c.seed))) << c.file;
    }
}

TEST(Kol1Reader, RefusesForeignClasses)
{
    Env e;
    const Bytes file = kfix::Kol1File(8, 1, {0x7E, 0x00, 0x7F, 0x7F});
    IPIATTRIBUTE src[] = {{"applicationAddressSpace", reinterpret_cast<IPIVALUE>(file.data())},
                          {"size", IPIVALUE(file.size())}};
    IPIOBJECT* colour = ipiCreateObject(e.env, "c", &ipiClassColourImage, nullptr, nullptr, 0);
    EXPECT_EQ(ipiImportFile(e.env, nullptr, colour, ipiFormatBilevel, 0, src, 2), 11);
    IPIOBJECT* table = ipiCreateLookupTable(e.env, "t", nullptr, nullptr, 0);
    EXPECT_EQ(ipiImportFile(e.env, nullptr, table, ipiFormatBilevel, 0, src, 2), 11);
}

} // namespace
