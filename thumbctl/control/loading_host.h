#pragma once
// The loading host of the list without a window around it: the file probe and
// the multi-page source of the control, every item counted as visible (so
// every thumbnail is made while loading), events passed to optional handlers.
#include "thumbctl/control/loading.h"

#include <QImage>

#include <functional>
#include <string>

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

// A picture file identified and decoded as the list does it for a thumbnail,
// at its full size: one reader of each format for the list, the full-size
// viewer and the splash. Null with *listError set (2000 a kind the list does
// not show, 2001 damaged or cut, 2110/2112/2120 cannot be read, 9000 memory)
// when refused.
QImage ReadPictureFile(const std::string& path, int* listError);

} // namespace thumbctl
