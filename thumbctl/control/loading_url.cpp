// Locations of the thumbnail list: path resolution and the blocking URL fetch.
#include "thumbctl/control/loading_url.h"

#include "thumbctl/control/constants.h"
#include "thumbctl/control/source/multipage.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace thumbctl {

namespace {

// How often a waiting fetch looks whether it is to stop.
constexpr int kWatchMs = 50;
// What the connection may hold ahead of the reader.
constexpr qint64 kReadBufferBytes = 1 << 20;

// The body, held once: straight in the caller's block when its length is
// announced (the block made at that length), else in the pieces it arrived
// in, moved into a block at the end.
struct FetchOutcome {
    int error = trkErrFileIOError;
    IPIHANDLE block = 0;
    uint8_t* blockBytes = nullptr;
    int64_t capacity = 0;
    std::vector<QByteArray> parts;
    qint64 size = 0;
    ~FetchOutcome() { Clear(); }
    // A block for a body of `length` bytes, before any of it arrives.
    void Expect(int64_t length)
    {
        if (size != 0 || block || length <= 0) return;
        block = ipiGlobalAlloc(length);
        blockBytes = block ? static_cast<uint8_t*>(ipiGlobalLock(block)) : nullptr;
        capacity = blockBytes ? length : 0;
        if (block && !blockBytes) Clear();
    }
    // False when the body passes the length it announced.
    bool Add(const QByteArray& part)
    {
        if (part.isEmpty()) return true;
        if (block) {
            if (size + part.size() > capacity) return false;
            std::memcpy(blockBytes + size, part.constData(), size_t(part.size()));
        } else {
            parts.push_back(part);
        }
        size += part.size();
        return true;
    }
    void Clear()
    {
        if (block) {
            ipiGlobalUnlock(block);
            ipiGlobalFree(block);
        }
        block = 0;
        blockBytes = nullptr;
        capacity = 0;
        parts.clear();
        size = 0;
    }
    // The body's block, handed to the caller (0 when memory runs out).
    IPIHANDLE Take()
    {
        IPIHANDLE h = block;
        if (h) {
            ipiGlobalUnlock(h);
            block = 0;
            blockBytes = nullptr;
        } else if ((h = ipiGlobalAlloc(size)) != 0) {
            IpiGlobalLock lock(h);
            auto* at = static_cast<uint8_t*>(lock.ptr());
            for (QByteArray& part : parts) {
                std::memcpy(at, part.constData(), size_t(part.size()));
                at += part.size();
                part = QByteArray();
            }
        }
        parts.clear();
        size = 0;
        return h;
    }
};

int ErrorOfReply(QNetworkReply::NetworkError e)
{
    switch (e) {
    case QNetworkReply::ContentNotFoundError:
    case QNetworkReply::ContentGoneError:
        return trkErrFileNotFound;
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError:
        return trkErrPathNotFound;
    default:
        return trkErrFileIOError;
    }
}

} // namespace

bool ResolvePath(const std::string& location, std::string* localPath)
{
    if (CMultiPageSource::IsRemoteUrl(location)) {
        *localPath = location;
        return true;
    }
    *localPath = CMultiPageSource::LocalPathOf(location);
    return false;
}

namespace {

// The request, run on the helper thread with its own event loop: one
// deadline from the start, the body taken as it arrives and refused once it
// passes the cap, stopped early when `stop` is set.
void RunRequest(const QUrl& url, const FetchLimits& limits, const std::atomic<bool>& stop, FetchOutcome* outcome)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setTransferTimeout(0);  // the deadline below covers the whole fetch
    // The body as it is stored: the cap counts the bytes that arrive, and a
    // compressed body is never expanded here (a server that compresses it
    // anyway hands over bytes the probe refuses).
    request.setRawHeader("Accept-Encoding", "identity");
    QNetworkReply* reply = manager.get(request);
    // Data is taken from the connection only as fast as it is consumed here,
    // so a fast stream cannot pile up ahead of the cap.
    reply->setReadBufferSize(kReadBufferBytes);
    bool tooLong = false;
    auto refuse = [&] {
        tooLong = true;
        reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > limits.maxBytes) refuse();
        else if (length.isValid()) outcome->Expect(length.toLongLong());
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        const QByteArray part = reply->readAll();
        if (outcome->size + part.size() > limits.maxBytes || !outcome->Add(part)) {
            outcome->Clear();
            refuse();
            return;
        }
    });
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline.start(limits.deadlineMs);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, reply, [&] {
        if (stop) reply->abort();
    });
    watch.start(kWatchMs);
    if (!reply->isFinished()) loop.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (stop) {
        outcome->error = trkErrUserAbort;
    } else if (tooLong) {
        outcome->error = trkErrFileIOError;
    } else if (reply->error() != QNetworkReply::NoError) {
        outcome->error = ErrorOfReply(reply->error());
    } else if (status >= 400) {
        outcome->error = status == 404 || status == 410 ? trkErrFileNotFound : trkErrFileIOError;
    } else {
        const bool within = outcome->Add(reply->readAll());
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (!within || outcome->size > limits.maxBytes || (length.isValid() && length.toLongLong() > outcome->size))
            outcome->error = trkErrFileIOError;
        else
            outcome->error = 0;
    }
    if (outcome->error != 0) outcome->Clear();
    delete reply;
}

// Lets the caller's events run until the helper thread ends, asking now and
// then whether the fetch is to be cancelled.
void WaitProcessingEvents(QThread& worker, const std::function<bool()>& cancelled, std::atomic<bool>& stop)
{
    QEventLoop loop;
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (!stop && cancelled()) stop = true;
    });
    watch.start(kWatchMs);
    if (!worker.isFinished()) loop.exec();
}

} // namespace

int FetchUrl(const std::string& url, IPIHANDLE* handle, int64_t* size, const FetchLimits& limits)
{
    *handle = 0;
    *size = 0;
    // The request needs the program's application object (its event system).
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return trkErrFileIOError;
    const QUrl qurl(QString::fromStdString(url), QUrl::StrictMode);
    if (!qurl.isValid() || qurl.host().isEmpty()) return trkErrPathNotFound;

    auto outcome = std::make_shared<FetchOutcome>();
    auto stop = std::make_shared<std::atomic<bool>>(false);
    // The request runs on its own thread with its own event loop; the caller
    // waits for it as for a blocking read.
    std::unique_ptr<QThread> worker(
        QThread::create([qurl, limits, outcome, stop] { RunRequest(qurl, limits, *stop, outcome.get()); }));
    worker->start();
    if (limits.cancelled && QThread::currentThread() == app->thread())
        WaitProcessingEvents(*worker, limits.cancelled, *stop);
    worker->wait();
    if (outcome->error != 0) return outcome->error;
    if (outcome->size == 0) return trkErrFileIOError;
    const int64_t bytes = outcome->size;
    const IPIHANDLE h = outcome->Take();
    if (!h) return trkErrOutofMemory;
    *handle = h;
    *size = bytes;
    return 0;
}

} // namespace thumbctl
