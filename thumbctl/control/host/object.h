#pragma once
// The interfaces of an in-process control as its container sees them:
// reference-counted objects asked for interfaces by name, dispatch by member
// name or id, event and property-change connections, persistence through a
// property bag, the control's window and container state, object safety,
// property pages and class factories. Objects live in a module loaded by
// path (see registry.h); containers never name the classes behind them.
#include <cstdint>
#include <string>
#include <vector>

#include "thumbctl/control/host/propertybag.h"
#include "thumbctl/control/host/status.h"
#include "thumbctl/control/host/typeinfo.h"
#include "thumbctl/control/host/variant.h"

class QWidget;

namespace host {

// Interface names understood by QueryInterface.
inline constexpr const char* kIidUnknown = "IUnknown";
inline constexpr const char* kIidDispatch = "IDispatch";
inline constexpr const char* kIidConnectionPoints = "IConnectionPointContainer";
inline constexpr const char* kIidPersistPropertyBag = "IPersistPropertyBag";
inline constexpr const char* kIidOleControl = "IOleControl";
inline constexpr const char* kIidObjectSafety = "IObjectSafety";
inline constexpr const char* kIidSpecifyPropertyPages = "ISpecifyPropertyPages";
inline constexpr const char* kIidPropertyPage = "IPropertyPage";
inline constexpr const char* kIidClassFactory = "IClassFactory";
inline constexpr const char* kIidItemHitTest = "IItemHitTest";

class Unknown {
public:
    virtual Status QueryInterface(const std::string& iid, void** out) = 0;
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

protected:
    virtual ~Unknown() = default;
};

// Holds one reference; releases it when it goes.
template <typename T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* adopt) : p_(adopt) {}  // takes over a reference already counted
    Ref(const Ref& o) : p_(o.p_) { if (p_) p_->AddRef(); }
    Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    Ref& operator=(Ref o) { std::swap(p_, o.p_); return *this; }
    ~Ref() { if (p_) p_->Release(); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void reset() { if (p_) p_->Release(); p_ = nullptr; }
    // Address for calls that hand out a new reference.
    void** out() { reset(); return reinterpret_cast<void**>(&p_); }

    // Asks `from` for interface `iid`; empty Ref when it has none.
    template <typename U>
    static Ref query(U* from, const char* iid)
    {
        Ref r;
        if (from) from->QueryInterface(iid, r.out());
        return r;
    }

private:
    T* p_ = nullptr;
};

enum class InvokeKind { Get, Put, Call };

class Dispatch : public Unknown {
public:
    // Dispatch id of a member name (any letter case); kUnknownName when absent.
    virtual Status GetIDOfName(const std::string& name, int32_t* id) = 0;
    // Calls member `id`. `args` are the index parameters of a property (a put
    // adds the new value last) or a method's arguments. Failures the member
    // raises return kException with `exception` filled in.
    virtual Status Invoke(int32_t id, InvokeKind kind, const std::vector<Variant>& args, Variant* result,
                          ExceptionInfo* exception) = 0;
    virtual const TypeLibInfo& TypeLib() const = 0;
};

// Receives the events of one object; called synchronously on the object's
// thread. Arguments of stock key events may be changed by the sink.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void OnEvent(int32_t id, std::vector<Variant>& args) = 0;
};

class PropertyNotifySink {
public:
    virtual ~PropertyNotifySink() = default;
    virtual void OnChanged(int32_t id) = 0;
};

class ConnectionPoints : public Unknown {
public:
    virtual Status Advise(EventSink* sink, uint32_t* cookie) = 0;
    virtual Status Unadvise(uint32_t cookie) = 0;
    virtual Status AdvisePropertyNotify(PropertyNotifySink* sink, uint32_t* cookie) = 0;
    virtual Status UnadvisePropertyNotify(uint32_t cookie) = 0;
};

class PersistPropertyBag : public Unknown {
public:
    virtual Status InitNew() = 0;
    virtual Status Load(const PropertyBag& bag) = 0;
    virtual Status Save(PropertyBag* bag, bool clearDirty) = 0;
    // kOk when changed since the last load or save that cleared it, kFalse otherwise.
    virtual Status IsDirty() = 0;
};

class OleControl : public Unknown {
public:
    // Makes the control's window inside `parent` (shown); returns it. The
    // window is the object's own: a container calls CloseControlWindow
    // before it destroys `parent`, or releases its last reference first.
    virtual QWidget* CreateControlWindow(QWidget* parent) = 0;
    // Hides the window and takes it out of its parent; the object lives on.
    virtual void CloseControlWindow() = 0;
    virtual QWidget* ControlWindow() = 0;
    // The container's ambient user mode: true at run time, false in design mode.
    virtual void SetAmbientUserMode(bool runMode) = 0;
    virtual uint32_t MiscStatus() = 0;
};

// A control that shows items in its window tells which one lies under a
// point, by its own layout, so that a container never repeats its geometry.
class ItemHitTest : public Unknown {
public:
    // Item under (x, y), in pixels of the control's window; -1 for none
    // (a margin, an empty cell, no window).
    virtual int32_t ItemAtPoint(int x, int y) = 0;
};

class SpecifyPropertyPages : public Unknown {
public:
    virtual Status GetPages(std::vector<std::string>* classIds) = 0;
};

inline constexpr uint32_t kSafeForUntrustedCaller = 1;
inline constexpr uint32_t kSafeForUntrustedData = 2;

class ObjectSafety : public Unknown {
public:
    virtual Status GetInterfaceSafetyOptions(const std::string& iid, uint32_t* supported, uint32_t* enabled) = 0;
    virtual Status SetInterfaceSafetyOptions(const std::string& iid, uint32_t mask, uint32_t options) = 0;
};

class PropertyPageWidget;

// A property page object: given the objects it edits, makes its page widget.
class PropertyPageObject : public Unknown {
public:
    virtual Status SetObjects(const std::vector<Dispatch*>& objects) = 0;
    virtual PropertyPageWidget* CreatePage(QWidget* parent) = 0;
};

class ClassFactory : public Unknown {
public:
    // `outer` must be null: aggregation is not supported.
    virtual Status CreateInstance(Unknown* outer, const std::string& iid, void** out) = 0;
    virtual Status LockServer(bool lock) = 0;
};

} // namespace host
