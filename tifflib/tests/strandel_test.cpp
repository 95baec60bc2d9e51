#include "tifflib/strandel.h"

#include "tifflib/tests/tiff_fixtures.h"

#include "testsupport/peak_memory.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <atomic>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Text {
    char* p;
    explicit Text(char* s) : p(s) {}
    ~Text() { std::free(p); }
    std::string str() const { return p ? std::string(p) : std::string("<null>"); }
};

using testsupport::Shell;

class StrandelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tmp = std::make_unique<testsupport::TempDir>("st");
        dir = tmp->path();
    }

    std::vector<uint8_t> Ramp(int cols, int rows)
    {
        std::vector<uint8_t> px(size_t(cols) * rows);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < cols; ++x) px[size_t(y) * cols + x] = uint8_t((x * 7 + y * 13) & 0xFF);
        return px;
    }

    std::unique_ptr<testsupport::TempDir> tmp;
    fs::path dir;
};

const char* kHeader =
    "Calverdine Phase Measurement\r\nNumber of fields: 9\r\n1: a\r\n2: b\r\n3: c\r\n4: d\r\n5: e\r\n6: f\r\n7: g\r\n"
    "8: h\r\n9: 10.25\r\n\\EndHeader\r\n";

TEST_F(StrandelTest, RoundTripKeepsPixelsAndHeaderAndWritesTheFixedTagSet)
{
    const int cols = 37, rows = 21;
    auto px = Ramp(cols, rows);
    const std::string path = (dir / "round_ph.tif").string();
    ASSERT_EQ(WriteTIFFFile(path.c_str(), cols, rows, kHeader, px.data()), STRANDEL_OK);

    EXPECT_EQ(GetTIFFCols(path.c_str()), cols);
    EXPECT_EQ(GetTIFFRows(path.c_str()), rows);
    std::vector<uint8_t> back(px.size(), 0xAA);
    Text text(ReadTIFFFile(path.c_str(), back.data()));
    EXPECT_EQ(text.str(), kHeader);
    EXPECT_EQ(back, px);

    // Byte order and the fixed tag set, as another reader sees them.
    std::ifstream f(path, std::ios::binary);
    char magic[2];
    f.read(magic, 2);
    EXPECT_EQ(std::string(magic, 2), "II");
    const std::string dump = Shell("tiffdump '" + path + "'");
    for (const char* line : {"Make (271) ASCII (2) 29<", "Artist (315) ASCII (2) 11<Calverdine\\0>",
                             "HostComputer (316) ASCII (2) 3<PC\\0>", "RowsPerStrip (278) SHORT (3) 1<8>",
                             "Compression (259) SHORT (3) 1<1>", "Photometric (262) SHORT (3) 1<1>",
                             "(32768) ASCII (2) "})
        EXPECT_NE(dump.find(line), std::string::npos) << line << "\n" << dump;
    EXPECT_NE(Shell("tiffinfo '" + path + "'").find("Make: Calverdine's Video Digitizer"), std::string::npos);
    // Tag 32768 is the last entry of the directory.
    const auto tagLine = dump.find("(32768)");
    ASSERT_NE(tagLine, std::string::npos);
    EXPECT_EQ(dump.find(") ", dump.find('\n', tagLine)), std::string::npos) << dump;
    // 21 rows in strips of 8: three strips.
    EXPECT_NE(dump.find("StripOffsets (273) LONG (4) 3<"), std::string::npos) << dump;
}

TEST_F(StrandelTest, EmptyHeaderIsWrittenAsLoneNulAndReadBackEmpty)
{
    auto px = Ramp(8, 8);
    const std::string path = (dir / "empty.tif").string();
    ASSERT_EQ(WriteTIFFFile(path.c_str(), 8, 8, "", px.data()), 0);
    const std::string dump = Shell("tiffdump '" + path + "'");
    EXPECT_NE(dump.find("(32768) ASCII (2) 1<\\0>"), std::string::npos) << dump;
    std::vector<uint8_t> back(px.size());
    Text text(ReadTIFFFile(path.c_str(), back.data()));
    EXPECT_EQ(text.str(), "");
    EXPECT_EQ(back, px);
}

