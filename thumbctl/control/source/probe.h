#pragma once
// The image file probe: tells from a file's content (never its name)
// whether the control makes a thumbnail of it and of which type. GIF and
// LZW-compressed TIFF files are recognised but refused (2000). Reads the
// first 1024 bytes, then further 512-byte windows only as far as a test needs:
// the TIFF directory walk reads no more entries in all than the data holds,
// the JPEG marker scan no further than its first megabytes.
#include <cstdint>
#include <string>

#include "thumbctl/control/source/filebytes.h"

namespace thumbctl {

class CImageFileProbe {
public:
    enum ProbeTypes { probeBmp = 101, probeTiff = 102, probeJpeg = 103, probePcx = 104, probePng = 106 };

    bool ProbeFile(const std::string& path);
    bool ProbeMemory(const void* data, int64_t size);
    // Probes any byte source (the two above go through it).
    bool Probe(ByteSource& data);

    int ProbeType() const { return probeType_; }
    int Recognised() const { return recognised_; }
    int Error() const { return error_; }
    int64_t DataLength() const { return length_; }

    // Data accessors over the whole data (offset from its start); an access
    // whose last byte lies at or past the end sets error 2001 and yields 0.
    uint32_t Byte(int64_t offset);
    uint32_t Be16(int64_t offset);
    uint32_t Le16(int64_t offset);
    uint32_t Be32(int64_t offset);
    uint32_t Le32(int64_t offset);

    // Name of a probe type ("BMP" ... "PNG"), "" for others.
    static const char* TypeName(int probeType);

private:
    bool Detect(ByteSource* source);
    bool at(int64_t offset, int64_t size, uint8_t* out);
    bool testBmp();
    bool testTiff();
    bool testGif();
    bool testPng();
    bool testJfif();
    bool testJpegStart();
    bool testPcx();
    bool scanJpegMarkers();
    void recognise(int type);

    ByteSource* source_ = nullptr;
    int probeType_ = -1;
    int recognised_ = -1;
    int error_ = 0;
    int64_t length_ = 0;
    uint8_t buffer_[1024] = {};
    int64_t bytesRead_ = 0;
    int64_t windowStart_ = 512;
    int64_t windowBytes_ = 0;
};

} // namespace thumbctl
