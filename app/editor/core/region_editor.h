#pragma once
// Editing of the region of interest of the phase-image window: the mouse
// handles (inner area, top-left and bottom-right corners), the drags, the
// clipping at mouse-up and the four scroll bars (centre X/Y, size X/Y) with
// their labels. The region itself lives in the display (RegionView), which is
// read back whenever it is needed; the window only forwards its events here.
#include <array>
#include <functional>
#include <string>

namespace editor {

// The display that holds the region (the picture buffer in the window, a
// plain stand-in in tests). Set values are floating point; the view keeps the
// nearest integer (halves to even).
class RegionView {
public:
    virtual ~RegionView() = default;
    virtual int roiLeft() const = 0;
    virtual int roiTop() const = 0;
    virtual int roiWidth() const = 0;
    virtual int roiHeight() const = 0;
    virtual void setRoiLeft(double v) = 0;
    virtual void setRoiTop(double v) = 0;
    virtual void setRoiWidth(double v) = 0;
    virtual void setRoiHeight(double v) = 0;
    virtual void outlineOff() = 0;
    virtual void outlineOn() = 0;
    virtual void refresh() = 0;
};

enum Bar { CenterX = 0, CenterY = 1, SizeX = 2, SizeY = 3 };

// Pointer shapes: 0 default, 5 four-way move, 8 diagonal resize.
enum PointerShape { kPointerDefault = 0, kPointerMove = 5, kPointerResize = 8 };

class RegionEditor {
public:
    explicit RegionEditor(RegionView& view);

    // Hooks to the window (all optional).
    std::function<void(Bar, int value)> onBarValue;              // show a bar's value
    std::function<void(Bar, const std::string& text)> onLabel;   // a bar's label caption
    std::function<void(int shape)> onPointer;                    // pointer shape over the form

    // Mouse events of the display: button 1 left, 2 right (0 none); x, y in image pixels.
    void MouseMove(int button, double px, double py);
    void MouseDown(int button, double px, double py);
    void MouseUp(int button, double px, double py);

    // A bar set by code: the value is shown and the bar's change handling runs,
    // also when the bar already holds that value (not again while that bar's
    // own handling is running, so the Ctrl link of the sizes ends).
    void SetBar(Bar bar, int value);
    // The user moved a bar.
    void BarScrolled(Bar bar, int value) { SetBar(bar, value); }
    int BarValue(Bar bar) const { return bars_[bar].value; }
    void SetBarMaximum(Bar bar, int maximum);
    int BarMaximum(Bar bar) const { return bars_[bar].maximum; }

    // Ctrl on a size bar (shift 2 = Ctrl alone) links the two sizes; released
    // (shift 0) unlinks.
    void SizeKeyDown(int shift);
    void SizeKeyUp(int shift);

    // The change handling of each bar.
    void hscCenterX_Scroll();
    void hscCenterY_Scroll();
    void hscSizeX_Scroll();
    void hscSizeY_Scroll();

    // Places the region on the centre given by CenterXValue, CenterYValue.
    void UpdateCropBoxFromCenter();
    // Redraws the region outline and the display.
    void RefreshPhaseImageView();
    // Records the region as it stands now (the centre of the size bars).
    void RecordSavedRegion();
    // The region edit is over: no handle is hovered or dragged, the Ctrl link
    // is off and the pointer is the default one.
    void EndEdit();

    // State, named as the window's module state.
    bool HoverMove = false, HoverTopLeft = false, HoverBottomRight = false;
    bool DragMove = false, DragTopLeft = false, DragBottomRight = false;
    float DragStartX = 0, DragStartY = 0;
    int DragStartLeft = 0, DragStartTop = 0, DragStartWidth = 0, DragStartHeight = 0;
    bool ScrollSync = false;
    bool SizeLinkKey = false;
    int CenterXValue = 0, CenterYValue = 0, SizeXValue = 0, SizeYValue = 0;
    int SavedRoiWidth = 0, SavedRoiHeight = 0, SavedRoiLeft = 0, SavedRoiTop = 0;

private:
    struct BarState {
        int value = 0;
        int maximum = 0;
        bool running = false;
    };
    void RunBar(Bar bar);
    void Label(Bar bar, const std::string& text);
    void SyncBarsToRegion(bool sizesToo);
    void Pointer(int shape);

    RegionView& view_;
    std::array<BarState, 4> bars_{};
};

} // namespace editor
