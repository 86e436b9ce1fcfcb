#include "sim/recorder_sim.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tamlorex::sim {
namespace {

constexpr std::size_t kReadChunk = 65536;
constexpr std::size_t kMaxBacklog = 1 << 20;    // bytes queued for a client before pictures are skipped
constexpr int kMaxRefusing = 4;                 // second clients waiting for their refusal
constexpr int kMaxLookups = 8;
constexpr double kLookupTimeout = 5;
constexpr double kRefuseTimeout = 2;
constexpr double kSoundUnitSeconds = 0.05;      // 400 samples per unit at 8000 Hz
constexpr double kStatusEvery = 1.0;
constexpr int kStatusBlockEvery = 5;            // every fifth status message carries five values
constexpr double kMaxLag = 0.25;                // a clock further behind than this skips ahead
constexpr double kDrainCheck = 0.02;            // how often a pending silence looks at the queue

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

bool SetNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

int Listen(const std::string& address, int port, int& boundPort, std::string& error)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
        error = "not an IPv4 address: " + address;
        return -1;
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, 8) != 0 || !SetNonBlocking(fd)) {
        error = "cannot listen on " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    socklen_t len = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    boundPort = ntohs(sa.sin_port);
    return fd;
}

std::string PeerText(const sockaddr_in& sa)
{
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(sa.sin_port));
}

std::uint32_t TimeOfDay()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return static_cast<std::uint32_t>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
}

}  // namespace

struct RecorderSim::Client {
    enum class State { AwaitLogin, Waiting, Online, Closing };
    int fd = -1;
    std::string peer;
    State state = State::AwaitLogin;
    PacketReader reader;
    std::vector<std::uint8_t> out;
    std::size_t sent = 0;
    double since = 0;         // when it connected
    double onlineSince = 0;   // when it logged in
    bool inPictureGap = false;
    double acceptAt = 0;      // Waiting: when the accept goes out
    double lastProgress = 0;  // last time the client took bytes
    double nextPicture = 0, nextSound = 0, nextStatus = 0;
    double soundOwed = 0;     // samples due but not yet sent, fractional
    int statusCount = 0;
    // Hostile mode: a silence waiting for what is queued to go out, the silence itself, and
    // whether the recorder closes the connection on purpose.
    bool stallPending = false;
    double stallSeconds = 0;
    double holdUntil = 0;
    bool hostileClose = false;

    std::size_t Pending() const { return out.size() - sent; }
    void Queue(const std::vector<std::uint8_t>& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
    ~Client()
    {
        if (fd >= 0) close(fd);
    }
};

struct RecorderSim::Lookup {
    int fd = -1;
    std::string peer;
    std::uint8_t request[kDdnsRequestSize] = {};
    std::size_t have = 0;
    std::vector<std::uint8_t> reply;
    std::size_t sent = 0;
    double since = 0;
    bool done = false;
    ~Lookup()
    {
        if (fd >= 0) close(fd);
    }
};

RecorderSim::RecorderSim(ServeOptions options, LogSink log)
    : options_(std::move(options)), log_(std::move(log)), view_(options_.feed.channels), feed_(options_.feed)
{
    if (!(options_.fps > 0)) options_.fps = 25;
    if (options_.hostile.on) hostile_ = std::make_unique<HostileSchedule>(options_.hostile);
}

RecorderSim::~RecorderSim()
{
    if (listenFd_ >= 0) close(listenFd_);
    if (ddnsFd_ >= 0) close(ddnsFd_);
}

double RecorderSim::Now() const
{
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
    return static_cast<double>(us - startMicros_) / 1e6;
}

void RecorderSim::Log(const std::string& fields)
{
    if (!log_) return;
    log_("{\"t\":" + std::to_string(static_cast<long long>(Now() * 1000)) + "," + fields + "}");
}

bool RecorderSim::Start(std::string& error)
{
    startMicros_ = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
    if (!feed_.Open(error)) return false;
    listenFd_ = Listen(options_.bind, options_.port, port_, error);
    if (listenFd_ < 0) return false;
    if (options_.ddnsPort >= 0) {
        ddnsFd_ = Listen(options_.bind, options_.ddnsPort, ddnsPort_, error);
        if (ddnsFd_ < 0) return false;
    }
    return true;
}

void RecorderSim::Accept()
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    const int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto c = std::make_unique<Client>();
    c->fd = fd;
    c->peer = PeerText(sa);
    c->since = c->lastProgress = Now();
    ++stats_.connections;
    if (!client_) {
        Log("\"connected\":" + JsonString(c->peer));
        client_ = std::move(c);
        return;
    }
    // One client at a time: a second one hears "too many clients" once it has sent its login.
    if (static_cast<int>(refused_.size()) >= kMaxRefusing) {
        Log("\"busy\":" + JsonString(c->peer) + ",\"closed\":1");
        return;
    }
    Log("\"busy\":" + JsonString(c->peer));
    refused_.push_back(std::move(c));
}

