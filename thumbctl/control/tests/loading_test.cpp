// Loading the thumbnail list: folders and their patterns, list files, the
// load events and cancelling, handed-over bitmaps, URLs on a loopback server.
#include "thumbctl/control/loading.h"
#include "thumbctl/control/loading_url.h"
#include "thumbctl/control/tests/dib_maker.h"
#include "thumbctl/control/tests/folder_maker.h"
#include "thumbctl/control/tests/loopback_server.h"
#include "thumbctl/control/tests/test_host.h"
#include "thumbctl/control/thumbnail_dib.h"
#include "thumbctl/kernel/decode.h"
#include "testsupport/peak_memory.h"
#include "testsupport/testsupport.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace thumbctl;
using testsupport::TempDir;

namespace {

class MixedFolder : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir("thumbload");
        testkit::MakeMixedFolder(dir_->path().string());
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string Dir() { return dir_->path().string(); }
    static TempDir* dir_;

    ThumbnailList list;
    testkit::TestHost host{list};
    ThumbnailLoader loader{list, host};

    std::vector<std::string> Names() const
    {
        std::vector<std::string> out;
        for (const auto& it : list.items) out.push_back(it->namePart);
        return out;
    }
};
TempDir* MixedFolder::dir_ = nullptr;

QSize ThumbSizeOf(const CThumbnailItem& it)
{
    int64_t w = 0, h = 0;
    int bits = 0;
    if (!GetDibInfo(it.thumbnail.get(), &w, &h, &bits)) return {};
    return QSize(int(w), int(h));
}

} // namespace

TEST_F(MixedFolder, FolderListsTheAcceptedPicturesWithTheirThumbnailSizes)
{
    loader.dataPath = Dir();
    ASSERT_TRUE(loader.Update());
    EXPECT_EQ(Names(), (std::vector<std::string>{"pages.tif", "photo.jpg", "pic.pcx", "small.png", "wide.bmp"}));
    EXPECT_EQ(loader.lastError, 2001);  // the last refusal: notes.txt (anim.gif before it: 2000)
    const QSize expected[] = {{64, 48}, {80, 60}, {80, 60}, {40, 30}, {80, 40}};
    for (size_t k = 0; k < list.items.size(); ++k) EXPECT_EQ(ThumbSizeOf(*list.items[k]), expected[k]) << k;
    EXPECT_TRUE(list.items[0]->multiPage);
    EXPECT_FALSE(list.items[1]->multiPage);
    EXPECT_EQ(list.items[4]->type, itemBmp);
    // Every item had a start and an end event, in order.
    EXPECT_EQ(host.events, (std::vector<std::string>{"S0", "E0", "S1", "E1", "S2", "E2", "S3", "E3", "S4", "E4"}));
}

TEST_F(MixedFolder, PatternsKeepTheirOrderIgnoreCaseAndMayRepeat)
{
    loader.dataPath = Dir() + "/";
    loader.pattern = "*.PNG;*.bmp;;*.png;";
    ASSERT_TRUE(loader.Update());
    EXPECT_EQ(Names(), (std::vector<std::string>{"small.png", "wide.bmp", "small.png"}));

    loader.pattern = "*.xyz";
    EXPECT_TRUE(loader.Update());
    EXPECT_EQ(list.count(), 0);

    // Sorting happens once, after the patterns.
    loader.pattern = "*.bmp;*.jpg;*.png";
    loader.sortType = 2;  // names descending
    ASSERT_TRUE(loader.Update());
    EXPECT_EQ(Names(), (std::vector<std::string>{"wide.bmp", "small.png", "photo.jpg"}));
}

TEST_F(MixedFolder, MissingFolderAndEmptyPath)
{
    loader.dataPath = Dir() + "/no such folder";
    EXPECT_FALSE(loader.Update());
    EXPECT_EQ(loader.lastError, 2112);
    loader.dataPath.clear();
    EXPECT_TRUE(loader.Update());
    EXPECT_EQ(loader.lastError, 0);
    EXPECT_EQ(list.count(), 0);
}

TEST_F(MixedFolder, CancelFromTheStartOfItemThree)
{
    loader.dataPath = Dir();
    long countInHandler = -1;
    host.onStart = [&](long index) {
        if (index != 3) return;
        countInHandler = list.count();
        loader.Cancel();
    };
    EXPECT_FALSE(loader.Update());
    EXPECT_EQ(loader.lastError, 1110);
    EXPECT_EQ(countInHandler, 5);
    EXPECT_EQ(list.count(), 3);
    EXPECT_FALSE(loader.loading);
    EXPECT_EQ(host.events.back(), "S3");
    // Outside loading a cancel does nothing.
    loader.Cancel();
    EXPECT_FALSE(loader.cancelRequested);
}

