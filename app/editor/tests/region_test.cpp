// Region of interest editing: handles, drags, clipping, scroll bars.
#include "app/core/runtime.h"
#include "app/editor/core/crop.h"
#include "app/editor/core/region_editor.h"
#include "editor_test_util.h"
#include "platform/messages.h"

using namespace editor;

namespace {

// A display that keeps the region as the picture buffer does (nearest integer, halves to even).
struct FakeView : RegionView {
    int l = 0, t = 0, w = 0, h = 0;
    int offs = 0, ons = 0, refreshes = 0;
    static int R(double v) { return int(core::RoundHalfEven(v)); }
    int roiLeft() const override { return l; }
    int roiTop() const override { return t; }
    int roiWidth() const override { return w; }
    int roiHeight() const override { return h; }
    void setRoiLeft(double v) override { l = R(v); }
    void setRoiTop(double v) override { t = R(v); }
    void setRoiWidth(double v) override { w = R(v); }
    void setRoiHeight(double v) override { h = R(v); }
    void outlineOff() override { ++offs; }
    void outlineOn() override { ++ons; }
    void refresh() override { ++refreshes; }
};

struct RegionTest : ::testing::Test {
    void SetUp() override
    {
        edtest::MakeCurrentImage(640, 480);
        model::maskPartition.RoiEditMode = true;
        view.l = 100, view.t = 100, view.w = 300, view.h = 200;
        ed.onLabel = [this](Bar b, const std::string& s) { labels[b] = s; };
        ed.onPointer = [this](int s) { pointer = s; };
        for (Bar b : {CenterX, SizeX}) ed.SetBarMaximum(b, 640);
        for (Bar b : {CenterY, SizeY}) ed.SetBarMaximum(b, 480);
        ed.ScrollSync = true;
        ed.SetBar(CenterX, 250);
        ed.SetBar(CenterY, 200);
        ed.SetBar(SizeX, 300);
        ed.SetBar(SizeY, 200);
        ed.ScrollSync = false;
        ed.RecordSavedRegion();
    }
    FakeView view;
    RegionEditor ed{view};
    std::string labels[4];
    int pointer = -1;
};

} // namespace

TEST_F(RegionTest, HandlesAreStrictAndNeedEditMode)
{
    ed.MouseMove(0, 104, 150);   // exactly 4 inside the left edge: no handle
    EXPECT_FALSE(ed.HoverMove);
    EXPECT_EQ(kPointerDefault, pointer);
    ed.MouseMove(0, 105, 150);
    EXPECT_TRUE(ed.HoverMove);
    EXPECT_EQ(kPointerMove, pointer);
    ed.MouseMove(0, 97, 103);
    EXPECT_TRUE(ed.HoverTopLeft);
    EXPECT_FALSE(ed.HoverMove);
    EXPECT_EQ(kPointerResize, pointer);
    ed.MouseMove(0, 403, 298);
    EXPECT_TRUE(ed.HoverBottomRight);
    ed.MouseMove(0, 404, 298);
    EXPECT_FALSE(ed.HoverBottomRight);
    // While a button is down the hover flags stay.
    ed.MouseMove(0, 150, 150);
    ed.MouseMove(1, 0, 0);
    EXPECT_TRUE(ed.HoverMove);
    // Once the edit is over no handle is hovered, and clicks do nothing.
    platform::ScriptedMessages messages;
    model::maskPartition.RoiEditMode = false;
    ed.MouseMove(0, 0, 0);
    EXPECT_FALSE(ed.HoverMove);
    ed.MouseDown(1, 150, 150);
    ed.MouseUp(1, 150, 150);
    EXPECT_FALSE(ed.DragMove);
    EXPECT_TRUE(messages.records.empty());
}

TEST_F(RegionTest, ClicksAfterTheEditEndsNeverMoveTheRegionOrComplain)
{
    // The pointer rested on the region when the edit ended (Crop pressed by key).
    platform::ScriptedMessages messages;
    ed.MouseMove(0, 150, 150);
    ASSERT_TRUE(ed.HoverMove);
    model::maskPartition.RoiEditMode = false;
    edtest::MakeCurrentImage(100, 75);   // the cropped picture
    model::maskPartition.RoiEditMode = false;
    ed.MouseDown(1, 10, 10);
    ed.MouseUp(1, 10, 10);
    EXPECT_TRUE(messages.records.empty());
    EXPECT_EQ(100, view.l);
    ed.MouseDown(2, 150, 150);   // no square either
    EXPECT_EQ(300, view.w);
}

