// Multi-page TIFF index and single-page extraction. Every offset and count
// read from the file is checked against its size before use.
#include "thumbctl/control/source/multipage.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "thumbctl/control/constants.h"
#include "thumbctl/kernel/tiff_format.h"

namespace thumbctl {

namespace {

constexpr int kMaxPages = 65536;
constexpr uint16_t kTagStripOffsets = 273, kTagStripByteCounts = 279;
constexpr uint16_t kTagTileOffsets = 324, kTagTileByteCounts = 325;
constexpr uint16_t kTypeShort = 3, kTypeLong = 4;

std::mutex gFetcherMutex;
CMultiPageSource::UrlFetcher gFetcher;

int TypeSize(uint32_t type)
{
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;   // BYTE ASCII SBYTE UNDEFINED
    case 3: case 8: return 2;                   // SHORT SSHORT
    case 4: case 9: case 11: case 13: return 4; // LONG SLONG FLOAT IFD
    case 5: case 10: case 12: return 8;         // RATIONAL SRATIONAL DOUBLE
    default: return 0;
    }
}

struct Order {
    bool little;
    uint32_t u16(const uint8_t* p) const { return little ? p[0] | p[1] << 8 : p[0] << 8 | p[1]; }
    uint32_t u32(const uint8_t* p) const
    {
        return little ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24
                      : uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
    }
    void put16(uint8_t* p, uint32_t v) const
    {
        if (little) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
        else { p[0] = uint8_t(v >> 8); p[1] = uint8_t(v); }
    }
    void put32(uint8_t* p, uint32_t v) const
    {
        if (little) for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
        else for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i));
    }
};

bool IsStripOffsets(uint32_t tag) { return tag == kTagStripOffsets || tag == kTagTileOffsets; }

// Bytes of the file a page record stands for: its directory and its
// out-of-line values (the strip tables among them).
int64_t IndexedBytes(const CMultiPageSource::PageRecord& page)
{
    return 2 + 12 * int64_t(page.entryCount) + 4 + page.outOfLineSize;
}
bool IsStripByteCounts(uint32_t tag) { return tag == kTagStripByteCounts || tag == kTagTileByteCounts; }

// Bytes of each strip a copy of the page must carry: its byte count, and for
// an uncompressed page exactly its rows, as the kernel reads rows by their
// size, not by the count (a shorter count is made up from the file, a longer
// one copies nothing the picture needs). (A page the kernel does not read
// keeps its byte counts.) The strips are not checked against the data here:
// the caller refuses a page whose strips pass its end.
std::vector<int64_t> StripCopyLengths(ByteSource& data, bool littleEndian, const CMultiPageSource::PageRecord& page)
{
    std::vector<int64_t> lengths(page.stripByteCounts.begin(), page.stripByteCounts.end());
    const tiff::Source source{[&data](uint64_t offset, void* buffer, uint64_t count) {
                                  return offset <= uint64_t(INT64_MAX) && count <= uint64_t(INT64_MAX) &&
                                         data.read(int64_t(offset), buffer, int64_t(count));
                              },
                              UINT64_MAX};
    tiff::Directory dir;
    tiff::Page layout;
    if (page.directoryOffset > 0xFFFFFFFFll ||
        tiff::ReadDirectory(source, littleEndian, uint32_t(page.directoryOffset), &dir) != tiff::kOk ||
        tiff::InterpretDirectory(source, dir, littleEndian, &layout) != tiff::kOk ||
        layout.compression != ipiCompressionNone || layout.rowsPerStrip == 0)
        return lengths;
    for (size_t k = 0; k < lengths.size() && k < layout.stripOffsets.size(); ++k) {
        const uint64_t first = uint64_t(k) * layout.rowsPerStrip;
        const uint64_t rows = std::min<uint64_t>(layout.rowsPerStrip, layout.height - first);
        const bool huge = layout.rowBytes != 0 && rows > uint64_t(INT64_MAX) / layout.rowBytes;
        lengths[k] = huge ? INT64_MAX : int64_t(rows * layout.rowBytes);
    }
    return lengths;
}

} // namespace

CMultiPageSource::~CMultiPageSource() { Close(); }

void CMultiPageSource::SetUrlFetcher(UrlFetcher fetcher)
{
    std::lock_guard<std::mutex> lock(gFetcherMutex);
    gFetcher = std::move(fetcher);
}

bool CMultiPageSource::IsRemoteUrl(const std::string& location)
{
    const size_t colon = location.find(':');
    if (colon == std::string::npos || colon < 2) return false;  // "C:" style drive letters are paths
    for (size_t i = 0; i < colon; ++i)
        if (!std::isalnum(static_cast<unsigned char>(location[i])) && location[i] != '+' && location[i] != '-' &&
            location[i] != '.')
            return false;
    std::string scheme = location.substr(0, colon);
    for (char& c : scheme) c = char(std::tolower(static_cast<unsigned char>(c)));
    return scheme != "file" && location.compare(colon, 3, "://") == 0;
}

