// A batch run on a desktop with a window manager (Xvfb and openbox), the
// user's Diagonal Plot open beside it: a real click on Normalize and the
// window manager's close (Alt+F4) given to the plot during the run. The plot
// keeps the user's image and closes once the run has ended.
#include "app/core/gui/tests/gui_fixture.h"

#include "app/batch/gui/frm_batch_processing.h"
#include "app/sorvanta/program_windows.h"
#include "app/core/model/hold.h"
#include "plots/windows/frm_diagonal.h"
#include "plots/windows/plot_windows.h"
#include "testsupport/accessible_names.h"
#include "testsupport/desktop_session.h"
#include "testsupport/desktop_windows.h"

#include <QTest>
#include <QTimer>

#include <sstream>

namespace {

testsupport::DesktopSession& Desktop()
{
    static testsupport::DesktopSession desktop(1024, 768);
    return desktop;
}

class HoldOnDesktop : public guitest::GuiTest {
protected:
    void SetUp() override
    {
        if (!Desktop().ok()) GTEST_SKIP() << Desktop().whyNot();
        GuiTest::SetUp();
        gui::SetWindowFactories(sorvanta::ProgramWindows());
    }
};

// Sees the input that reaches one window (before anything takes it).
struct InputWatch : QObject {
    explicit InputWatch(QWidget* w) : window(w) {}
    QWidget* window;
    bool pressed = false, closed = false;
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (!o->isWidgetType() || static_cast<QWidget*>(o)->window() != window) return false;
        if (e->type() == QEvent::MouseButtonRelease) pressed = true;
        if (e->type() == QEvent::Close && e->spontaneous()) closed = true;
        return false;
    }
};

std::string Describe(const charts::Chart2D& c)
{
    std::ostringstream s;
    s << c.headerText().toStdString() << " | " << c.footerText().toStdString() << " | " << c.pointCount();
    double sum = 0;
    for (int k = 1; k <= c.seriesCount(); ++k)
        for (int i = 0; i < c.pointCount(); ++i) sum += c.y(k, i);
    s << " | " << sum;
    return s.str();
}

void WriteWholePhase(const std::string& path, int cols, int rows, double fringe, const std::string& surface)
{
    std::string err;
    auto z = synth::ParseSurface(surface, cols, rows, &err);
    auto px = synth::WrapToPhase(cols, rows, z, fringe, synth::ParseBlank("none", cols, rows, &err));
    ASSERT_EQ(0, strandel::WriteTIFFFile(path, uint16_t(cols), uint16_t(rows), synth::MakeHeader(fringe, cols, rows),
                                         px.data()))
        << path;
}

} // namespace

TEST_F(HoldOnDesktop, TheUsersPlotTakesNoClickAndNoCloseDuringABatchRun)
{
    const std::string sample = dir.file("Sample_ph.tif");
    const std::string folder = dir.file("Panel 7");
    std::filesystem::create_directories(folder);
    WriteWholePhase(sample, 80, 60, 0.5, "dome:0.0004+plane:0.002,0.001,0");
    WriteWholePhase(folder + "/m01_ph.tif", 120, 90, 10.0, "saddle:0.003");
    WriteWholePhase(folder + "/m02_ph.tif", 120, 90, 10.0, "cylinder:0.004,100");
    StartAndConfirm(sample);
    gui::FrmAnalysis& main = gui::frmAnalysis();
    main.ShowWindow();
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    ASSERT_TRUE(main.cmdDiagonal->isEnabled()) << Messages();

    QTest::mouseClick(main.cmdBatchProcess, Qt::LeftButton);
    batch::FrmBatchProcessing& b = batch::frmBatchProcessing();
    dialogs.queueFolder(folder);
    QTest::mouseClick(b.cmdBrowse, Qt::LeftButton);
    b.hide();   // the run is started below; the plot is the window in front

    main.cmdDiagonal->click();
    plots::FrmDiagonal& d = plots::frmDiagonal();
    if (!d.frame->panelShown()) d.frame->cmdCustomize_Click();
    // The plot in front, as the user brings it, once the window manager has it.
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        return testsupport::PlacedByWindowManager(d) && d.windowHandle()->isExposed();
    })) << testsupport::Placement(d);
    testsupport::Shell("xdotool windowactivate --sync " + std::to_string(d.winId()));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::ReadyForInput(d); }))
        << testsupport::Placement(d) << " exposed " << d.windowHandle()->isExposed() << " active " << d.isActiveWindow()
        << " " << (QApplication::activeWindow() ? QApplication::activeWindow()->objectName().toStdString() : "none");
    const std::string before = Describe(d.chart());
    const size_t messagesBefore = messages.records.size();

    bool held = false, openDuring = false, normalizedDuring = true;
    QTimer::singleShot(0, &b, [&] {
        held = model::SingleImageHeld();
        InputWatch watch(&d);
        qApp->installEventFilter(&watch);
        testsupport::ClickAt(d.chkNormalize->mapToGlobal(QPoint(6, d.chkNormalize->height() / 2)));   // on its box
        EXPECT_TRUE(testsupport::WaitUntil([&] { return watch.pressed; }));
        testsupport::TypeInto(d, "alt+F4");
        EXPECT_TRUE(testsupport::WaitUntil([&] { return watch.closed; }));
        qApp->removeEventFilter(&watch);
        openDuring = d.isVisible();
        normalizedDuring = d.chkNormalize->isChecked();
    });
    b.cmdGetBatchData->click();
    ASSERT_EQ(b.LastRun().end, batch::RunEnd::Completed) << Messages();
    EXPECT_TRUE(held);
    EXPECT_TRUE(openDuring) << "the plot closed during the run";
    EXPECT_FALSE(normalizedDuring) << "Normalize was clicked during the run";
    EXPECT_EQ(Describe(d.chart()), before) << "the plot shows what the run analysed";
    EXPECT_EQ(messages.records.size(), messagesBefore) << Messages();
    EXPECT_TRUE(testsupport::WaitUntil([&] { return !d.isVisible(); })) << "the close waits for the end of the run";
}
