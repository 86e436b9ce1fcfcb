#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/control_packet.h"
#include "net/fake_recorder.h"
#include "net/net_client.h"
#include "platform/notifier.h"
#include "platform/system_error.h"

namespace tamlorex {
namespace {

using testing::FakeRecorder;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

int OpenDescriptors()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
    }
    return count;
}

class Recording : public Notifier, public NetClientListener {
public:
    void Post(std::uint32_t message, std::uintptr_t, std::intptr_t) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(message);
    }
    void OnConnState(int state) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        states_.push_back(state);
    }
    void OnErrorText(const std::string& text) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        errors_.push_back(text);
    }
    std::vector<std::uint32_t> Messages() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    std::vector<int> States() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return states_;
    }
    std::vector<std::string> Errors() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return errors_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::uint32_t> messages_;
    std::vector<int> states_;
    std::vector<std::string> errors_;
};

struct ClientRig {
    Recording seen;
    NetClient client;
    explicit ClientRig(int timeoutMs)
    {
        client.SetNotifyWindow(&seen);
        client.SetListener(&seen);
        client.SetTimeout(timeoutMs);
    }
    ~ClientRig() { client.Stop(); }
    void Connect(int port, const std::string& password = "secret")
    {
        client.SetDirectTarget("127.0.0.1", port, password);
        client.Start();
    }
};

bool WaitFor(const std::function<bool()>& condition, int ms)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

// A session that checks the login packet and then answers with the given replies, each after
// its delay from the login, and then holds the connection.
FakeRecorder::Session Replies(std::vector<std::pair<int, Bytes>> replies, int holdMs = 3000)
{
    return [replies](FakeRecorder& r, int fd, int) {
        const Bytes login = r.ReadPacket(fd, 2000);
        if (login != ControlPacket::Login("secret")) return;
        const auto sent = Clock::now();
        for (const auto& [delay, bytes] : replies) {
            if (!r.Sleep(static_cast<int>(delay - MsSince(sent)))) return;
            FakeRecorder::Send(fd, bytes);
        }
        r.WaitClosed(fd, 3000);
    };
}

Bytes Reply(std::uint16_t code) { return ControlPacket::Build(code, {}); }
Bytes Refusal(std::uint16_t code, std::uint16_t reason) { return ControlPacket::Build(code, {reason}); }

TEST(NetClient, WaitThenAcceptLogsIn)
{
    FakeRecorder recorder(Replies({{100, Reply(kLoginReplyWait)}, {600, Reply(kLoginReplyAccepted)}}));
    ClientRig rig(2000);
    rig.Connect(recorder.Port());
    ASSERT_TRUE(WaitFor([&] { return rig.client.GetConnState() == kConnOnline; }, 3000));
    EXPECT_EQ(rig.client.IsOnline(), 1);
    EXPECT_EQ(rig.seen.States(), (std::vector<int>{kConnConnectingDvr, kConnLoggingIn, kConnOnline}));
    EXPECT_TRUE(rig.seen.Messages().empty());
}

TEST(NetClient, LoginTimeLimitCountsFromTheSendNotFromAWait)
{
    // The wait arrives at 400 ms, the accept at 1300 ms: within 1000 ms of the wait, but past
    // 1000 ms from the send.
    FakeRecorder recorder(Replies({{400, Reply(kLoginReplyWait)}, {1300, Reply(kLoginReplyAccepted)}}));
    ClientRig rig(1000);
    const auto start = Clock::now();
    rig.Connect(recorder.Port());
    ASSERT_TRUE(WaitFor([&] { return !rig.client.IsRunning(); }, 3000));
    EXPECT_LT(MsSince(start), 1300);
    EXPECT_EQ(rig.client.GetErrorText(), "No response from server.");
    EXPECT_EQ(rig.seen.Messages(), std::vector<std::uint32_t>{WM_NET_LOGIN_FAILED});
    EXPECT_EQ(rig.client.GetConnState(), kConnIdle);
}

