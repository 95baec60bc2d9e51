// Every read bounded, over every format and coding the decode entry points
// read: a valid picture padded with a gigabyte of holes decodes exactly as
// without them and reads only its own bytes; a picture cut short is refused
// or decodes exactly; a header declaring more than its data can fill is
// refused. Each decode of a padded or overstated file stays under a bound
// on the peak memory the test measures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include <zlib.h>

#include "testsupport/peak_memory.h"
#include "testsupport/testsupport.h"
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/ipi.h"
#include "thumbctl/kernel/ipi_dib.h"
#include "thumbctl/kernel/ipi_memory.h"
#include "thumbctl/kernel/tests/dib_view.h"
#include "tools/kfixtures/kfixtures.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testsupport::Shell;
using testsupport::TempDir;

// Peak memory a decode of a padded or overstated file may take, in the
// sanitizer build too (its books stay small for pictures of this size).
constexpr int64_t kPeakBound = int64_t(50) << 20;
constexpr int64_t kPadded = int64_t(1) << 30;

struct Sample {
    std::string name;
    int format;
    Bytes bytes;
    int error = 0;  // of the whole picture: 12 for codings without a decoder, 22 for progressive JPEG
};

// A decode's outcome: the error, or the bitmap's bytes.
struct Outcome {
    int error = 0;
    Bytes dib;
    bool operator==(const Outcome& o) const { return error == o.error && dib == o.dib; }
};

Outcome Take(int made, IPIHANDLE h, int error)
{
    Outcome o;
    o.error = error;
    if (made == 1) {
        IpiGlobalLock lock(h);
        o.dib.assign(lock.ptr(), lock.ptr() + lock.size());
    }
    if (h) ipiGlobalFree(h);
    EXPECT_EQ(made == 1, error == 0);
    EXPECT_EQ(made == 1, h != 0);
    return o;
}

Outcome FromMemory(const Bytes& b, int format)
{
    IPIHANDLE h = 0;
    int error = -5;
    const int made = DecodeImageFromMemory(b.data(), &h, 1, format, 0, int64_t(b.size()), nullptr, 0, &error);
    return Take(made, h, error);
}

Outcome FromFile(const std::string& path, int format)
{
    IPIHANDLE h = 0;
    int error = -5;
    const int made = DecodeImageFromFile(path.c_str(), &h, 1, format, 0, nullptr, 0, &error);
    return Take(made, h, error);
}

// Peak memory of decoding `path`; the decode must fail exactly when
// `expectFailure` says so.
int64_t PeakOfFileDecode(const std::string& path, int format, bool expectFailure)
{
    return testsupport::PeakBytes([&] {
        IPIHANDLE h = 0;
        int error = 0;
        const int made = DecodeImageFromFile(path.c_str(), &h, 1, format, 0, nullptr, 0, &error);
        if (h) ipiGlobalFree(h);
        return (made == 0) == expectFailure;
    });
}

int64_t PeakOfMemoryDecode(const Bytes& b, int format)
{
    return testsupport::PeakBytes([&] {
        IPIHANDLE h = 0;
        int error = 0;
        const int made = DecodeImageFromMemory(b.data(), &h, 1, format, 0, int64_t(b.size()), nullptr, 0, &error);
        if (h) ipiGlobalFree(h);
        return made == 0;
    });
}

void Put16(Bytes& b, size_t at, uint32_t v) { b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8); }
void Put32(Bytes& b, size_t at, uint32_t v) { Put16(b, at, v & 0xFFFF), Put16(b, at + 2, v >> 16); }
void PutBe32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}

// A BMP around given pixel bytes (40-byte header, `table` colour entries).
Bytes Bmp(int w, int h, int bpp, int compression, const Bytes& table, const Bytes& pixels)
{
    Bytes f(54 + table.size() + pixels.size(), 0);
    f[0] = 'B', f[1] = 'M';
    Put32(f, 2, uint32_t(f.size()));
    Put32(f, 10, uint32_t(54 + table.size()));
    Put32(f, 14, 40);
    Put32(f, 18, uint32_t(w));
    Put32(f, 22, uint32_t(h));
    Put16(f, 26, 1);
    Put16(f, 28, uint32_t(bpp));
    Put32(f, 30, uint32_t(compression));
    Put32(f, 46, uint32_t(table.size() / 4));
    std::copy(table.begin(), table.end(), f.begin() + 54);
    std::copy(pixels.begin(), pixels.end(), f.begin() + 54 + long(table.size()));
    return f;
}