TEST_F(MixedFolder, ListFilesWithLfAndCrLfLinesKeepEveryCharacter)
{
    const std::string d = Dir() + "/";
    struct Case { const char* name; std::string text; } cases[] = {
        {"lf.txt", d + "wide.bmp,k1,l1\n" + d + "small.png\tk2\n\n  " + d + "photo.jpg,,third\n"},
        {"crlf.txt", d + "wide.bmp,k1,l1\r\n" + d + "small.png\tk2\r\n\r\n  " + d + "photo.jpg,,third"},
        {"cr.txt", d + "wide.bmp,k1,l1\r" + d + "small.png\tk2\r \t\r  " + d + "photo.jpg,,third\r"},
    };
    for (const auto& c : cases) {
        const std::string listPath = d + c.name;
        std::ofstream(listPath, std::ios::binary) << c.text << ",nothing\n";
        loader.dataSource = sourceListFile;
        loader.dataPath = listPath;
        ASSERT_TRUE(loader.Update()) << c.name;
        ASSERT_EQ(Names(), (std::vector<std::string>{"wide.bmp", "small.png", "photo.jpg"})) << c.name;
        EXPECT_EQ(list.items[0]->key, "k1");
        EXPECT_EQ(list.items[0]->label, "l1");
        EXPECT_EQ(list.items[1]->key, "k2");
        EXPECT_EQ(list.items[2]->key, "");
        EXPECT_EQ(list.items[2]->label, "third");
    }
    loader.dataPath = d + "missing.txt";
    EXPECT_FALSE(loader.Update());
    EXPECT_EQ(loader.lastError, 2110);
    loader.dataPath = d + "nowhere/missing.txt";
    EXPECT_FALSE(loader.Update());
    EXPECT_EQ(loader.lastError, 2112);
}

TEST_F(MixedFolder, MultiPageSourceGivesEachPageItsOwnPixels)
{
    loader.dataSource = sourceMultiPage;
    loader.dataPath = Dir() + "/pages.tif";
    ASSERT_TRUE(loader.Update());
    ASSERT_EQ(list.count(), 4);
    for (long p = 0; p < 4; ++p) {
        const CThumbnailItem& it = *list.items[size_t(p)];
        EXPECT_FALSE(it.multiPage);
        EXPECT_EQ(it.page, p);
        // Each page is flat grey 20, 40, 60, 80 percent.
        const QImage img = DibToImage(it.thumbnail.get());
        ASSERT_EQ(img.size(), QSize(64, 48));
        const int grey = (20 + 20 * int(p)) * 255 / 100;
        EXPECT_NEAR(qRed(img.pixel(10, 10)), grey, 1) << p;
        EXPECT_NEAR(qBlue(img.pixel(63, 47)), grey, 1) << p;
    }
    // Not a TIFF.
    loader.dataPath = Dir() + "/wide.bmp";
    EXPECT_FALSE(loader.Update());
    EXPECT_EQ(loader.lastError, 2001);
}

// Pipes, devices and huge sparse files in every place the list opens a file:
// each is refused at once with an error code, never waited on or read whole.
TEST_F(MixedFolder, SpecialAndHugeFilesAreRefusedAtOnce)
{
    TempDir scratch("thumbspecial");
    const std::string d = scratch.path().string() + "/";
    testsupport::HangGuard guard;
    testsupport::MakeFifo(d + "pipe.bmp");
    const std::string good = Dir() + "/wide.bmp";

    loader.dataSource = sourceListFile;
    loader.dataPath = d + "pipe.bmp";  // the list file itself
    EXPECT_FALSE(loader.Update());
    EXPECT_EQ(loader.lastError, trkErrSystemError);
    loader.dataPath = "/dev/zero";
    EXPECT_FALSE(loader.Update());
    EXPECT_EQ(loader.lastError, trkErrSystemError);
    testsupport::MakeSparseFile(d + "huge.txt", std::vector<uint8_t>(good.begin(), good.end()),
                                kMaxListFileBytes + 1);
    loader.dataPath = d + "huge.txt";
    EXPECT_FALSE(loader.Update());
    EXPECT_EQ(loader.lastError, trkErrOutofMemory);

    // Entries of a list file: the pipe and the device are skipped, the picture stays.
    std::ofstream(d + "list.txt") << d << "pipe.bmp\n/dev/zero\n" << good << "\n";
    loader.dataPath = d + "list.txt";
    EXPECT_TRUE(loader.Update());
    EXPECT_EQ(Names(), (std::vector<std::string>{"wide.bmp"}));

    loader.dataSource = sourceMultiPage;
    loader.dataPath = d + "pipe.bmp";
    EXPECT_FALSE(loader.Update());
    EXPECT_EQ(loader.lastError, trkErrFileIOError);

    loader.dataSource = sourceDirect;
    EXPECT_FALSE(loader.Add(-1, d + "pipe.bmp", "", ""));
    EXPECT_EQ(loader.lastError, trkErrFileIOError);

    // A folder of a pipe and an 8 GB file of zeros next to a picture.
    std::filesystem::copy_file(good, d + "wide.bmp");
    testsupport::MakeSparseFile(d + "zeros.bmp", std::vector<uint8_t>(16, 0), int64_t(8) << 30);
    loader.dataSource = sourceFolder;
    loader.dataPath = d;
    loader.pattern = "*.bmp";
    EXPECT_TRUE(loader.Update());
    EXPECT_EQ(Names(), (std::vector<std::string>{"wide.bmp"}));
}

