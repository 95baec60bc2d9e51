// norvikel-tool from the command line: probe answers for files made by the
// reference tools, a page extracted from little- and big-endian files that
// tiffinfo reads and whose pixels match ImageMagick's page, and the type
// library listing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testsupport/peak_memory.h"
#include "testsupport/testsupport.h"

namespace {

std::string Tool(const std::string& args, int* code)
{
    return testsupport::Shell(testsupport::BinDir() + "/norvikel-tool " + args, code);
}

TEST(NorvikelTool, ProbePrintsFormatPagesSizeOrError)
{
    testsupport::TempDir dir("tool-probe");
    const std::string d = dir.path().string() + "/";
    int code = 1;
    testsupport::Shell("convert -size 12x7 gradient:black-white -depth 8 -type grayscale " + d + "a.tif && "
                       "convert -size 5x3 gradient:red-blue -depth 8 " + d + "b.tif && "
                       "tiffcp " + d + "a.tif " + d + "b.tif " + d + "a.tif " + d + "three.tif && "
                       "tiffcp -c lzw " + d + "a.tif " + d + "lzw.tif && "
                       "convert -size 9x5 gradient:red-blue -type truecolor BMP3:" + d + "x.bmp && "
                       "convert -size 9x5 gradient:red-blue " + d + "x.gif && "
                       "convert -size 17x11 gradient:red-blue ppm:- | cjpeg > " + d + "x.jpg && "
                       + testsupport::BinDir() + "/mkphase --size 40x30 " + d + "p_ph.tif",
                       &code);
    ASSERT_EQ(code, 0);
    const std::string out = Tool("probe " + d + "three.tif " + d + "x.bmp " + d + "x.jpg " + d + "p_ph.tif", &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("three.tif: TIFF, 3 pages, 12x7\n"), std::string::npos) << out;
    EXPECT_NE(out.find("x.bmp: BMP, 1 page, 9x5\n"), std::string::npos) << out;
    EXPECT_NE(out.find("x.jpg: JPEG, 1 page, 17x11\n"), std::string::npos) << out;
    EXPECT_NE(out.find("p_ph.tif: TIFF, 1 page, 40x30\n"), std::string::npos) << out;
    const std::string bad = Tool("probe " + d + "lzw.tif " + d + "x.gif " + d + "none.tif", &code);
    EXPECT_EQ(code, 1);
    EXPECT_NE(bad.find("lzw.tif: error 2000 NotSupport FileFormat\n"), std::string::npos) << bad;
    EXPECT_NE(bad.find("x.gif: error 2000 NotSupport FileFormat\n"), std::string::npos) << bad;
    EXPECT_NE(bad.find("none.tif: error 2110 File NotFound\n"), std::string::npos) << bad;
}

// A file whose format is recognised but whose picture cannot be decoded is
// reported with the error the list gives it, and fails the run.
TEST(NorvikelTool, ProbeReportsADecodeThatFails)
{
    testsupport::TempDir dir("tool-probe-cut");
    const std::string d = dir.path().string() + "/";
    int code = 1;
    testsupport::Shell("convert -size 64x48 plasma:red-blue -seed 2 -depth 8 ppm:" + d + "a.ppm && "
                       "convert " + d + "a.ppm -depth 8 PNG24:" + d + "a.png && "
                       "cjpeg -outfile " + d + "a.jpg " + d + "a.ppm && "
                       "convert " + d + "a.ppm PCX:" + d + "a.pcx",
                       &code);
    ASSERT_EQ(code, 0);
    const struct {
        const char* ext;
        const char* format;
    } files[] = {{"png", "PNG"}, {"jpg", "JPEG"}, {"pcx", "PCX"}};
    for (const auto& f : files) {
        const std::string whole = d + "a." + f.ext, cut = d + "cut." + f.ext;
        const auto bytes = testsupport::ReadBytes(whole);
        testsupport::WriteBytes(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(bytes.size() / 2)));
        std::string out = Tool("probe " + whole, &code);
        EXPECT_EQ(code, 0) << out;
        EXPECT_EQ(out, whole + ": " + f.format + ", 1 page, 64x48\n");
        // The error is the one the list gives the file when it is added.
        const std::string listed = Tool("list --source items --path " + cut, &code);
        EXPECT_EQ(code, 1) << listed;
        const size_t at = listed.rfind("error ");
        ASSERT_NE(at, std::string::npos) << listed;
        EXPECT_NE(listed.substr(at), "error 0 Success\n");
        out = Tool("probe " + whole + " " + cut, &code);
        EXPECT_EQ(code, 1) << out;
        EXPECT_NE(out.find(cut + ": " + listed.substr(at)), std::string::npos) << out << listed;
        EXPECT_EQ(out.find("size unknown"), std::string::npos) << out;
    }
}