std::string CMultiPageSource::LocalPathOf(const std::string& location)
{
    std::string path = location;
    if (path.size() >= 5 && (path.compare(0, 5, "file:") == 0 || path.compare(0, 5, "FILE:") == 0)) {
        path = path.compare(0, 7, "file://") == 0 || path.compare(0, 7, "FILE://") == 0 ? path.substr(7)
                                                                                          : path.substr(5);
        std::string decoded;
        for (size_t i = 0; i < path.size(); ++i) {
            if (path[i] == '%' && i + 2 < path.size() && std::isxdigit(static_cast<unsigned char>(path[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(path[i + 2]))) {
                decoded += char(std::stoi(path.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                decoded += path[i];
            }
        }
        path = decoded;
    }
    return path;
}

bool CMultiPageSource::Open(const std::string& location)
{
    if (pages_) {
        error_ = ErrSourceState;
        return false;
    }
    location_ = location;
    error_ = 0;
    pages_ = std::make_unique<std::vector<PageRecord>>();
    if (IsRemoteUrl(location)) {
        UrlFetcher fetch;
        {
            std::lock_guard<std::mutex> lock(gFetcherMutex);
            fetch = gFetcher;
        }
        if (!fetch) {
            error_ = trkErrFileNotFound;
            return false;
        }
        IPIHANDLE block = 0;
        int64_t size = 0;
        const int code = fetch(location, &block, &size);
        if (code != 0 || !block) {
            if (block) ipiGlobalFree(block);
            error_ = code ? code : trkErrFileIOError;
            return false;
        }
        downloaded_ = block;
        downloadedSize_ = size < ipiGlobalSize(block) ? size : ipiGlobalSize(block);
        return true;
    }
    location_ = LocalPathOf(location);
    return true;
}

bool CMultiPageSource::OpenMemory(const void* data, int64_t size)
{
    if (pages_) {
        error_ = ErrSourceState;
        return false;
    }
    error_ = 0;
    location_.clear();
    pages_ = std::make_unique<std::vector<PageRecord>>();
    if (!data || size <= 0) return true;  // indexing then finds no header
    downloaded_ = ipiGlobalAlloc(size);
    if (!downloaded_) {
        error_ = trkErrOutofMemory;
        return false;
    }
    IpiGlobalLock lock(downloaded_);
    std::memcpy(lock.ptr(), data, size_t(size));
    downloadedSize_ = size;
    return true;
}

bool CMultiPageSource::OpenBlock(IPIHANDLE block, int64_t size)
{
    if (pages_) {
        if (block) ipiGlobalFree(block);
        error_ = ErrSourceState;
        return false;
    }
    error_ = 0;
    location_.clear();
    pages_ = std::make_unique<std::vector<PageRecord>>();
    downloaded_ = block;
    downloadedSize_ = block ? std::min(std::max<int64_t>(size, 0), ipiGlobalSize(block)) : 0;
    return true;
}

void CMultiPageSource::Close()
{
    error_ = 0;
    location_.clear();
    if (downloaded_) ipiGlobalFree(downloaded_);
    downloaded_ = 0;
    downloadedSize_ = 0;
    pages_.reset();
}

bool CMultiPageSource::withData(const std::function<bool(ByteSource&)>& use, int openError)
{
    if (downloaded_) {
        IpiGlobalLock lock(downloaded_);
        MemoryBytes bytes(lock.ptr(), downloadedSize_);
        return use(bytes);
    }
    if (!pages_ || location_.empty()) {
        MemoryBytes none(nullptr, 0);
        return use(none);
    }
    FileBytes file;
    if (!file.open(location_, nullptr)) {
        error_ = openError;
        return false;
    }
    return use(file);
}

bool CMultiPageSource::ReadPageIndex(bool rebuild)
{
    if (!pages_) {
        error_ = ErrSourceState;
        return false;
    }
    if (!rebuild && !pages_->empty()) return true;
    return withData([this](ByteSource& data) { return index(data); }, trkErrFileLoadIncomplete);
}

bool CMultiPageSource::index(ByteSource& data)
{
    auto pages = std::make_unique<std::vector<PageRecord>>();
    uint8_t header[8];
    if (!data.read(0, header, 8) || !((header[0] == 'I' && header[1] == 'I') || (header[0] == 'M' && header[1] == 'M'))) {
        error_ = trkErrNotSupportFileFormat;
        return false;
    }
    littleEndian_ = header[0] == 'I';
    const Order order{littleEndian_};
    firstDirectory_ = order.u32(header + 4);
    std::unordered_set<int64_t> seen;
    // Bytes of the directories and strip tables read: each page's are bytes
    // of its own, so together they never pass the data's length. Pages that
    // share them over and over end the index (the memory of the index stays
    // within a few times the file's size).
    int64_t indexed = 0;
    int64_t offset = firstDirectory_;
    while (offset != 0) {
        // A chain that comes back to a directory already read ends there.
        if (!seen.insert(offset).second || int(pages->size()) >= kMaxPages) break;
        PageRecord page;
        int64_t next = 0;
        if (!readDirectory(data, offset, &page, &next)) {
            error_ = trkErrInvalidFileFormat;
            return false;
        }
        indexed += IndexedBytes(page);
        if (indexed > data.size()) break;
        pages->push_back(std::move(page));
        offset = next;
    }
    pages_ = std::move(pages);
    return true;
}

bool CMultiPageSource::readDirectory(ByteSource& data, int64_t offset, PageRecord* page, int64_t* next)
{
    const Order order{littleEndian_};
    const int64_t size = data.size();
    uint8_t countBytes[2];
    if (!data.read(offset, countBytes, 2)) return false;
    const uint32_t n = order.u16(countBytes);
    if (n == 0) return false;
    std::vector<uint8_t> entries(size_t(n) * 12 + 4);
    if (!data.read(offset + 2, entries.data(), int64_t(entries.size()))) return false;
    page->directoryOffset = offset;
    page->entryCount = n;
    bool haveCounts = false;
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* e = entries.data() + size_t(i) * 12;
        const uint32_t tag = order.u16(e), type = order.u16(e + 2), count = order.u32(e + 4);
        const int unit = TypeSize(type);
        const int64_t bytes = int64_t(unit) * count;
        int64_t valueOffset = -1;  // -1: the value is in the entry
        if (bytes > 4) {
            valueOffset = order.u32(e + 8);
            if (valueOffset > size || bytes > size - valueOffset) return false;
            page->values.push_back({int(i), valueOffset, bytes});
            page->outOfLineSize += bytes;
        }
        if (IsStripOffsets(tag) || IsStripByteCounts(tag)) {
            if (type != kTypeShort && type != kTypeLong) return false;
            if (count == 0 || (IsStripOffsets(tag) && page->stripEntry >= 0) || (IsStripByteCounts(tag) && haveCounts))
                return false;
            std::vector<uint8_t> raw(static_cast<size_t>(bytes));
            if (valueOffset < 0) std::memcpy(raw.data(), e + 8, size_t(bytes));
            else if (!data.read(valueOffset, raw.data(), bytes)) return false;
            std::vector<uint32_t> values(count);
            for (uint32_t k = 0; k < count; ++k)
                values[k] = unit == 2 ? order.u16(raw.data() + 2 * k) : order.u32(raw.data() + 4 * size_t(k));
            if (IsStripOffsets(tag)) {
                page->stripEntry = int(i);
                page->stripCount = count;
                page->stripOffsets = std::move(values);
            } else {
                haveCounts = true;
                page->stripByteCounts = std::move(values);
            }
        }
    }
    *next = order.u32(entries.data() + size_t(n) * 12);
    return true;
}

IPIHANDLE CMultiPageSource::ExtractPage(int n)
{
    if (!pages_ || n < 0 || n >= int(pages_->size())) {
        error_ = ErrSourceState;
        return 0;
    }
    error_ = 0;
    IPIHANDLE made = 0;
    const PageRecord& page = (*pages_)[size_t(n)];
    withData([&](ByteSource& data) {
        made = build(data, page);
        return made != 0;
    }, trkErrFileLoadIncomplete);
    return made;
}

namespace {

// Where the parts of a page's new file go.
struct PageLayout {
    std::vector<int64_t> lengths;  // bytes copied of each strip
    uint64_t stripBytes = 0;
    int64_t entries = 0;           // n
    int64_t valuesAt = 0;          // D: the out-of-line values
    int64_t stripsAt = 0;          // S: the strips
    uint64_t total = 0;
};

// The layout of page `page`'s new file; 0, or the control error that refuses
// the page (its strips outside the data, more bytes than the file holds, a
// file too large for one block).
int PlanPage(ByteSource& data, bool littleEndian, const CMultiPageSource::PageRecord& page, PageLayout* l)
{
    const int64_t fileSize = data.size();
    if (page.stripEntry < 0 || page.stripByteCounts.size() != page.stripOffsets.size())
        return trkErrInvalidFileFormat;
    l->lengths = StripCopyLengths(data, littleEndian, page);
    l->stripBytes = 0;
    for (size_t k = 0; k < page.stripOffsets.size(); ++k) {
        const int64_t at = page.stripOffsets[k], len = l->lengths[k];
        if (at > fileSize || len > fileSize - at) return trkErrInvalidFileFormat;
        l->stripBytes += uint64_t(len);
    }
    // Each value and strip is bytes of its own in the file: a page whose
    // values and strips together need more than the file holds shares them
    // over and over, and is refused before its copy is made.
    if (uint64_t(page.outOfLineSize) + l->stripBytes > uint64_t(fileSize)) return trkErrInvalidFileFormat;
    // Strip offsets are always written as LONG values: in the entry for one
    // strip, else in their own out-of-line space of 4 bytes a strip.
    int64_t outOfLine = 0;
    for (const CMultiPageSource::OutOfLine& v : page.values)
        if (v.entry != page.stripEntry) outOfLine += v.size;
    if (page.stripCount > 1) outOfLine += 4 * int64_t(page.stripCount);
    l->entries = page.entryCount;
    l->valuesAt = 12 * l->entries + 14;
    l->stripsAt = l->valuesAt + outOfLine;
    l->total = uint64_t(l->stripsAt) + l->stripBytes;
    if (l->total > 0xFFFFFFFFull || int64_t(l->total) > kIpiMaxBytes) return trkErrOutofMemory;
    return 0;
}

// The new StripOffsets entry `e`: LONG values, the one offset in the entry,
// else the offsets written at out + *p (advanced past them).
void WriteStripOffsets(const Order& order, const CMultiPageSource::PageRecord& page, const PageLayout& l,
                       uint8_t* out, uint8_t* e, int64_t* p)
{
    order.put16(e + 2, kTypeLong);
    if (page.stripCount == 1) {
        order.put32(e + 8, uint32_t(l.stripsAt));
        return;
    }
    uint32_t at = uint32_t(l.stripsAt);
    for (uint32_t k = 0; k < page.stripCount; ++k) {
        order.put32(out + *p + 4 * int64_t(k), at);
        at += uint32_t(l.lengths[k]);
    }
    order.put32(e + 8, uint32_t(*p));
    *p += 4 * int64_t(page.stripCount);
}

// The header, the page's one directory (entries copied, then patched to the
// new places of the strip offsets and the out-of-line values) and those
// values. False when the data cannot be read.
bool WriteDirectory(ByteSource& data, const Order& order, const CMultiPageSource::PageRecord& page,
                    const PageLayout& l, uint8_t* out)
{
    out[0] = out[1] = order.little ? 'I' : 'M';
    order.put16(out + 2, 42);
    order.put32(out + 4, 8);
    order.put16(out + 8, uint32_t(l.entries));
    uint8_t* entries = out + 10;
    if (!data.read(page.directoryOffset + 2, entries, 12 * l.entries)) return false;
    // The next-directory offset after the entries stays 0.
    int64_t p = l.valuesAt;
    size_t nextValue = 0;
    for (int64_t i = 0; i < l.entries; ++i) {
        uint8_t* e = entries + 12 * i;
        if (i == page.stripEntry) {
            WriteStripOffsets(order, page, l, out, e, &p);
            while (nextValue < page.values.size() && page.values[nextValue].entry <= i) ++nextValue;
            continue;
        }
        if (nextValue < page.values.size() && page.values[nextValue].entry == i) {
            const CMultiPageSource::OutOfLine& v = page.values[nextValue++];
            if (!data.read(v.offset, out + p, v.size)) return false;
            order.put32(e + 8, uint32_t(p));
            p += v.size;
        }
    }
    return true;
}

// The strips, one after the other from the layout's strip place.
bool CopyStrips(ByteSource& data, const CMultiPageSource::PageRecord& page, const PageLayout& l, uint8_t* out)
{
    int64_t at = l.stripsAt;
    for (size_t k = 0; k < page.stripOffsets.size(); ++k) {
        if (!data.read(page.stripOffsets[k], out + at, l.lengths[k])) return false;
        at += l.lengths[k];
    }
    return true;
}

} // namespace

IPIHANDLE CMultiPageSource::build(ByteSource& data, const PageRecord& page)
{
    PageLayout layout;
    if (const int refused = PlanPage(data, littleEndian_, page, &layout)) {
        error_ = refused;
        return 0;
    }
    const IPIHANDLE h = ipiGlobalAlloc(int64_t(layout.total));
    if (!h) {
        error_ = trkErrOutofMemory;
        return 0;
    }
    int failure = trkErrOutofMemory;  // when the block cannot be locked
    {
        IpiGlobalLock lock(h);
        if (uint8_t* out = lock.ptr()) {
            const Order order{littleEndian_};
            const bool copied = WriteDirectory(data, order, page, layout, out) && CopyStrips(data, page, layout, out);
            failure = copied ? 0 : trkErrFileLoadIncomplete;
        }
    }
    if (failure) {
        ipiGlobalFree(h);
        error_ = failure;
        return 0;
    }
    return h;
}

} // namespace thumbctl
