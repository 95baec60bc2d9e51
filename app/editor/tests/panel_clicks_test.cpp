// The editor's command column under a hurried user: every command keeps its
// place whatever the panel shows, a double click runs the command under the
// pointer once (its second click never reaches the command that takes the
// place), and Cancel asks before it throws drawn regions away.
#include "app/core/gui/frm_analysis.h"
#include "app/core/model/model.h"
#include "app/editor/core/mask_ops.h"
#include "app/editor/gui/frm_domain_name.h"
#include "app/editor/gui/frm_jobs.h"
#include "app/editor/gui/frm_phase_image.h"
#include "editor_test_util.h"
#include "platform/commandguards.h"
#include "platform/dialogs.h"
#include "platform/folderjobs.h"
#include "platform/picturebuffer.h"
#include "platform/messages.h"
#include "tools/synth/synth.h"

#include "testsupport/accessible_names.h"
#include "testsupport/offscreen_app.h"
#include "testsupport/windows/standin_windows.h"

#include <QCloseEvent>
#include <QTest>
#include <QWindow>

#include <functional>
#include <map>

using namespace editor;

namespace {

class EditorPanel : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::OffscreenApp();
        model::ResetModel();
        platform::SetBaseFolder(dir.file("base"));
        platform::SetSystemFolder(testsupport::BinDir());
        std::filesystem::create_directories(platform::ResultsFolder());
        testsupport::standins::InstallStandinWindows();
        InstallEditorWindows();
        model::state.StartupInProgress = false;
        model::files.WorkingFolder = dir.path().string() + "/";
        const std::string image = dir.file("part_ph.tif");
        std::string err;
        const auto z = synth::ParseSurface("plane:0.001,0,0", 200, 150, &err);
        const auto px = synth::WrapToPhase(200, 150, z, 0.5);
        ASSERT_EQ(0, strandel::WriteTIFFFile(image, 200, 150, synth::MakeHeader(0.5, 200, 150), px.data()));
        gui::frmAnalysis().LoadPhaseImage(image);
        ASSERT_TRUE(model::state.PhaseInMemory);
    }
    void TearDown() override
    {
        FrmDomainName::ModalHook() = nullptr;
        DestroyDomainNameDialog();
        DestroyJobWindows();
        if (gui::frmAnalysisExists()) delete &gui::frmAnalysis();
        gui::DestroyWindows();
    }
    FrmPhaseImage& W() { return frmPhaseImage(); }
    // A click of the user's: pressed and released on the button, through
    // the window as the window system delivers it.
    void Click(QPushButton* b)
    {
        ASSERT_TRUE(b->isVisible()) << b->objectName().toStdString();
        QTest::mouseClick(W().windowHandle(), Qt::LeftButton, {}, At(b));
    }
    // A double click on the button: the second click lands wherever the
    // first one left the panel.
    void DoubleClick(QPushButton* b)
    {
        ASSERT_TRUE(b->isVisible()) << b->objectName().toStdString();
        QTest::mouseDClick(W().windowHandle(), Qt::LeftButton, {}, At(b));
    }
    QPoint At(QWidget* b) { return b->mapTo(&W(), b->rect().center()); }
    void AddMaskRegion(int l, int t)
    {
        W().bufDisplay->setRoi(l, t, 20, 10);
        Click(W().cmdAddMaskRegion);
    }
    void AddDomain(int l, int t)
    {
        W().bufDisplay->setRoi(l, t, 30, 20);
        Click(W().cmdAddPartitionDomain);
    }
    void OpenPartition()
    {
        gui::frmAnalysis().cmdCrop_Click();
        Click(W().cmdPartitionAndCrop);
        Click(W().cmdCreatePartition);
        frmDomainName().chkAutomaticallyNumberDomains->setChecked(true);
    }

    testsupport::TempDir dir;
    platform::ScriptedMessages messages;
    platform::ScriptedDialogs dialogs;
};

} // namespace

