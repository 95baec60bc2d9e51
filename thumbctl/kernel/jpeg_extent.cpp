// The extent of a JPEG file: its bytes up to and with the EOI marker.
#include "thumbctl/kernel/jpeg_extent.h"

namespace {

constexpr int kSoi = 0xD8;
constexpr int kEoi = 0xD9;
constexpr int kSos = 0xDA;

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
    IpiByteCursor c(src);
    if (c.Get() != 0xFF || c.Get() != kSoi) return src.size;
    int marker = -1;
    for (;;) {
        if (marker < 0) {
            if (c.Get() != 0xFF) return src.size;  // not a marker where one belongs
            marker = c.Get();
            while (marker == 0xFF) marker = c.Get();
            if (marker < 0) return src.size;
        }
        if (marker == kEoi) return c.Pos();
        if (marker == kSoi || StandsAlone(marker)) {
            marker = -1;
            continue;
        }
        const int hi = c.Get(), lo = c.Get();
        if (hi < 0 || lo < 0 || ((hi << 8) | lo) < 2 || !c.Skip(uint64_t((hi << 8) | lo) - 2)) return src.size;
        if (marker != kSos) {
            marker = -1;
            continue;
        }
        // A scan header: its entropy-coded data runs to the next marker.
        marker = NextMarkerAfterScan(c);
        if (marker < 0) return src.size;
    }
}
