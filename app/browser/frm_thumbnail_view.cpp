// The result image browser window: menus, labels, progress, the hosted
// thumbnail control and what its events do.
#include "app/browser/frm_thumbnail_view.h"

#include "app/browser/frm_full_size.h"
#include "app/core/gui/frm_analysis.h"
#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "platform/guiservices.h"
#include "platform/dialogs.h"
#include "platform/folderjobs.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/qtext.h"
#include "platform/taskbar.h"

#include <QAccessible>
#include <QApplication>
#include <QShortcut>
#include <QCloseEvent>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

namespace browser {

namespace {

using platform::Q;

const char* const kNumberOfImages = "Number Of Images: ";

template <typename W>
W* Make(QWidget* parent, const char* name, const QString& text, int x, int y)
{
    auto* w = new W(parent);
    w->setObjectName(name);
    if constexpr (std::is_base_of_v<QLabel, W>) w->setText(text);
    w->move(x, y);
    return w;
}

} // namespace

FrmThumbnailView::FrmThumbnailView()
{
    setObjectName("frmThumbnailView");
    setWindowTitle("Thumbnail View");
    BuildControls();

    // First use: the 5 x 5 grid and every kind of picture, then the viewer.
    MakeControl(false);
    ThumbsPerRow = 5;
    ImageFilter(Q(AllKindsFilter(Ext())));
    fullSize_ = std::make_unique<FrmFullSize>(*this);
}

FrmThumbnailView::~FrmThumbnailView()
{
    // The viewer and the control go before the window's own widgets.
    fullSize_.reset();
    thumbnail_.reset();
}

void FrmThumbnailView::BuildControls()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    menuBar = new QMenuBar(this);
    menuBar->setObjectName("menuBar");
    layout->setMenuBar(menuBar);

    // Alt+O, or F10 as on the classic desktop, opens the menu.
    Options = menuBar->addMenu("&Options...");
    Options->setObjectName("Options");
    optLayout = Options->addMenu("&Layout");
    optLayout->setObjectName("optLayout");
    for (size_t i = 0; i < Layouts().size(); ++i) {
        const GridLayout& l = Layouts()[i];
        QAction* a = optLayout->addAction(l.caption);
        a->setObjectName(l.menuName);
        a->setCheckable(true);
        a->setChecked(l.n == 5);
        const int n = l.n;
        connect(a, &QAction::triggered, this, [this, n] { LayoutItem_Click(n); });
        layoutItems[i] = a;
    }
    mnuoptDisplayFilter = Options->addMenu("&Display Filter");
    mnuoptDisplayFilter->setObjectName("mnuoptDisplayFilter");
    for (int k = 0; k < KindCount; ++k) {
        QAction* a = mnuoptDisplayFilter->addAction(KindCaption(k));
        a->setObjectName(KindMenuName(k));
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, k] { KindItem_Click(k); });
        kindItems[size_t(k)] = a;
    }
    mnuoptSelectFolder = Options->addAction("&Select Folder...");
    mnuoptSelectFolder->setObjectName("mnuoptSelectFolder");
    connect(mnuoptSelectFolder, &QAction::triggered, this, [this] { mnuoptSelectFolder_Click(); });
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(f10, &QShortcut::activated, this, [this] {
        if (menuBar->isEnabled()) menuBar->setActiveAction(Options->menuAction());
    });

    mnuSecondaryMouseButtonClick = new QMenu(this);
    mnuSecondaryMouseButtonClick->setObjectName("mnuSecondaryMouseButtonClick");
    mnuLoadPhaseImage = mnuSecondaryMouseButtonClick->addAction("&Load Phase Image");
    mnuLoadPhaseImage->setObjectName("mnuLoadPhaseImage");
    connect(mnuLoadPhaseImage, &QAction::triggered, this, [this] { mnuLoadPhaseImage_Click(); });

    // Controls at fixed places, as the thumbnail grid's sizes are made for them.
    // On a screen smaller than that place the window scrolls it, so the
    // maximised window stays within the work area.
    auto* area = new QScrollArea(this);
    area->setObjectName("clientArea");
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setFocusPolicy(Qt::NoFocus);   // the thumbnails take the keyboard, not their holder
    client = new QWidget;
    client->setObjectName("client");
    // Room for the control and a narrow margin: on a 1024-pixel screen the
    // maximised window is as wide as the screen, not a pixel wider.
    client->setMinimumSize(kControlLeft + kControlWidth + 6, kControlTop + kControlHeight + 8);
    area->setWidget(client);
    layout->addWidget(area, 1);
    lblSelectedFile = Make<QLabel>(client, "lblSelectedFile", "Selected File", 13, 5);
    lblSelectedFile->setMinimumWidth(600);
    lblNumberOfImages = Make<QLabel>(client, "lblNumberOfImages", "Number Of Images:", 869, 5);
    lblLoading = Make<QLabel>(client, "lblLoading", "Loading:", 762, 5);
    ProgressBar1 = Make<QProgressBar>(client, "ProgressBar1", QString(), 822, 2);
    ProgressBar1->resize(191, 22);
    ProgressBar1->setAccessibleName("Loading:");
    ProgressBar1->hide();
    lblLoading->hide();
}

