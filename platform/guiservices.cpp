#include "platform/guiservices.h"

#include "platform/accessibility.h"
#include "platform/folderjobs.h"
#include "platform/messages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

namespace platform {

void InstallGuiServices()
{
    SetMessageHandler(ShowMessageBox);
    SetFileDialogHandler(ShowQtFileDialog);
    SetFolderBrowseHandler(ShowQtFolderDialog);
    InstallAccessibility();
}

QMessageBox::StandardButtons MessageButtons(int style)
{
    switch (style & 0x7) {
    case 1: return QMessageBox::Ok | QMessageBox::Cancel;
    case 2: return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case 3: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case 4: return QMessageBox::Yes | QMessageBox::No;
    case 5: return QMessageBox::Retry | QMessageBox::Cancel;
    default: return QMessageBox::Ok;
    }
}

QMessageBox::Icon MessageIcon(int style)
{
    switch (style & 0x70) {
    case 16: return QMessageBox::Critical;
    case 32: return QMessageBox::Question;
    case 48: return QMessageBox::Warning;
    case 64: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

int MessageAnswer(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok: return kAnsOk;
    case QMessageBox::Cancel: return kAnsCancel;
    case QMessageBox::Abort: return 3;
    case QMessageBox::Retry: return 4;
    case QMessageBox::Ignore: return 5;
    case QMessageBox::Yes: return kAnsYes;
    case QMessageBox::No: return kAnsNo;
    default: return kAnsCancel;
    }
}

QString MessageText(const std::string& text)
{
    QString s = QString::fromStdString(text);
    s.replace("\r\n", "\n");
    s.replace('\r', '\n');
    return s;
}

int ShowMessageBox(const std::string& text, int style, const std::string& title)
{
    QMessageBox box(MessageIcon(style),
                    title.empty() ? QCoreApplication::applicationName() : QString::fromStdString(title),
                    MessageText(text), MessageButtons(style), QApplication::activeWindow());
    box.setAccessibleName(box.windowTitle());
    // The first button is the default one; the close box gives Cancel, or No
    // where there is no Cancel.
    const auto buttons = MessageButtons(style);
    if (buttons & QMessageBox::Ok) box.setDefaultButton(QMessageBox::Ok);
    else if (buttons & QMessageBox::Yes) box.setDefaultButton(QMessageBox::Yes);
    else if (buttons & QMessageBox::Abort) box.setDefaultButton(QMessageBox::Abort);
    else box.setDefaultButton(QMessageBox::Retry);
    if (buttons & QMessageBox::Cancel) box.setEscapeButton(QMessageBox::Cancel);
    else if (buttons & QMessageBox::No) box.setEscapeButton(QMessageBox::No);
    else if (buttons & QMessageBox::Ok) box.setEscapeButton(QMessageBox::Ok);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (!clicked) return (buttons & QMessageBox::Cancel) ? kAnsCancel : (buttons & QMessageBox::No) ? kAnsNo : kAnsOk;
    return MessageAnswer(box.standardButton(clicked));
}

QStringList QtNameFilters(const std::string& filter)
{
    QStringList out;
    for (const auto& f : ParseFileFilter(filter)) {
        QStringList masks;
        for (const auto& p : QString::fromStdString(f.patterns).split(';', Qt::SkipEmptyParts))
            masks << p.trimmed();
        const QString desc = QString::fromStdString(f.description).trimmed();
        const QString list = masks.join(' ');
        if (desc.endsWith("(" + list + ")")) out << desc;
        else out << desc + " (" + list + ")";
    }
    return out;
}

FileDialogResult ShowQtFileDialog(const FileDialogRequest& request)
{
    QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(request.title),
                       QString::fromStdString(request.initialFolder));
    dialog.setAccessibleName(dialog.windowTitle());
    dialog.setAcceptMode(request.kind == FileDialogRequest::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.kind == FileDialogRequest::Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (request.kind == FileDialogRequest::Save && !request.promptOverwrite)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QStringList filters = QtNameFilters(request.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = request.filterIndex >= 1 && request.filterIndex <= filters.size() ? request.filterIndex : 1;
        dialog.selectNameFilter(filters.at(index - 1));
    }
    if (!request.fileName.empty()) dialog.selectFile(QString::fromStdString(request.fileName));

    FileDialogResult result;
    result.filterIndex = request.filterIndex;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return result;
    result.confirmed = true;
    result.path = QDir::fromNativeSeparators(dialog.selectedFiles().first()).toStdString();
    const int chosen = filters.indexOf(dialog.selectedNameFilter());
    if (chosen >= 0) result.filterIndex = chosen + 1;
    return result;
}

FolderBrowseResult ShowQtFolderDialog(const FolderBrowseRequest& request)
{
    // The prompt goes into the title bar: Qt's folder dialog has no prompt line.
    QString title = QString::fromStdString(request.title);
    if (!request.prompt.empty()) title += " - " + QString::fromStdString(request.prompt);
    const QString chosen = QFileDialog::getExistingDirectory(QApplication::activeWindow(), title,
                                                             QString::fromStdString(request.initialFolder));
    FolderBrowseResult result;
    if (chosen.isEmpty()) return result;
    result.confirmed = true;
    result.folder = CanonicalPath(QDir::fromNativeSeparators(chosen).toStdString());
    return result;
}

void ShowMaximised(QWidget& window)
{
    if (QScreen* s = window.screen()) window.setGeometry(s->availableGeometry());
    window.showMaximized();
}

int ScreenWidth()
{
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().width() : 0;
}

int ScreenHeight()
{
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().height() : 0;
}

int ColorDepth()
{
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->depth() : 0;
}

int LogicalDpiX()
{
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? qRound(s->logicalDotsPerInchX()) : 0;
}

bool IsSmallFonts()
{
    return LogicalDpiX() == 96;
}

} // namespace platform
