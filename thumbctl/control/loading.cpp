// Loading the thumbnail list from its data sources and making thumbnails.
#include "thumbctl/control/loading.h"

#include "thumbctl/control/constants.h"
#include "thumbctl/control/loading_url.h"
#include "thumbctl/kernel/decode.h"
#include "platform/folderjobs.h"

#include <cerrno>
#include <filesystem>
#include <optional>

namespace thumbctl {

namespace {

namespace fs = std::filesystem;

bool IsBlank(unsigned char c) { return c == ' ' || c == '\t'; }

// Opens a local file for reading and maps the failure to a list error.
int OpenError(const std::string& path)
{
    std::error_code ec;
    const fs::path p(path);
    if (fs::is_directory(p, ec)) return trkErrSystemError;
    const fs::path parent = p.has_parent_path() ? p.parent_path() : fs::path(".");
    if (!fs::is_directory(parent, ec)) return trkErrPathNotFound;
    if (!fs::exists(p, ec)) return trkErrFileNotFound;
    return trkErrFileIOError;
}

} // namespace

int ItemTypeOfProbe(int probeType)
{
    switch (probeType) {
    case probeBmp: return itemBmp;
    case probeTiff: return itemTiff;
    case probeJpeg: return itemJpeg;
    case probePcx: return itemPcx;
    case probePng: return itemPng;
    default: return 0;
    }
}

int DecodeFormatOfItem(int itemType)
{
    switch (itemType) {
    case itemBmp: return DecodeFormatBmp;
    case itemJpeg: return DecodeFormatJpeg;
    case itemPcx: return DecodeFormatPcx;
    case itemPng: return DecodeFormatPng;
    case itemTiff: return DecodeFormatTiff;
    default: return 0;
    }
}

int ListErrorOfKernel(int kernelError)
{
    switch (kernelError) {
    case -1: return trkErrOutofMemory;
    case 25: return trkErrFileIOError;
    // What the kernel says of data it cannot read (too short, malformed,
    // describing what cannot be, beyond what it implements): a damaged file
    // is an invalid file, never a failure of the system.
    case ipiErrExceedImplementation:
    case ipiErrInsufficientSize:
    case ipiErrMismatchDataType:
    case ipiErrMismatchObjectClass:
    case ipiErrNonPermissibleOption:
    case ipiErrOutOfRange:
    case ipiErrSemanticalError:
    case ipiErrSyntacticalError: return trkErrInvalidFileFormat;
    default: return trkErrSystemError;
    }
}

std::vector<std::string> SplitListLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    const size_t n = text.size();
    while (start < n) {
        size_t end = start;
        while (end < n && text[end] != '\r' && text[end] != '\n') ++end;
        std::string line = text.substr(start, end - start);
        // CR LF is one line end; a lone CR or LF ends the line by itself.
        size_t next = end + 1;
        if (end < n && text[end] == '\r' && next < n && text[next] == '\n') ++next;
        start = next;
        bool blank = true;
        for (size_t k = 0; k < line.size() && blank; ++k) {
            const auto c = static_cast<unsigned char>(line[k]);
            if (IsBlank(c)) continue;
            if (c == 0x81 && k + 1 < line.size() && static_cast<unsigned char>(line[k + 1]) == 0x40) {
                ++k;  // the double-byte space
                continue;
            }
            blank = false;
        }
        if (!blank) lines.push_back(std::move(line));
    }
    return lines;
}

ListEntry SplitListFields(const std::string& line)
{
    size_t k = 0;
    while (k < line.size() && std::isspace(static_cast<unsigned char>(line[k]))) ++k;
    std::string fields[3];
    int f = 0;
    for (; k < line.size() && f < 3; ++k) {
        if (line[k] == ',' || line[k] == '\t')
            ++f;
        else
            fields[f] += line[k];
    }
    return {fields[0], fields[1], fields[2]};
}

