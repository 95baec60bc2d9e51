#pragma once
// The file list of the batch, burn-mask and crop-domains windows (their
// File1): the files of one folder that match a pattern, opening on the
// results folder. One class for all three windows.
#include "app/core/gui/windows.h"

#include "platform/listboxes.h"

namespace gui {

class FileList : public platform::FileListBox, public FileListControl {
public:
    explicit FileList(QWidget* parent = nullptr);
    void SetPattern(const QString& pattern) override { setPattern(pattern); }
    QString Pattern() const override { return pattern(); }
    int FileCount() const override { return listCount(); }
};

} // namespace gui