TEST_F(EditorPanel, EveryCommandKeepsItsPlaceInEveryState)
{
    FrmPhaseImage& w = W();
    // The three positions the commands share, and Return below them.
    const std::vector<std::vector<QPushButton*>> positions = {
        {w.cmdCreateMask, w.cmdCropImage, w.cmdCreatePartition, w.cmdClearMask, w.cmdAddMaskRegion,
         w.cmdClearPartition, w.cmdAddPartitionDomain, w.cmdCropFinished, w.cmdCrop},
        {w.cmdLoadMask, w.cmdLoadPartition, w.cmdUndoCrop, w.cmdCropDomains, w.cmdCropCancel, w.cmdMaskCancel,
         w.cmdUndoLastDomain, w.cmdUndoLastMask, w.cmdPartitionAndCrop, w.cmdBatchBurn},
        {w.cmdMaskDone, w.cmdPartitionDone, w.cmdBurnMask},
        {w.cmdReturn}};
    std::map<size_t, int> tops;   // position -> top of its commands in the window
    std::map<size_t, std::string> firstSeen;
    int states = 0;
    auto look = [&](const std::string& state) {
        QApplication::processEvents();
        ++states;
        for (size_t p = 0; p < positions.size(); ++p)
            for (QPushButton* b : positions[p]) {
                if (!b->isVisible()) continue;
                const int top = b->mapTo(&w, QPoint(0, 0)).y();
                const std::string who = b->objectName().toStdString() + " in " + state;
                if (!tops.count(p)) tops[p] = top, firstSeen[p] = who;
                EXPECT_EQ(tops[p], top) << who << " against " << firstSeen[p];
            }
    };
    gui::frmAnalysis().cmdMask_Click();
    look("the mask role");
    Click(w.cmdCreateMask);
    look("an empty mask");
    AddMaskRegion(10, 10);
    look("a mask with a region");
    Click(w.cmdUndoLastMask);
    look("a mask after Undo Last");
    AddMaskRegion(10, 10);
    dialogs.queueFileCancel();
    Click(w.cmdMaskDone);
    look("a finished mask");
    Click(w.cmdClearMask);
    Click(w.cmdReturn);
    gui::frmAnalysis().cmdCrop_Click();
    look("the crop role");
    Click(w.cmdCropImage);
    look("placing a crop");
    Click(w.cmdCrop);
    look("a crop preview");
    Click(w.cmdUndoCrop);
    Click(w.cmdCropCancel);
    Click(w.cmdPartitionAndCrop);
    look("the partition choice");
    Click(w.cmdCreatePartition);
    frmDomainName().chkAutomaticallyNumberDomains->setChecked(true);
    look("an empty partition");
    AddDomain(10, 10);
    look("a partition with a domain");
    dialogs.queueFileCancel();
    Click(w.cmdPartitionDone);
    look("a finished partition");
    EXPECT_EQ(12, states);
    EXPECT_EQ(4u, tops.size());
    EXPECT_LT(tops[0], tops[1]);
    EXPECT_LT(tops[1], tops[2]);
    EXPECT_LT(tops[2], tops[3]);
}