void ThumbnailLoader::Cancel()
{
    lastError = 0;
    if (loading || fetching) cancelRequested = true;
}

void ThumbnailLoader::RemoveAll()
{
    list_.Clear();
    host_.ListChanged();
}

void ThumbnailLoader::RemoveKeepingError(long index)
{
    const int16_t kept = lastError;
    list_.RemoveAt(index);
    host_.ListChanged();
    lastError = kept;
}

// A location read for one item's step: the local path, or the bytes of the
// URL fetched once, locked while the step uses them and freed after it.
struct ThumbnailLoader::Location {
    std::string local;  // the local path; the URL itself when remote
    bool remote = false;
    DibHandle block;
    std::optional<IpiGlobalLock> lock;
    int64_t size = 0;
    const uint8_t* data() const { return lock->ptr(); }
    // Hands the block over (unlocked) to a new owner.
    IPIHANDLE release()
    {
        lock.reset();
        return block.release();
    }
};

bool ThumbnailNeedsFetch(const CThumbnailItem& item)
{
    std::string local;
    return !item.thumbnail && !item.sourceDib && item.thumbnailError == 0 && !item.fullPath.empty() &&
           ResolvePath(item.fullPath, &local);
}

bool ThumbnailLoader::FetchRemote(const std::string& url, Location* where)
{
    if (!urlSupported) {
        lastError = trkErrFileNotFound;
        return false;
    }
    IPIHANDLE h = 0;
    FetchLimits limits;
    limits.deadlineMs = urlTimeoutMs;
    limits.cancelled = [this] { return cancelRequested; };
    fetching = true;
    const int e = FetchUrl(url, &h, &where->size, limits);
    fetching = false;
    if (e) {
        lastError = int16_t(e);
        // Outside Update nothing else takes the request up.
        if (e == trkErrUserAbort && !loading) cancelRequested = false;
        return false;
    }
    where->block.reset(h);
    where->lock.emplace(h);
    if (!where->lock->ptr()) {
        lastError = trkErrOutofMemory;
        return false;
    }
    return true;
}

bool ThumbnailLoader::ReadLocation(const std::string& location, Location* where)
{
    where->remote = ResolvePath(location, &where->local);
    return !where->remote || FetchRemote(location, where);
}

bool ThumbnailLoader::FireLoadingEvent(long index, bool starting, bool single)
{
    const std::string path = list_.valid(index) ? list_.items[size_t(index)]->fullPath : std::string();
    if (starting)
        host_.LoadingStart(index, path);
    else
        host_.LoadingEnd(index, path);
    if (!cancelRequested) return false;
    long n = single ? 1 : list_.count() - index;
    for (; n > 0 && list_.valid(index); --n) list_.RemoveAt(index);
    host_.ListChanged();
    cancelRequested = false;
    lastError = trkErrUserAbort;
    return true;
}

bool ThumbnailLoader::IdentifyFormat(const Location& where, int* probeType)
{
    int error = 0;
    const bool ok = where.remote ? host_.ProbeMemory(where.data(), where.size, probeType, &error)
                                 : host_.ProbeFile(where.local, probeType, &error);
    if (!ok) lastError = int16_t(error == trkErrInvalidParam ? trkErrSystemError : error);
    return ok;
}

int ThumbnailLoader::CountPages(const Location& where)
{
    int error = 0;
    const int pages = where.remote ? CountPagesInMemory(where.data(), DecodeFormatTiff, where.size, nullptr, 0, &error)
                                   : CountPagesInFile(where.local.c_str(), DecodeFormatTiff, nullptr, 0, &error);
    if (pages == 0) lastError = int16_t(ListErrorOfKernel(error));
    return pages;
}

// Mean level step between neighbouring pixels of a reduced JPEG decode above
// which the picture is decoded again at full size for its thumbnail.
// Ordinary pictures stay below 12 at 1/8, stripes of 3 to 12 pixels lie
// above 25 there.
constexpr double kFineContentStep = 20;