// A little-endian TIFF of one strip and a private text tag, strip first,
// then the text, then the directory.
Bytes Tiff(uint32_t w, uint32_t h, int bits, int compression, int photometric, const Bytes& strip,
           size_t textBytes = 64)
{
    const uint32_t textAt = uint32_t(8 + strip.size());
    const uint32_t ifd = uint32_t(textAt + textBytes);
    Bytes f(ifd, 0);
    f[0] = f[1] = 'I', f[2] = 42;
    Put32(f, 4, ifd);
    std::copy(strip.begin(), strip.end(), f.begin() + 8);
    std::string text = "Calverdine header\r\n";
    text.resize(textBytes - 1, 'x');
    std::copy(text.begin(), text.end(), f.begin() + textAt);
    const uint32_t entries[][4] = {{256, 4, 1, w},        {257, 4, 1, h},          {258, 3, 1, uint32_t(bits)},
                                   {259, 3, 1, uint32_t(compression)}, {262, 3, 1, uint32_t(photometric)},
                                   {273, 4, 1, 8},        {277, 3, 1, 1},          {278, 4, 1, h},
                                   {279, 4, 1, uint32_t(strip.size())}, {32768, 2, uint32_t(textBytes), textAt}};
    f.resize(f.size() + 2 + 12 * 10 + 4, 0);
    Put16(f, ifd, 10);
    for (size_t i = 0; i < 10; ++i) {
        const size_t e = ifd + 2 + 12 * i;
        Put16(f, e, entries[i][0]);
        Put16(f, e + 2, entries[i][1]);
        Put32(f, e + 4, entries[i][2]);
        if (entries[i][1] == 3) Put16(f, e + 8, entries[i][3]);
        else Put32(f, e + 8, entries[i][3]);
    }
    return f;
}

// A PNG's IHDR with another size (its CRC made again).
Bytes WithPngSize(Bytes png, uint32_t w, uint32_t h)
{
    PutBe32(png, 16, w);
    PutBe32(png, 20, h);
    PutBe32(png, 29, uint32_t(crc32(0, png.data() + 12, 17)));
    return png;
}

// The most bytes a PCX's lines can take run-length coded (two bytes a
// byte), with its header and a 256-colour table.
int64_t PcxMostBytes(const Bytes& pcx)
{
    const int64_t lines = int64_t(pcx[10] | pcx[11] << 8) - int64_t(pcx[6] | pcx[7] << 8) + 1;
    return 128 + 2 * int64_t(pcx[65]) * int64_t(pcx[66] | pcx[67] << 8) * lines + 769;
}