TEST(ListFile, LineAndFieldRules)
{
    EXPECT_EQ(SplitListLines("a\nb"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitListLines("ab\r\ncd\r\n"), (std::vector<std::string>{"ab", "cd"}));
    EXPECT_EQ(SplitListLines("x\n\n\ny\n"), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(SplitListLines(" \t\x81\x40\nz"), (std::vector<std::string>{"z"}));
    const ListEntry e = SplitListFields("  a b.png,key,label,more");
    EXPECT_EQ(e.file, "a b.png");
    EXPECT_EQ(e.key, "key");
    EXPECT_EQ(e.label, "label");
    EXPECT_EQ(SplitListFields(",x").file, "");
    EXPECT_EQ(SplitListFields("f,,l").key, "");
    EXPECT_EQ(SplitListFields("f,,l").label, "l");
}

TEST_F(MixedFolder, AddAndAddDibFollowTheIndexRules)
{
    loader.dataSource = sourceDirect;
    const std::string d = Dir() + "/";
    EXPECT_TRUE(loader.Add(-1, d + "wide.bmp", "a", ""));
    EXPECT_TRUE(loader.Add(1, d + "small.png", "b", ""));
    list.SetSelectionFlag(0, true);
    EXPECT_TRUE(loader.Add(0, d + "photo.jpg", "c", ""));
    EXPECT_EQ(Names(), (std::vector<std::string>{"photo.jpg", "wide.bmp", "small.png"}));
    EXPECT_EQ(list.selected, (std::vector<uint32_t>{1}));
    EXPECT_EQ(host.events, (std::vector<std::string>{"S0", "E0", "S1", "E1", "S0", "E0"}));

    EXPECT_FALSE(loader.Add(-1, d + "anim.gif", "", ""));
    EXPECT_EQ(loader.lastError, 2000);
    EXPECT_FALSE(loader.Add(-1, d + "notes.txt", "", ""));
    EXPECT_EQ(loader.lastError, 2001);
    EXPECT_FALSE(loader.Add(-1, "", "", ""));
    EXPECT_EQ(loader.lastError, 1001);
    EXPECT_EQ(list.count(), 3);

    // A copy is kept when the caller keeps its bitmap.
    std::vector<testkit::PixelBgr> grey;
    for (int k = 0; k < 256; ++k) grey.push_back({uint8_t(k), uint8_t(k), uint8_t(k)});
    const IPIHANDLE dib = testkit::MakeDib(300, 30, 8, grey, [](int64_t x, int64_t) {
        return testkit::PixelBgr{uint8_t(x), 0, 0};
    });
    EXPECT_TRUE(loader.AddDib(-1, dib, false, "dib", ""));
    EXPECT_TRUE(ipiGlobalIsValid(dib));
    EXPECT_NE(list.items.back()->sourceDib.get(), dib);
    EXPECT_EQ(ThumbSizeOf(*list.items.back()), QSize(80, 8));
    EXPECT_TRUE(loader.AddDib(0, dib, true, "owned", ""));
    EXPECT_EQ(list.items[0]->sourceDib.get(), dib);
    EXPECT_FALSE(loader.AddDib(0, 0, true, "", ""));
    EXPECT_EQ(loader.lastError, 1001);

    // Sorted adds report where the item landed.
    loader.sortType = 7;  // key ascending
    EXPECT_TRUE(loader.Add(-1, d + "wide.bmp", "aa", ""));
    long landed = -1;
    for (long k = 0; k < list.count(); ++k)
        if (list.items[size_t(k)]->key == "aa") landed = k;
    EXPECT_EQ(landed, 1);

    loader.dataSource = sourceFolder;
    EXPECT_FALSE(loader.Add(-1, d + "wide.bmp", "", ""));
    EXPECT_EQ(loader.lastError, 1004);
}

TEST_F(MixedFolder, UrlsOnALoopbackServer)
{
    testkit::LoopbackServer server;
    const std::string d = Dir() + "/";
    server.Serve("/pics/wide.bmp", testsupport::ReadBytes(d + "wide.bmp"));
    server.Serve("/pics/photo.jpg", testsupport::ReadBytes(d + "photo.jpg"));
    const std::string base = server.Url();
    const std::string listText = base + "/pics/wide.bmp,remote\r\n" + base + "/pics/missing.png\r\nfile://" + d +
                                 "small.png,local\r\n" + base + "/pics/photo.jpg\r\n";
    server.Serve("/list.txt", std::vector<uint8_t>(listText.begin(), listText.end()));

    loader.dataSource = sourceListFile;
    loader.dataPath = base + "/list.txt";
    ASSERT_TRUE(loader.Update());
    EXPECT_EQ(Names(), (std::vector<std::string>{"wide.bmp", "small.png", "photo.jpg"}));
    EXPECT_EQ(list.items[0]->key, "remote");
    EXPECT_EQ(ThumbSizeOf(*list.items[0]), QSize(80, 40));
    EXPECT_EQ(ThumbSizeOf(*list.items[2]), QSize(80, 60));

    loader.dataPath = base + "/nothing.txt";
    EXPECT_FALSE(loader.Update());
    EXPECT_EQ(loader.lastError, 2110);

    loader.urlSupported = false;
    loader.dataPath = base + "/list.txt";
    EXPECT_FALSE(loader.Update());
    EXPECT_EQ(loader.lastError, 2110);

    loader.urlSupported = true;
    loader.dataSource = sourceFolder;
    loader.dataPath = base + "/pics";
    EXPECT_FALSE(loader.Update());
    EXPECT_EQ(loader.lastError, 2112);
}

TEST(Locations, FileUrlsAreLocal)
{
    std::string local;
    EXPECT_FALSE(ResolvePath("/tmp/a b.png", &local));
    EXPECT_EQ(local, "/tmp/a b.png");
    EXPECT_FALSE(ResolvePath("file:///tmp/a%20b.png", &local));
    EXPECT_EQ(local, "/tmp/a b.png");
    EXPECT_TRUE(ResolvePath("http://127.0.0.1:9/x.png", &local));
    EXPECT_EQ(local, "http://127.0.0.1:9/x.png");
    EXPECT_FALSE(ResolvePath("C:\\pics\\a.bmp", &local));
    IPIHANDLE h = 0;
    int64_t size = 0;
    EXPECT_EQ(FetchUrl("http://127.0.0.1:1/none", &h, &size, 2000), 2120);
    EXPECT_EQ(h, 0u);
}

TEST(Locations, ASilentServerRunsIntoTheTimeOut)
{
    // Listens but never answers.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::listen(fd, 4);
    IPIHANDLE h = 0;
    int64_t size = 0;
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/slow.png";
    EXPECT_EQ(FetchUrl(url, &h, &size, 300), 2120);
    EXPECT_EQ(h, 0u);
    ::close(fd);
}

TEST(Locations, EveryFetchEndsByItsDeadlineOrItsCap)
{
    testkit::LoopbackServer server;
    using Mode = testkit::LoopbackServer::Mode;
    server.Misbehave("/trickle", Mode::Trickle);
    server.Misbehave("/stream", Mode::Stream);
    server.Serve("/big", std::vector<uint8_t>(200000, 7));
    server.Serve("/fits", std::vector<uint8_t>(50000, 7));
    // The deadlines are guards except where the deadline is what ends the
    // fetch: a trickle resets no clock.
    struct Case {
        const char* path;
        int deadlineMs;
        int64_t cap;
        int error;
        int64_t size;
    } cases[] = {
        {"/trickle", 600, kUrlMaxBytes, trkErrFileIOError, 0},
        {"/stream", kUrlDeadlineMs, 1 << 20, trkErrFileIOError, 0},
        {"/big", 60000, 100000, trkErrFileIOError, 0},
        {"/fits", 60000, 100000, 0, 50000},
    };
    for (const Case& c : cases) {
        FetchLimits limits;
        limits.deadlineMs = c.deadlineMs;
        limits.maxBytes = c.cap;
        IPIHANDLE h = 0;
        int64_t size = 0;
        EXPECT_EQ(FetchUrl(server.Url() + c.path, &h, &size, limits), c.error) << c.path;
        EXPECT_EQ(size, c.size) << c.path;
        EXPECT_EQ(h != 0, c.size != 0) << c.path;
        if (h) ipiGlobalFree(h);
    }
    EXPECT_EQ(kUrlDeadlineMs, 20000);
    EXPECT_EQ(kUrlMaxBytes, 256 << 20);
}

namespace {

// `size` zero bytes compressed as a gzip member (`gzip`) or a zlib stream.
std::vector<uint8_t> CompressedZeros(int64_t size, bool gzip)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, gzip ? 15 + 16 : 15, 9, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<uint8_t> zeros(1 << 20, 0), out;
    uint8_t buffer[1 << 16];
    for (int64_t left = size; left >= 0;) {
        const int64_t take = std::min<int64_t>(left, int64_t(zeros.size()));
        left -= take;
        z.next_in = zeros.data();
        z.avail_in = uInt(take);
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = buffer;
            z.avail_out = sizeof buffer;
            deflate(&z, flush);
            out.insert(out.end(), buffer, buffer + (sizeof buffer - z.avail_out));
        } while (z.avail_out == 0);
        if (flush == Z_FINISH) break;
    }
    deflateEnd(&z);
    return out;
}

} // namespace

