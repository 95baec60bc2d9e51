#pragma once
// Test helper: the window-less loading host with the control's own probe and
// page source, recording the load events and letting a test act inside them.
#include "thumbctl/control/loading_host.h"

#include <functional>
#include <string>
#include <vector>

namespace thumbctl::testkit {

class TestHost : public StandaloneHost {
public:
    explicit TestHost(ThumbnailList&) {}

    std::vector<std::string> events;
    std::function<void(long)> onStart;
    std::function<void(long)> onEnd;

    void LoadingStart(long index, const std::string&) override
    {
        events.push_back("S" + std::to_string(index));
        if (onStart) onStart(index);
    }
    void LoadingEnd(long index, const std::string&) override
    {
        events.push_back("E" + std::to_string(index));
        if (onEnd) onEnd(index);
    }
};

} // namespace thumbctl::testkit