class BoundedReads : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir("bounded");
        samples_ = new std::vector<Sample>(MakeSamples());
    }
    static void TearDownTestSuite()
    {
        delete samples_;
        delete dir_;
    }

    // One picture of every format and coding the decode entry points read.
    static std::vector<Sample> MakeSamples()
    {
        const std::string d = dir_->path().string() + "/";
        const std::string art = "-size 37x23 plasma:navy-orange -seed 7 ";
        Shell("convert " + art + "-depth 8 " + d + "src.ppm");
        Shell("convert " + d + "src.ppm -monochrome -depth 1 -compress none " + d + "mono.tif");
        Shell("convert " + d + "src.ppm -colorspace gray -depth 8 -compress none " + d + "grey.tif");
        const std::vector<std::pair<std::string, std::string>> made = {
            {"mono.bmp", "convert " + d + "src.ppm -monochrome BMP3:" + d + "mono.bmp"},
            {"pal4.bmp", "convert " + d + "src.ppm -colors 16 -compress none BMP3:" + d + "pal4.bmp"},
            {"rle4.bmp", "convert " + d + "src.ppm -colors 16 -compress rle BMP3:" + d + "rle4.bmp"},
            {"pal8.bmp", "convert " + d + "src.ppm -colors 200 -compress none BMP3:" + d + "pal8.bmp"},
            {"rle8.bmp", "convert " + d + "src.ppm -colors 200 -compress rle BMP3:" + d + "rle8.bmp"},
            {"rgb.bmp", "convert " + d + "src.ppm -compress none BMP3:" + d + "rgb.bmp"},
            {"v5.bmp", "convert " + d + "src.ppm -compress none BMP:" + d + "v5.bmp"},
            {"mono.png", "convert " + d + "src.ppm -monochrome " + d + "mono.png"},
            {"pal4.png", "convert " + d + "src.ppm -depth 8 -colors 16 PNG8:" + d + "pal4.png"},
            {"grey.png", "convert " + d + "src.ppm -depth 8 -type grayscale " + d + "grey.png"},
            {"rgba.png", "convert " + d + "src.ppm -depth 8 -alpha set -channel A -evaluate set 50% " + d + "rgba.png"},
            {"interlaced.png", "convert " + d + "src.ppm -depth 8 -interlace PNG " + d + "interlaced.png"},
            // (the tools chat on standard error, which Shell merges into the output)
            {"mono.pcx", "(convert " + d + "src.ppm -monochrome ppm:- | ppmtopcx 2>/dev/null) > " + d + "mono.pcx"},
            {"pal4.pcx", "(convert " + d + "src.ppm -colors 9 +dither ppm:- | ppmtopcx 2>/dev/null) > " + d + "pal4.pcx"},
            {"pal8.pcx", "(convert " + d + "src.ppm -colors 200 ppm:- | ppmtopcx -8bit 2>/dev/null) > " + d + "pal8.pcx"},
            {"rgb.pcx", "(ppmtopcx -24bit " + d + "src.ppm 2>/dev/null) > " + d + "rgb.pcx"},
            {"colour.jpg", "(cjpeg -quality 80 " + d + "src.ppm 2>/dev/null) > " + d + "colour.jpg"},
            {"grey.jpg", "(convert " + d + "src.ppm pgm:- | cjpeg -grayscale -restart 1 2>/dev/null) > " + d + "grey.jpg"},
            {"progressive.jpg", "(cjpeg -progressive " + d + "src.ppm 2>/dev/null) > " + d + "progressive.jpg"},
            {"pic.gif", "convert " + d + "src.ppm " + d + "pic.gif"},
            {"rgb.tif", "convert " + d + "src.ppm -depth 8 -compress none " + d + "rgb.tif"},
            {"pal4.tif", "convert " + d + "src.ppm -colors 9 -type palette -depth 4 -compress none " + d + "pal4.tif"},
            {"packbits.tif", "tiffcp -c packbits -r 5 " + d + "grey.tif " + d + "packbits.tif"},
            {"packbits1.tif", "tiffcp -c packbits " + d + "mono.tif " + d + "packbits1.tif"},
            {"g3.tif", "tiffcp -c g3:1d -r 8 " + d + "mono.tif " + d + "g3.tif"},
            {"g32d.tif", "tiffcp -c g3:2d " + d + "mono.tif " + d + "g32d.tif"},
            {"g4.tif", "tiffcp -c g4 " + d + "mono.tif " + d + "g4.tif"},
            {"lzw.tif", "tiffcp -c lzw " + d + "grey.tif " + d + "lzw.tif"},
        };
        std::vector<Sample> out;
        out.push_back({"grey.tif", DecodeFormatTiff, testsupport::ReadBytes(d + "grey.tif")});
        out.push_back({"mono.tif", DecodeFormatTiff, testsupport::ReadBytes(d + "mono.tif")});
        static const std::pair<const char*, int> kByExt[] = {{".bmp", DecodeFormatBmp}, {".png", DecodeFormatPng},
                                                             {".pcx", DecodeFormatPcx}, {".jpg", DecodeFormatJpeg},
                                                             {".gif", DecodeFormatGif}, {".tif", DecodeFormatTiff}};
        for (const auto& m : made) {
            int code = 0;
            const std::string log = Shell(m.second, &code);
            EXPECT_EQ(code, 0) << m.second << "\n" << log;
            int format = 0;
            for (const auto& e : kByExt)
                if (m.first.size() > 4 && m.first.compare(m.first.size() - 4, 4, e.first) == 0) format = e.second;
            const int error = format == DecodeFormatGif || m.first == "lzw.tif" ? 12 : m.first == "progressive.jpg" ? 22 : 0;
            out.push_back({m.first, format, testsupport::ReadBytes(d + m.first), error});
        }
        // 16- and 32-bit BMPs by hand, and the picture container.
        Bytes p16(size_t(ipiBmpStride(13, 16) * 7)), p32(size_t(4 * 13 * 7));
        for (size_t i = 0; i < p16.size(); ++i) p16[i] = uint8_t(i * 37 + 5);
        for (size_t i = 0; i < p32.size(); ++i) p32[i] = uint8_t(i * 11 + 3);
        out.push_back({"rgb16.bmp", DecodeFormatBmp, Bmp(13, 7, 16, 0, {}, p16)});
        out.push_back({"rgb32.bmp", DecodeFormatBmp, Bmp(13, 7, 32, 0, {}, p32)});
        const kfix::Bilevel pic = kfix::PatternBilevel(37, 23, 3);
        out.push_back({"plain.cgmc", DecodeFormatCgm, kfix::CgmContainer({kfix::UncompressedPicture(pic)})});
        kfix::TiffStrips g4;
        EXPECT_TRUE(kfix::ReadTiffStrips(testsupport::ReadBytes(d + "g4.tif"), &g4));
        kfix::CgmPicture coded;
        coded.compressionCode = 245;
        coded.width = int(g4.width), coded.height = int(g4.height);
        coded.raster = g4.data;
        coded.continued = true;
        out.push_back({"g4.cgmc", DecodeFormatCgm, kfix::CgmContainer({coded})});
        for (const Sample& s : out) EXPECT_GT(s.bytes.size(), 50u) << s.name;
        return out;
    }

    static TempDir* dir_;
    static std::vector<Sample>* samples_;
};

