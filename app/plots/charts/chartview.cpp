#include "chartview.h"

#include "chart3d_render.h"   // TextLines

#include <QAccessibleWidget>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace charts {

namespace {

int ButtonCode(Qt::MouseButton b)
{
    switch (b) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 4;
    default: return 0;
    }
}

int ShiftCode(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) | (m & Qt::AltModifier ? 4 : 0);
}

// A chart view is a picture to assistive technology: the image role, named
// by the caller, described by what the chart's header and footer say.
QAccessibleInterface* ChartPictureFactory(const QString& className, QObject* object)
{
    if (className != QLatin1String("charts::ChartPictureView")) return nullptr;
    auto* w = qobject_cast<QWidget*>(object);
    return w ? new QAccessibleWidget(w, QAccessible::Graphic) : nullptr;
}

QString ChartDescription(const ChartBase& chart)
{
    QStringList parts;
    for (const auto& [shown, text] : {std::pair{chart.headerShown(), chart.headerText()},
                                      std::pair{chart.footerShown(), chart.footerText()}})
        if (shown && !text.isEmpty()) parts += TextLines(text);
    parts.removeAll(QString());
    return parts.join(QStringLiteral(", "));
}

} // namespace

int ActionModifier(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods)
{
    int m = 0;
    if (buttons & Qt::LeftButton) m |= 1;
    if (buttons & Qt::RightButton) m |= 2;
    if (buttons & Qt::MiddleButton) m |= 16;
    if (mods & Qt::ShiftModifier) m |= 4;
    if (mods & Qt::ControlModifier) m |= 8;
    if (!(mods & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))) m |= 32;
    return m;
}

int ActionKeyCode(int qtKey)
{
    if (qtKey == Qt::Key_Escape) return 27;
    if (qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter) return 13;
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) return qtKey;
    return qtKey & 0xFF;
}

int MatchAction(const std::vector<ChartAction>& table, int message, int modifier, int key)
{
    for (const ChartAction& a : table) {
        if (a.message != message || a.key != key) continue;
        if ((modifier & a.modifier) == a.modifier) return a.action;
    }
    return 0;
}

void ChartPictureView::attach(ChartBase* chart, const QString& accessibleName)
{
    static const bool factory = [] {
        QAccessible::installFactory(ChartPictureFactory);
        return true;
    }();
    (void)factory;
    shown_ = chart;
    setAccessibleName(accessibleName);
    setAccessibleDescription(ChartDescription(*chart));
    setMinimumSize(200, 150);
    // The chart keeps the size it was given until the view is first shown: a
    // chart on a window that never shows exports at its own size.
    connect(chart, &ChartBase::changed, this, [this] {
        dirty_ = true;
        const QString description = ChartDescription(*shown_);
        if (description != accessibleDescription()) setAccessibleDescription(description);
        update();
    });
}

void ChartPictureView::resizeEvent(QResizeEvent*)
{
    if (isVisible()) shown_->setSize(size());
    dirty_ = true;
}

void ChartPictureView::showEvent(QShowEvent*)
{
    shown_->setSize(size());
    dirty_ = true;
}

void ChartPictureView::paintEvent(QPaintEvent*)
{
    if (shown_->isBatched() && !cache_.isNull()) {
        // Changes are collected until batching ends; keep showing the last picture.
    } else if (dirty_ || cache_.size() != size()) {
        shown_->setSize(size());
        cache_ = shown_->renderImage();
        dirty_ = false;
    }
    QPainter p(this);
    p.drawImage(0, 0, cache_);
}

void ChartPictureView::mousePressEvent(QMouseEvent* e)
{
    emit mouseDown(ButtonCode(e->button()), ShiftCode(e->modifiers()), e->position().toPoint().x(),
                   e->position().toPoint().y());
}

