#pragma once
// Filling the thumbnail list: the four data sources (items handed over by the
// container, a folder with name patterns, the pages of one multi-page TIFF and
// a list file), the per-item load step with its start and end events and the
// cancel request, decoding through the image kernel's decode entry points and
// fitting each picture into the thumbnail box.
#include "thumbctl/control/constants.h"
#include "thumbctl/control/loading_url.h"
#include "thumbctl/control/thumbnail.h"

#include <memory>
#include <string>

namespace thumbctl {

// Data sources (the values of the DataSource property).
enum DataSource : int {
    sourceDirect = trkDataSrcDirect,
    sourceFolder = trkDataSrcFolder,
    sourceMultiPage = trkDataSrcMultiPage,
    sourceListFile = trkDataSrcIndirect,
};

// Kinds the file probe recognises.
enum ProbeType : int { probeBmp = 101, probeTiff = 102, probeJpeg = 103, probePcx = 104, probePng = 106 };

// Item type of a probe answer, 0 for a kind the list does not show.
int ItemTypeOfProbe(int probeType);
// Decode format code of an item type.
int DecodeFormatOfItem(int itemType);
// List error of a kernel error code: 9000 for memory, 2120 for a file that
// cannot be read, 2001 for data the kernel cannot read (damage), 9900 else.
int ListErrorOfKernel(int kernelError);

// Pages of one multi-page TIFF handed out as single-page TIFFs in
// global-memory blocks. `error()` holds the list error of a failed step.
class PageSource {
public:
    virtual ~PageSource() = default;
    // A local path or file: URL; a remote file is read once by the loader and
    // its block handed over with OpenBlock (the source frees it).
    virtual bool Open(const std::string& location) = 0;
    virtual bool OpenBlock(IPIHANDLE block, int64_t size) = 0;
    virtual bool ReadPageIndex() = 0;
    virtual IPIHANDLE ExtractPage(int page) = 0;  // caller frees; 0 on failure
    virtual void Close() = 0;
    virtual int error() const = 0;
};

// What the loader asks of the control around it: the events, whether an item
// is on screen, the window's repaints, and the file probe and page source.
class LoadingHost {
public:
    virtual ~LoadingHost() = default;
    virtual void LoadingStart(long index, const std::string& path) {}
    virtual void LoadingEnd(long index, const std::string& path) {}
    // Without a window every item counts as visible.
    virtual bool IsItemVisible(long index) { return true; }
    // A thumbnail was stored: redraw the item and show it at once.
    virtual void ItemLoaded(long index) {}
    // The list was rebuilt or items went away: lay out and repaint.
    virtual void ListChanged() {}
    // The list is about to be loaded: painting off while it is rebuilt, the
    // scroll position to the top index, painting on, background cleared.
    virtual void LoadingBegins() {}
    // Probes a file or memory block: true with the probe type, false with a
    // list error.
    virtual bool ProbeFile(const std::string& path, int* probeType, int* error) = 0;
    virtual bool ProbeMemory(const uint8_t* data, int64_t size, int* probeType, int* error) = 0;
    virtual std::unique_ptr<PageSource> NewPageSource() = 0;
};

// The state that loading shares with a control: where it lives. A loader
// made without one keeps its own.
struct LoadingFlags {
    int16_t& lastError;
    bool& loading;
    bool& cancelRequested;
    bool& clearBeforeAdd;
    int32_t& boxWidth;   // thumbnail box in effect (copied at each Update)
    int32_t& boxHeight;
    bool& fetching;      // a URL is being read; events run meanwhile
};

class ThumbnailLoader {
public:
    ThumbnailLoader(ThumbnailList& list, LoadingHost& host)
        : lastError(own_.lastError), loading(own_.loading), cancelRequested(own_.cancelRequested),
          clearBeforeAdd(own_.clearBeforeAdd), boxWidth(own_.boxWidth), boxHeight(own_.boxHeight),
          fetching(own_.fetching), list_(list), host_(host) {}
    ThumbnailLoader(ThumbnailList& list, LoadingHost& host, const LoadingFlags& shared)
        : lastError(shared.lastError), loading(shared.loading), cancelRequested(shared.cancelRequested),
          clearBeforeAdd(shared.clearBeforeAdd), boxWidth(shared.boxWidth), boxHeight(shared.boxHeight),
          fetching(shared.fetching), list_(list), host_(host) {}

