#pragma once
// The browser's side of the thumbnail-list control: creates the control by
// its ProgID through the class registry (the module is loaded by the path
// registered for it), places its window, calls its automation members by
// name and delivers its events to plain callbacks. Nothing here knows the
// class behind the control.
#include "thumbctl/control/host/object.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace browser {

inline constexpr const char* kThumbnailProgId = "THUMBNAIL.ThumbnailCtrl.1";

class ThumbnailClient : private host::EventSink {
public:
    // Creates the control with its window inside `parent`. Null when that
    // fails; `message` then holds the text for the user.
    static std::unique_ptr<ThumbnailClient> Create(QWidget* parent, std::string* message);
    ~ThumbnailClient() override;
    ThumbnailClient(const ThumbnailClient&) = delete;
    ThumbnailClient& operator=(const ThumbnailClient&) = delete;

    QWidget* widget() const { return widget_; }

    // Members of the control's automation interface.
    std::string DataPath();
    void SetDataPath(const std::string& path);
    long ListCount();
    void SetPattern(const std::string& pattern);
    std::string Pattern();
    int ThumbnailHeight();
    int ThumbnailWidth();
    void SetThumbnailHeight(int h);
    void SetThumbnailWidth(int w);
    long TopIndex();
    void SetTopIndex(long index);
    std::string FileName(long index);
    bool Selected(long index);
    void SetSelected(long index, bool on);
    void RemoveAll();
    bool Update();
    // Item under a point of the control's window, by the control's own hit
    // test; -1 for none.
    long ItemAt(int x, int y);

    // Any member by name: a property get or put, or a method call. False when
    // the call failed; `error` then tells why.
    bool Get(const std::string& name, const std::vector<host::Variant>& index, host::Variant* value);
    bool Put(const std::string& name, std::vector<host::Variant> indexAndValue);
    bool Call(const std::string& name, const std::vector<host::Variant>& args, host::Variant* result = nullptr);
    const std::string& lastError() const { return error_; }

    // Events of the control.
    std::function<void(long)> onItemClick;
    std::function<void(long)> onItemDblClick;
    std::function<void(long)> onSelChange;
    std::function<void(long, const std::string&)> onLoadingStart;
    std::function<void(long, const std::string&)> onLoadingEnd;
    std::function<void(int keyCode, int shift)> onKeyDown;
    std::function<void(int button, int shift, int x, int y)> onMouseDown;

private:
    ThumbnailClient() = default;
    void OnEvent(int32_t id, std::vector<host::Variant>& args) override;
    bool invoke(const std::string& name, host::InvokeKind kind, const std::vector<host::Variant>& args,
                host::Variant* result);
    int32_t eventId(const char* name) const;
    // A property's value; "" or 0 when the get failed.
    std::string textOf(const std::string& name, const std::vector<host::Variant>& index = {});
    int32_t integerOf(const std::string& name);

    // One reference each, released when the client goes, unless the control's
    // window (and with it the object) was destroyed by someone else first.
    host::Dispatch* dispatch_ = nullptr;
    host::ConnectionPoints* points_ = nullptr;
    host::OleControl* control_ = nullptr;
    host::ItemHitTest* hitTest_ = nullptr;
    uint32_t cookie_ = 0;
    QPointer<QWidget> widget_;
    bool windowMade_ = false;
    std::string error_;
};

} // namespace browser
