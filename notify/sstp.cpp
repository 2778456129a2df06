// SSTP client over POSIX sockets. One connection per message, no state between calls;
// runs on the batch worker thread, whose progress it holds up for a bounded time only.

#include "notify/sstp.h"

#include "settings/sjis.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <future>
#include <system_error>
#include <thread>

namespace orva {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kRequestHead = "SEND SSTP/1.0\r\nSender: ORVA\r\nScript: ";
constexpr std::string_view kRequestTail = "\\e\r\n\r\n";
constexpr std::size_t kReplyBufferBytes = 256;
constexpr std::size_t kMaxKeptReplyBytes = 64 * 1024;

/// A settings text as the C string the wire format knows: it ends at a zero byte.
std::string_view AsCString(const std::string& text) { return std::string_view(text.c_str()); }

/// A text setting as it goes on the wire: CP932, at most 255 bytes.
std::string SettingToShiftJis(const std::string& utf8)
{
    return std::string(CutShiftJis(ToShiftJis(AsCString(utf8)), kMaxShiftJisTextBytes));
}

/// Closes the descriptor when the call ends, whichever way it ends.
class SocketHandle {
public:
    explicit SocketHandle(int fd) : fd_(fd) {}
    ~SocketHandle()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

/// Milliseconds left until deadline, for poll() (0 when it has passed).
int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0)
        return 0;
    return left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count());
}

/// Waits for events on fd until deadline; returns the revents, 0 on time-out or error.
short WaitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd entry { fd, events, 0 };
        const int ready = ::poll(&entry, 1, MillisecondsLeft(deadline));
        if (ready > 0)
            return entry.revents;
        if (ready == 0 || errno != EINTR)
            return 0;
    }
}