// A picture cut in half with 48 MB of zeros after it: every tool that
// reads it (the list's probe and list, the thumbnail grab, the kernel's
// ipidecode from a file and from memory) refuses it within what its picture
// can take, never reading the zeros.
TEST(NorvikelTool, CutAndPaddedPicturesAreReadNoFurtherThanTheirPicture)
{
    testsupport::TempDir dir("tool-cut-padded");
    const std::string d = dir.path().string() + "/";
    int code = 1;
    testsupport::Shell("convert -size 64x48 plasma:red-blue -seed 3 -depth 8 ppm:" + d + "a.ppm && "
                       "convert " + d + "a.ppm -depth 8 PNG24:" + d + "a.png && "
                       "cjpeg -outfile " + d + "a.jpg " + d + "a.ppm",
                       &code);
    ASSERT_EQ(code, 0);
    const std::string bin = testsupport::BinDir() + "/";
    for (const auto& f : {std::make_pair("jpg", "5"), std::make_pair("png", "44")}) {
        const auto bytes = testsupport::ReadBytes(d + "a." + f.first);
        const std::vector<uint8_t> half(bytes.begin(), bytes.begin() + long(bytes.size() / 2));
        const std::string cut = d + "cut." + f.first, padded = d + "padded." + f.first;
        testsupport::WriteBytes(cut, half);
        testsupport::MakeSparseFile(padded, half, int64_t(48) << 20);
        for (const std::string& command :
             {bin + "norvikel-tool probe ", bin + "norvikel-tool list --source items --path ",
              bin + "norvikel-tool grab --source items --path "}) {
            SCOPED_TRACE(command + f.first);
            const std::string out = command.find(" grab ") == std::string::npos ? "" : " " + d + "grab.png";
            // Against the same program on the cut file without the zeros.
            int exit = -1, padExit = -1;
            const int64_t plain = testsupport::CommandPeakBytes(command + cut + out + " >/dev/null 2>&1", &exit);
            const int64_t peak = testsupport::CommandPeakBytes(command + padded + out + " >/dev/null 2>&1", &padExit);
            EXPECT_GT(plain, 0);
            EXPECT_LT(peak, plain + (int64_t(8) << 20));
            EXPECT_EQ(padExit, exit);
        }
        for (const std::string& how : {"", " --memory"}) {
            SCOPED_TRACE(std::string("ipidecode") + how + " " + f.first);
            // Against the same decode of the cut file without the zeros.
            int exit = -1, cutExit = -1;
            const int64_t plain =
                testsupport::CommandPeakBytes(bin + "ipidecode " + cut + " " + f.second + how + " >/dev/null 2>&1", &cutExit);
            const int64_t peak =
                testsupport::CommandPeakBytes(bin + "ipidecode " + padded + " " + f.second + how + " >/dev/null 2>&1", &exit);
            EXPECT_GT(plain, 0);
            EXPECT_LT(peak, plain + (int64_t(8) << 20));
            EXPECT_EQ(cutExit, 1);
            EXPECT_EQ(exit, 1);
        }
    }
}