void RecorderSim::AcceptLookup()
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    const int fd = accept4(ddnsFd_, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    auto l = std::make_unique<Lookup>();
    l->fd = fd;
    l->peer = PeerText(sa);
    l->since = Now();
    if (static_cast<int>(lookups_.size()) >= kMaxLookups) return;  // closed by its destructor
    lookups_.push_back(std::move(l));
}

std::uint32_t RecorderSim::ReplyAddress(int fd) const
{
    in_addr a{};
    if (inet_pton(AF_INET, options_.bind.c_str(), &a) == 1 && a.s_addr != htonl(INADDR_ANY)) return a.s_addr;
    // Listening on every address: answer with the one the asker reached.
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0) return sa.sin_addr.s_addr;
    return htonl(INADDR_LOOPBACK);
}

void RecorderSim::ServeLookup(Lookup& l)
{
    if (l.reply.empty()) {
        const ssize_t n = recv(l.fd, l.request + l.have, kDdnsRequestSize - l.have, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            l.done = true;
            return;
        }
        if (n > 0) l.have += static_cast<std::size_t>(n);
        if (l.have < kDdnsRequestSize) return;
        std::string asked;
        if (!ControlPacket::ParseDdnsRequest(l.request, l.have, asked)) {
            Log("\"lookup\":null,\"from\":" + JsonString(l.peer) + ",\"error\":\"bad request\"");
            l.done = true;
            return;
        }
        std::string known = options_.name.substr(0, kDdnsNameSize);
        known.resize(std::strlen(known.c_str()));
        ++stats_.lookups;
        // An unknown name gets ten zero bytes, which no client takes for an answer.
        l.reply.assign(kDdnsReplySize, 0);
        if (asked == known) {
            const std::uint32_t address = ReplyAddress(l.fd);  // network order
            std::array<std::uint8_t, 4> octets{};
            std::memcpy(octets.data(), &address, 4);
            const auto reply = ControlPacket::DdnsReply(octets, static_cast<std::uint16_t>(port_));
            l.reply.assign(reply.begin(), reply.end());
            char text[INET_ADDRSTRLEN] = "?";
            inet_ntop(AF_INET, &address, text, sizeof text);
            Log("\"lookup\":" + JsonString(asked) + ",\"answer\":" + JsonString(std::string(text) + ":" + std::to_string(port_)));
        } else {
            Log("\"lookup\":" + JsonString(asked) + ",\"answer\":null");
        }
    }
    const ssize_t n = send(l.fd, l.reply.data() + l.sent, l.reply.size() - l.sent, MSG_NOSIGNAL);
    if (n > 0) l.sent += static_cast<std::size_t>(n);
    else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) l.done = true;
    if (l.sent == l.reply.size()) {
        shutdown(l.fd, SHUT_WR);
        l.done = true;
    }
}

void RecorderSim::CloseClient(std::unique_ptr<Client>& c, const char* why)
{
    if (!c) return;
    Log("\"disconnected\":" + JsonString(c->peer) + ",\"reason\":" + JsonString(why));
    c.reset();
}

bool RecorderSim::Flush(Client& c)
{
    while (c.Pending() > 0) {
        const ssize_t n = send(c.fd, c.out.data() + c.sent, c.Pending(), MSG_NOSIGNAL);
        if (n > 0) {
            c.sent += static_cast<std::size_t>(n);
            c.lastProgress = Now();
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n < 0 && errno == EINTR) continue;
        return false;
    }
    if (c.sent == c.out.size()) {
        c.out.clear();
        c.sent = 0;
    } else if (c.sent > kMaxBacklog) {
        c.out.erase(c.out.begin(), c.out.begin() + static_cast<std::ptrdiff_t>(c.sent));
        c.sent = 0;
    }
    return true;
}