IPIHANDLE ThumbnailLoader::ThumbnailOf(const CThumbnailItem& item, const Location& where)
{
    DibHandle decoded;
    IPIHANDLE picture = item.sourceDib.get();
    IPIVALUE pictureSize[2] = {0, 0};  // set when a JPEG came back smaller
    if (!picture) {
        const int format = DecodeFormatOfItem(item.type);
        IPIHANDLE h = 0;
        int error = 0, got = 0;
        // The picture is only shrunk into the box: a JPEG may come back at a
        // fraction of its size that still covers the thumbnail.
        // The fitted size stays the one of the full picture.
        const IPIATTRIBUTE box[] = {{"boxWidth", boxWidth}, {"boxHeight", boxHeight},
                                    {"pictureSize", reinterpret_cast<IPIVALUE>(pictureSize)}};
        const bool shrink = format == DecodeFormatJpeg && boxWidth > 0 && boxHeight > 0;
        auto decode = [&](bool reduced) {
            const IPIATTRIBUTE* attributes = reduced ? box : nullptr;
            const int count = reduced ? 3 : 0;
            h = 0;
            got = where.remote ? DecodeImageFromMemory(where.data(), &h, 1, format, item.page, where.size, attributes,
                                                       count, &error)
                               : DecodeImageFromFile(where.local.c_str(), &h, 1, format, item.page, attributes,
                                                     count, &error);
            return got != 0 && h != 0;
        };
        if (!decode(shrink)) {
            lastError = int16_t(ListErrorOfKernel(error));
            return 0;
        }
        decoded.reset(h);
        // Content finer than the reduced decode's pixels (stripes a few pixels
        // wide) shows as steps of many levels between its neighbouring
        // pixels, and its thumbnail would lie far off the one of the whole
        // picture: such a picture is decoded again at full size. Ordinary
        // pictures change by a few levels from pixel to pixel and keep the
        // reduced decode.
        int64_t dw = 0, dh = 0;
        int depth = 0;
        if (shrink && GetDibInfo(h, &dw, &dh, &depth) && dw < pictureSize[0] &&
            NeighbourStep(h) > kFineContentStep) {
            if (!decode(false)) {
                lastError = int16_t(ListErrorOfKernel(error));
                return 0;
            }
            decoded.reset(h);
            pictureSize[0] = pictureSize[1] = 0;
        }
        picture = decoded.get();
    }
    int64_t w = 0, h = 0;
    int bits = 0;
    if (!GetDibInfo(picture, &w, &h, &bits)) {
        lastError = trkErrSystemError;
        return 0;
    }
    // A smaller decode is shrunk over the part of it that holds the picture,
    // to the size the whole picture fits into the box.
    SourceExtent extent;
    if (pictureSize[0] > 0 && pictureSize[1] > 0) {
        extent = ExtentOfScaledPicture(w, h, pictureSize[0], pictureSize[1]);
        w = pictureSize[0];
        h = pictureSize[1];
    }
    const ThumbSize size = FitIntoBox(w, h, boxWidth, boxHeight);
    const IPIHANDLE thumb = ReduceDib(picture, size.width, size.height, extent);
    if (!thumb) lastError = trkErrSystemError;  // a depth or compression without reduction
    return thumb;
}

IPIHANDLE ThumbnailLoader::MakeThumbnail(long i)
{
    if (!list_.valid(i)) return 0;
    const CThumbnailItem& item = *list_.items[size_t(i)];
    if (item.thumbnailError) {
        lastError = item.thumbnailError;
        return 0;
    }
    Location where;
    if (!item.sourceDib && !ReadLocation(item.fullPath, &where)) return 0;
    // The list does not change while a URL is read: the item is still there.
    return ThumbnailOf(*list_.items[size_t(i)], where);
}