// Path completion: ".tif" is appended only when the path holds no '.'.
TEST_F(StrandelTest, PathCompletionTable)
{
    auto px = Ramp(4, 3);
    const fs::path dotted = dir / "with.dot";
    fs::create_directories(dotted);
    struct Case {
        std::string writeAs;   // path passed to WriteTIFFFile
        std::string expectOn;  // file that must appear on disk
    };
    const std::string cwdDir = dir.string();
    std::vector<Case> cases = {
        {(dir / "plain.tif").string(), (dir / "plain.tif").string()},
        {(dotted / "bare").string(), (dotted / "bare").string()},   // '.' in the folder name
        {(dotted / "named.tif").string(), (dotted / "named.tif").string()},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(WriteTIFFFile(c.writeAs.c_str(), 4, 3, "x", px.data()), 0) << c.writeAs;
        EXPECT_TRUE(fs::exists(c.expectOn)) << c.writeAs;
        EXPECT_EQ(GetTIFFCols(c.writeAs.c_str()), 4) << c.writeAs;
    }
    // A path without any '.': relative name in the working folder.
    const auto old = fs::current_path();
    fs::current_path(dir);
    EXPECT_EQ(WriteTIFFFile("nodot", 4, 3, "x", px.data()), 0);
    EXPECT_TRUE(fs::exists(dir / "nodot.tif"));
    EXPECT_EQ(GetTIFFRows("nodot"), 3);
    fs::current_path(old);
}

TEST_F(StrandelTest, LongNamesAreReadAndWrittenWhole)
{
    auto px = Ramp(4, 3);
    // A deep folder and a 250-character name: far beyond 79 characters.
    fs::path deep = dir;
    for (int i = 0; i < 6; ++i) deep /= std::string(60, char('a' + i));
    fs::create_directories(deep);
    const std::string name = (deep / (std::string(246, 'n') + "_ph.tif")).string();
    ASSERT_GT(name.size(), 600u);
    ASSERT_EQ(WriteTIFFFile(name.c_str(), 4, 3, "x", px.data()), 0);
    EXPECT_TRUE(fs::exists(name));
    EXPECT_EQ(GetTIFFCols(name.c_str()), 4);
    EXPECT_EQ(GetTIFFRows(name.c_str()), 3);
    std::vector<uint8_t> buf(12, 7);
    int32_t status = -1;
    Text t(ReadTIFFFileSized(name.c_str(), buf.data(), buf.size(), &status));
    EXPECT_EQ(status, STRANDEL_OK);
    EXPECT_EQ(t.str(), "x");
    EXPECT_EQ(buf, px);
    // Without any '.', the completed name of any length.
    const std::string bare = (deep / std::string(200, 'b')).string();
    ASSERT_EQ(WriteTIFFFile(bare.c_str(), 4, 3, "x", px.data()), 0);
    EXPECT_TRUE(fs::exists(bare + ".tif"));
}

TEST_F(StrandelTest, OnlyRegularFilesAreRead)
{
    const std::string fifo = (dir / "pipe_ph.tif").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);   // opened without a writer: must not wait
    EXPECT_EQ(GetTIFFCols(fifo.c_str()), 0);
    std::vector<uint8_t> buf(12, 7);
    int32_t status = 0;
    Text t(ReadTIFFFileSized(fifo.c_str(), buf.data(), buf.size(), &status));
    EXPECT_EQ(status, STRANDEL_ERR_OPEN);
    EXPECT_EQ(GetTIFFCols(dir.string().c_str()), 0);   // a folder
}

TEST_F(StrandelTest, MissingFileGivesZeroSizesAndBlankText)
{
    const std::string path = (dir / "missing.tif").string();
    EXPECT_EQ(GetTIFFCols(path.c_str()), 0);
    EXPECT_EQ(GetTIFFRows(path.c_str()), 0);
    std::vector<uint8_t> buf(4, 9);
    int32_t status = 0;
    Text t(ReadTIFFFileSized(path.c_str(), buf.data(), buf.size(), &status));
    EXPECT_EQ(t.str(), " ");
    EXPECT_EQ(status, STRANDEL_ERR_OPEN);
    EXPECT_EQ(buf, std::vector<uint8_t>(4, 9));
    EXPECT_EQ(WriteTIFFFile((dir / "no/such/folder/x.tif").string().c_str(), 2, 2, "", buf.data()),
              STRANDEL_ERR_OPEN);
}