void ChartPictureView::mouseReleaseEvent(QMouseEvent* e)
{
    emit mouseUp(ButtonCode(e->button()), ShiftCode(e->modifiers()), e->position().toPoint().x(),
                 e->position().toPoint().y());
}

ChartView::ChartView(QWidget* parent) : ChartPictureView(parent), chart_(new Chart3D(this))
{
    attach(chart_, QStringLiteral("3D Chart"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
}

void ChartView::runAction(int message, int modifier, int key, QPoint pos)
{
    if (!chart_->userChangesAllowed() || chart_->actionsHeld()) return;
    const int action = MatchAction(chart_->actions(), message, modifier, key);
    auto propose = [this](double rotation, double elevation) {
        ViewProposal v;
        v.rotation = rotation;
        v.elevation = elevation;
        emit viewChanging(&v);
        if (v.rotation == chart_->viewRotation() && v.elevation == chart_->viewElevation()) return;
        chart_->setIsBatched(true);
        chart_->setViewRotation(v.rotation);
        chart_->setViewElevation(v.elevation);
        chart_->setIsBatched(false);
        emit viewChanged();
    };
    switch (action) {
    case 1:
    case 7:
        drag_ = action == 1 ? Drag::Turn : Drag::Zoom;
        dragStart_ = pos;
        startRotation_ = chart_->viewRotation();
        startElevation_ = chart_->viewElevation();
        startScale_ = chart_->viewScale();
        emit interactionStarted(action);
        break;
    case 4:
        if (drag_ == Drag::Turn && chart_->kind() == ChartKind::Surface) {
            const QPoint d = pos - dragStart_;
            propose(std::round(startRotation_ - d.x() * 0.5), std::round(startElevation_ + d.y() * 0.5));
        }
        break;
    case 8:
        if (drag_ == Drag::Zoom) chart_->setViewScale(startScale_ * std::exp(-(pos.y() - dragStart_.y()) / 200.0));
        break;
    case 2:
    case 9:
        drag_ = Drag::None;
        break;
    case 3:
        if (drag_ == Drag::Turn) propose(startRotation_, startElevation_);
        drag_ = Drag::None;
        break;
    case 11:
        chart_->setViewScale(1.0);
        break;
    default:
        break;
    }
}

void ChartView::mousePressEvent(QMouseEvent* e)
{
    const int message = e->button() == Qt::LeftButton ? 513 : e->button() == Qt::RightButton ? 516 : 519;
    runAction(message, ActionModifier(e->buttons(), e->modifiers()), 0, e->position().toPoint());
    ChartPictureView::mousePressEvent(e);
}

void ChartView::mouseMoveEvent(QMouseEvent* e)
{
    runAction(512, ActionModifier(e->buttons(), e->modifiers()), 0, e->position().toPoint());
}

void ChartView::mouseReleaseEvent(QMouseEvent* e)
{
    const int message = e->button() == Qt::LeftButton ? 514 : e->button() == Qt::RightButton ? 517 : 520;
    runAction(message, ActionModifier(e->buttons(), e->modifiers()), 0, e->position().toPoint());
    ChartPictureView::mouseReleaseEvent(e);
}

void ChartView::keyPressEvent(QKeyEvent* e)
{
    if (e->isAutoRepeat()) return;
    const int key = ActionKeyCode(e->key());
    runAction(256, ActionModifier(QGuiApplication::mouseButtons(), e->modifiers()), key,
              mapFromGlobal(QCursor::pos()));
    emit keyDown(key, ShiftCode(e->modifiers()));
}

void ChartView::keyReleaseEvent(QKeyEvent* e)
{
    if (e->isAutoRepeat()) return;
    emit keyUp(ActionKeyCode(e->key()), ShiftCode(e->modifiers()));
}

Chart2DView::Chart2DView(QWidget* parent) : ChartPictureView(parent), chart_(new Chart2D(this))
{
    attach(chart_, QStringLiteral("2D Chart"));
}

} // namespace charts