TEST(NetClient, RepliesInOneReadAreHandledInOrderAndSplitRepliesAreCompleted)
{
    const Bytes both = Reply(kLoginReplyWait) + Reply(kLoginReplyAccepted);
    const Bytes refusal = Refusal(kLoginReplyRefused, kRefusalBadPassword);
    for (const auto& replies : {std::vector<std::pair<int, Bytes>>{{50, both}},
                                std::vector<std::pair<int, Bytes>>{{50, Bytes(refusal.begin(), refusal.begin() + 6)},
                                                                   {250, Bytes(refusal.begin() + 6, refusal.end())}}}) {
        FakeRecorder recorder(Replies(replies));
        ClientRig rig(2000);
        rig.Connect(recorder.Port());
        const bool accept = replies.size() == 1;
        ASSERT_TRUE(WaitFor([&] { return accept ? rig.client.IsOnline() == 1 : !rig.client.IsRunning(); }, 3000));
        if (!accept) EXPECT_EQ(rig.client.GetErrorText(), "Incorrect password.");
    }
}

TEST(NetClient, RefusalsAndBadRepliesFailTheLoginWithTheirTexts)
{
    const std::pair<Bytes, const char*> cases[] = {
        {Refusal(kLoginReplyRefused, 1), "Too many client."},
        {Refusal(kLoginReplyRefusedOther, 2), "Incorrect password."},
        {Refusal(kLoginReplyRefused, 3), "Bad network"},
        {Refusal(kLoginReplyRefusedOther, 9), "Unkown error."},
        {Reply(7), "LOGIN ERROR"},
        {Bytes{0x00, 0x00, 0x01, 0xFF, '0', '0', '0', 'C', '0', '0', '0', '3'}, "LOGIN ERROR"},
    };
    for (const auto& [reply, text] : cases) {
        FakeRecorder recorder(Replies({{20, reply}}));
        ClientRig rig(2000);
        rig.Connect(recorder.Port());
        ASSERT_TRUE(WaitFor([&] { return !rig.client.IsRunning(); }, 3000)) << text;
        EXPECT_EQ(rig.client.GetErrorText(), text);
        EXPECT_EQ(rig.seen.Messages(), std::vector<std::uint32_t>{WM_NET_LOGIN_FAILED}) << text;
        EXPECT_EQ(rig.seen.States(), (std::vector<int>{kConnConnectingDvr, kConnLoggingIn, kConnIdle})) << text;
        EXPECT_EQ(rig.client.IsOnline(), 0);
    }
}

TEST(NetClient, RecorderClosingDuringLoginFailsAtOnce)
{
    FakeRecorder recorder([](FakeRecorder& r, int fd, int) { r.ReadPacket(fd, 2000); });
    ClientRig rig(5000);
    const auto start = Clock::now();
    rig.Connect(recorder.Port());
    ASSERT_TRUE(WaitFor([&] { return !rig.client.IsRunning(); }, 3000));
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_EQ(rig.seen.Messages(), std::vector<std::uint32_t>{WM_NET_LOGIN_FAILED});
}

TEST(NetClient, RefusedConnectIsRetriedAfterAPause)
{
    int port = 0;
    {
        FakeRecorder closed(nullptr);  // a port that nothing listens on once this goes
        port = closed.Port();
    }
    ClientRig rig(3000);
    const auto start = Clock::now();
    rig.Connect(port);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    rig.client.Stop();
    const auto states = rig.seen.States();
    // 1 -> 0 per attempt: two attempts in 1.5 s, not a tight loop.
    const auto attempts = std::count(states.begin(), states.end(), kConnConnectingDvr);
    EXPECT_GE(attempts, 2);
    EXPECT_LE(attempts, 3);
    EXPECT_TRUE(rig.seen.Messages().empty());
    EXPECT_EQ(rig.client.GetErrorText(), ErrorText(ECONNREFUSED));
    EXPECT_GE(MsSince(start), 1500);
}

