// Multi-page source: the page index, the layout of an extracted page in
// both byte orders, strip offsets stored as SHORT values, looping directory
// chains, damaged structures, and pages of files written by tiffcp (strips
// in both byte orders, and tiles) that tiffinfo reads back and whose pixels
// match ImageMagick's.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "testsupport/peak_memory.h"
#include "testsupport/testsupport.h"
#include "thumbctl/control/constants.h"
#include "thumbctl/control/source/multipage.h"
#include "thumbctl/control/source/tests/tiffbuild.h"
#include "thumbctl/kernel/decode.h"

namespace {

using thumbctl::CMultiPageSource;
using Bytes = std::vector<uint8_t>;

Bytes BlockBytes(IPIHANDLE h)
{
    IpiGlobalLock lock(h);
    return lock.ptr() ? Bytes(lock.ptr(), lock.ptr() + lock.size()) : Bytes();
}

uint32_t U16(const Bytes& b, size_t at, bool little) { return little ? b[at] | b[at + 1] << 8 : b[at] << 8 | b[at + 1]; }
uint32_t U32(const Bytes& b, size_t at, bool little)
{
    return little ? uint32_t(b[at]) | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24
                  : uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | uint32_t(b[at + 3]);
}

// Top-down 8-bit grey rows of a decoded packed DIB (palette index = grey).
Bytes DibGreyRows(IPIHANDLE dib)
{
    const Bytes d = BlockBytes(dib);
    if (d.size() < 40) return {};
    const int32_t w = int32_t(U32(d, 4, true)), h = int32_t(U32(d, 8, true));
    const uint32_t bits = U16(d, 14, true), used = U32(d, 32, true);
    if (bits != 8) return {};
    const size_t table = 4 * (used ? used : 256), stride = (size_t(w) + 3) / 4 * 4;
    Bytes out;
    for (int y = 0; y < h; ++y) {
        const size_t row = 40 + table + stride * size_t(h - 1 - y);
        for (int x = 0; x < w; ++x) out.push_back(d.at(40 + 4 * size_t(d.at(row + size_t(x)))));  // blue of the entry
    }
    return out;
}

Bytes DecodePage(IPIHANDLE page)
{
    const Bytes b = BlockBytes(page);
    IPIHANDLE dib = 0;
    int error = -5;
    if (DecodeImageFromMemory(b.data(), &dib, 1, DecodeFormatTiff, 0, int64_t(b.size()), nullptr, 0, &error) != 1)
        return {};
    Bytes rows = DibGreyRows(dib);
    ipiGlobalFree(dib);
    return rows;
}

std::vector<tiffbuild::Page> ThreePages()
{
    std::vector<tiffbuild::Page> pages(3);
    pages[0].seed = 10;
    pages[1] = {9, 5, 2, 100, false, {}};
    pages[2].seed = 200;
    return pages;
}

class FromMemory : public ::testing::TestWithParam<bool> {};

TEST_P(FromMemory, ThreePagesIndexAndTheSecondComesOutWhole)
{
    const bool little = GetParam();
    tiffbuild::Writer w(little);
    auto pages = ThreePages();
    pages[1].extra = {{297, 3, 2, w.shorts({1, 3})},                                  // PageNumber, in the entry
                      {305, 2, 12, {'S', 'o', 'r', 'v', 'a', 'n', 't', 'a', ' ', 't', 'e', 0}}};  // Software, out of line
    const Bytes file = tiffbuild::MultiPage(pages, little);
    CMultiPageSource source;
    ASSERT_TRUE(source.OpenMemory(file.data(), int64_t(file.size())));
    ASSERT_TRUE(source.ReadPageIndex(false));
    ASSERT_EQ(source.PageCount(), 3);
    EXPECT_EQ(source.Page(1).stripCount, 2u);

    const int before = ipiGlobalLiveCount();
    IPIHANDLE h = source.ExtractPage(1);
    ASSERT_NE(h, 0u) << source.Error();
    const Bytes out = BlockBytes(h);
    const uint32_t n = source.Page(1).entryCount;
    EXPECT_EQ(out[0], little ? 'I' : 'M');
    EXPECT_EQ(U16(out, 2, little), 42u);
    EXPECT_EQ(U32(out, 4, little), 8u);
    EXPECT_EQ(U16(out, 8, little), n);
    EXPECT_EQ(U32(out, 10 + 12 * n, little), 0u);
    // Out-of-line values: the Software text, the two strip byte counts and the two strip offsets.
    const uint32_t D = 12 * n + 14, S = D + 12 + 8 + 8;
    EXPECT_EQ(out.size(), S + 9u * 5u);
    for (uint32_t i = 0; i < n; ++i) {
        const size_t e = 10 + 12 * size_t(i);
        const uint32_t tag = U16(out, e, little);
        if (tag == 273) {
            EXPECT_EQ(U16(out, e + 2, little), 4u);
            const uint32_t at = U32(out, e + 8, little);
            EXPECT_EQ(U32(out, at, little), S);
            EXPECT_EQ(U32(out, at + 4, little), S + 27);  // first strip: 3 rows of 9
        }
        if (tag == 297) {
            EXPECT_EQ(U32(out, e + 8, little), U32(w.shorts({1, 3}), 0, little));
        }
        if (tag == 305) {
            EXPECT_EQ(std::string(out.begin() + U32(out, e + 8, little), out.begin() + U32(out, e + 8, little) + 11),
                      "Sorvanta te");
        }
    }
    EXPECT_EQ(DecodePage(h), tiffbuild::PagePixels(pages[1]));
    ipiGlobalFree(h);
    EXPECT_EQ(ipiGlobalLiveCount(), before);
}

TEST_P(FromMemory, SingleStripOffsetInTheEntryAndShortOffsetsWidened)
{
    const bool little = GetParam();
    std::vector<tiffbuild::Page> pages(3);
    pages[1].shortStripOffsets = true;       // one SHORT offset in the entry
    pages[2] = {7, 6, 3, 50, true, {}};      // three SHORT offsets out of line
    const Bytes file = tiffbuild::MultiPage(pages, little);
    CMultiPageSource source;
    ASSERT_TRUE(source.OpenMemory(file.data(), int64_t(file.size())));
    ASSERT_TRUE(source.ReadPageIndex(false));
    for (int p = 0; p < 3; ++p) {
        IPIHANDLE h = source.ExtractPage(p);
        ASSERT_NE(h, 0u) << p;
        const Bytes out = BlockBytes(h);
        const uint32_t n = source.Page(p).entryCount;
        if (pages[size_t(p)].strips == 1) {
            for (uint32_t i = 0; i < n; ++i) {
                if (U16(out, 10 + 12 * i, little) == 273) {
                    EXPECT_EQ(U32(out, 10 + 12 * i + 8, little), 12 * n + 14) << p;
                }
            }
        }
        EXPECT_EQ(DecodePage(h), tiffbuild::PagePixels(pages[size_t(p)])) << p;
        ipiGlobalFree(h);
    }
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, FromMemory, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "LittleEndian" : "BigEndian"; });

