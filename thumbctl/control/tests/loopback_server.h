#pragma once
// Test helper: a tiny HTTP/1.0 server on 127.0.0.1 that serves fixed bodies,
// and on request misbehaves: streams without a length, trickles a byte at a
// time, or accepts and never answers (at once or after a number of answers).
// Each connection has its own thread (the list's fetch blocks the test's
// thread); a test can be told of each request as it arrives, so that it acts
// when the request is there rather than after a delay.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/time.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QMetaObject>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace thumbctl::testkit {

class LoopbackServer {
public:
    // How a path misbehaves.
    enum class Mode {
        Body,     // the body with its length
        Stream,   // endless data without a length, as fast as it is taken
        Trickle,  // endless data without a length, one byte every 20 ms
        Stall,    // reads the request and never answers
    };

    LoopbackServer()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        ::listen(fd_, 16);
        thread_ = std::thread([this] { Run(); });
    }
    ~LoopbackServer()
    {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
        // Joined without the lock: a connection still starting needs it.
        std::vector<std::thread> connections;
        {
            std::lock_guard<std::mutex> g(mutex_);
            connections.swap(connections_);
        }
        for (auto& t : connections) t.join();
    }

    void Serve(const std::string& path, std::vector<uint8_t> body)
    {
        std::lock_guard<std::mutex> g(mutex_);
        bodies_[path] = std::make_shared<const std::vector<uint8_t>>(std::move(body));
    }
    // The body is sent with this Content-Encoding ("gzip" ...), whatever the
    // request asked for.
    void Encode(const std::string& path, const std::string& encoding)
    {
        std::lock_guard<std::mutex> g(mutex_);
        encodings_[path] = encoding;
    }
    void Misbehave(const std::string& path, Mode mode)
    {
        std::lock_guard<std::mutex> g(mutex_);
        modes_[path] = mode;
    }
    // The path is answered `answers` times, then stalls.
    void StallAfter(const std::string& path, int answers)
    {
        std::lock_guard<std::mutex> g(mutex_);
        answersLeft_[path] = answers;
    }
    // Called on the connection's thread with the path of each request, once
    // it has been read whole and before it is answered.
    void OnRequest(std::function<void(const std::string& path)> seen)
    {
        std::lock_guard<std::mutex> g(mutex_);
        onRequest_ = std::move(seen);
    }
    // The same, run on the application's thread: by the event loop that waits
    // there (a fetch that lets the program's events run) once it takes it up.
    void PostOnRequest(std::function<void(const std::string& path)> act)
    {
        OnRequest([act](const std::string& path) {
            QMetaObject::invokeMethod(QCoreApplication::instance(), [act, path] { act(path); }, Qt::QueuedConnection);
        });
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    // Requests received so far.
    int requests() const { return requests_; }
    // The last request as it came (request line and headers).
    std::string lastRequest() const
    {
        std::lock_guard<std::mutex> g(mutex_);
        return lastRequest_;
    }

private:
    void Run()
    {
        while (!stop_) {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) break;
            std::lock_guard<std::mutex> g(mutex_);
            connections_.emplace_back([this, c] { Answer(c); });
        }
    }

    // Waits until the client has gone or the server stops.
    bool ClientGone(int c, int ms) const
    {
        pollfd p{c, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return stop_;
        char b;
        return ::recv(c, &b, 1, MSG_DONTWAIT) <= 0 || stop_;
    }

    void Answer(int c)
    {
        std::string request;
        char buf[1024];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0) break;
            request.append(buf, size_t(n));
        }
        ++requests_;
        const size_t s = request.find(' '), e = request.find(' ', s + 1);
        const std::string path = s == std::string::npos ? "" : request.substr(s + 1, e - s - 1);
        // Shared, not copied: a large body is in memory once while it is sent.
        std::shared_ptr<const std::vector<uint8_t>> shared;
        bool found = false;
        Mode mode = Mode::Body;
        std::function<void(const std::string&)> seen;
        std::string encoding;
        {
            std::lock_guard<std::mutex> g(mutex_);
            seen = onRequest_;
            lastRequest_ = request;
            auto enc = encodings_.find(path);
            if (enc != encodings_.end()) encoding = "\r\nContent-Encoding: " + enc->second;
            auto it = bodies_.find(path);
            if (it != bodies_.end()) {
                shared = it->second;
                found = true;
            }
            auto m = modes_.find(path);
            if (m != modes_.end()) mode = m->second;
            auto left = answersLeft_.find(path);
            if (left != answersLeft_.end() && left->second-- <= 0) mode = Mode::Stall;
        }
        if (seen) seen(path);
        if (mode == Mode::Stall) {
            while (!ClientGone(c, 50)) {}
        } else if (mode != Mode::Body) {
            const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n";
            ::send(c, head.data(), head.size(), MSG_NOSIGNAL);
            const std::vector<uint8_t> chunk(mode == Mode::Stream ? 65536 : 1, 'x');
            timeval wait{0, 100000};  // a full send buffer is looked at again, so the server can stop
            ::setsockopt(c, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
            while (!stop_) {
                const ssize_t n = ::send(c, chunk.data(), chunk.size(), MSG_NOSIGNAL);
                if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
                if (mode == Mode::Trickle && ClientGone(c, 20)) break;
            }
        } else {
            static const std::vector<uint8_t> kNone;
            const std::vector<uint8_t>& body = shared ? *shared : kNone;
            const std::string head = std::string(found ? "HTTP/1.0 200 OK" : "HTTP/1.0 404 Not Found") +
                                     "\r\nContent-Length: " + std::to_string(body.size()) + encoding +
                                     "\r\nConnection: close\r\n\r\n";
            ::send(c, head.data(), head.size(), MSG_NOSIGNAL);
            if (!body.empty()) ::send(c, body.data(), body.size(), MSG_NOSIGNAL);
        }
        ::close(c);
    }

    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::thread> connections_;
    std::map<std::string, std::shared_ptr<const std::vector<uint8_t>>> bodies_;
    std::map<std::string, Mode> modes_;
    std::map<std::string, int> answersLeft_;
    std::function<void(const std::string&)> onRequest_;
    std::map<std::string, std::string> encodings_;
    std::string lastRequest_;
};

} // namespace thumbctl::testkit
