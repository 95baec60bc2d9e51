// The main window under a hurried user: commands clicked before anything was
// typed, clicked twice, or clicked while another one still runs.
#include "gui_fixture.h"

#include "platform/guiservices.h"
#include "platform/picturebuffer.h"

#include <QFileDialog>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

using namespace guitest;

TEST_F(GuiTest, CalculateParametersOnAFreshStartAsksForTheSampleSize)
{
    const std::string img = dir.file("Part1_ph.tif");
    WritePhaseTiff(img, 80, 60, 0.5);
    StartAndConfirm(img);
    auto& main = gui::frmAnalysis();
    ASSERT_TRUE(main.txtSampleWidth->text().isEmpty());
    ASSERT_TRUE(main.txtSampleHeight->text().isEmpty());
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    ASSERT_TRUE(main.cmdParameters->isEnabled()) << Messages();
    messages.records.clear();
    QTest::mouseClick(main.cmdParameters, Qt::LeftButton);
    ASSERT_EQ(1u, messages.records.size()) << Messages();
    EXPECT_EQ("Information Missing", messages.records[0].title);
    EXPECT_EQ("Parameters require image physical Width and Height.", messages.records[0].text);
    EXPECT_EQ(16, messages.records[0].style);
}

namespace {

void PostClick(QWidget* w, bool dbl = false)
{
    const QPointF at = QRectF(w->rect()).center();
    auto post = [&](QEvent::Type t, Qt::MouseButtons held) {
        QCoreApplication::postEvent(w, new QMouseEvent(t, at, w->mapToGlobal(at), Qt::LeftButton, held,
                                                       Qt::NoModifier));
    };
    post(dbl ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress, Qt::LeftButton);
    post(QEvent::MouseButtonRelease, Qt::NoButton);
}

} // namespace

TEST_F(GuiTest, ClicksGivenWhileTheAnalysisRunsAreDropped)
{
    const std::string img = dir.file("Part1_ph.tif");
    WritePhaseTiff(img, 80, 60, 0.5);
    StartAndConfirm(img);
    auto& main = gui::frmAnalysis();
    main.show();

    // Every run shows the wait cursor once, from its start; the clicks of the
    // hurried user reach the program while the first run works.
    int runs = 0;
    bool exitEnabledDuringRun = true;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!QApplication::overrideCursor()) return;
        QApplication::restoreOverrideCursor();
        if (++runs > 1) return;
        exitEnabledDuringRun = main.cmdExit->isEnabled();
        PostClick(main.cmdUnwrap, true); // the second half of a double click
        PostClick(main.cmdExit);
    });
    watch.start();
    messages.records.clear();
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();

    EXPECT_EQ(1, runs);
    EXPECT_FALSE(exitEnabledDuringRun);
    EXPECT_TRUE(messages.records.empty()) << Messages(); // no "Are you sure you want to quit?"
    EXPECT_EQ(0, exitCalls);
    // The commands work again once the run is over.
    EXPECT_TRUE(main.cmdExit->isEnabled());
    EXPECT_TRUE(main.cmdParameters->isEnabled());
    messages.queue(platform::kAnsNo);
    QTest::mouseClick(main.cmdExit, Qt::LeftButton);
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("Are you sure you want to quit?", messages.records[0].text);
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    EXPECT_EQ(2, runs);
}

TEST_F(GuiTest, ThePictureStaysWhileSaveDataFilesDialogIsOpen)
{
    const std::string img = dir.file("Part1_ph.tif");
    WritePhaseTiff(img, 80, 60, 0.5);
    StartAndConfirm(img);
    auto& main = gui::frmAnalysis();
    main.show();
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    QApplication::processEvents();
    const QImage before = main.Picbuf1->grab().toImage();

    // The real dialog, closed by the user once the main window was looked at.
    platform::SetFileDialogHandler(platform::ShowQtFileDialog);
    bool seen = false;
    QTimer look;
    look.setInterval(50);
    QObject::connect(&look, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        seen = true;
        EXPECT_EQ("Save Data File", dialog->windowTitle().toStdString());
        EXPECT_TRUE(main.isVisible());
        EXPECT_FALSE(main.isMinimized());
        EXPECT_TRUE(main.Picbuf1->isVisible());
        EXPECT_EQ(before, main.Picbuf1->grab().toImage());
        dialog->reject();
    });
    look.start();
    QTest::mouseClick(main.cmdSaveData, Qt::LeftButton);
    EXPECT_TRUE(seen);
    EXPECT_EQ(before, main.Picbuf1->grab().toImage());
}
