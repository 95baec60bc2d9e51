// The folder name label of the folder-job windows.
#include "app/editor/gui/folder_path_label.h"

#include <algorithm>

namespace editor {

FolderPathLabel::FolderPathLabel(QWidget* parent) : QLabel(parent)
{
    // The path gives way, not the window: any width will do.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void FolderPathLabel::setPath(const QString& path)
{
    path_ = path;
    setToolTip(path);
    setAccessibleDescription(path);
    Elide();
}

void FolderPathLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    Elide();
}

void FolderPathLabel::Elide()
{
    const int room = contentsRect().width() - 2 * margin() - (indent() > 0 ? indent() : 0);
    setText(fontMetrics().elidedText(path_, Qt::ElideMiddle, std::max(0, room)));
}

} // namespace editor