TempDir* BoundedReads::dir_ = nullptr;
std::vector<Sample>* BoundedReads::samples_ = nullptr;

TEST_F(BoundedReads, PaddedPicturesReadOnlyTheirOwnBytes)
{
    const std::string padded = dir_->file("padded");
    for (const Sample& s : *samples_) {
        SCOPED_TRACE(s.name);
        const Outcome want = FromMemory(s.bytes, s.format);
        EXPECT_EQ(want.error, s.error);
        testsupport::MakeSparseFile(padded, s.bytes, kPadded);
        EXPECT_EQ(FromFile(padded, s.format), want);
        // The bytes the file entry point reads are the picture's own (a
        // PCX, whose header declares no end, at most the most its lines
        // can take: its reader finds the end in its one pass).
        int error = 0;
        const IPIHANDLE read = ReadImageFileToGlobal(padded.c_str(), s.format, &error);
        ASSERT_NE(read, 0u) << error;
        const int64_t got = ipiGlobalSize(read);
        EXPECT_LE(got, s.format == DecodeFormatPcx ? PcxMostBytes(s.bytes) : int64_t(s.bytes.size()));
        if (got <= int64_t(s.bytes.size())) {
            IpiGlobalLock lock(read);
            const Bytes picture(lock.ptr(), lock.ptr() + got);
            EXPECT_EQ(picture, Bytes(s.bytes.begin(), s.bytes.begin() + got));
            EXPECT_EQ(FromMemory(picture, s.format), want);
        }
        ipiGlobalFree(read);
        const int64_t peak = PeakOfFileDecode(padded, s.format, want.error != 0);
        EXPECT_GE(peak, 0);
        EXPECT_LT(peak, kPeakBound);
    }
}

TEST_F(BoundedReads, KernelImportOfAPaddedFileByNameReadsThePictureOnly)
{
    // The kernel's own import, given the file's name, reads it in place.
    const std::string padded = dir_->file("padded");
    for (const Sample& s : *samples_) {
        SCOPED_TRACE(s.name);
        testsupport::MakeSparseFile(padded, s.bytes, kPadded);
        const int64_t peak = testsupport::PeakBytes([&] {
            IPIENVIRONMENT* env = ipiOpenEnvironment(nullptr);
            IPIOBJECT* lut = ipiCreateLookupTable(env, "oLUT", nullptr, nullptr, 0);
            IPIATTRIBUTE a[] = {{"repository", ipiRepositoryWorkspace}, {"lut", reinterpret_cast<IPIVALUE>(lut)}};
            IPIOBJECT* img = ipiCreateGenericImage(env, "oImage", nullptr, a, 2);
            ipiImportFileIntoObject(env, padded.c_str(), img, ipiFileFormatOfDecodeFormat(s.format), nullptr, 0);
            return ipiCloseEnvironment(env) == 0;
        });
        EXPECT_GE(peak, 0);
        EXPECT_LT(peak, kPeakBound);
    }
}

