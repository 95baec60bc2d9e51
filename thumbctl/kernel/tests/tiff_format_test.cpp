// TIFF structure: pages and strip tables of files libtiff writes, and the
// checks that keep damaged or hostile directories out.
#include "thumbctl/kernel/tiff_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "testsupport/testsupport.h"

namespace {

using Bytes = std::vector<uint8_t>;

tiff::Source MemorySource(const Bytes& data) {
    tiff::Source s;
    s.size = data.size();
    s.read = [&data](uint64_t offset, void* buffer, uint64_t count) {
        if (offset > data.size() || count > data.size() - offset) return false;
        std::copy(data.begin() + long(offset), data.begin() + long(offset + count), static_cast<uint8_t*>(buffer));
        return true;
    };
    return s;
}

// --- hand-built files: one directory at offset 8, pixel data at 512 ---------

struct Entry {
    uint16_t tag, type;
    uint32_t count, value;
};

void Put16(Bytes& b, size_t at, uint32_t v, bool le) {
    b[at] = uint8_t(le ? v : v >> 8);
    b[at + 1] = uint8_t(le ? v >> 8 : v);
}
void Put32(Bytes& b, size_t at, uint32_t v, bool le) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (le ? 8 * i : 24 - 8 * i));
}

Bytes Build(const std::vector<Entry>& entries, bool le = true, uint32_t next = 0, size_t dataBytes = 64) {
    Bytes b(512 + dataBytes, 0);
    b[0] = b[1] = le ? 'I' : 'M';
    Put16(b, 2, 42, le);
    Put32(b, 4, 8, le);
    Put16(b, 8, uint32_t(entries.size()), le);
    size_t at = 10;
    for (const Entry& e : entries) {
        Put16(b, at, e.tag, le);
        Put16(b, at + 2, e.type, le);
        Put32(b, at + 4, e.count, le);
        if (e.type == 3 && e.count == 1) Put16(b, at + 8, e.value, le);  // a SHORT sits in the first two bytes
        else Put32(b, at + 8, e.value, le);
        at += 12;
    }
    Put32(b, at, next, le);
    for (size_t i = 512; i < b.size(); ++i) b[i] = uint8_t(i);
    return b;
}

// An 8 x 4 8-bit grey page in one strip at 512.
std::vector<Entry> GreyPage() {
    return {{256, 3, 1, 8}, {257, 3, 1, 4}, {258, 3, 1, 8}, {259, 3, 1, 1}, {262, 3, 1, 1},
            {273, 4, 1, 512}, {277, 3, 1, 1}, {278, 3, 1, 4}, {279, 4, 1, 32}};
}