// A body sent compressed is taken as it comes: the bytes the server sent
// count against the cap, never what they would expand to. The fetch asks for
// the body as it is stored; a server that compresses it anyway hands over
// bytes that are no picture (refused by the probe), at once.
TEST(Locations, ACompressedBodyIsNeverExpanded)
{
    testkit::LoopbackServer server;
    struct Case {
        const char* encoding;
        bool gzip;
    } cases[] = {{"gzip", true}, {"deflate", false}};
    for (const Case& c : cases) {
        const std::string path = std::string("/bomb.") + c.encoding;
        const std::vector<uint8_t> body = CompressedZeros(int64_t(64) << 20, c.gzip);
        ASSERT_LT(body.size(), 1u << 20);
        server.Serve(path, body);
        server.Encode(path, c.encoding);
        FetchLimits limits;
        limits.maxBytes = 1 << 20;    // the 64 MB it expands to pass the cap
        limits.deadlineMs = 60000;  // a guard only
        IPIHANDLE h = 0;
        int64_t size = 0;
        EXPECT_EQ(FetchUrl(server.Url() + path, &h, &size, limits), 0) << c.encoding;
        EXPECT_EQ(size, int64_t(body.size())) << c.encoding;
        EXPECT_NE(server.lastRequest().find("Accept-Encoding: identity\r\n"), std::string::npos)
            << server.lastRequest();
        if (h) ipiGlobalFree(h);
    }
}

