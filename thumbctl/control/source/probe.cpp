// Image file probe: format tests on the head of the data and on windows
// read as the TIFF directory walk and the JPEG marker scan need them.
#include "thumbctl/control/source/probe.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "thumbctl/control/constants.h"

namespace thumbctl {

namespace {
// A directory chain longer than this is treated as ending there.
constexpr int kMaxDirectories = 65536;
// The JPEG marker scan looks this far into the data: a start marker further
// in is no picture's, and a huge file of junk is not read to its end.
constexpr int64_t kMarkerScanBytes = int64_t(4) << 20;
} // namespace

const char* CImageFileProbe::TypeName(int t)
{
    switch (t) {
    case probeBmp: return "BMP";
    case probeTiff: return "TIFF";
    case probeJpeg: return "JPEG";
    case probePcx: return "PCX";
    case probePng: return "PNG";
    default: return "";
    }
}

bool CImageFileProbe::ProbeFile(const std::string& path)
{
    FileBytes file;
    int openError = 0;
    if (!file.open(path, &openError)) {
        probeType_ = -1;
        recognised_ = -1;
        error_ = openError;
        return false;
    }
    return Probe(file);
}

bool CImageFileProbe::Probe(ByteSource& data)
{
    const bool ok = Detect(&data);
    if (error_ == trkErrInvalidParam) error_ = trkErrSystemError;
    return ok;
}

bool CImageFileProbe::ProbeMemory(const void* data, int64_t size)
{
    MemoryBytes memory(data, size);
    const bool ok = Detect(data ? &memory : nullptr);
    if (error_ == trkErrInvalidParam) error_ = trkErrSystemError;
    return ok;
}

bool CImageFileProbe::at(int64_t offset, int64_t size, uint8_t* out)
{
    if (offset < 0 || offset > length_ || size > length_ - offset) {
        error_ = trkErrInvalidFileFormat;
        std::memset(out, 0, size_t(size));
        return false;
    }
    if (offset + size <= 512) {
        std::memcpy(out, buffer_ + offset, size_t(size));
        return true;
    }
    if (offset < windowStart_ || offset + size > windowStart_ + windowBytes_) {
        windowBytes_ = source_->readSome(offset, buffer_ + 512, 512);
        windowStart_ = offset;
        if (windowBytes_ < size) {
            error_ = trkErrInvalidFileFormat;
            std::memset(out, 0, size_t(size));
            return false;
        }
    }
    std::memcpy(out, buffer_ + 512 + (offset - windowStart_), size_t(size));
    return true;
}

uint32_t CImageFileProbe::Byte(int64_t o)
{
    uint8_t b[1];
    return at(o, 1, b) ? b[0] : 0;
}
uint32_t CImageFileProbe::Be16(int64_t o)
{
    uint8_t b[2];
    return at(o, 2, b) ? uint32_t(b[0]) << 8 | b[1] : 0;
}
uint32_t CImageFileProbe::Le16(int64_t o)
{
    uint8_t b[2];
    return at(o, 2, b) ? uint32_t(b[1]) << 8 | b[0] : 0;
}
uint32_t CImageFileProbe::Be32(int64_t o)
{
    uint8_t b[4];
    return at(o, 4, b) ? uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3] : 0;
}
uint32_t CImageFileProbe::Le32(int64_t o)
{
    uint8_t b[4];
    return at(o, 4, b) ? uint32_t(b[3]) << 24 | uint32_t(b[2]) << 16 | uint32_t(b[1]) << 8 | b[0] : 0;
}

void CImageFileProbe::recognise(int type)
{
    probeType_ = type;
    recognised_ = 1;
}

bool CImageFileProbe::Detect(ByteSource* source)
{
    source_ = source;
    if (!source) {
        error_ = trkErrInvalidParam;
        return false;
    }
    length_ = source->size();
    std::memset(buffer_, 0, sizeof buffer_);
    bytesRead_ = source->readSome(0, buffer_, sizeof buffer_);
    windowStart_ = 512;
    windowBytes_ = bytesRead_ > 512 ? bytesRead_ - 512 : 0;
    if (bytesRead_ == 0) {
        error_ = trkErrInvalidFileFormat;
        return false;
    }
    probeType_ = -1;
    recognised_ = -1;
    error_ = 0;
    const bool decided = testBmp() || testTiff() || testGif() || testPng() || testJfif() || testJpegStart() ||
                         testPcx() || scanJpegMarkers();
    if (!decided) error_ = trkErrInvalidFileFormat;
    source_ = nullptr;
    return error_ == 0;
}