TEST_F(StrandelTest, SizedReadRefusesAnImageLargerThanTheBuffer)
{
    auto px = Ramp(16, 16);
    const std::string path = (dir / "big.tif").string();
    ASSERT_EQ(WriteTIFFFile(path.c_str(), 16, 16, "hdr", px.data()), 0);
    std::vector<uint8_t> small(100, 0x55);
    int32_t status = 0;
    Text t(ReadTIFFFileSized(path.c_str(), small.data(), small.size(), &status));
    EXPECT_EQ(status, STRANDEL_ERR_TOO_LARGE);
    EXPECT_EQ(t.str(), "hdr");
    EXPECT_EQ(small, std::vector<uint8_t>(100, 0x55));
    std::vector<uint8_t> fits(256);
    Text t2(ReadTIFFFileSized(path.c_str(), fits.data(), fits.size(), &status));
    EXPECT_EQ(status, STRANDEL_OK);
    EXPECT_EQ(fits, px);
}

// Files written by other tools: the same pixels as ImageMagick reads, or the
// tag text with the buffer untouched for kinds the library does not read.
TEST_F(StrandelTest, FilesFromOtherWriters)
{
    const int cols = 40, rows = 30;
    auto px = Ramp(cols, rows);
    const std::string src = (dir / "src.tif").string();
    ASSERT_EQ(WriteTIFFFile(src.c_str(), cols, rows, "keep me", px.data()), 0);

    struct Case {
        const char* name;
        std::string command;  // %s = output path
        bool readsPixels;
    };
    const std::vector<Case> cases = {
        {"bigendian", "tiffcp -B '" + src + "' '%s'", true},
        {"lzw", "tiffcp -c lzw '" + src + "' '%s'", true},
        {"packbits", "tiffcp -c packbits '" + src + "' '%s'", true},
        {"deflate", "tiffcp -c zip '" + src + "' '%s'", true},
        {"strips7", "tiffcp -r 7 -c lzw -B '" + src + "' '%s'", true},
        {"rgb", "convert '" + src + "' -type TrueColor -define tiff:preserve-compression=false '%s'", false},
        {"grey16", "convert '" + src + "' -depth 16 '%s'", false},
        {"twosamples", "convert '" + src + "' -alpha set -type GrayscaleAlpha '%s'", false},
    };
    for (const auto& c : cases) {
        const std::string out = (dir / (std::string(c.name) + ".tif")).string();
        std::string cmd = c.command;
        cmd.replace(cmd.find("%s"), 2, out);
        Shell(cmd);
        ASSERT_TRUE(fs::exists(out)) << c.name << ": " << cmd;
        ASSERT_EQ(GetTIFFCols(out.c_str()), cols) << c.name;
        ASSERT_EQ(GetTIFFRows(out.c_str()), rows) << c.name;
        std::vector<uint8_t> back(px.size(), 0xEE);
        int32_t status = 0;
        Text t(ReadTIFFFileSized(out.c_str(), back.data(), back.size(), &status));
        if (c.readsPixels) {
            EXPECT_EQ(status, STRANDEL_OK) << c.name;
            // ImageMagick's reading of the same file, as raw grey bytes.
            const std::string raw = (dir / (std::string(c.name) + ".gray")).string();
            Shell("convert '" + out + "' -depth 8 'gray:" + raw + "'");
            std::ifstream f(raw, std::ios::binary);
            std::vector<uint8_t> magick((std::istreambuf_iterator<char>(f)), {});
            EXPECT_EQ(back, magick) << c.name;
            EXPECT_EQ(back, px) << c.name;
        } else {
            EXPECT_NE(status, STRANDEL_OK) << c.name;
            EXPECT_EQ(back, std::vector<uint8_t>(px.size(), 0xEE)) << c.name;
        }
    }
}

