#pragma once
// Keeps the program to one running instance per user and display. The first
// instance holds a lock file named after the instance key, the user and the
// display, and listens on a local socket; a later instance on the same
// display hands its command line over and ends.
//
// Hand-over message: a 32-bit little-endian byte count, then the command line
// as UTF-16LE characters without a terminator (an empty command line is sent
// too). The command line's bytes travel as platform::PathText gives them:
// bytes that are not UTF-8 as U+DC80..U+DCFF, so the running instance gets
// the very bytes the second start was given. The receiver answers with one byte once its handler has returned, so
// the sender waits until the running instance has dealt with the text.
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <QString>

#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;


namespace platform {

inline constexpr const char* kInstanceKey = "Sorvanta_APPLICATION_MUTEX";

// The display part of the instance name, from the values of WAYLAND_DISPLAY
// and DISPLAY: "wayland:<socket>" when a Wayland socket is named, else
// "x11:[<host>:]<number>" for an X display (the screen number dropped: one
// display, one instance; "unix" and no host are the same local host), else
// "nodisplay". Characters other than letters, digits and ".:_-" are written
// as %XX; a token longer than 48 characters is replaced by a digest of it.
QString DisplayToken(const QString& waylandDisplay, const QString& x11Display);
// The token of this process's environment.
QString CurrentDisplayToken();

// The folder of the lock file and the socket. `runtimeDir` (XDG_RUNTIME_DIR)
// is used when it is an absolute path to a folder of this user that nobody
// else may write to. Otherwise a private folder "Sorvanta-runtime" under
// `cacheHome` (XDG_CACHE_HOME, when absolute) or "<home>/.cache" is made with
// mode 0700; an existing one must be a real folder (no link) owned by the
// user and has its mode narrowed to 0700. Returns "" with `error` set when
// no such folder can be had.
QString InstanceFolder(const QString& runtimeDir, const QString& cacheHome, const QString& home,
                       QString* error = nullptr);
// The folder for this process's environment.
QString CurrentInstanceFolder(QString* error = nullptr);

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `folder`: where the lock file and the socket live; empty = the folder
    // of CurrentInstanceFolder(). `display`: the display token; empty = that
    // of CurrentDisplayToken().
    explicit SingleInstance(const QString& key = kInstanceKey, const QString& folder = QString(),
                            QObject* parent = nullptr, const QString& display = QString());
    ~SingleInstance() override;

    // Takes the instance lock; true for the first instance. A lock left by an
    // instance that no longer runs is removed and taken. The lock is held for
    // the life of this object. Without a usable folder there is no lock: the
    // program runs on its own (true, and listen() fails).
    bool isFirstInstance();
    bool ownsLock() const { return owned_; }

    // First instance: listen for hand-overs. Every text received goes to the
    // handler (then to the signal commandLineReceived), after which the main
    // window, when one is set, comes to the front. False when the socket
    // cannot be opened.
    bool listen();
    void setHandler(std::function<void(const QString&)> handler) { handler_ = std::move(handler); }
    void setMainWindow(QWidget* window) { mainWindow_ = window; }

    // Second instance: hands the command line to the running instance and
    // waits until it was handled (timeoutMs < 0: as long as the running
    // instance stays reachable). False when no running instance answered;
    // the caller then goes on with a start-up of its own.
    bool sendCommandLine(const QString& commandLine, int timeoutMs = -1);

    QString lockFilePath() const;
    QString serverPath() const;

    // Brings a window to the front: a minimised window is shown maximised.
    static void RaiseWindow(QWidget* window);

signals:
    void commandLineReceived(const QString& commandLine);

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);

    QString key_;
    QString folder_;
    QString display_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
    bool owned_ = false;
    std::function<void(const QString&)> handler_;
    QPointer<QWidget> mainWindow_;
};

// The second instance's part of the start-up: hands `commandLine` (its
// PathText) over and,
// when it does not name a phase image, shows "The file cannot be opened." /
// "Invalid file format." titled "Open Phase Image" (the running instance got
// the text all the same). Returns whether the running instance was reached.
bool HandOverToRunningInstance(SingleInstance& instance, const QString& commandLine);

} // namespace platform