TEST(NetClient, AddressZeroIsNotConnectedTo)
{
    ClientRig rig(3000);
    rig.client.SetDirectTarget("0.0.0.0", 8841, "");
    rig.client.Start();
    ASSERT_TRUE(WaitFor([&] { return !rig.seen.Errors().empty(); }, 2000));
    rig.client.Stop();
    EXPECT_EQ(rig.seen.Errors()[0], ErrorText(ECONNREFUSED));
    std::string dotted;
    EXPECT_EQ(ResolveIPv4("0.0.0.0", dotted), 0);
    EXPECT_EQ(dotted, "0.0.0.0");
    EXPECT_EQ(ResolveIPv4("127.0.0.1", dotted), 0);
    EXPECT_EQ(dotted, "127.0.0.1");
    EXPECT_EQ(ResolveIPv4("localhost", dotted), 0);
    EXPECT_EQ(dotted, "127.0.0.1");
    dotted.clear();
    EXPECT_NE(ResolveIPv4("", dotted), 0);
    EXPECT_NE(ResolveIPv4("no-such-host.invalid", dotted), 0);
    EXPECT_TRUE(dotted.empty());
}

TEST(NetClient, HostNamesAreLookedUpAndAnUnknownOneEndsTheRunOnce)
{
    {
        FakeRecorder recorder(Replies({{20, Reply(kLoginReplyAccepted)}}));
        ClientRig rig(2000);
        rig.client.SetDirectTarget("localhost", recorder.Port(), "secret");
        rig.client.Start();
        ASSERT_TRUE(WaitFor([&] { return rig.client.IsOnline() == 1; }, 3000));
        EXPECT_EQ(rig.client.GetAddress(), "localhost");
    }
    // Neither the recorder's name nor the lookup server's is tried again, even with auto
    // reconnection on: the run ends after one attempt with the reason and one message.
    std::string unused;
    const int error = ResolveIPv4("no-such-host.invalid", unused);
    ASSERT_NE(error, 0);
    for (const bool lookupServer : {false, true}) {
        ClientRig rig(2000);
        rig.client.SetAutoReconnect(true);
        if (lookupServer) rig.client.SetDdnsTarget("no-such-host.invalid", 1800, "DVR000", "secret");
        else rig.client.SetDirectTarget("no-such-host.invalid", 8841, "secret");
        const auto start = Clock::now();
        rig.client.Start();
        ASSERT_TRUE(WaitFor([&] { return !rig.client.IsRunning(); }, 3000)) << lookupServer;
        EXPECT_LT(MsSince(start), 1000);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(rig.seen.Messages(), std::vector<std::uint32_t>{WM_NET_ADDRESS_UNKNOWN});
        const int connecting = lookupServer ? kConnConnectingDdns : kConnConnectingDvr;
        EXPECT_EQ(rig.seen.States(), (std::vector<int>{connecting, kConnIdle}));
        EXPECT_EQ(rig.client.GetErrorText(), std::string(lookupServer ? "The lookup server" : "The recorder") +
                                                 " address \"no-such-host.invalid\" could not be found (" +
                                                 gai_strerror(error) + ").");
    }
}

