#pragma once
// A label that names a folder: the path shortened in its middle with "…" to
// the label's width (again at every resize), the whole path as its tool tip
// and as the description assistive technology reads after the shown text.
#include <QLabel>
#include <QString>

namespace editor {

class FolderPathLabel : public QLabel {
public:
    explicit FolderPathLabel(QWidget* parent = nullptr);
    void setPath(const QString& path);
    const QString& path() const { return path_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Elide();
    QString path_;
};

} // namespace editor