/// Connects without blocking longer than until deadline.
bool ConnectBefore(int fd, const sockaddr_in& address, Clock::time_point deadline)
{
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return true;
    if (errno != EINPROGRESS && errno != EINTR)
        return false;
    if ((WaitFor(fd, POLLOUT, deadline) & (POLLOUT | POLLERR | POLLHUP)) == 0)
        return false;
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

/// Sends all of data; a closed connection gives an error, never SIGPIPE.
bool SendAll(int fd, std::string_view data, Clock::time_point deadline)
{
    while (!data.empty()) {
        const ssize_t sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            data.remove_prefix(static_cast<std::size_t>(sent));
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if ((WaitFor(fd, POLLOUT, deadline) & POLLOUT) == 0)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

/// Finds the empty line that ends an SSTP answer ("SSTP/1.4 200 OK\r\n\r\n"), fed in pieces.
class AnswerEndFinder {
public:
    /// Feeds received bytes; true once the answer's empty line has come in.
    bool Feed(std::string_view bytes)
    {
        for (const char c : bytes) {
            if (c == '\n') {
                if (lineBytes_ == 0 && sawLine_)
                    return true;
                sawLine_ = true;
                lineBytes_ = 0;
            } else if (c != '\r') {
                ++lineBytes_;
            }
        }
        return false;
    }

private:
    std::size_t lineBytes_ = 0;
    bool sawLine_ = false;
};

}  // namespace

int ParseSstpPort(std::string_view portText)
{
    std::size_t pos = 0;
    while (pos < portText.size()
           && (portText[pos] == ' ' || (portText[pos] >= '\t' && portText[pos] <= '\r')))
        ++pos;
    bool negative = false;
    if (pos < portText.size() && (portText[pos] == '-' || portText[pos] == '+')) {
        negative = portText[pos] == '-';
        ++pos;
    }
    // Saturates on overflow, as the C library's conversion does.
    std::int64_t value = 0;
    for (; pos < portText.size() && portText[pos] >= '0' && portText[pos] <= '9'; ++pos) {
        value = value * 10 + (portText[pos] - '0');
        if (value > std::int64_t { INT_MAX } + 1)
            value = std::int64_t { INT_MAX } + 1;
    }
    if (negative)
        return static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

std::string ExpandSstpTemplate(std::string_view templateShiftJis, std::string_view fileNameShiftJis)
{
    std::string script;
    const std::size_t length = templateShiftJis.size();
    std::size_t pos = 0;
    while (pos < length) {
        const char byte = templateShiftJis[pos];
        if (byte == '$' && pos + 1 < length && templateShiftJis[pos + 1] == 'S') {
            script.append(fileNameShiftJis);
            pos += 2;
            continue;
        }
        script.push_back(byte);
        // A lead byte (or a control byte) takes the byte after it unexamined, so the
        // second byte of a double-byte character is never read as "$".
        if (static_cast<signed char>(byte) < 0x20) {
            if (pos + 1 < length)
                script.push_back(templateShiftJis[pos + 1]);
            pos += 2;
        } else {
            pos += 1;
        }
    }
    return script;
}

std::string EscapeSstpFileName(std::string_view fileNameShiftJis)
{
    std::string escaped;
    escaped.reserve(fileNameShiftJis.size());
    std::size_t pos = 0;
    while (pos < fileNameShiftJis.size()) {
        const auto byte = static_cast<unsigned char>(fileNameShiftJis[pos]);
        if (IsShiftJisLeadByte(byte) && pos + 1 < fileNameShiftJis.size()) {
            const auto trail = static_cast<unsigned char>(fileNameShiftJis[pos + 1]);
            if (trail >= 0x40 && trail != 0x7F && trail <= 0xFC) {
                escaped.append(fileNameShiftJis.substr(pos, 2));
                pos += 2;
                continue;
            }
        }
        if (byte < 0x20 || byte == 0x7F)
            escaped.push_back(' ');
        else if (byte == '\\')
            escaped.append("\\\\");
        else
            escaped.push_back(static_cast<char>(byte));
        ++pos;
    }
    return escaped;
}

std::string BuildSstpRequest(std::string_view scriptShiftJis)
{
    std::string_view script = CutShiftJis(scriptShiftJis, kMaxSstpScriptBytes);
    if (script.size() < scriptShiftJis.size()) {
        // A cut right after an escaping "\" would make it escape the closing "\e".
        std::size_t backslashes = 0;
        for (std::size_t pos = 0; pos < script.size();) {
            const bool pair = IsShiftJisLeadByte(static_cast<unsigned char>(script[pos]));
            backslashes = (!pair && script[pos] == '\\') ? backslashes + 1 : 0;
            pos += pair ? 2 : 1;
        }
        if (backslashes % 2 != 0)
            script.remove_suffix(1);
    }
    std::string request;
    request.reserve(kRequestHead.size() + script.size() + kRequestTail.size());
    request.append(kRequestHead);
    request.append(script);
    request.append(kRequestTail);
    return request;
}

std::optional<std::uint32_t> ResolveSstpServerNow(const std::string& server)
{
    in_addr address {};
    if (::inet_pton(AF_INET, server.c_str(), &address) == 1)
        return address.s_addr;
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(server.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return std::nullopt;
    std::optional<std::uint32_t> result;
    for (const addrinfo* entry = found; entry != nullptr && !result; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in ipv4;
            std::memcpy(&ipv4, entry->ai_addr, sizeof ipv4);
            result = ipv4.sin_addr.s_addr;
        }
    }
    ::freeaddrinfo(found);
    return result;
}

std::optional<std::uint32_t> ResolveSstpServer(const std::string& server, std::chrono::milliseconds waitLimit,
                                               const SstpResolver& resolve)
{
    // The promise lives on in the lookup thread, so a lookup that outlasts the wait still
    // has somewhere to put its result; nothing else is shared with it.
    std::promise<std::optional<std::uint32_t>> promise;
    std::future<std::optional<std::uint32_t>> result = promise.get_future();
    try {
        std::thread([promise = std::move(promise), server, resolve]() mutable {
            std::optional<std::uint32_t> address;
            try {
                address = resolve(server);
            } catch (...) {
            }
            promise.set_value(address);
        }).detach();
    } catch (const std::system_error&) {
        return resolve(server);  // no thread to spare: look it up here, unbounded as before
    }
    if (result.wait_for(waitLimit) != std::future_status::ready)
        return std::nullopt;
    return result.get();
}

std::optional<std::string> SendSstpRequest(const std::string& server, int port, std::string_view request,
                                           std::chrono::milliseconds waitLimit)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));  // the low 16 bits count
    const std::optional<std::uint32_t> resolved = ResolveSstpServer(server, waitLimit);
    if (!resolved)
        return std::nullopt;
    address.sin_addr.s_addr = *resolved;

    SocketHandle socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.get() < 0)
        return std::nullopt;
    if (!ConnectBefore(socket.get(), address, Clock::now() + waitLimit))
        return std::nullopt;

    std::string answer;
    if (!SendAll(socket.get(), request, Clock::now() + waitLimit))
        return answer;

    // Wait for the server's close or the end of its answer; a server that keeps the
    // connection open after answering must not hold the batch up.
    const Clock::time_point deadline = Clock::now() + waitLimit;
    AnswerEndFinder endFinder;
    char reply[kReplyBufferBytes];
    for (;;) {
        if ((WaitFor(socket.get(), POLLIN, deadline) & (POLLIN | POLLERR | POLLHUP)) == 0)
            break;  // time is up
        const ssize_t received = ::recv(socket.get(), reply, sizeof reply, 0);
        if (received == 0)
            break;  // the server closed the connection
        if (received < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            break;  // reset or another error ends the wait
        }
        const std::string_view piece(reply, static_cast<std::size_t>(received));
        if (answer.size() < kMaxKeptReplyBytes)
            answer.append(piece.substr(0, kMaxKeptReplyBytes - answer.size()));
        if (endFinder.Feed(piece))
            break;
    }
    return answer;
}

void SendSstpFileMessage(const Settings& settings, const std::string& fileNameUtf8)
{
    if (settings.SstpEnabled != 1)
        return;
    const int port = ParseSstpPort(AsCString(settings.SstpPort));
    if (port <= 0)
        return;
    const std::string script = ExpandSstpTemplate(SettingToShiftJis(settings.SstpFileMessage),
                                                  EscapeSstpFileName(ToShiftJis(AsCString(fileNameUtf8))));
    SendSstpRequest(std::string(AsCString(settings.SstpServer)), port, BuildSstpRequest(script));
}

void SendSstpAllMessage(const Settings& settings)
{
    if (settings.SstpEnabled != 1)
        return;
    const int port = ParseSstpPort(AsCString(settings.SstpPort));
    if (port <= 0)
        return;
    SendSstpRequest(std::string(AsCString(settings.SstpServer)), port,
                    BuildSstpRequest(SettingToShiftJis(settings.SstpAllMessage)));
}

}  // namespace orva