TEST_F(BoundedReads, CutPicturesAreRefusedOrDecodeExactly)
{
    const std::string cut = dir_->file("cut");
    for (const Sample& s : *samples_) {
        const Outcome whole = FromMemory(s.bytes, s.format);
        const size_t n = s.bytes.size();
        // Inside the headers, inside the data at its quarters, one byte short.
        for (size_t at : {size_t(20), size_t(60), n / 4, n / 2, 3 * n / 4, n - 1}) {
            SCOPED_TRACE(s.name + " cut at " + std::to_string(at));
            Bytes part(s.bytes.begin(), s.bytes.begin() + long(at));
            // A BMP's file size field does not rescue it: writers leave it 0.
            if (s.format == DecodeFormatBmp && at >= 6) Put32(part, 2, 0);
            testsupport::WriteBytes(cut, part);
            const Outcome fromFile = FromFile(cut, s.format);
            const int64_t peak = PeakOfFileDecode(cut, s.format, fromFile.error != 0);
            EXPECT_GE(peak, 0);
            EXPECT_LT(peak, kPeakBound);
            for (const Outcome& o : {FromMemory(part, s.format), fromFile}) {
                if (o.error != 0) continue;
                // The same picture (a BMP whose last row lacks its padding
                // no longer passes through as it stands).
                const DibView got = ViewDibBytes(o.dib.data(), int64_t(o.dib.size()));
                const DibView want = ViewDibBytes(whole.dib.data(), int64_t(whole.dib.size()));
                EXPECT_FALSE(got.rgb.empty());
                EXPECT_EQ(std::tie(got.width, got.height, got.bits, got.rgb),
                          std::tie(want.width, want.height, want.bits, want.rgb));
            }
        }
    }
}

// A single-strip TIFF of a picture's strips (back to back), cut in half.
Bytes CutStrip(const Bytes& file)
{
    kfix::TiffStrips t;
    EXPECT_TRUE(kfix::ReadTiffStrips(file, &t));
    t.data.resize(t.data.size() / 2);
    const int bits = t.compression >= 2 && t.compression <= 4 ? 1 : 8;
    return Tiff(t.width, t.height, bits, int(t.compression), bits == 1 ? 0 : 1, t.data);
}

const Bytes& SampleBytes(const std::vector<Sample>& samples, const std::string& name)
{
    for (const Sample& s : samples)
        if (s.name == name) return s.bytes;
    ADD_FAILURE() << "no sample " << name;
    static const Bytes none;
    return none;
}

// Cut short, then padded: the end its format marks is missing and a long
// run of zeros follows (a copy that stopped into a file made at full size).
// No reader follows the file's size: what is read stays within what the
// declared picture can take, and a picture whose format marks its end
// (JPEG, PNG) is refused. The other formats cannot tell zeros from picture
// data; they give a picture of the declared size or refuse it.
TEST_F(BoundedReads, CutAndPaddedPicturesCostNoMoreThanTheirPicture)
{
    // Well above what these small pictures can take with what a file keeps
    // beside its pixels, well below the padding.
    constexpr int64_t kPad = int64_t(32) << 20;
    constexpr int64_t kBound = int64_t(12) << 20;
    const std::string path = dir_->file("cut-and-padded");
    for (const Sample& s : *samples_) {
        const Outcome whole = FromMemory(s.bytes, s.format);
        const DibView want = ViewDibBytes(whole.dib.data(), int64_t(whole.dib.size()));
        const size_t n = s.bytes.size();
        for (size_t at : {size_t(60), n / 2, n - 2}) {
            SCOPED_TRACE(s.name + " cut at " + std::to_string(at) + " of " + std::to_string(n));
            Bytes part(s.bytes.begin(), s.bytes.begin() + long(at));
            if (s.format == DecodeFormatBmp) Put32(part, 2, 0);
            testsupport::MakeSparseFile(path, part, kPad);
            Bytes inMemory = part;
            inMemory.resize(size_t(kPad), 0);
            const Outcome fromFile = FromFile(path, s.format);
            for (const Outcome& o : {fromFile, FromMemory(inMemory, s.format)}) {
                if (s.format == DecodeFormatJpeg || s.format == DecodeFormatPng) {
                    EXPECT_NE(o.error, 0);
                }
                if (o.error != 0) continue;
                const DibView got = ViewDibBytes(o.dib.data(), int64_t(o.dib.size()));
                EXPECT_EQ(std::tie(got.width, got.height), std::tie(want.width, want.height));
            }
            int error = 0;
            const IPIHANDLE read = ReadImageFileToGlobal(path.c_str(), s.format, &error);
            EXPECT_LT(read ? ipiGlobalSize(read) : 0, kBound);
            if (read) ipiGlobalFree(read);
            for (const int64_t peak : {PeakOfFileDecode(path, s.format, fromFile.error != 0),
                                       testsupport::PeakBytes([&] {
                                           IPIHANDLE h = 0;
                                           int e = 0;
                                           DecodeImageFromMemory(inMemory.data(), &h, 1, s.format, 0, kPad, nullptr,
                                                                 0, &e);
                                           if (h) ipiGlobalFree(h);
                                           return true;
                                       })}) {
                EXPECT_GE(peak, 0);
                EXPECT_LT(peak, kBound);
            }
        }
    }
}

