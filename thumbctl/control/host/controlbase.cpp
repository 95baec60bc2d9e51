// The control base: reference counting, dispatch checks, stock properties,
// events, persistence and container-facing queries.
#include "thumbctl/control/host/controlbase.h"

#include <QGuiApplication>
#include <QPalette>
#include <QWidget>

#include <algorithm>

namespace host {

namespace {
std::atomic<long> gModuleLocks{0};
} // namespace

void ModuleAddRef() { ++gModuleLocks; }
void ModuleRelease() { --gModuleLocks; }
long ModuleLockCount() { return gModuleLocks.load(); }

// ---- property exchange ---------------------------------------------------

bool PropExchange::fetch(const char* name, VarType type, Variant* v) const
{
    Variant raw;
    if (mode_ != Mode::Load || !bag_ || !bag_->read(name, &raw)) return false;
    return raw.convertTo(type, v);
}

void PropExchange::Version(int major, int minor)
{
    int32_t v = int32_t((uint32_t(major) << 16) | uint32_t(minor));
    Long("_Version", v, v);
}

void PropExchange::Bool(const char* name, bool& value, bool def)
{
    Variant v;
    if (mode_ == Mode::Save) bag_->write(name, Variant::Bool(value));
    else value = fetch(name, VarType::Bool, &v) ? v.boolean() : def;
}

void PropExchange::Short(const char* name, int16_t& value, int16_t def)
{
    Variant v;
    if (mode_ == Mode::Save) bag_->write(name, Variant::Short(value));
    else value = fetch(name, VarType::Short, &v) ? int16_t(v.integer()) : def;
}

void PropExchange::Long(const char* name, int32_t& value, int32_t def)
{
    Variant v;
    if (mode_ == Mode::Save) bag_->write(name, Variant::Long(value));
    else value = fetch(name, VarType::Long, &v) ? v.integer() : def;
}

void PropExchange::String(const char* name, std::string& value, const std::string& def)
{
    Variant v;
    if (mode_ == Mode::Save) bag_->write(name, Variant::String(value));
    else value = fetch(name, VarType::String, &v) ? v.text() : def;
}

void PropExchange::LongIfChanged(const char* name, int32_t& value, int32_t def)
{
    if (mode_ != Mode::Save || value != def) Long(name, value, def);
}

void PropExchange::StringIfChanged(const char* name, std::string& value, const std::string& def)
{
    if (mode_ != Mode::Save || value != def) String(name, value, def);
}

// ---- life ------------------------------------------------------------------

ControlBase::ControlBase() { ModuleAddRef(); }
ControlBase::~ControlBase() { ModuleRelease(); }

Status ControlBase::QueryInterface(const std::string& iid, void** out)
{
    if (!out) return kInvalidPointer;
    *out = nullptr;
    if (iid == kIidUnknown || iid == kIidDispatch) *out = static_cast<Dispatch*>(this);
    else if (iid == kIidConnectionPoints) *out = static_cast<ConnectionPoints*>(this);
    else if (iid == kIidPersistPropertyBag) *out = static_cast<PersistPropertyBag*>(this);
    else if (iid == kIidOleControl) *out = static_cast<OleControl*>(this);
    else if (iid == kIidObjectSafety) *out = static_cast<ObjectSafety*>(this);
    else if (iid == kIidSpecifyPropertyPages) *out = static_cast<SpecifyPropertyPages*>(this);
    else if (!TypeLibrary().interfaces.empty() && iid == dispatchInterface().iid) *out = static_cast<Dispatch*>(this);
    else return kNoInterface;
    AddRef();
    return kOk;
}

uint32_t ControlBase::AddRef() { return ++refs_; }

uint32_t ControlBase::Release()
{
    const uint32_t left = --refs_;
    if (left == 0) {
        // The widget half of the object goes with it (and leaves its parent).
        QWidget* w = Widget();
        if (w) delete w;
        else delete this;
    }
    return left;
}

// ---- dispatch --------------------------------------------------------------

Status ControlBase::GetIDOfName(const std::string& name, int32_t* id)
{
    if (!id) return kInvalidPointer;
    const MemberInfo* m = TypeLibrary().findMember(dispatchInterface(), name);
    if (!m) return kUnknownName;
    *id = m->id;
    return kOk;
}

void ControlBase::ThrowError(Status code, int helpId, const std::string& description)
{
    throw ControlError{code, helpId, description};
}

Status ControlBase::Invoke(int32_t id, InvokeKind kind, const std::vector<Variant>& args, Variant* result,
                           ExceptionInfo* exception)
{
    if (exception) exception->clear();
    const MemberInfo* m = TypeLibrary().findMember(dispatchInterface(), id);
    if (!m) return kMemberNotFound;
    // A method is called; a property is read or written (a call of a
    // property reads it, as script hosts do).
    if (m->kind == MemberKind::Method && kind != InvokeKind::Call && !(kind == InvokeKind::Get && m->type != VarType::Empty))
        return kMemberNotFound;
    if (m->kind == MemberKind::Property && kind == InvokeKind::Call) kind = InvokeKind::Get;

    const size_t expected = m->params.size() + (kind == InvokeKind::Put ? 1 : 0);
    if (args.size() != expected) return kBadParamCount;
    std::vector<Variant> typed(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        const VarType want = i < m->params.size() ? m->params[i].type : m->type;
        bool overflow = false;
        if (!args[i].convertTo(want, &typed[i], &overflow)) return overflow ? kOverflow : kTypeMismatch;
    }

    auto raise = [&](Status code, int helpId, const std::string& text) {
        if (exception) {
            exception->code = code;
            exception->helpId = helpId;
            exception->source = ProgId();
            exception->description = text;
        }
        return kException;
    };
    if (kind == InvokeKind::Put && (m->flags & kReadOnly))
        return raise(kCtlSetNotSupported, 0, "The property is read-only.");
    if ((m->flags & kRunTimeOnly) && !userMode_) {
        if (kind == InvokeKind::Put) return raise(kCtlSetNotSupported, 0, "The property cannot be set at design time.");
        return raise(kCtlGetNotSupported, 0, "The property cannot be read at design time.");
    }
    Variant out;
    try {
        if (!stockMember(*m, kind, typed, &out)) InvokeMember(*m, kind, typed, &out);
    } catch (const ControlError& e) {
        return raise(e.code, e.helpId, e.description);
    }
    if (result) *result = out;
    return kOk;
}

bool ControlBase::stockMember(const MemberInfo& m, InvokeKind kind, std::vector<Variant>& args, Variant* result)
{
    const bool put = kind == InvokeKind::Put;
    switch (m.id) {
    case kDispIdAppearance:
    case kDispIdBorderStyle: {
        int16_t& field = m.id == kDispIdAppearance ? appearance_ : borderStyle_;
        if (!put) {
            *result = Variant::Short(field);
            return true;
        }
        const int v = args[0].integer();
        if (v < 0 || v > 1) ThrowError(kCtlInvalidPropertyValue, 0, "Invalid property value.");
        if (v != field) {
            field = int16_t(v);
            BoundPropertyChanged(m.id);
            SetModifiedFlag();
            OnStockPropertyChanged(m.id);
        }
        return true;
    }
    case kDispIdBackColor:
        if (!put) {
            *result = Variant::Long(int32_t(backColor_));
            return true;
        }
        if (uint32_t(args[0].integer()) != backColor_) {
            backColor_ = uint32_t(args[0].integer());
            BoundPropertyChanged(m.id);
            SetModifiedFlag();
            OnStockPropertyChanged(m.id);
        }
        return true;
    case kDispIdFont:
        if (!put) {
            *result = Variant::String(fontText_);
            return true;
        }
        if (args[0].text() != fontText_) {
            QFont f;
            if (!args[0].text().empty() && !f.fromString(QString::fromStdString(args[0].text())))
                ThrowError(kCtlInvalidPropertyValue, 0, "Invalid property value.");
            font_ = f;
            fontText_ = args[0].text();
            BoundPropertyChanged(m.id);
            SetModifiedFlag();
            OnFontChanged();
            OnStockPropertyChanged(m.id);
        }
        return true;
    case kDispIdRefresh:
        if (QWidget* w = Widget()) w->repaint();
        return true;
    case kDispIdAboutBox:
        OnAboutBox();
        return true;
    default:
        return false;
    }
}

void ControlBase::OnStockPropertyChanged(int32_t)
{
    if (windowCreated_)
        if (QWidget* w = Widget()) w->update();
}

QColor ControlBase::TranslateColor(uint32_t c) const
{
    if (c & 0x80000000u) {
        const QPalette pal = QGuiApplication::palette();
        switch (c & 0xFF) {
        case 5: return pal.color(QPalette::Base);          // window
        case 8: return pal.color(QPalette::Text);          // window text
        case 15: return pal.color(QPalette::Button);       // button face
        case 13: return pal.color(QPalette::Highlight);
        case 14: return pal.color(QPalette::HighlightedText);
        default: return pal.color(QPalette::Window);
        }
    }
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// ---- events and notifications ---------------------------------------------

namespace {
// A connection list of one kind of sink: each connection has its cookie.
template <typename Sink>
Status Connect(std::vector<std::pair<uint32_t, Sink*>>& list, Sink* sink, uint32_t* cookie, uint32_t* nextCookie)
{
    if (!sink || !cookie) return kInvalidPointer;
    *cookie = (*nextCookie)++;
    list.emplace_back(*cookie, sink);
    return kOk;
}

template <typename Sink>
Status Disconnect(std::vector<std::pair<uint32_t, Sink*>>& list, uint32_t cookie)
{
    auto it = std::find_if(list.begin(), list.end(), [&](const auto& s) { return s.first == cookie; });
    if (it == list.end()) return kInvalidArg;
    list.erase(it);
    return kOk;
}
} // namespace

Status ControlBase::Advise(EventSink* sink, uint32_t* cookie) { return Connect(sinks_, sink, cookie, &nextCookie_); }

Status ControlBase::Unadvise(uint32_t cookie) { return Disconnect(sinks_, cookie); }

Status ControlBase::AdvisePropertyNotify(PropertyNotifySink* sink, uint32_t* cookie)
{
    return Connect(notifySinks_, sink, cookie, &nextCookie_);
}

Status ControlBase::UnadvisePropertyNotify(uint32_t cookie) { return Disconnect(notifySinks_, cookie); }

namespace {
template <typename Sink, typename Call>
void CallEach(const std::vector<std::pair<uint32_t, Sink*>>& live, Call call)
{
    // The list may change while a sink runs: walk a copy, and call a sink
    // only while its connection still stands.
    const auto round = live;
    for (const auto& s : round) {
        const bool connected =
            std::any_of(live.begin(), live.end(), [&](const auto& x) { return x.first == s.first; });
        if (connected) call(s.second);
    }
}
} // namespace

void ControlBase::FireEvent(int32_t id, std::vector<Variant>& args)
{
    // A sink may drop the container's last reference; the window then goes
    // once the event that is running has returned to the event loop.
    AddRef();
    CallEach(sinks_, [&](EventSink* s) { s->OnEvent(id, args); });
    if (--refs_ == 0) {
        if (QWidget* w = Widget()) w->deleteLater();
        else delete this;
    }
}

void ControlBase::BoundPropertyChanged(int32_t id)
{
    CallEach(notifySinks_, [&](PropertyNotifySink* s) { s->OnChanged(id); });
}

// ---- persistence -----------------------------------------------------------

void ControlBase::ExchangeStockProps(PropExchange& px)
{
    int32_t appearance = appearance_, border = borderStyle_, back = int32_t(backColor_);
    std::string font = fontText_;
    px.LongIfChanged("Appearance", appearance, 1);
    px.LongIfChanged("BackColor", back, int32_t(0x80000005u));
    px.LongIfChanged("BorderStyle", border, 0);
    px.StringIfChanged("Font", font, "");
    if (px.isLoading()) {
        appearance_ = int16_t(appearance == 0 ? 0 : 1);
        borderStyle_ = int16_t(border == 0 ? 0 : 1);
        backColor_ = uint32_t(back);
        QFont f;
        if (!font.empty() && f.fromString(QString::fromStdString(font))) {
            font_ = f;
            fontText_ = font;
        } else {
            font_ = QFont();
            fontText_.clear();
        }
        OnFontChanged();
    }
}

Status ControlBase::InitNew()
{
    PropExchange px(PropExchange::Mode::Reset, nullptr);
    DoPropExchange(px);
    modified_ = false;
    if (windowCreated_) Widget()->update();
    return kOk;
}

Status ControlBase::Load(const PropertyBag& bag)
{
    PropertyBag copy = bag;
    PropExchange px(PropExchange::Mode::Load, &copy);
    DoPropExchange(px);
    modified_ = false;
    if (windowCreated_) Widget()->update();
    return kOk;
}

Status ControlBase::Save(PropertyBag* bag, bool clearDirty)
{
    if (!bag) return kInvalidPointer;
    PropExchange px(PropExchange::Mode::Save, bag);
    DoPropExchange(px);
    if (clearDirty) modified_ = false;
    return kOk;
}

Status ControlBase::IsDirty() { return modified_ ? kOk : kFalse; }

// ---- window and container state --------------------------------------------

QWidget* ControlBase::CreateControlWindow(QWidget* parent)
{
    QWidget* w = Widget();
    if (!w) return nullptr;
    if (!windowCreated_) {
        w->setParent(parent);
        windowCreated_ = true;
        OnCreate();
    }
    w->show();
    return w;
}

QWidget* ControlBase::ControlWindow() { return windowCreated_ ? Widget() : nullptr; }

void ControlBase::CloseControlWindow()
{
    QWidget* w = Widget();
    if (!w || !windowCreated_) return;
    w->hide();
    w->setParent(nullptr);
    windowCreated_ = false;
}

Status ControlBase::GetPages(std::vector<std::string>* classIds)
{
    if (!classIds) return kInvalidPointer;
    *classIds = PropPageIds();
    return kOk;
}

// ---- object safety -----------------------------------------------------------

Status ControlBase::GetInterfaceSafetyOptions(const std::string& iid, uint32_t* supported, uint32_t* enabled)
{
    void* p = nullptr;
    const Status s = QueryInterface(iid, &p);
    if (p) Release();
    if (supported) *supported = kSafeForUntrustedCaller | kSafeForUntrustedData;
    if (enabled) *enabled = kSafeForUntrustedCaller | kSafeForUntrustedData;
    return s;
}

Status ControlBase::SetInterfaceSafetyOptions(const std::string& iid, uint32_t mask, uint32_t options)
{
    void* p = nullptr;
    if (Failed(QueryInterface(iid, &p))) return kNoInterface;
    Release();
    const uint32_t known = kSafeForUntrustedCaller | kSafeForUntrustedData;
    if ((mask & ~known) == 0 && (mask & options) == mask) return kOk;
    return kFail;
}

} // namespace host
