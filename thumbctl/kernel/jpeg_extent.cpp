// The extent of a JPEG file: its bytes up to and with the EOI marker.
#include "thumbctl/kernel/jpeg_extent.h"

#include <algorithm>

namespace {

constexpr int kSoi = 0xD8;
constexpr int kEoi = 0xD9;
constexpr int kSos = 0xDA;

// Most entropy-coded bytes one sample of one component can take, all scans
// of a progressive picture, restart markers and stuffed bytes together.
constexpr uint64_t kMostBytesPerSample = 16;

bool IsFrameHeader(int m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }

// Markers that stand alone, without a length: TEM and the restart markers.
bool StandsAlone(int marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

// Moves past entropy-coded data to the next marker: a 0xFF that is neither
// a stuffed 0xFF 0x00 nor a restart marker. Returns the marker (the cursor
// after it), or -1 when the data ends first.
int NextMarkerAfterScan(IpiByteCursor& c)
{
    for (;;) {
        if (!c.Find(0xFF)) return -1;
        c.Skip(1);
        int m = c.Get();
        while (m == 0xFF) m = c.Get();  // fill bytes
        if (m < 0) return -1;
        if (m != 0x00 && !(m >= 0xD0 && m <= 0xD7)) return m;
    }
}

} // namespace

uint64_t JpegFileExtent(const IpiByteSource& src)
{
    // Up to the frame header, only what a file keeps beside its pixels; after
    // it, also the most the declared frame's samples can take.
    IpiByteSource seen = src;
    seen.size = std::min(src.size, kIpiBesidePixels);
    IpiByteCursor c(seen);
    // A JPEG marks its end: without it the data was cut, and whatever fills
    // the rest of the file (zeros from a copy that stopped) would decode as
    // the missing scan data. No end, no picture, however short the file.
    auto noEnd = [] { return uint64_t(0); };
    if (c.Get() != 0xFF || c.Get() != kSoi) return noEnd();
    int marker = -1;
    bool framed = false;
    for (;;) {
        if (marker < 0) {
            if (c.Get() != 0xFF) return noEnd();  // not a marker where one belongs
            marker = c.Get();
            while (marker == 0xFF) marker = c.Get();
            if (marker < 0) return noEnd();
        }
        if (marker == kEoi) return c.Pos();
        if (marker == kSoi || StandsAlone(marker)) {
            marker = -1;
            continue;
        }
        const int hi = c.Get(), lo = c.Get();
        if (hi < 0 || lo < 0 || ((hi << 8) | lo) < 2) return noEnd();
        const uint64_t length = uint64_t((hi << 8) | lo) - 2;
        if (IsFrameHeader(marker) && !framed && length >= 6) {
            uint8_t f[6];
            const uint64_t at = c.Pos();
            if (!c.Read(f, 6)) return noEnd();
            c.Seek(at);
            const uint64_t samples = uint64_t((f[1] << 8) | f[2]) * uint64_t((f[3] << 8) | f[4]) * f[5];
            seen.size = std::min(src.size, ipiBoundOf(samples, kMostBytesPerSample, kIpiBesidePixels));
            framed = true;
        }
        if (!c.Skip(length)) return noEnd();
        if (marker != kSos) {
            marker = -1;
            continue;
        }
        // A scan header: its entropy-coded data runs to the next marker.
        marker = NextMarkerAfterScan(c);
        if (marker < 0) return noEnd();
    }
}