// A listener whose accept queue is full leaves further connects pending.
struct FullListener {
    FakeRecorder listener{nullptr, 0};
    std::vector<int> fillers;
    FullListener()
    {
        for (int i = 0; i < 3; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(static_cast<std::uint16_t>(listener.Port()));
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            fillers.push_back(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~FullListener()
    {
        for (int fd : fillers) ::close(fd);
    }
};

TEST(NetClient, StopDuringAPendingConnectIsQuickAndLeavesNoSocket)
{
    FullListener full;
    const int before = OpenDescriptors();
    ClientRig rig(10000);
    rig.Connect(full.listener.Port());
    ASSERT_TRUE(WaitFor([&] { return rig.client.GetConnState() == kConnConnectingDvr; }, 1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(rig.client.GetConnState(), kConnConnectingDvr);  // still pending
    const auto start = Clock::now();
    rig.client.Stop();
    EXPECT_LT(MsSince(start), 250);
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_EQ(rig.client.GetConnState(), kConnIdle);
}

TEST(NetClient, ConnectTimeOutReportsNoResponse)
{
    FullListener full;
    ClientRig rig(300);
    const auto start = Clock::now();
    rig.Connect(full.listener.Port());
    ASSERT_TRUE(WaitFor([&] { return !rig.seen.Messages().empty(); }, 2000));
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(rig.seen.Messages()[0], WM_NET_NO_RESPONSE);
}

// Logs in, sends the bytes given, then stays silent until the client closes.
FakeRecorder::Session SilentAfterLogin(const Bytes& stream)
{
    return [stream](FakeRecorder& r, int fd, int) {
        if (r.ReadPacket(fd, 2000) != ControlPacket::Login("secret")) return;
        FakeRecorder::Send(fd, Reply(kLoginReplyAccepted) + stream);
        r.WaitClosed(fd, 5000);
    };
}

TEST(NetClient, SilenceWhileOnlineReconnectsWithoutAMessage)
{
    FakeRecorder recorder(SilentAfterLogin({}));
    ClientRig rig(400);
    const auto start = Clock::now();
    rig.Connect(recorder.Port());
    ASSERT_TRUE(WaitFor([&] { return recorder.Accepted() >= 2 && rig.client.GetConnState() == kConnOnline; }, 4000));
    // 0.4 s of silence, 1 s pause, then the new connection.
    EXPECT_GE(MsSince(start), 1400);
    EXPECT_EQ(rig.seen.States(), (std::vector<int>{kConnConnectingDvr, kConnLoggingIn, kConnOnline, kConnConnectingDvr,
                                                   kConnLoggingIn, kConnOnline}));
    EXPECT_TRUE(rig.seen.Messages().empty());
}

TEST(NetClient, SilenceWithoutAutoReconnectionIsReportedOnce)
{
    FakeRecorder recorder(SilentAfterLogin({}));
    ClientRig rig(300);
    rig.client.SetAutoReconnect(false);
    rig.Connect(recorder.Port());
    ASSERT_TRUE(WaitFor([&] { return !rig.seen.Messages().empty(); }, 2000));
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(rig.seen.Messages(), std::vector<std::uint32_t>{WM_NET_NO_RESPONSE});
    EXPECT_EQ(recorder.Accepted(), 1);
    EXPECT_EQ(rig.client.GetConnState(), kConnOnline);
}

TEST(NetClient, StreamAfterTheAcceptReachesTheQueuesAndMessagesArePosted)
{
    const Bytes picture = {0x00, 0x00, 0x01, 0xF9, 0x80, 0x00, 0x01, 0x42, 0x42};
    const Bytes stream = picture + ControlPacket::Build(MSG_STATUS, {1}) + Bytes{0x00, 0x00, 0x01, 0xF9} +
                         ControlPacket::Build(MSG_SERVER_CLOSED, {});
    FakeRecorder recorder(SilentAfterLogin(stream));
    ClientRig rig(3000);
    rig.Connect(recorder.Port());
    ASSERT_TRUE(WaitFor([&] { return rig.seen.Messages().size() >= 2; }, 3000));
    EXPECT_EQ(rig.seen.Messages(), (std::vector<std::uint32_t>{WM_NET_STATUS, WM_NET_SERVER_CLOSED}));
    Bytes out(kRecordBufferSize);
    std::size_t length = 0;
    CalendarTime time;
    ASSERT_TRUE(rig.client.VideoQueue().Pop(out.data(), length, time));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(length)), picture);
}

TEST(NetClient, KeysMouseReportsAndLogoutGoOut)
{
    std::mutex mutex;
    Bytes received;
    FakeRecorder recorder([&](FakeRecorder& r, int fd, int) {
        if (r.ReadPacket(fd, 2000) != ControlPacket::Login("secret")) return;
        FakeRecorder::Send(fd, Reply(kLoginReplyAccepted));
        Bytes got;
        r.WaitClosed(fd, 5000, &got);
        std::lock_guard<std::mutex> lock(mutex);
        received = got;
    });
    PendingMouseReport mouse;
    ClientRig rig(3000);
    rig.client.SetMouseSource(&mouse);
    rig.client.SetMouseMode(2);
    EXPECT_EQ(rig.client.SendKey(0x15), 0);  // not logged in: nothing goes out
    rig.Connect(recorder.Port());
    ASSERT_TRUE(WaitFor([&] { return rig.client.IsOnline() == 1; }, 3000));
    EXPECT_EQ(rig.client.SendKey(0x15), 1);
    mouse.Put(MouseReport{4, 10, 20, 720, 480});
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the next report time comes within 250 ms
    rig.client.Stop();
    recorder.Stop();
    std::lock_guard<std::mutex> lock(mutex);
    const Bytes expected = ControlPacket::Key(0x15) + ControlPacket::Mouse(0x104, 720, 480, 10, 20) + ControlPacket::Logout();
    EXPECT_EQ(received, expected);
}

// A recorder that has stopped reading fills the connection; the keys the window sends never wait
// for it (they go out from the client's thread, and are refused once kMaxPendingKeys wait).
TEST(NetClient, KeysNeverWaitForARecorderThatStoppedReading)
{
    FakeRecorder recorder([](FakeRecorder& r, int fd, int) {
        if (r.ReadPacket(fd, 2000) != ControlPacket::Login("secret")) return;
        FakeRecorder::Send(fd, Reply(kLoginReplyAccepted));
        r.Sleep(8000);
    });
    ClientRig rig(4000);
    rig.Connect(recorder.Port());
    ASSERT_TRUE(WaitFor([&] { return rig.client.IsOnline() == 1; }, 3000));
    // Far more than the socket buffers hold.
    const auto start = Clock::now();
    int refused = 0;
    for (int i = 0; i < 400000 && MsSince(start) < 4000; ++i) refused += rig.client.SendKey(0x0D) == 0;
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_GT(refused, 0);
    recorder.Stop();
    rig.client.Stop();
}

TEST(NetClient, LookupServerGivesTheRecorderAddress)
{
    FakeRecorder recorder(SilentAfterLogin({}));
    std::string askedName;
    FakeRecorder lookup([&](FakeRecorder& r, int fd, int) {
        std::uint8_t request[kDdnsRequestSize];
        if (!r.ReadExactly(fd, request, sizeof request, 2000)) return;
        ControlPacket::ParseDdnsRequest(request, sizeof request, askedName);
        const auto reply = ControlPacket::DdnsReply({127, 0, 0, 1}, static_cast<std::uint16_t>(recorder.Port()));
        FakeRecorder::Send(fd, Bytes(reply.begin(), reply.end()));
        r.WaitClosed(fd, 2000);
    });
    ClientRig rig(3000);
    rig.client.SetDdnsTarget("127.0.0.1", lookup.Port(), "DVR12345678", "secret");
    rig.client.Start();
    ASSERT_TRUE(WaitFor([&] { return rig.client.IsOnline() == 1; }, 3000));
    EXPECT_EQ(askedName, "DVR12345");
    EXPECT_EQ(rig.client.GetAddress(), "127.0.0.1");
    EXPECT_EQ(rig.client.GetPort(), recorder.Port());
    EXPECT_EQ(rig.seen.States(), (std::vector<int>{kConnConnectingDdns, kConnDdnsLogin, kConnDdnsDone,
                                                   kConnConnectingDvr, kConnLoggingIn, kConnOnline}));
}

TEST(NetClient, BadLookupReplyFailsTheRun)
{
    FakeRecorder lookup([](FakeRecorder& r, int fd, int) {
        std::uint8_t request[kDdnsRequestSize];
        if (!r.ReadExactly(fd, request, sizeof request, 2000)) return;
        FakeRecorder::Send(fd, Bytes{0x55, 0xAA, 0x00, 0x00, 1, 2, 3, 4, 5, 6});
        r.WaitClosed(fd, 2000);
    });
    ClientRig rig(3000);
    rig.client.SetDdnsTarget("127.0.0.1", lookup.Port(), "DVR000", "secret");
    rig.client.Start();
    ASSERT_TRUE(WaitFor([&] { return !rig.client.IsRunning(); }, 3000));
    EXPECT_EQ(rig.client.GetErrorText(), "DDNS LOGIN ERROR");
    EXPECT_EQ(rig.seen.Messages(), std::vector<std::uint32_t>{WM_NET_LOGIN_FAILED});
}

}  // namespace
}  // namespace tamlorex
