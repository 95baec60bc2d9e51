#include "platform/dynlib.h"
#include "platform/fileversion.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/strandel_binding.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TEST(FileVersion, ReadsTheMarkerOfOurLibrariesAndNothingElse)
{
    EXPECT_EQ(platform::FileVersionOf(std::string(SORVANTA_BIN_DIR) + "/libStrandel.so"), "1.1.0.0");
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
    // A completed name of exactly 79 characters is still written; 80 are refused.
    const std::string folder = dir.path().string() + "/";
    ASSERT_LT(folder.size() + 8, 79u);
    const std::string name79 = folder + std::string(79 - folder.size() - 4, 'n');  // + ".tif"
    EXPECT_EQ(strandel::WriteTIFFFile(name79, 4, 3, "h", px.data()), 0);
    EXPECT_TRUE(fs::exists(name79 + ".tif"));
    EXPECT_NE(strandel::WriteTIFFFile(name79 + "m", 4, 3, "h", px.data()), 0);
    EXPECT_FALSE(fs::exists(name79 + "m.tif"));
}