void RecorderSim::ReadClient(Client& c, bool primary)
{
    std::vector<std::uint8_t> buffer(kReadChunk);
    const ssize_t n = recv(c.fd, buffer.data(), buffer.size(), 0);
    if (n == 0) {
        c.state = Client::State::Closing;
        c.out.clear();
        c.sent = 0;
        return;
    }
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            c.state = Client::State::Closing;
            c.out.clear();
            c.sent = 0;
        }
        return;
    }
    std::vector<PacketReader::Packet> packets;
    const std::uint64_t junkBefore = c.reader.DroppedBytes();
    c.reader.Feed(buffer.data(), static_cast<std::size_t>(n), packets);
    const std::uint64_t junk = c.reader.DroppedBytes() - junkBefore;
    if (junk > 0) {
        stats_.junkBytes += junk;
        Log("\"junk\":" + std::to_string(junk) + ",\"oversized\":" + std::to_string(c.reader.OversizedPackets()));
    }
    for (const auto& p : packets) {
        if (c.state == Client::State::Closing) break;
        HandlePacket(c, primary, p);
    }
}

void RecorderSim::HandleLogin(Client& c, bool primary, const PacketReader::Packet& p)
{
    if (!primary) {
        ++stats_.busyRefusals;
        c.Queue(ControlPacket::Build(kLoginReplyRefusedOther, {kRefusalTooManyClients}));
        c.state = Client::State::Closing;
        Log("\"login\":\"refused\",\"reason\":\"too many clients\",\"peer\":" + JsonString(c.peer));
        return;
    }
    if (p.bytes.size() < kLoginPacketSize || !LoginMatches(p.bytes.data(), p.bytes.size(), options_.password)) {
        ++stats_.refusedLogins;
        c.Queue(ControlPacket::Build(kLoginReplyRefused, {kRefusalBadPassword}));
        c.state = Client::State::Closing;
        Log("\"login\":\"refused\",\"reason\":\"incorrect password\"");
        return;
    }
    if (options_.waitMs > 0) {
        c.Queue(ControlPacket::Build(kLoginReplyWait, {}));
        c.state = Client::State::Waiting;
        c.acceptAt = Now() + options_.waitMs / 1000.0;
        Log("\"login\":\"wait\"");
        return;
    }
    GoOnline(c);
}

void RecorderSim::GoOnline(Client& c)
{
    c.Queue(ControlPacket::Build(kLoginReplyAccepted, {}));
    c.state = Client::State::Online;
    ++stats_.logins;
    feed_.Restart();
    const double now = Now();
    c.nextPicture = c.nextSound = now;
    c.nextStatus = now + kStatusEvery;
    c.onlineSince = now;
    c.inPictureGap = false;
    if (hostile_) hostile_->Restart(now);
    Log("\"login\":\"accepted\"");
}

void RecorderSim::HandlePacket(Client& c, bool primary, const PacketReader::Packet& p)
{
    const std::size_t length = p.bytes.size();
    if (p.code == CMD_LOGIN && c.state == Client::State::AwaitLogin) {
        HandleLogin(c, primary, p);
        return;
    }
    if (c.state != Client::State::Online) {
        Log("\"packet\":" + std::to_string(p.code) + ",\"length\":" + std::to_string(length) + ",\"ignored\":\"not logged in\"");
        return;
    }
    if (p.code == CMD_KEY && length >= kKeyPacketSize) {
        const int key = HexField::Read(p.bytes.data() + 12) & 0xFF;
        ++stats_.keys;
        const std::string effect = view_.HandleKey(key, Now());
        Log("\"key\":" + std::to_string(key) + ",\"name\":" + JsonString(KeyName(key)) + ",\"effect\":" + JsonString(effect));
    } else if (p.code == CMD_MOUSE && length >= kMousePacketSize) {
        int v[5];
        for (int i = 0; i < 5; ++i) v[i] = HexField::Read(p.bytes.data() + 12 + 4 * i);
        ++stats_.mouseReports;
        view_.HandleMouse(v[0], v[1], v[2], v[3], v[4]);
        Log("\"mouse\":" + std::to_string(v[0]) + ",\"width\":" + std::to_string(v[1]) + ",\"height\":" + std::to_string(v[2]) +
            ",\"x\":" + std::to_string(v[3]) + ",\"y\":" + std::to_string(v[4]));
    } else if (p.code == CMD_LOGOUT) {
        ++stats_.logouts;
        Log("\"logout\":1");
        c.state = Client::State::Closing;
        c.out.clear();
        c.sent = 0;
    } else {
        Log("\"packet\":" + std::to_string(p.code) + ",\"length\":" + std::to_string(length) + ",\"ignored\":\"unknown\"");
    }
}

