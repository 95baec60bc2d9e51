// Every window of the program while a batch job holds the single image (a
// batch run, Generate Output, the configuration preview): only the job's own
// windows take input. Each window is brought up on the user's image, the job
// runs, real clicks and keys reach the window during it, and afterwards the
// window shows, and has written, exactly what it did before; the same input
// after the job acts as usual, so nothing stays blocked.
#include "app/core/gui/tests/gui_fixture.h"

#include "app/batch/config/frm_batch_configuration.h"
#include "app/batch/gui/frm_batch_processing.h"
#include "app/browser/frm_full_size.h"
#include "app/browser/frm_thumbnail_view.h"
#include "app/core/loader.h"
#include "app/core/model/hold.h"
#include "app/core/pipeline.h"
#include "app/editor/gui/frm_domain_name.h"
#include "app/editor/gui/frm_jobs.h"
#include "app/editor/gui/frm_phase_image.h"
#include "app/sorvanta/program_windows.h"
#include "platform/commandguards.h"
#include "platform/picturebuffer.h"
#include "testsupport/accessible_names.h"
#include "plots/windows/frm_3dchart.h"
#include "plots/windows/frm_chordplot.h"
#include "plots/windows/frm_contour.h"
#include "plots/windows/frm_createlegend.h"
#include "plots/windows/frm_diagonal.h"
#include "plots/windows/plot_windows.h"
#include "thumbctl/control/host/registry.h"

#include <QMenu>
#include <QCloseEvent>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <functional>
#include <optional>
#include <sstream>

using namespace guitest;

namespace {

// The jobs that hold the single image.
enum class Job { BatchRun, GenerateOutput, Preview };

const char* JobName(Job j)
{
    switch (j) {
    case Job::BatchRun: return "batch run";
    case Job::GenerateOutput: return "Generate Output";
    default: return "preview";
    }
}

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

std::string Describe(const charts::Chart3D& c)
{
    std::ostringstream s;
    double lo = 0, hi = 0;
    c.dataRange(&lo, &hi);
    s << c.headerText().toStdString() << " | " << c.footerText().toStdString() << " | " << c.gridValues().size()
      << " | " << lo << " .. " << hi << " | " << c.viewRotation();
    return s.str();
}

// A phase image with data up to its corners (a diagonal can be normalised).
void WriteWholePhase(const std::string& path, int cols, int rows, double fringe, const std::string& surface)
{
    std::string err;
    auto z = synth::ParseSurface(surface, cols, rows, &err);
    auto px = synth::WrapToPhase(cols, rows, z, fringe, synth::ParseBlank("none", cols, rows, &err));
    ASSERT_EQ(0, strandel::WriteTIFFFile(path, uint16_t(cols), uint16_t(rows), synth::MakeHeader(fringe, cols, rows),
                                         px.data()))
        << path;
}

void Click(QAbstractButton* b)
{
    if (qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b))
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
    else
        QTest::mouseClick(b, Qt::LeftButton);
}

// Turns the mouse wheel one notch over `w`, as the window system reports it
// (up for a positive `notches`).
void Wheel(QWidget* w, int notches)
{
    const QPoint at = w->rect().center();
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&e);
    QApplication::sendEvent(w, &e);
}

// Types a new value over the box's text and enters it.
void TypeAndEnter(QLineEdit* box, const QString& text)
{
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, text);
    QTest::keyClick(box, Qt::Key_Return);
}

