#pragma once
// The thumbnail-list control object: a widget that shows image files as a
// scrolling grid of thumbnails, served by libNorvikel.so and reached by its
// containers only through the automation interfaces of the hosting layer
// (created by ProgID through the class registry, see host/registry.h).
//
// All persisted and run-time state lives in one record, ThumbnailState.
// The automation members, persistence and life of the object are in
// thumbnailctrl.cpp; loading (Update, Add, AddDIB, item removal, sorting)
// is in loading*.cpp, the item record and the DIB operations in
// thumbnail*.cpp, layout, painting and input in view*.cpp.
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

#include "thumbctl/control/constants.h"
#include "thumbctl/control/host/controlbase.h"
#include "thumbctl/control/thumbnail.h"

class QPainter;

namespace thumbctl {

struct ThumbnailState {
    // Persisted (version 1.0).
    bool AutoUpdate = true;
    int16_t CaptionType = trkCaptionNumber;
    std::string DataPath;  // UTF-8
    int16_t DataSource = trkDataSrcFolder;
    std::string Pattern = "*.*";
    int16_t ScrollDirection = trkScrollVert;
    int32_t SelectLimit = 1;
    int16_t SortType = trkSortNone;
    int16_t ThumbnailHeight = 60;
    int16_t ThumbnailWidth = 80;
    int32_t TopIndex = 0;

    // Run time.
    ThumbnailList List;  // the items (owned), selected indices and focus item
    bool UrlSupported = true;
    int16_t LastError = trkSuccess;
    int16_t SortKey = 0;
    int16_t SortOrder = 0;
    int32_t CaptionTextHeight = 0;
    int32_t LineCount = 0;
    int32_t ItemsPerLine = 0;
    bool CancelRequested = false;
    bool Loading = false;
    bool Fetching = false;  // a URL is being read; the window's events run meanwhile
    // Thumbnails of remote items on screen are fetched after the paint that
    // found them missing (never inside it): one fetch step is queued at a
    // time, and a cancel stops them until the list is loaded again.
    bool ThumbnailFetchQueued = false;
    bool ThumbnailFetchStopped = false;
    bool InLayout = false;
    bool ClearBeforeAdd = true;
    int32_t ThumbBoxWidth = 0;
    int32_t ThumbBoxHeight = 0;
    bool PaintEnabled = true;
};

class CThumbnailCtrl : public QWidget, public host::ControlBase, public host::ItemHitTest {
    Q_OBJECT
public:
    // Made only by the module's class factory.
    static CThumbnailCtrl* Create();

    // host::Unknown, shared with ControlBase; adds the item hit test.
    host::Status QueryInterface(const std::string& iid, void** out) override;
    uint32_t AddRef() override { return ControlBase::AddRef(); }
    uint32_t Release() override { return ControlBase::Release(); }
    // host::ItemHitTest (view_ctrl.cpp): the grid's own hit test.
    int32_t ItemAtPoint(int x, int y) override;

    ThumbnailState& state() { return m; }
    const ThumbnailState& state() const { return m; }
    long ItemCount() const { return m.List.count(); }

    // ---- automation members (thumbnailctrl.cpp) ---------------------------
    void Cancel();
    void ClearSelection();
    int16_t GetErrorCode() const { return m.LastError; }
    void Remove(long index);
    void RemoveAll();
    void SelectAll();

    // Fires event `id` of the event interface (ItemClick ... SelChange and
    // the stock events) to the connected sinks.
    void Fire(int32_t id, std::vector<host::Variant> args);
    void FireItemClick(long index) { Fire(eventItemClick, {host::Variant::Long(int32_t(index))}); }
    void FireItemDblClick(long index) { Fire(eventItemDblClick, {host::Variant::Long(int32_t(index))}); }
    void FireSelChange(long index) { Fire(eventSelChange, {host::Variant::Long(int32_t(index))}); }
    void FireLoadingStart(long index, const std::string& file);
    void FireLoadingEnd(long index, const std::string& file);
    // Stock key event; returns the key code the sinks left (0: swallowed).
    int FireKeyEvent(int32_t id, int keyCode, int shift);

    // ---- loading (loading_ctrl.cpp) -------------------------------------------
    // While a URL is being read the list stays as it is: members that would
    // change it (called from the events processed meanwhile) fail with 9900.
    bool RefusedWhileFetching();
    bool Update();
    bool Add(long index, const std::string& fileName, const std::string& key, const std::string& label);
    bool AddDIB(long index, uint32_t hDib, bool owner, const std::string& key, const std::string& label);
    void RemoveItemAt(long index);
    // Orders the items by SortKey and SortOrder.
    void SortItems();

    // ---- the item record (thumbnail_ctrl.cpp) -----------------------------------
    std::string ItemFullPath(long index) const;
    std::string ItemKey(long index) const;
    std::string ItemLabel(long index) const;
    bool ItemSelected(long index) const;
    bool ItemMultiPage(long index) const;
    // Deletes every item with its bitmaps and empties Items.
    void DeleteAllItems();
    // Clears the selected flag of every item; true when one was set.
    bool DeselectAllItems();
    // Sets the selected flag of every item; true when one was clear.
    bool SelectAllItems();

    // ---- view (view_ctrl.cpp) --------------------------------------------------
    void RecalcLayout();
    // Lays the items out again and repaints, when the window exists.
    void Relayout();
    void PaintItems(QPainter& painter, const QRect& updateRect);
    // Fetches the missing thumbnails of the remote items on screen, one after
    // the other, each with the window's events running and the cancel
    // honoured while it waits; redraws each cell as its thumbnail comes.
    void FetchVisibleThumbnails();
    void DrawFocusFrame();
    // The selection rules of SelectLimit for one item.
    void SetItemSelected(long index, bool selected);
    // Scroll position of the scrolling direction, in lines.
    int ScrollPosition() const;
    // Moves the scroll position (clamped to the scroll range).
    void SetScrollPosition(int line);
    void OnLButtonDown(QMouseEvent* event);
    void OnLButtonDblClk(QMouseEvent* event);
    void OnKeyDown(QKeyEvent* event);
    void OnKeyUp(QKeyEvent* event);

protected:
    CThumbnailCtrl();
    ~CThumbnailCtrl() override;

    // host::ControlBase
    QWidget* Widget() override { return this; }
    const host::TypeLibInfo& TypeLibrary() const override;
    const char* ProgId() const override { return kControlProgId; }
    void InvokeMember(const host::MemberInfo& member, host::InvokeKind kind, std::vector<host::Variant>& args,
                      host::Variant* result) override;
    void DoPropExchange(host::PropExchange& px) override;
    void OnCreate() override;
    void OnFontChanged() override;
    void OnAboutBox() override;
    std::vector<std::string> PropPageIds() const override;
    uint32_t ControlMiscStatus() const override { return kControlMiscStatus; }

    // QWidget
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void putProperty(int32_t id, const host::Variant& value);
    // A new integer value: raises the invalid-value error outside
    // lowest..highest; true when it differs from `current`.
    static bool Changes(int32_t value, int32_t lowest, int32_t highest, int32_t current);
    // DataPath or Pattern (reloading the list when AutoUpdate is on).
    void PutText(int32_t id, const std::string& text);
    void PutSortType(int32_t value);
    void PutTopIndex(int32_t value);
    host::Variant getProperty(int32_t id);
    long checkedIndex(const host::Variant& index) const;  // raises 202 when outside
    void changed(int32_t id);                              // notify and mark modified
    void FireMouse(int32_t id, QMouseEvent* event);
    static void RaiseInvalidProperty();

    ThumbnailState m;
};

} // namespace thumbctl