// FNV-1a of a block's bytes.
uint64_t Fnv1a(const Bytes& b)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t c : b) h = (h ^ c) * 0x100000001b3ull;
    return h;
}

// Every page of the files above, in both byte orders, comes out byte for byte
// as it always has (the digests were taken from the pages as first written).
TEST(MultiPageSource, ExtractedPagesAreByteForByteAsBefore)
{
    std::vector<tiffbuild::Page> widened(3);
    widened[1].shortStripOffsets = true;
    widened[2] = {7, 6, 3, 50, true, {}};
    // Values in the entry and out of line (PageNumber, Software, XResolution).
    auto withValues = [](bool little) {
        tiffbuild::Writer w(little);
        std::vector<tiffbuild::Page> pages = ThreePages();
        pages[1].extra = {{297, 3, 2, w.shorts({1, 3})},
                          {305, 2, 12, {'S', 'o', 'r', 'v', 'a', 'n', 't', 'a', ' ', 't', 'e', 0}},
                          {282, 5, 1, w.longs({72, 1})}};
        return pages;
    };
    struct Case {
        const char* name;
        std::vector<tiffbuild::Page> pages;
        bool little;
        std::vector<uint64_t> digests;
    } cases[] = {
        {"three pages, II", ThreePages(), true, {0x015edc6f75274c13ull, 0xb0d319c56426a702ull, 0xac1f14ec4e7b09fbull}},
        {"three pages, MM", ThreePages(), false, {0x8355d16d94ab0c6full, 0x3e31cc84ace7ffe0ull, 0xe7e766de99d912e7ull}},
        {"short offsets, II", widened, true, {0x6c93bdfca29fad6bull, 0x6c93bdfca29fad6bull, 0xe565796d45346f4full}},
        {"values, II", withValues(true), true, {0x015edc6f75274c13ull, 0x42c03be49358523bull, 0xac1f14ec4e7b09fbull}},
        {"values, MM", withValues(false), false, {0x8355d16d94ab0c6full, 0x0917633f5a0ebd2dull, 0xe7e766de99d912e7ull}},
        {"short offsets, MM", widened, false, {0x689cffa294d50b97ull, 0x689cffa294d50b97ull, 0xea4e91960c31561dull}},
    };
    for (const Case& c : cases) {
        const Bytes file = tiffbuild::MultiPage(c.pages, c.little);
        CMultiPageSource source;
        ASSERT_TRUE(source.OpenMemory(file.data(), int64_t(file.size())));
        ASSERT_TRUE(source.ReadPageIndex(false));
        ASSERT_EQ(source.PageCount(), int(c.digests.size())) << c.name;
        for (int p = 0; p < source.PageCount(); ++p) {
            const IPIHANDLE h = source.ExtractPage(p);
            ASSERT_NE(h, 0u) << c.name << " " << p;
            EXPECT_EQ(Fnv1a(BlockBytes(h)), c.digests[size_t(p)]) << c.name << " page " << p;
            ipiGlobalFree(h);
        }
    }
}

