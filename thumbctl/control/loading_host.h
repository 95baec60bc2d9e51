#pragma once
// The loading host of the list without a window around it: the file probe and
// the multi-page source of the control, every item counted as visible (so
// every thumbnail is made while loading), events passed to optional handlers.
#include "thumbctl/control/loading.h"

#include <functional>

namespace thumbctl {

class StandaloneHost : public LoadingHost {
public:
    std::function<void(long, const std::string&)> onLoadingStart;
    std::function<void(long, const std::string&)> onLoadingEnd;

    void LoadingStart(long index, const std::string& path) override
    {
        if (onLoadingStart) onLoadingStart(index, path);
    }
    void LoadingEnd(long index, const std::string& path) override
    {
        if (onLoadingEnd) onLoadingEnd(index, path);
    }
    bool ProbeFile(const std::string& path, int* probeType, int* error) override;
    bool ProbeMemory(const uint8_t* data, int64_t size, int* probeType, int* error) override;
    std::unique_ptr<PageSource> NewPageSource() override;
};

} // namespace thumbctl
