#include "platform/listboxes.h"

#include "platform/folderjobs.h"
#include "platform/folders.h"

#include <QByteArray>
#include <QFile>

namespace platform {

DirListBox::DirListBox(QWidget* parent) : QListWidget(parent)
{
    setAccessibleName("Folder list");
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const QByteArray name = item->data(Qt::UserRole).toByteArray();
        setFolder(JoinPath(folder_, name.toStdString()));
    });
}

void DirListBox::setPath(const QString& folder)
{
    setFolder(folder.toStdString());
}

void DirListBox::setFolder(const std::string& folder)
{
    const std::string canonical = CanonicalPath(folder);
    const bool changed = canonical != folder_;
    folder_ = canonical;
    path_ = QFile::decodeName(QByteArray::fromStdString(folder_));
    refresh();
    if (changed) emit pathChanged(path_);
}

void DirListBox::refresh()
{
    clear();
    if (path_ != "/") {
        auto* up = new QListWidgetItem("..", this);
        up->setData(Qt::UserRole, QByteArray(".."));
    }
    for (const auto& name : ListSubfolders(folder_)) {
        const QByteArray bytes = QByteArray::fromStdString(name);
        auto* item = new QListWidgetItem(QFile::decodeName(bytes), this);
        item->setData(Qt::UserRole, bytes);
    }
}

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent)
{
    setAccessibleName("File list");
}

void FileListBox::setPath(const QString& folder)
{
    path_ = folder;
    refresh();
}

void FileListBox::setPattern(const QString& patterns)
{
    pattern_ = patterns;
    refresh();
}

void FileListBox::refresh()
{
    clear();
    if (path_.isEmpty()) return;
    for (const auto& name : ListFiles(path_.toStdString(), pattern_.toStdString()))
        addItem(QString::fromStdString(name));
}

QString FileListBox::fileName(int index) const
{
    const QListWidgetItem* it = item(index);
    return it ? it->text() : QString();
}

} // namespace platform
