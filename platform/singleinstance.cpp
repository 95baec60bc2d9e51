#include "platform/singleinstance.h"

#include "platform/folderjobs.h"
#include "platform/folders.h"
#include "platform/handover.h"
#include "platform/messages.h"
#include "platform/pathtext.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QFileInfo>
#include <QWidget>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr quint32 kMaxPayload = 1u << 20;
constexpr int kMaxTokenLength = 48;

QString Escaped(const QString& text)
{
    QString out;
    for (const char b : text.toUtf8()) {
        const uchar c = uchar(b);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == ':' ||
            c == '_' || c == '-')
            out += QChar(c);
        else
            out += QString("%%1").arg(c, 2, 16, QChar('0')).toUpper();
    }
    return out;
}

QString Shortened(const QString& token)
{
    if (token.size() <= kMaxTokenLength) return token;
    return "h" + QString::fromLatin1(
                     QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex().left(32));
}

QString SystemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

// A folder of this user that no one else can write to, as found.
bool IsOwnClosedFolder(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 022) == 0;
}

// Makes `path` (its missing parents with mode 0700 too) with mode 0700, or
// checks and narrows an existing one.
bool MakePrivateFolder(const QString& path, QString* error)
{
    const QByteArray native = QFile::encodeName(path);
    MakeFolders(QFile::encodeName(QFileInfo(path).absolutePath()).toStdString());
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        if (error) *error = path + ": " + SystemError();
        return false;
    }
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0) {
        if (error) *error = path + ": " + SystemError();
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        if (error) *error = path + ": not a folder";
        return false;
    }
    if (st.st_uid != ::getuid()) {
        if (error) *error = path + ": owned by another user";
        return false;
    }
    if ((st.st_mode & 07777) != 0700 && ::chmod(native.constData(), 0700) != 0) {
        if (error) *error = path + ": " + SystemError();
        return false;
    }
    return true;
}

} // namespace

QString DisplayToken(const QString& waylandDisplay, const QString& x11Display)
{
    if (!waylandDisplay.isEmpty()) return Shortened("wayland:" + Escaped(waylandDisplay));
    if (!x11Display.isEmpty()) {
        // [host]:display[.screen]
        const int colon = x11Display.lastIndexOf(':');
        if (colon < 0) return Shortened("x11:" + Escaped(x11Display));
        QString host = x11Display.left(colon);
        if (host == "unix" || host.startsWith("unix/")) host = host.mid(5);
        QString number = x11Display.mid(colon + 1);
        const int dot = number.indexOf('.');
        if (dot >= 0) number.truncate(dot);
        return Shortened("x11:" + (host.isEmpty() ? QString() : Escaped(host) + ":") + Escaped(number));
    }
    return "nodisplay";
}

QString CurrentDisplayToken()
{
    return DisplayToken(qEnvironmentVariable("WAYLAND_DISPLAY"), qEnvironmentVariable("DISPLAY"));
}

QString InstanceFolder(const QString& runtimeDir, const QString& cacheHome, const QString& home, QString* error)
{
    if (QDir::isAbsolutePath(runtimeDir) && IsOwnClosedFolder(runtimeDir)) return QDir::cleanPath(runtimeDir);
    QString base;
    if (QDir::isAbsolutePath(cacheHome)) base = cacheHome;
    else if (QDir::isAbsolutePath(home)) base = QDir(home).filePath(".cache");
    if (base.isEmpty()) {
        if (error) *error = "no runtime folder and no home folder";
        return QString();
    }
    const QString folder = QDir::cleanPath(QDir(base).filePath("Sorvanta-runtime"));
    return MakePrivateFolder(folder, error) ? folder : QString();
}

QString CurrentInstanceFolder(QString* error)
{
    return InstanceFolder(qEnvironmentVariable("XDG_RUNTIME_DIR"), qEnvironmentVariable("XDG_CACHE_HOME"),
                          QFile::decodeName(QByteArray::fromStdString(HomeFolder())), error);
}

SingleInstance::SingleInstance(const QString& key, const QString& folder, QObject* parent, const QString& display)
    : QObject(parent), key_(key), display_(display.isEmpty() ? CurrentDisplayToken() : display)
{
    if (!folder.isEmpty()) {
        folder_ = folder;
    } else {
        QString error;
        folder_ = CurrentInstanceFolder(&error);
        if (folder_.isEmpty()) qWarning("No private folder for the instance lock (%s)", qPrintable(error));
    }
}

SingleInstance::~SingleInstance()
{
    if (server_) server_->close();
    if (lock_ && owned_) lock_->unlock();
}

QString SingleInstance::lockFilePath() const
{
    if (folder_.isEmpty()) return QString();
    return QDir(folder_).filePath(QString("%1-%2-%3.lock").arg(key_).arg(::getuid()).arg(display_));
}

QString SingleInstance::serverPath() const
{
    if (folder_.isEmpty()) return QString();
    return QDir(folder_).filePath(QString("%1-%2-%3.sock").arg(key_).arg(::getuid()).arg(display_));
}

bool SingleInstance::isFirstInstance()
{
    if (owned_) return true;
    if (folder_.isEmpty()) return true; // on its own, with no lock to share
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
    if (!owned_ || folder_.isEmpty()) return false;
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
    if (folder_.isEmpty()) return false;
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
    const std::string text = PathBytes(commandLine);
    if (delivered && !text.empty() && !IsPhaseImageCommandLine(text)) {
        YieldToUi();
        ShowMessage(kMsgCannotOpenInvalidFormat, kMsgCritical, "Open Phase Image");
    }
    return delivered;
}

} // namespace platform