bool FrmThumbnailView::MakeControl(bool tellUser)
{
    if (thumbnail_) return true;
    std::string message;
    thumbnail_ = ThumbnailClient::Create(client, &message);
    if (!thumbnail_) {
        if (tellUser) ShowMessage(message, platform::kMsgCritical, "View Thumbnails");
        return false;
    }
    ThumbnailClient& t = *thumbnail_;
    t.widget()->setObjectName("Thumbnail1");
    t.widget()->setGeometry(kControlLeft, kControlTop, kControlWidth, kControlHeight);
    // Design settings: no captions, a folder, vertical scrolling, one
    // selected item, unsorted, loaded only when asked.
    t.Put("CaptionType", {host::Variant::Short(1)});
    t.Put("DataSource", {host::Variant::Short(2)});
    t.Put("ScrollDirection", {host::Variant::Short(1)});
    t.Put("SelectLimit", {host::Variant::Long(1)});
    t.Put("SortType", {host::Variant::Short(0)});
    t.SetPattern("*.*");
    const GridLayout* l = LayoutFor(ThumbsPerRow);
    t.SetThumbnailHeight(l->thumbnailHeight);
    t.SetThumbnailWidth(l->thumbnailWidth);
    t.SetTopIndex(0);
    t.onItemClick = [this](long) { ItemClicked = true; };
    t.onItemDblClick = [this](long index) { Thumbnail1_ItemDblClick(index); };
    t.onSelChange = [this](long index) { Thumbnail1_SelChange(index); };
    t.onLoadingStart = [this](long index, const std::string&) { Thumbnail1_LoadingStart(index); };
    t.onLoadingEnd = [this](long index, const std::string&) { Thumbnail1_LoadingEnd(index); };
    t.onKeyDown = [this](int key, int shift) { Thumbnail1_KeyDown(key, shift); };
    t.onMouseDown = [this](int button, int shift, int x, int y) { Thumbnail1_MouseDown(button, shift, x, y); };
    // The menu key and Shift+F10 offer what a right click offers.
    t.widget()->installEventFilter(this);
    return true;
}

std::string FrmThumbnailView::Ext() const { return core::ToLower(model::files.ImageFileFormat); }

void FrmThumbnailView::ShowMessage(const std::string& text, int style, const std::string& title)
{
    msgText_ = text;
    msgStyle_ = style;
    msgTitle_ = title;
    msgResponse_ = platform::ShowMessage(msgText_, msgStyle_, msgTitle_);
}

// ------------------------------------------------------------ public members

void FrmThumbnailView::ImageFilter(const QString& filter)
{
    FilterEntries_ = EntriesForFilter(filter.toStdString(), Ext());
    for (int k = 0; k < KindCount; ++k) kindItems[size_t(k)]->setChecked(!FilterEntries_[size_t(k)].empty());
}