bool RecorderSim::Hostile(Client& c, double now)
{
    if (c.stallPending && c.Pending() == 0) {
        c.stallPending = false;
        c.holdUntil = now + c.stallSeconds;
    }
    if (c.stallPending || now < c.holdUntil) {
        // Nothing is made while silent; the clocks resume where the silence ends.
        const double resume = c.stallPending ? now + kDrainCheck : c.holdUntil;
        c.nextPicture = std::max(c.nextPicture, resume);
        c.nextSound = std::max(c.nextSound, resume);
        c.nextStatus = std::max(c.nextStatus, resume);
        c.lastProgress = now;  // the silence is the recorder's, not the client's
        return false;
    }
    if (!hostile_->Due(now)) return true;

    // A cut shortens a unit made for it now.
    std::vector<std::uint8_t> unit;
    const char* name = "";
    if (hostile_->PeekKind() == HostileKind::kCut) {
        switch (hostile_->PeekCutUnit()) {
        case CutUnit::kPicture:
            name = "picture";
            feed_.Pictures(now, TimeOfDay(), view_, unit);
            if (!unit.empty()) break;
            [[fallthrough]];
        case CutUnit::kSound:
            name = "sound";
            feed_.Sound(static_cast<std::size_t>(kSoundUnitSeconds * feed_.SoundFormat().rate), unit);
            if (!unit.empty()) break;
            [[fallthrough]];
        case CutUnit::kMessage:
            name = "message";
            unit = ControlPacket::Build(MSG_STATUS_FIVE, {view_.StatusValue(), static_cast<std::uint16_t>(view_.Split()),
                                                          static_cast<std::uint16_t>(view_.Channel() + 1),
                                                          static_cast<std::uint16_t>(view_.Recording()), feed_.FrameNumber()});
            break;
        }
    }
    const HostileEvent e = hostile_->Take(now, unit, name);
    ++stats_.hostileEvents;
    Log(e.fields);
    c.Queue(e.bytes);
    if (e.close) {
        c.state = Client::State::Closing;
        c.hostileClose = true;
        return false;
    }
    if (e.stallSeconds > 0) {
        c.stallPending = true;
        c.stallSeconds = e.stallSeconds;
        return false;
    }
    return true;
}

void RecorderSim::Stream(Client& c, double now)
{
    if (hostile_ && !Hostile(c, now)) return;
    const double picturePeriod = 1.0 / options_.fps;
    if (now - c.nextPicture > kMaxLag) c.nextPicture = now;  // the encoder fell behind: skip, do not queue up
    // The gap of pictures: the picture clock runs on, nothing is made; sound and status go on.
    const double online = now - c.onlineSince;
    const bool gap = (options_.pictureGapAt >= 0 && online >= options_.pictureGapAt &&
                      online < options_.pictureGapAt + options_.pictureGapSeconds) ||
                     (holdPictures_ != nullptr && holdPictures_->load());
    if (gap != c.inPictureGap) {
        c.inPictureGap = gap;
        Log(gap ? "\"pictures\":\"paused\"" : "\"pictures\":\"resumed\"");
    }
    if (now >= c.nextPicture) {
        c.nextPicture += picturePeriod;
        if (gap) {
            // The tick passes without a picture.
        } else if (c.Pending() > kMaxBacklog) {
            ++stats_.droppedPictures;
        } else {
            stats_.pictures += static_cast<std::uint64_t>(feed_.Pictures(now, TimeOfDay(), view_, c.out));
        }
    }
    if (now - c.nextSound > kMaxLag) c.nextSound = now;
    while (now >= c.nextSound) {
        c.nextSound += kSoundUnitSeconds;
        if (c.Pending() > kMaxBacklog) continue;
        // Rates like 13183 Hz give no whole number of samples per unit: the fraction carries.
        c.soundOwed += kSoundUnitSeconds * feed_.SoundFormat().rate;
        const auto samples = static_cast<std::size_t>(c.soundOwed);
        c.soundOwed -= static_cast<double>(samples);
        const std::size_t before = c.out.size();
        feed_.Sound(samples, c.out);
        if (c.out.size() > before) ++stats_.soundUnits;
    }
    if (now >= c.nextStatus) {
        c.nextStatus = std::max(c.nextStatus + kStatusEvery, now);
        const std::uint16_t status = view_.StatusValue();
        if (++c.statusCount % kStatusBlockEvery == 0)
            c.Queue(ControlPacket::Build(MSG_STATUS_FIVE, {status, static_cast<std::uint16_t>(view_.Split()),
                                                  static_cast<std::uint16_t>(view_.Channel() + 1),
                                                  static_cast<std::uint16_t>(view_.Recording()), feed_.FrameNumber()}));
        else
            c.Queue(ControlPacket::Build(MSG_STATUS, {status}));
        ++stats_.statusMessages;
    }
}

