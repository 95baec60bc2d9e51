// The upgrade tool's window and start-up.
#include "upgrade/frm_upgrade.h"

#include "platform/fileversion.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "upgrade/cls_upgrade.h"
#include "upgrade/journal.h"
#include "upgrade/manifest.h"
#include "upgrade/services.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QVBoxLayout>

#include <csignal>
#include <cstdio>

namespace upgrade {
namespace {

QPointer<frmSorvantaUpgrade> gWindow;

void LetMessagesRun() { QCoreApplication::processEvents(); }

} // namespace

frmSorvantaUpgrade::frmSorvantaUpgrade(QWidget* parent) : QWidget(parent)
{
    setWindowTitle("Sorvanta Upgrade");
    lblStatus = new QLabel("Modifying system. Please wait.....", this);
    vbalProgressBar1 = new UpgradeProgressBar(this);
    vbalProgressBar1->setRange(0, 100);
    vbalProgressBar1->setValue(0);
    vbalProgressBar1->setFormat("%p%");
    vbalProgressBar1->setTextVisible(false);  // drawn by the bar itself
    vbalProgressBar1->setAlignment(Qt::AlignCenter);
    QPalette pal = vbalProgressBar1->palette();
    pal.setColor(QPalette::Highlight, QColor(0, 0, 192));
    pal.setColor(QPalette::Text, Qt::black);
    pal.setColor(QPalette::HighlightedText, Qt::black);
    vbalProgressBar1->setPalette(pal);
    vbalProgressBar1->setAccessibleName("Progress");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblStatus);
    layout->addWidget(vbalProgressBar1);
    resize(360, 90);
}

void UpgradeProgressBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    p.fillRect(rect(), Qt::white);
    const int span = maximum() - minimum();
    const int filled = span > 0 ? int(qint64(width()) * (value() - minimum()) / span) : 0;
    const QRect bar(0, 0, filled, height());
    p.fillRect(bar, QColor(0, 0, 192));
    p.setPen(Qt::darkGray);
    p.drawRect(frame);
    const QString label = text();
    p.setPen(Qt::black);
    p.setClipRect(QRect(filled, 0, width() - filled, height()));
    p.drawText(rect(), Qt::AlignCenter, label);
    p.setPen(Qt::white);
    p.setClipRect(bar);
    p.drawText(rect(), Qt::AlignCenter, label);
}

void frmSorvantaUpgrade::myUpgrade_Progress(int percent)
{
    vbalProgressBar1->setValue(percent);
    vbalProgressBar1->setAccessibleDescription(QString::number(percent) + "%");
}

void frmSorvantaUpgrade::closeEvent(QCloseEvent* event)
{
    if (allowClose_)
        event->accept();
    else
        event->ignore();
}

frmSorvantaUpgrade* CurrentUpgradeWindow() { return gWindow; }