    // Settings, as the control's properties set them.
    int dataSource = sourceFolder;
    std::string dataPath;
    std::string pattern = "*.*";
    int sortType = 0;
    int thumbnailWidth = 80;  // requested box
    int thumbnailHeight = 60;
    bool urlSupported = true;
    int urlTimeoutMs = kUrlDeadlineMs;

private:
    struct Own {
        int16_t lastError = 0;
        bool loading = false;
        bool cancelRequested = false;
        bool clearBeforeAdd = true;
        int32_t boxWidth = 80;
        int32_t boxHeight = 60;
        bool fetching = false;
    } own_;

public:
    int16_t& lastError;
    bool& loading;
    bool& cancelRequested;
    bool& clearBeforeAdd;
    int32_t& boxWidth;
    int32_t& boxHeight;
    bool& fetching;

    bool Update();
    bool Add(long index, const std::string& fileName, const std::string& key, const std::string& label);
    // bOwner: the list takes the block over; otherwise it keeps a copy.
    bool AddDib(long index, IPIHANDLE dib, bool owner, const std::string& key, const std::string& label);
    // Takes effect only while loading (from inside an event) or while a URL
    // is being read (from an event processed meanwhile).
    void Cancel();
    void RemoveAll();

    // The thumbnail of item i as a new block, 0 with lastError on failure. A
    // remote item is fetched (once), with the program's events running and
    // the cancel honoured while it waits: a paint asks only for items that
    // need no fetch (ThumbnailNeedsFetch).
    IPIHANDLE MakeThumbnail(long i);
    // Sorts by the sort type (not the pages of a multi-page source).
    void SortItems();

private:
    long AddFileItem(long index, const std::string& path, const std::string& key, const std::string& label,
                     bool loadNow);
    bool FireLoadingEvent(long index, bool starting, bool single);
    // The checks of Add and AddDIB (the direct source, a valid argument) and
    // the clearing of the list before the first add; false with lastError.
    bool StartDirectAdd(bool argumentValid);
    // The thumbnail of item i when it is on screen (`showNow`: drawn at once);
    // false with *failure the error when it cannot be made.
    bool LoadVisibleThumbnail(long i, bool showNow, int16_t* failure);
    // Item *index was just inserted: marked pending while its thumbnail is
    // made (when asked, between its start and end events; an item whose
    // thumbnail fails is removed) and the list sorted. False when cancelled or
    // failed; else *index is where the item stands after sorting.
    bool SettleNewItem(long* index, bool loadNow);
    // A location as one item's step reads it: a local path, or the bytes of
    // a URL fetched once for the whole step (format, pages and picture).
    struct Location;
    // Resolves a location and fetches it when it is remote; false with
    // lastError set (trkErrFileNotFound when remote locations are turned
    // off, trkErrUserAbort when cancelled while it waited).
    bool ReadLocation(const std::string& location, Location* where);
    bool FetchRemote(const std::string& url, Location* where);
    bool IdentifyFormat(const Location& where, int* probeType);
    int CountPages(const Location& where);
    // Decodes the item's picture from `where` and shrinks it into the box.
    IPIHANDLE ThumbnailOf(const CThumbnailItem& item, const Location& where);
    // A remote item's thumbnail made from the bytes just fetched; a failure
    // is kept in the item for its turn.
    void PrepareRemoteThumbnail(long i, const Location& where);
    bool LoadFolder();
    bool LoadMultiPageFile();
    bool LoadListFile();
    bool LoadItems();
    bool LoadPages();
    // Opens the multi-page source on the file read for the Update (a remote
    // file's block is handed over) and indexes its pages. False with
    // lastError set.
    bool OpenPages(PageSource& source, Location& file);
    // Decodes the pages in turn, each between its start and end events; stops
    // at the first that fails (lastError set). *next is the first page not
    // decoded. False when cancelled from an event.
    bool DecodePages(PageSource& source, long* next);
    void RemoveKeepingError(long index);

    ThumbnailList& list_;
    LoadingHost& host_;
    // The multi-page file of an Update, read once for its format, its pages
    // and their pictures.
    std::shared_ptr<Location> pagesFile_;
};

// Whether making the item's thumbnail means fetching a URL (an item of a
// remote location with no thumbnail, no bitmap and no failure kept).
bool ThumbnailNeedsFetch(const CThumbnailItem& item);

// A local list file larger than this is refused with trkErrOutofMemory
// before any of it is read (a million entries of long paths fit).
constexpr int64_t kMaxListFileBytes = int64_t(256) << 20;

// Lines of a list file: a line ends at CR, LF or CR LF (each kept character
// stays); lines of nothing but blanks are left out.
std::vector<std::string> SplitListLines(const std::string& text);

struct ListEntry {
    std::string file, key, label;
};
// Fields of one list-file line: leading blanks dropped, then up to three
// fields ended by "," or TAB.
ListEntry SplitListFields(const std::string& line);

} // namespace thumbctl
