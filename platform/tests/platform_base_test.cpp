#include "platform/dynlib.h"
#include "sorvanta_versions.h"
#include "platform/fileversion.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/strandel_binding.h"
#include "tifflib/strandel.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TEST(FileVersion, ReadsTheMarkerOfOurLibrariesAndNothingElse)
{
    EXPECT_EQ(platform::FileVersionOf(std::string(SORVANTA_BIN_DIR) + "/libStrandel.so"), SORVANTA_TIFF_LIBRARY_VERSION);
    EXPECT_EQ(platform::FileVersionOf("/nonexistent/lib.so"), "");
    const auto txt = fs::temp_directory_path() / "fileversion_plain.txt";
    std::ofstream(txt) << "1.1.0.0 is not a marker";
    EXPECT_EQ(platform::FileVersionOf(txt.string()), "");
    fs::remove(txt);
    // An ELF file without a marker (the C library).
    EXPECT_EQ(platform::FileVersionOf("/bin/true"), "");
}

TEST(Folders, JoinAndSplit)
{
    struct {
        const char *a, *b, *joined;
    } cases[] = {{"/x", "y", "/x/y"}, {"/x/", "y", "/x/y"}, {"/x/", "/y", "/x/y"}, {"", "y", "y"}, {"/x", "", "/x"}};
    for (auto& c : cases) EXPECT_EQ(platform::JoinPath(c.a, c.b), c.joined) << c.a << " + " << c.b;
    EXPECT_EQ(platform::JoinPath("/a", "b", "c.txt"), "/a/b/c.txt");
    EXPECT_EQ(platform::FolderOf("/a/b/c.tif"), "/a/b/");
    EXPECT_EQ(platform::FolderOf("c.tif"), "");
    EXPECT_EQ(platform::FileNameOf("/a/b/c.tif"), "c.tif");
    platform::SetBaseFolder("/base");
    EXPECT_EQ(platform::UtilityFolder(), "/base/Calverdine/Utility Files");
    EXPECT_EQ(platform::ResultsFolder(), "/base/Calverdine/Results");
}

TEST(DynamicLibrary, BindsByNameAndExplainsWhatIsMissing)
{
    platform::SetSystemFolder(SORVANTA_BIN_DIR);
    platform::DynamicLibrary lib("libStrandel.so");
    EXPECT_NE(lib.symbol("TestFun"), nullptr);
    EXPECT_EQ(lib.symbol("NoSuchFunction"), nullptr);
    EXPECT_NE(lib.lastError().find("NoSuchFunction"), std::string::npos);

    platform::DynamicLibrary missing("libDoesNotExist.so");
    platform::LazyFunction<int()> fn(missing, "Anything");
    EXPECT_EQ(fn.get(), nullptr);
    EXPECT_NE(missing.lastError().find("libDoesNotExist.so"), std::string::npos);
}

TEST(StrandelBinding, ReadsThroughTheLoadedLibrary)
{
    platform::SetSystemFolder(SORVANTA_BIN_DIR);
    const std::string path = (fs::temp_directory_path() / "binding_ph.tif").string();
    std::vector<uint8_t> px(6 * 4);
    for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t(i * 9);
    ASSERT_EQ(strandel::WriteTIFFFile(path, 6, 4, "hdr", px.data()), 0);
    auto r = strandel::ReadImage(path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.cols, 6);
    EXPECT_EQ(r.rows, 4);
    EXPECT_EQ(r.header, "hdr");
    EXPECT_EQ(r.pixels, px);
    auto bad = strandel::ReadImage(path + ".missing");
    EXPECT_NE(bad.status, 0);
    EXPECT_TRUE(bad.pixels.empty());
    fs::remove(path);
}

TEST(Messages, ScriptedAnswersAndRecords)
{
    platform::ScriptedMessages script;
    script.queue(platform::kAnsNo);
    EXPECT_EQ(platform::ShowMessage("Are you sure you want to quit?", platform::kMsgQuestion, "Sorvanta"),
              platform::kAnsNo);
    EXPECT_EQ(platform::ShowMessage("Again?", platform::kMsgQuestion, "T"), platform::kAnsYes);
    EXPECT_EQ(platform::ShowMessage("Done", platform::kMsgInformation, "T"), platform::kAnsOk);
    ASSERT_EQ(script.records.size(), 3u);
    EXPECT_EQ(script.records[0].text, "Are you sure you want to quit?");
    EXPECT_EQ(script.records[0].style, 36);
    EXPECT_EQ(script.records[2].title, "T");
}