bool CImageFileProbe::testBmp()
{
    if (length_ < 6 || buffer_[0] != 'B' || buffer_[1] != 'M') return false;
    if (int64_t(Le32(2)) > length_) return false;
    recognise(probeBmp);
    return true;
}

bool CImageFileProbe::testTiff()
{
    if (length_ < 8) return false;
    const bool little = buffer_[0] == 'I' && buffer_[1] == 'I';
    const bool big = buffer_[0] == 'M' && buffer_[1] == 'M';
    if (!little && !big) return false;
    auto u16 = [&](int64_t o) { return little ? Le16(o) : Be16(o); };
    auto u32 = [&](int64_t o) { return little ? Le32(o) : Be32(o); };
    int64_t dir = u32(4);
    if (dir >= length_ - 2) return false;
    std::unordered_set<int64_t> seen;
    // Bytes of all the directories walked: in a TIFF each directory is bytes
    // of its own, so together they never pass the data's length. Directories
    // that overlap to walk the same entries again and again end the walk.
    int64_t walked = 0;
    while (dir > 0) {
        // A chain that comes back to a directory already walked ends there.
        if (!seen.insert(dir).second || int(seen.size()) > kMaxDirectories) break;
        const int count = int16_t(u16(dir));
        const int64_t bytes = 2 + 12 * int64_t(count < 0 ? 0 : count) + 4;
        // (A directory that runs past the end fails below, on its first
        // entry outside the data.)
        walked += bytes;
        if (dir + bytes <= length_ && walked > length_) break;
        for (int i = 0; i < count; ++i) {
            const int64_t e = dir + 2 + 12 * int64_t(i);
            const uint32_t type = u16(e + 2);
            if (type < 1 || type > 12) return false;
            if (u16(e) == 259 && u16(e + 8) == 5) {
                error_ = trkErrNotSupportFileFormat;
                return true;
            }
        }
        const int64_t next = dir + 2 + 12 * int64_t(count < 0 ? 0 : count);
        dir = u32(next);
    }
    recognise(probeTiff);
    return true;
}

bool CImageFileProbe::testGif()
{
    if (length_ < 6 || std::memcmp(buffer_, "GIF8", 4) != 0) return false;
    if (std::memcmp(buffer_ + 4, "7a", 2) != 0 && std::memcmp(buffer_ + 4, "9a", 2) != 0) return false;
    error_ = trkErrNotSupportFileFormat;
    return true;
}

bool CImageFileProbe::testPng()
{
    static const uint8_t kSig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (length_ < 8 || std::memcmp(buffer_, kSig, 8) != 0) return false;
    recognise(probePng);
    return true;
}

bool CImageFileProbe::testJfif()
{
    static const uint8_t kHead[10] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'};
    if (length_ < 10 || std::memcmp(buffer_, kHead, 10) != 0) return false;
    recognise(probeJpeg);
    return true;
}

bool CImageFileProbe::testJpegStart()
{
    if (length_ < 3 || buffer_[0] != 0xFF || buffer_[1] != 0xD8 || buffer_[2] != 0xFF) return false;
    recognise(probeJpeg);
    return true;
}

bool CImageFileProbe::testPcx()
{
    if (length_ < 69 || buffer_[0] != 10) return false;
    const uint8_t version = buffer_[1], encoding = buffer_[2], bits = buffer_[3], palette = buffer_[68];
    if (version != 0 && version != 2 && version != 3 && version != 5) return false;
    if (encoding != 1) return false;
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8) return false;
    if (palette != 1 && palette != 2) return false;
    recognise(probePcx);
    return true;
}

bool CImageFileProbe::scanJpegMarkers()
{
    bool started = false;
    const int64_t end = std::min(length_, kMarkerScanBytes);
    int64_t i = 0;
    while (i < end) {
        if (Byte(i) != 0xFF) {
            ++i;
            continue;
        }
        if (i + 1 >= end) break;
        const uint32_t m = Byte(i + 1);
        if (m == 0xD8) {
            if (started) break;
            started = true;
        } else if (m >= 0xC0 && m <= 0xCF) {
            if (!started) break;
            recognise(probeJpeg);
            return true;
        } else if (m == 0xD9) {
            break;
        }
        i += 2;
    }
    return false;
}

} // namespace thumbctl
