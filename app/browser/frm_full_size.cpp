// The full-size viewer window.
#include "app/browser/frm_full_size.h"

#include "app/browser/browser_rules.h"
#include "app/browser/frm_thumbnail_view.h"
#include "app/browser/picture_file.h"
#include "app/core/gui/frm_analysis.h"
#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "platform/commandguards.h"
#include "platform/folders.h"
#include "platform/guiservices.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>

namespace browser {

namespace {
std::string Ext() { return core::ToLower(model::files.ImageFileFormat); }
} // namespace

FrmFullSize::FrmFullSize(FrmThumbnailView& browser) : browser_(browser)
{
    setObjectName("frmFullSize");
    setWindowTitle("Full Size View");
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    p.setColor(QPalette::WindowText, Qt::white);
    setPalette(p);

    ImgXCtrl1 = new QLabel(this);
    ImgXCtrl1->setObjectName("ImgXCtrl1");
    ImgXCtrl1->setFocusPolicy(Qt::NoFocus);
    ImgXCtrl1->installEventFilter(this);
    lblFileName = new QLabel("Current File", this);
    lblFileName->setObjectName("lblFileName");
    lblFileName->move(8, 6);
    lblFileName->setMinimumWidth(600);

    mnuSecondaryMouseButtonClick = new QMenu(this);
    mnuSecondaryMouseButtonClick->setObjectName("mnuSecondaryMouseButtonClick");
    mnuLoadPhaseImage = mnuSecondaryMouseButtonClick->addAction("&Load Phase Image");
    mnuLoadPhaseImage->setObjectName("mnuLoadPhaseImage");
    connect(mnuLoadPhaseImage, &QAction::triggered, this, [this] { mnuLoadPhaseImage_Click(); });
}

bool FrmFullSize::ShowPicture(const std::string& path, std::string* error)
{
    const QImage picture = ReadPicture(path, error);
    lblFileName->setText(QString::fromStdString(platform::FileNameOf(path)));
    lblFileName->adjustSize();
    if (picture.isNull()) {
        picture_ = QPixmap();
        ImgXCtrl1->clear();
        ImgXCtrl1->resize(0, 0);
        ImgXCtrl1->setAccessibleName(QString());
        return false;
    }
    picture_ = QPixmap::fromImage(picture);
    ImgXCtrl1->setAccessibleName(lblFileName->text());   // the picture is read by its file's name
    PlacePicture();
    lblFileName->raise();
    return true;
}

void FrmFullSize::PlacePicture()
{
    if (picture_.isNull()) return;
    const PictureBox b = browser::PlacePicture(picture_.width(), picture_.height(), width(), height(),
                                               lblFileName->geometry().bottom() + 4, kCentreX, kCentreY);
    if (b.width == picture_.width() && b.height == picture_.height())
        ImgXCtrl1->setPixmap(picture_);
    else
        ImgXCtrl1->setPixmap(picture_.scaled(b.width, b.height, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    ImgXCtrl1->setGeometry(b.left, b.top, b.width, b.height);
}

void FrmFullSize::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    PlacePicture();
}

void FrmFullSize::Activate()
{
    CurrentIndex = browser_.SelectedThumbIndex();
    CurrentFile = browser_.Thumbnail1() && CurrentIndex >= 0 ? browser_.Thumbnail1()->FileName(CurrentIndex) : "";
    activateWindow();
    setFocus();
}

void FrmFullSize::Step(long index)
{
    ThumbnailClient* t = browser_.Thumbnail1();
    if (!t) return;
    CurrentIndex = index;
    CurrentFile = t->FileName(CurrentIndex);
    ShowPicture(CurrentFile);
    t->SetSelected(CurrentIndex, true);
    browser_.Thumbnail1_SelChange(CurrentIndex);
}

void FrmFullSize::keyPressEvent(QKeyEvent* event)
{
    // Every key stops here; none reaches the picture.
    event->accept();
    if (platform::IsContextMenuKey(event)) {
        OfferLoadPhaseImage(ImgXCtrl1->mapToGlobal(ImgXCtrl1->rect().center()));
        return;
    }
    ThumbnailClient* t = browser_.Thumbnail1();
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter: hide(); break;
    case Qt::Key_PageDown:
        if (t && CurrentIndex < t->ListCount() - 1) Step(CurrentIndex + 1);
        break;
    case Qt::Key_PageUp:
        if (t && CurrentIndex >= 1) Step(CurrentIndex - 1);
        break;
    default: break;
    }
}

void FrmFullSize::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) CloseByClick(*event);
}

// A left click closes the viewer; the second click of a double click, which
// lands on the browser beneath, is dropped rather than opening it again.
void FrmFullSize::CloseByClick(const QMouseEvent& event)
{
    platform::CommandClicked(event);
    hide();
}

bool FrmFullSize::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ImgXCtrl1 && event->type() == QEvent::MouseButtonPress) {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton) {
            CloseByClick(*e);
        } else if (e->button() == Qt::RightButton) {
            OfferLoadPhaseImage(e->globalPosition().toPoint());
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FrmFullSize::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() == QContextMenuEvent::Keyboard)
        OfferLoadPhaseImage(ImgXCtrl1->mapToGlobal(ImgXCtrl1->rect().center()));
}

// "Load Phase Image" for a phase image or plot picture, at `at` (screen pixels).
void FrmFullSize::OfferLoadPhaseImage(QPoint at)
{
    if (!OffersLoadPhaseImage(CurrentFile, Ext())) return;
    mnuSecondaryMouseButtonClick->popup(at);
    mnuSecondaryMouseButtonClick->setActiveAction(mnuLoadPhaseImage);
}

void FrmFullSize::mnuLoadPhaseImage_Click()
{
    const std::string phase = PhaseFileFor(CurrentFile, Ext(), platform::FileExists);
    if (!platform::FileExists(phase)) {
        model::ShowMsg(PhaseNotFoundText(phase), 16, "Phase Image Load Error");
        return;
    }
    gui::frmAnalysis().LoadPhaseImage(phase);
    hide();
    browser_.hide();
    gui::frmAnalysis().ShowWindow();   // the window holding the image comes to the front
}

void FrmFullSize::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
}

void FrmFullSize::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && windowState() == Qt::WindowNoState && isVisible())
        showMaximized();
}

} // namespace browser