class HoldWindows : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        gui::SetWindowFactories(sorvanta::ProgramWindows());
        host::SetRegistryPath(RegisterThumbnailControl(dir.file("classes.reg")));
    }
    void TearDown() override
    {
        editor::DestroyDomainNameDialog();
        editor::DestroyJobWindows();
        GuiTest::TearDown();
        host::SetRegistryPath("");
    }

    // The user's image, analysed; a folder of other images for the jobs,
    // already run once (Generate Output works on the last run).
    void Start()
    {
        results = dir.file("Results");
        batchFolder = dir.file("Panel 7");
        std::filesystem::create_directories(results);
        std::filesystem::create_directories(batchFolder);
        sample = results + "/Sample_ph.tif";
        WriteWholePhase(sample, 80, 60, 0.5, "dome:0.0004+plane:0.002,0.001,0");
        WriteWholePhase(batchFolder + "/m01_ph.tif", 120, 90, 10.0, "saddle:0.003");
        WriteWholePhase(batchFolder + "/m02_ph.tif", 120, 90, 10.0, "cylinder:0.004,100");
        ASSERT_EQ(gui::StartupResult::Running, gui::RunStartup(sample, hooks));
        dialogs.queueFileCancel();
        gui::frmUnits().cmdOK->click();
        main().exitProgram = [] {};
        QTest::mouseClick(main().cmdUnwrap, Qt::LeftButton);
        ASSERT_TRUE(main().cmd3DPlot->isEnabled()) << Messages();
        model::files.WorkingFolder = results + "/";

        QTest::mouseClick(main().cmdBatchProcess, Qt::LeftButton);
        batch::FrmBatchProcessing& b = batch::frmBatchProcessing();
        ASSERT_TRUE(b.isVisible());
        dialogs.queueFolder(batchFolder);
        Click(b.cmdBrowse);
        for (QCheckBox* box : {b.chk3DPlot, b.chkContour, b.chkDiagonal})
            if (box->isChecked()) Click(box);
        if (!b.chkSaveData->isChecked()) Click(b.chkSaveData);
        Click(b.cmdGetBatchData);
        ASSERT_TRUE(b.cmdGenerateOutput->isEnabled()) << Messages();
        b.hide();
    }

    static gui::FrmAnalysis& main() { return gui::frmAnalysis(); }

    // Runs `job`, with `during` given at its first chance to take input (the
    // first time it lets the windows have their events). True when `during`
    // ran while the single image was held.
    bool RunJob(Job job, const std::function<void()>& during)
    {
        bool held = false;
        auto act = [&] {
            held = model::SingleImageHeld();
            during();
        };
        if (job == Job::Preview) {
            // As the preview takes it: the image aside, the sample analysed
            // on the shared matrices, then the image back.
            model::SingleImageHold hold;
            AnalyseLikeThePreview(batchFolder + "/m01_ph.tif");
            act();
            return held;
        }
        batch::FrmBatchProcessing& b = batch::frmBatchProcessing();
        b.show();
        QTimer::singleShot(0, &b, act);
        Click(job == Job::BatchRun ? b.cmdGetBatchData : b.cmdGenerateOutput);
        b.hide();
        QApplication::processEvents();
        return held;
    }

    static void AnalyseLikeThePreview(const std::string& path)
    {
        core::PhaseImageFile file = core::ReadPhaseImageFile(path);
        ASSERT_TRUE(file.ok) << path;
        auto& im = model::images;
        im.XMax = file.cols - 1;
        im.YMax = file.rows - 1;
        im.ImageCols = int16_t(file.cols);
        im.ImageRows = int16_t(file.rows);
        im.WorkingPhase.create(file.cols, file.rows);
        for (int y = 0; y < file.rows; ++y)
            for (int x = 0; x < file.cols; ++x) {
                const uint8_t v = file.pixels[size_t(y) * file.cols + size_t(x)];
                im.WorkingPhase(x, y) = v == model::BlankPhaseValue ? uint8_t(127) : v;
            }
        core::UnwrapPhase();
        model::state.FringeValue = 10.0f;
        core::PhaseToDisplacement();
        core::ApplyRotation(1);
        core::SwapImageMatrix();
        core::ReduceData();
        im.ChartData = im.ReducedData;
        model::files.ImageHeaderText = file.header;
    }

    // A plot window brought up from the main window with its options shown.
    template <typename W>
    static W& PlotWindow(QPushButton* command, W& w)
    {
        if (!command->isEnabled()) main().cmdUnwrap->click();   // the image was loaded again
        if (!w.isVisible()) command->click();
        if (!w.frame->panelShown()) w.frame->cmdCustomize_Click();
        return w;
    }

    std::string FileState() const
    {
        std::string s = std::to_string(dialogs.fileRequests.size());
        for (const auto& e : std::filesystem::directory_iterator(results)) s += " " + e.path().filename().string();
        return s;
    }

    size_t MessagesTitled(const std::string& title) const
    {
        size_t n = 0;
        for (const auto& r : messages.records) n += r.title == title;
        return n;
    }

    std::string results, batchFolder, sample;
};

// One window and one input of a user: how the window is brought up (before
// the job), the input (real events), and what the input changes.
struct Row {
    const char* what;
    std::function<QWidget*()> show;
    std::function<void()> input;
    std::function<std::string()> state;
    // A window that blocks every other while it is open: no job can start
    // then, so it meets only the hold as the preview takes it.
    bool modal = false;
    // A window of the job: it takes the input during the job too.
    bool live = false;
};

} // namespace

