#include "app/core/gui/startup.h"

#include "app/core/gui/frm_analysis.h"
#include "app/core/gui/frm_units.h"
#include "app/core/gui/settings_forms.h"
#include "app/core/gui/windows.h"
#include "app/core/grating.h"
#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "app/core/settings.h"
#include "app/core/shipped_files.h"
#include "app/core/version.h"
#include "app/outside/varnholde_calls.h"
#include "thumbctl/control/loading_host.h"
#include "platform/fileversion.h"
#include "platform/folders.h"
#include "platform/guiservices.h"
#include "platform/handover.h"
#include "platform/messages.h"
#include "platform/modalwait.h"
#include "platform/pathtext.h"
#include "platform/singleinstance.h"
#include "platform/wildcard.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>


namespace gui {
namespace {

QPointer<FrmSplash> gSplash;
std::unique_ptr<platform::SingleInstance> gInstance;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

// The running instance's side of the hand-over.
class Receiver : public platform::HandoverTarget {
public:
    bool UnitsDialogPending() const override { return model::files.UnitsDialogPending; }
    void SetPendingFile(const std::string& path) override { model::files.PendingFile = path; }
    void ForgetMask() override { model::state.MaskInMemory = false; }
    void LoadPhaseImage(const std::string& path) override { frmAnalysis().LoadPhaseImage(path); }
    void ClearCurrentImage() override { frmAnalysis().ClearCurrentImage(); }
    bool DialogOpen() const override { return platform::ModalDialogOpen(); }
    void WhenDialogsClosed(std::function<void()> action) override { platform::WhenNoModalDialog(std::move(action)); }
};

DisplayInfo ReadDisplay()
{
    DisplayInfo d;
    d.width = platform::ScreenWidth();
    d.height = platform::ScreenHeight();
    QCoreApplication::processEvents();
    d.colorDepth = platform::ColorDepth();
    d.smallFonts = platform::IsSmallFonts();
    return d;
}

bool RunConflictDialog(FrmDisplayConflict& dlg) { return dlg.exec() == QDialog::Accepted; }

void SetFormCaptions()
{
    frmPhaseImage().setWindowTitle("Sorvanta");
    frmAnalysis().setWindowTitle("Sorvanta Phase Image Display");
    frm3DChart().setWindowTitle("Sorvanta 3D Surface Plot");
    frmContour().setWindowTitle("Sorvanta Contour Plot");
    frmDiagonal().setWindowTitle("Sorvanta Diagonal Plot");
    frmChordPlot().setWindowTitle("Sorvanta Chord Plot");
    frmUnits().setWindowTitle("Sorvanta Setup");
    frmBatchProcessing().setWindowTitle("Sorvanta Batch Processing");
    FrmSplash& splash = frmSplash();
    splash.lblSorvanta->setText("Sorvanta " + QString::fromStdString(model::files.ProgramVersion));
    splash.setAccessibleName(splash.lblSorvanta->text());   // no title bar: named by the product line it shows
}

void InitAnalysisDefaults()
{
    auto& st = model::state;
    st.PhaseInMemory = false;
    st.MaskInMemory = false;
    st.ReferenceInMemory = false;
    st.ChordPickMode = false;
    model::maskPartition.RoiEditMode = false;
    model::files.DataSetName = "Current";
    model::files.WorkingFolder = platform::ResultsFolder() + "/";
}

} // namespace

// ---------------------------------------------------------------- splash

QImage DrawSplashPicture(int width, int height)
{
    QImage img(width, height, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, width, height);
    g.setColorAt(0, QColor(18, 42, 86));
    g.setColorAt(1, QColor(40, 110, 160));
    p.fillRect(img.rect(), g);
    // Fringes of a slightly bowed part.
    for (int i = 0; i < 14; ++i) {
        QColor c = QColor::fromHsv((200 + i * 9) % 360, 120, 255, 90);
        p.setPen(QPen(c, 3));
        const double r = 30 + i * 18;
        p.drawEllipse(QPointF(width * 0.72, height * 0.55), r * 1.3, r);
    }
    QFont f("Sans", std::max(12, height / 7), QFont::Bold);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(20, 10, width - 40, height / 2), Qt::AlignLeft | Qt::AlignVCenter, "Sorvanta");
    QFont f2("Sans", std::max(8, height / 22));
    p.setFont(f2);
    p.drawText(QRect(22, height / 2, width - 40, height / 4), Qt::AlignLeft | Qt::AlignTop,
               "Surface flatness from phase images");
    return img;
}

