#include "app/editor/core/region_editor.h"

#include "app/core/model/model.h"
#include "app/core/runtime.h"

#include <algorithm>

namespace editor {
namespace {

int Round(double v) { return int(core::RoundHalfEven(v)); }

} // namespace

RegionEditor::RegionEditor(RegionView& view) : view_(view)
{
    bars_[CenterX].maximum = bars_[SizeX].maximum = 640;
    bars_[CenterY].maximum = bars_[SizeY].maximum = 480;
}

void RegionEditor::Pointer(int shape)
{
    if (onPointer) onPointer(shape);
}

void RegionEditor::Label(Bar bar, const std::string& text)
{
    if (onLabel) onLabel(bar, text);
}

void RegionEditor::MouseMove(int button, double px, double py)
{
    if (!model::maskPartition.RoiEditMode) {
        EndEdit();
        return;
    }
    if (button == 0) {
        const int L = view_.roiLeft(), T = view_.roiTop(), W = view_.roiWidth(), H = view_.roiHeight();
        if (L + 4 < px && px < L + W - 4 && T + 4 < py && py < T + H - 4) {
            Pointer(kPointerMove);
            HoverMove = true;
            HoverTopLeft = HoverBottomRight = false;
        } else if (L - 4 < px && px < L + 4 && T - 4 < py && py < T + 4) {
            Pointer(kPointerResize);
            HoverTopLeft = true;
            HoverMove = HoverBottomRight = false;
        } else if (L + W - 4 < px && px < L + W + 4 && T + H - 4 < py && py < T + H + 4) {
            Pointer(kPointerResize);
            HoverBottomRight = true;
            HoverMove = HoverTopLeft = false;
        } else {
            Pointer(kPointerDefault);
            HoverMove = HoverTopLeft = HoverBottomRight = false;
        }
    }
    if (button != 1) return;

    if (DragMove && HoverMove) {
        view_.outlineOff();
        view_.setRoiLeft(DragStartLeft + (px - DragStartX));
        view_.setRoiTop(DragStartTop + (py - DragStartY));
        view_.outlineOn();
    } else if (DragTopLeft && HoverTopLeft) {
        const double R = DragStartLeft + DragStartWidth;
        const double B = DragStartTop + DragStartHeight;
        const double w = R - px, h = B - py;
        view_.outlineOff();
        if (w > 0 && h > 0) {
            view_.setRoiLeft(DragStartLeft + (px - DragStartX));
            view_.setRoiTop(DragStartTop + (py - DragStartY));
            view_.setRoiWidth(w);
            view_.setRoiHeight(h);
        } else if (w <= -1 && h >= 1) {
            view_.setRoiLeft(R);
            view_.setRoiWidth(px - R);
        } else if (h <= -1 && w >= 1) {
            view_.setRoiTop(B);
            view_.setRoiHeight(py - B);
        } else if (w <= -1 && h <= -1) {
            view_.setRoiLeft(R);
            view_.setRoiTop(B);
            view_.setRoiWidth(px - R);
            view_.setRoiHeight(py - B);
        }
        view_.outlineOn();
    } else if (DragBottomRight && HoverBottomRight) {
        const double w = px - DragStartLeft, h = py - DragStartTop;
        view_.outlineOff();
        if (w > 0 && h > 0) {
            view_.setRoiWidth(w);
            view_.setRoiHeight(h);
        } else if (w < 0 && h > 0) {
            view_.setRoiLeft(px);
            view_.setRoiWidth(DragStartLeft - px);
        } else if (h < 0 && w > 0) {
            view_.setRoiTop(py);
            view_.setRoiHeight(DragStartTop - py);
        } else if (w < 0 && h < 0) {
            view_.setRoiLeft(px);
            view_.setRoiTop(py);
            view_.setRoiWidth(DragStartLeft - px);
            view_.setRoiHeight(DragStartTop - py);
        }
        view_.outlineOn();
    }
}

void RegionEditor::MouseDown(int button, double px, double py)
{
    // Outside a region edit the handles are not there.
    if (!model::maskPartition.RoiEditMode) {
        EndEdit();
        return;
    }
    auto record = [&] {
        DragStartLeft = view_.roiLeft();
        DragStartTop = view_.roiTop();
        DragStartWidth = view_.roiWidth();
        DragStartHeight = view_.roiHeight();
        DragStartX = float(px);
        DragStartY = float(py);
    };
    if (button == 1 && HoverMove && !DragMove) {
        record();
        DragMove = true;
    } else if (button == 1 && HoverTopLeft && !DragTopLeft) {
        record();
        DragTopLeft = true;
    } else if (button == 1 && HoverBottomRight && !DragBottomRight) {
        record();
        DragBottomRight = true;
    } else if (button == 2 && HoverMove) {
        // The shortened side is re-centred by its size bar on the region as
        // it was; the other bar only shows its (unchanged) value.
        const int W = view_.roiWidth(), H = view_.roiHeight();
        RecordSavedRegion();
        ScrollSync = true;
        SetBar(W >= H ? SizeY : SizeX, W >= H ? H : W);
        ScrollSync = false;
        SetBar(W >= H ? SizeX : SizeY, std::min(W, H));
    }
}

void RegionEditor::SyncBarsToRegion(bool sizesToo)
{
    const int L = view_.roiLeft(), T = view_.roiTop(), W = view_.roiWidth(), H = view_.roiHeight();
    ScrollSync = true;
    SetBar(CenterX, Round(L + W / 2.0));
    SetBar(CenterY, Round(T + H / 2.0));
    if (sizesToo) {
        SetBar(SizeX, W);
        SetBar(SizeY, H);
    }
    ScrollSync = false;
    RecordSavedRegion();
}

void RegionEditor::MouseUp(int button, double, double)
{
    if (button != 1) return;
    if (!model::maskPartition.RoiEditMode) {
        EndEdit();
        return;
    }
    const auto& im = model::images;
    if (HoverMove) {
        DragMove = false;
        const int L = view_.roiLeft(), T = view_.roiTop(), W = view_.roiWidth(), H = view_.roiHeight();
        if (L < 0 || T < 0 || L + W > im.XMax + 1 || T + H > im.YMax + 1) {
            model::ShowMsg("Region of Interest Outside Viewing Limits", 0, model::AppTitle);
            // The centre of the picture (a whole-picture region then starts at 0).
            SetBar(CenterX, Round((im.XMax + 1) / 2.0));
            SetBar(CenterY, Round((im.YMax + 1) / 2.0));
            view_.refresh();
        } else {
            SyncBarsToRegion(false);
        }
    } else if (HoverBottomRight) {
        view_.outlineOff();
        const int L = view_.roiLeft(), T = view_.roiTop();
        if (L + view_.roiWidth() > im.XMax + 1) view_.setRoiWidth(im.ImageCols - L);
        if (T + view_.roiHeight() > im.YMax + 1) view_.setRoiHeight(im.ImageRows - T);
        view_.outlineOn();
        SyncBarsToRegion(true);
        DragBottomRight = false;
    } else if (HoverTopLeft) {
        view_.outlineOff();
        if (view_.roiLeft() < 0) {
            view_.setRoiLeft(0);
            view_.setRoiWidth(DragStartLeft + DragStartWidth);
        }
        if (view_.roiTop() < 0) {
            view_.setRoiTop(0);
            view_.setRoiHeight(DragStartTop + DragStartHeight);
        }
        view_.outlineOn();
        SyncBarsToRegion(true);
        DragTopLeft = false;
    }
}

void RegionEditor::SetBarMaximum(Bar bar, int maximum)
{
    bars_[bar].maximum = std::max(0, maximum);
    if (bars_[bar].value > bars_[bar].maximum) {
        bars_[bar].value = bars_[bar].maximum;
        if (onBarValue) onBarValue(bar, bars_[bar].value);
    }
}

void RegionEditor::SetBar(Bar bar, int value)
{
    BarState& b = bars_[bar];
    b.value = std::clamp(value, 0, b.maximum);
    if (onBarValue) onBarValue(bar, b.value);
    if (b.running) return;
    b.running = true;
    RunBar(bar);
    b.running = false;
}

void RegionEditor::RunBar(Bar bar)
{
    switch (bar) {
    case CenterX: hscCenterX_Scroll(); break;
    case CenterY: hscCenterY_Scroll(); break;
    case SizeX: hscSizeX_Scroll(); break;
    case SizeY: hscSizeY_Scroll(); break;
    }
}

void RegionEditor::hscCenterX_Scroll()
{
    const int v = bars_[CenterX].value;
    Label(CenterX, "Center X  " + std::to_string(v));
    CenterXValue = v;
    if (!ScrollSync) {
        UpdateCropBoxFromCenter();
        RecordSavedRegion();
    }
}

void RegionEditor::hscCenterY_Scroll()
{
    const int v = bars_[CenterY].value;
    Label(CenterY, "Center Y  " + std::to_string(v));
    CenterYValue = v;
    if (!ScrollSync) {
        UpdateCropBoxFromCenter();
        RecordSavedRegion();
    }
}

void RegionEditor::hscSizeX_Scroll()
{
    const int v = bars_[SizeX].value;
    Label(SizeX, "Size X  " + std::to_string(v));
    SizeXValue = v;
    if (ScrollSync) return;
    if (SizeLinkKey && v < 481) SetBar(SizeY, v);
    view_.setRoiWidth(int16_t(v));
    view_.setRoiLeft(SavedRoiLeft + (SavedRoiWidth - v) / 2.0);
    RefreshPhaseImageView();
    RecordSavedRegion();
}

void RegionEditor::hscSizeY_Scroll()
{
    const int v = bars_[SizeY].value;
    Label(SizeY, "Size Y  " + std::to_string(v));
    SizeYValue = v;
    if (ScrollSync) return;
    if (SizeLinkKey) SetBar(SizeX, v);
    view_.setRoiHeight(int16_t(v));
    view_.setRoiTop(SavedRoiTop + (SavedRoiHeight - v) / 2.0);
    RefreshPhaseImageView();
    RecordSavedRegion();
}

void RegionEditor::SizeKeyDown(int shift)
{
    if (shift == 2) SizeLinkKey = true;
}

void RegionEditor::SizeKeyUp(int shift)
{
    if (shift == 0) SizeLinkKey = false;
}

void RegionEditor::UpdateCropBoxFromCenter()
{
    view_.setRoiLeft(CenterXValue - view_.roiWidth() / 2.0);
    view_.setRoiTop(CenterYValue - view_.roiHeight() / 2.0);
    RefreshPhaseImageView();
}

void RegionEditor::RefreshPhaseImageView()
{
    view_.outlineOff();
    view_.outlineOn();
    view_.refresh();
}

void RegionEditor::RecordSavedRegion()
{
    SavedRoiWidth = view_.roiWidth();
    SavedRoiHeight = view_.roiHeight();
    SavedRoiLeft = view_.roiLeft();
    SavedRoiTop = view_.roiTop();
}

void RegionEditor::EndEdit()
{
    HoverMove = HoverTopLeft = HoverBottomRight = false;
    DragMove = DragTopLeft = DragBottomRight = false;
    SizeLinkKey = false;
    Pointer(kPointerDefault);
}

} // namespace editor
