// Paths as bytes: the QString form that comes back to the same bytes, the
// command line of a start, and a file dialog's text resolved against the disk.
#include "platform/pathtext.h"

#include "testsupport/testsupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

void Touch(const std::string& path, const std::string& text)
{
    testsupport::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

} // namespace

// Every byte string comes back byte for byte, UTF-8 or not; UTF-8 is its
// plain text, so a name that is valid text travels as it always did.
TEST(PathText, EveryPathComesBackAsItsBytes)
{
    const std::string cases[] = {
        "/r/plain_ph.tif",
        "/r/e\xff_ph.tif",
        "/r/e\xef\xbf\xbd_ph.tif",              // a real U+FFFD
        "/r/Fold\xe9r/a_ph.tif",                // Latin-1
        "/r/\xc3\xa9t\xc3\xa9 \xf0\x9f\x93\x90_ph.tif",   // UTF-8, one character beyond 16 bits
        "\xc0\xaf \xe0\x80\xaf \xed\xa0\x80 \xf4\x90\x80\x80 \xc3",   // overlong, surrogate, past U+10FFFF, cut short
        "\x80\x81\xfe",
        "",
    };
    for (const std::string& bytes : cases) {
        SCOPED_TRACE(bytes);
        EXPECT_EQ(platform::PathBytes(platform::PathText(bytes)), bytes);
    }
    EXPECT_EQ(platform::PathText("/r/\xc3\xa9t\xc3\xa9_ph.tif"), QString::fromUtf8("/r/\xc3\xa9t\xc3\xa9_ph.tif"));
    // The two names that show alike stay two texts.
    EXPECT_NE(platform::PathText("e\xff_ph.tif"), platform::PathText("e\xef\xbf\xbd_ph.tif"));
    // A surrogate that stands for no byte is no byte.
    EXPECT_EQ(platform::PathBytes(QString(QChar(char16_t(0xD800)))), "\xef\xbf\xbd");
}

// The command line of a start: the arguments after the program's name joined
// by spaces, bytes kept; an existing relative path made absolute.
TEST(PathText, CommandLineKeepsTheBytesOfTheArguments)
{
    testsupport::TempDir dir("cmdline");
    const std::string name = "e\xff_ph.tif";
    Touch(dir.file(name), "x");
    std::vector<char> cwd(4096);
    ASSERT_NE(::getcwd(cwd.data(), cwd.size()), nullptr);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    const char* relative[] = {"Sorvanta", name.c_str()};
    const char* dotted[] = {"Sorvanta", "./e\xff_ph.tif"};
    const std::string absolute = dir.file(name);
    const char* given[] = {"Sorvanta", absolute.c_str()};
    const std::string up = "../" + dir.path().filename().string() + "/./" + name;
    const char* parent[] = {"Sorvanta", up.c_str()};
    const char* split[] = {"Sorvanta", "/r/Part", "\xff", "One_ph.tif"};
    const char* missing[] = {"Sorvanta", "gone\xff_ph.tif"};
    const char* none[] = {"Sorvanta"};
    EXPECT_EQ(platform::CommandLinePath(2, relative), absolute);
    EXPECT_EQ(platform::CommandLinePath(2, dotted), absolute);
    EXPECT_EQ(platform::CommandLinePath(2, given), absolute);
    EXPECT_EQ(platform::CommandLinePath(2, parent), absolute);
    EXPECT_EQ(platform::CommandLinePath(4, split), "/r/Part \xff One_ph.tif");
    EXPECT_EQ(platform::CommandLinePath(2, missing), "gone\xff_ph.tif");
    EXPECT_EQ(platform::CommandLinePath(1, none), "");
    ASSERT_EQ(::chdir(cwd.data()), 0);
}

// A dialog gives names as the file-name encoding shows them: the file on disk
// is the one entry that shows so; two entries that show alike are no choice.
TEST(PathText, ADialogsTextIsTheFileOnDiskOrNone)
{
    testsupport::TempDir dir("shown");
    const std::string folder = dir.file("Fold\xe9r");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    Touch(folder + "/e\xff_ph.tif", "first");
    Touch(folder + "/only\xfe_ph.tif", "only");
    Touch(folder + "/plain_ph.tif", "plain");
    const auto shown = [](const std::string& bytes) { return QFile::decodeName(QByteArray::fromStdString(bytes)); };
    std::string bytes;
    ASSERT_TRUE(platform::PathOnDisk(shown(folder + "/e\xff_ph.tif"), &bytes));
    EXPECT_EQ(bytes, folder + "/e\xff_ph.tif");
    ASSERT_TRUE(platform::PathOnDisk(shown(folder + "/plain_ph.tif"), &bytes));
    EXPECT_EQ(bytes, folder + "/plain_ph.tif");
    ASSERT_TRUE(platform::PathOnDisk(shown(folder + "/new_3D.bmp"), &bytes));   // a name to write
    EXPECT_EQ(bytes, folder + "/new_3D.bmp");
    ASSERT_TRUE(platform::PathOnDisk(shown(folder), &bytes));
    EXPECT_EQ(bytes, folder);

    // The sibling whose name really holds U+FFFD: the text names two files.
    Touch(folder + "/e\xef\xbf\xbd_ph.tif", "second");
    EXPECT_FALSE(platform::PathOnDisk(shown(folder + "/e\xff_ph.tif"), &bytes));
    ASSERT_TRUE(platform::PathOnDisk(shown(folder + "/only\xfe_ph.tif"), &bytes));
    EXPECT_EQ(bytes, folder + "/only\xfe_ph.tif");
}
