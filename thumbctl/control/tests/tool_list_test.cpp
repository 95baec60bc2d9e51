// norvikel-tool list and grab on a generated folder: the items the list
// accepts, their thumbnail sizes and page flags, and a picture of the window.
#include "thumbctl/control/tests/folder_maker.h"
#include "testsupport/testsupport.h"

#include <QImage>
#include <gtest/gtest.h>

using testsupport::Shell;
using testsupport::TempDir;

namespace {

std::string Tool() { return testsupport::BinDir() + "/norvikel-tool"; }

} // namespace

TEST(NorvikelToolList, FolderListsTheAcceptedPictures)
{
    TempDir dir("toollist");
    thumbctl::testkit::MakeMixedFolder(dir.path().string());
    int code = 0;
    const std::string out = Shell(Tool() + " list --source folder --path " + dir.path().string(), &code);
    EXPECT_EQ(out,
              "pages.tif\tmulti-page\t64x48\n"
              "photo.jpg\tsingle\t80x60\n"
              "pic.pcx\tsingle\t80x60\n"
              "small.png\tsingle\t40x30\n"
              "wide.bmp\tsingle\t80x40\n"
              "error 2001 Invalid FileFormat\n");
    EXPECT_EQ(code, 0);

    const std::string pages = Shell(Tool() + " list --source multipage --path " + dir.file("pages.tif"));
    EXPECT_EQ(pages, "pages.tif\tpage 1\t64x48\npages.tif\tpage 2\t64x48\npages.tif\tpage 3\t64x48\n"
                     "pages.tif\tpage 4\t64x48\nerror 0 Success\n");

    const std::string items = Shell(Tool() + " list --source items --path " + dir.file("anim.gif") + " --path " +
                                    dir.file("small.png"));
    EXPECT_EQ(items, "small.png\tsingle\t40x30\nerror 2000 NotSupport FileFormat\n");

    EXPECT_EQ(Shell(Tool() + " list --source folder --path " + dir.file("none"), &code), "error 2112 Path NotFound\n");
    EXPECT_EQ(code, 1);
}

TEST(NorvikelToolGrab, DrawsTheGrid)
{
    TempDir dir("toolgrab");
    thumbctl::testkit::MakeMixedFolder(dir.path().string());
    const std::string png = dir.file("grid.png");
    int code = 0;
    const std::string out =
        Shell("QT_QPA_PLATFORM=offscreen " + Tool() + " grab --source folder --path " + dir.path().string() +
                  " --size 330x250 " + png + " 2>/dev/null",
              &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("5 items"), std::string::npos) << out;
    const QImage img(QString::fromStdString(png));
    ASSERT_EQ(img.size(), QSize(330, 250));
    // The small PNG is flat orange: its thumbnail is somewhere in the picture.
    bool orange = false;
    for (int y = 0; y < img.height() && !orange; ++y)
        for (int x = 0; x < img.width() && !orange; ++x) orange = img.pixel(x, y) == qRgb(255, 165, 0);
    EXPECT_TRUE(orange);
}
