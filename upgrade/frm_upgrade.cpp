// The upgrade tool's window and start-up.
#include "upgrade/frm_upgrade.h"

#include "platform/fileversion.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "upgrade/cls_upgrade.h"
#include "upgrade/services.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QVBoxLayout>

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

int RunUpgradeTool(const UpgradeToolOptions& options)
{
    std::string app = options.appFolder;
    while (app.size() > 1 && app.back() == '/') app.pop_back();

    const std::string shown = ShownVersion(platform::FileVersionOf(platform::JoinPath(app, kProgramFile)));
    const int answer = platform::ShowMessage("Upgrade this system to Sorvanta Version " + shown + " ?",
                                             platform::kMsgQuestion, kUpgradeTitle);
    if (answer != platform::kAnsYes) {
        platform::ShowMessage("The system has not been modified.", platform::kMsgInformation, kUpgradeTitle);
        return kUpgradeDeclined;
    }

    frmSorvantaUpgrade window;
    gWindow = &window;
    window.show();
    LetMessagesRun();
    const std::string pf = FindSystemFolder(kFolderProgramFiles);
    if (!platform::FileExists(platform::JoinPath(pf, "Calverdine", "Sorvanta", kProgramFile)) || pf.empty()) {
        window.hide();
        LetMessagesRun();
        platform::ShowMessage("Existing files to upgrade not found.\rThe system has not been modified.",
                              platform::kMsgCritical, kUpgradeTitle);
        window.allowClose(true);
        return kUpgradeNotFound;
    }

    LetMessagesRun();
    clsUpgrade myUpgrade(app);
    myUpgrade.SetRegistrationTimeout(options.registrationTimeoutMs);
    myUpgrade.Progress = [&window](int percent) { window.myUpgrade_Progress(percent); };
    myUpgrade.LetMessagesRun = LetMessagesRun;
    SetBusyPointerHandler([](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    });
    myUpgrade.Go();
    SetBusyPointerHandler({});

    window.hide();
    LetMessagesRun();
    window.allowClose(true);
    if (!myUpgrade.Succeeded()) {
        platform::ShowMessage("The upgrade could not be completed: " + myUpgrade.Failure() +
                                  "\rThe system has not been modified.",
                              platform::kMsgCritical, kUpgradeTitle);
        return kUpgradeFailed;
    }
    platform::ShowMessage("The system has been successfully modified.", platform::kMsgInformation, kUpgradeTitle);
    return kUpgradeDone;
}

} // namespace upgrade
