#pragma once
// Base of an in-process control: everything the container talks to except
// the control's own members. It counts references (and the module's live
// objects), resolves member names and checks calls against the type library
// (argument count and types, read-only and run-time-only members), turns a
// raised control error into the exception record, keeps the stock
// properties, fires events and property-change notifications to connected
// sinks, tracks the dirty flag, exchanges properties with a property bag,
// and answers the container-state, object-safety and property-page queries.
#include <QColor>
#include <QFont>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "thumbctl/control/host/object.h"

namespace host {

// Live objects and server locks of the module this code is linked into;
// the module may be unloaded when both are zero.
void ModuleAddRef();
void ModuleRelease();
long ModuleLockCount();

// Raised by a member to fail the call with an exception record.
struct ControlError {
    Status code;
    int helpId;
    std::string description;
};

// Property exchange with a bag: one routine loads, saves and resets.
class PropExchange {
public:
    enum class Mode { Load, Save, Reset };
    PropExchange(Mode mode, PropertyBag* bag) : mode_(mode), bag_(bag) {}
    Mode mode() const { return mode_; }
    bool isLoading() const { return mode_ != Mode::Save; }
    // Format version stored as "_Version" (major << 16 | minor).
    void Version(int major, int minor);
    void Bool(const char* name, bool& value, bool def);
    void Short(const char* name, int16_t& value, int16_t def);
    void Long(const char* name, int32_t& value, int32_t def);
    void String(const char* name, std::string& value, const std::string& def);
    // Saved only when different from the default.
    void LongIfChanged(const char* name, int32_t& value, int32_t def);
    void StringIfChanged(const char* name, std::string& value, const std::string& def);

private:
    bool fetch(const char* name, VarType type, Variant* v) const;
    Mode mode_;
    PropertyBag* bag_;
};

class ControlBase : public Dispatch,
                    public ConnectionPoints,
                    public PersistPropertyBag,
                    public OleControl,
                    public ObjectSafety,
                    public SpecifyPropertyPages {
public:
    ControlBase();
    ControlBase(const ControlBase&) = delete;
    ControlBase& operator=(const ControlBase&) = delete;

    // Unknown (shared by every interface of the object).
    Status QueryInterface(const std::string& iid, void** out) override;
    uint32_t AddRef() override;
    uint32_t Release() override;

    // Dispatch
    Status GetIDOfName(const std::string& name, int32_t* id) override;
    Status Invoke(int32_t id, InvokeKind kind, const std::vector<Variant>& args, Variant* result,
                  ExceptionInfo* exception) override;

    // ConnectionPoints
    Status Advise(EventSink* sink, uint32_t* cookie) override;
    Status Unadvise(uint32_t cookie) override;
    Status AdvisePropertyNotify(PropertyNotifySink* sink, uint32_t* cookie) override;
    Status UnadvisePropertyNotify(uint32_t cookie) override;

    // PersistPropertyBag
    Status InitNew() override;
    Status Load(const PropertyBag& bag) override;
    Status Save(PropertyBag* bag, bool clearDirty) override;
    Status IsDirty() override;

    // OleControl
    QWidget* CreateControlWindow(QWidget* parent) override;
    QWidget* ControlWindow() override;
    void CloseControlWindow() override;
    void SetAmbientUserMode(bool runMode) override { userMode_ = runMode; }

    // ObjectSafety
    Status GetInterfaceSafetyOptions(const std::string& iid, uint32_t* supported, uint32_t* enabled) override;
    Status SetInterfaceSafetyOptions(const std::string& iid, uint32_t mask, uint32_t options) override;

    // SpecifyPropertyPages
    Status GetPages(std::vector<std::string>* classIds) override;

    // ---- for the derived control ----------------------------------------
    bool AmbientUserMode() const { return userMode_; }
    bool WindowCreated() const { return windowCreated_; }
    // Fires event `id` to every connected sink, in connection order. A sink
    // may connect, disconnect or fire again from inside; one disconnected
    // during the round is not called afterwards.
    void FireEvent(int32_t id, std::vector<Variant>& args);
    void BoundPropertyChanged(int32_t id);
    void SetModifiedFlag(bool modified = true) { modified_ = modified; }
    bool IsModified() const { return modified_; }
    [[noreturn]] static void ThrowError(Status code, int helpId, const std::string& description);

    // Stock properties.
    int16_t StockAppearance() const { return appearance_; }
    uint32_t StockBackColor() const { return backColor_; }  // OLE colour: 0x00BBGGRR or 0x800000nn system colour
    int16_t StockBorderStyle() const { return borderStyle_; }
    const QFont& StockFont() const { return font_; }
    // An OLE colour as a colour (system colours through the palette).
    QColor TranslateColor(uint32_t oleColour) const;

protected:
    ~ControlBase() override;

    virtual QWidget* Widget() = 0;
    virtual const TypeLibInfo& TypeLibrary() const = 0;
    virtual const char* ProgId() const = 0;
    // Runs one member of the dispatch interface after the checks; may raise ControlError.
    virtual void InvokeMember(const MemberInfo& member, InvokeKind kind, std::vector<Variant>& args,
                              Variant* result) = 0;
    virtual void DoPropExchange(PropExchange& px) = 0;
    void ExchangeStockProps(PropExchange& px);
    virtual void OnCreate() {}
    virtual void OnFontChanged() {}
    virtual void OnStockPropertyChanged(int32_t id);
    virtual void OnAboutBox() {}
    virtual std::vector<std::string> PropPageIds() const { return {}; }
    virtual uint32_t ControlMiscStatus() const { return 0; }
    uint32_t MiscStatus() override { return ControlMiscStatus(); }

public:
    const TypeLibInfo& TypeLib() const override { return TypeLibrary(); }

private:
    bool stockMember(const MemberInfo& m, InvokeKind kind, std::vector<Variant>& args, Variant* result);
    const InterfaceInfo& dispatchInterface() const { return TypeLibrary().interfaces.front(); }

    std::atomic<uint32_t> refs_{1};
    bool userMode_ = true;
    bool windowCreated_ = false;
    bool modified_ = false;
    uint32_t nextCookie_ = 1;
    std::vector<std::pair<uint32_t, EventSink*>> sinks_;
    std::vector<std::pair<uint32_t, PropertyNotifySink*>> notifySinks_;
    int16_t appearance_ = 1;
    uint32_t backColor_ = 0x80000005u;  // the window colour
    int16_t borderStyle_ = 0;
    QFont font_;
    std::string fontText_;
};

} // namespace host