TEST(StrandelBinding, WritesThroughAHiddenTemporaryThatNeverLengthensTheName)
{
    platform::SetSystemFolder(SORVANTA_BIN_DIR);
    testsupport::TempDir dir("bind");
    std::vector<uint8_t> px(4 * 3, 7);
    // Success: the file is there, nothing else is left in the folder.
    ASSERT_EQ(strandel::WriteTIFFFile(dir.file("a_ph.tif"), 4, 3, "h", px.data()), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    EXPECT_EQ(strandel::ReadImage(dir.file("a_ph.tif")).pixels, px);
    // A target that cannot be replaced (a folder of that name): failure, the
    // folder untouched, no temporary left.
    fs::create_directories(dir.path() / "b_ph.tif" / "keep");
    EXPECT_NE(strandel::WriteTIFFFile(dir.file("b_ph.tif"), 4, 3, "h", px.data()), 0);
    EXPECT_TRUE(fs::is_directory(dir.path() / "b_ph.tif" / "keep"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
    // Names of any length: a 240-character name in a folder, read back whole.
    const std::string longName = dir.file(std::string(233, 'n') + "_ph.tif");
    EXPECT_EQ(strandel::WriteTIFFFile(longName, 4, 3, "h", px.data()), 0);
    EXPECT_EQ(strandel::ReadImage(longName).pixels, px);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}

namespace {

// Sets the ImageWidth and ImageLength entries of a little-endian TIFF.
void DeclareSize(const std::string& path, uint32_t cols, uint32_t rows)
{
    std::vector<uint8_t> b = testsupport::ReadBytes(path);
    ASSERT_GE(b.size(), 8u);
    auto u16 = [&](size_t at) { return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8; };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    const size_t ifd = u32(4);
    for (uint32_t i = 0, n = u16(ifd); i < n; ++i) {
        const size_t e = ifd + 2 + 12 * i;
        const uint32_t tag = u16(e), type = u16(e + 2);
        if (tag != 256 && tag != 257) continue;
        const uint32_t v = tag == 256 ? cols : rows;
        const int bytes = type == 3 ? 2 : 4;
        for (int k = 0; k < bytes; ++k) b[e + 8 + k] = uint8_t(v >> (8 * k));
    }
    testsupport::WriteBytes(path, b);
}

} // namespace

TEST(StrandelBinding, DeclaredSizeIsCheckedAndTheNamedFileIsRead)
{
    platform::SetSystemFolder(SORVANTA_BIN_DIR);
    testsupport::TempDir dir("bind");
    std::vector<uint8_t> px(4 * 3, 7), other(4 * 3, 9);
    // A small file declaring 65535 x 65535 (4 GB) is refused before any allocation.
    const std::string big = dir.file("big_ph.tif");
    ASSERT_EQ(strandel::WriteTIFFFile(big, 4, 3, "h", px.data()), 0);
    DeclareSize(big, 65535, 65535);
    const strandel::ReadResult r = strandel::ReadImage(big);
    EXPECT_EQ(r.status, STRANDEL_ERR_TOO_LARGE);
    EXPECT_TRUE(r.pixels.empty());
    // A name without any '.' is read as itself, not as NAME.tif beside it.
    const std::string plain = dir.file("plain");
    ASSERT_EQ(strandel::WriteTIFFFile(dir.file("plain_ph.tif"), 4, 3, "h", px.data()), 0);
    fs::rename(dir.file("plain_ph.tif"), plain);
    ASSERT_EQ(strandel::WriteTIFFFile(plain + ".tif", 4, 3, "other", other.data()), 0);
    const strandel::ReadResult p = strandel::ReadImage(plain);
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.pixels, px);
    EXPECT_EQ(p.header, "h");
    EXPECT_EQ(strandel::GetTIFFCols(plain), 4);
    // The same from the working folder, where the name has no '.' at all.
    const auto old = fs::current_path();
    fs::current_path(dir.path());
    EXPECT_EQ(strandel::ReadImage("plain").pixels, px);
    fs::current_path(old);
}