void RecorderSim::Run(const std::atomic<bool>& stop)
{
    std::vector<pollfd> fds;
    while (!stop.load()) {
        const double now = Now();
        if (options_.seconds > 0 && now >= options_.seconds) break;

        // Timers of the connected client.
        if (client_) {
            Client& c = *client_;
            if (c.state == Client::State::AwaitLogin && now - c.since > options_.loginTimeout) {
                CloseClient(client_, "no login");
            } else if (c.state == Client::State::Waiting && now >= c.acceptAt) {
                GoOnline(c);
            } else if (c.state == Client::State::Online) {
                Stream(c, now);
                if (c.Pending() > 0 && now - c.lastProgress > options_.stallTimeout) CloseClient(client_, "not reading");
            }
        }
        for (auto& r : refused_)
            if (r && r->state != Client::State::Closing && now - r->since > kRefuseTimeout) {
                r->Queue(ControlPacket::Build(kLoginReplyRefusedOther, {kRefusalTooManyClients}));
                r->state = Client::State::Closing;
                ++stats_.busyRefusals;
            }
        for (auto& l : lookups_)
            if (now - l->since > kLookupTimeout) l->done = true;

        // Write what is queued; a client that is done and flushed goes.
        if (client_ && !Flush(*client_)) CloseClient(client_, "send failed");
        if (client_ && client_->state == Client::State::Closing && client_->Pending() == 0)
            CloseClient(client_, client_->hostileClose ? "hostile" : "closed");
        for (auto& r : refused_)
            if (!Flush(*r) || (r->state == Client::State::Closing && r->Pending() == 0)) r.reset();
        std::erase_if(refused_, [](const auto& r) { return !r; });
        std::erase_if(lookups_, [](const auto& l) { return l->done; });

        fds.clear();
        fds.push_back({listenFd_, POLLIN, 0});
        fds.push_back({ddnsFd_, static_cast<short>(ddnsFd_ >= 0 ? POLLIN : 0), 0});
        if (client_) fds.push_back({client_->fd, static_cast<short>(POLLIN | (client_->Pending() ? POLLOUT : 0)), 0});
        for (auto& r : refused_) fds.push_back({r->fd, static_cast<short>(POLLIN | (r->Pending() ? POLLOUT : 0)), 0});
        for (auto& l : lookups_) fds.push_back({l->fd, static_cast<short>(l->reply.empty() ? POLLIN : POLLOUT), 0});

        double wake = now + 0.05;
        if (client_ && client_->state == Client::State::Online)
            wake = std::min({wake, client_->nextPicture, client_->nextSound, client_->nextStatus});
        if (client_ && client_->state == Client::State::Waiting) wake = std::min(wake, client_->acceptAt);
        const int timeout = std::clamp(static_cast<int>((wake - Now()) * 1000), 0, 50);
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;

        std::size_t i = 0;
        const pollfd listenPoll = fds[i++];
        const pollfd ddnsPoll = fds[i++];
        if (client_) {
            const pollfd p = fds[i++];
            if (p.revents & (POLLIN | POLLERR | POLLHUP)) ReadClient(*client_, true);
            if (client_->state == Client::State::Closing && client_->out.empty()) CloseClient(client_, "closed by client");
        }
        for (auto& r : refused_) {
            const pollfd p = fds[i++];
            if (p.revents & (POLLIN | POLLERR | POLLHUP)) ReadClient(*r, false);
            if (r->state == Client::State::Closing && r->out.empty()) r.reset();
        }
        std::erase_if(refused_, [](const auto& r) { return !r; });
        for (auto& l : lookups_) {
            const pollfd p = fds[i++];
            if (p.revents) ServeLookup(*l);
        }
        if (listenPoll.revents & POLLIN) Accept();
        if (ddnsFd_ >= 0 && (ddnsPoll.revents & POLLIN)) AcceptLookup();
    }

    // Leaving: an online client is told that the server closes the connection.
    if (client_ && client_->state == Client::State::Online) {
        client_->out.erase(client_->out.begin(), client_->out.begin() + static_cast<std::ptrdiff_t>(client_->sent));
        client_->sent = 0;
        // The message goes after what is queued, so that no unit is cut.
        client_->Queue(ControlPacket::Build(MSG_SERVER_CLOSED, {}));
        const double until = Now() + 1.0;
        while (client_->Pending() > 0 && Now() < until) {
            if (!Flush(*client_)) break;
            pollfd p{client_->fd, POLLOUT, 0};
            poll(&p, 1, 20);
        }
        Log("\"closing\":1");
    }
    CloseClient(client_, "server stopped");
    refused_.clear();
    lookups_.clear();
}

}  // namespace tamlorex::sim
