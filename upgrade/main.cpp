// SorvantaUpgrade: installs the release in the tool's own folder over an
// existing installation.
//
//   SorvantaUpgrade [--prefix DIR] [--unattended yes|no]
//
// --prefix DIR     the installation prefix: DIR/lib holds "Calverdine" (or
//                  DIR/share, where earlier releases installed it); default
//                  the user's own installation under ~/.local.
// --unattended A   answers the confirmation with A and writes every message
//                  to standard output instead of showing it.
// Exit status: 0 upgraded, 1 a step failed, the release is damaged or
// another upgrade of the installation is running (nothing changed), 2 no
// installation found, 3 declined, 64 a command line it cannot take (--help
// prints the usage with status 0). Ended by SIGINT, SIGTERM or SIGHUP while
// it works, it rolls back and then ends by that signal.
//
// Test hook: SORVANTA_UPGRADE_TEST_HALT=kill:N|stop:N|term:N|int:N|hup:N sends
// the tool that signal at its Nth journal point (after each journal
// record and each completed change), so that tests interrupt an upgrade at
// exactly known places.
#include "platform/accessibility.h"
#include "platform/folders.h"
#include "platform/guiservices.h"
#include "platform/messages.h"
#include "upgrade/frm_upgrade.h"
#include "tools/cli/args.h"
#include "upgrade/services.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    std::string prefix;
    std::string unattended;
    cli::Parser p("SorvantaUpgrade",
                  "usage: SorvantaUpgrade [--prefix DIR] [--unattended yes|no]\n"
                  "exit status: 0 upgraded, 1 refused or a step failed (nothing changed), 2 no installation\n"
                  "             found, 3 declined, 64 bad command line\n",
                  64);
    p.path("--prefix", &prefix).choice("--unattended", &unattended, {"yes", "no"});
    std::vector<std::string> operands;
    if (const int status = p.parse(argc, argv, &operands); status >= 0) return status;
    if (!operands.empty()) return p.usage("unexpected argument " + operands[0]);
    if (!unattended.empty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    platform::InstallAccessibility();   // the window reads as a window, unattended too
    if (!prefix.empty()) upgrade::SetProgramFilesFolder(upgrade::ProgramFilesOfPrefix(prefix));
    if (unattended.empty()) {
        platform::InstallGuiServices();
    } else {
        const int answer = unattended == "yes" ? platform::kAnsYes : platform::kAnsNo;
        platform::SetMessageHandler([answer](const std::string& text, int style, const std::string& title) {
            std::string shown = text;
            for (char& c : shown)
                if (c == '\r') c = '\n';
            std::printf("%s: %s\n", title.c_str(), shown.c_str());
            std::fflush(stdout);
            return (style & 7) == 4 ? answer : int(platform::kAnsOk);
        });
    }
    upgrade::UpgradeToolOptions options;
    // The release folder as the bytes of the tool's own path: a folder whose
    // name is not UTF-8 is found as well.
    options.appFolder = platform::SystemFolder();
    return upgrade::RunUpgradeTool(options);
}