TEST_F(HoldWindows, NoWindowButTheJobsTakesInputWhileAJobHoldsTheImage)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    auto& m = main();
    auto plot3D = [&]() -> plots::Frm3DChart& { return PlotWindow(m.cmd3DPlot, plots::frm3DChart()); };
    auto contour = [&]() -> plots::FrmContour& { return PlotWindow(m.cmdContour, plots::frmContour()); };
    auto diagonal = [&]() -> plots::FrmDiagonal& { return PlotWindow(m.cmdDiagonal, plots::frmDiagonal()); };
    auto browser = [&]() -> browser::FrmThumbnailView& {
        browser::FrmThumbnailView& b = browser::frmThumbnailView();
        if (!b.isVisible()) m.cmdViewThumbnails->click();
        return b;
    };
    QPointer<plots::FrmCreateLegend> legend;

    const std::vector<Row> rows = {
        {"main window: a right click on the picture shows the image's header",
         [&] { return &m; },
         [&] { QTest::mouseClick(m.Picbuf1, Qt::RightButton, {}, QPoint(10, 10)); },
         [&] { return std::to_string(MessagesTitled("Phase Image Information")); }},
        {"3D plot: Reduce Data",
         [&] { return &plot3D(); },
         [&] { Click(plot3D().chkReduceData); },
         [&] { return std::to_string(plot3D().chkReduceData->isChecked()) + " " + Describe(plot3D().chart()); }},
        {"3D plot: Save",
         [&] { return &plot3D(); },
         [&] {
             dialogs.queueFile(results + "/Sample_3D.bmp");
             Click(plot3D().cmdSave3DChart);
         },
         [&] { return FileState(); }},
        {"3D plot: a typed rotation",
         [&] { return &plot3D(); },
         [&] {
             plots::Frm3DChart& w = plot3D();
             TypeAndEnter(w.txtRotation, w.txtRotation->text() == "45" ? "60" : "45");
         },
         [&] { return plot3D().txtRotation->text().toStdString() + " " + Describe(plot3D().chart()); }},
        {"contour plot: Reduce Data",
         [&] { return &contour(); },
         [&] { Click(contour().chkReduceData); },
         [&] { return std::to_string(contour().chkReduceData->isChecked()) + " " + Describe(contour().chart()); }},
        {"contour plot: Appearance by a key",
         [&] { return &contour(); },
         [&] {
             QComboBox* c = contour().cmbAppearance;
             QTest::keyClick(c, c->currentIndex() == 0 ? Qt::Key_End : Qt::Key_Home);
         },
         [&] { return contour().cmbAppearance->currentText().toStdString(); }},
        {"contour plot: Appearance by the wheel",
         [&] { return &contour(); },
         [&] {
             QComboBox* c = contour().cmbAppearance;
             Wheel(c, c->currentIndex() + 1 < c->count() ? -1 : 1);
         },
         [&] { return contour().cmbAppearance->currentText().toStdString(); }},
        {"diagonal plot: Normalize",
         [&] { return &diagonal(); },
         [&] { Click(diagonal().chkNormalize); },
         [&] { return std::to_string(diagonal().chkNormalize->isChecked()) + " " + Describe(diagonal().chart()); }},
        {"diagonal plot: Save",
         [&] { return &diagonal(); },
         [&] {
             dialogs.queueFile(results + "/Sample_dia.bmp");
             Click(diagonal().cmdSave2DChart);
         },
         [&] { return FileState(); }},
        {"chord plot: Select New Chord",
         [&] {
             gui::frmChordPlot().show();
             return &gui::frmChordPlot();
         },
         [&] { Click(plots::frmChordPlot().cmdNew); },
         [&] { return std::to_string(plots::frmChordPlot().isVisible()); }},
        {"editor: Return",
         [&] {
             editor::FrmPhaseImage& e = editor::frmPhaseImage();
             if (!e.isVisible()) m.cmdMask_Click();
             return &e;
         },
         [&] { Click(editor::frmPhaseImage().cmdReturn); },
         [&] { return std::to_string(editor::frmPhaseImage().isVisible()); }},
        {"browser: Load Phase Image (the menu key, then Return)",
         [&] { return &browser(); },
         [&] {
             QWidget* list = browser().Thumbnail1()->widget();
             QTest::keyClick(list, Qt::Key_Home);
             QTest::keyClick(list, Qt::Key_Menu);
             if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()))
                 QTest::keyClick(menu, Qt::Key_Return);
         },
         [&] {
             QApplication::processEvents();
             return std::to_string(browser::frmThumbnailView().isVisible()) + " " +
                    m.lblImageName->text().toStdString();
         }},
        {"browser: the viewer by a key",
         [&] { return &browser(); },
         [&] { QTest::keyClick(browser().Thumbnail1()->widget(), Qt::Key_Return); },
         [&] {
             browser::FrmFullSize& v = browser::frmThumbnailView().fullSize();
             const std::string s = std::to_string(v.isVisible());
             v.hide();
             return s;
         }},
        {"viewer: a click closes it",
         [&] {
             browser::FrmThumbnailView& b = browser();
             QTest::keyClick(b.Thumbnail1()->widget(), Qt::Key_Return);
             return &b.fullSize();
         },
         [&] { QTest::mouseClick(&browser::frmThumbnailView().fullSize(), Qt::LeftButton); },
         [&] { return std::to_string(browser::frmThumbnailView().fullSize().isVisible()); },
         true},
        {"legend maker: Save As",
         [&] {
             if (!legend) legend = plots::ShowLegendMaker(plots::LegendType::Surface3D);
             legend->show();
             legend->txtZmin->setText("-1");
             legend->txtZmax->setText("1");
             return legend.data();
         },
         [&] {
             dialogs.queueFile(results + "/Legend.bmp");
             Click(legend->cmdSaveAs);
         },
         [&] { return FileState(); },
         true},
        {"crop domains: a check box",
         [&] {
             editor::ShowCropDomainsWindow();
             return &editor::frmCropDomains();
         },
         [&] { Click(editor::frmCropDomains().chkCreateDomainSubfolders); },
         [&] { return std::to_string(editor::frmCropDomains().chkCreateDomainSubfolders->isChecked()); },
         true},
        {"burn mask: a check box",
         [&] {
             editor::ShowBurnMaskWindow();
             return &editor::frmBurnMask();
         },
         [&] { Click(editor::frmBurnMask().chkTagFilenames); },
         [&] { return std::to_string(editor::frmBurnMask().chkTagFilenames->isChecked()); },
         true},
        {"domain name: a typed name",
         [&] {
             editor::frmDomainName().show();
             return &editor::frmDomainName();
         },
         [&] { QTest::keyClicks(editor::frmDomainName().txtDomainName, "x"); },
         [&] { return editor::frmDomainName().txtDomainName->text().toStdString(); },
         true},
        {"batch configuration (the job's own window): a typed footer",
         [&] {
             batchcfg::FrmBatchConfiguration* c = batchcfg::BatchConfiguration();
             c->show();
             return c;
         },
         [&] { QTest::keyClicks(batchcfg::BatchConfiguration()->txt3DFooter, "x"); },
         [&] { return batchcfg::BatchConfiguration()->txt3DFooter->text().toStdString(); },
         false, true},
    };

    for (Job job : {Job::BatchRun, Job::GenerateOutput, Job::Preview}) {
        for (const Row& r : rows) {
            if (r.modal && job != Job::Preview) continue;
            SCOPED_TRACE(std::string(JobName(job)) + ", " + r.what);
            QWidget* w = r.show();
            ASSERT_TRUE(w && w->isVisible());
            QApplication::processEvents();
            const std::string before = r.state();
            EXPECT_TRUE(RunJob(job, [&] {
                if (w->isVisible()) QApplication::setActiveWindow(w);
                r.input();
            }));
            if (r.live)
                EXPECT_NE(r.state(), before) << "the job's own window did not take the input";
            else
                EXPECT_EQ(r.state(), before) << "the input during the job was taken";
            dialogs.fileAnswers.clear();

            // After the job the same input acts.
            if (!r.show()->isVisible()) ADD_FAILURE() << "the window did not come back";
            QApplication::setActiveWindow(w);
            r.input();
            dialogs.fileAnswers.clear();
            EXPECT_NE(r.state(), before) << "the input after the job was not taken";
            if (w != &m) w->hide();
            if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
        }
    }
    EXPECT_TRUE(m.cmdUnwrap->isEnabled());
}