TEST(MultiPageSource, StateErrors)
{
    const Bytes file = tiffbuild::MultiPage(ThreePages(), true);
    CMultiPageSource source;
    ASSERT_TRUE(source.OpenMemory(file.data(), int64_t(file.size())));
    EXPECT_FALSE(source.Open("/tmp/other.tif"));
    EXPECT_EQ(source.Error(), thumbctl::ErrSourceState);
    ASSERT_TRUE(source.ReadPageIndex(false));
    EXPECT_EQ(source.ExtractPage(5), 0u);
    EXPECT_EQ(source.Error(), thumbctl::ErrSourceState);
    EXPECT_EQ(source.ExtractPage(-1), 0u);
    source.Close();
    EXPECT_FALSE(source.IsOpen());
    EXPECT_EQ(source.Error(), 0);

    const Bytes text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};
    ASSERT_TRUE(source.OpenMemory(text.data(), int64_t(text.size())));
    EXPECT_FALSE(source.ReadPageIndex(false));
    EXPECT_EQ(source.Error(), thumbctl::trkErrNotSupportFileFormat);
    source.Close();

    ASSERT_TRUE(source.Open("file:///no/such/folder/x%20y.tif"));
    EXPECT_EQ(source.Location(), "/no/such/folder/x y.tif");
    EXPECT_FALSE(source.ReadPageIndex(false));
    EXPECT_EQ(source.Error(), thumbctl::trkErrFileLoadIncomplete);
    source.Close();

    // No fetcher for remote locations in this process.
    EXPECT_FALSE(source.Open("http://example.invalid/pages.tif"));
    EXPECT_EQ(source.Error(), thumbctl::trkErrFileNotFound);
}

TEST(MultiPageSource, LoopingChainEndsAndDamagedPagesFail)
{
    tiffbuild::Writer le(true);
    Bytes file = tiffbuild::MultiPage(ThreePages(), true);
    // The third directory links back to the first.
    const uint32_t d1 = U32(file, 4, true);
    const uint32_t d2 = U32(file, d1 + 2 + 12 * U16(file, d1, true), true);
    const uint32_t d3 = U32(file, d2 + 2 + 12 * U16(file, d2, true), true);
    le.put32(file, d3 + 2 + 12 * U16(file, d3, true), d1);
    CMultiPageSource source;
    ASSERT_TRUE(source.OpenMemory(file.data(), int64_t(file.size())));
    ASSERT_TRUE(source.ReadPageIndex(false));
    EXPECT_EQ(source.PageCount(), 3);
    source.Close();

    // A strip offset past the end: the page cannot be cut out, and nothing leaks.
    for (uint32_t i = 0; i < U16(file, d1, true); ++i)
        if (U16(file, d1 + 2 + 12 * i, true) == 273) le.put32(file, d1 + 2 + 12 * i + 8, 0xFFFFFFF0u);
    ASSERT_TRUE(source.OpenMemory(file.data(), int64_t(file.size())));
    ASSERT_TRUE(source.ReadPageIndex(false));
    const int before = ipiGlobalLiveCount();
    EXPECT_EQ(source.ExtractPage(0), 0u);
    EXPECT_EQ(source.Error(), thumbctl::trkErrInvalidFileFormat);
    EXPECT_EQ(ipiGlobalLiveCount(), before);
    const IPIHANDLE other = source.ExtractPage(1);  // the other pages still come out
    EXPECT_NE(other, 0u);
    ipiGlobalFree(other);
}

