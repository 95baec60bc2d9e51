#pragma once
// The result image browser "Thumbnail View": the pictures of one results
// folder (plots, phase images, masks, legends) in the thumbnail-list control,
// with kind filters, three grid layouts, a folder choice, the count and
// loading progress, "Load Phase Image" on a right click, and the full-size
// viewer on Enter or a double click. The control is created by its ProgID
// and driven only through its automation members and events.
#include "app/browser/browser_rules.h"
#include "app/browser/thumbnail_client.h"
#include "app/core/gui/windows.h"
#include "platform/pathtext.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>

#include <array>
#include <memory>
#include <string>

namespace browser {

class FrmFullSize;

class FrmThumbnailView : public gui::ThumbnailViewWindow {
public:
    FrmThumbnailView();
    ~FrmThumbnailView() override;

    // Public members the opening commands and the viewer use.
    void SetSelectedThumbFilename(const QString& path) override { SelectedThumbFilename = platform::PathBytes(path); }
    void ImageFilter(const QString& filter) override;
    void DisplayThumbnailView() override;
    void ThumbnailSize(int n);
    void mnuoptSelectFolder_Click();
    void Thumbnail1_SelChange(long index);
    long SelectedThumbIndex();
    long GetThumbIndexForFilename(const std::string& name);
    void AdjustThumbnailDisplayPosition(long index);

    // The hosted control; null while it could not be created.
    ThumbnailClient* Thumbnail1() const { return thumbnail_.get(); }
    FrmFullSize& fullSize() { return *fullSize_; }
    // "Number Of Images: " and the count, shown above the control's right end.
    void ShowImageCount(long count);

    // Controls.
    QMenuBar* menuBar;
    QMenu* Options;
    QMenu* optLayout;
    QMenu* mnuoptDisplayFilter;
    std::array<QAction*, KindCount> kindItems{};  // mnuopt3D ... mnuoptLegendFiles
    std::array<QAction*, 3> layoutItems{};        // optFiveByFive, optFourByFour, optThreeByThree
    QAction* mnuoptSelectFolder;
    QMenu* mnuSecondaryMouseButtonClick;          // the right-click pop-up
    QAction* mnuLoadPhaseImage;
    QWidget* client;                              // the area below the menu bar
    QLabel* lblSelectedFile;
    QLabel* lblNumberOfImages;
    QLabel* lblLoading;
    QProgressBar* ProgressBar1;

    // State.
    std::string SelectedThumbFilename;
    FilterEntries FilterEntries_;
    std::string FilePattern;
    long CurrentThumbIndex = -1;
    int ThumbsPerRow = 5;
    bool ItemClicked = false;

    // Where the control sits in the client area, in pixels.
    static constexpr int kControlLeft = 12, kControlTop = 30, kControlWidth = 1001, kControlHeight = 657;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    bool MakeControl(bool tellUser);
    void ApplyFilePattern();
    void KindItem_Click(int kind);
    void LayoutItem_Click(int n);
    void ShowNoImages();
    void Thumbnail1_LoadingStart(long index);
    void Thumbnail1_LoadingEnd(long index);
    void LoadingFinished();
    void ShowLoadedCount();
    void Thumbnail1_ItemDblClick(long index);
    void Thumbnail1_KeyDown(int keyCode, int shift);
    void Thumbnail1_MouseDown(int button, int shift, int x, int y);
    void mnuLoadPhaseImage_Click();
    void OfferLoadPhaseImage(QPoint at);
    void BrowseForThumbnailFolder(const std::string& startPath);
    void ShowMessage(const std::string& text, int style, const std::string& title);
    std::string Ext() const;

    std::unique_ptr<ThumbnailClient> thumbnail_;
    std::unique_ptr<FrmFullSize> fullSize_;
    bool loadingShown_ = false;
    // This window's own message variables.
    std::string msgText_, msgTitle_;
    int msgStyle_ = 0, msgResponse_ = 0;
};

// The browser as the program made it (after InstallBrowserWindows).
FrmThumbnailView& frmThumbnailView();

// A new browser window (the program's window table names it).
gui::ThumbnailViewWindow* NewThumbnailViewWindow();

// Installs the browser as the program's thumbnail window, for a test that
// runs without the whole program's table.
void InstallBrowserWindows();

} // namespace browser