TEST_F(StrandelTest, NarrowDepthsAreWidenedWithoutOverRead)
{
    // A 1-bit and a 4-bit image: one byte a pixel out, never more than the rows hold.
    const std::string src = (dir / "bits.pgm").string();
    {
        std::ofstream f(src, std::ios::binary);
        f << "P5\n13 5\n255\n";
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 13; ++x) f.put(char(((x + y) % 2) ? 255 : 0));
    }
    for (int depth : {1, 4}) {
        const std::string out = (dir / ("d" + std::to_string(depth) + ".tif")).string();
        Shell("convert '" + src + "' -depth " + std::to_string(depth) + " -compress none '" + out + "'");
        ASSERT_EQ(GetTIFFCols(out.c_str()), 13);
        std::vector<uint8_t> back(13 * 5 + 8, 0xCC);
        int32_t status = -1;
        Text t(ReadTIFFFileSized(out.c_str(), back.data(), 13 * 5, &status));
        ASSERT_EQ(status, STRANDEL_OK) << depth;
        const uint8_t high = depth == 1 ? 1 : 15;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 13; ++x) {
                const uint8_t v = back[size_t(y) * 13 + x];
                const bool white = (x + y) % 2;
                // Photometric may be either; the raw sample is copied.
                EXPECT_TRUE(v == 0 || v == high) << depth << " " << x << "," << y;
                EXPECT_EQ(v == back[0], ((x + y) % 2) == 0) << depth;
                (void)white;
            }
        for (size_t i = 13 * 5; i < back.size(); ++i) EXPECT_EQ(back[i], 0xCC);
    }
}

// One entry of the first directory of a little-endian TIFF, and rewriting it.
struct Entry {
    std::streamoff at = 0;  // file offset of the entry
    uint32_t type = 0, count = 0, value = 0;
};

class TiffPatch {
public:
    explicit TiffPatch(const std::string& path) : f_(path, std::ios::in | std::ios::out | std::ios::binary) {}
    uint32_t get(std::streamoff at, int n)
    {
        uint32_t v = 0;
        f_.seekg(at);
        for (int i = 0; i < n; ++i) v |= uint32_t(uint8_t(f_.get())) << (8 * i);
        return v;
    }
    void put(std::streamoff at, int n, uint32_t v)
    {
        f_.seekp(at);
        for (int i = 0; i < n; ++i) f_.put(char(v >> (8 * i)));
    }
    Entry find(uint16_t tag)
    {
        const uint32_t ifd = get(4, 4);
        const uint32_t n = get(ifd, 2);
        for (uint32_t i = 0; i < n; ++i) {
            const std::streamoff e = ifd + 2 + 12 * std::streamoff(i);
            if (get(e, 2) == tag) return {e, get(e + 2, 2), get(e + 4, 4), get(e + 8, 4)};
        }
        ADD_FAILURE() << "no tag " << tag;
        return {};
    }
    void set(uint16_t tag, uint16_t type, uint32_t count, uint32_t value)
    {
        const Entry e = find(tag);
        put(e.at + 2, 2, type);
        put(e.at + 4, 4, count);
        put(e.at + 8, 4, value);
    }

private:
    std::fstream f_;
};

// Strips that do not lie inside the file: the file counts as one that cannot
// be opened, before its declared size is used, and none of it is read.
TEST_F(StrandelTest, StripsOutsideTheFileAreRefusedAsUnopenable)
{
    struct Case {
        const char* name;
        uint16_t rows;
        uint16_t tag, type;
        uint32_t count, value;  // value 0xFFFFFFFF: the file's size minus 10
    };
    const Case cases[] = {
        {"offsets count 0", 20, 273, 4, 0, 8},
        {"short offsets, wrong count", 20, 273, 3, 1, 300},
        {"one strip past the end", 8, 273, 4, 1, 0xFFFFFFFFu},
        {"rows beyond the data", 8, 257, 3, 1, 30000},
    };
    for (const Case& c : cases) {
        const std::string path = (dir / "bad.tif").string();
        auto px = Ramp(16, c.rows);
        ASSERT_EQ(WriteTIFFFile(path.c_str(), 16, c.rows, "hdr", px.data()), 0);
        const uint32_t value = c.value == 0xFFFFFFFFu ? uint32_t(fs::file_size(path) - 10) : c.value;
        TiffPatch(path).set(c.tag, c.type, c.count, value);
        EXPECT_EQ(GetTIFFCols(path.c_str()), 0) << c.name;
        EXPECT_EQ(GetTIFFRows(path.c_str()), 0) << c.name;
        std::vector<uint8_t> buf(16 * 30000, 0xEE);  // room for every declared size
        int32_t status = 0;
        Text t(ReadTIFFFileSized(path.c_str(), buf.data(), buf.size(), &status));
        EXPECT_EQ(status, STRANDEL_ERR_OPEN) << c.name;
        EXPECT_EQ(t.str(), " ") << c.name;
        EXPECT_EQ(buf, std::vector<uint8_t>(buf.size(), 0xEE)) << c.name;
    }
    // A file of under a kilobyte that declares 30000 x 30000 pixels in one strip.
    const std::string huge = (dir / "huge.tif").string();
    auto px = Ramp(16, 8);
    ASSERT_EQ(WriteTIFFFile(huge.c_str(), 16, 8, "hdr", px.data()), 0);
    {
        TiffPatch p(huge);
        p.set(256, 3, 1, 30000);
        p.set(257, 3, 1, 30000);
        p.set(278, 3, 1, 30000);
    }
    ASSERT_LT(fs::file_size(huge), 1024u);
    EXPECT_EQ(GetTIFFCols(huge.c_str()), 0);
    EXPECT_EQ(GetTIFFRows(huge.c_str()), 0);
}