void ThumbnailLoader::PrepareRemoteThumbnail(long i, const Location& where)
{
    CThumbnailItem& item = *list_.items[size_t(i)];
    const int16_t kept = lastError;
    if (const IPIHANDLE thumb = ThumbnailOf(item, where))
        item.thumbnail.reset(thumb);
    else
        item.thumbnailError = lastError;
    lastError = kept;
}

long ThumbnailLoader::AddFileItem(long index, const std::string& path, const std::string& key,
                                  const std::string& label, bool loadNow)
{
    // A URL is fetched once: its format, pages and picture come from the
    // same bytes, within one deadline.
    Location where;
    int probe = 0;
    if (!ReadLocation(path, &where) || !IdentifyFormat(where, &probe)) return -1;
    const int type = ItemTypeOfProbe(probe);
    if (type == 0) {
        lastError = trkErrNotSupportFileFormat;
        return -1;
    }
    long i = list_.Insert(index, CThumbnailItem::FromFile(path, type, key, label));
    if (type == itemTiff) {
        const int pages = CountPages(where);
        if (pages == 0) {
            list_.RemoveAt(i);
            return -1;
        }
        list_.items[size_t(i)]->multiPage = pages != 1;
    }
    if (where.remote) PrepareRemoteThumbnail(i, where);
    if (!SettleNewItem(&i, loadNow)) return -1;
    return i;
}

bool ThumbnailLoader::LoadVisibleThumbnail(long i, bool showNow, int16_t* failure)
{
    if (!host_.IsItemVisible(i)) return true;
    if (!list_.items[size_t(i)]->thumbnail) {
        const IPIHANDLE thumb = MakeThumbnail(i);
        if (!thumb) {
            *failure = lastError;
            return false;
        }
        list_.items[size_t(i)]->thumbnail.reset(thumb);
    }
    if (showNow) host_.ItemLoaded(i);
    return true;
}

bool ThumbnailLoader::SettleNewItem(long* index, bool loadNow)
{
    long i = *index;
    list_.items[size_t(i)]->pending = true;
    if (loadNow) {
        if (FireLoadingEvent(i, true, true)) return false;
        int16_t failure = 0;
        const bool failed = !LoadVisibleThumbnail(i, false, &failure);
        if (FireLoadingEvent(i, false, true)) return false;
        if (failed) {
            RemoveKeepingError(i);
            return false;
        }
    }
    if (sortType != 0) {
        SortItems();
        i = list_.PendingIndex();
    }
    if (list_.valid(i)) list_.items[size_t(i)]->pending = false;
    *index = i;
    return true;
}

bool ThumbnailLoader::StartDirectAdd(bool argumentValid)
{
    lastError = 0;
    if (dataSource != sourceDirect) {
        lastError = trkErrInvalidDataSource;
        return false;
    }
    if (!argumentValid) {
        lastError = trkErrInvalidParam;
        return false;
    }
    if (clearBeforeAdd) {
        list_.Clear();
        clearBeforeAdd = false;
    }
    return true;
}

bool ThumbnailLoader::Add(long index, const std::string& fileName, const std::string& key,
                          const std::string& label)
{
    if (!StartDirectAdd(!fileName.empty())) return false;
    const long i = AddFileItem(index, fileName, key, label, true);
    host_.ListChanged();
    return i >= 0;
}

bool ThumbnailLoader::AddDib(long index, IPIHANDLE dib, bool owner, const std::string& key,
                             const std::string& label)
{
    if (!StartDirectAdd(dib && ipiGlobalIsValid(dib))) return false;
    IPIHANDLE mine = dib;
    if (!owner) {
        mine = CopyDib(dib);
        if (!mine) {
            lastError = trkErrOutofMemory;
            return false;
        }
    }
    long i = list_.Insert(index, CThumbnailItem::FromDib(mine, key, label));
    if (!SettleNewItem(&i, true)) return false;
    host_.ListChanged();
    return true;
}

void ThumbnailLoader::SortItems()
{
    int16_t key = 0, order = 0;
    if (!SortKeyOfType(sortType, &key, &order) || key == sortNone || dataSource == sourceMultiPage) return;
    list_.Sort(key, order);
}

