// The windows' folder file list (see file_list.h).
#include "app/core/gui/file_list.h"

#include "platform/folders.h"

namespace gui {

FileList::FileList(QWidget* parent) : platform::FileListBox(parent)
{
    setObjectName("File1");   // read as the list box names itself, never by this code name
    setPath(QString::fromStdString(platform::ResultsFolder()));
}

} // namespace gui
