#include "platform/listboxes.h"

#include "platform/folderjobs.h"
#include "platform/folders.h"

namespace platform {

DirListBox::DirListBox(QWidget* parent) : QListWidget(parent)
{
    setAccessibleName("Folder list");
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const QString name = item->data(Qt::UserRole).toString();
        setPath(QString::fromStdString(JoinPath(path_.toStdString(), name.toStdString())));
    });
}

void DirListBox::setPath(const QString& folder)
{
    const QString canonical = QString::fromStdString(CanonicalPath(folder.toStdString()));
    const bool changed = canonical != path_;
    path_ = canonical;
    refresh();
    if (changed) emit pathChanged(path_);
}

void DirListBox::refresh()
{
    clear();
    if (path_ != "/") {
        auto* up = new QListWidgetItem("..", this);
        up->setData(Qt::UserRole, "..");
    }
    for (const auto& name : ListSubfolders(path_.toStdString())) {
        auto* item = new QListWidgetItem(QString::fromStdString(name), this);
        item->setData(Qt::UserRole, QString::fromStdString(name));
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
