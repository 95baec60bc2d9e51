// The batch window under a hurried user: a double click on a command runs it
// once, and a file handed over by a second start while a run works opens
// once the run has ended.
#include "app/batch/config/frm_batch_configuration.h"
#include "app/batch/gui/frm_batch_processing.h"
#include "app/batch/tests/batch_test_util.h"
#include "app/core/gui/frm_analysis.h"
#include "app/core/gui/startup.h"
#include "app/core/gui/tests/gui_fixture.h"
#include "platform/commandguards.h"
#include "testsupport/accessible_names.h"

#include <QApplication>
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <filesystem>
#include <functional>

namespace {

// Counts the runs of the batch: each disables the window while it works.
struct RunCounter : QObject {
    int runs = 0;
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::EnabledChange && !static_cast<QWidget*>(o)->isEnabled()) ++runs;
        return false;
    }
};

class BatchClicks : public guitest::GuiTest {
protected:
    std::string folder;

    void SetUp() override
    {
        GuiTest::SetUp();
        batch::InstallBatchWindows();
        batchcfg::InstallBatchConfigurationWindow();
        folder = dir.file("Quick");
        std::filesystem::create_directories(folder);
        batchtest::WritePhase(folder + "/a_plane_ph.tif", 61, 41, "plane:0.0390625,0.078125,0", true);
        batchtest::WritePhase(folder + "/b_bow_ph.tif", 61, 41, "cylinder:0.002,30", true);
    }

    batch::FrmBatchProcessing& OpenOnFolder()
    {
        StartAndConfirm();
        QTest::mouseClick(gui::frmAnalysis().cmdBatchProcess, Qt::LeftButton);
        batch::FrmBatchProcessing& w = batch::frmBatchProcessing();
        EXPECT_TRUE(w.isVisible());
        dialogs.queueFolder(folder);
        QTest::mouseClick(w.cmdBrowse, Qt::LeftButton);
        return w;
    }

    // A double click of the user's on the button, through the window as the
    // window system delivers it.
    static void DoubleClick(QPushButton* b)
    {
        ASSERT_TRUE(b->isVisible() && b->isEnabled()) << b->objectName().toStdString();
        // Scrolled into view first, as a user on a small screen does.
        for (QWidget* p = b->parentWidget(); p; p = p->parentWidget())
            if (auto* area = qobject_cast<QScrollArea*>(p)) area->ensureWidgetVisible(b);
        QWidget* w = b->window();
        QTest::mouseDClick(w->windowHandle(), Qt::LeftButton, {}, b->mapTo(w, b->rect().center()));
    }
};

} // namespace

TEST_F(BatchClicks, ADoubleClickOnACommandRunsItOnce)
{
    batch::FrmBatchProcessing& w = OpenOnFolder();
    RunCounter counter;
    w.installEventFilter(&counter);
    int configure = 0, thumbnails = 0;
    w.onConfigure = [&] { ++configure; };
    w.onViewThumbnails = [&] { ++thumbnails; };

    const struct {
        const char* command;
        QPushButton* button;
        std::function<int()> count;
    } cases[] = {
        {"Get Batch Data", w.cmdGetBatchData, [&] { return counter.runs; }},
        {"Configure...", w.cmdConfigure3D, [&] { return configure; }},
        {"View Thumbnails", w.cmdViewThumbnails, [&] { return thumbnails; }},
    };
    for (const auto& c : cases) {
        const int before = c.count();
        const int dropped = platform::DroppedSecondClicks();
        if (c.button == w.cmdViewThumbnails) c.button->setEnabled(true);   // as Generate Output leaves it
        DoubleClick(c.button);
        EXPECT_EQ(before + 1, c.count()) << c.command;
        EXPECT_EQ(dropped + 1, platform::DroppedSecondClicks()) << c.command;
    }
    EXPECT_EQ(2, w.LastRun().processed);
    w.removeEventFilter(&counter);
}

TEST_F(BatchClicks, AFileHandedOverDuringARunOpensAfterIt)
{
    const std::string other = dir.file("Other_ph.tif");
    guitest::WritePhaseTiff(other, 64, 48, 0.5);
    batch::FrmBatchProcessing& w = OpenOnFolder();
    bool handed = false;
    std::string currentAfterHandOver = "?";
    QTimer duringRun;
    duringRun.setInterval(0);
    QObject::connect(&duringRun, &QTimer::timeout, [&] {
        if (handed || w.isEnabled()) return;
        handed = true;
        gui::ReceiveCommandLine(other);
        currentAfterHandOver = model::files.PhaseImageFile;
    });
    duringRun.start();
    messages.records.clear();
    QTest::mouseClick(w.cmdGetBatchData, Qt::LeftButton);
    ASSERT_TRUE(handed);
    EXPECT_EQ("", currentAfterHandOver);   // nothing was loaded in the middle of the run
    EXPECT_EQ(batch::RunEnd::Completed, w.LastRun().end);
    EXPECT_EQ(2, w.LastRun().processed);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return model::files.PhaseImageFile == other; }));
    EXPECT_TRUE(messages.records.empty()) << Messages();
}

TEST_F(BatchClicks, AFileHandedOverWhileOutputIsGeneratedOpensAfterIt)
{
    const std::string other = dir.file("Other_ph.tif");
    guitest::WritePhaseTiff(other, 64, 48, 0.5);
    batch::FrmBatchProcessing& w = OpenOnFolder();
    if (!w.chkSaveData->isChecked()) QTest::mouseClick(w.chkSaveData, Qt::LeftButton, {}, QPoint(6, w.chkSaveData->height() / 2));
    ASSERT_TRUE(w.chkSaveData->isChecked());
    QTest::mouseClick(w.cmdGetBatchData, Qt::LeftButton);
    ASSERT_TRUE(w.cmdGenerateOutput->isEnabled()) << Messages();
    // The output puts the image in memory back when it ends; a file handed
    // over meanwhile must not be put back over.
    bool handed = false;
    QTimer duringOutput;
    duringOutput.setInterval(0);
    QObject::connect(&duringOutput, &QTimer::timeout, [&] {
        if (handed || w.isEnabled()) return;
        handed = true;
        gui::ReceiveCommandLine(other);
    });
    duringOutput.start();
    messages.records.clear();
    QTest::mouseClick(w.cmdGenerateOutput, Qt::LeftButton);
    ASSERT_TRUE(handed);
    EXPECT_TRUE(std::filesystem::exists(folder + "/a_plane_ab.dat"));
    EXPECT_TRUE(testsupport::WaitUntil([&] { return model::files.PhaseImageFile == other; }));
    EXPECT_EQ(64, model::images.ImageCols);
    EXPECT_EQ(64, model::images.PhaseImage.cols());
    EXPECT_TRUE(model::state.PhaseInMemory);
    EXPECT_TRUE(messages.records.empty()) << Messages();
}
