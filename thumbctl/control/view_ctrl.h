#pragma once
// Shared by the control's loading and view code: the grid as it stands and
// the loading host that ties the loader to the control's window and events.
#include "thumbctl/control/loading_host.h"
#include "thumbctl/control/thumbnailctrl.h"
#include "thumbctl/control/view_layout.h"

namespace thumbctl {

// The grid of the control now: cell size, layout and the first visible item.
Grid GridOf(const CThumbnailCtrl& control);

// Loading host of the control: its events, its visible cells, its repaints.
class ControlLoadingHost : public StandaloneHost {
public:
    explicit ControlLoadingHost(CThumbnailCtrl& control) : c_(control) {}
    void LoadingStart(long index, const std::string& path) override { c_.FireLoadingStart(index, path); }
    void LoadingEnd(long index, const std::string& path) override { c_.FireLoadingEnd(index, path); }
    bool IsItemVisible(long index) override;
    void ItemLoaded(long index) override;
    void ListChanged() override;
    void LoadingBegins() override;

private:
    CThumbnailCtrl& c_;
};

// A loader over the control's own item list and flags, with its settings.
class ControlLoader {
public:
    explicit ControlLoader(CThumbnailCtrl& control);
    ThumbnailLoader& operator*() { return loader_; }
    ThumbnailLoader* operator->() { return &loader_; }

private:
    ControlLoadingHost host_;
    ThumbnailLoader loader_;
};

} // namespace thumbctl