// Uncompressed strips whose byte counts are shorter than their rows: the
// kernel reads the rows, so the copy carries them whole and decodes as the
// source page does; rows that pass the end of the file make the page an error.
TEST(MultiPageSource, ShortStripByteCountsAreCopiedAsTheKernelReadsThem)
{
    tiffbuild::Writer le(true);
    const auto pages = ThreePages();  // page 1: 9 x 5 in strips of 3 and 2 rows
    Bytes file = tiffbuild::MultiPage(pages, true);
    const uint32_t d1 = U32(file, 4, true);
    const uint32_t d2 = U32(file, d1 + 2 + 12 * U16(file, d1, true), true);
    uint32_t countsAt = 0;
    for (uint32_t i = 0; i < U16(file, d2, true); ++i)
        if (U16(file, d2 + 2 + 12 * i, true) == 279) countsAt = U32(file, d2 + 2 + 12 * i + 8, true);
    ASSERT_NE(countsAt, 0u);
    le.put32(file, countsAt, 9);  // the first strip's count covers one row of three

    IPIHANDLE source = 0;
    int error = 0;
    ASSERT_EQ(DecodeImageFromMemory(file.data(), &source, 1, DecodeFormatTiff, 1, int64_t(file.size()), nullptr, 0,
                                    &error), 1);
    const Bytes sourceRows = DibGreyRows(source);
    ipiGlobalFree(source);
    EXPECT_EQ(sourceRows, tiffbuild::PagePixels(pages[1]));

    CMultiPageSource pagesOf;
    ASSERT_TRUE(pagesOf.OpenMemory(file.data(), int64_t(file.size())));
    ASSERT_TRUE(pagesOf.ReadPageIndex(false));
    IPIHANDLE h = pagesOf.ExtractPage(1);
    ASSERT_NE(h, 0u) << pagesOf.Error();
    EXPECT_EQ(DecodePage(h), sourceRows);
    ipiGlobalFree(h);

    // A strip whose 4-byte count fits in the file but whose rows pass its end.
    Bytes cut = tiffbuild::MultiPage({pages[0]}, true);
    const uint32_t d = U32(cut, 4, true);
    for (uint32_t i = 0; i < U16(cut, d, true); ++i) {
        const uint32_t tag = U16(cut, d + 2 + 12 * i, true);
        if (tag == 273) le.put32(cut, d + 2 + 12 * i + 8, uint32_t(cut.size() - 10));
        if (tag == 279) le.put32(cut, d + 2 + 12 * i + 8, 4);
    }
    pagesOf.Close();
    ASSERT_TRUE(pagesOf.OpenMemory(cut.data(), int64_t(cut.size())));
    ASSERT_TRUE(pagesOf.ReadPageIndex(false));
    const int before = ipiGlobalLiveCount();
    EXPECT_EQ(pagesOf.ExtractPage(0), 0u);
    EXPECT_EQ(pagesOf.Error(), thumbctl::trkErrInvalidFileFormat);
    EXPECT_EQ(ipiGlobalLiveCount(), before);
}

namespace {

struct RawEntry {
    uint16_t tag, type;
    uint32_t count, value;  // the value itself, or its offset
};

// A little-endian file: the header, `blob` at offset 8, then the directories
// chained in order.
Bytes RawTiff(const Bytes& blob, const std::vector<std::vector<RawEntry>>& dirs)
{
    tiffbuild::Writer le(true);
    Bytes f(8 + blob.size(), 0);
    f[0] = f[1] = 'I';
    f[2] = 42;
    std::copy(blob.begin(), blob.end(), f.begin() + 8);
    size_t linkAt = 4;
    for (const auto& entries : dirs) {
        le.put32(f, linkAt, uint32_t(f.size()));
        le.u16(f, uint32_t(entries.size()));
        for (const RawEntry& e : entries) {
            le.u16(f, e.tag);
            le.u16(f, e.type);
            le.u32(f, e.count);
            le.u32(f, e.value);
        }
        linkAt = f.size();
        le.u32(f, 0);
    }
    return f;
}

Bytes Longs(size_t n, uint32_t value)
{
    tiffbuild::Writer le(true);
    Bytes b;
    for (size_t i = 0; i < n; ++i) le.u32(b, value);
    return b;
}

} // namespace

