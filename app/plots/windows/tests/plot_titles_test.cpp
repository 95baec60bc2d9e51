// The main window's plot commands with the real plot windows: the titles a
// user types into a plot window's boxes, and Chord Plot while the contour
// window's options are open.
#include "app/core/gui/tests/gui_fixture.h"

#include "plots/windows/frm_3dchart.h"
#include "plots/windows/frm_contour.h"
#include "plots/windows/frm_diagonal.h"
#include "plots/windows/plot_windows.h"

#include "platform/accessibility.h"

#include <QTest>

#include <functional>

using namespace guitest;

namespace {

class PlotTitles : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        plots::InstallPlotWindows();
    }
    // A phase image of its own name, loaded and calculated.
    void LoadAndCalculate(const std::string& name, int cols = 80)
    {
        const std::string img = dir.file(name);
        WritePhaseTiff(img, cols, 60, 0.5);
        dialogs.queueFile(img);
        QTest::mouseClick(gui::frmAnalysis().cmdLoadFile, Qt::LeftButton);
        QTest::mouseClick(gui::frmAnalysis().cmdUnwrap, Qt::LeftButton);
        ASSERT_TRUE(gui::frmAnalysis().cmd3DPlot->isEnabled()) << Messages();
    }
    // Types into a title box as a user does: select all, type, Return.
    static void TypeTitle(QLineEdit* box, const QString& text)
    {
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        if (!text.isEmpty()) QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Return);
    }
};

// One plot window as the title rules see it.
struct Plot {
    const char* name;
    QPushButton* gui::FrmAnalysis::*command;
    std::function<QLineEdit*()> header, footer;   // footer null: the window has none
    std::function<QString()> chartHeader, chartFooter;
};

std::vector<Plot> Plots()
{
    return {
        {"3D", &gui::FrmAnalysis::cmd3DPlot, [] { return plots::frm3DChart().txtHeader; },
         [] { return plots::frm3DChart().txtFooter; }, [] { return plots::frm3DChart().ChartHeader(); },
         [] { return plots::frm3DChart().ChartFooter(); }},
        {"contour", &gui::FrmAnalysis::cmdContour, [] { return plots::frmContour().txtHeader; },
         [] { return plots::frmContour().txtFooter; }, [] { return plots::frmContour().ChartHeader(); },
         [] { return plots::frmContour().ChartFooter(); }},
        {"diagonal", &gui::FrmAnalysis::cmdDiagonal, [] { return plots::frmDiagonal().txtHeader; }, nullptr,
         [] { return plots::frmDiagonal().ChartHeader(); }, nullptr},
    };
}

} // namespace

TEST_F(PlotTitles, ATypedTitleStaysWithItsImageAndAnEmptyBoxIsAutomatic)
{
    StartAndConfirm();
    auto& main = gui::frmAnalysis();
    for (const Plot& p : Plots()) {
        SCOPED_TRACE(p.name);
        LoadAndCalculate("First_ph.tif");
        QTest::mouseClick(main.*p.command, Qt::LeftButton);
        const QString autoFooter = p.chartFooter ? p.chartFooter() : QString();
        if (p.footer) {
            ASSERT_FALSE(autoFooter.isEmpty());
        }

        // Typed, then kept across a recalculation of the same image.
        TypeTitle(p.header(), "Panel 7 after reflow");
        QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
        QTest::mouseClick(main.*p.command, Qt::LeftButton);
        EXPECT_EQ("Panel 7 after reflow", p.chartHeader().toStdString());
        EXPECT_EQ("Panel 7 after reflow", p.header()->text().toStdString());

        // Another image: its own automatic titles.
        LoadAndCalculate("Second_ph.tif", 70);
        QTest::mouseClick(main.*p.command, Qt::LeftButton);
        EXPECT_EQ("Second_ph.tif", p.chartHeader().toStdString());
        EXPECT_EQ("Second_ph.tif", p.header()->text().toStdString());
        if (p.footer) {
            EXPECT_FALSE(p.chartFooter().isEmpty());
            EXPECT_EQ(p.chartFooter(), p.footer()->text());
        }

        // Cleared boxes: automatic titles on this plot and every later one.
        TypeTitle(p.header(), "");
        if (p.footer) TypeTitle(p.footer(), "");
        QTest::mouseClick(main.*p.command, Qt::LeftButton);
        EXPECT_EQ("Second_ph.tif", p.chartHeader().toStdString());
        EXPECT_EQ("Second_ph.tif", p.header()->text().toStdString());
        if (p.footer) {
            EXPECT_FALSE(p.chartFooter().isEmpty());
        }
        LoadAndCalculate("Third_ph.tif");
        QTest::mouseClick(main.*p.command, Qt::LeftButton);
        EXPECT_EQ("Third_ph.tif", p.chartHeader().toStdString());
        if (p.footer) {
            EXPECT_FALSE(p.chartFooter().isEmpty());
            EXPECT_EQ(p.chartFooter(), p.footer()->text());
        }

        // A title typed for the next image before its first plot is its own.
        LoadAndCalculate("Fourth_ph.tif");
        TypeTitle(p.header(), "Fourth panel");
        QTest::mouseClick(main.*p.command, Qt::LeftButton);
        EXPECT_EQ("Fourth panel", p.chartHeader().toStdString());
    }
}

TEST_F(PlotTitles, ChordPlotClosesTheContourOptionsSoReduceDataStays)
{
    StartAndConfirm();
    LoadAndCalculate("First_ph.tif");
    auto& main = gui::frmAnalysis();
    QTest::mouseClick(main.cmdContour, Qt::LeftButton);
    plots::FrmContour& w = plots::frmContour();
    QTest::mouseClick(w.cmdCustomize, Qt::LeftButton);
    ASSERT_TRUE(w.OptionsShown());
    ASSERT_TRUE(w.chkReduceData->isVisible());

    QTest::mouseClick(main.cmdChordPlot, Qt::LeftButton);
    EXPECT_FALSE(w.OptionsShown());
    // Reduce Data is out of reach while the chord is picked on the reduced grid.
    EXPECT_FALSE(w.chkReduceData->isVisible());
    EXPECT_TRUE(w.chkReduceData->isChecked());
    EXPECT_FALSE(w.cmdCustomize->isEnabled());
    EXPECT_EQ("Show Options", platform::VisibleCaption(w.cmdCustomize->text()).toStdString());
}
