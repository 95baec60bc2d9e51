#pragma once
// Keeps the program to one running instance per user. The first instance
// holds a lock file named after the instance key and listens on a local
// socket; a later instance hands its command line over and ends.
//
// Hand-over message: a 32-bit little-endian byte count, then the command line
// as UTF-16LE characters without a terminator (an empty command line is sent
// too). The receiver answers with one byte once its handler has returned, so
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

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `folder`: where the lock file and the socket live; empty = the user's
    // runtime folder (or the temporary folder when there is none).
    explicit SingleInstance(const QString& key = kInstanceKey, const QString& folder = QString(),
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the instance lock; true for the first instance. A lock left by an
    // instance that no longer runs is removed and taken. The lock is held for
    // the life of this object.
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
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
    bool owned_ = false;
    std::function<void(const QString&)> handler_;
    QPointer<QWidget> mainWindow_;
};

// The second instance's part of the start-up: hands `commandLine` over and,
// when it does not name a phase image, shows "The file cannot be opened." /
// "Invalid file format." titled "Open Phase Image" (the running instance got
// the text all the same). Returns whether the running instance was reached.
bool HandOverToRunningInstance(SingleInstance& instance, const QString& commandLine);

} // namespace platform