// Structures used over and over: pages that all share one big strip table,
// and a page whose strips all lie on the same big block. The index keeps no
// more than the file can hold and the copy of such a page is refused before
// it is made, each within a bounded peak of memory.
TEST(MultiPageSource, SharedStructuresAreBoundedByTheFile)
{
    constexpr uint32_t kStrips = 16384;
    // 4000 pages whose strip tables are the same two tables of 16384 values.
    Bytes tables = Longs(kStrips, 8);
    const Bytes counts = Longs(kStrips, 1);
    tables.insert(tables.end(), counts.begin(), counts.end());
    const std::vector<RawEntry> sharing = {{273, 4, kStrips, 8}, {279, 4, kStrips, 8 + 4 * kStrips}};
    // One page of 100 strips, each the whole 4 MB block after the header.
    const uint32_t block = 4u << 20;
    Bytes blockAndTables(block, 7);
    const Bytes offsets = Longs(100, 8), lengths = Longs(100, block);
    blockAndTables.insert(blockAndTables.end(), offsets.begin(), offsets.end());
    blockAndTables.insert(blockAndTables.end(), lengths.begin(), lengths.end());
    const std::vector<RawEntry> repeating = {{273, 4, 100, 8 + block}, {279, 4, 100, 8 + block + 400}};

    struct Case {
        const char* name;
        Bytes file;
        int pages;
        int error;  // of extracting page 0
    } cases[] = {
        {"pages sharing their strip tables", RawTiff(tables, std::vector<std::vector<RawEntry>>(4000, sharing)), 1, 0},
        {"strips on the same block", RawTiff(blockAndTables, {repeating}), 1, thumbctl::trkErrInvalidFileFormat},
    };
    // Index and page 0 as the list takes them: pages and error as expected.
    auto indexAndCut = [](const Case& c, int* pages, int* error) {
        CMultiPageSource source;
        if (!source.OpenMemory(c.file.data(), int64_t(c.file.size())) || !source.ReadPageIndex(false)) return false;
        *pages = source.PageCount();
        const IPIHANDLE h = source.ExtractPage(0);
        *error = source.Error();
        if (h) ipiGlobalFree(h);
        return *pages == c.pages && *error == c.error && (h != 0) == (c.error == 0);
    };
    for (const Case& c : cases) {
        int pages = -1, error = -1;
        const int64_t peak = testsupport::PeakBytes([&] {
            indexAndCut(c, &pages, &error);
            return true;
        });
        EXPECT_GE(peak, 0) << c.name;
        EXPECT_LT(peak, int64_t(50) << 20) << c.name;
        if (peak < 0 || peak >= int64_t(50) << 20) continue;
        // What came out, here, now that it is known to stay within the bound.
        EXPECT_TRUE(indexAndCut(c, &pages, &error)) << c.name;
        EXPECT_EQ(pages, c.pages) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
}

// An uncompressed page whose strip byte count runs far past its rows (in a
// file that holds that many bytes: half a gigabyte of holes) is copied with
// its rows alone, within a bounded peak of memory, and decodes as before.
TEST(MultiPageSource, AnUncompressedStripIsCopiedAsFarAsItsRows)
{
    testsupport::TempDir dir("multipage-long");
    tiffbuild::Writer le(true);
    const std::vector<tiffbuild::Page> pages(1);
    Bytes file = tiffbuild::MultiPage(pages, true);
    const uint32_t d = U32(file, 4, true);
    for (uint32_t i = 0; i < U16(file, d, true); ++i)
        if (U16(file, d + 2 + 12 * i, true) == 279) le.put32(file, d + 2 + 12 * i + 8, 512u << 20);
    testsupport::MakeSparseFile(dir.file("long.tif"), file, int64_t(600) << 20);
    Bytes rows;
    const int64_t peak = testsupport::PeakBytes([&] {
        CMultiPageSource source;
        if (!source.Open(dir.file("long.tif")) || !source.ReadPageIndex(false)) return false;
        const IPIHANDLE h = source.ExtractPage(0);
        if (h) ipiGlobalFree(h);
        return h != 0;
    });
    EXPECT_GE(peak, 0);
    EXPECT_LT(peak, int64_t(50) << 20);
    if (peak < 0 || peak >= int64_t(50) << 20) return;
    CMultiPageSource source;
    ASSERT_TRUE(source.Open(dir.file("long.tif")));
    ASSERT_TRUE(source.ReadPageIndex(false));
    const IPIHANDLE h = source.ExtractPage(0);
    ASSERT_NE(h, 0u) << source.Error();
    EXPECT_EQ(DecodePage(h), tiffbuild::PagePixels(pages[0]));
    ipiGlobalFree(h);
}

TEST(MultiPageSource, PagesOfTiffcpFilesMatchImageMagick)
{
    testsupport::TempDir dir("multipage");
    const std::string d = dir.path().string() + "/";
    int code = 1;
    testsupport::Shell("convert -size 20x10 gradient:black-white -depth 8 -type grayscale -compress none " + d + "a.tif && "
                       "convert -size 13x17 plasma:fractal -seed 4 -depth 8 -compress none " + d + "b.tif && "
                       "convert -size 30x12 gradient:white-black -depth 8 -type grayscale -compress none " + d + "c.tif && "
                       "tiffcp -r 4 " + d + "a.tif " + d + "b.tif " + d + "c.tif " + d + "le.tif && "
                       "tiffcp -B -r 5 " + d + "a.tif " + d + "b.tif " + d + "c.tif " + d + "be.tif && "
                       "tiffcp -t -w 16 -l 16 " + d + "a.tif " + d + "b.tif " + d + "c.tif " + d + "tiled.tif",
                       &code);
    ASSERT_EQ(code, 0);
    // Tiles are cut out like strips.
    for (const char* name : {"le.tif", "be.tif", "tiled.tif"}) {
        CMultiPageSource source;
        ASSERT_TRUE(source.Open(d + name));
        ASSERT_TRUE(source.ReadPageIndex(false)) << source.Error();
        ASSERT_EQ(source.PageCount(), 3) << name;
        for (int page = 0; page < 3; ++page) {
            IPIHANDLE h = source.ExtractPage(page);
            ASSERT_NE(h, 0u) << name << " " << page;
            const std::string out = d + "page.tif";
            testsupport::WriteBytes(out, BlockBytes(h));
            ipiGlobalFree(h);
            testsupport::Shell("tiffinfo -D " + out + " > /dev/null 2>&1", &code);
            EXPECT_EQ(code, 0) << name << " " << page;
            const std::string ref = d + "ref.rgb", got = d + "got.rgb";
            testsupport::Shell("convert '" + d + name + "[" + std::to_string(page) + "]' -depth 8 rgb:" + ref +
                                   " && convert " + out + " -depth 8 rgb:" + got, &code);
            ASSERT_EQ(code, 0);
            const Bytes a = testsupport::ReadBytes(ref), b = testsupport::ReadBytes(got);
            EXPECT_FALSE(a.empty());
            EXPECT_EQ(a, b) << name << " page " << page;
        }
        // Padded to a gigabyte of holes: the same pages, within a bounded
        // peak of memory.
        const Bytes whole = testsupport::ReadBytes(d + name);
        testsupport::MakeSparseFile(d + "padded.tif", whole, int64_t(1) << 30);
        auto samePages = [&] {
            CMultiPageSource padded;
            if (!padded.Open(d + "padded.tif") || !padded.ReadPageIndex(false) || padded.PageCount() != 3) return false;
            for (int page = 0; page < 3; ++page) {
                const IPIHANDLE a = padded.ExtractPage(page), b = source.ExtractPage(page);
                const bool same = a && b && BlockBytes(a) == BlockBytes(b);
                if (a) ipiGlobalFree(a);
                if (b) ipiGlobalFree(b);
                if (!same) return false;
            }
            return true;
        };
        const int64_t peak = testsupport::PeakBytes(samePages);
        EXPECT_GE(peak, 0) << name << ": the padded file's pages differ";
        EXPECT_LT(peak, int64_t(50) << 20) << name;
    }
}

} // namespace