// A row that cannot be decoded ends the read: the rows before it are filled,
// no row after it is read.
TEST_F(StrandelTest, ReadStopsAtTheFirstFailedRow)
{
    const std::string path = (dir / "short.tif").string();
    auto px = Ramp(16, 20);  // strips of 8 rows
    ASSERT_EQ(WriteTIFFFile(path.c_str(), 16, 20, "hdr", px.data()), 0);
    {
        // The first strip's byte count covers two of its eight rows.
        TiffPatch p(path);
        const Entry counts = p.find(279);
        ASSERT_EQ(counts.count, 3u);
        p.put(counts.value, counts.type == 3 ? 2 : 4, 32);
    }
    std::vector<uint8_t> buf(px.size(), 0xEE);
    int32_t status = 0;
    Text t(ReadTIFFFileSized(path.c_str(), buf.data(), buf.size(), &status));
    EXPECT_EQ(status, STRANDEL_ERR_READ);
    EXPECT_TRUE(std::equal(px.begin(), px.begin() + 32, buf.begin()));
    EXPECT_EQ(std::vector<uint8_t>(buf.begin() + 8 * 16, buf.end()), std::vector<uint8_t>(buf.size() - 8 * 16, 0xEE));
}

// ---------------------------------------------------------------- every compression

namespace {

namespace tf = tifffixtures;

constexpr int64_t kPeakBound = 50 << 20;

// A read through the row interface: the rows given before the read ended.
struct RowRead {
    int32_t status = 0;
    std::string text;
    uint32_t width = 0, length = 0;
    bool sized = false;
    bool inOrder = true;   // rows came top first, one after another
    std::vector<uint8_t> pixels;
};

RowRead ReadRows(const std::string& path)
{
    RowRead r;
    StrandelRowReader reader{};
    reader.context = &r;
    reader.size = [](void* c, uint32_t w, uint32_t h) {
        auto* self = static_cast<RowRead*>(c);
        self->sized = true;
        self->width = w;
        self->length = h;
        return 1;
    };
    reader.row = [](void* c, uint32_t y, const uint8_t* px) {
        auto* self = static_cast<RowRead*>(c);
        self->inOrder = self->inOrder && size_t(y) * self->width == self->pixels.size();
        self->pixels.insert(self->pixels.end(), px, px + self->width);
        return 1;
    };
    Text t(ReadTIFFRows(path.c_str(), &reader, &r.status));
    r.text = t.str();
    return r;
}

// What a reader must give for the pixels of `path`: the pixels themselves, or
// for JPEG what libtiff decodes of the intact file.
std::vector<uint8_t> Expected(const tf::Compression& c, const std::vector<uint8_t>& pixels, const std::string& intact)
{
    return c.lossy ? tf::DecodeWithLibtiff(intact) : pixels;
}

bool IsPrefix(const std::vector<uint8_t>& part, const std::vector<uint8_t>& whole)
{
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

} // namespace

// Each compression the library reads, in strips of 16 rows, and its most
// compressed image (one strip of zeros, as dense as the codec packs it): both
// read exactly, so no bound on what a strip may hold refuses real data.
TEST_F(StrandelTest, EveryCompressionIsReadExactlyItsDensestImageToo)
{
    for (const tf::Compression& c : tf::Compressions()) {
        const int w = 97, h = 64;
        const auto px = tf::Pattern(w, h, c.bits);
        const std::string path = (dir / (std::string(c.name) + ".tif")).string();
        tf::Write(path, tf::ValidTiff(c, w, h, px, 16, "text of " + std::string(c.name)));
        const RowRead r = ReadRows(path);
        EXPECT_EQ(r.status, STRANDEL_OK) << c.name;
        EXPECT_TRUE(r.inOrder) << c.name;
        EXPECT_EQ(r.text, "text of " + std::string(c.name)) << c.name;
        EXPECT_EQ(r.pixels, Expected(c, px, path)) << c.name;
        if (!c.lossy) {
            std::vector<uint8_t> buf(px.size(), 0xEE);
            int32_t status = -1;
            Text t(ReadTIFFFileSized(path.c_str(), buf.data(), buf.size(), &status));
            EXPECT_EQ(status, STRANDEL_OK) << c.name;
            EXPECT_EQ(buf, px) << c.name;
        }

        const int side = 2048;
        const std::vector<uint8_t> zeros(size_t(side) * side, 0);
        const std::string dense = (dir / (std::string(c.name) + "_zeros.tif")).string();
        tf::Write(dense, tf::ValidTiff(c, side, side, zeros, side));
        const RowRead z = ReadRows(dense);
        EXPECT_EQ(z.status, STRANDEL_OK) << c.name << " densest";
        EXPECT_EQ(z.pixels, Expected(c, zeros, dense)) << c.name << " densest";
    }
}

// A file of under a kilobyte that declares 30000 x 30000 pixels in one strip,
// for every compression: refused as a file that cannot be opened before any
// row is decoded or any buffer sized, and in a few megabytes.
TEST_F(StrandelTest, DeclaredSizesTheStripCannotFillAreRefusedAtOnce)
{
    for (const tf::Compression& c : tf::Compressions()) {
        const std::string path = (dir / (std::string(c.name) + "_huge.tif")).string();
        const auto bytes = tf::HugeDeclaredTiff(c);
        if (c.code == COMPRESSION_PACKBITS) {
            EXPECT_EQ(bytes.size(), 948u);
        }
        EXPECT_LT(bytes.size(), 1024u) << c.name;
        tf::Write(path, bytes);
        EXPECT_EQ(GetTIFFCols(path.c_str()), 0) << c.name;
        EXPECT_EQ(GetTIFFRows(path.c_str()), 0) << c.name;
        RowRead r;
        const int64_t peak = testsupport::PeakBytes([&] {
            r = ReadRows(path);
            return r.status == STRANDEL_ERR_OPEN && r.pixels.empty();
        });
        EXPECT_GE(peak, 0) << c.name << ": refused as a file that cannot be opened, no row given";
        EXPECT_LT(peak, kPeakBound) << c.name;
        r = ReadRows(path);
        EXPECT_EQ(r.status, STRANDEL_ERR_OPEN) << c.name;
        EXPECT_TRUE(r.pixels.empty()) << c.name;
    }
}

// Strips that end early, for every compression and at several points: the
// read is refused (as unopenable, or with the failed row), or, where the
// bytes cut were not needed, read exactly; the rows given before a failure are
// the image's own. A CCITT or JPEG strip that runs out is reported by libtiff
// only as a warning; that is a failed row too.
TEST_F(StrandelTest, AStripThatEndsEarlyIsAFailedRow)
{
    for (const tf::Compression& c : tf::Compressions()) {
        const int w = 97, h = 64;
        const auto px = tf::Pattern(w, h, c.bits);
        const auto valid = tf::ValidTiff(c, w, h, px, h);
        const std::string intact = (dir / (std::string(c.name) + "_intact.tif")).string();
        tf::Write(intact, valid);
        const auto expected = Expected(c, px, intact);
        const size_t at = tf::FirstByteCountOffset(valid);
        const uint32_t count = uint32_t(valid[at]) | uint32_t(valid[at + 1]) << 8 | uint32_t(valid[at + 2]) << 16 |
                               uint32_t(valid[at + 3]) << 24;
        for (const double part : {0.25, 0.5, 0.75, -1.0}) {
            const uint32_t kept = part < 0 ? count - 1 : uint32_t(count * part);
            auto cut = valid;
            for (int k = 0; k < 4; ++k) cut[at + k] = uint8_t(kept >> (8 * k));
            cut.resize(cut.size() - (count - kept));   // the file ends where the strip now does
            const std::string path = (dir / "cut.tif").string();
            tf::Write(path, cut);
            const RowRead r = ReadRows(path);
            const std::string what = std::string(c.name) + " cut to " + std::to_string(kept) + " of " +
                                     std::to_string(count) + " bytes";
            if (part > 0) {
                EXPECT_NE(r.status, STRANDEL_OK) << what;
            }
            if (r.status == STRANDEL_OK) {
                EXPECT_EQ(r.pixels, expected) << what;
            } else {
                EXPECT_TRUE(r.status == STRANDEL_ERR_READ || r.status == STRANDEL_ERR_OPEN) << what << ": " << r.status;
                EXPECT_LT(r.pixels.size(), expected.size()) << what;
                EXPECT_TRUE(IsPrefix(r.pixels, expected)) << what;
            }
        }
    }
}

// A valid image with a gigabyte after it (a sparse file): read exactly, and
// only its strips are read.
TEST_F(StrandelTest, AnImagePaddedToAGigabyteReadsOnlyItsStrips)
{
    for (const tf::Compression& c : tf::Compressions()) {
        const int w = 97, h = 64;
        const auto px = tf::Pattern(w, h, c.bits);
        const std::string intact = (dir / "intact.tif").string();
        tf::Write(intact, tf::ValidTiff(c, w, h, px, 16));
        const std::string path = (dir / "padded.tif").string();
        testsupport::MakeSparseFile(path, testsupport::ReadBytes(intact), int64_t(1) << 30);
        const auto expected = Expected(c, px, intact);
        const int64_t peak = testsupport::PeakBytes([&] {
            const RowRead r = ReadRows(path);
            return r.status == STRANDEL_OK && r.inOrder && r.pixels == expected;
        });
        EXPECT_GE(peak, 0) << c.name << ": read exactly";
        EXPECT_LT(peak, kPeakBound) << c.name;
    }
}

// LZW of the earliest writers (codes low bit first) comes with libtiff's
// notice "Old-style LZW codes": the data is whole, and read as it is.
TEST_F(StrandelTest, OldStyleLzwIsReadAsItIs)
{
    const int w = 16, h = 12;
    const auto px = tf::Pattern(w, h, 8);
    tf::Layout l;
    l.width = w;
    l.length = h;
    l.compression = COMPRESSION_LZW;
    l.strips.push_back(tf::OldStyleLzwStrip(px));
    l.text = "old";
    const std::string path = (dir / "old_lzw.tif").string();
    tf::Write(path, tf::BuildTiff(l));
    const RowRead r = ReadRows(path);
    EXPECT_EQ(r.status, STRANDEL_OK);
    EXPECT_EQ(r.pixels, px);
}

// Compressions whose data the library cannot bound or does not read are
// refused as files that cannot be opened, whatever libtiff could make of them.
TEST_F(StrandelTest, OtherCompressionsAreRefused)
{
    const uint16_t others[] = {COMPRESSION_OJPEG, COMPRESSION_CCITTRLEW, COMPRESSION_NEXT, COMPRESSION_THUNDERSCAN,
                               COMPRESSION_PIXARLOG, COMPRESSION_JBIG, COMPRESSION_LZMA, COMPRESSION_ZSTD,
                               COMPRESSION_WEBP, COMPRESSION_LERC, 12345};
    for (const uint16_t code : others) {
        tf::Layout l;
        l.width = 16;
        l.length = 4;
        l.compression = code;
        l.strips.push_back(std::vector<uint8_t>(64, 0));
        const std::string path = (dir / "other.tif").string();
        tf::Write(path, tf::BuildTiff(l));
        EXPECT_EQ(GetTIFFCols(path.c_str()), 0) << code;
        EXPECT_EQ(ReadRows(path).status, STRANDEL_ERR_OPEN) << code;
    }
}

// A path that turns into a pipe between any look at it and the open never
// holds a read: every read ends, refused or read, while another thread keeps
// swapping the path between an image and a pipe. (A read that hangs ends the
// test through the guard.)
TEST_F(StrandelTest, APathSwappedForAPipeNeverHoldsTheRead)
{
    testsupport::HangGuard guard(300);
    auto px = Ramp(8, 8);
    const std::string image = (dir / "image.tif").string(), path = (dir / "swap.tif").string();
    ASSERT_EQ(WriteTIFFFile(image.c_str(), 8, 8, "x", px.data()), 0);
    std::atomic<bool> stop{false};
    std::atomic<int> swaps{0};
    std::thread swapper([&] {
        const std::string fifo = (dir / "fifo.tmp").string(), copy = (dir / "copy.tmp").string();
        for (int i = 0; !stop; ++i) {
            if (i % 2) {
                ::mkfifo(fifo.c_str(), 0600);
                std::rename(fifo.c_str(), path.c_str());
            } else {
                ::link(image.c_str(), copy.c_str());
                std::rename(copy.c_str(), path.c_str());
            }
            ++swaps;
        }
    });
    while (swaps < 2) std::this_thread::yield();   // the path exists and changes from here on
    int read = 0, refused = 0;
    for (int i = 0; i < 1000000 && (read < 500 || refused < 500); ++i) {
        std::vector<uint8_t> buf(px.size());
        int32_t status = -1;
        Text t(ReadTIFFFileSized(path.c_str(), buf.data(), buf.size(), &status));
        if (status == STRANDEL_OK) {
            EXPECT_EQ(buf, px);
            ++read;
        } else {
            EXPECT_EQ(status, STRANDEL_ERR_OPEN);
            ++refused;
        }
    }
    stop = true;
    swapper.join();
    EXPECT_GT(read, 0);
    EXPECT_GT(refused, 0);
}

TEST(StrandelMisc, TestFunAndRawImage)
{
    Text t(TestFun());
    EXPECT_EQ(t.str(), "test is passed");
    const std::string path = (fs::temp_directory_path() / "strandel_raw.bin").string();
    {
        std::ofstream f(path, std::ios::binary);
        for (int i = 0; i < 12; ++i) f.put(char(i));
    }
    std::vector<uint8_t> buf(12, 0);
    ReadRawImage(path.c_str(), 4, 3, buf.data());
    for (int i = 0; i < 12; ++i) EXPECT_EQ(buf[i], i);
    std::vector<uint8_t> untouched(4, 5);
    ReadRawImage("/nonexistent/raw.bin", 2, 2, untouched.data());
    EXPECT_EQ(untouched, std::vector<uint8_t>(4, 5));
    fs::remove(path);
}

} // namespace

