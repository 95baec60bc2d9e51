#pragma once
// The upgrade tool's window and its start-up: the confirmation, the check for
// an installation, the script with its progress bar, the final message.
#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include "upgrade/services.h"

#include <string>

namespace upgrade {

class clsUpgrade;

// Exit status of the tool.
enum UpgradeExit : int {
    kUpgradeDone = 0,      // the system has been modified
    kUpgradeFailed = 1,    // a step failed; the files are as they were
    kUpgradeNotFound = 2,  // no installation to upgrade
    kUpgradeDeclined = 3,  // the user answered No
};

// The progress bar: dark blue, its percentage in black on the empty part and
// in white where the bar has reached it, so it reads at every value.
class UpgradeProgressBar : public QProgressBar {
public:
    using QProgressBar::QProgressBar;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class frmSorvantaUpgrade : public QWidget {
    Q_OBJECT
public:
    explicit frmSorvantaUpgrade(QWidget* parent = nullptr);

    // Handler of the script's Progress event: bar value and "40%".
    void myUpgrade_Progress(int percent);
    // The window closes only when the tool allows it.
    void allowClose(bool allow) { allowClose_ = allow; }

    QLabel* lblStatus;
    QProgressBar* vbalProgressBar1;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool allowClose_ = false;
};

struct UpgradeToolOptions {
    std::string appFolder;                 // the release folder
    int registrationTimeoutMs = kRegistrationTimeoutMs;  // per registration
};

// The tool's start-up (runs the whole tool); returns the exit status.
// Needs a QApplication.
int RunUpgradeTool(const UpgradeToolOptions& options);

// The tool's one window while it runs (for tests), or null.
frmSorvantaUpgrade* CurrentUpgradeWindow();

} // namespace upgrade