// Cut short, then a few zeros, far fewer than the picture could take: a
// format that marks its end (JPEG, PNG, run-length BMP) is refused all the
// same (the zeros would decode as the missing data: scan data, or line ends
// that complete the rows), from a file and from memory.
TEST_F(BoundedReads, CutPicturesWhoseFormatMarksItsEndAreRefusedWhateverFollows)
{
    const std::string path = dir_->file("cut-and-zeros");
    for (const Sample& s : *samples_) {
        if (s.format != DecodeFormatJpeg && s.format != DecodeFormatPng && s.name.find("rle") == std::string::npos)
            continue;
        const size_t n = s.bytes.size();
        for (size_t at : {n / 3, n / 2, n - 40, n - 2}) {
            for (size_t zeros : {size_t(16), size_t(64) << 10}) {
                SCOPED_TRACE(s.name + " cut at " + std::to_string(at) + " of " + std::to_string(n) + ", " +
                             std::to_string(zeros) + " zeros");
                Bytes part(s.bytes.begin(), s.bytes.begin() + long(at));
                part.resize(at + zeros, 0);
                testsupport::WriteBytes(path, part);
                EXPECT_NE(FromFile(path, s.format).error, 0);
                EXPECT_NE(FromMemory(part, s.format).error, 0);
            }
        }
    }
}

// A valid run-length BMP whose stated size of its codes is wrong (far too
// large), with zeros after it: the codes are read no further than its
// pixels can take, and the picture is the one without the zeros.
TEST_F(BoundedReads, AStatedCodeSizeNeverWidensTheRead)
{
    constexpr int64_t kPad = int64_t(64) << 20;
    const std::string path = dir_->file("stated");
    for (const char* name : {"rle8.bmp", "rle4.bmp"}) {
        SCOPED_TRACE(name);
        const Bytes& bmp = SampleBytes(*samples_, name);
        const Outcome whole = FromMemory(bmp, DecodeFormatBmp);
        ASSERT_EQ(whole.error, 0);
        Bytes wrong = bmp;
        Put32(wrong, 34, 0x7FFFFFF0u);
        testsupport::MakeSparseFile(path, wrong, kPad);
        EXPECT_EQ(FromFile(path, DecodeFormatBmp), whole);
        const int64_t peak = PeakOfFileDecode(path, DecodeFormatBmp, false);
        EXPECT_GE(peak, 0);
        EXPECT_LT(peak, kPeakBound);
    }
}