FrmSplash::FrmSplash(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName("frmSplash");
    setWindowTitle("Sorvanta");
    setAccessibleName("Sorvanta");
    auto* lay = new QVBoxLayout(this);
    ImgXCtrl1 = MakeLabel(this, "ImgXCtrl1", "");
    ImgXCtrl1->setAccessibleName("Splash picture");
    ImgXCtrl1->setPixmap(QPixmap::fromImage(DrawSplashPicture(480, 200)));
    lay->addWidget(ImgXCtrl1);
    lblSorvanta = MakeLabel(this, "lblSorvanta", "Sorvanta");
    QFont f = lblSorvanta->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.4);
    lblSorvanta->setFont(f);
    lay->addWidget(lblSorvanta);
    lblMaker = MakeLabel(this, "lblMaker", "Calverdine");
    lblRights = MakeLabel(this, "lblRights", "All rights reserved.");
    lblAddress = MakeLabel(this, "lblAddress", "Metrology Systems Division");
    lblCity = MakeLabel(this, "lblCity", "Surface Measurement Products");
    lblPhone = MakeLabel(this, "lblPhone", "Support: see the product documentation");
    lblWeb = MakeLabel(this, "lblWeb", "Sorvanta phase-image analysis");
    for (QLabel* l : {lblMaker, lblRights, lblAddress, lblCity, lblPhone, lblWeb}) lay->addWidget(l);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, [this] {
        SplashTimerDone = true;
        Timer1->stop();
    });
}

bool FrmSplash::ShowPictureFile(const std::string& path)
{
    // Read as the thumbnail list reads a picture: a regular file only (a
    // pipe or device in its place is refused at once, never waited on), read
    // no further than its picture can take, refused when cut or damaged.
    int listError = 0;
    const QImage img = thumbctl::ReadPictureFile(path, &listError);
    if (img.isNull()) return false;
    ImgXCtrl1->setPixmap(QPixmap::fromImage(img));
    return true;
}

FrmDisplayConflict::FrmDisplayConflict(QWidget* parent) : QDialog(parent)
{
    setObjectName("frmDisplayConflict");
    setWindowTitle("Display Configuration Warning");
    setModal(true);
    auto* lay = new QGridLayout(this);
    Picture1 = MakeLabel(this, "Picture1", "");
    Picture1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(48, 48));
    Picture1->setAccessibleName("Warning");
    Label1 = MakeLabel(this, "Label1", "");
    Label2 = MakeLabel(this, "Label2", "");
    Label3 = MakeLabel(this, "Label3", "");
    Label5 = MakeLabel(this, "Label5", "");
    Label6 = MakeLabel(this, "Label6", "");
    // Fixed texts of the load handler.
    Label1->setText("The current display configuration is not recommended for\nthe Sorvanta application. "
                    "(Conflicts shown in BOLD)");
    Label5->setText("The recommended display configuration is:\n\nDisplay Resolution: 1024x768 pixels\n"
                    "Font Size: LARGE fonts");
    Label6->setText("If you choose to continue, screen appearance and\nsaved files may have problems.");
    lay->addWidget(Picture1, 0, 0, 2, 1, Qt::AlignTop);
    lay->addWidget(Label1, 0, 1, 1, 2);
    lay->addWidget(Label2, 1, 1, 1, 2);
    lay->addWidget(Label3, 2, 1, 1, 2);
    lay->addWidget(Label5, 3, 1, 1, 2);
    lay->addWidget(Label6, 4, 1, 1, 2);
    cmdContinue = new QPushButton("&Continue", this);
    cmdContinue->setObjectName("cmdContinue");
    cmdQuit = new QPushButton("&Quit", this);
    cmdQuit->setObjectName("cmdQuit");
    lay->addWidget(cmdContinue, 5, 1);
    lay->addWidget(cmdQuit, 5, 2);
    connect(cmdContinue, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdQuit, &QPushButton::clicked, this, &QDialog::reject);
}

FrmSplash& frmSplash()
{
    if (!gSplash) gSplash = new FrmSplash;
    return *gSplash;
}

platform::SingleInstance* Instance() { return gInstance.get(); }

void ReceiveCommandLine(const std::string& text)
{
    // One receiver for the program's life: a name that arrives during a long
    // job is acted on through it when the job ends.
    static Receiver receiver;
    platform::HandleHandover(text, receiver);
}

// ---------------------------------------------------------------- start-up

