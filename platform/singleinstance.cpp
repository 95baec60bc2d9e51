#include "platform/singleinstance.h"

#include "platform/folderjobs.h"
#include "platform/handover.h"
#include "platform/messages.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QWidget>
#include <QtEndian>

#include <unistd.h>

namespace platform {

namespace {

constexpr quint32 kMaxPayload = 1u << 20;

QString DefaultFolder()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir;
}

} // namespace

SingleInstance::SingleInstance(const QString& key, const QString& folder, QObject* parent)
    : QObject(parent), key_(key), folder_(folder.isEmpty() ? DefaultFolder() : folder)
{
}

SingleInstance::~SingleInstance()
{
    if (server_) server_->close();
    if (lock_ && owned_) lock_->unlock();
}

QString SingleInstance::lockFilePath() const
{
    return QDir(folder_).filePath(QString("%1-%2.lock").arg(key_).arg(::getuid()));
}

QString SingleInstance::serverPath() const
{
    return QDir(folder_).filePath(QString("%1-%2.sock").arg(key_).arg(::getuid()));
}

bool SingleInstance::isFirstInstance()
{
    if (owned_) return true;
    QDir().mkpath(folder_);
    lock_ = std::make_unique<QLockFile>(lockFilePath());
    // An instance may run for days: only a lock whose process is gone is stale.
    lock_->setStaleLockTime(0);
    owned_ = lock_->tryLock(0);
    if (!owned_ && lock_->error() == QLockFile::LockFailedError) {
        // The holder may have crashed moments ago: ask once more after
        // removing a lock whose process no longer runs.
        if (lock_->removeStaleLockFile()) owned_ = lock_->tryLock(0);
    }
    return owned_;
}

bool SingleInstance::listen()
{
    if (!owned_) return false;
    if (server_) return server_->isListening();
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket file left behind belongs to a dead instance.
    QLocalServer::removeServer(serverPath());
    if (!server_->listen(serverPath())) return false;
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    return true;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        if (socket->bytesAvailable() > 0) onReadyRead(socket);
    }
}

void SingleInstance::onReadyRead(QLocalSocket* socket)
{
    if (socket->property("handled").toBool()) return;
    if (socket->bytesAvailable() < 4) return;
    uchar head[4];
    socket->peek(reinterpret_cast<char*>(head), 4);
    const quint32 count = qFromLittleEndian<quint32>(head);
    if (count > kMaxPayload || count % 2 != 0) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < qint64(4 + count)) return;
    socket->read(4);
    const QByteArray data = socket->read(count);
    QString text(int(count / 2), Qt::Uninitialized);
    for (quint32 i = 0; i < count / 2; ++i)
        text[int(i)] = QChar(qFromLittleEndian<quint16>(reinterpret_cast<const uchar*>(data.constData()) + 2 * i));
    socket->setProperty("handled", true);

    if (handler_) handler_(text);
    emit commandLineReceived(text);
    RaiseWindow(mainWindow_);

    if (socket->state() == QLocalSocket::ConnectedState) {
        socket->write("\1", 1);
        socket->flush();
    }
}

bool SingleInstance::sendCommandLine(const QString& commandLine, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverPath());
    if (!socket.waitForConnected(timeoutMs < 0 ? 5000 : timeoutMs)) return false;

    QByteArray message(4, '\0');
    const quint32 count = quint32(commandLine.size()) * 2;
    qToLittleEndian<quint32>(count, message.data());
    for (QChar c : commandLine) {
        char two[2];
        qToLittleEndian<quint16>(c.unicode(), two);
        message.append(two, 2);
    }
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs < 0 ? 30000 : timeoutMs)) return false;

    // The running instance answers once it has dealt with the text, which may
    // take a user's answer to a message; wait while the connection stands.
    QElapsedTimer clock;
    clock.start();
    while (socket.bytesAvailable() < 1) {
        if (socket.state() != QLocalSocket::ConnectedState) return false;
        int slice = 1000;
        if (timeoutMs >= 0) {
            const qint64 left = timeoutMs - clock.elapsed();
            if (left <= 0) return false;
            slice = int(std::min<qint64>(left, slice));
        }
        socket.waitForReadyRead(slice);
    }
    socket.disconnectFromServer();
    return true;
}

void SingleInstance::RaiseWindow(QWidget* window)
{
    if (!window) return;
    if (window->isMinimized()) window->showMaximized();
    if (window->isVisible()) {
        window->raise();
        window->activateWindow();
    }
}

bool HandOverToRunningInstance(SingleInstance& instance, const QString& commandLine)
{
    const bool delivered = instance.sendCommandLine(commandLine);
    const std::string text = commandLine.toStdString();
    if (delivered && !text.empty() && !IsPhaseImageCommandLine(text)) {
        YieldToUi();
        ShowMessage(kMsgCannotOpenInvalidFormat, kMsgCritical, "Open Phase Image");
    }
    return delivered;
}

} // namespace platform
