// File probe: the format tests on crafted data (one table), the TIFF walk's
// bounds, the windowed marker scan, open errors, and files made by
// ImageMagick, cjpeg, tiffcp and our own phase-image generator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "testsupport/testsupport.h"
#include "thumbctl/control/constants.h"
#include "thumbctl/control/source/probe.h"
#include "thumbctl/control/source/tests/tiffbuild.h"

namespace {

using thumbctl::CImageFileProbe;
using Bytes = std::vector<uint8_t>;

Bytes Text(const char* s, size_t pad = 0)
{
    Bytes b(s, s + std::strlen(s));
    b.resize(b.size() + pad, 0);
    return b;
}

Bytes Bmp(uint32_t sizeField, size_t length)
{
    Bytes b(length, 0);
    b[0] = 'B';
    b[1] = 'M';
    for (int i = 0; i < 4; ++i) b[2 + size_t(i)] = uint8_t(sizeField >> (8 * i));
    return b;
}

Bytes Pcx(uint8_t paletteKind)
{
    Bytes b(128, 0);
    b[0] = 10;
    b[1] = 5;
    b[2] = 1;
    b[3] = 8;
    b[68] = paletteKind;
    return b;
}

tiffbuild::Entry FloatEntry(const tiffbuild::Writer& w) { return {282, 11, 1, w.longs({0x42C80000})}; }

Bytes Tiff(bool little, std::vector<tiffbuild::Page> pages) { return tiffbuild::MultiPage(pages, little); }

Bytes TiffWithSecondPageLzw(bool little)
{
    tiffbuild::Writer w(little);
    Bytes f = Tiff(little, {{}, {}});
    // Compression (259) of the second directory: its value field to 5.
    const uint32_t dir2 = [&] {
        Bytes f2 = f;
        // Walk: first directory offset, its count, then the link.
        auto u32 = [&](size_t at) {
            return little ? uint32_t(f2[at]) | f2[at + 1] << 8 | f2[at + 2] << 16 | uint32_t(f2[at + 3]) << 24
                          : uint32_t(f2[at]) << 24 | f2[at + 1] << 16 | f2[at + 2] << 8 | uint32_t(f2[at + 3]);
        };
        auto u16 = [&](size_t at) { return little ? f2[at] | f2[at + 1] << 8 : f2[at] << 8 | f2[at + 1]; };
        const uint32_t d1 = u32(4);
        return u32(d1 + 2 + 12 * u16(d1));
    }();
    for (size_t e = dir2 + 2;; e += 12) {
        const uint32_t tag = little ? f[e] | f[e + 1] << 8 : f[e] << 8 | f[e + 1];
        if (tag == 259) {
            f[e + 8] = little ? 5 : 0;
            f[e + 9] = little ? 0 : 5;
            break;
        }
    }
    return f;
}

struct Case {
    const char* name;
    Bytes data;
    int type;   // expected ProbeType, -1 when none
    int error;  // expected error
};

std::vector<Case> Cases()
{
    tiffbuild::Writer le(true), be(false);
    tiffbuild::Page floatLe, floatBe, badType0, badType13;
    floatLe.extra = {FloatEntry(le)};
    floatBe.extra = {FloatEntry(be)};
    badType0.extra = {{300, 0, 1, le.longs({0})}};
    badType13.extra = {{300, 13, 1, le.longs({0})}};

    Bytes jpegAfterJunk = {1, 2, 3, 0xFF, 0xD8, 0xFF, 0xE1, 0, 4, 0, 0, 0xFF, 0xC0, 0, 11};
    Bytes frameBeforeStart = {1, 2, 0xFF, 0xC0, 0, 0, 0xFF, 0xD8, 0xFF, 0xC0};
    Bytes farFrame(3000, 0x20);  // start at 1500, frame marker at 2600: found through windows
    farFrame[1500] = 0xFF;
    farFrame[1501] = 0xD8;
    farFrame[2600] = 0xFF;
    farFrame[2601] = 0xC2;
    Bytes twoStarts = {0, 0xFF, 0xD8, 0, 0xFF, 0xD8, 0xFF, 0xC0};

    Bytes tiffFarDir = Text("II*\0", 0);
    tiffFarDir = {'I', 'I', 42, 0, 0xF0, 0, 0, 0, 0, 0, 0, 0};  // first directory past the end
    Bytes looping = Tiff(true, {{}});
    {
        // The first directory's link points back at itself.
        const uint32_t d = looping[4] | looping[5] << 8 | looping[6] << 16 | uint32_t(looping[7]) << 24;
        const uint32_t n = looping[d] | looping[d + 1] << 8;
        le.put32(looping, d + 2 + 12 * n, d);
    }
    Bytes danglingLink = Tiff(false, {{}});
    {
        const uint32_t d = uint32_t(danglingLink[4]) << 24 | danglingLink[5] << 16 | danglingLink[6] << 8 | danglingLink[7];
        const uint32_t n = danglingLink[d] << 8 | danglingLink[d + 1];
        be.put32(danglingLink, d + 2 + 12 * n, uint32_t(danglingLink.size() + 100));
    }

    using P = CImageFileProbe;
    return {
        {"bmp", Bmp(40, 40), P::probeBmp, 0},
        {"bmp size field larger than the file", Bmp(41, 40), -1, thumbctl::trkErrInvalidFileFormat},
        {"tiff little-endian with a FLOAT entry", Tiff(true, {floatLe}), P::probeTiff, 0},
        {"tiff big-endian with a FLOAT entry", Tiff(false, {floatBe}), P::probeTiff, 0},
        {"tiff, second page LZW", TiffWithSecondPageLzw(true), -1, thumbctl::trkErrNotSupportFileFormat},
        {"tiff big-endian, second page LZW", TiffWithSecondPageLzw(false), -1, thumbctl::trkErrNotSupportFileFormat},
        {"tiff entry of field type 0", Tiff(true, {badType0}), -1, thumbctl::trkErrInvalidFileFormat},
        {"tiff entry of field type 13", Tiff(true, {badType13}), -1, thumbctl::trkErrInvalidFileFormat},
        {"tiff first directory past the end", tiffFarDir, -1, thumbctl::trkErrInvalidFileFormat},
        {"tiff directory chain that loops", looping, P::probeTiff, 0},
        {"tiff link past the end", danglingLink, P::probeTiff, thumbctl::trkErrInvalidFileFormat},
        {"gif87a", Text("GIF87a", 20), -1, thumbctl::trkErrNotSupportFileFormat},
        {"gif89a", Text("GIF89a", 20), -1, thumbctl::trkErrNotSupportFileFormat},
        {"gif of another version", Text("GIF88a", 20), -1, thumbctl::trkErrInvalidFileFormat},
        {"png", Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0}, P::probePng, 0},
        {"jfif", Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F', 'I', 'F', 0}, P::probeJpeg, 0},
        {"jpeg start", Bytes{0xFF, 0xD8, 0xFF}, P::probeJpeg, 0},
        {"jpeg after junk bytes", jpegAfterJunk, P::probeJpeg, 0},
        {"frame marker before any start", frameBeforeStart, -1, thumbctl::trkErrInvalidFileFormat},
        {"frame marker beyond the first kilobyte", farFrame, P::probeJpeg, 0},
        {"second start marker ends the scan", twoStarts, -1, thumbctl::trkErrInvalidFileFormat},
        {"pcx", Pcx(1), P::probePcx, 0},
        {"pcx with palette kind 0", Pcx(0), -1, thumbctl::trkErrInvalidFileFormat},
        {"text", Text("hello, world"), -1, thumbctl::trkErrInvalidFileFormat},
        {"empty", Bytes{}, -1, thumbctl::trkErrInvalidFileFormat},
    };
}

TEST(ImageFileProbe, TellsFormatsByContent)
{
    for (const Case& c : Cases()) {
        CImageFileProbe probe;
        const bool ok = probe.ProbeMemory(c.data.empty() ? static_cast<const void*>("") : c.data.data(), int64_t(c.data.size()));
        EXPECT_EQ(ok, c.error == 0) << c.name;
        EXPECT_EQ(probe.Error(), c.error) << c.name;
        if (c.type != -1) {
            EXPECT_EQ(probe.ProbeType(), c.type) << c.name;
            EXPECT_EQ(probe.Recognised(), 1) << c.name;
        } else {
            EXPECT_EQ(probe.ProbeType(), -1) << c.name;
        }
    }
}

TEST(ImageFileProbe, NoDataIsASystemError)
{
    CImageFileProbe probe;
    EXPECT_FALSE(probe.ProbeMemory(nullptr, 10));
    EXPECT_EQ(probe.Error(), thumbctl::trkErrSystemError);
}

TEST(ImageFileProbe, AccessorsStopAtTheEnd)
{
    const Bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 7, 9};
    CImageFileProbe probe;
    ASSERT_TRUE(probe.ProbeMemory(b.data(), int64_t(b.size())));
    EXPECT_EQ(probe.Be16(0), 0x8950u);
    EXPECT_EQ(probe.Le16(8), 0x0907u);
    EXPECT_EQ(probe.Error(), 0);
    EXPECT_EQ(probe.Le32(7), 0u);  // its last byte would lie past the end
    EXPECT_EQ(probe.Error(), thumbctl::trkErrInvalidFileFormat);
}

