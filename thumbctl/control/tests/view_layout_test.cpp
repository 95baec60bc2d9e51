// Grid numbers, hit tests, the key table and the selection rules of the
// thumbnail list, as plain functions.
#include "thumbctl/control/thumbnail.h"
#include "thumbctl/control/view_layout.h"
#include "thumbctl/control/view_paint.h"

#include <gtest/gtest.h>

#include <memory>

using namespace thumbctl;

TEST(Layout, CellSizesPerCaptionKind)
{
    struct Case { int type, w, h; } cases[] = {
        {captionNone, 100, 80}, {captionNumber, 100, 60 + 15 + 22}, {captionFileName, 100, 60 + 15 + 4 + 24},
        {captionKey, 100, 103}, {captionLabel, 100, 103},
    };
    for (const auto& c : cases) {
        const CellSize s = CellSizeFor(c.type, 80, 60, 15);
        EXPECT_EQ(s.width, c.w) << c.type;
        EXPECT_EQ(s.height, c.h) << c.type;
    }
}

TEST(Layout, BarTakesRoomOnlyWhenItemsOverflow)
{
    LayoutInput in;
    in.width = 330;
    in.height = 250;
    in.cell = {100, 80};
    in.barWidth = 17;
    in.barHeight = 17;
    in.count = 9;
    Layout l = ComputeLayout(in);
    EXPECT_EQ(l.lineCount, 3);
    EXPECT_EQ(l.itemsPerLine, 3);
    EXPECT_FALSE(l.scrolls);

    in.count = 10;
    l = ComputeLayout(in);
    EXPECT_EQ(l.itemsPerLine, (330 - 17) / 100);
    EXPECT_EQ(l.lineCount, 3);
    EXPECT_TRUE(l.scrolls);
    EXPECT_EQ(l.barMax, (10 + 2) / 3 - 1);
    EXPECT_EQ(l.page, 3);
    EXPECT_EQ(l.lastTop, 1);  // lines 1 .. 3 on screen: a full last page

    in.horizontal = true;
    l = ComputeLayout(in);
    EXPECT_EQ(l.itemsPerLine, (250 - 17) / 80);
    EXPECT_EQ(l.lineCount, 3);
    EXPECT_EQ(l.barMax, 10 / 2 - 1);
    EXPECT_EQ(l.lastTop, 2);

    // Never fewer than one cell, however small the window.
    in = LayoutInput{};
    in.width = 10;
    in.height = 10;
    in.cell = {100, 80};
    in.count = 4;
    l = ComputeLayout(in);
    EXPECT_EQ(l.lineCount, 1);
    EXPECT_EQ(l.itemsPerLine, 1);
    EXPECT_EQ(l.barMax, 3);
    EXPECT_EQ(l.lastTop, 3);

    // 36 pictures, 5 per line, 5 lines: the last position shows lines 3 .. 7.
    in = LayoutInput{};
    in.width = 1001;
    in.height = 657;
    in.cell = {195, 130};
    in.barWidth = 17;
    in.count = 36;
    l = ComputeLayout(in);
    EXPECT_EQ(l.itemsPerLine, 5);
    EXPECT_EQ(l.barMax, 7);
    EXPECT_EQ(l.lastTop, 3);
}