std::vector<Entry> With(std::vector<Entry> e, uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    for (Entry& x : e)
        if (x.tag == tag) {
            x = {tag, type, count, value};
            return e;
        }
    e.push_back({tag, type, count, value});
    std::sort(e.begin(), e.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    return e;
}

std::vector<Entry> Without(std::vector<Entry> e, uint16_t tag) {
    e.erase(std::remove_if(e.begin(), e.end(), [tag](const Entry& x) { return x.tag == tag; }), e.end());
    return e;
}

int Page0(const Bytes& file, tiff::Page* page) { return tiff::ReadPage(MemorySource(file), 0, page); }

TEST(TiffFormat, DirectoryChecks) {
    struct Case {
        const char* name;
        Bytes file;
        int want;
    };
    // Strips of `rps` rows (the page has 4) with `counts` byte counts at 400
    // and offsets at 440.
    auto stripTables = [](uint32_t rps, uint32_t counts, bool lastZero) {
        std::vector<Entry> e = With(With(GreyPage(), 278, 3, 1, rps), 273, 4, counts, 440);
        e = With(e, 279, 4, counts, 400);
        Bytes b = Build(e);
        for (uint32_t i = 0; i < counts; ++i) {
            Put32(b, 400 + 4 * i, (lastZero && i == counts - 1) ? 0 : 8 * rps, true);
            Put32(b, 440 + 4 * i, 512 + 8 * std::min(i, 3u), true);
        }
        return b;
    };
    const Case cases[] = {
        {"grey page", Build(GreyPage()), 0},
        {"big-endian grey page", Build(GreyPage(), false), 0},
        {"no BitsPerSample reads as one bit", Build(Without(GreyPage(), 258)), 0},
        {"uncompressed without StripByteCounts", Build(Without(GreyPage(), 279)), 0},
        {"RowsPerStrip absent", Build(Without(GreyPage(), 278)), 0},
        {"RowsPerStrip 0 is refused", Build(With(GreyPage(), 278, 3, 1, 0)), 22},
        {"strip past the data", Build(With(GreyPage(), 273, 4, 1, 560)), 22},
        {"strip offset far beyond the file", Build(With(GreyPage(), 273, 4, 1, 0xFFFFFFF0u)), 22},
        {"compressed strip count past the data",
         Build(With(With(GreyPage(), 259, 3, 1, 32773), 279, 4, 1, 100)), 22},
        {"offsets and counts disagree", Build(With(GreyPage(), 279, 4, 2, 400)), 22},
        {"entry count 0", [] { Bytes b = Build({}); return b; }(), 22},
        {"tiled page", Build(With(With(GreyPage(), 322, 3, 1, 16), 323, 3, 1, 16)), 22},
        {"TileOffsets", Build(With(Without(GreyPage(), 273), 324, 4, 1, 512)), 22},
        {"YCbCr", Build(With(With(GreyPage(), 262, 3, 1, 6), 277, 3, 1, 3)), 22},
        {"CIE Lab", Build(With(GreyPage(), 262, 3, 1, 8)), 22},
        {"CMYK", Build(With(With(GreyPage(), 262, 3, 1, 5), 277, 3, 1, 4)), 22},
        {"RGBA", Build(With(With(With(GreyPage(), 262, 3, 1, 2), 277, 3, 1, 4), 258, 3, 4, 400)), 22},
        {"grey with alpha", Build(With(GreyPage(), 277, 3, 1, 2)), 22},
        {"RGB with one sample", Build(With(GreyPage(), 262, 3, 1, 2)), 22},
        {"old JPEG", Build(With(GreyPage(), 259, 3, 1, 6)), 22},
        {"Deflate", Build(With(GreyPage(), 259, 3, 1, 8)), 22},
        {"LZW reads (decoding refuses it later)", Build(With(GreyPage(), 259, 3, 1, 5)), 0},
        {"LZW with predictor 3", Build(With(With(GreyPage(), 259, 3, 1, 5), 317, 3, 1, 3)), 22},
        {"facsimile coding of 8-bit data", Build(With(GreyPage(), 259, 3, 1, 4)), 22},
        {"FillOrder 3", Build(With(GreyPage(), 266, 3, 1, 3)), 22},
        {"ImageWidth as RATIONAL", Build(With(GreyPage(), 256, 5, 1, 8)), 22},
        {"BitsPerSample 2", Build(With(GreyPage(), 258, 3, 1, 2)), 22},
        {"orientation 9", Build(With(GreyPage(), 274, 3, 1, 9)), 22},
        {"planar separate colour",
         Build(With(With(With(GreyPage(), 262, 3, 1, 2), 277, 3, 1, 3), 284, 3, 1, 2)), 22},
        {"resolution unit 4", Build(With(GreyPage(), 296, 3, 1, 4)), 22},
        {"palette without a colour map", Build(With(GreyPage(), 262, 3, 1, 3)), 22},
        {"width 0", Build(With(GreyPage(), 256, 3, 1, 0)), 22},
        // Without them the initial values would stand in: a 1-pixel row or column.
        {"no ImageWidth", Build(Without(GreyPage(), 256)), 22},
        {"no ImageLength", Build(Without(GreyPage(), 257)), 22},
        // Two bytes of PackBits codes make at most 128 bytes: 32 bytes of rows
        // need at least that, one byte cannot fill them.
        {"PackBits codes that can fill their rows", Build(With(With(GreyPage(), 259, 3, 1, 32773), 279, 4, 1, 2)), 0},
        {"PackBits codes that cannot fill their rows",
         Build(With(With(GreyPage(), 259, 3, 1, 32773), 279, 4, 1, 1)), 22},
        {"four strips in four counts", stripTables(1, 4, false), 0},
        {"three counts for two strips", stripTables(2, 3, true), 22},
        {"surplus empty last strip", stripTables(1, 5, true), 0},
        {"surplus strip that is not empty", stripTables(1, 5, false), 22},
    };
    for (const Case& c : cases) {
        tiff::Page page;
        EXPECT_EQ(Page0(c.file, &page), c.want) << c.name;
    }
}

TEST(TiffFormat, PageDescription) {
    tiff::Page le, be;
    ASSERT_EQ(Page0(Build(GreyPage()), &le), 0);
    ASSERT_EQ(Page0(Build(GreyPage(), false), &be), 0);
    for (const tiff::Page* p : {&le, &be}) {
        EXPECT_EQ(p->width, 8u);
        EXPECT_EQ(p->height, 4u);
        EXPECT_EQ(p->dataType, 153);
        EXPECT_EQ(p->photometric, 17);
        EXPECT_EQ(p->stripOffsets, std::vector<uint32_t>{512});
        EXPECT_EQ(p->rowsPerStrip, 4u);
        EXPECT_EQ(tiff::RowOffset(*p, 3), 512u + 24u);
    }
    EXPECT_FALSE(be.littleEndian);

    // One 16-bit sample per pixel is grey, not three colour bands.
    tiff::Page grey16;
    ASSERT_EQ(Page0(Build(With(With(GreyPage(), 258, 3, 1, 16), 279, 4, 1, 64)), &grey16), 0);
    EXPECT_EQ(grey16.bands, 1);
    EXPECT_EQ(grey16.dataPrecision, 8);
    EXPECT_EQ(grey16.rowBytes, 16u);

    // Two SHORT strip offsets sit in the value field in the file's byte order.
    for (bool little : {true, false}) {
        auto e = With(With(GreyPage(), 278, 3, 1, 2), 273, 3, 2, 0);
        e = With(e, 279, 3, 2, 0);
        Bytes b = Build(e, little);
        for (size_t i = 10; i < 10 + 12 * e.size(); i += 12) {
            const uint32_t tag = little ? b[i] | b[i + 1] << 8 : b[i] << 8 | b[i + 1];
            if (tag == 273) { Put16(b, i + 8, 512, little); Put16(b, i + 10, 540, little); }
            if (tag == 279) { Put16(b, i + 8, 16, little); Put16(b, i + 10, 16, little); }
        }
        tiff::Page p;
        ASSERT_EQ(Page0(b, &p), 0) << little;
        EXPECT_EQ(p.stripOffsets, (std::vector<uint32_t>{512, 540})) << little;
        EXPECT_EQ(tiff::RowOffset(p, 3), 540u + 8u);
    }

    // Kernel codes of the descriptive tags.
    tiff::Page coded;
    auto e = With(With(With(GreyPage(), 274, 3, 1, 6), 296, 3, 1, 3), 255, 3, 1, 3);
    e = With(With(e, 266, 3, 1, 2), 262, 3, 1, 0);
    ASSERT_EQ(Page0(Build(e), &coded), 0);
    EXPECT_EQ(coded.orientation, 2);
    EXPECT_EQ(coded.resolutionUnit, 23);
    EXPECT_EQ(coded.newSubfileType, 254);
    EXPECT_TRUE(coded.lsbFirst);
    EXPECT_EQ(coded.photometric, 222);

    // The rest of the tags the kernel keeps: resolutions, page number, the
    // LZW predictor (two SHORTs of PageNumber sit in the value field).
    e = With(With(With(GreyPage(), 282, 5, 1, 400), 283, 5, 1, 408), 297, 3, 2, 0x00050002u);
    e = With(With(e, 259, 3, 1, 5), 317, 3, 1, 2);
    Bytes withValues = Build(e);
    Put32(withValues, 400, 300, true), Put32(withValues, 404, 1, true);
    Put32(withValues, 408, 150, true), Put32(withValues, 412, 2, true);
    tiff::Page more;
    ASSERT_EQ(Page0(withValues, &more), 0);
    EXPECT_TRUE(more.hasXResolution && more.hasYResolution);
    EXPECT_EQ(std::vector<uint32_t>(more.xResolution, more.xResolution + 2), (std::vector<uint32_t>{300, 1}));
    EXPECT_EQ(std::vector<uint32_t>(more.yResolution, more.yResolution + 2), (std::vector<uint32_t>{150, 2}));
    EXPECT_EQ(more.pageNumber, 0x00020005u);
    EXPECT_EQ(more.predictor, 1);
}

TEST(TiffFormat, DirectoryChainEndsAtLoopsAndBounds) {
    // A directory whose next offset is itself, and two that point at each other.
    Bytes self = Build(GreyPage(), true, 8);
    std::vector<uint32_t> offsets;
    tiff::Header h;
    ASSERT_EQ(tiff::ReadHeader(MemorySource(self), &h), 0);
    EXPECT_EQ(tiff::WalkDirectories(MemorySource(self), h, &offsets), 0);
    EXPECT_EQ(offsets, std::vector<uint32_t>{8});

    Bytes pair = Build(GreyPage(), true, 300);
    Put16(pair, 300, 0, true);
    Put32(pair, 302, 8, true);  // an empty directory that leads back to the first
    EXPECT_EQ(tiff::WalkDirectories(MemorySource(pair), h, &offsets), 0);
    EXPECT_EQ(offsets, (std::vector<uint32_t>{8, 300}));

    // A next offset past the data reports 8 with the pages found so far.
    Bytes past = Build(GreyPage(), true, 0x7FFFFFF0u);
    EXPECT_EQ(tiff::WalkDirectories(MemorySource(past), h, &offsets), 8);
    EXPECT_EQ(offsets, std::vector<uint32_t>{8});

    // The page limit ends a long chain.
    EXPECT_EQ(tiff::WalkDirectories(MemorySource(pair), h, &offsets, 1), 0);
    EXPECT_EQ(offsets.size(), 1u);

    // Headers.
    EXPECT_EQ(tiff::ReadHeader(MemorySource(Bytes{'I', 'I', 42}), &h), 8);
    EXPECT_EQ(tiff::ReadHeader(MemorySource(Bytes{'I', 'M', 42, 0, 8, 0, 0, 0}), &h), 22);
    EXPECT_EQ(tiff::ReadHeader(MemorySource(Bytes{'M', 'M', 42, 0, 8, 0, 0, 0}), &h), 22);
    EXPECT_EQ(tiff::ReadHeader(MemorySource(Bytes{'M', 'M', 0, 42, 0, 0, 0, 0}), &h), 0);
    tiff::Page page;
    EXPECT_EQ(tiff::ReadPage(MemorySource(Bytes{'M', 'M', 0, 42, 0, 0, 0, 0}), 0, &page), 12);
    EXPECT_EQ(tiff::ReadPage(MemorySource(self), 1, &page), 12);
}

TEST(TiffFormat, RandomDamageNeverReadsOutside) {
    std::mt19937 rng(99);
    const Bytes base = Build(With(GreyPage(), 320, 3, 768, 300), true, 0, 2048);
    for (int round = 0; round < 2000; ++round) {
        Bytes b = base;
        const int flips = 1 + int(rng() % 6);
        for (int k = 0; k < flips; ++k) b[8 + rng() % 200] = uint8_t(rng());
        if (round % 5 == 0) b.resize(8 + rng() % b.size());
        tiff::Page page;
        const int rc = tiff::ReadPage(MemorySource(b), 0, &page);
        if (rc == 0) {
            // A page that reads has every row inside the data.
            for (uint32_t y = 0; y < page.height; ++y)
                ASSERT_LE(tiff::RowOffset(page, y) + page.rowBytes, b.size());
        }
    }
}

// --- files written by libtiff ----------------------------------------------

class TiffFiles : public ::testing::Test {
protected:
    std::string Run(const std::string& command) {
        int code = 0;
        const std::string log = testsupport::Shell(command, &code);
        EXPECT_EQ(code, 0) << command << "\n" << log;
        return log;
    }
    testsupport::TempDir dir{"tiffformat"};
};

TEST_F(TiffFiles, StripsOfBothByteOrdersHoldTheRows) {
    const std::string src = dir.file("grey.tif");
    Run("convert -size 37x29 gradient:black-white -rotate 20 -resize 37x29! -depth 8 -type grayscale "
        "-compress none '" + src + "'");
    const Bytes grey = testsupport::MagickPixels(src, "gray");
    ASSERT_EQ(grey.size(), 37u * 29u);
    for (const char* order : {"-L", "-B"}) {
        const std::string out = dir.file(std::string("o") + order + ".tif");
        Run(std::string("tiffcp -c none -r 7 ") + order + " '" + src + "' '" + out + "'");
        const Bytes file = testsupport::ReadBytes(out);
        tiff::Page page;
        ASSERT_EQ(Page0(file, &page), 0) << order;
        EXPECT_EQ(page.stripOffsets.size(), 5u);
        Bytes rows;
        for (uint32_t y = 0; y < page.height; ++y) {
            const uint64_t at = tiff::RowOffset(page, y);
            rows.insert(rows.end(), file.begin() + long(at), file.begin() + long(at + page.rowBytes));
        }
        // min-is-black from ImageMagick: the stored bytes are its grey values.
        EXPECT_EQ(page.photometric, 17);
        EXPECT_EQ(rows, grey) << order;
    }
}

TEST_F(TiffFiles, FivePagesAreWalkedInOrder) {
    std::string pages;
    for (int i = 0; i < 5; ++i) {
        const std::string p = dir.file("p" + std::to_string(i) + ".tif");
        Run("convert -size " + std::to_string(10 + i) + "x" + std::to_string(5 + i) +
            " xc:gray50 -depth 8 -type grayscale -compress none '" + p + "'");
        pages += " '" + p + "'";
    }
    const std::string multi = dir.file("multi.tif");
    Run("tiffcp" + pages + " '" + multi + "'");
    const Bytes file = testsupport::ReadBytes(multi);
    tiff::Header h;
    ASSERT_EQ(tiff::ReadHeader(MemorySource(file), &h), 0);
    std::vector<uint32_t> offsets;
    EXPECT_EQ(tiff::WalkDirectories(MemorySource(file), h, &offsets), 0);
    EXPECT_EQ(offsets.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        tiff::Page page;
        ASSERT_EQ(tiff::ReadPage(MemorySource(file), i, &page), 0);
        EXPECT_EQ(page.width, uint32_t(10 + i));
        EXPECT_EQ(page.height, uint32_t(5 + i));
    }
    tiff::Page page;
    EXPECT_EQ(tiff::ReadPage(MemorySource(file), 5, &page), 12);
}

} // namespace
