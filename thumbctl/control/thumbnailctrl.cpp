// The control object: construction, automation members, property
// persistence, events and the widget's event entry points.
#include "thumbctl/control/thumbnailctrl.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "thumbctl/control/host/proppage.h"
#include "thumbctl/control/thumbnail.h"
#include "thumbctl/control/typelib.h"
#include "thumbctl/control/view_access.h"

namespace thumbctl {

using host::InvokeKind;
using host::Variant;

CThumbnailCtrl* CThumbnailCtrl::Create() { return new CThumbnailCtrl(); }

CThumbnailCtrl::CThumbnailCtrl()
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QString::fromUtf8(kListAccessibleName));
    InstallAccessibility(*this);
    // Every platform this runs on reads URLs.
    m.UrlSupported = true;
}

CThumbnailCtrl::~CThumbnailCtrl()
{
    DeleteAllItems();
    m.List.selected.clear();
}

host::Status CThumbnailCtrl::QueryInterface(const std::string& iid, void** out)
{
    if (!out || iid != host::kIidItemHitTest) return ControlBase::QueryInterface(iid, out);
    *out = static_cast<host::ItemHitTest*>(this);
    AddRef();
    return host::kOk;
}

const host::TypeLibInfo& CThumbnailCtrl::TypeLibrary() const { return NorvikelTypeLib(); }

std::vector<std::string> CThumbnailCtrl::PropPageIds() const
{
    return {kPropPageClassId, host::kStockFontPageId, host::kStockColorPageId};
}

// ---- persistence ---------------------------------------------------------------

void CThumbnailCtrl::DoPropExchange(host::PropExchange& px)
{
    px.Version(1, 0);
    ExchangeStockProps(px);
    px.Bool("AutoUpdate", m.AutoUpdate, true);
    px.Short("CaptionType", m.CaptionType, trkCaptionNumber);
    px.String("DataPath", m.DataPath, "");
    px.Short("DataSource", m.DataSource, trkDataSrcFolder);
    px.String("Pattern", m.Pattern, "*.*");
    px.Short("ScrollDirection", m.ScrollDirection, trkScrollVert);
    px.Long("SelectLimit", m.SelectLimit, 1);
    px.Short("SortType", m.SortType, trkSortNone);
    px.Short("ThumbnailHeight", m.ThumbnailHeight, 60);
    px.Short("ThumbnailWidth", m.ThumbnailWidth, 80);
    px.Long("TopIndex", m.TopIndex, 0);
    SortKeyOfType(m.SortType, &m.SortKey, &m.SortOrder);
    m.ThumbBoxWidth = m.ThumbnailWidth;
    m.ThumbBoxHeight = m.ThumbnailHeight;
}

void CThumbnailCtrl::OnFontChanged()
{
    const QFontMetrics fm(StockFont());
    m.CaptionTextHeight = fm.height() + fm.leading();
    Relayout();
}

void CThumbnailCtrl::OnCreate()
{
    if (AmbientUserMode() && m.AutoUpdate && m.DataSource != trkDataSrcDirect) Update();
}

// ---- automation ---------------------------------------------------------------

void CThumbnailCtrl::RaiseInvalidProperty()
{
    ThrowError(host::kCtlInvalidPropertyValue, kInvalidPropertyHelpId, kInvalidPropertyText);
}

long CThumbnailCtrl::checkedIndex(const Variant& index) const
{
    const long i = index.integer();
    if (i < 0 || i >= ItemCount())
        ThrowError(host::kCtlInvalidPropertyValue, kInvalidIndexHelpId, kInvalidIndexText);
    return i;
}

void CThumbnailCtrl::changed(int32_t id)
{
    BoundPropertyChanged(id);
    SetModifiedFlag();
}