TEST_F(RegionTest, AWholePictureRegionMovedOutsideComesBackInside)
{
    platform::ScriptedMessages messages;
    edtest::MakeCurrentImage(200, 150);
    model::maskPartition.RoiEditMode = true;
    for (Bar b : {CenterX, SizeX}) ed.SetBarMaximum(b, 200);
    for (Bar b : {CenterY, SizeY}) ed.SetBarMaximum(b, 150);
    view.l = 0, view.t = 0, view.w = 200, view.h = 150;
    ed.MouseMove(0, 100, 75);
    ed.MouseDown(1, 100, 75);
    ed.MouseMove(1, 110, 80);
    ed.MouseUp(1, 110, 80);
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ(0, view.l);
    EXPECT_EQ(0, view.t);   // centre 75, not 149 / 2 = 74.5 rounded down to 74
}

TEST_F(RegionTest, MoveDragAndDropInsideSyncsTheCentreBars)
{
    ed.MouseMove(0, 150, 150);
    ed.MouseDown(1, 150, 150);
    ed.MouseMove(1, 160.4, 145);
    EXPECT_EQ(110, view.l);
    EXPECT_EQ(95, view.t);
    ed.MouseUp(1, 160.4, 145);
    EXPECT_FALSE(ed.DragMove);
    EXPECT_EQ(260, ed.BarValue(CenterX));
    EXPECT_EQ(195, ed.BarValue(CenterY));
    EXPECT_EQ("Center X  260", labels[CenterX]);
    EXPECT_EQ(110, ed.SavedRoiLeft);
    EXPECT_EQ(95, ed.SavedRoiTop);
}

TEST_F(RegionTest, MoveOutsideIsSentBackToTheCentreEvenWhenTheBarsHoldIt)
{
    platform::ScriptedMessages messages;
    // The bars already show the image centre.
    ed.ScrollSync = true;
    ed.SetBar(CenterX, 320);
    ed.SetBar(CenterY, 240);
    ed.ScrollSync = false;
    ed.MouseMove(0, 150, 150);
    ed.MouseDown(1, 150, 150);
    ed.MouseMove(1, 500, 150);
    ed.MouseUp(1, 500, 150);
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("Region of Interest Outside Viewing Limits", messages.records[0].text);
    EXPECT_EQ(0, messages.records[0].style);
    // The picture's centre: 640 / 2, 480 / 2.
    EXPECT_EQ(320 - 150, view.l);
    EXPECT_EQ(240 - 100, view.t);
    EXPECT_EQ(300, view.w);
}

TEST_F(RegionTest, TopLeftCornerFlipsAndClips)
{
    ed.MouseMove(0, 100, 100);
    ASSERT_TRUE(ed.HoverTopLeft);
    ed.MouseDown(1, 100, 100);
    ed.MouseMove(1, 400, 300);   // exactly on the opposite corner: unchanged
    EXPECT_EQ(100, view.l);
    EXPECT_EQ(300, view.w);
    ed.MouseMove(1, 401.5, 301.5);   // passed both edges: turned over
    EXPECT_EQ(400, view.l);
    EXPECT_EQ(300, view.t);
    EXPECT_EQ(2, view.w);
    EXPECT_EQ(2, view.h);
    ed.MouseMove(1, -20, -10);   // beyond the image: clipped at mouse-up
    ed.MouseUp(1, -20, -10);
    EXPECT_EQ(0, view.l);
    EXPECT_EQ(0, view.t);
    EXPECT_EQ(400, view.w);
    EXPECT_EQ(300, view.h);
    EXPECT_EQ(400, ed.BarValue(SizeX));
    EXPECT_EQ(300, ed.BarValue(SizeY));
    EXPECT_EQ("Size X  400", labels[SizeX]);
    EXPECT_FALSE(ed.DragTopLeft);
}