TEST(ImageFileProbe, OpenFailures)
{
    testsupport::TempDir dir("probe-open");
    CImageFileProbe probe;
    EXPECT_FALSE(probe.ProbeFile(dir.file("missing.tif")));
    EXPECT_EQ(probe.Error(), thumbctl::trkErrFileNotFound);
    EXPECT_FALSE(probe.ProbeFile(dir.file("no-folder/missing.tif")));
    EXPECT_EQ(probe.Error(), thumbctl::trkErrPathNotFound);
    EXPECT_FALSE(probe.ProbeFile(dir.path().string()));
    EXPECT_EQ(probe.Error(), thumbctl::trkErrFileIOError);
    // A pipe without a writer and a device are refused at once, not waited on or read.
    testsupport::HangGuard guard;
    testsupport::MakeFifo(dir.file("pipe.bmp"));
    for (const std::string& special : {dir.file("pipe.bmp"), std::string("/dev/zero")}) {
        EXPECT_FALSE(probe.ProbeFile(special)) << special;
        EXPECT_EQ(probe.Error(), thumbctl::trkErrFileIOError) << special;
    }
}

// Huge files are probed from their first bytes: a BMP padded to gigabytes is
// a BMP, eight gigabytes of zeros end the marker scan after its first
// megabytes, and a JPEG start further in than that is not looked for.
TEST(ImageFileProbe, HugeFilesAreReadOnlyAsFarAsTheTestsNeed)
{
    testsupport::TempDir dir("probe-huge");
    testsupport::HangGuard guard;
    CImageFileProbe probe;
    testsupport::MakeSparseFile(dir.file("padded.bmp"), Bmp(2000, 2000), int64_t(1) << 30);
    EXPECT_TRUE(probe.ProbeFile(dir.file("padded.bmp")));
    EXPECT_EQ(probe.ProbeType(), CImageFileProbe::probeBmp);
    testsupport::MakeSparseFile(dir.file("zeros"), Bytes(16, 0), int64_t(8) << 30);
    EXPECT_FALSE(probe.ProbeFile(dir.file("zeros")));
    EXPECT_EQ(probe.Error(), thumbctl::trkErrInvalidFileFormat);
    const size_t junk = size_t(5) << 20;
    Bytes late(junk + 64, 0);
    const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xC0, 0, 17};
    std::copy(jpeg, jpeg + sizeof jpeg, late.begin() + long(junk));
    testsupport::WriteBytes(dir.file("late.jpg"), late);
    EXPECT_FALSE(probe.ProbeFile(dir.file("late.jpg")));
    EXPECT_EQ(probe.Error(), thumbctl::trkErrInvalidFileFormat);
}