void CThumbnailCtrl::InvokeMember(const host::MemberInfo& member, InvokeKind kind, std::vector<Variant>& args,
                                  Variant* result)
{
    const int32_t id = member.id;
    if (member.kind == host::MemberKind::Method) {
        if (id != dispidGetErrorCode) m.LastError = trkSuccess;
        switch (id) {
        case dispidAdd:
            *result = Variant::Bool(Add(args[0].integer(), args[1].text(), args[2].text(), args[3].text()));
            return;
        case dispidAddDIB:
            *result = Variant::Bool(
                AddDIB(args[0].integer(), uint32_t(args[1].integer()), args[2].boolean(), args[3].text(), args[4].text()));
            return;
        case dispidCancel: Cancel(); return;
        case dispidClearSelection: ClearSelection(); return;
        case dispidGetErrorCode: *result = Variant::Short(GetErrorCode()); return;
        case dispidRemove: Remove(args[0].integer()); return;
        case dispidRemoveAll: RemoveAll(); return;
        case dispidSelectAll: SelectAll(); return;
        case dispidUpdate: *result = Variant::Bool(Update()); return;
        default: return;
        }
    }
    if (kind == InvokeKind::Put) {
        if (member.params.empty()) {
            putProperty(id, args[0]);
        } else if (id == dispidSelected) {
            SetItemSelected(checkedIndex(args[0]), args[1].boolean());
        }
        return;
    }
    *result = getProperty(id);
    if (member.params.empty()) return;
    if (id == dispidSelectedIndices) {
        const long n = args[0].integer();
        if (m.List.selected.empty()) *result = Variant::Long(-1);
        else if (n < 0 || n >= long(m.List.selected.size()))
            ThrowError(host::kCtlInvalidPropertyValue, kInvalidIndexHelpId, kInvalidIndexText);
        else *result = Variant::Long(int32_t(m.List.selected[size_t(n)]));
        return;
    }
    const long i = checkedIndex(args[0]);
    switch (id) {
    case dispidFileName: *result = Variant::String(ItemFullPath(i)); break;
    case dispidKey: *result = Variant::String(ItemKey(i)); break;
    case dispidLabel: *result = Variant::String(ItemLabel(i)); break;
    case dispidSelected: *result = Variant::Bool(ItemSelected(i)); break;
    case dispidMultiPage: *result = Variant::Bool(ItemMultiPage(i)); break;
    default: break;
    }
}

Variant CThumbnailCtrl::getProperty(int32_t id)
{
    switch (id) {
    case dispidCaptionType: return Variant::Short(m.CaptionType);
    case dispidDataPath: return Variant::String(m.DataPath);
    case dispidDataSource: return Variant::Short(m.DataSource);
    case dispidListCount: return Variant::Long(int32_t(ItemCount()));
    case dispidPattern: return Variant::String(m.Pattern);
    case dispidScrollDirection: return Variant::Short(m.ScrollDirection);
    case dispidSelectLimit: return Variant::Long(m.SelectLimit);
    case dispidSelectedCount: return Variant::Long(int32_t(m.List.selected.size()));
    case dispidSortType: return Variant::Short(m.SortType);
    case dispidThumbnailHeight: return Variant::Short(m.ThumbnailHeight);
    case dispidThumbnailWidth: return Variant::Short(m.ThumbnailWidth);
    case dispidTopIndex:
        if (!m.List.items.empty()) m.TopIndex = ScrollPosition() * m.ItemsPerLine;
        return Variant::Long(m.TopIndex);
    case dispidAutoUpdate: return Variant::Bool(m.AutoUpdate);
    default: return Variant();
    }
}

bool CThumbnailCtrl::Changes(int32_t value, int32_t lowest, int32_t highest, int32_t current)
{
    if (value < lowest || value > highest) RaiseInvalidProperty();
    return value != current;
}

void CThumbnailCtrl::PutText(int32_t id, const std::string& text)
{
    std::string& field = id == dispidDataPath ? m.DataPath : m.Pattern;
    if (text == field) return;
    field = text;
    changed(id);
    // A new path reloads every loaded source, a new pattern the folder.
    const bool reload = id == dispidDataPath ? m.DataSource != trkDataSrcDirect : m.DataSource == trkDataSrcFolder;
    if (AmbientUserMode() && m.AutoUpdate && reload) {
        m.LastError = trkSuccess;
        Update();
    }
}

