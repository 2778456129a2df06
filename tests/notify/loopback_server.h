#pragma once
// An SSTP server double on 127.0.0.1 (a free port) with a thread of its own: records every
// request it receives and answers the way the test asks.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orva::test {

class LoopbackServer {
public:
    enum class Behaviour {
        AnswerAndClose,     ///< reads the request, answers, closes
        AnswerAndStayOpen,  ///< answers in two pieces, then keeps the connection open
        Silent,             ///< reads the request, never answers, never closes
        CloseAtOnce,        ///< closes each connection as soon as it is accepted
    };

    explicit LoopbackServer(Behaviour behaviour) : behaviour_(behaviour)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto* raw = reinterpret_cast<sockaddr*>(&address);
        if (::bind(listener_, raw, length) == 0 && ::listen(listener_, 8) == 0
            && ::getsockname(listener_, raw, &length) == 0 && ::pipe(stopPipe_) == 0) {
            port_ = ntohs(address.sin_port);
            thread_ = std::thread([this] { Run(); });
        }
    }

    ~LoopbackServer()
    {
        if (thread_.joinable()) {
            [[maybe_unused]] const ssize_t ignored = ::write(stopPipe_[1], "x", 1);
            thread_.join();
        }
        for (const int fd : openConnections_)
            ::close(fd);
        for (const int fd : { listener_, stopPipe_[0], stopPipe_[1] })
            if (fd >= 0)
                ::close(fd);
    }

    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }

    int connections() const
    {
        std::lock_guard lock(mutex_);
        return connections_;
    }

    /// The requests received so far, after waiting up to 5 s for at least count of them.
    std::vector<std::string> requests(std::size_t count = 0) const
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(5), [&] { return requests_.size() >= count; });
        return requests_;
    }

private:
    void Run()
    {
        for (;;) {
            pollfd fds[2] = { { listener_, POLLIN, 0 }, { stopPipe_[0], POLLIN, 0 } };
            if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN) != 0)
                return;
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            {
                std::lock_guard lock(mutex_);
                ++connections_;
            }
            if (behaviour_ == Behaviour::CloseAtOnce) {
                ::close(fd);
                continue;
            }
            std::string request = ReadRequest(fd);
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(std::move(request));
                changed_.notify_all();
            }
            if (behaviour_ == Behaviour::AnswerAndClose) {
                Send(fd, "SSTP/1.4 200 OK\r\nCharset: Shift_JIS\r\n\r\n");
                ::close(fd);
                continue;
            }
            if (behaviour_ == Behaviour::AnswerAndStayOpen) {
                Send(fd, "SSTP/1.0 200 OK\r\nX-Note: a\r");
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                Send(fd, "\n\r\n");
            }
            openConnections_.push_back(fd);
        }
    }

    /// Reads until the request's empty line, the peer's close or 3 s.
    static std::string ReadRequest(int fd)
    {
        std::string request;
        char buffer[4096];
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!request.ends_with("\r\n\r\n") && std::chrono::steady_clock::now() < deadline) {
            pollfd entry { fd, POLLIN, 0 };
            if (::poll(&entry, 1, 100) <= 0)
                continue;
            const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
            if (count <= 0)
                break;
            request.append(buffer, static_cast<std::size_t>(count));
        }
        return request;
    }

    static void Send(int fd, const std::string& text)
    {
        [[maybe_unused]] const ssize_t ignored = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    }

    const Behaviour behaviour_;
    int listener_ = -1;
    int port_ = 0;
    int stopPipe_[2] = { -1, -1 };
    std::thread thread_;
    std::vector<int> openConnections_;  // the server thread's until it is joined
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    int connections_ = 0;
    std::vector<std::string> requests_;
};

}  // namespace orva::test