TEST_F(MixedFolder, CancelWhileAUrlWaitsEndsTheListFile)
{
    // Three lines whose server never answers: the first fetch waits, the
    // program's events run meanwhile, and a cancel ends the whole list.
    testkit::LoopbackServer server;
    server.Misbehave("/a.bmp", testkit::LoopbackServer::Mode::Stall);
    TempDir here("thumbstall");
    const std::string listFile = here.file("stalled.txt");
    std::ofstream(listFile) << server.Url() << "/a.bmp\n" << server.Url() << "/a.bmp\n" << server.Url() << "/a.bmp\n";
    // The cancel comes once the server holds the first request.
    bool cancelled = false;
    server.PostOnRequest([&](const std::string&) {
        loader.Cancel();
        cancelled = true;
    });
    loader.urlTimeoutMs = 60000;  // a guard only: the cancel ends the wait
    loader.dataSource = sourceListFile;
    loader.dataPath = listFile;
    EXPECT_FALSE(loader.Update());
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(loader.lastError, trkErrUserAbort);
    EXPECT_EQ(server.requests(), 1);
    EXPECT_EQ(list.count(), 0);
    EXPECT_FALSE(loader.cancelRequested);
    EXPECT_FALSE(loader.fetching);

    // Outside a fetch or a load a cancel does nothing.
    loader.Cancel();
    EXPECT_FALSE(loader.cancelRequested);
}

TEST_F(MixedFolder, AMultiPageUrlIsReadAsAListLineIs)
{
    // The URL is read once, for the format, the page count and the pages:
    // that read waits as a list line's does, with the program's events
    // running, the cancel honoured and the list's deadline.
    testkit::LoopbackServer server;
    server.Serve("/pages.tif", testsupport::ReadBytes(Dir() + "/pages.tif"));
    loader.dataSource = sourceMultiPage;
    loader.dataPath = server.Url() + "/pages.tif";
    ASSERT_TRUE(loader.Update());
    ASSERT_EQ(list.count(), 4);
    EXPECT_EQ(ThumbSizeOf(*list.items[3]), QSize(64, 48));
    EXPECT_EQ(host.events, (std::vector<std::string>{"S0", "E0", "S1", "E1", "S2", "E2", "S3", "E3"}));
    EXPECT_EQ(server.requests(), 1);

    struct Case {
        const char* what;
        bool cancel;
        int timeoutMs;
        int error;
    } cases[] = {
        // A guard deadline: the cancel, sent once the server holds the
        // request, ends the wait.
        {"cancelled", true, 60000, trkErrUserAbort},
        // The deadline ends it: the server never answers.
        {"deadline", false, 2000, trkErrFileIOError},
    };
    for (const Case& c : cases) {
        const int before = server.requests();
        server.StallAfter("/pages.tif", 0);
        host.events.clear();
        // An event posted now runs only while the fetch waits.
        bool eventsRan = false;
        QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { eventsRan = true; }, Qt::QueuedConnection);
        if (c.cancel)
            server.PostOnRequest([&](const std::string&) { loader.Cancel(); });
        else
            server.OnRequest(nullptr);
        loader.urlTimeoutMs = c.timeoutMs;
        EXPECT_FALSE(loader.Update()) << c.what;
        EXPECT_EQ(loader.lastError, c.error) << c.what;
        EXPECT_TRUE(eventsRan) << c.what;
        EXPECT_EQ(server.requests() - before, 1) << c.what;
        EXPECT_EQ(list.count(), 0) << c.what;
        EXPECT_TRUE(host.events.empty()) << c.what;
        EXPECT_FALSE(loader.cancelRequested) << c.what;
        EXPECT_FALSE(loader.fetching) << c.what;
    }
}