void CThumbnailCtrl::PutSortType(int32_t v)
{
    if (!Changes(v, trkSortNone, trkSortLabelStrDescending, m.SortType)) return;
    m.SortType = int16_t(v);
    changed(dispidSortType);
    SortKeyOfType(v, &m.SortKey, &m.SortOrder);
    if (m.SortKey != 0) {
        SortItems();
        update();
    }
}

void CThumbnailCtrl::PutTopIndex(int32_t v)
{
    if (!Changes(v, 0, INT32_MAX, m.TopIndex)) return;
    m.TopIndex = v;
    changed(dispidTopIndex);
    if (WindowCreated()) {
        if (m.ItemsPerLine > 0) SetScrollPosition(m.TopIndex / m.ItemsPerLine);
        update();
    }
}

void CThumbnailCtrl::putProperty(int32_t id, const Variant& value)
{
    const int32_t v = value.integer();
    // How the grid looks: laid out again at once.
    auto setLook = [&](int16_t& field) {
        field = int16_t(v);
        changed(id);
        Relayout();
    };
    switch (id) {
    case dispidCaptionType:
        if (Changes(v, trkCaptionNone, trkCaptionLabelStr, m.CaptionType)) setLook(m.CaptionType);
        break;
    case dispidScrollDirection:
        if (Changes(v, trkScrollVert, trkScrollHorz, m.ScrollDirection)) setLook(m.ScrollDirection);
        break;
    case dispidDataPath:
    case dispidPattern: PutText(id, value.text()); break;
    case dispidDataSource:
        if (!Changes(v, trkDataSrcDirect, trkDataSrcIndirect, m.DataSource)) break;
        m.DataSource = int16_t(v);
        m.ClearBeforeAdd = true;
        changed(id);
        break;
    case dispidSelectLimit:
        if (!Changes(v, -1, INT32_MAX, m.SelectLimit)) break;
        ClearSelection();
        m.SelectLimit = v;
        changed(id);
        break;
    case dispidSortType: PutSortType(v); break;
    case dispidThumbnailHeight:
    case dispidThumbnailWidth: {
        int16_t& field = id == dispidThumbnailHeight ? m.ThumbnailHeight : m.ThumbnailWidth;
        if (!Changes(v, 0, INT32_MAX, field)) break;
        field = int16_t(v);
        changed(id);
        break;
    }
    case dispidTopIndex: PutTopIndex(v); break;
    case dispidAutoUpdate:
        if (value.boolean() == m.AutoUpdate) break;
        m.AutoUpdate = value.boolean();
        changed(id);
        break;
    default: break;
    }
}

void CThumbnailCtrl::Cancel()
{
    m.LastError = trkSuccess;
    if (m.Loading || m.Fetching) m.CancelRequested = true;
}

void CThumbnailCtrl::ClearSelection()
{
    m.LastError = trkSuccess;
    const bool had = !m.List.selected.empty();
    const bool flagged = DeselectAllItems();
    m.List.selected.clear();
    if ((had || flagged) && WindowCreated()) {
        DrawFocusFrame();
        update();
    }
}

void CThumbnailCtrl::Remove(long index)
{
    m.LastError = trkSuccess;
    if (index < 0 || index >= ItemCount() || RefusedWhileFetching()) return;
    RemoveItemAt(index);
    Relayout();
}

void CThumbnailCtrl::RemoveAll()
{
    m.LastError = trkSuccess;
    if (RefusedWhileFetching()) return;
    DeleteAllItems();
    m.List.selected.clear();
    m.List.focus = 0;
    Relayout();
}