void FrmThumbnailView::ApplyFilePattern()
{
    FilePattern = JoinEntries(FilterEntries_);
    if (thumbnail_) thumbnail_->SetPattern(FilePattern);
}

void FrmThumbnailView::ThumbnailSize(int n)
{
    const GridLayout* l = LayoutFor(n);
    if (!l) return;
    ThumbsPerRow = n;
    if (thumbnail_) {
        thumbnail_->SetThumbnailHeight(l->thumbnailHeight);
        thumbnail_->SetThumbnailWidth(l->thumbnailWidth);
    }
    for (size_t i = 0; i < Layouts().size(); ++i) layoutItems[i]->setChecked(Layouts()[i].n == n);
}

void FrmThumbnailView::ShowNoImages()
{
    ShowImageCount(0);
    lblSelectedFile->hide();
}

void FrmThumbnailView::DisplayThumbnailView()
{
    // Without the control there is nothing to show: say so and stay closed.
    if (!MakeControl(true)) return;
    ThumbnailClient& t = *thumbnail_;
    lblSelectedFile->hide();
    lblNumberOfImages->hide();
    setWindowTitle("Thumbnail View");
    if (FolderPath.isEmpty()) {
        t.SetDataPath("");
        t.RemoveAll();
        platform::ShowMaximised(*this);
        platform::YieldToUi();
        BrowseForThumbnailFolder(platform::ResultsFolder());
        return;
    }
    t.RemoveAll();
    t.SetDataPath(platform::PathBytes(FolderPath));
    ApplyFilePattern();
    platform::ShowMaximised(*this);
    platform::YieldToUi();
    setWindowTitle(Q("Thumbnail View for " + t.DataPath()));
    t.Update();
    LoadingFinished();
    if (!isVisible()) platform::ShowMaximised(*this);
    if (t.ListCount() == 0) {
        ShowMessage("No image files were found in the selected folder.", platform::kMsgCritical, "View Thumbnails");
        ShowNoImages();
    }
}

long FrmThumbnailView::SelectedThumbIndex()
{
    if (!thumbnail_) return -1;
    const long n = thumbnail_->ListCount();
    for (long i = 0; i < n; ++i)
        if (thumbnail_->Selected(i)) return i;
    return -1;
}

long FrmThumbnailView::GetThumbIndexForFilename(const std::string& name)
{
    if (!thumbnail_) return -1;
    const long n = thumbnail_->ListCount();
    for (long i = 0; i < n; ++i)
        if (thumbnail_->FileName(i) == name) return i;
    return -1;
}

void FrmThumbnailView::AdjustThumbnailDisplayPosition(long index)
{
    if (!thumbnail_) return;
    const long top = thumbnail_->TopIndex();
    const long wanted = TopIndexToShow(index, top, ThumbsPerRow);
    if (wanted != top) thumbnail_->SetTopIndex(wanted);
}

void FrmThumbnailView::Thumbnail1_SelChange(long index)
{
    if (!thumbnail_) return;
    lblSelectedFile->setText(Q("Selected File: " + platform::FileNameOf(thumbnail_->FileName(index))));
    lblSelectedFile->show();
    CurrentThumbIndex = index;
    AdjustThumbnailDisplayPosition(CurrentThumbIndex);
}

// ------------------------------------------------------------ menu commands

void FrmThumbnailView::KindItem_Click(int kind)
{
    std::string& entry = FilterEntries_[size_t(kind)];
    entry = entry.empty() ? KindEntryText(kind, Ext()) : std::string();
    kindItems[size_t(kind)]->setChecked(!entry.empty());
    if (!thumbnail_) return;
    ApplyFilePattern();
    thumbnail_->Update();
    LoadingFinished();
    if (thumbnail_->ListCount() == 0) ShowNoImages();
}

void FrmThumbnailView::LayoutItem_Click(int n)
{
    ThumbnailSize(n);
    CurrentThumbIndex = SelectedThumbIndex();
    if (!thumbnail_) return;
    thumbnail_->Update();
    LoadingFinished();
}

