#pragma once
// The full-size viewer "Full Size View": one picture of the browser's list at
// its own size, centred; Page Up and Page Down step through the list and move
// the browser's selection along; Esc, Enter or a left click close it; a right
// click on a phase image or plot picture offers "Load Phase Image".
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QWidget>

#include <string>

namespace browser {

class FrmThumbnailView;

class FrmFullSize : public QWidget {
public:
    explicit FrmFullSize(FrmThumbnailView& browser);

    // Loads a picture into the picture control, centres it on (513, 330) of
    // the client area and names it in the label. False (picture control
    // emptied) when the file cannot be read; `error` then says why.
    bool ShowPicture(const std::string& path, std::string* error = nullptr);
    // Takes the browser's selection as the picture shown and the focus.
    void Activate();

    QLabel* ImgXCtrl1;    // the picture, sized to it
    QLabel* lblFileName;
    QMenu* mnuSecondaryMouseButtonClick;
    QAction* mnuLoadPhaseImage;

    long CurrentIndex = 0;
    std::string CurrentFile;

    static constexpr int kCentreX = 513, kCentreY = 330;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Step(long index);
    void mnuLoadPhaseImage_Click();

    FrmThumbnailView& browser_;
};

} // namespace browser
