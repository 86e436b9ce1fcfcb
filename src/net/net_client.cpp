#include "net/net_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

#include "net/control_packet.h"
#include "net/hex_field.h"
#include "platform/event.h"
#include "platform/millisecond_clock.h"
#include "platform/notifier.h"
#include "platform/system_error.h"

namespace tamlorex {
namespace {

constexpr std::size_t kReceiveSize = 131072;
constexpr std::size_t kReplySize = 32768;
constexpr int kConnectSliceMs = 100;      // each wait of a connect, login or lookup
constexpr int kIdleSliceMs = 3;           // an idle pass of the receive loop
constexpr int kRetryPauseMs = 1000;       // before a new connect after a failed one or a silence
constexpr std::size_t kReasonOffset = 12;
constexpr std::size_t kReplyNeeded = 16;  // header and reason: all a login reply is read for

bool ElapsedMoreThan(std::uint32_t since, int ms)
{
    return MillisecondClock::Now() - since > static_cast<std::uint32_t>(std::max(ms, 0));
}

bool SetBlocking(int sock, bool blocking)
{
    const int flags = ::fcntl(sock, F_GETFL, 0);
    if (flags < 0) return false;
    return ::fcntl(sock, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}

// One poll of one socket for reading; 1 ready, 0 nothing within the time, -1 error.
int WaitReadable(int sock, int ms)
{
    pollfd p{sock, POLLIN, 0};
    const int r = ::poll(&p, 1, ms);
    if (r < 0) return errno == EINTR ? 0 : -1;
    if (r == 0) return 0;
    return (p.revents & (POLLIN | POLLHUP | POLLERR)) ? 1 : -1;
}

}  // namespace

int ResolveIPv4(const std::string& text, std::string& dotted)
{
    in_addr address{};
    if (::inet_pton(AF_INET, text.c_str(), &address) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int error = ::getaddrinfo(text.c_str(), nullptr, &hints, &found);
        if (error != 0) return error;
        const addrinfo* first = found;
        while (first != nullptr && (first->ai_family != AF_INET || first->ai_addr == nullptr)) first = first->ai_next;
        if (first == nullptr) {
            ::freeaddrinfo(found);
            return EAI_NONAME;
        }
        address = reinterpret_cast<const sockaddr_in*>(first->ai_addr)->sin_addr;
        ::freeaddrinfo(found);
    }
    const auto* octet = reinterpret_cast<const std::uint8_t*>(&address.s_addr);
    char text4[16];
    std::snprintf(text4, sizeof text4, "%u.%u.%u.%u", octet[0], octet[1], octet[2], octet[3]);
    dotted = text4;
    return 0;
}

NetClient::NetClient()
    : mouseSource_(&PendingMouse()),
      videoQueue_(kQueueBlocks, kRecordBufferSize),
      audioQueue_(kQueueBlocks, kLiveAudioSize),
      parser_(videoQueue_, audioQueue_, [this](const ControlMessage& m) { HandleMessage(m); }),
      receiveBuffer_(new std::uint8_t[kReceiveSize]),
      replyBuffer_(new std::uint8_t[kReplySize])
{
}

NetClient::~NetClient()
{
    Stop();
    CloseSocket(ddnsSocket_);
    CloseSocket(socket_);
}

int NetClient::SetDirectTarget(const std::string& address, int port, const std::string& password)
{
    std::lock_guard<std::mutex> lock(configMutex_);
    useDdns_ = false;
    address_ = address;
    port_ = port;
    password_ = password;
    return 1;
}

int NetClient::SetDdnsTarget(const std::string& ddnsAddress, int ddnsPort, const std::string& dvrName,
                             const std::string& password)
{
    std::lock_guard<std::mutex> lock(configMutex_);
    useDdns_ = true;
    ddnsAddress_ = ddnsAddress;
    ddnsPort_ = ddnsPort;
    dvrName_ = dvrName;
    password_ = password;
    return 1;
}

std::string NetClient::GetErrorText() const
{
    std::lock_guard<std::mutex> lock(errorMutex_);
    return errorText_;
}

std::string NetClient::GetAddress() const
{
    std::lock_guard<std::mutex> lock(configMutex_);
    return address_;
}

int NetClient::GetPort() const
{
    std::lock_guard<std::mutex> lock(configMutex_);
    return port_;
}

void NetClient::SetError(const std::string& text)
{
    {
        std::lock_guard<std::mutex> lock(errorMutex_);
        errorText_ = text;
    }
    if (NetClientListener* listener = listener_.load()) listener->OnErrorText(text);
}

void NetClient::SetConnState(int state)
{
    if (connState_.exchange(state) == state) return;
    if (NetClientListener* listener = listener_.load()) listener->OnConnState(state);
}

void NetClient::Post(std::uint32_t message)
{
    if (Notifier* notifier = notifier_.load()) notifier->Post(message, 0, 0);
}

bool NetClient::Stopping() { return StopEvent().IsSet(); }

bool NetClient::Pause(int ms) { return StopEvent().Wait(std::chrono::milliseconds(ms)); }

void NetClient::CloseSocket(int& sock)
{
    if (sock < 0) return;
    std::unique_lock<std::mutex> lock(sendMutex_, std::defer_lock);
    if (&sock == &socket_) lock.lock();
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    sock = -1;
}

bool NetClient::SendToRecorder(const std::uint8_t* data, std::size_t length)
{
    std::lock_guard<std::mutex> lock(sendMutex_);
    if (socket_ < 0) return false;
    while (length > 0) {
        const ssize_t n = ::send(socket_, data, length, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

NetClient::Resolution NetClient::ResolveTarget(const std::string& address, bool recorder, std::uint32_t& networkOrder)
{
    in_addr dotted{};
    if (::inet_pton(AF_INET, address.c_str(), &dotted) == 1) {
        networkOrder = dotted.s_addr;
        return Resolution::kFound;
    }
    // getaddrinfo cannot be interrupted: the helper owns its half of the state and, after a stop,
    // finishes alone.
    struct Pending {
        Event done;
        std::string text;
        std::string dotted;
        int error = 0;
    };
    auto pending = std::make_shared<Pending>();
    pending->text = address;
    try {
        std::thread([pending] {
            pending->error = ResolveIPv4(pending->text, pending->dotted);
            pending->done.Set();
        }).detach();
    } catch (const std::system_error& e) {
        SetError(ErrorText(e.code().value()));
        return Resolution::kRetry;
    }
    while (!pending->done.Wait(std::chrono::milliseconds(kConnectSliceMs)))
        if (Stopping()) return Resolution::kStopped;
    if (pending->error == 0 && ::inet_pton(AF_INET, pending->dotted.c_str(), &dotted) == 1) {
        networkOrder = dotted.s_addr;
        return Resolution::kFound;
    }
    const int error = pending->error != 0 ? pending->error : EAI_NONAME;
    SetError(std::string(recorder ? "The recorder address \"" : "The lookup server address \"") + address +
             "\" could not be found (" + ::gai_strerror(error) + ").");
    // Only the name server's silence may pass; a name it does not know stays unknown.
    return error == EAI_AGAIN && autoReconnect_.load() ? Resolution::kRetry : Resolution::kUnknown;
}

NetClient::Reached NetClient::Connect(int& sock, const std::string& address, int port, bool recorder)
{
    if (sock >= 0) {
        SetError("Already Connected");
        CloseSocket(sock);
        return Reached::kFailed;
    }
    auto stopped = [&] {
        CloseSocket(sock);
        if (recorder) loggedIn_.store(false);
        else resolved_.store(false);
        return Reached::kFailed;
    };
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<std::uint16_t>(port));
    std::uint32_t networkOrder = 0;
    switch (ResolveTarget(address, recorder, networkOrder)) {
    case Resolution::kFound: break;
    case Resolution::kRetry: return Reached::kFailed;
    case Resolution::kUnknown: return Reached::kAddressUnknown;
    case Resolution::kStopped: return stopped();
    }
    target.sin_addr.s_addr = networkOrder;
    // 0.0.0.0 would reach this machine: it is refused before any socket.
    if (networkOrder == 0) {
        SetError(ErrorText(ECONNREFUSED));
        return Reached::kFailed;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetError(ErrorText(errno));
        return Reached::kFailed;
    }
    {
        std::unique_lock<std::mutex> lock(sendMutex_, std::defer_lock);
        if (recorder) lock.lock();
        sock = fd;
    }
    auto fail = [&](int error) {
        if (error != 0) SetError(ErrorText(error));
        CloseSocket(sock);
        return Reached::kFailed;
    };
    if (!SetBlocking(fd, false)) return fail(errno);

    const std::uint32_t started = MillisecondClock::Now();
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 && errno != EINPROGRESS)
        return fail(errno);
    if (!recorder) {
        const int on = 1;
        const linger lingerOption{1, 1};
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lingerOption, sizeof lingerOption);
    }

    while (!Stopping()) {
        pollfd p{fd, POLLIN | POLLOUT, 0};
        const int r = ::poll(&p, 1, kConnectSliceMs);
        if (r < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        if (r == 0) {
            if (ElapsedMoreThan(started, timeoutMs_.load())) {
                if (recorder) Post(WM_NET_NO_RESPONSE);
                return fail(ETIMEDOUT);
            }
            continue;
        }
        // Writable is not connected: a refused connect is writable too. The pending error decides.
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return fail(errno);
        if (error != 0) return fail(error);
        if (!SetBlocking(fd, true)) return fail(errno);
        const int ms = std::max(timeoutMs_.load(), 1);
        const timeval sendLimit{ms / 1000, (ms % 1000) * 1000};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
        return Reached::kConnected;
    }
    return stopped();
}

bool NetClient::Login()
{
    std::string password;
    {
        std::lock_guard<std::mutex> lock(configMutex_);
        password = password_;
    }
    const auto packet = ControlPacket::Login(password);
    auto fail = [&](const char* text, int error) {
        if (text != nullptr) SetError(text);
        else if (error != 0) SetError(ErrorText(error));
        CloseSocket(socket_);
        loggedIn_.store(false);
        return false;
    };
    if (!SendToRecorder(packet.data(), packet.size())) return fail(nullptr, errno);

    const std::uint32_t sent = MillisecondClock::Now();
    std::uint8_t* buffer = replyBuffer_.get();
    std::size_t fill = 0;
    std::size_t skip = 0;  // the rest of a reply longer than what was read of it
    for (;;) {
        if (Stopping()) return fail(nullptr, 0);
        const int ready = WaitReadable(socket_, kConnectSliceMs);
        if (ready < 0) return fail(nullptr, errno);
        if (ready == 0) {
            if (ElapsedMoreThan(sent, timeoutMs_.load())) return fail("No response from server.", 0);
            continue;
        }
        const ssize_t n = ::recv(socket_, buffer + fill, kReplySize - fill, 0);
        if (n <= 0) return fail(nullptr, n == 0 ? ECONNRESET : errno);
        fill += static_cast<std::size_t>(n);

        // Every complete reply of the read, in order.
        std::size_t at = 0;
        for (;;) {
            const std::size_t dropped = std::min(skip, fill - at);
            at += dropped;
            skip -= dropped;
            const std::size_t available = fill - at;
            if (available < kStartCodeSize) break;
            if (!ControlPacket::HasStartCode(buffer + at, available)) return fail("LOGIN ERROR", 0);
            if (available < 8) break;
            const std::size_t length = std::max<std::size_t>(HexField::Read(buffer + at + 4), kControlHeaderSize);
            if (available < std::min(length, kReplyNeeded)) break;
            const std::uint16_t code = HexField::Read(buffer + at + 8);
            const std::uint16_t reason = length >= kReplyNeeded ? HexField::Read(buffer + at + kReasonOffset) : 0;
            const std::size_t taken = std::min(length, available);
            at += taken;
            skip = length - taken;
            std::string text;
            switch (ControlPacket::InterpretLoginReply(code, reason, text)) {
            case LoginOutcome::Wait: continue;
            case LoginOutcome::Accepted:
                loggedIn_.store(true);
                // The stream may follow the reply in the same read.
                if (fill > at) parser_.Feed(buffer + at, fill - at);
                return true;
            case LoginOutcome::Refused:
            case LoginOutcome::Error: return fail(text.c_str(), 0);
            }
        }
        std::memmove(buffer, buffer + at, fill - at);
        fill -= at;
    }
}

bool NetClient::Lookup()
{
    std::string name;
    {
        std::lock_guard<std::mutex> lock(configMutex_);
        name = dvrName_;
    }
    auto fail = [&](const char* text, int error) {
        if (text != nullptr) SetError(text);
        else if (error != 0) SetError(ErrorText(error));
        CloseSocket(ddnsSocket_);
        resolved_.store(false);
        return false;
    };
    const auto request = ControlPacket::DdnsRequest(name);
    for (std::size_t at = 0; at < request.size();) {
        const ssize_t n = ::send(ddnsSocket_, request.data() + at, request.size() - at, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(nullptr, errno);
        at += static_cast<std::size_t>(n);
    }

    const std::uint32_t sent = MillisecondClock::Now();
    std::uint8_t reply[kDdnsReplySize];
    std::size_t fill = 0;
    for (;;) {
        if (Stopping()) return fail(nullptr, 0);
        const int ready = WaitReadable(ddnsSocket_, kConnectSliceMs);
        if (ready < 0) return fail(nullptr, errno);
        if (ready == 0) {
            if (ElapsedMoreThan(sent, timeoutMs_.load())) return fail("No response from server.", 0);
            continue;
        }
        // Only the reply's first ten bytes matter; what follows them is left unread.
        const ssize_t n = ::recv(ddnsSocket_, reply + fill, sizeof reply - fill, 0);
        if (n <= 0) return fail(nullptr, n == 0 ? ECONNRESET : errno);
        fill += static_cast<std::size_t>(n);
        const std::uint8_t magic[4] = {0x55, 0xAA, 0x55, 0xAA};
        if (std::memcmp(reply, magic, std::min<std::size_t>(fill, 4)) != 0) return fail("DDNS LOGIN ERROR", 0);
        if (fill < sizeof reply) continue;
        std::string address;
        int port = 0;
        ControlPacket::ParseDdnsReply(reply, fill, address, port);
        {
            std::lock_guard<std::mutex> lock(configMutex_);
            address_ = address;
            port_ = port;
        }
        resolved_.store(true);
        CloseSocket(ddnsSocket_);
        return true;
    }
}

int NetClient::SendKey(int code)
{
    if (!loggedIn_.load()) return 0;
    std::lock_guard<std::mutex> lock(keyMutex_);
    if (pendingKeys_.size() >= kMaxPendingKeys) return 0;
    pendingKeys_.push_back(code);
    return 1;
}

void NetClient::SendPendingKeys()
{
    std::vector<int> keys;
    {
        std::lock_guard<std::mutex> lock(keyMutex_);
        keys.swap(pendingKeys_);
    }
    for (const int code : keys) {
        const auto packet = ControlPacket::Key(static_cast<std::uint32_t>(code));
        if (!SendToRecorder(packet.data(), packet.size())) break;
    }
}

void NetClient::SendMouseReport(const MouseReport& report)
{
    const int mode = mouseMode_.load();
    if (mode == 0 || !loggedIn_.load()) return;
    const int event = report.code + (mode == 2 ? kMouseShowCursor : 0);
    const auto packet = ControlPacket::Mouse(event, report.clientWidth, report.clientHeight, report.x, report.y);
    SendToRecorder(packet.data(), packet.size());
}

void NetClient::HandleMessage(const ControlMessage& message)
{
    switch (message.code) {
    case MSG_STATUS:
    case MSG_STATUS_FIVE: Post(WM_NET_STATUS); break;
    case MSG_SERVER_CLOSED: Post(WM_NET_SERVER_CLOSED); break;
    default: break;
    }
}

int NetClient::Run()
{
    std::uint32_t lastData = MillisecondClock::Now();
    std::uint32_t nextMouse = lastData;
    bool silenceReported = false;
    std::string address, ddnsAddress;
    int port = 0, ddnsPort = 0;
    bool useDdns = false;
    {
        std::lock_guard<std::mutex> lock(configMutex_);
        useDdns = useDdns_;
        ddnsAddress = ddnsAddress_;
        ddnsPort = ddnsPort_;
    }

    for (;;) {
        if (Stopping()) {
            if (loggedIn_.load()) {
                const auto logout = ControlPacket::Logout();
                SendToRecorder(logout.data(), logout.size());
            }
            break;
        }
        if (useDdns && !resolved_.load()) {
            SetConnState(kConnConnectingDdns);
            const Reached reached = Connect(ddnsSocket_, ddnsAddress, ddnsPort, false);
            if (reached != Reached::kConnected) {
                SetConnState(kConnIdle);
                if (reached == Reached::kAddressUnknown) {
                    Post(WM_NET_ADDRESS_UNKNOWN);
                    break;
                }
                Pause(kRetryPauseMs);
                continue;
            }
            SetConnState(kConnDdnsLogin);
            if (!Lookup()) {
                SetConnState(kConnIdle);
                Post(WM_NET_LOGIN_FAILED);
                break;
            }
            SetConnState(kConnDdnsDone);
            lastData = MillisecondClock::Now();
        }
        if (!loggedIn_.load()) {
            {
                std::lock_guard<std::mutex> lock(configMutex_);
                address = address_;
                port = port_;
            }
            SetConnState(kConnConnectingDvr);
            const Reached reached = Connect(socket_, address, port, true);
            if (reached != Reached::kConnected) {
                SetConnState(kConnIdle);
                if (reached == Reached::kAddressUnknown) {
                    Post(WM_NET_ADDRESS_UNKNOWN);
                    break;
                }
                Pause(kRetryPauseMs);
                continue;
            }
            SetConnState(kConnLoggingIn);
            if (!Login()) {
                SetConnState(kConnIdle);
                // Stopped while waiting for the reply: nothing failed.
                if (!Stopping()) Post(WM_NET_LOGIN_FAILED);
                break;
            }
            {
                // Keys meant for a connection that has gone are not sent to the new one.
                std::lock_guard<std::mutex> lock(keyMutex_);
                pendingKeys_.clear();
            }
            SetConnState(kConnOnline);
            lastData = MillisecondClock::Now();
            silenceReported = false;
        }

        if (loggedIn_.load()) SendPendingKeys();
        if (loggedIn_.load() && static_cast<std::int32_t>(MillisecondClock::Now() - nextMouse) >= 0) {
            MouseReport report;
            if (mouseSource_.load()->Take(report)) {
                SendMouseReport(report);
                nextMouse = MillisecondClock::Now() + kMouseReportIntervalMs;
            }
        }

        if (ElapsedMoreThan(lastData, timeoutMs_.load())) {
            if (autoReconnect_.load() && loggedIn_.load() && socket_ >= 0) {
                CloseSocket(socket_);
                loggedIn_.store(false);
                Pause(kRetryPauseMs);
                continue;
            }
            if (!silenceReported) {
                Post(WM_NET_NO_RESPONSE);
                silenceReported = true;
            }
        }

        const int ready = WaitReadable(socket_, kIdleSliceMs);
        if (ready <= 0) {
            if (ready < 0) Pause(kIdleSliceMs);
            continue;
        }
        const ssize_t n = ::recv(socket_, receiveBuffer_.get(), kReceiveSize, 0);
        if (n > 0) {
            parser_.Feed(receiveBuffer_.get(), static_cast<std::size_t>(n));
            lastData = MillisecondClock::Now();
            silenceReported = false;
        } else {
            // Closed by the recorder, or failed: the silence time-out gives the connection up.
            Pause(kIdleSliceMs);
        }
    }

    CloseSocket(socket_);
    CloseSocket(ddnsSocket_);
    loggedIn_.store(false);
    resolved_.store(false);
    SetConnState(kConnIdle);
    return 1;
}

}  // namespace tamlorex