namespace {

// One instance per user and display: a later start hands its file over and
// ends (true). The first instance receives hand-overs from here on: a name
// that arrives before the units dialog's OK is the pending file, the last one
// winning over the command line.
bool HandedOverToRunningInstance(const std::string& commandLine, const StartupHooks& hooks)
{
    gInstance = std::make_unique<platform::SingleInstance>(platform::kInstanceKey, hooks.instanceFolder);
    model::files.UnitsDialogPending = true;
    model::files.PendingFile = commandLine;
    if (!gInstance->isFirstInstance()) {
        if (platform::HandOverToRunningInstance(*gInstance, platform::PathText(commandLine))) {
            gInstance.reset();
            return true;
        }
        // No running instance answered: a start-up of its own, untagged.
        return false;
    }
    // The first instance receives hand-overs; the main window comes to the front.
    gInstance->setHandler([](const QString& text) { ReceiveCommandLine(platform::PathBytes(text)); });
    gInstance->setMainWindow(&frmAnalysis());
    gInstance->listen();
    frmUnits();
    return false;
}

// A file named on the command line must be a phase image; false (said) when not.
bool CommandLineAccepted(const std::string& commandLine)
{
    if (commandLine.empty() || platform::WildcardMatch("*_ph.tif", commandLine) ||
        platform::WildcardMatch("*Phase.tif", commandLine))
        return true;
    platform::ShowMessage(platform::kMsgCannotOpenInvalidFormat, 16, model::AppTitle);
    return false;
}

// The display the windows were laid out for, or the user's consent to go on.
bool DisplayAccepted(const StartupHooks& hooks)
{
    const DisplayInfo d = hooks.display ? hooks.display() : ReadDisplay();
    model::files.DisplayBitsPerPixel = int16_t(d.colorDepth);
    const bool xga = d.width == 1024 && d.height == 768;
    if (xga && !d.smallFonts) return true;
    FrmDisplayConflict dlg;
    if (!xga) {
        QFont f = dlg.Label2->font();
        f.setBold(true);
        dlg.Label2->setFont(f);
    }
    dlg.Label2->setText(QString("Display Resolution: %1x%2 pixels").arg(d.width).arg(d.height));
    if (!d.smallFonts) {
        dlg.Label3->setText("Font Size: LARGE Fonts");
    } else {
        QFont f = dlg.Label3->font();
        f.setBold(true);
        dlg.Label3->setFont(f);
        dlg.Label3->setText("Font Size: SMALL Fonts");
    }
    QCoreApplication::processEvents();
    return hooks.runDisplayConflict ? hooks.runDisplayConflict(dlg) : RunConflictDialog(dlg);
}

// The analysis library must be the expected release; false (said) when not.
bool AnalysisLibraryAccepted()
{
    model::files.AnalysisDllVersion = platform::FileVersionOf(outside::LibraryPath());
    if (core::EqualsNoCase(model::files.AnalysisDllVersion, core::AnalysisLibraryVersion())) return true;
    platform::ShowMessage(std::string("Incorrect Analysis DLL Version installed on system.") + model::CR +
                              "Contact Calverdine.",
                          0, model::AppTitle);
    return false;
}

// Folders (made when missing, so that the settings file can be written); a
// user without "Utility Files" starts from the installation's own. A file
// that cannot be copied is made from the program's built-in copy later, as
// for any user.
void PrepareFolders()
{
    core::SeedUtilityFilesFromInstallation(nullptr);
    platform::MakeFolders(platform::UtilityFolder());
    platform::MakeFolders(platform::ResultsFolder());
}

// The splash shows while the defaults, the captions, the settings and the
// grating compensation table are read, and at least until its timer's first
// tick; then it hides.
void ReadSettingsUnderSplash(const StartupHooks& hooks)
{
    FrmSplash& splash = frmSplash();
    const std::string picture = platform::JoinPath(platform::UtilityFolder(), "SorvantaSplash.bmp");
    if (platform::FileExists(picture)) splash.ShowPictureFile(picture);
    InitAnalysisDefaults();
    SetFormCaptions();
    splash.setCursor(Qt::WaitCursor);
    splash.show();
    QCoreApplication::processEvents();

    RegisterSettingsForms();
    // No Z unit is chosen yet (the units dialog sets the format): the Z
    // limits are shown as the plain numbers of the file.
    model::files.ZFormat.clear();
    core::ReadSettingsFile(core::SettingsFilePath());
    core::ApplySettingsToForms();
    core::LoadGratingCompTable(core::GratingCompFilePath());
    const int dpi = platform::LogicalDpiX() > 0 ? platform::LogicalDpiX() : 96;
    model::files.TwipsPerPixelX = int32_t(core::RoundHalfEven(1440.0 / dpi));
    model::files.TwipsPerPixelY = model::files.TwipsPerPixelX;

    QCoreApplication::processEvents();
    splash.SplashTimerDone = false;
    splash.Timer1->setInterval(hooks.splashMs);
    splash.Timer1->start();
    while (!splash.SplashTimerDone)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    splash.unsetCursor();
    splash.hide();
}

// The units dialog asks for the units before anything is analysed; the
// pending file is loaded once it is answered.
void ShowUnitsDialog()
{
    FrmUnits& units = frmUnits();
    units.show();
    units.raise();
    units.activateWindow();
    units.cmdOK->setFocus();
}

} // namespace

StartupResult RunStartup(const std::string& commandLine, const StartupHooks& hooks)
{
    // Only the application name: a display name would be appended to every
    // window title, which must read as the window itself sets it.
    QCoreApplication::setApplicationName(model::AppTitle);
    if (HandedOverToRunningInstance(commandLine, hooks)) return StartupResult::HandedOver;
    if (!CommandLineAccepted(commandLine) || !DisplayAccepted(hooks) || !AnalysisLibraryAccepted())
        return StartupResult::Ended;
    PrepareFolders();
    // The version the batch tables carry; windows know start-up is running.
    model::files.ProgramVersion = core::ProgramVersion();
    model::state.StartupInProgress = true;
    ReadSettingsUnderSplash(hooks);
    ShowUnitsDialog();
    return StartupResult::Running;
}

void ShutdownProgram()
{
    gInstance.reset();
    core::SetSettingsWindows(nullptr);
    delete gSplash.data();
    delete &frmUnits();
    if (frmAnalysisExists()) delete &frmAnalysis();
    DestroyWindows();
}

} // namespace gui