namespace {

constexpr int kGoOn = -1;
constexpr const char* kNotModified = "The system has not been modified.";

void ShowCritical(const std::string& text) { platform::ShowMessage(text, platform::kMsgCritical, kUpgradeTitle); }

// One upgrade of an installation at a time; before anything else, an
// upgrade ended by force is finished or put back. kGoOn, or the exit status.
int LockAndRecover(const std::string& pf, InstallationLock* lock)
{
    const std::string installation = pf.empty() ? std::string() : platform::JoinPath(pf, "Calverdine");
    if (installation.empty() || !platform::IsFolder(installation)) return kGoOn;
    if (!lock->Take(installation)) {
        ShowCritical("Another upgrade of this system is running.\rThe system has not been modified.");
        return kUpgradeFailed;
    }
    std::string error;
    switch (RecoverInterruptedUpgrade(JournalPath(pf), &error)) {
    case Recovery::kNothing:
        break;
    case Recovery::kUndone:
        platform::ShowMessage("An interrupted upgrade has been undone.", platform::kMsgInformation, kUpgradeTitle);
        break;
    case Recovery::kFinished:
        platform::ShowMessage("An interrupted upgrade has been completed.", platform::kMsgInformation,
                              kUpgradeTitle);
        break;
    case Recovery::kFailed:
        // The installation stays as the interrupted upgrade left it.
        ShowCritical("An interrupted upgrade could not be undone: " + error +
                     "\rThe installation is as the interrupted upgrade left it; the next start of the upgrade tool "
                     "tries again.");
        return kUpgradeFailed;
    }
    return kGoOn;
}

// The question names the release's version: a release without a readable
// program is refused instead. kGoOn when the user answers Yes.
int AskToUpgrade(const std::string& app)
{
    const std::string version = platform::FileVersionOf(platform::JoinPath(app, kProgramFile));
    if (version.empty()) {
        ShowCritical(std::string("The release folder holds no readable \"") + kProgramFile +
                     "\" program.\rThe system has not been modified.");
        return kUpgradeFailed;
    }
    const int answer = platform::ShowMessage("Upgrade this system to Sorvanta Version " + ShownVersion(version) + " ?",
                                             platform::kMsgQuestion, kUpgradeTitle);
    if (answer != platform::kAnsYes) {
        platform::ShowMessage("The system has not been modified.", platform::kMsgInformation, kUpgradeTitle);
        return kUpgradeDeclined;
    }
    return kGoOn;
}

// Hides the window, lets it go and shows the closing message.
void CloseWith(frmSorvantaUpgrade& window, const std::string& text, int style)
{
    window.hide();
    LetMessagesRun();
    window.allowClose(true);
    platform::ShowMessage(text, style, kUpgradeTitle);
}

// The installation to upgrade is there and every file of the release is
// whole, checked before anything is changed. kGoOn, or the exit status.
int CheckBeforeChanging(frmSorvantaUpgrade& window, const std::string& app, const std::string& pf)
{
    if (pf.empty() || !platform::FileExists(platform::JoinPath(pf, "Calverdine", "Sorvanta", kProgramFile))) {
        CloseWith(window, "Existing files to upgrade not found.\rThe system has not been modified.",
                  platform::kMsgCritical);
        return kUpgradeNotFound;
    }
    const std::string damage = CheckRelease(app, ReleaseFiles());
    if (!damage.empty()) {
        CloseWith(window, "The upgrade could not be completed: " + damage + "\rThe system has not been modified.",
                  platform::kMsgCritical);
        return kUpgradeFailed;
    }
    return kGoOn;
}

// Runs the script with its progress on the window and the busy pointer
// during registrations. Ctrl-C, SIGTERM and SIGHUP roll the script back
// before the tool ends (a signal that comes once the upgrade is complete
// ends nothing: the upgrade stands and is reported as such).
void RunScript(clsUpgrade& myUpgrade, frmSorvantaUpgrade& window, const UpgradeToolOptions& options)
{
    myUpgrade.SetRegistrationTimeout(options.registrationTimeoutMs);
    myUpgrade.Progress = [&window](int percent) { window.myUpgrade_Progress(percent); };
    myUpgrade.LetMessagesRun = LetMessagesRun;
    SetBusyPointerHandler([](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    });
    CatchStopSignals();
    myUpgrade.Go();
    SetBusyPointerHandler({});
    const int stop = StopSignal();
    RestoreStopSignals();
    if (stop != 0 && !myUpgrade.Succeeded()) {
        std::fprintf(stderr, "%s: %s\n", kProgramName, myUpgrade.Failure().c_str());
        if (myUpgrade.LeftAsItWas()) std::fprintf(stderr, "%s: %s\n", kProgramName, kNotModified);
        std::fflush(stderr);
        ::raise(stop);
    }
}

} // namespace

int RunUpgradeTool(const UpgradeToolOptions& options)
{
    std::string app = options.appFolder;
    while (app.size() > 1 && app.back() == '/') app.pop_back();
    // A file-size limit makes a write fail (EFBIG), which the script treats
    // as a failed step, instead of ending the tool in the middle of a copy.
    std::signal(SIGXFSZ, SIG_IGN);

    const std::string pf = FindSystemFolder(kFolderProgramFiles);
    InstallationLock lock;
    if (const int status = LockAndRecover(pf, &lock); status != kGoOn) return status;
    if (const int status = AskToUpgrade(app); status != kGoOn) return status;

    frmSorvantaUpgrade window;
    gWindow = &window;
    window.show();
    LetMessagesRun();
    if (const int status = CheckBeforeChanging(window, app, pf); status != kGoOn) return status;

    LetMessagesRun();
    clsUpgrade myUpgrade(app);
    RunScript(myUpgrade, window, options);
    if (!myUpgrade.Succeeded()) {
        // "Not modified" only when the rollback put everything back; else
        // the failure says what stayed and that the next start tries again.
        CloseWith(window,
                  "The upgrade could not be completed: " + myUpgrade.Failure() +
                      (myUpgrade.LeftAsItWas() ? std::string("\r") + kNotModified : std::string()),
                  platform::kMsgCritical);
        return kUpgradeFailed;
    }
    CloseWith(window, "The system has been successfully modified.", platform::kMsgInformation);
    return kUpgradeDone;
}

} // namespace upgrade