// Each URL is read once for everything the list needs of it: its format, its
// page count and its picture come from the same bytes, within one deadline,
// whether it is a list line, an Add or the multi-page source, in every
// format; the thumbnails are those of the same files read locally. A picture
// that cannot be decoded from its bytes is removed in its turn, with the
// decode's error, without being read again.
TEST_F(MixedFolder, EachUrlIsFetchedOnce)
{
    testkit::LoopbackServer server;
    const std::string d = Dir() + "/";
    const std::vector<std::string> names = {"wide.bmp", "photo.jpg", "small.png", "pic.pcx", "pages.tif"};
    std::string lines;
    for (const std::string& name : names) {
        server.Serve("/" + name, testsupport::ReadBytes(d + name));
        lines += server.Url() + "/" + name + "\r\n";
    }
    // A JPEG cut in half: recognised, but its picture cannot be decoded.
    std::vector<uint8_t> cut = testsupport::ReadBytes(d + "photo.jpg");
    cut.resize(cut.size() / 2);
    server.Serve("/cut.jpg", cut);
    TempDir scratch("thumbcut");
    testsupport::WriteBytes(scratch.file("cut.jpg"), cut);
    lines += server.Url() + "/cut.jpg\r\n";
    server.Serve("/list.txt", std::vector<uint8_t>(lines.begin(), lines.end()));

    // The same pictures read locally, for their thumbnails.
    std::vector<std::vector<uint8_t>> local;
    for (const std::string& name : names) {
        ThumbnailList localList;
        testkit::TestHost localHost{localList};
        ThumbnailLoader localLoader{localList, localHost};
        localLoader.dataSource = sourceDirect;
        ASSERT_TRUE(localLoader.Add(-1, d + name, "", "")) << name;
        IpiGlobalLock thumb(localList.items[0]->thumbnail.get());
        local.emplace_back(thumb.ptr(), thumb.ptr() + thumb.size());
    }
    // The error the same cut file gets when read locally.
    int16_t cutError = 0;
    {
        ThumbnailList localList;
        testkit::TestHost localHost{localList};
        ThumbnailLoader localLoader{localList, localHost};
        localLoader.dataSource = sourceDirect;
        EXPECT_FALSE(localLoader.Add(-1, scratch.file("cut.jpg"), "", ""));
        cutError = localLoader.lastError;
        EXPECT_NE(cutError, 0);
    }
    auto expectLocalThumbnails = [&](const char* how) {
        ASSERT_EQ(list.count(), long(names.size())) << how;
        for (size_t k = 0; k < names.size(); ++k) {
            IpiGlobalLock thumb(list.items[k]->thumbnail.get());
            ASSERT_TRUE(thumb.ptr()) << how << " " << names[k];
            EXPECT_EQ(std::vector<uint8_t>(thumb.ptr(), thumb.ptr() + thumb.size()), local[k]) << how << " " << names[k];
        }
        EXPECT_TRUE(list.items.back()->multiPage) << how;
    };

    loader.dataSource = sourceListFile;
    loader.dataPath = server.Url() + "/list.txt";
    ASSERT_TRUE(loader.Update());
    EXPECT_EQ(server.requests(), 1 + int(names.size()) + 1);
    EXPECT_EQ(loader.lastError, cutError);
    EXPECT_EQ(host.events.size(), 2 * (names.size() + 1));
    expectLocalThumbnails("list file");

    loader.dataSource = sourceDirect;
    loader.RemoveAll();
    const int before = server.requests();
    for (const std::string& name : names) EXPECT_TRUE(loader.Add(-1, server.Url() + "/" + name, "", "")) << name;
    EXPECT_FALSE(loader.Add(-1, server.Url() + "/cut.jpg", "", ""));
    EXPECT_EQ(loader.lastError, cutError);
    EXPECT_EQ(server.requests() - before, int(names.size()) + 1);
    expectLocalThumbnails("Add");

    loader.dataSource = sourceMultiPage;
    loader.dataPath = server.Url() + "/pages.tif";
    const int beforePages = server.requests();
    ASSERT_TRUE(loader.Update());
    EXPECT_EQ(server.requests() - beforePages, 1);
    EXPECT_EQ(list.count(), 4);
}