// Holds (which nest) and a busy scope of the main window begin and end in
// every order they can: afterwards the main window's commands are available
// and every window takes input again; during them the commands are
// unavailable exactly while one of them is in place.
TEST_F(HoldWindows, NothingStaysUnavailableHoweverHoldsAndBusyScopesNest)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    gui::FrmAnalysis& m = main();
    QWidget* panel = m.findChild<QWidget*>("panel");
    ASSERT_TRUE(panel);
    plots::Frm3DChart& d = PlotWindow(m.cmd3DPlot, plots::frm3DChart());
    // Steps: 0 and 1 begin and end the outer hold, 2 and 3 the inner one
    // (inside the outer), 4 and 5 the busy scope; every place of the busy
    // scope among the holds' four steps.
    for (int first = 0; first < 5; ++first)
        for (int last = first + 1; last < 6; ++last) {
            std::vector<int> holds = {0, 2, 3, 1};
            std::vector<int> steps;
            for (int slot = 0, h = 0; slot < 6; ++slot)
                steps.push_back(slot == first ? 4 : slot == last ? 5 : holds[size_t(h++)]);
            SCOPED_TRACE(::testing::PrintToString(steps));
            std::optional<model::SingleImageHold> outer, inner;
            std::optional<platform::BusyScope> busy;
            for (int step : steps) {
                switch (step) {
                case 0: outer.emplace(); break;
                case 2: inner.emplace(); break;
                case 3: inner.reset(); break;
                case 1: outer.reset(); break;
                case 4: busy.emplace(*panel, "Hold test"); break;
                case 5: busy.reset(); break;
                }
                EXPECT_EQ(panel->isEnabled(), !outer && !busy) << "after step " << step;
            }
            EXPECT_TRUE(m.cmdUnwrap->isEnabled());
            EXPECT_FALSE(platform::WindowsHeld());
            const bool reduced = d.chkReduceData->isChecked();
            Click(d.chkReduceData);
            EXPECT_NE(d.chkReduceData->isChecked(), reduced) << "the 3D plot takes input again";
        }
}