TEST(NorvikelTool, ExtractSecondPageOfThreeInBothByteOrders)
{
    testsupport::TempDir dir("tool-extract");
    const std::string d = dir.path().string() + "/";
    int code = 1;
    testsupport::Shell("convert -size 20x10 gradient:black-white -depth 8 -type grayscale " + d + "a.tif && "
                       "convert -size 23x17 plasma:fractal -seed 9 -depth 8 " + d + "b.tif && "
                       "convert -size 8x8 gradient:white-black -depth 8 -type grayscale " + d + "c.tif && "
                       "tiffcp -r 5 " + d + "a.tif " + d + "b.tif " + d + "c.tif " + d + "le.tif && "
                       "tiffcp -B -r 3 " + d + "a.tif " + d + "b.tif " + d + "c.tif " + d + "be.tif",
                       &code);
    ASSERT_EQ(code, 0);
    for (const char* name : {"le", "be"}) {
        const std::string src = d + name + ".tif", out = d + name + "-page2.tif";
        const std::string said = Tool("extract " + src + " 2 " + out, &code);
        ASSERT_EQ(code, 0) << said;
        const std::string info = testsupport::Shell("tiffinfo " + out + " 2>&1", &code);
        EXPECT_EQ(code, 0) << info;
        EXPECT_NE(info.find("Image Width: 23 Image Length: 17"), std::string::npos) << info;
        testsupport::Shell("convert '" + src + "[1]' -depth 8 rgb:" + d + "ref.rgb && convert " + out +
                               " -depth 8 rgb:" + d + "got.rgb", &code);
        ASSERT_EQ(code, 0);
        const auto ref = testsupport::ReadBytes(d + "ref.rgb");
        EXPECT_EQ(ref.size(), 23u * 17u * 3u);
        EXPECT_EQ(testsupport::ReadBytes(d + "got.rgb"), ref) << name;
    }
    // Past the last page, and a file that is no TIFF: errors, no output file.
    EXPECT_NE(Tool("extract " + d + "le.tif 4 " + d + "four.tif", &code).find("has 3 page(s)"), std::string::npos);
    EXPECT_EQ(code, 1);
    testsupport::Shell("echo hello > " + d + "text.tif", &code);
    EXPECT_NE(Tool("extract " + d + "text.tif 1 " + d + "t.tif", &code).find("error 2000"), std::string::npos);
    EXPECT_EQ(code, 1);
    EXPECT_FALSE(std::filesystem::exists(d + "four.tif") || std::filesystem::exists(d + "t.tif"));
}

// A pipe without a writer given to the tools: each answers with an error code
// at once (the time-out only turns a hang into a failure).
TEST(NorvikelTool, PipesAreRefusedAtOnce)
{
    testsupport::TempDir dir("tool-pipe");
    const std::string pipe = dir.file("pipe.bmp");
    testsupport::MakeFifo(pipe);
    const std::string bin = "timeout 120 " + testsupport::BinDir();
    int code = 0;
    std::string said = testsupport::Shell(bin + "/norvikel-tool probe " + pipe, &code);
    EXPECT_EQ(code, 1) << said;
    EXPECT_NE(said.find("pipe.bmp: error 2120"), std::string::npos) << said;
    said = testsupport::Shell(bin + "/norvikel-tool extract " + pipe + " 1 " + dir.file("out.tif"), &code);
    EXPECT_EQ(code, 1) << said;
    EXPECT_NE(said.find("error 2113"), std::string::npos) << said;
    for (const char* memory : {"", " --memory"}) {
        said = testsupport::Shell(bin + "/ipidecode " + pipe + " 7" + memory, &code);
        EXPECT_EQ(code, 1) << said;
        EXPECT_EQ(said, "error 25\n") << memory;
    }
}

TEST(NorvikelTool, TypeLibraryListing)
{
    int code = 1;
    const std::string out = Tool("typelib", &code);
    EXPECT_EQ(code, 0);
    // The whole listing as the control has always described itself.
    EXPECT_EQ(out, testsupport::ReadText(testsupport::SourceDir() + "/thumbctl/control/tests/fixtures/typelib.txt"));
    for (const char* line : {"library NorvikelLib 1.0", "interface _DThumbnail", "interface _DThumbnailEvents",
                             "  2\tproperty DataPath : string\n", "  15\tmethod AddDIB(long Index, long hDIB, boolean bOwner, string Key, string Label) : boolean\n",
                             "  23\tproperty FileName(long Index) : string [read-only] [run time only]\n",
                             "  -501\tproperty BackColor : long [stock]\n", "  3\tmethod LoadingEnd(long Index, string FileName)\n",
                             "enum ErrorConstants", "  trkErrUserAbort = 1110 \"User Abort\"", "  trkSortLabelStrDescending = 10"})
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
}

} // namespace