namespace {

// A list item's thumbnail beside the one made from the picture's full-size
// decode: that decode's size and the size it fits into the box.
struct FullSizeThumbnail {
    int64_t width = 0, height = 0;
    ThumbSize size;
    IPIHANDLE thumbnail = 0;
};

// Loads the folder's JPEG pictures as a list in each of three boxes and
// hands every item to `check` with its full-size thumbnail; a fatal failure
// (here or in `check`) ends the whole run.
template <typename Check>
void CompareWithFullSize(const TempDir& dir, size_t count, Check check)
{
    for (const QSize box : {QSize(80, 60), QSize(160, 120), QSize(300, 300)}) {
        ThumbnailList list;
        testkit::TestHost host{list};
        ThumbnailLoader loader{list, host};
        loader.dataPath = dir.path().string();
        loader.pattern = "*.jpg";
        loader.thumbnailWidth = box.width();
        loader.thumbnailHeight = box.height();
        ASSERT_TRUE(loader.Update());
        ASSERT_EQ(list.items.size(), count);
        for (const auto& item : list.items) {
            const std::string where = item->namePart + " in " + std::to_string(box.width()) + "x" +
                                      std::to_string(box.height());
            IPIHANDLE full = 0;
            int error = 0;
            ASSERT_EQ(DecodeImageFromFile(item->fullPath.c_str(), &full, 1, DecodeFormatJpeg, 0, nullptr, 0, &error), 1);
            DibHandle fullDib(full);
            FullSizeThumbnail reference;
            int bits = 0;
            ASSERT_TRUE(GetDibInfo(full, &reference.width, &reference.height, &bits));
            reference.size = FitIntoBox(reference.width, reference.height, box.width(), box.height());
            DibHandle made(ReduceDib(full, reference.size.width, reference.size.height));
            reference.thumbnail = made.get();
            check(*item, box, where, reference);
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
}

} // namespace

// JPEG thumbnails come from a decode at 1/2, 1/4 or 1/8 of the picture's
// size: each is exactly that decode shrunk to the size the whole picture
// fits into the box, and over the whole set they lie within two levels on
// average of the thumbnails made from the full-size decodes.
namespace {

// Peak memory `work` adds in this process (the loopback server's thread
// rules out a child process): the peak reset first, then read back.
int64_t PeakInProcess(const std::function<void()>& work)
{
    std::ofstream("/proc/self/clear_refs") << "5";
    const int64_t before = testsupport::StatusKb("VmRSS:");
    work();
    const int64_t peak = testsupport::StatusKb("VmHWM:");
    return before >= 0 && peak >= 0 ? (peak - before) * 1024 : -1;
}

} // namespace

// A damaged picture is an invalid file (2001), never a failure of the
// system (9900); a picture cut short with zeros after it is read no further
// than its picture can take, from a file or a URL.
TEST_F(MixedFolder, DamagedAndCutPicturesAreInvalidFilesReadWithinTheirPicture)
{
    TempDir scratch("thumbdamage");
    const std::string d = Dir() + "/";
    int tries = 0, refused = 0;
    for (const std::string name : {"photo.jpg", "wide.bmp", "small.png", "pic.pcx"}) {
        const std::vector<uint8_t> good = testsupport::ReadBytes(d + name);
        const std::string path = scratch.file("damaged-" + name);
        for (size_t at = 2; at < good.size(); at += std::max<size_t>(1, good.size() / 97)) {
            for (uint8_t flip : {uint8_t(0xFF), uint8_t(0x10)}) {
                std::vector<uint8_t> bad = good;
                bad[at] ^= flip;
                testsupport::WriteBytes(path, bad);
                loader.RemoveAll();
                loader.dataSource = sourceDirect;
                loader.lastError = 0;
                ++tries;
                if (loader.Add(-1, path, "", "")) continue;
                ++refused;
                EXPECT_TRUE(loader.lastError == trkErrInvalidFileFormat || loader.lastError == trkErrNotSupportFileFormat)
                    << name << " byte " << at << " ^ " << int(flip) << ": " << loader.lastError;
            }
        }
        // Cut in half, then zeros up to 48 MB: from the file and from a URL.
        std::vector<uint8_t> cut(good.begin(), good.begin() + long(good.size() / 2));
        testsupport::MakeSparseFile(path, cut, int64_t(48) << 20);
        loader.RemoveAll();
        const int64_t peak = testsupport::PeakBytes([&] {
            loader.Add(-1, path, "", "");
            return true;
        });
        EXPECT_GE(peak, 0) << name;
        EXPECT_LT(peak, int64_t(16) << 20) << name << " cut and padded";
    }
    EXPECT_GT(refused, tries / 10);
}

// A URL's body is held once: a small JPEG with 48 MB of zeros after it,
// fetched whole, costs the body and not twice that.
TEST_F(MixedFolder, AFetchedBodyIsHeldOnce)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer keeps freed blocks in quarantine, so a peak says nothing of the copies held";
#endif
    testkit::LoopbackServer server;
    std::vector<uint8_t> body = testsupport::ReadBytes(Dir() + "/photo.jpg");
    const int64_t padded = int64_t(48) << 20;
    body.resize(size_t(padded), 0);
    server.Serve("/padded.jpg", body);
    body = std::vector<uint8_t>();
    loader.dataSource = sourceDirect;
    const int64_t peak = PeakInProcess([&] { EXPECT_TRUE(loader.Add(-1, server.Url() + "/padded.jpg", "", "")); });
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, padded + padded / 2);
}

