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

#include <cstring>
#include <memory>

namespace thumbctl {

namespace {

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

int FetchUrl(const std::string& url, IPIHANDLE* handle, int64_t* size, int timeoutMs)
{
    *handle = 0;
    *size = 0;
    // The request needs the program's application object (its event system).
    if (!QCoreApplication::instance()) return trkErrFileIOError;
    const QUrl qurl(QString::fromStdString(url), QUrl::StrictMode);
    if (!qurl.isValid() || qurl.host().isEmpty()) return trkErrPathNotFound;

    auto outcome = std::make_shared<FetchOutcome>();
    // The request runs on its own thread with its own event loop, so the
    // caller's thread simply waits for it, as a blocking read does.
    std::unique_ptr<QThread> worker(QThread::create([qurl, timeoutMs, outcome] {
        QNetworkAccessManager manager;
        QNetworkRequest request(qurl);
        request.setTransferTimeout(timeoutMs);
        QNetworkReply* reply = manager.get(request);
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, reply, &QNetworkReply::abort);
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        timer.start(timeoutMs);
        if (!reply->isFinished()) loop.exec();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError) {
            outcome->error = ErrorOfReply(reply->error());
        } else if (status >= 400) {
            outcome->error = status == 404 || status == 410 ? trkErrFileNotFound : trkErrFileIOError;
        } else {
            outcome->data = reply->readAll();
            const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            if (length.isValid() && length.toLongLong() > outcome->data.size())
                outcome->error = trkErrFileIOError;
            else
                outcome->error = 0;
        }
        delete reply;
    }));
    worker->start();
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
    return 0;
}

} // namespace thumbctl