void FrmThumbnailView::mnuoptSelectFolder_Click()
{
    BrowseForThumbnailFolder(thumbnail_ ? thumbnail_->DataPath() : std::string());
}

void FrmThumbnailView::BrowseForThumbnailFolder(const std::string& startPath)
{
    platform::FolderBrowseRequest request;
    request.title = "Browse For Folder";
    request.prompt = "Select the folder containing images to view:";
    request.root = "Desktop";
    request.initialFolder = startPath;
    const platform::FolderBrowseResult r = platform::BrowseForFolder(request);
    if (!r.confirmed) return;
    if (!platform::IsFolder(r.folder)) {
        ShowMessage("The folder " + r.folder + " cannot be opened.", platform::kMsgCritical, "Folder Access Error");
        return;
    }
    SelectedThumbFilename.clear();
    CurrentThumbIndex = -1;
    FolderPath = platform::PathText(r.folder);
    DisplayThumbnailView();
}

// ------------------------------------------------------------ control events

void FrmThumbnailView::Thumbnail1_LoadingStart(long index)
{
    if (index == 0) {
        lblSelectedFile->hide();
        ProgressBar1->setMaximum(int(thumbnail_->ListCount()));
        lblNumberOfImages->hide();
        ProgressBar1->show();
        lblLoading->show();
        loadingShown_ = true;
        // The menu waits while the control loads: its commands reload it.
        menuBar->setEnabled(false);
        setCursor(Qt::WaitCursor);
        platform::YieldToUi();
    }
    ProgressBar1->setValue(int(index + 1));
}

void FrmThumbnailView::Thumbnail1_LoadingEnd(long index)
{
    if (index != thumbnail_->ListCount() - 1) return;
    ShowLoadedCount();
    ThumbnailClient& t = *thumbnail_;
    long select = 0;
    if (!SelectedThumbFilename.empty()) {
        select = std::max(GetThumbIndexForFilename(SelectedThumbFilename), 0L);
    } else {
        if (CurrentThumbIndex < 0) CurrentThumbIndex = 0;
        select = CurrentThumbIndex;
    }
    t.SetSelected(select, true);
    Thumbnail1_SelChange(select);
    AdjustThumbnailDisplayPosition(select);
    unsetCursor();
    t.widget()->setFocus();
}

// A loading whose last item never reported its end (it was dropped as
// unreadable) still leaves the window showing the count, not the progress.
void FrmThumbnailView::LoadingFinished()
{
    if (!loadingShown_ || !thumbnail_) return;
    ShowLoadedCount();
    unsetCursor();
}

// The progress gives way to the number of images, and the menu works again.
void FrmThumbnailView::ShowLoadedCount()
{
    ProgressBar1->hide();
    lblLoading->hide();
    loadingShown_ = false;
    menuBar->setEnabled(true);
    ShowImageCount(thumbnail_->ListCount());
}

// The count is as wide as its text and ends where the control ends, growing
// to the left, so that no number is cut at the window's edge.
void FrmThumbnailView::ShowImageCount(long count)
{
    lblNumberOfImages->setText(QString(kNumberOfImages) + QString::number(count));
    lblNumberOfImages->adjustSize();
    lblNumberOfImages->move(kControlLeft + kControlWidth - lblNumberOfImages->width(), lblNumberOfImages->y());
    lblNumberOfImages->show();
}

void FrmThumbnailView::Thumbnail1_ItemDblClick(long index)
{
    const std::string file = thumbnail_->FileName(index);
    std::string error;
    if (!fullSize_->ShowPicture(file, &error)) {
        ShowMessage("The picture " + platform::FileNameOf(file) + " cannot be shown.\r" + error, platform::kMsgCritical,
                    "Full Size View");
        return;
    }
    fullSize_->setWindowModality(Qt::ApplicationModal);
    platform::ShowMaximised(*fullSize_);
    fullSize_->Activate();
}

void FrmThumbnailView::Thumbnail1_KeyDown(int keyCode, int)
{
    if (keyCode != 13) return;
    const long i = SelectedThumbIndex();
    if (i > -1) Thumbnail1_ItemDblClick(i);
}