void CThumbnailCtrl::SelectAll()
{
    m.LastError = trkSuccess;
    const long n = ItemCount();
    if (!SelectAllAllowed(n, m.SelectLimit)) return;
    const bool changedAny = SelectAllItems();
    m.List.selected.clear();
    for (long i = 0; i < n; ++i) m.List.selected.push_back(uint32_t(i));
    if (changedAny && WindowCreated()) {
        DrawFocusFrame();
        update();
    }
}

// ---- events --------------------------------------------------------------------

void CThumbnailCtrl::Fire(int32_t id, std::vector<Variant> args) { FireEvent(id, args); }

void CThumbnailCtrl::FireLoadingStart(long index, const std::string& file)
{
    Fire(eventLoadingStart, {Variant::Long(int32_t(index)), Variant::String(file)});
}

void CThumbnailCtrl::FireLoadingEnd(long index, const std::string& file)
{
    Fire(eventLoadingEnd, {Variant::Long(int32_t(index)), Variant::String(file)});
}

int CThumbnailCtrl::FireKeyEvent(int32_t id, int keyCode, int shift)
{
    std::vector<Variant> args = {Variant::Short(int16_t(keyCode)), Variant::Short(int16_t(shift))};
    FireEvent(id, args);
    return args[0].integer();
}

namespace {
int16_t ShiftState(Qt::KeyboardModifiers mods)
{
    return int16_t((mods & Qt::ShiftModifier ? 1 : 0) | (mods & Qt::ControlModifier ? 2 : 0) |
                   (mods & Qt::AltModifier ? 4 : 0));
}
int16_t ButtonState(Qt::MouseButtons b)
{
    return int16_t((b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) | (b & Qt::MiddleButton ? 4 : 0));
}
} // namespace

void CThumbnailCtrl::FireMouse(int32_t id, QMouseEvent* e)
{
    const Qt::MouseButtons buttons = id == host::kDispIdMouseMove ? e->buttons() : Qt::MouseButtons(e->button());
    const QPoint p = e->position().toPoint();
    Fire(id, {Variant::Short(ButtonState(buttons)), Variant::Short(ShiftState(e->modifiers())), Variant::Long(p.x()),
              Variant::Long(p.y())});
}

// ---- widget ----------------------------------------------------------------------

void CThumbnailCtrl::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), TranslateColor(StockBackColor()));
    PaintItems(painter, event->rect());
}

void CThumbnailCtrl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    RecalcLayout();
}

void CThumbnailCtrl::mousePressEvent(QMouseEvent* event)
{
    FireMouse(host::kDispIdMouseDown, event);
    if (event->button() == Qt::LeftButton) OnLButtonDown(event);
}

void CThumbnailCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) OnLButtonDblClk(event);
}

void CThumbnailCtrl::mouseMoveEvent(QMouseEvent* event) { FireMouse(host::kDispIdMouseMove, event); }

void CThumbnailCtrl::mouseReleaseEvent(QMouseEvent* event) { FireMouse(host::kDispIdMouseUp, event); }

void CThumbnailCtrl::keyPressEvent(QKeyEvent* event) { OnKeyDown(event); }

void CThumbnailCtrl::keyReleaseEvent(QKeyEvent* event) { OnKeyUp(event); }

// ---- about box -------------------------------------------------------------------

void CThumbnailCtrl::OnAboutBox()
{
    QDialog box(this);
    box.setWindowTitle(QString::fromUtf8(kControlTypeName));
    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(new QLabel(QString::fromUtf8(kControlTypeName), &box));
    layout->addWidget(new QLabel(QStringLiteral("Version %1").arg(QString::fromUtf8(kControlVersion)), &box));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    QPushButton* info = buttons->addButton(QString::fromUtf8("製品情報(&P)"), QDialogButtonBox::ActionRole);
    info->setObjectName("productInfo");
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    connect(info, &QPushButton::clicked, &box,
            [] { QDesktopServices::openUrl(QUrl(QStringLiteral("https://www.sorvanta.example/norvikel"))); });
    box.exec();
}

} // namespace thumbctl
