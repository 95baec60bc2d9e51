#pragma once
// Test helper: a loading host without a window that records the load events
// and lets a test act from inside them.
#include "thumbctl/control/loading.h"

#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace thumbctl::testkit {

class TestHost : public LoadingHost {
public:
    explicit TestHost(ThumbnailList& list) : list_(list) {}

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
    bool ProbeFile(const std::string& path, int* type, int* error) override
    {
        std::ifstream f(path, std::ios::binary);
        if (!f) {
            *error = 2110;
            return false;
        }
        std::vector<uint8_t> head(512);
        f.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size()));
        head.resize(size_t(f.gcount()));
        return ProbeMemory(head.data(), int64_t(head.size()), type, error);
    }
    // Signatures only: enough to tell the fixtures apart.
    bool ProbeMemory(const uint8_t* d, int64_t n, int* type, int* error) override
    {
        *error = 0;
        if (n >= 2 && d[0] == 'B' && d[1] == 'M') *type = probeBmp;
        else if (n >= 4 && (std::memcmp(d, "II*", 3) == 0 || std::memcmp(d, "MM\0*", 4) == 0)) *type = probeTiff;
        else if (n >= 4 && std::memcmp(d, "GIF8", 4) == 0) *error = 2000;
        else if (n >= 8 && std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0) *type = probePng;
        else if (n >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) *type = probeJpeg;
        else if (n >= 4 && d[0] == 10 && d[2] == 1) *type = probePcx;
        else *error = 2001;
        return *error == 0;
    }
    std::unique_ptr<PageSource> NewPageSource() override { return nullptr; }

private:
    ThumbnailList& list_;
};

} // namespace thumbctl::testkit