TEST_F(RegionTest, BottomRightCornerClipsAtTheImageEdge)
{
    ed.MouseMove(0, 400, 300);
    ASSERT_TRUE(ed.HoverBottomRight);
    ed.MouseDown(1, 400, 300);
    ed.MouseMove(1, 700, 600);
    ed.MouseUp(1, 700, 600);
    EXPECT_EQ(540, view.w);   // 640 - 100
    EXPECT_EQ(380, view.h);
    EXPECT_EQ(540, ed.BarValue(SizeX));
}

TEST_F(RegionTest, RightClickSquaresAboutTheOldCentre)
{
    struct Case {
        int l, t, w, h;            // the region before
        int wantL, wantT, side;    // after
    } cases[] = {
        {100, 100, 300, 200, 150, 100, 200},   // wider: left 100 + (300 - 200) / 2
        {100, 100, 200, 300, 100, 150, 200},   // taller: top 100 + (300 - 200) / 2
        {100, 100, 120, 120, 100, 100, 120},   // square already
    };
    for (const Case& c : cases) {
        // The region was set without the saved region following (a domain picked from the list).
        view.l = c.l, view.t = c.t, view.w = c.w, view.h = c.h;
        ed.MouseMove(0, c.l + 20, c.t + 20);
        ed.MouseDown(2, c.l + 20, c.t + 20);
        EXPECT_EQ(c.side, view.w) << c.w << "x" << c.h;
        EXPECT_EQ(c.side, view.h) << c.w << "x" << c.h;
        EXPECT_EQ(c.wantL, view.l) << c.w << "x" << c.h;
        EXPECT_EQ(c.wantT, view.t) << c.w << "x" << c.h;
        EXPECT_EQ(c.side, ed.BarValue(SizeX));
        EXPECT_EQ(c.side, ed.BarValue(SizeY));
    }
    // Outside the inner area a right click does nothing.
    ed.MouseMove(0, 0, 0);
    ed.MouseDown(2, 0, 0);
    EXPECT_EQ(120, view.w);
}

TEST_F(RegionTest, SizeBarsResizeAboutTheSavedCentreAndCtrlLinksThem)
{
    ed.SetBar(SizeX, 100);
    EXPECT_EQ(100, view.w);
    EXPECT_EQ(200, view.l);   // 100 + (300 - 100) / 2
    EXPECT_EQ(200, view.h);

    ed.SizeKeyDown(2);
    ed.SetBar(SizeX, 480);
    EXPECT_EQ(480, ed.BarValue(SizeY));
    EXPECT_EQ(480, view.h);
    ed.SetBar(SizeX, 481);   // above 480: not copied
    EXPECT_EQ(480, ed.BarValue(SizeY));
    ed.SetBar(SizeY, 300);   // every value copied the other way
    EXPECT_EQ(300, ed.BarValue(SizeX));
    EXPECT_EQ(300, view.w);
    ed.SizeKeyUp(0);
    EXPECT_FALSE(ed.SizeLinkKey);

    // While ScrollSync is set a bar only updates its label and value.
    ed.ScrollSync = true;
    const int l = view.l;
    ed.SetBar(CenterX, 10);
    EXPECT_EQ(l, view.l);
    EXPECT_EQ(10, ed.CenterXValue);
    EXPECT_EQ("Center X  10", labels[CenterX]);
}

// A crop to a region wider than high keeps every size of the image the right
// way round: the partition and mask checks read the full size afterwards.
TEST(CropAccept, ACroppedImageKeepsItsWidthAndHeightApart)
{
    const int cols = 7, rows = 3;
    std::vector<uint8_t> pixels(size_t(cols * rows));
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i);
    AcceptCroppedImage(cols, rows, pixels);
    const auto& im = model::images;
    EXPECT_EQ(im.ImageCols, cols);
    EXPECT_EQ(im.ImageRows, rows);
    EXPECT_EQ(im.XMax, cols - 1);
    EXPECT_EQ(im.YMax, rows - 1);
    EXPECT_EQ(im.FullXMax, cols - 1);
    EXPECT_EQ(im.FullYMax, rows - 1);
    ASSERT_EQ(im.PhaseImage.cols(), cols);
    ASSERT_EQ(im.PhaseImage.rows(), rows);
    EXPECT_EQ(im.PhaseImage(6, 0), 6);
    EXPECT_EQ(im.PhaseImage(0, 2), 14);
    EXPECT_EQ(im.CurrentPhase.buffer(), pixels);
}
