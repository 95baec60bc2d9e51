#pragma once
// Test helper: a tiny HTTP/1.0 server on 127.0.0.1 that serves fixed bodies
// from its own thread (the list's fetch blocks the test's thread).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace thumbctl::testkit {

class LoopbackServer {
public:
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
    }

    void Serve(const std::string& path, std::vector<uint8_t> body)
    {
        std::lock_guard<std::mutex> g(mutex_);
        bodies_[path] = std::move(body);
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
    void Run()
    {
        while (!stop_) {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) break;
            std::string request;
            char buf[1024];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                request.append(buf, size_t(n));
            }
            const size_t s = request.find(' '), e = request.find(' ', s + 1);
            const std::string path = s == std::string::npos ? "" : request.substr(s + 1, e - s - 1);
            std::vector<uint8_t> body;
            bool found = false;
            {
                std::lock_guard<std::mutex> g(mutex_);
                auto it = bodies_.find(path);
                if (it != bodies_.end()) {
                    body = it->second;
                    found = true;
                }
            }
            const std::string head = std::string(found ? "HTTP/1.0 200 OK" : "HTTP/1.0 404 Not Found") +
                                     "\r\nContent-Length: " + std::to_string(body.size()) +
                                     "\r\nConnection: close\r\n\r\n";
            ::send(c, head.data(), head.size(), MSG_NOSIGNAL);
            if (!body.empty()) ::send(c, body.data(), body.size(), MSG_NOSIGNAL);
            ::close(c);
        }
    }

    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::map<std::string, std::vector<uint8_t>> bodies_;
};

} // namespace thumbctl::testkit
