// The windows' folder file list (see file_list.h).
#include "app/core/gui/file_list.h"

#include "platform/folders.h"

namespace gui {

FileList::FileList(QWidget* parent) : platform::FileListBox(parent)
{
    setObjectName("File1");
    setAccessibleName("File1");
    setPath(QString::fromStdString(platform::ResultsFolder()));
}

} // namespace gui