namespace {

// A source that counts the bytes read through it.
class CountingBytes : public thumbctl::ByteSource {
public:
    explicit CountingBytes(thumbctl::ByteSource& inner) : inner_(inner) {}
    int64_t size() const override { return inner_.size(); }
    bool read(int64_t offset, void* buffer, int64_t n) override
    {
        total += n;
        return inner_.read(offset, buffer, n);
    }
    int64_t total = 0;

private:
    thumbctl::ByteSource& inner_;
};

// A little-endian TIFF of `dirs` directories of `entries` entries each that
// overlap: directory k starts 12 bytes after directory k - 1 and walks the
// same entries again. Every entry has a valid field type, and each
// directory's link (inside the entries of the later ones) points to the
// next, so that walking them all reads dirs x entries x 12 bytes.
Bytes OverlappingDirectories(int dirs, int entries)
{
    const uint32_t base = 1 << 16;  // links then have a valid field type as their high half
    tiffbuild::Writer le(true);
    Bytes f(base, 0);
    f[0] = 'I';
    f[1] = 'I';
    f[2] = 42;
    le.put32(f, 4, base);
    for (int j = 0; j < dirs + entries; ++j) {
        Bytes slot;
        le.u16(slot, uint32_t(entries));              // a directory's entry count
        if (j < entries) {
            le.u16(slot, 300);                        // tag
            le.u16(slot, 3);                          // SHORT
        } else {
            const int k = j - entries;                // the link of directory k
            le.u32(slot, k + 1 < dirs ? base + 12 * uint32_t(k + 1) : 0);
        }
        le.u32(slot, 1);                              // count
        le.u16(slot, 0);                              // value
        f.insert(f.end(), slot.begin(), slot.end());
    }
    return f;
}

} // namespace