// The window manager's close of a window during a job (its close box) waits
// for the end of the job; a close by the program itself goes on at once.
TEST_F(HoldWindows, AWindowClosedDuringAJobClosesWhenItEnds)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    plots::Frm3DChart& w = PlotWindow(main().cmd3DPlot, plots::frm3DChart());
    plots::FrmDiagonal& d = PlotWindow(main().cmdDiagonal, plots::frmDiagonal());
    ASSERT_TRUE(w.isVisible() && d.isVisible());
    bool openDuring = false;
    EXPECT_TRUE(RunJob(Job::BatchRun, [&] {
        ASSERT_TRUE(w.isVisible());
        QCloseEvent close;   // as the window manager gives it
        QSpontaneKeyEvent::setSpontaneous(&close);
        qApp->notify(&w, &close);
        openDuring = w.isVisible();
        d.close();
    }));
    EXPECT_TRUE(openDuring);
    EXPECT_FALSE(d.isVisible());
    EXPECT_TRUE(testsupport::WaitUntil([&] { return !w.isVisible(); }));
}

// What a window does when a hold begins or ends (the main window's box losing
// the focus as its commands become unavailable) acts on the user's image,
// not on the job's: its width box, left at 0, is emptied, and the user's
// results are marked for rebuilding, as leaving the box at any other time does.
TEST_F(HoldWindows, WhatAHoldsBeginningSetsOffActsOnTheUsersImage)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    gui::FrmAnalysis& m = main();
    m.ShowWindow();
    QApplication::setActiveWindow(&m);
    m.txtSampleWidth->setFocus();
    TypeAndEnter(m.txtSampleWidth, "0");
    m.cmd3DPlot->click();
    plots::frm3DChart().hide();
    QApplication::setActiveWindow(&m);
    m.txtSampleWidth->setFocus();
    ASSERT_TRUE(m.txtSampleWidth->hasFocus());
    ASSERT_TRUE(model::state.Surface3DValid);
    {
        model::SingleImageHold hold;
        EXPECT_FALSE(m.txtSampleWidth->hasFocus());
    }
    EXPECT_EQ(m.txtSampleWidth->text(), "");
    EXPECT_FALSE(model::state.Surface3DValid) << "the 3D plot is built again for the new width";
}

