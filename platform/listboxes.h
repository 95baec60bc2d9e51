#pragma once
// Thin list widgets over the folder-job kit: a folder list (the current folder
// and its sub-folders) and a file list (the files of one folder that match a
// pattern list). Windows read the listing through them; the listing itself
// comes from platform::ListSubfolders / ListFiles.
#include <QListWidget>
#include <QString>

#include <string>

namespace platform {

class DirListBox : public QListWidget {
    Q_OBJECT
public:
    explicit DirListBox(QWidget* parent = nullptr);
    // Canonical folder shown; setting it emits pathChanged when it changes.
    void setPath(const QString& folder);
    QString path() const { return path_; }
    // The same folder as the file system names it: each entry of the list
    // keeps its name's bytes, so a folder whose name is not UTF-8 is told
    // from one that shows the same text (its name holding U+FFFD).
    void setFolder(const std::string& folder);
    const std::string& folder() const { return folder_; }
    void refresh();

signals:
    void pathChanged(const QString& folder);

private:
    QString path_;
    std::string folder_;
};

class FileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit FileListBox(QWidget* parent = nullptr);
    void setPath(const QString& folder);
    QString path() const { return path_; }
    // ";"-separated patterns, letter case ignored; "*" by default.
    void setPattern(const QString& patterns);
    QString pattern() const { return pattern_; }
    // Reads the folder again.
    void refresh();
    int listCount() const { return count(); }
    QString fileName(int index) const;

private:
    QString path_;
    QString pattern_ = "*";
};

} // namespace platform
