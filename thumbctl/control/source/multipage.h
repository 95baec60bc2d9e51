#pragma once
// The multi-page source: one multi-page TIFF (a local path, a file: URL or,
// through a fetcher, a remote URL), an index of its pages, and any page cut
// out as a self-contained single-page TIFF in a new global-memory block:
// header, the one directory at offset 8, the out-of-line values, then the
// strips. A page keeps its file's byte order.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "thumbctl/control/source/filebytes.h"
#include "thumbctl/kernel/ipi_memory.h"

namespace thumbctl {

class CMultiPageSource {
public:
    // Reads a remote URL whole into a new global block; returns 0 or a
    // control error code (2110, 2120, 9000).
    using UrlFetcher = std::function<int(const std::string& url, IPIHANDLE* block, int64_t* size)>;

    struct OutOfLine {
        int entry;       // index of the entry in the directory
        int64_t offset;  // file offset of the value
        int64_t size;    // byte size of the value
    };
    struct PageRecord {
        int64_t directoryOffset = 0;
        uint32_t entryCount = 0;
        uint32_t stripCount = 0;
        int stripEntry = -1;  // entry index of StripOffsets (or TileOffsets)
        std::vector<uint32_t> stripOffsets;
        std::vector<uint32_t> stripByteCounts;
        int64_t outOfLineSize = 0;
        std::vector<OutOfLine> values;
    };

    CMultiPageSource() = default;
    ~CMultiPageSource();
    CMultiPageSource(const CMultiPageSource&) = delete;
    CMultiPageSource& operator=(const CMultiPageSource&) = delete;

    bool Open(const std::string& location);
    // Opens over a copy of bytes already in memory (a downloaded file).
    bool OpenMemory(const void* data, int64_t size);
    // Opens over a block of `size` bytes that the source takes over (frees).
    bool OpenBlock(IPIHANDLE block, int64_t size);
    bool ReadPageIndex(bool rebuild);
    // New single-page TIFF of page `n` (0-based), or 0; the caller owns it.
    IPIHANDLE ExtractPage(int n);
    void Close();

    int Error() const { return error_; }
    const std::string& Location() const { return location_; }
    bool IsOpen() const { return pages_ != nullptr; }
    int PageCount() const { return pages_ ? int(pages_->size()) : 0; }
    const PageRecord& Page(int n) const { return pages_->at(size_t(n)); }
    bool LittleEndian() const { return littleEndian_; }

    // The fetcher used for remote locations (none: remote locations fail with 2110).
    static void SetUrlFetcher(UrlFetcher fetcher);
    // True for a location with a scheme other than file: (http:, https:, ftp: ...).
    static bool IsRemoteUrl(const std::string& location);
    // A plain path, or a file: URL turned into one (percent escapes decoded).
    static std::string LocalPathOf(const std::string& location);

private:
    bool index(ByteSource& data);
    bool readDirectory(ByteSource& data, int64_t offset, PageRecord* page, int64_t* next);
    bool withData(const std::function<bool(ByteSource&)>& use, int openError);
    IPIHANDLE build(ByteSource& data, const PageRecord& page);

    std::string location_;
    IPIHANDLE downloaded_ = 0;
    int64_t downloadedSize_ = 0;
    std::unique_ptr<std::vector<PageRecord>> pages_;
    bool littleEndian_ = true;
    uint32_t firstDirectory_ = 0;
    int error_ = 0;
};

} // namespace thumbctl