// The directory walk reads no more entries in all than the data holds:
// directories that overlap to be walked again and again end it, and a
// well-formed file of many pages is walked whole.
TEST(ImageFileProbe, TheTiffWalkReadsNoMoreThanTheDataHolds)
{
    struct Case {
        const char* name;
        Bytes data;
        int type;
        int error;
    } cases[] = {
        {"overlapping directories", OverlappingDirectories(20000, 4000), CImageFileProbe::probeTiff, 0},
        {"many pages", tiffbuild::MultiPage(std::vector<tiffbuild::Page>(2000), true), CImageFileProbe::probeTiff, 0},
    };
    for (const Case& c : cases) {
        thumbctl::MemoryBytes memory(c.data.data(), int64_t(c.data.size()));
        CountingBytes source(memory);
        CImageFileProbe probe;
        probe.Probe(source);
        EXPECT_EQ(probe.ProbeType(), c.type) << c.name;
        EXPECT_EQ(probe.Error(), c.error) << c.name;
        EXPECT_LE(source.total, 2 * int64_t(c.data.size())) << c.name;
    }
}

TEST(ImageFileProbe, FilesFromReferenceToolsAndOurGenerator)
{
    testsupport::TempDir dir("probe-tools");
    const std::string d = dir.path().string() + "/";
    struct Job {
        const char* file;
        std::string command;
        int type;
        int error;
    };
    using P = CImageFileProbe;
    const std::vector<Job> jobs = {
        {"grey.tif", "convert -size 12x7 gradient:black-white -depth 8 -type grayscale -compress none " + d + "grey.tif", P::probeTiff, 0},
        {"rgb.tif", "convert -size 12x7 gradient:red-blue -depth 8 -compress none " + d + "rgb.tif", P::probeTiff, 0},
        {"be.tif", "tiffcp -B " + d + "grey.tif " + d + "be.tif", P::probeTiff, 0},
        {"pages.tif", "tiffcp " + d + "grey.tif " + d + "rgb.tif " + d + "pages.tif", P::probeTiff, 0},
        {"packbits.tif", "tiffcp -c packbits " + d + "grey.tif " + d + "packbits.tif", P::probeTiff, 0},
        {"lzw.tif", "tiffcp -c lzw " + d + "grey.tif " + d + "lzw.tif", -1, thumbctl::trkErrNotSupportFileFormat},
        {"lzw2.tif", "tiffcp " + d + "grey.tif " + d + "lzw.tif " + d + "lzw2.tif", -1, thumbctl::trkErrNotSupportFileFormat},
        {"pic.gif", "convert -size 9x5 gradient:red-blue " + d + "pic.gif", -1, thumbctl::trkErrNotSupportFileFormat},
        {"pic.png", "convert -size 9x5 gradient:red-blue " + d + "pic.png", P::probePng, 0},
        {"pic.bmp", "convert -size 9x5 gradient:red-blue -type truecolor BMP3:" + d + "pic.bmp", P::probeBmp, 0},
        {"pic.pcx", "convert -size 9x5 gradient:red-blue -colors 7 -type palette " + d + "pic.pcx", P::probePcx, 0},
        {"pic.jpg", "convert -size 17x11 gradient:red-blue ppm:- | cjpeg -quality 70 > " + d + "pic.jpg", P::probeJpeg, 0},
        {"grey.jpg", "convert -size 17x11 gradient:black-white pgm:- | cjpeg -grayscale > " + d + "grey.jpg", P::probeJpeg, 0},
        // A JPEG named like a TIFF: the name does not matter.
        {"named.tif", "cp " + d + "pic.jpg " + d + "named.tif", P::probeJpeg, 0},
        {"phase_ph.tif", testsupport::BinDir() + "/mkphase --size 40x30 " + d + "phase_ph.tif", P::probeTiff, 0},
    };
    for (const Job& j : jobs) {
        if (j.command.find("/mkphase") != std::string::npos && !std::filesystem::exists(testsupport::BinDir() + "/mkphase"))
            continue;  // the kernel-only build has no generator
        int code = 1;
        const std::string out = testsupport::Shell(j.command, &code);
        ASSERT_EQ(code, 0) << j.command << "\n" << out;
        CImageFileProbe probe;
        EXPECT_EQ(probe.ProbeFile(d + j.file), j.error == 0) << j.file;
        EXPECT_EQ(probe.Error(), j.error) << j.file;
        if (j.type != -1) {
            EXPECT_EQ(probe.ProbeType(), j.type) << j.file;
        }

        // Padded to a gigabyte of holes: the same answer from the same few
        // bytes. Cut at a quarter, a half and three quarters: an answer from
        // no more bytes than the file holds.
        const Bytes whole = testsupport::ReadBytes(d + j.file);
        testsupport::MakeSparseFile(d + "padded", whole, int64_t(1) << 30);
        thumbctl::FileBytes padded;
        ASSERT_TRUE(padded.open(d + "padded", nullptr));
        CountingBytes counted(padded);
        EXPECT_EQ(probe.Probe(counted), j.error == 0) << j.file << " padded";
        EXPECT_EQ(probe.Error(), j.error) << j.file << " padded";
        EXPECT_LE(counted.total, 1024 + 2 * int64_t(whole.size())) << j.file << " padded";
        for (const size_t cut : {whole.size() / 4, whole.size() / 2, whole.size() * 3 / 4}) {
            const Bytes part(whole.begin(), whole.begin() + long(cut));
            thumbctl::MemoryBytes memory(part.data(), int64_t(part.size()));
            CountingBytes cutSource(memory);
            probe.Probe(cutSource);
            EXPECT_LE(cutSource.total, 1024 + 2 * int64_t(cut)) << j.file << " cut at " << cut;
        }
    }
}

} // namespace