TEST(JpegThumbnails, ReducedDecodesStayWithinTwoLevelsOfTheFullSize)
{
    TempDir dir("thumbjpeg");
    const std::string d = dir.path().string() + "/";
    struct Picture {
        const char* name;
        const char* size;
        const char* cjpeg;
        bool edges;  // a checkerboard laid over the plasma
    } pictures[] = {
        {"a.jpg", "1600x1200", "-sample 2x2", false},
        {"b.jpg", "1203x797", "-sample 2x1 -quality 95", true},
        {"c.jpg", "999x1001", "-sample 1x1 -restart 3", true},
        {"d.jpg", "640x480", "-grayscale", false},
        {"e.jpg", "1000x700", "-sample 2x2 -quality 50", true},
    };
    int seed = 1;
    for (const Picture& p : pictures) {
        const std::string ppm = d + "src.ppm";
        std::string make = std::string("convert -size ") + p.size + " -seed " + std::to_string(seed++) +
                           " plasma:red-blue ";
        if (p.edges) make += std::string("\\( -size ") + p.size + " pattern:checkerboard \\) -compose overlay -composite ";
        testsupport::Shell(make + "-depth 8 ppm:" + ppm + " && cjpeg " + p.cjpeg + " -outfile " + d + p.name + " " + ppm +
                           " && rm " + ppm);
    }

    long total = 0, values = 0;
    int worst = 0;
    CompareWithFullSize(dir, std::size(pictures), [&](const CThumbnailItem& item, QSize box, const std::string& where,
                                                      const FullSizeThumbnail& reference) {
        const int64_t w = reference.width, h = reference.height;
        // The reduced decode, shrunk to the same size.
        IPIVALUE own[2] = {0, 0};
        const IPIATTRIBUTE a[] = {{"boxWidth", box.width()}, {"boxHeight", box.height()},
                                  {"pictureSize", reinterpret_cast<IPIVALUE>(own)}};
        IPIHANDLE small = 0;
        int error = 0;
        ASSERT_EQ(DecodeImageFromFile(item.fullPath.c_str(), &small, 1, DecodeFormatJpeg, 0, a, 3, &error), 1);
        DibHandle smallDib(small);
        int64_t sw = 0, sh = 0;
        int bits = 0;
        ASSERT_TRUE(GetDibInfo(small, &sw, &sh, &bits));
        EXPECT_LT(sw, w) << where;
        EXPECT_EQ(own[0], w);
        EXPECT_EQ(own[1], h);
        DibHandle expected(
            ReduceDib(small, reference.size.width, reference.size.height, ExtentOfScaledPicture(sw, sh, w, h)));

        IpiGlobalLock got(item.thumbnail.get()), ref(reference.thumbnail), exp(expected.get());
        ASSERT_EQ(got.size(), ref.size()) << where;
        ASSERT_EQ(got.size(), exp.size()) << where;
        EXPECT_EQ(0, std::memcmp(got.ptr(), exp.ptr(), size_t(got.size()))) << where;
        long sum = 0;
        int most = 0;
        for (int64_t k = 40; k < got.size(); ++k) {
            const int diff = std::abs(int(got.ptr()[k]) - int(ref.ptr()[k]));
            sum += diff;
            most = std::max(most, diff);
        }
        const int64_t n = got.size() - 40;
        // Hard edges that a span of the full picture cuts inside an 8 x 8
        // block differ most; a fault in the scale or the covered extent
        // gives far more.
        EXPECT_LE(double(sum) / double(n), 4.0) << where;
        total += sum;
        values += n;
        worst = std::max(worst, most);
    });
    if (HasFatalFailure()) return;
    std::printf("JPEG thumbnails against full-size decodes: mean %.3f, max %d levels\n",
                double(total) / double(values), worst);
    EXPECT_LE(double(total) / double(values), 2.0);
}

// Stripes a few pixels wide are finer than the pixels of a reduced decode:
// their thumbnails from the list still lie within four levels on average of
// those made from the full-size decodes, in every box.
TEST(JpegThumbnails, FineStripesStayWithinFourLevelsOfTheFullSize)
{
    TempDir dir("thumbstripes");
    const std::string d = dir.path().string() + "/";
    // One period of the pattern, tiled over the picture.
    struct Picture {
        const char* name;
        const char* tile;
        const char* size;
        const char* cjpeg;
    } pictures[] = {
        {"v3.jpg", "-size 6x8 xc:black -fill white -draw 'rectangle 3,0 5,7'", "3000x2000", "-sample 2x2"},
        {"h3.jpg", "-size 8x6 xc:black -fill white -draw 'rectangle 0,3 7,5'", "3000x2000", "-sample 1x1"},
        {"c3.jpg", "-size 6x8 xc:red -fill blue -draw 'rectangle 3,0 5,7'", "1603x1001", "-sample 2x2 -quality 95"},
        {"v5.jpg", "-size 10x8 xc:black -fill white -draw 'rectangle 5,0 9,7'", "2400x1800", "-grayscale"},
        {"v7.jpg", "-size 14x8 xc:black -fill white -draw 'rectangle 7,0 13,7'", "3000x2000", "-sample 2x1"},
    };
    for (const Picture& p : pictures)
        testsupport::Shell(std::string("convert ") + p.tile + " -write mpr:t +delete -size " + p.size +
                           " tile:mpr:t -depth 8 ppm:" + d + "s.ppm && cjpeg " + p.cjpeg + " -outfile " + d + p.name +
                           " " + d + "s.ppm && rm " + d + "s.ppm");
    CompareWithFullSize(dir, std::size(pictures), [](const CThumbnailItem& item, QSize, const std::string& where,
                                                     const FullSizeThumbnail& reference) {
        IpiGlobalLock got(item.thumbnail.get()), ref(reference.thumbnail);
        ASSERT_EQ(got.size(), ref.size()) << where;
        long sum = 0;
        for (int64_t k = 40; k < got.size(); ++k) sum += std::abs(int(got.ptr()[k]) - int(ref.ptr()[k]));
        EXPECT_LE(double(sum) / double(got.size() - 40), 4.0) << where;
    });
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
