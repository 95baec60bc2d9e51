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

namespace thumbctl {

namespace {

// How often a waiting fetch looks whether it is to stop.
constexpr int kWatchMs = 50;
// What the connection may hold ahead of the reader.
constexpr qint64 kReadBufferBytes = 1 << 20;

struct FetchOutcome {
    int error = trkErrFileIOError;
    QByteArray data;
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
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        const QByteArray part = reply->readAll();
        if (outcome->data.size() + part.size() > limits.maxBytes) {
            outcome->data.clear();
            refuse();
            return;
        }
        outcome->data.append(part);
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
        outcome->data.append(reply->readAll());
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (outcome->data.size() > limits.maxBytes ||
            (length.isValid() && length.toLongLong() > outcome->data.size()))
            outcome->error = trkErrFileIOError;
        else
            outcome->error = 0;
    }
    if (outcome->error != 0) outcome->data = QByteArray();
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
    if (outcome->data.isEmpty()) return trkErrFileIOError;
    const IPIHANDLE h = ipiGlobalAlloc(outcome->data.size());
    if (!h) return trkErrOutofMemory;
    {
        IpiGlobalLock lock(h);
        if (!lock.ptr()) {
            ipiGlobalFree(h);
            return trkErrOutofMemory;
        }
        std::memcpy(lock.ptr(), outcome->data.constData(), size_t(outcome->data.size()));
    }
    *handle = h;
    *size = outcome->data.size();
    outcome->data = QByteArray();
    return 0;
}

} // namespace thumbctl