TEST_F(EditorPanel, ADoubleClickRunsTheCommandUnderThePointerOnce)
{
    const struct {
        const char* command;
        std::function<void()> prepare;
        std::function<QPushButton*()> target;
        std::function<void()> check;
    } cases[] = {
        {"Undo Last with three mask regions",
         [&] {
             gui::frmAnalysis().cmdMask_Click();
             Click(W().cmdCreateMask);
             AddMaskRegion(10, 10);
             AddMaskRegion(50, 10);
             AddMaskRegion(90, 10);
         },
         [&] { return W().cmdUndoLastMask; },
         [&] {
             // One region taken out; the others and the open mask stay.
             EXPECT_TRUE(MaskHasRegions());
             EXPECT_EQ(0, model::images.MaskImage(10, 10));
             EXPECT_EQ(255, model::images.MaskImage(90, 10));
             EXPECT_TRUE(W().cmdAddMaskRegion->isVisible());
             EXPECT_TRUE(W().cmdMaskCancel->isVisible());
             EXPECT_TRUE(messages.records.empty()) << messages.records.front().text;
         }},
        {"Undo Last on a partition",
         [&] {
             OpenPartition();
             AddDomain(10, 10);
             AddDomain(60, 10);
         },
         [&] { return W().cmdUndoLastDomain; },
         [&] {
             EXPECT_EQ(1, W().cmbDomains->count());
             EXPECT_TRUE(W().cmdAddPartitionDomain->isVisible());
             EXPECT_FALSE(model::state.PartitionInMemory);
             EXPECT_TRUE(dialogs.fileRequests.empty());   // Finished never asked for a name
         }},
        {"Create Partition",
         [&] {
             gui::frmAnalysis().cmdCrop_Click();
             Click(W().cmdPartitionAndCrop);
         },
         [&] { return W().cmdCreatePartition; },
         [&] {
             EXPECT_TRUE(W().cmdAddPartitionDomain->isVisible());
             EXPECT_EQ(0, W().cmbDomains->count());
             EXPECT_FALSE(frmDomainName().isVisible());
         }},
        {"Create Mask", [&] { gui::frmAnalysis().cmdMask_Click(); }, [&] { return W().cmdCreateMask; },
         [&] {
             EXPECT_TRUE(W().cmdAddMaskRegion->isVisible());
             EXPECT_FALSE(MaskHasRegions());
             EXPECT_FALSE(W().cmdMaskDone->isVisible());
         }},
        {"Crop Image", [&] { gui::frmAnalysis().cmdCrop_Click(); }, [&] { return W().cmdCropImage; },
         [&] {
             EXPECT_TRUE(W().cmdCrop->isVisible());
             EXPECT_FALSE(W().cmdCropFinished->isVisible());
             EXPECT_EQ(200, W().bufDisplay->imageWidth());   // not cropped
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        TearDown();
        SetUp();
        c.prepare();
        messages.records.clear();
        dialogs.fileRequests.clear();
        dialogs.queueFileCancel();
        const int dropped = platform::DroppedSecondClicks();
        DoubleClick(c.target());
        EXPECT_EQ(dropped + 1, platform::DroppedSecondClicks());
        c.check();
    }
}

TEST_F(EditorPanel, CancelAsksBeforeItDiscardsDrawnRegions)
{
    gui::frmAnalysis().cmdMask_Click();
    Click(W().cmdCreateMask);
    AddMaskRegion(10, 10);
    AddMaskRegion(50, 10);
    Click(W().cmdUndoLastMask);
    ASSERT_TRUE(W().cmdMaskCancel->isVisible());
    messages.queue(platform::kAnsNo);
    Click(W().cmdMaskCancel);
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("Cancel Mask", messages.records[0].title);
    EXPECT_EQ(36, messages.records[0].style);
    EXPECT_TRUE(W().cmdAddMaskRegion->isVisible());   // kept
    EXPECT_EQ(0, model::images.MaskImage(10, 10));
    messages.queue(platform::kAnsYes);
    Click(W().cmdMaskCancel);
    EXPECT_FALSE(W().cmdAddMaskRegion->isVisible());
    EXPECT_TRUE(W().cmdCreateMask->isVisible());
    // An empty mask is cancelled without a question.
    messages.records.clear();
    Click(W().cmdCreateMask);
    Click(W().cmdMaskCancel);
    EXPECT_TRUE(messages.records.empty());
    EXPECT_TRUE(W().cmdCreateMask->isVisible());
}

TEST_F(EditorPanel, TheRegionBarsTakeTheKeyboard)
{
    gui::frmAnalysis().cmdCrop_Click();
    Click(W().cmdCropImage);
    W().activateWindow();
    // Each bar takes the keyboard (Tab or a click) and moves the region with
    // its keys.
    const struct {
        QScrollBar* bar;
        std::function<int()> edge;
    } bars[] = {
        {W().hscCenterX, [&] { return W().bufDisplay->roiLeft(); }},
        {W().hscCenterY, [&] { return W().bufDisplay->roiTop(); }},
        {W().hscSizeX, [&] { return W().bufDisplay->roiWidth(); }},
        {W().hscSizeY, [&] { return W().bufDisplay->roiHeight(); }},
    };
    for (const auto& b : bars) {
        SCOPED_TRACE(b.bar->objectName().toStdString());
        EXPECT_TRUE(b.bar->focusPolicy() & Qt::TabFocus);
        QTest::mouseClick(b.bar, Qt::LeftButton, {}, QPoint(b.bar->width() - 4, b.bar->height() / 2));
        EXPECT_TRUE(b.bar->hasFocus());
        b.bar->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(b.bar->hasFocus());
        const int before = b.edge();
        QTest::keyClick(b.bar, Qt::Key_End);
        EXPECT_NE(before, b.edge());
    }
    // Each is named by the caption above it.
    EXPECT_EQ(W().hscCenterX, W().lblCenterX->buddy());
    EXPECT_EQ(W().cmbDomains, W().lblDomainSelect->buddy());
}

namespace {
// "The file cannot be saved." with the file and a reason after it.
bool NamesFileAndReason(const std::string& text, const std::string& path)
{
    const std::string head = "The file cannot be saved.\r";
    const size_t at = text.find(path);
    return text.rfind(head, 0) == 0 && at != std::string::npos && text.size() > at + path.size() + 2;
}
} // namespace

// A mask or partition that cannot be written is reported with the file's
// name and the reason, not with the bare "cannot be saved".
TEST_F(EditorPanel, AFailedSaveNamesTheFileAndItsReason)
{
    FrmPhaseImage& w = W();
    const std::string mask = dir.file("no/such/folder/part_msk.tif");
    gui::frmAnalysis().cmdMask_Click();
    Click(w.cmdCreateMask);
    AddMaskRegion(10, 10);
    dialogs.queueFile(mask);
    messages.records.clear();
    Click(w.cmdMaskDone);
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("Save Mask Error", messages.records[0].title);
    EXPECT_TRUE(NamesFileAndReason(messages.records[0].text, mask)) << messages.records[0].text;
    Click(w.cmdClearMask);
    Click(w.cmdReturn);

    const std::string partition = dir.file("no/such/folder/part_par.txt");
    OpenPartition();
    AddDomain(10, 10);
    dialogs.queueFile(partition);
    messages.records.clear();
    Click(w.cmdPartitionDone);
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("Save Partition Error", messages.records[0].title);
    EXPECT_TRUE(NamesFileAndReason(messages.records[0].text, partition)) << messages.records[0].text;
}

namespace {
// Notes when a window is hidden, and whether a job was running then.
class HideWatch : public QObject {
public:
    explicit HideWatch(QWidget* w) : w_(w) { qApp->installEventFilter(this); }
    ~HideWatch() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (o == w_ && e->type() == QEvent::Hide) {
            ++count;
            duringJob = duringJob || platform::JobGuard::AnyRunning();
        }
        return false;
    }
    int count = 0;
    bool duringJob = false;

private:
    QWidget* w_;
};
} // namespace

// The window manager's close (close box, Alt+F4) reaching the editor while
// its cropped image is being saved and named: the editor stays until the
// image is named, then closes as Return does.
TEST_F(EditorPanel, ACloseDuringTheCropsSaveClosesAfterTheImageIsNamed)
{
    FrmPhaseImage& w = W();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    gui::frmAnalysis().cmdCrop_Click();
    Click(w.cmdCropImage);
    w.bufDisplay->setRoi(20, 10, 40, 30);
    Click(w.cmdCrop);
    ASSERT_TRUE(w.cmdCropFinished->isVisible());
    const std::string saved = dir.file("cut_ph.tif");
    const auto scripted = platform::SetFileDialogHandler([&](const platform::FileDialogRequest&) {
        // The close arrives while the save runs; it is delivered when the
        // program next looks at its events.
        QCoreApplication::postEvent(w.windowHandle(), new QCloseEvent);
        return platform::FileDialogResult{true, saved, 1};
    });
    HideWatch hides(&w);
    Click(w.cmdCropFinished);
    platform::SetFileDialogHandler(scripted);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return !w.isVisible(); }));
    EXPECT_EQ(saved, model::files.PhaseImageFile);
    EXPECT_EQ(1, hides.count);
    EXPECT_FALSE(hides.duringJob);   // not in the middle of the save
}