bool ThumbnailLoader::LoadFolder()
{
    std::string local;
    if (ResolvePath(dataPath, &local)) {
        lastError = trkErrPathNotFound;
        return false;
    }
    // Pieces up to each ";" (empty ones too), then the rest unless empty.
    std::vector<std::string> patterns;
    size_t start = 0;
    for (size_t semi; (semi = pattern.find(';', start)) != std::string::npos; start = semi + 1)
        patterns.push_back(pattern.substr(start, semi - start));
    if (start < pattern.size()) patterns.push_back(pattern.substr(start));

    std::string folder = local;
    if (folder.empty() || folder.back() != '/') folder += '/';
    const int savedSort = sortType;
    sortType = 0;
    bool ok = true;
    for (const std::string& p : patterns) {
        std::error_code ec;
        if (!fs::is_directory(fs::path(folder), ec)) {
            lastError = trkErrPathNotFound;
            ok = false;
            break;
        }
        if (p.empty()) continue;
        // "name.*" also matches a name without an extension, as the desktop's
        // file patterns do ("*.*" is every file).
        std::string query = p;
        if (p.size() >= 2 && p.compare(p.size() - 2, 2, ".*") == 0) query += ";" + p.substr(0, p.size() - 2);
        for (const std::string& name : platform::ListFiles(folder, query))
            AddFileItem(-1, folder + name, std::string(), std::string(), false);
    }
    sortType = savedSort;
    return ok;
}

bool ThumbnailLoader::LoadMultiPageFile()
{
    // A URL is read once for its format, its pages and their pictures.
    pagesFile_ = std::make_shared<Location>();
    int probe = 0;
    if (!ReadLocation(dataPath, pagesFile_.get()) || !IdentifyFormat(*pagesFile_, &probe)) return false;
    if (probe != probeTiff) {
        lastError = trkErrInvalidFileFormat;
        return false;
    }
    const int pages = CountPages(*pagesFile_);
    if (pages == 0) return false;
    for (int p = 0; p < pages; ++p) {
        auto item = CThumbnailItem::FromFile(dataPath, itemTiff, std::string(), std::string());
        item->page = p;
        list_.Insert(-1, std::move(item));
    }
    return true;
}

bool ThumbnailLoader::LoadListFile()
{
    std::string local, text;
    if (ResolvePath(dataPath, &local)) {
        Location remote;
        if (!FetchRemote(dataPath, &remote)) return false;
        text.assign(reinterpret_cast<const char*>(remote.data()), size_t(remote.size));
    } else {
        // Regular files only, opened without waiting (a pipe or a device in
        // the list file's place is refused), and none beyond the cap.
        const int cause = ipiReadRegularFile(local.c_str(), kMaxListFileBytes, &text);
        if (cause) {
            lastError = int16_t(cause == ENODEV || cause == EISDIR ? trkErrSystemError
                                : cause == EFBIG || cause == ENOMEM ? trkErrOutofMemory
                                : cause == EIO                      ? trkErrFileLoadIncomplete
                                                                    : OpenError(local));
            return false;
        }
    }
    const int savedSort = sortType;
    sortType = 0;
    bool ok = true;
    for (const std::string& line : SplitListLines(text)) {
        const ListEntry e = SplitListFields(line);
        if (e.file.empty()) continue;
        // A fetch cancelled while it waited ends the list there.
        if (AddFileItem(-1, e.file, e.key, e.label, false) < 0 && lastError == trkErrUserAbort) {
            ok = false;
            break;
        }
    }
    sortType = savedSort;
    return ok;
}