namespace {

// What the library writes to one of the standard streams (1 or 2) while
// `body` runs.
std::string Captured(int stream, const std::function<void()>& body, const fs::path& scratch)
{
    std::fflush(nullptr);
    const std::string file = (scratch / ("stream" + std::to_string(stream))).string();
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int saved = ::dup(stream);
    ::dup2(fd, stream);
    body();
    std::fflush(nullptr);
    ::dup2(saved, stream);
    ::close(saved);
    ::close(fd);
    return testsupport::ReadText(file);
}

} // namespace

// Warnings and errors go to standard error: a command-line caller's results
// on standard output stay its own.
TEST_F(StrandelTest, DiagnosticsGoToStandardErrorNeverStandardOutput)
{
    tifffixtures::Layout l;
    l.width = 4;
    l.length = 2;
    l.strips = {std::vector<uint8_t>(8, 3)};
    std::vector<uint8_t> noSpp = tifffixtures::BuildTiff(l);
    // Tag 277 (SamplesPerPixel) becomes 276, a tag no reader knows.
    const size_t ifd = size_t(noSpp[4]) | size_t(noSpp[5]) << 8;
    bool patched = false;
    for (size_t i = 0, n = size_t(noSpp[ifd]) | size_t(noSpp[ifd + 1]) << 8; i < n; ++i) {
        const size_t e = ifd + 2 + 12 * i;
        if (noSpp[e] == 277 % 256 && noSpp[e + 1] == 277 / 256) noSpp[e] = 276 % 256, patched = true;
    }
    ASSERT_TRUE(patched);
    const std::string path = (dir / "nospp_msk.tif").string();
    tifffixtures::Write(path, noSpp);
    std::vector<uint8_t> px(8, 0);
    const std::string missing = (dir / "no/such/folder/x.tif").string();
    auto diagnose = [&] {
        int32_t status = -1;
        Text t(ReadTIFFFileSized(path.c_str(), px.data(), px.size(), &status));
        EXPECT_EQ(status, STRANDEL_OK);
        EXPECT_EQ(WriteTIFFFile(missing.c_str(), 2, 2, "", px.data()), STRANDEL_ERR_OPEN);
        ReadRawImage(missing.c_str(), 2, 2, px.data());
    };
    EXPECT_EQ(Captured(1, diagnose, dir), "");
    const std::string err = Captured(2, diagnose, dir);
    for (const char* line : {"Warning SamplesPerPixel tag missing\n", "Error opening output file: ",
                             "Can not open the image file!\n"})
        EXPECT_NE(err.find(line), std::string::npos) << line << " in " << err;
}
