// The browser's connection to the thumbnail-list control: creation by ProgID,
// calls by member name, events to callbacks.
#include "app/browser/thumbnail_client.h"

#include "platform/folders.h"
#include "thumbctl/control/host/registry.h"

namespace browser {

using host::InvokeKind;
using host::Variant;

namespace {

// A path quoted for pasting into a shell.
std::string ShellQuoted(const std::string& path)
{
    std::string quoted = "'";
    for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The command that registers the control installed beside the program: for
// every user of an installation, else for the user.
std::string RegisterCommand()
{
    const std::string folder = platform::SystemFolder();
    const bool installation = !host::InstallationRegistryPath().empty();
    return ShellQuoted(platform::JoinPath(folder, "norvikel-regsvr")) + (installation ? " register --system " : " register ") +
           ShellQuoted(platform::JoinPath(folder, "libNorvikel.so"));
}

std::string CreationMessage(host::Status s, const std::string& detail)
{
    if (s == host::kClassNotRegistered && !detail.empty())  // the class registry itself cannot be read
        return "The thumbnail control is not registered, so thumbnails cannot be shown:\r" + detail +
               ".\rMove that file aside, register the control again with\r" + RegisterCommand() +
               "\rthen try again.";
    if (s == host::kClassNotRegistered)
        return "The thumbnail control is not registered, so thumbnails cannot be shown.\rRegister it with\r" +
               RegisterCommand() + "\rthen try again.";
    if (s == host::kModuleNotFound)
        return "The thumbnail control is registered but its library cannot be loaded:\r" + detail;
    return "The thumbnail control cannot be created (" + host::StatusText(s) + ", " + host::StatusHex(s) + ")." +
           (detail.empty() ? std::string() : "\r" + detail);
}

} // namespace

std::unique_ptr<ThumbnailClient> ThumbnailClient::Create(QWidget* parent, std::string* message)
{
    std::unique_ptr<ThumbnailClient> c(new ThumbnailClient);
    std::string detail;
    const host::Status s =
        host::CreateObject(kThumbnailProgId, host::kIidDispatch, reinterpret_cast<void**>(&c->dispatch_), &detail);
    if (host::Failed(s) || !c->dispatch_) {
        if (message) *message = CreationMessage(host::Failed(s) ? s : host::kFail, detail);
        return nullptr;
    }
    c->dispatch_->QueryInterface(host::kIidConnectionPoints, reinterpret_cast<void**>(&c->points_));
    c->dispatch_->QueryInterface(host::kIidOleControl, reinterpret_cast<void**>(&c->control_));
    c->dispatch_->QueryInterface(host::kIidItemHitTest, reinterpret_cast<void**>(&c->hitTest_));
    if (!c->points_ || !c->control_) {
        if (message) *message = "The registered thumbnail control is not a control this program can host.";
        return nullptr;
    }
    c->points_->Advise(c.get(), &c->cookie_);
    c->control_->SetAmbientUserMode(true);
    // Settings before the window exists, so that nothing loads on its own.
    c->Put("AutoUpdate", {Variant::Bool(false)});
    c->widget_ = c->control_->CreateControlWindow(parent);
    c->windowMade_ = !c->widget_.isNull();
    return c;
}

ThumbnailClient::~ThumbnailClient()
{
    if (windowMade_ && widget_.isNull()) return;  // the object went with its window
    if (points_ && cookie_) points_->Unadvise(cookie_);
    if (widget_) widget_->setParent(nullptr);
    for (host::Unknown* u : std::initializer_list<host::Unknown*>{hitTest_, control_, points_, dispatch_})
        if (u) u->Release();
}

long ThumbnailClient::ItemAt(int x, int y)
{
    if (!hitTest_ || (windowMade_ && widget_.isNull())) return -1;
    return hitTest_->ItemAtPoint(x, y);
}

bool ThumbnailClient::invoke(const std::string& name, InvokeKind kind, const std::vector<Variant>& args,
                             Variant* result)
{
    error_.clear();
    if (!dispatch_) {
        error_ = "no control";
        return false;
    }
    int32_t id = 0;
    host::Status s = dispatch_->GetIDOfName(name, &id);
    if (host::Failed(s)) {
        error_ = name + ": " + host::StatusText(s);
        return false;
    }
    host::ExceptionInfo exception;
    s = dispatch_->Invoke(id, kind, args, result, &exception);
    if (host::Failed(s)) {
        error_ = name + ": " + (s == host::kException ? exception.description : host::StatusText(s));
        return false;
    }
    return true;
}

bool ThumbnailClient::Get(const std::string& name, const std::vector<Variant>& index, Variant* value)
{
    return invoke(name, InvokeKind::Get, index, value);
}

bool ThumbnailClient::Put(const std::string& name, std::vector<Variant> indexAndValue)
{
    return invoke(name, InvokeKind::Put, indexAndValue, nullptr);
}

bool ThumbnailClient::Call(const std::string& name, const std::vector<Variant>& args, Variant* result)
{
    return invoke(name, InvokeKind::Call, args, result);
}

namespace {
int32_t IntegerOf(const Variant& v) { return v.type() == host::VarType::String ? 0 : v.integer(); }
} // namespace

std::string ThumbnailClient::textOf(const std::string& name, const std::vector<Variant>& index)
{
    Variant v;
    return Get(name, index, &v) ? v.text() : std::string();
}

int32_t ThumbnailClient::integerOf(const std::string& name)
{
    Variant v;
    return Get(name, {}, &v) ? IntegerOf(v) : 0;
}

std::string ThumbnailClient::DataPath() { return textOf("DataPath"); }
void ThumbnailClient::SetDataPath(const std::string& path) { Put("DataPath", {Variant::String(path)}); }

long ThumbnailClient::ListCount() { return integerOf("ListCount"); }

void ThumbnailClient::SetPattern(const std::string& pattern) { Put("Pattern", {Variant::String(pattern)}); }
std::string ThumbnailClient::Pattern() { return textOf("Pattern"); }

int ThumbnailClient::ThumbnailHeight() { return integerOf("ThumbnailHeight"); }
int ThumbnailClient::ThumbnailWidth() { return integerOf("ThumbnailWidth"); }
void ThumbnailClient::SetThumbnailHeight(int h) { Put("ThumbnailHeight", {Variant::Short(int16_t(h))}); }
void ThumbnailClient::SetThumbnailWidth(int w) { Put("ThumbnailWidth", {Variant::Short(int16_t(w))}); }

long ThumbnailClient::TopIndex() { return integerOf("TopIndex"); }
void ThumbnailClient::SetTopIndex(long index) { Put("TopIndex", {Variant::Long(int32_t(index))}); }

std::string ThumbnailClient::FileName(long index) { return textOf("FileName", {Variant::Long(int32_t(index))}); }

bool ThumbnailClient::Selected(long index)
{
    Variant v;
    return Get("Selected", {Variant::Long(int32_t(index))}, &v) && v.boolean();
}
void ThumbnailClient::SetSelected(long index, bool on)
{
    Put("Selected", {Variant::Long(int32_t(index)), Variant::Bool(on)});
}

void ThumbnailClient::RemoveAll() { Call("RemoveAll", {}); }

bool ThumbnailClient::Update()
{
    Variant v;
    return Call("Update", {}, &v) && v.boolean();
}

int32_t ThumbnailClient::eventId(const char* name) const
{
    const host::TypeLibInfo& lib = dispatch_->TypeLib();
    if (lib.interfaces.size() < 2) return 0;
    const host::MemberInfo* m = lib.findMember(lib.interfaces[1], name);
    return m ? m->id : 0;
}

void ThumbnailClient::OnEvent(int32_t id, std::vector<Variant>& args)
{
    auto arg = [&](size_t i) { return i < args.size() ? IntegerOf(args[i]) : 0; };
    auto text = [&](size_t i) { return i < args.size() ? args[i].text() : std::string(); };
    if (id == eventId("ItemClick")) {
        if (onItemClick) onItemClick(arg(0));
    } else if (id == eventId("ItemDblClick")) {
        if (onItemDblClick) onItemDblClick(arg(0));
    } else if (id == eventId("SelChange")) {
        if (onSelChange) onSelChange(arg(0));
    } else if (id == eventId("LoadingStart")) {
        if (onLoadingStart) onLoadingStart(arg(0), text(1));
    } else if (id == eventId("LoadingEnd")) {
        if (onLoadingEnd) onLoadingEnd(arg(0), text(1));
    } else if (id == eventId("KeyDown")) {
        if (onKeyDown) onKeyDown(arg(0), arg(1));
    } else if (id == eventId("MouseDown")) {
        if (onMouseDown) onMouseDown(arg(0), arg(1), arg(2), arg(3));
    }
}

} // namespace browser