namespace {

// What an assistive technology does to a control over the accessibility
// bus: its action by name (a press, a toggle), a value set, a text replaced.
// None of these passes through an input event.
void Act(QObject* control, const QString& action)
{
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(control);
    ASSERT_TRUE(a && a->actionInterface()) << control->objectName().toStdString();
    a->actionInterface()->doAction(action);
}

void ReplaceText(QLineEdit* box, const QString& text)
{
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(box);
    ASSERT_TRUE(a) << box->objectName().toStdString();
    if (a->editableTextInterface()) a->editableTextInterface()->replaceText(0, box->text().size(), text);
    a->setText(QAccessible::Value, text);
}

// True while a button of `w` is down (a press given to it is still to click).
bool ButtonDown(QWidget* w)
{
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
        if (b->isDown()) return true;
    return false;
}

// The item of a menu command, as the accessibility bus shows it.
QAccessibleInterface* MenuItem(QAction* action)
{
    for (QObject* o : action->associatedObjects()) {
        QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(o);
        for (int i = 0; menu && i < menu->childCount(); ++i)
            if (QAccessibleInterface* item = menu->child(i);
                item && item->text(QAccessible::Name) == platform::VisibleCaption(action->text()))
                return item;
    }
    return nullptr;
}

} // namespace

