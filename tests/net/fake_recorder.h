#pragma once
// A scripted recorder for the tests: listens on 127.0.0.1 at an ephemeral port and runs a session
// function for each accepted connection, one after the other, on its own thread. Every wait is
// bounded, so a test that goes wrong fails instead of hanging.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "net/hex_field.h"

namespace tamlorex::testing {

class FakeRecorder {
public:
    // The session gets the connection and its index (0 for the first); the socket is closed after.
    using Session = std::function<void(FakeRecorder& recorder, int fd, int index)>;

    explicit FakeRecorder(Session session, int backlog = 4) : session_(std::move(session))
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, backlog);
        socklen_t size = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        if (session_) thread_ = std::thread([this] { Serve(); });
    }
    ~FakeRecorder() { Stop(); }

    int Port() const { return port_; }
    int Accepted() const { return accepted_.load(); }
    bool Stopping() const { return stop_.load(); }
    void Stop()
    {
        stop_.store(true);
        if (thread_.joinable()) thread_.join();
        if (listener_ >= 0) ::close(listener_);
        listener_ = -1;
    }

    // Reads exactly n bytes within the time; false on close, error, time-out or Stop.
    bool ReadExactly(int fd, std::uint8_t* out, std::size_t n, int ms)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (n > 0) {
            if (stop_.load() || std::chrono::steady_clock::now() >= end) return false;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            const ssize_t got = ::recv(fd, out, n, 0);
            if (got <= 0) return false;
            out += got;
            n -= static_cast<std::size_t>(got);
        }
        return true;
    }
    // One control packet by its declared length; empty when it does not come.
    std::vector<std::uint8_t> ReadPacket(int fd, int ms)
    {
        std::vector<std::uint8_t> packet(8);
        if (!ReadExactly(fd, packet.data(), 8, ms)) return {};
        const std::size_t length = HexField::Read(packet.data() + 4);
        if (length <= 8) return packet;
        packet.resize(length);
        if (!ReadExactly(fd, packet.data() + 8, length - 8, ms)) return {};
        return packet;
    }
    static bool Send(int fd, const std::vector<std::uint8_t>& bytes)
    {
        std::size_t at = 0;
        while (at < bytes.size()) {
            const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (n <= 0) return false;
            at += static_cast<std::size_t>(n);
        }
        return true;
    }
    // Sleeps in small steps; false when stopped.
    bool Sleep(int ms)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            if (stop_.load()) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    // Holds the connection until the peer closes it (true) or the time passes or Stop (false).
    bool WaitClosed(int fd, int ms, std::vector<std::uint8_t>* received = nullptr)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        std::uint8_t buffer[4096];
        while (!stop_.load() && std::chrono::steady_clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) return true;
            if (received) received->insert(received->end(), buffer, buffer + n);
        }
        return false;
    }

private:
    void Serve()
    {
        int index = 0;
        while (!stop_.load()) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            accepted_.fetch_add(1);
            session_(*this, fd, index++);
            ::close(fd);
        }
    }

    Session session_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

}  // namespace tamlorex::testing
