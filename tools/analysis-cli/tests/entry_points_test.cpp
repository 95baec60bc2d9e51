// The tools as ways into the program: a path option keeps the bytes it was
// given, a frame of one value is no measurement, and an image whose
// measurement header breaks off is refused by every tool alike.
#include "app/editor/core/image_files.h"
#include "platform/strandel_binding.h"
#include "platform/tests/bmp_fixtures.h"
#include "testsupport/testsupport.h"
#include "tools/synth/synth.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string Tool(const std::string& name) { return testsupport::BinDir() + "/" + name; }

bool Built(std::initializer_list<const char*> tools)
{
    for (const char* t : tools)
        if (!std::filesystem::exists(Tool(t))) return false;
    return true;
}

// Runs a tool with its own home, runtime folder and class registry; its
// standard output and error go into *out. Returns the exit status.
int RunTool(const testsupport::TempDir& dir, const std::string& tool, const std::string& args, std::string* out)
{
    const std::string home = dir.file("home"), run = dir.file("run");
    testsupport::Shell("mkdir -p '" + home + "' && mkdir -p -m 700 '" + run + "'");
    int rc = -1;
    *out = testsupport::Shell("HOME='" + home + "' XDG_RUNTIME_DIR='" + run + "' SORVANTA_CLASS_REGISTRY='" +
                                  dir.file("classes.reg") + "' '" + Tool(tool) + "' --base '" + dir.file("base") +
                                  "' " + args + " 2>&1",
                              &rc);
    return rc;
}

// The three figure lines of sorvanta-analyze.
std::string Figures(const std::string& out)
{
    std::string figures;
    for (const char* label : {"Max Z: ", "Min Z: ", "Coplanarity: "}) {
        const size_t at = out.find(label);
        if (at != std::string::npos) figures += out.substr(at, out.find('\n', at) - at) + "\n";
    }
    return figures;
}

void WriteText(const std::string& path, const std::string& text)
{
    testsupport::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

void WriteFringeFile(const testsupport::TempDir& dir)
{
    std::filesystem::create_directories(dir.file("base/Calverdine/Utility Files"));
    WriteText(dir.file("base/Calverdine/Utility Files/FringeValue.txt"), "100\t0.98425\n");
}

} // namespace

// Beside "A\xef\xbf\xbd..." (U+FFFD) a name "A\xff..." is its own file: the
// tool reads the image it names and writes the picture it names, and the
// other part's picture keeps what it held.
TEST(ToolPaths, APathThatIsNotUtf8IsItsOwnFile)
{
    if (!Built({"sorvanta-analyze", "sorvanta-plot", "mkphase"})) GTEST_SKIP() << "tools not built";
    testsupport::TempDir dir("toolbytes");
    const std::string first = dir.file("e\xff_ph.tif"), sibling = dir.file("e\xef\xbf\xbd_ph.tif");
    const std::string plain = dir.file("plain_ph.tif");
    testsupport::Shell("'" + Tool("mkphase") + "' --size 64x48 --surface dome:0.0008 '" + first + "'");
    testsupport::Shell("'" + Tool("mkphase") + "' --size 80x60 --surface saddle:0.0006 '" + sibling + "'");
    std::filesystem::copy_file(first, plain);
    std::string out, plainOut, siblingOut;
    ASSERT_EQ(RunTool(dir, "sorvanta-analyze", "'" + first + "'", &out), 0) << out;
    ASSERT_EQ(RunTool(dir, "sorvanta-analyze", "'" + plain + "'", &plainOut), 0) << plainOut;
    ASSERT_EQ(RunTool(dir, "sorvanta-analyze", "'" + sibling + "'", &siblingOut), 0) << siblingOut;
    EXPECT_EQ(Figures(out), Figures(plainOut));
    EXPECT_NE(Figures(out), Figures(siblingOut));

    const std::string picture = dir.file("A\xff_3D.bmp"), other = dir.file("A\xef\xbf\xbd_3D.bmp");
    WriteText(other, "another part's picture");
    for (const char* kind : {"3d", "legend"}) {
        SCOPED_TRACE(kind);
        std::filesystem::remove(picture);
        EXPECT_EQ(RunTool(dir, "sorvanta-plot", std::string("--kind ") + kind + " --out '" + picture + "' '" + first + "'",
                      &out),
                  0)
            << out;
        const std::vector<uint8_t> written = testsupport::ReadBytes(picture);
        ASSERT_GT(written.size(), 2u);
        EXPECT_EQ(written[0], 'B');
        EXPECT_EQ(written[1], 'M');
        const std::vector<uint8_t> kept = testsupport::ReadBytes(other);
        EXPECT_EQ(std::string(kept.begin(), kept.end()), "another part's picture");
    }
}