TEST_F(BoundedReads, DeclaredSizesTheDataCannotFillAreRefused)
{
    const std::vector<Sample>& all = *samples_;
    // A grey TIFF of 30000 x 30000 whose one strip holds 234 PackBits codes
    // of 128 zeros each: 948 bytes in all.
    Bytes packBits;
    for (int i = 0; i < 234; ++i) packBits.insert(packBits.end(), {0x81, 0x00});
    const Bytes zeros(1 << 20, 0);
    uLongf zipped = compressBound(uLong(zeros.size()));
    Bytes deflated(zipped);
    compress(deflated.data(), &zipped, zeros.data(), uLong(zeros.size()));
    deflated.resize(468);  // a zlib stream cut short
    Bytes lzw(468, 0);
    lzw[0] = 0x80;  // a clear code, then nothing that fills the rows
    // Group 4 rows of white (one V0 code each) that stop at row 3,728.
    const Bytes whiteRows(466, 0xFF);
    const Bytes tinyRaster(117, 0xFF);

    Bytes bmpRle;
    for (int i = 0; i < 100; ++i) bmpRle.insert(bmpRle.end(), {0xFF, uint8_t(i)});
    Bytes bmpRleFile = Bmp(30000, 30000, 8, 1, Bytes(1024), bmpRle);
    Put32(bmpRleFile, 34, uint32_t(bmpRle.size()));

    Bytes pcx = SampleBytes(all, "pal8.pcx");
    Put16(pcx, 8, 29999), Put16(pcx, 10, 29999), Put16(pcx, 66, 30000);

    Bytes jpeg = SampleBytes(all, "colour.jpg");
    for (size_t i = 2; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = 30000 >> 8, jpeg[i + 6] = 30000 & 0xFF, jpeg[i + 7] = 30000 >> 8, jpeg[i + 8] = 30000 & 0xFF;
            break;
        }

    kfix::CgmPicture cgm;
    cgm.compressionCode = 245;
    cgm.width = cgm.height = 65535;
    cgm.raster = tinyRaster;
    cgm.continued = true;

    const struct Case {
        const char* what;
        int format;
        Bytes bytes;
    } cases[] = {
        {"TIFF, PackBits strip", DecodeFormatTiff, Tiff(30000, 30000, 8, 32773, 1, packBits, 346)},
        {"TIFF, Deflate strip", DecodeFormatTiff, Tiff(30000, 30000, 8, 8, 1, deflated)},
        {"TIFF, LZW strip", DecodeFormatTiff, Tiff(30000, 30000, 8, 5, 1, lzw)},
        {"TIFF, Group 4 strip", DecodeFormatTiff, Tiff(30000, 30000, 1, 4, 0, whiteRows)},
        {"TIFF, uncompressed strip", DecodeFormatTiff, Tiff(30000, 30000, 8, 1, 1, Bytes(1024, 7))},
        {"TIFF, Group 3 strip cut in half", DecodeFormatTiff, CutStrip(SampleBytes(all, "g3.tif"))},
        {"TIFF, Group 3 2-D strip cut in half", DecodeFormatTiff, CutStrip(SampleBytes(all, "g32d.tif"))},
        {"TIFF, Group 4 strip cut in half", DecodeFormatTiff, CutStrip(SampleBytes(all, "g4.tif"))},
        {"TIFF, PackBits strip cut in half", DecodeFormatTiff, CutStrip(SampleBytes(all, "packbits.tif"))},
        {"TIFF, bilevel PackBits strip cut in half", DecodeFormatTiff,
         CutStrip(SampleBytes(all, "packbits1.tif"))},
        {"PNG", DecodeFormatPng, WithPngSize(SampleBytes(all, "grey.png"), 30000, 30000)},
        {"PNG, interlaced", DecodeFormatPng, WithPngSize(SampleBytes(all, "interlaced.png"), 30000, 30000)},
        {"PCX", DecodeFormatPcx, pcx},
        {"BMP", DecodeFormatBmp, Bmp(30000, 30000, 8, 0, Bytes(1024), Bytes(1024, 9))},
        {"BMP, run-length codes", DecodeFormatBmp, bmpRleFile},
        {"JPEG", DecodeFormatJpeg, jpeg},
        {"picture container, Group 4 raster", DecodeFormatCgm, kfix::CgmContainer({cgm})},
    };
    const std::string path = dir_->file("overstated");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_NE(FromMemory(c.bytes, c.format).error, 0);
        testsupport::WriteBytes(path, c.bytes);
        EXPECT_NE(FromFile(path, c.format).error, 0);
        for (const int64_t peak : {PeakOfFileDecode(path, c.format, true), PeakOfMemoryDecode(c.bytes, c.format)}) {
            EXPECT_GE(peak, 0);
            EXPECT_LT(peak, kPeakBound);
        }
    }
    EXPECT_EQ(cases[0].bytes.size(), 948u);
}

} // namespace