bool ThumbnailLoader::LoadItems()
{
    bool cancelled = false;
    long i = 0;
    while (i < list_.count()) {
        if (FireLoadingEvent(i, true, false)) return false;
        int16_t failure = 0;
        const bool failed = !LoadVisibleThumbnail(i, true, &failure);
        cancelled = FireLoadingEvent(i, false, false);
        if (cancelled) break;
        if (failed) {
            list_.RemoveAt(i);
            host_.ListChanged();
            lastError = failure;
        } else {
            ++i;
        }
    }
    return !cancelled;
}

bool ThumbnailLoader::OpenPages(PageSource& source, Location& file)
{
    bool opened = false;
    if (file.remote) {
        const int64_t size = file.size;
        opened = source.OpenBlock(file.release(), size);
    } else {
        opened = source.Open(file.local);
    }
    if (!opened || !source.ReadPageIndex()) {
        lastError = trkErrSystemError;
        return false;
    }
    return true;
}

bool ThumbnailLoader::DecodePages(PageSource& source, long* next)
{
    long& i = *next;
    for (i = 0; i < list_.count(); ++i) {
        if (FireLoadingEvent(i, true, false)) return false;
        DibHandle page(source.ExtractPage(list_.items[size_t(i)]->page));
        if (!page) {
            lastError = trkErrOutofMemory;
            break;
        }
        IPIHANDLE dib = 0;
        int error = 0, got = 0;
        {
            IpiGlobalLock lock(page.get());
            if (!lock.ptr()) {
                lastError = trkErrOutofMemory;
                break;
            }
            got = DecodeImageFromMemory(lock.ptr(), &dib, 1, DecodeFormatTiff, 0, lock.size(), nullptr, 0, &error);
        }
        page.reset();
        if (got == 0 || dib == 0) {
            lastError = int16_t(ListErrorOfKernel(error));
            break;
        }
        list_.items[size_t(i)]->sourceDib.reset(dib);
        int16_t failure = 0;
        const bool failed = !LoadVisibleThumbnail(i, true, &failure);
        if (FireLoadingEvent(i, false, false)) return false;
        if (failed) {
            lastError = failure;
            break;
        }
    }
    return true;
}

bool ThumbnailLoader::LoadPages()
{
    if (list_.count() == 0) return true;
    std::unique_ptr<PageSource> source = host_.NewPageSource();
    if (!source) {
        lastError = trkErrSystemError;
        return false;
    }
    // Without the file no page can be shown: the list ends at its start, as a
    // cancel while the file was read ends it.
    long kept = 0;
    const bool result = pagesFile_ && OpenPages(*source, *pagesFile_) && DecodePages(*source, &kept);
    source->Close();
    if (kept < list_.count()) {
        const int16_t error = lastError;
        while (list_.count() > kept) list_.RemoveAt(list_.count() - 1);
        host_.ListChanged();
        lastError = error;
    }
    return result;
}

bool ThumbnailLoader::Update()
{
    lastError = 0;
    // The box in effect from here on: remote items get their thumbnails as
    // they are read.
    boxWidth = thumbnailWidth;
    boxHeight = thumbnailHeight;
    pagesFile_.reset();
    if (dataSource == sourceDirect) {
        for (auto& item : list_.items) {
            item->thumbnail.reset();
            item->thumbnailError = 0;
        }
    } else {
        RemoveAll();
        clearBeforeAdd = false;
        if (dataPath.empty()) return true;
        bool ok = false;
        switch (dataSource) {
        case sourceFolder: ok = LoadFolder(); break;
        case sourceMultiPage: ok = LoadMultiPageFile(); break;
        case sourceListFile: ok = LoadListFile(); break;
        default: lastError = trkErrInvalidDataSource; break;
        }
        if (!ok) {
            pagesFile_.reset();
            host_.ListChanged();
            return false;
        }
        SortItems();
    }
    loading = true;
    cancelRequested = false;
    host_.LoadingBegins();
    const bool ok = dataSource == sourceMultiPage ? LoadPages() : LoadItems();
    pagesFile_.reset();
    loading = false;
    cancelRequested = false;
    host_.ListChanged();
    return ok;
}

} // namespace thumbctl