// A frame whose pixels all hold one value measures nothing: sorvanta-analyze
// and sorvanta-plot stop with the no-data message (status 1, no picture), the
// batch lists each such image as failed and analyses the good one.
TEST(ToolPaths, AFrameOfOneValueIsNoDataInEveryTool)
{
    if (!Built({"sorvanta-analyze", "sorvanta-plot", "sorvanta-batch", "mkphase"})) GTEST_SKIP() << "tools not built";
    testsupport::TempDir dir("onevalue");
    WriteFringeFile(dir);
    const int cols = 48, rows = 36;
    const std::string bmps = dir.file("bmps"), tifs = dir.file("tifs");
    std::filesystem::create_directories(bmps);
    std::filesystem::create_directories(tifs);
    std::vector<std::string> images;
    for (const uint8_t value : {uint8_t(0), uint8_t(127)}) {
        const std::string path = bmps + "/v" + std::to_string(value) + "_ph.bmp";
        testsupport::WriteBytes(path, bmpfixtures::Bmp(bmpfixtures::BmpKind::BottomUp, cols, rows,
                                                       std::vector<uint8_t>(size_t(cols) * rows, value)));
        images.push_back(path);
    }
    for (const auto& [value, header] : {std::pair{200, true}, std::pair{3, false}}) {
        const std::string path = tifs + "/v" + std::to_string(value) + "_ph.tif";
        const std::vector<uint8_t> px(size_t(cols) * rows, uint8_t(value));
        ASSERT_EQ(0, strandel::WriteTIFFFile(path, cols, rows, header ? synth::MakeHeader(0.5, cols, rows) : "",
                                             px.data()));
        images.push_back(path);
    }
    std::string out;
    for (const std::string& image : images) {
        SCOPED_TRACE(image);
        EXPECT_EQ(RunTool(dir, "sorvanta-analyze", "'" + image + "'", &out), 1) << out;
        EXPECT_NE(out.find("Analysis Error: The result holds no data"), std::string::npos) << out;
        EXPECT_EQ(Figures(out), "") << out;
        const std::string picture = image + ".3D.bmp";
        EXPECT_EQ(RunTool(dir, "sorvanta-plot", "--kind 3d --out '" + picture + "' '" + image + "'", &out), 1) << out;
        EXPECT_NE(out.find("The result holds no data"), std::string::npos) << out;
        EXPECT_FALSE(std::filesystem::exists(picture));
    }
    // The batch: each folder with one good image beside the frames of one value.
    testsupport::Shell("'" + Tool("mkphase") + "' --size 48x36 --surface dome:0.0008 '" + tifs + "/good_ph.tif'");
    const std::string good = tifs + "/good_ph.tif";
    const std::vector<uint8_t> goodPixels = strandel::ReadImage(good).pixels;
    std::string error;
    ASSERT_TRUE(editor::WriteGreyBmp(bmps + "/good_ph.bmp", cols, rows, goodPixels.data(), &error)) << error;
    for (const auto& [folder, format] : {std::pair{bmps, "bmp"}, std::pair{tifs, "tif"}}) {
        SCOPED_TRACE(format);
        EXPECT_EQ(RunTool(dir, "sorvanta-batch", std::string("--format ") + format + " '" + folder + "'", &out), 0) << out;
        EXPECT_NE(out.find("Number of Images Processed: 1/3"), std::string::npos) << out;
        for (const std::string& image : images)
            if (image.rfind(folder, 0) == 0)
                EXPECT_NE(out.find(std::filesystem::path(image).filename().string() + ": The result holds no data"),
                          std::string::npos)
                    << out;
    }
}

// An image whose measurement header breaks off (its fringe value is not a
// number) is a file of the wrong kind for every tool: sorvanta-analyze and
// sorvanta-plot refuse it, the batch lists it as failed with the same reason
// and never analyses it as an image without a header.
TEST(ToolPaths, AHeaderThatBreaksOffIsRefusedByEveryTool)
{
    if (!Built({"sorvanta-analyze", "sorvanta-plot", "sorvanta-batch", "mkphase"})) GTEST_SKIP() << "tools not built";
    testsupport::TempDir dir("brokenheader");
    WriteFringeFile(dir);
    const std::string folder = dir.file("folder");
    std::filesystem::create_directories(folder);
    const std::string good = folder + "/good_ph.tif", broken = folder + "/broken_ph.tif";
    testsupport::Shell("'" + Tool("mkphase") + "' --size 48x36 --surface dome:0.0008 '" + good + "'");
    const strandel::ReadResult r = strandel::ReadImage(good);
    ASSERT_EQ(r.status, 0);
    // Field 9 (the fringe value) made text: the header breaks off there.
    const std::string& header = r.header;
    std::vector<std::string> lines;
    for (size_t start = 0; start < header.size();) {
        const size_t end = header.find("\r\n", start);
        lines.push_back(header.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = end == std::string::npos ? header.size() : end + 2;
    }
    ASSERT_GE(lines.size(), 10u);
    lines[8] = lines[8].substr(0, lines[8].find(':') + 1) + "ten";
    std::string brokenHeader;
    for (const std::string& l : lines) brokenHeader += l + "\r\n";
    ASSERT_EQ(0, strandel::WriteTIFFFile(broken, uint16_t(r.cols), uint16_t(r.rows), brokenHeader, r.pixels.data()));

    std::string out;
    EXPECT_EQ(RunTool(dir, "sorvanta-analyze", "'" + broken + "'", &out), 1) << out;
    EXPECT_NE(out.find("Load Phase Image: The file cannot be opened.\nInvalid file format."), std::string::npos) << out;
    EXPECT_EQ(RunTool(dir, "sorvanta-plot", "--kind 3d --out '" + dir.file("b.bmp") + "' '" + broken + "'", &out), 1)
        << out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("b.bmp")));
    EXPECT_EQ(RunTool(dir, "sorvanta-batch", "'" + folder + "'", &out), 0) << out;
    EXPECT_NE(out.find("Number of Images Processed: 1/2"), std::string::npos) << out;
    EXPECT_NE(out.find("broken_ph.tif: The file cannot be opened."), std::string::npos) << out;
    EXPECT_NE(out.find("Invalid file format."), std::string::npos) << out;
    EXPECT_EQ(out.find("Error reading header information"), std::string::npos) << out;
}