// An assistive technology's presses, toggles and values reach a control
// without any input event: during a job they change nothing in a window
// other than the job's, and after it they act as usual.
TEST_F(HoldWindows, NoAssistiveTechnologyActionReachesAHeldWindow)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    auto& m = main();
    auto plot3D = [&]() -> plots::Frm3DChart& { return PlotWindow(m.cmd3DPlot, plots::frm3DChart()); };
    auto contour = [&]() -> plots::FrmContour& { return PlotWindow(m.cmdContour, plots::frmContour()); };
    auto diagonal = [&]() -> plots::FrmDiagonal& { return PlotWindow(m.cmdDiagonal, plots::frmDiagonal()); };
    auto browser = [&]() -> browser::FrmThumbnailView& {
        browser::FrmThumbnailView& b = browser::frmThumbnailView();
        if (!b.isVisible()) m.cmdViewThumbnails->click();
        return b;
    };
    const QString press = QAccessibleActionInterface::pressAction();
    const QString toggle = QAccessibleActionInterface::toggleAction();

    const std::vector<Row> rows = {
        {"diagonal plot: Normalize toggled",
         [&] { return &diagonal(); },
         [&] { Act(diagonal().chkNormalize, toggle); },
         [&] { return std::to_string(diagonal().chkNormalize->isChecked()) + " " + Describe(diagonal().chart()); }},
        {"diagonal plot: Save pressed",
         [&] { return &diagonal(); },
         [&] {
             dialogs.queueFile(results + "/Sample_dia.bmp");
             Act(diagonal().cmdSave2DChart, press);
         },
         [&] { return FileState(); }},
        {"3D plot: Reduce Data pressed",
         [&] { return &plot3D(); },
         [&] { Act(plot3D().chkReduceData, press); },
         [&] { return std::to_string(plot3D().chkReduceData->isChecked()) + " " + Describe(plot3D().chart()); }},
        {"3D plot: Save pressed",
         [&] { return &plot3D(); },
         [&] {
             dialogs.queueFile(results + "/Sample_3D.bmp");
             Act(plot3D().cmdSave3DChart, press);
         },
         [&] { return FileState(); }},
        {"3D plot: the rotation's text replaced",
         [&] { return &plot3D(); },
         [&] {
             plots::Frm3DChart& w = plot3D();
             ReplaceText(w.txtRotation, w.txtRotation->text() == "45" ? "60" : "45");
         },
         [&] { return plot3D().txtRotation->text().toStdString(); }},
        {"contour plot: Reduce Data toggled",
         [&] { return &contour(); },
         [&] { Act(contour().chkReduceData, toggle); },
         [&] { return std::to_string(contour().chkReduceData->isChecked()) + " " + Describe(contour().chart()); }},
        {"main window: Exclude 128 toggled",
         [&] { return &m; },
         [&] { Act(m.chkExclude128, toggle); },
         [&] { return std::to_string(m.chkExclude128->isChecked()); }},
        {"main window: the sample width's text replaced",
         [&] { return &m; },
         [&] { ReplaceText(m.txtSampleWidth, m.txtSampleWidth->text() == "2" ? "3" : "2"); },
         [&] { return m.txtSampleWidth->text().toStdString(); }},
        {"editor: Return pressed",
         [&] {
             editor::FrmPhaseImage& e = editor::frmPhaseImage();
             if (!e.isVisible()) m.cmdMask_Click();
             return &e;
         },
         [&] {
             editor::FrmPhaseImage& e = editor::frmPhaseImage();
             if (e.cmdMaskCancel->isVisibleTo(&e)) Click(e.cmdMaskCancel);
             Act(e.cmdReturn, press);
         },
         [&] { return std::to_string(editor::frmPhaseImage().isVisible()); }},
        {"editor: a region bar's value set",
         [&] {
             editor::FrmPhaseImage& e = editor::frmPhaseImage();
             if (!e.isVisible()) m.cmdMask_Click();
             if (!e.hscCenterX->isVisibleTo(&e)) Click(e.cmdCreateMask);
             return &e;
         },
         [&] {
             QScrollBar* bar = editor::frmPhaseImage().hscCenterX;
             QAccessibleInterface* a = QAccessible::queryAccessibleInterface(bar);
             ASSERT_TRUE(a);
             if (a->valueInterface())
                 a->valueInterface()->setCurrentValue(bar->value() == bar->minimum() ? bar->maximum() : bar->minimum());
         },
         [&] {
             editor::FrmPhaseImage& e = editor::frmPhaseImage();
             return std::to_string(e.hscCenterX->value()) + " " + std::to_string(e.bufDisplay->roiLeft());
         }},
        {"contour plot: Appearance's list shown and a value set",
         [&] { return &contour(); },
         [&] {
             QComboBox* c = contour().cmbAppearance;
             Act(c, QAccessibleActionInterface::showMenuAction());
             QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c);
             a->setText(QAccessible::Value, c->itemText(c->currentIndex() == 0 ? c->count() - 1 : 0));
         },
         [&] {
             QComboBox* c = contour().cmbAppearance;
             return c->currentText().toStdString() + " " + std::to_string(c->view()->isVisible());
         }},
        {"browser: Load Phase Image pressed in its menu",
         [&] {
             browser::FrmThumbnailView& b = browser();
             QTest::keyClick(b.Thumbnail1()->widget(), Qt::Key_Home);
             return &b;
         },
         [&] {
             QAccessibleInterface* item = MenuItem(browser().mnuLoadPhaseImage);
             ASSERT_TRUE(item && item->actionInterface());
             item->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
         },
         [&] {
             QApplication::processEvents();
             return std::to_string(browser::frmThumbnailView().isVisible()) + " " +
                    m.lblImageName->text().toStdString();
         }},
        {"batch configuration (the job's own window): its footer's text replaced",
         [&] {
             batchcfg::FrmBatchConfiguration* c = batchcfg::BatchConfiguration();
             c->show();
             return c;
         },
         [&] {
             QLineEdit* box = batchcfg::BatchConfiguration()->txt3DFooter;
             ReplaceText(box, box->text() + "x");
         },
         [&] { return batchcfg::BatchConfiguration()->txt3DFooter->text().toStdString(); },
         false, true},
    };

    for (Job job : {Job::BatchRun, Job::GenerateOutput, Job::Preview}) {
        for (const Row& r : rows) {
            SCOPED_TRACE(std::string(JobName(job)) + ", " + r.what);
            QWidget* w = r.show();
            ASSERT_TRUE(w && w->isVisible());
            QApplication::processEvents();
            const std::string before = r.state();
            EXPECT_TRUE(RunJob(job, r.input));
            if (r.live) {
                EXPECT_NE(r.state(), before) << "the job's own window did not take the action";
            } else {
                // A press clicks once the button has shown itself down: none is.
                EXPECT_FALSE(ButtonDown(w)) << "a press during the job is still to click";
                EXPECT_EQ(r.state(), before) << "the action during the job was taken";
            }
            dialogs.fileAnswers.clear();

            if (!r.show()->isVisible()) ADD_FAILURE() << "the window did not come back";
            r.input();
            EXPECT_TRUE(testsupport::WaitUntil([&] { return !ButtonDown(w) && r.state() != before; }))
                << "the action after the job was not taken";
            dialogs.fileAnswers.clear();
            if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
            if (w != &m) w->hide();
        }
    }
    EXPECT_TRUE(m.cmdUnwrap->isEnabled());
}