TEST(Layout, CellsHitTestAndVisibility)
{
    Grid g;
    g.cell = {100, 80};
    g.lineCount = 3;
    g.itemsPerLine = 3;
    g.topIndex = 3;
    g.count = 10;
    EXPECT_EQ(CellRect(g, 2, 3), QRect(200, 80, 100, 80));
    EXPECT_EQ(VisibleItemRect(g, 3), QRect(0, 0, 100, 80));
    EXPECT_EQ(VisibleItemRect(g, 9), QRect(0, 160, 100, 80));
    EXPECT_TRUE(VisibleItemRect(g, 2).isEmpty());
    EXPECT_FALSE(IsItemVisible(g, 12));

    struct Case { int x, y; long index; } cases[] = {
        {50, 40, 3}, {250, 120, 8}, {2, 2, 3}, {1, 40, -1}, {98, 40, -1}, {50, 78, -1},
        {102, 1, -1}, {150, 200, -1 /* item 10 does not exist */}, {50, 200, 9}, {350, 10, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(HitTest(g, c.x, c.y), c.index) << c.x << "," << c.y;
    QRect cell;
    EXPECT_EQ(HitTest(g, 250, 120, &cell), 8);
    EXPECT_EQ(cell, QRect(200, 80, 100, 80));
    g.count = 0;
    EXPECT_EQ(HitTest(g, 50, 40), -1);

    g = Grid{{100, 80}, 3, 2, 0, 5, true};
    EXPECT_EQ(CellRect(g, 2, 1), QRect(100, 0, 100, 80));
    EXPECT_EQ(HitTest(g, 150, 120), 3);
}

TEST(Layout, CaptionAndPictureRectangles)
{
    const QRect cell(100, 0, 100, 97);  // caption type 2, text height 15
    CellParts p = CellLayoutFor(cell, captionNumber, 80, 60, 15, 80, 40);
    EXPECT_EQ(p.caption, QRect(QPoint(108, 6), QPoint(100 + 100 - 2 - 6 - 1, 20)));
    EXPECT_EQ(p.image, QRect(108, 6 + 15 + 4 + 10, 80, 40));
    p = CellLayoutFor(QRect(0, 0, 100, 80), captionNone, 80, 60, 15, 41, 60);
    EXPECT_TRUE(p.caption.isNull());
    EXPECT_EQ(p.image, QRect(8 + 19, 8, 41, 60));
    p = CellLayoutFor(QRect(0, 0, 100, 103), captionFileName, 80, 60, 15, 80, 60);
    EXPECT_EQ(p.caption.left(), 2 + 6 - 1);
    EXPECT_EQ(p.caption.right() + 1, 98 - 6 + 1);
    EXPECT_EQ(p.caption.bottom() + 1, 101 - 4);
    EXPECT_EQ(p.caption.height(), 2 * kEdgeY + 2 + 15);
    EXPECT_EQ(p.image, QRect(8, 8, 80, 60));
}

TEST(Keys, FocusTable)
{
    // 7 items, 3 per line, 2 lines visible, vertical.
    struct Case { int key; long from, to; } cases[] = {
        {36, 4, 0}, {35, 1, 6}, {40, 2, 5}, {40, 5, 6}, {40, 6, 6}, {38, 5, 2}, {38, 2, 2},
        {37, 0, 0}, {37, 4, 3}, {39, 6, 6}, {39, 3, 4}, {33, 6, 0}, {34, 0, 6}, {34, 1, 6}, {32, 3, -1}, {65, 3, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(FocusAfterKey(c.key, c.from, 7, 3, 2, false), c.to) << c.key << " " << c.from;
    // Horizontal: lines are columns of 3.
    struct Case h[] = {{40, 2, 3}, {38, 0, 0}, {39, 1, 4}, {39, 6, 6}, {39, 4, 6}, {37, 4, 1}, {37, 2, 2}};
    for (const auto& c : h) EXPECT_EQ(FocusAfterKey(c.key, c.from, 7, 3, 2, true), c.to) << c.key << " " << c.from;
    // 8 items: the last line holds 6 and 7. From its first item the step
    // across lines stays put, rather than running to the last item.
    struct Case last[] = {{39, 6, 6}, {39, 5, 7}, {40, 7, 7}};
    for (const auto& c : last) EXPECT_EQ(FocusAfterKey(c.key, c.from, 8, 3, 2, true), c.to) << c.key << " " << c.from;
    EXPECT_EQ(FocusAfterKey(40, 6, 8, 3, 2, false), 6);
    EXPECT_EQ(FocusAfterKey(40, 5, 8, 3, 2, false), 7);
    EXPECT_EQ(FocusAfterKey(40, 2, 7, 3, 2, false, true), 2);
    EXPECT_EQ(FocusAfterKey(35, 2, 7, 3, 2, false, true), 6);
    EXPECT_EQ(FocusAfterKey(36, 0, 0, 3, 2, false), -1);
}

TEST(Keys, ScrollBringsTheFocusIntoView)
{
    Grid g{{100, 80}, 2, 3, 0, 20, false};
    EXPECT_EQ(ScrollForFocus(g, 4, 5), 0);
    EXPECT_EQ(ScrollForFocus(g, 4, 7), 1);    // down one line from a visible focus
    EXPECT_EQ(ScrollForFocus(g, 4, 19), 5);
    g.topIndex = 9;
    EXPECT_EQ(ScrollForFocus(g, 0, 19), 6 - (3 + 2 - 1));  // old focus out of view
    EXPECT_EQ(ScrollForFocus(g, 18, 0), -3);
}

namespace {

void Fill(ThumbnailList& l, int n)
{
    for (int k = 0; k < n; ++k) l.Insert(-1, CThumbnailItem::FromFile("/x/f" + std::to_string(k) + ".bmp", itemBmp, "", ""));
}

} // namespace

TEST(Selection, LimitsAndBeeps)
{
    ThumbnailList l;
    Fill(l, 5);
    SelectResult r = ClickSelect(l, 1, 0);
    EXPECT_TRUE(r.beep);
    EXPECT_TRUE(l.selected.empty());

    // Limit 2: a third selection beeps; a click on a selected item deselects it.
    EXPECT_TRUE(ClickSelect(l, 3, 2).changed);
    EXPECT_TRUE(ClickSelect(l, 1, 2).changed);
    r = ClickSelect(l, 4, 2);
    EXPECT_TRUE(r.beep);
    EXPECT_FALSE(r.changed);
    EXPECT_EQ(l.selected, (std::vector<uint32_t>{1, 3}));
    r = ClickSelect(l, 3, 2);
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(l.selected, (std::vector<uint32_t>{1}));

    // Limit 1 moves the selection; the property set moves the focus too.
    r = ClickSelect(l, 4, 1);
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.other, 1);
    EXPECT_EQ(l.selected, (std::vector<uint32_t>{4}));
    r = SetItemSelected(l, 2, true, 1);
    EXPECT_EQ(l.focus, 2);
    EXPECT_EQ(l.selected, (std::vector<uint32_t>{2}));
    EXPECT_EQ(r.other, 4);

    // Unlimited toggles; selecting a selected item through the property is
    // a quiet success.
    r = SetItemSelected(l, 2, true, -1);
    EXPECT_FALSE(r.changed);
    EXPECT_TRUE(SetItemSelected(l, 0, true, -1).changed);
    EXPECT_TRUE(SetItemSelected(l, 0, false, 3).changed);
    EXPECT_TRUE(SetItemSelected(l, 4, true, 0).beep);

    EXPECT_FALSE(SelectAllAllowed(5, 3));
    EXPECT_TRUE(SelectAllAllowed(5, 5));
    EXPECT_TRUE(SelectAllAllowed(5, -1));
    EXPECT_FALSE(SelectAllAllowed(5, 1));
    EXPECT_FALSE(SelectAllAllowed(0, -1));
}

TEST(Selection, InsertRemoveAndSortKeepIndicesInStep)
{
    ThumbnailList l;
    Fill(l, 4);
    l.SetSelectionFlag(1, true);
    l.SetSelectionFlag(3, true);
    l.Insert(0, CThumbnailItem::FromFile("/x/a.bmp", itemBmp, "", ""));
    EXPECT_EQ(l.selected, (std::vector<uint32_t>{2, 4}));
    l.Insert(l.count(), CThumbnailItem::FromFile("/x/z.bmp", itemBmp, "", ""));
    EXPECT_EQ(l.count(), 6);
    l.focus = 5;
    l.RemoveAt(2);
    EXPECT_EQ(l.selected, (std::vector<uint32_t>{3}));
    EXPECT_EQ(l.focus, 4);
    l.focus = 0;
    l.RemoveAt(0);
    EXPECT_EQ(l.focus, 0);

    // Descending names; the selected item keeps its flag and index follows it.
    l.Sort(sortFileName, orderDescending);
    std::vector<std::string> names;
    for (const auto& it : l.items) names.push_back(it->namePart);
    EXPECT_EQ(names, (std::vector<std::string>{"z.bmp", "f3.bmp", "f2.bmp", "f0.bmp"}));
    EXPECT_EQ(l.selected, (std::vector<uint32_t>{1}));
    EXPECT_TRUE(l.items[1]->selected);

    EXPECT_TRUE(l.SetSelectionFlag(-1, true));
    EXPECT_FALSE(l.SetSelectionFlag(-1, true));
    EXPECT_EQ(l.selected.size(), 4u);
    EXPECT_TRUE(l.SetSelectionFlag(-1, false));
    EXPECT_TRUE(l.selected.empty());

    EXPECT_EQ(NamePart("C:\\a\\b.tif"), "b.tif");
    EXPECT_EQ(NamePart("http://h/p/c.png"), "c.png");
}

TEST(Captions, TextPerKindWithTheSeveralPagesMark)
{
    std::unique_ptr<CThumbnailItem> item(CThumbnailItem::FromFile("/data/pages.tif", itemTiff, "k", "l"));
    item->multiPage = true;
    EXPECT_EQ(CaptionText(captionNumber, 0, *item), QStringLiteral("(*)1"));
    EXPECT_EQ(CaptionText(captionFileName, 4, *item), QStringLiteral("(*)pages.tif"));
    item->multiPage = false;
    EXPECT_EQ(CaptionText(captionKey, 0, *item), QStringLiteral("k"));
    EXPECT_EQ(CaptionText(captionLabel, 0, *item), QStringLiteral("l"));
    EXPECT_TRUE(CaptionText(captionNone, 0, *item).isEmpty());
}
