#pragma once
// The full-size viewer "Full Size View": one picture of the browser's list at
// its own size, centred (fitted into the window when it is too large to be
// seen whole there); Page Up and Page Down step through the list and move
// the browser's selection along; Esc, Enter or a left click close it; a right
// click, the menu key or Shift+F10 on a phase image or plot picture offers
// "Load Phase Image".
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QMouseEvent>
#include <QWidget>

#include <string>

namespace browser {

class FrmThumbnailView;

class FrmFullSize : public QWidget {
public:
    explicit FrmFullSize(FrmThumbnailView& browser);

    // Loads a picture into the picture control, centres it on (513, 330) of
    // the client area, or where PlacePicture puts it when it does not fit
    // there, and names it in the label. False (picture control
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
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Step(long index);
    void PlacePicture();
    void mnuLoadPhaseImage_Click();
    void OfferLoadPhaseImage(QPoint at);
    void CloseByClick(const QMouseEvent& event);

    FrmThumbnailView& browser_;
    QPixmap picture_;   // the picture as read, before any fitting
};

} // namespace browser