// A right click selects the item under the pointer through the control's
// own selection, then offers "Load Phase Image" for phase images and plot
// pictures. Positions are the control's pixels.
void FrmThumbnailView::Thumbnail1_MouseDown(int button, int, int x, int y)
{
    ThumbnailClient& t = *thumbnail_;
    const long count = t.ListCount();
    if (count == 0 || button != 2) return;
    ItemClicked = false;
    const long index = t.ItemAt(x, y);
    if (index < 0) return;
    if (!t.Selected(index)) t.SetSelected(index, true);
    Thumbnail1_SelChange(index);
    ItemClicked = true;
    OfferLoadPhaseImage(t.widget()->mapToGlobal(QPoint(x, y)));
}

// "Load Phase Image" for the selected picture, when it is a phase image or a
// plot picture, at `at` (screen pixels).
void FrmThumbnailView::OfferLoadPhaseImage(QPoint at)
{
    if (!thumbnail_ || CurrentThumbIndex < 0 || !OffersLoadPhaseImage(thumbnail_->FileName(CurrentThumbIndex), Ext()))
        return;
    mnuSecondaryMouseButtonClick->popup(at);
    mnuSecondaryMouseButtonClick->setActiveAction(mnuLoadPhaseImage);
}

bool FrmThumbnailView::eventFilter(QObject* watched, QEvent* event)
{
    if (thumbnail_ && watched == thumbnail_->widget() && platform::IsContextMenuKey(event)) {
        // The menu opens on the selected picture, as the control shows it to
        // assistive technology; on the control's middle when it does not.
        QWidget* c = thumbnail_->widget();
        QPoint at = c->mapToGlobal(c->rect().center());
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(c);
        QAccessibleInterface* item = list && CurrentThumbIndex >= 0 ? list->child(int(CurrentThumbIndex)) : nullptr;
        if (item && !item->rect().isEmpty()) at = item->rect().center();
        OfferLoadPhaseImage(at);
        return true;
    }
    return gui::ThumbnailViewWindow::eventFilter(watched, event);
}

void FrmThumbnailView::mnuLoadPhaseImage_Click()
{
    if (!thumbnail_ || CurrentThumbIndex < 0) return;
    const std::string name = thumbnail_->FileName(CurrentThumbIndex);
    const std::string phase = PhaseFileFor(name, Ext(), platform::FileExists);
    if (!platform::FileExists(phase)) {
        ShowMessage(PhaseNotFoundText(phase), platform::kMsgCritical, "Phase Image Load Error");
        return;
    }
    gui::frmAnalysis().LoadPhaseImage(phase);
    hide();
    // The window that now holds the image comes before any other (the batch
    // window, when it opened the browser).
    gui::frmAnalysis().ShowWindow();
}

// ------------------------------------------------------------ window

void FrmThumbnailView::showEvent(QShowEvent* event)
{
    gui::ThumbnailViewWindow::showEvent(event);
    platform::HideTaskbar();
}

void FrmThumbnailView::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
    // The batch window keeps the task bar hidden while it is open.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "frmBatchProcessing" && w->isVisible()) return;
    platform::ShowTaskbar();
}

void FrmThumbnailView::changeEvent(QEvent* event)
{
    gui::ThumbnailViewWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && windowState() == Qt::WindowNoState && isVisible())
        showMaximized();
}

// ------------------------------------------------------------ instance

FrmThumbnailView& frmThumbnailView()
{
    auto* w = dynamic_cast<FrmThumbnailView*>(&gui::frmThumbnailView());
    Q_ASSERT_X(w, "browser", "InstallBrowserWindows() was not called before the first use of the browser");
    return *w;
}

gui::ThumbnailViewWindow* NewThumbnailViewWindow() { return new FrmThumbnailView; }

void InstallBrowserWindows()
{
    gui::WindowFactories f;
    f.frmThumbnailView = NewThumbnailViewWindow;
    gui::SetWindowFactories(f);
}

} // namespace browser
