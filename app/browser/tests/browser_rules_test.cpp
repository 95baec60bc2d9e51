// The browser's rules: kinds and filters, which pictures offer "Load Phase
// Image" and which phase image they lead to, and grid positions.
#include "app/browser/browser_rules.h"
#include "platform/wildcard.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace browser;

TEST(BrowserFilter, EachKindIsTurnedOnByItsOwnPatternOnly)
{
    const FilterEntries all = EntriesForFilter(AllKindsFilter("tif"), "tif");
    for (int k = 0; k < KindCount; ++k) EXPECT_EQ(KindEntryText(k, "tif"), all[size_t(k)]) << k;
    EXPECT_EQ(AllKindsFilter("tif"), JoinEntries(all));

    const FilterEntries batch = EntriesForFilter(kBatchFilter, "tif");
    EXPECT_EQ("*_3D.bmp;*_3D.jpg;*_ctr.bmp;*_ctr.jpg;*_dia.bmp;*_dia.jpg;*Legend*.bmp;*Legend*.jpg", JoinEntries(batch));
    EXPECT_TRUE(batch[KindChord].empty());
    EXPECT_TRUE(batch[KindPhase].empty());
    EXPECT_TRUE(batch[KindMask].empty());

    // Letter case counts, and the phase kind follows the image format.
    EXPECT_TRUE(EntriesForFilter("*_3d.bmp;*legend*.bmp", "tif")[Kind3D].empty());
    EXPECT_TRUE(EntriesForFilter("*_3d.bmp;*legend*.bmp", "tif")[KindLegend].empty());
    EXPECT_EQ("*_ph.bmp;", EntriesForFilter("*_ph.bmp", "bmp")[KindPhase]);
    EXPECT_TRUE(EntriesForFilter("*_ph.bmp", "tif")[KindPhase].empty());

    // Every kind off: an empty pattern, which lists nothing.
    EXPECT_EQ("", JoinEntries(EntriesForFilter("", "tif")));
}

TEST(BrowserFilter, WildcardsRespectCase)
{
    auto MatchCase = [](const std::string& pattern, const std::string& text) {
        return platform::WildcardMatch(pattern, text, platform::LetterCase::Respect);
    };
    EXPECT_TRUE(MatchCase("*_3D*", "a_3D.bmp;b"));
    EXPECT_FALSE(MatchCase("*_3D*", "a_3d.bmp"));
    EXPECT_TRUE(MatchCase("a?c", "abc"));
    EXPECT_TRUE(MatchCase("*", ""));
    EXPECT_FALSE(MatchCase("*x", ""));
}

TEST(BrowserLayouts, ThreeSizesAndNothingElse)
{
    ASSERT_NE(nullptr, LayoutFor(3));
    EXPECT_EQ(196, LayoutFor(3)->thumbnailHeight);
    EXPECT_EQ(305, LayoutFor(3)->thumbnailWidth);
    EXPECT_EQ(143, LayoutFor(4)->thumbnailHeight);
    EXPECT_EQ(224, LayoutFor(4)->thumbnailWidth);
    EXPECT_EQ(110, LayoutFor(5)->thumbnailHeight);
    EXPECT_EQ(175, LayoutFor(5)->thumbnailWidth);
    EXPECT_EQ(nullptr, LayoutFor(6));
    EXPECT_EQ(nullptr, LayoutFor(0));
}

TEST(BrowserPhaseImage, PicturesLeadToTheirPhaseImage)
{
    const std::set<std::string> files = {"/r/part_ph.tif", "/r/x_rel_ph.tif"};
    auto exists = [&](const std::string& p) { return files.count(p) > 0; };
    struct Case {
        const char* picture;
        bool offers;
        const char* phase;
    };
    const Case cases[] = {
        {"/r/part_ph.tif", true, "/r/part_ph.tif"},
        {"/r/part_3D.bmp", true, "/r/part_ph.tif"},
        {"/r/part_ctr.jpg", true, "/r/part_ph.tif"},
        {"/r/part_dia.bmp", true, "/r/part_ph.tif"},
        {"/r/part_crd.jpg", true, "/r/part_ph.tif"},
        // A relative batch output belongs to the image without "_rel" ...
        {"/r/part_rel_3D.bmp", true, "/r/part_ph.tif"},
        {"/r/part_rel_ctr.jpg", true, "/r/part_ph.tif"},
        // ... unless an image of the full name is there.
        {"/r/x_rel_3D.bmp", true, "/r/x_rel_ph.tif"},
        {"/r/missing_3D.bmp", true, "/r/missing_ph.tif"},
        {"/r/gone_rel_dia.bmp", true, "/r/gone_ph.tif"},
        // No menu for masks, legends, other formats and other letter case.
        {"/r/part_msk.tif", false, "/r/part_ph.tif"},
        {"/r/3D Legend (0 to 2 mils).bmp", false, ""},
        {"/r/part_ph.bmp", false, ""},
        {"/r/part_3d.bmp", false, ""},
        {"/r/plain.bmp", false, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.offers, OffersLoadPhaseImage(c.picture, "tif")) << c.picture;
        if (*c.phase) {
            EXPECT_EQ(c.phase, PhaseFileFor(c.picture, "tif", exists)) << c.picture;
        }
    }
    // A name without "_" leads to a file that is never there.
    EXPECT_EQ("ph.tif", PhaseFileFor("plain.bmp", "tif", exists));
    EXPECT_EQ("The corresponding phase image file\rpart_ph.tif was not found in this folder.",
              PhaseNotFoundText("/r/part_ph.tif"));
}

TEST(FullSizeViewer, PicturePlacement)
{
    struct Case {
        int w, h, areaW, areaH, reserved;
        PictureBox box;
    } cases[] = {
        {64, 48, 1024, 738, 24, {481, 306, 64, 48}},      // fits at the centre point: kept there
        {1000, 600, 1024, 738, 24, {13, 30, 1000, 600}},  // large, but whole at the centre point
        {700, 700, 1024, 738, 24, {162, 31, 700, 700}},   // would cross the top: centred below the name
        {640, 937, 1024, 738, 24, {268, 24, 488, 714}},   // a tall plot: scaled, aspect kept, top in view
        {2000, 500, 1024, 738, 24, {0, 253, 1024, 256}},  // a wide one
        {300, 200, 800, 600, 20, {363, 230, 300, 200}},    // small screen, still fits at the point
        {50, 50, 10, 10, 20, {4, 20, 1, 1}},              // no room at all: never below one pixel
    };
    for (const Case& c : cases) {
        const PictureBox b = PlacePicture(c.w, c.h, c.areaW, c.areaH, c.reserved);
        EXPECT_TRUE(b == c.box) << c.w << "x" << c.h << " -> " << b.left << "," << b.top << " " << b.width << "x"
                                << b.height;
    }
}

TEST(BrowserGrid, ScrollingIntoView)
{
    EXPECT_EQ(0, TopIndexToShow(24, 0, 5));
    EXPECT_EQ(25, TopIndexToShow(25, 0, 5));
    EXPECT_EQ(3, TopIndexToShow(3, 10, 5));
    EXPECT_EQ(10, TopIndexToShow(18, 10, 3));
    EXPECT_EQ(19, TopIndexToShow(19, 10, 3));
}

} // namespace
