#pragma once
// The network client of Client mode: connects to a recorder (directly or through a dynamic-IP
// lookup server), logs in with the MD5 digest of the password, receives the live stream and cuts
// it into the two record queues, sends mouse reports and, when stopped, logs out. One thread does
// all of it; the user-interface thread configures, starts and stops it and sends keys.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "display/mouse_report.h"
#include "net/record_queue.h"
#include "net/stream_parser.h"
#include "platform/worker_thread.h"

namespace tamlorex {

class Notifier;

enum ConnState : int {
    kConnIdle = 0,
    kConnConnectingDvr = 1,
    kConnLoggingIn = 2,
    kConnOnline = 3,
    kConnConnectingDdns = 4,
    kConnDdnsLogin = 5,
    kConnDdnsDone = 6,
};

inline constexpr int kDefaultRecorderPort = 8841;
inline constexpr int kDefaultDdnsPort = 1800;
inline constexpr const char* kDefaultDvrName = "DVR000";
inline constexpr int kDefaultConnectionTimeoutMs = 5000;
inline constexpr std::uint32_t kMouseReportIntervalMs = 250;

// Hears what the client thread changes (called on that thread).
class NetClientListener {
public:
    virtual ~NetClientListener() = default;
    virtual void OnConnState(int state) = 0;
    virtual void OnErrorText(const std::string& text) = 0;
};

// An address text as the client connects to it: a dotted IPv4 address as it stands, else the
// first IPv4 address of the host name (getaddrinfo, which may wait for the name server). 0 with
// `dotted` set to "%u.%u.%u.%u", else the getaddrinfo error (EAI_NONAME, EAI_AGAIN ...).
int ResolveIPv4(const std::string& text, std::string& dotted);

class NetClient : public WorkerThread {
public:
    NetClient();
    ~NetClient() override;

    void SetNotifyWindow(Notifier* notifier) { notifier_.store(notifier); }
    void SetListener(NetClientListener* listener) { listener_.store(listener); }
    // Configuration, before Start. Each address is a dotted IPv4 address or a host name; a name
    // is looked up on the client's thread when it connects. A name that cannot be found ends the
    // run: the error text names it and WM_NET_ADDRESS_UNKNOWN is posted (once).
    int SetDirectTarget(const std::string& address, int port, const std::string& password);
    int SetDdnsTarget(const std::string& ddnsAddress, int ddnsPort, const std::string& dvrName,
                      const std::string& password);
    void SetTimeout(int ms) { timeoutMs_.store(ms); }
    int GetTimeout() const { return timeoutMs_.load(); }
    // The "Auto Reconnection" setting: reconnect silently after a silent recorder, or report it.
    void SetAutoReconnect(bool on) { autoReconnect_.store(on); }
    bool GetAutoReconnect() const { return autoReconnect_.load(); }
    void SetMouseMode(int mode) { mouseMode_.store(mode); }
    int GetMouseMode() const { return mouseMode_.load(); }
    // Where mouse reports come from: the process-wide slot unless a test gives its own.
    void SetMouseSource(PendingMouseReport* source) { mouseSource_.store(source ? source : &PendingMouse()); }

    int IsOnline() const { return loggedIn_.load() ? 1 : 0; }
    int GetConnState() const { return connState_.load(); }
    std::string GetErrorText() const;
    // The recorder's address and port as they stand (a lookup replaces the configured ones).
    std::string GetAddress() const;
    int GetPort() const;

    // Queues CMD_KEY with the code's low 8 bits for the client's thread, which sends it within a
    // few milliseconds: the caller (the window) never waits for a recorder that has stopped
    // reading. 1 when queued; 0 when not logged in or when kMaxPendingKeys are still waiting.
    int SendKey(int code);
    static constexpr std::size_t kMaxPendingKeys = 32;

    RecordQueue& VideoQueue() { return videoQueue_; }
    RecordQueue& AudioQueue() { return audioQueue_; }

protected:
    int Run() override;

private:
    enum class Reached { kConnected, kFailed, kAddressUnknown };
    enum class Resolution { kFound, kRetry, kUnknown, kStopped };

    Reached Connect(int& sock, const std::string& address, int port, bool recorder);
    // The address text as an IPv4 address. A host name is looked up on a helper thread, so that
    // a stop is answered within one wait slice however long the name server takes. kRetry and
    // kUnknown set the error text; a transient failure is kRetry only with auto reconnection.
    Resolution ResolveTarget(const std::string& address, bool recorder, std::uint32_t& networkOrder);
    bool Login();
    bool Lookup();
    void SendMouseReport(const MouseReport& report);
    // On the client's thread: the keys queued since the last pass.
    void SendPendingKeys();
    void CloseSocket(int& sock);
    // Sends every byte on the recorder socket, serialised with the other senders.
    bool SendToRecorder(const std::uint8_t* data, std::size_t length);
    void HandleMessage(const ControlMessage& message);
    void SetError(const std::string& text);
    void SetConnState(int state);
    void Post(std::uint32_t message);
    // Sleeps unless the stop event is set first; true when it is set.
    bool Pause(int ms);
    bool Stopping();

    std::atomic<bool> resolved_{false};
    std::atomic<bool> loggedIn_{false};
    std::atomic<Notifier*> notifier_{nullptr};
    std::atomic<NetClientListener*> listener_{nullptr};
    // The recorder socket is replaced only by the client thread and only under sendMutex_, so
    // that a key sent from another thread never uses a socket being closed.
    int socket_ = -1;
    std::mutex sendMutex_;
    std::mutex keyMutex_;
    std::vector<int> pendingKeys_;

    mutable std::mutex configMutex_;
    std::string address_;
    int port_ = kDefaultRecorderPort;
    std::string password_;
    bool useDdns_ = false;
    std::string dvrName_ = kDefaultDvrName;
    std::string ddnsAddress_;
    int ddnsPort_ = kDefaultDdnsPort;
    int ddnsSocket_ = -1;

    std::atomic<int> timeoutMs_{kDefaultConnectionTimeoutMs};
    std::atomic<bool> autoReconnect_{true};
    std::atomic<int> mouseMode_{1};
    std::atomic<PendingMouseReport*> mouseSource_;
    mutable std::mutex errorMutex_;
    std::string errorText_;
    std::atomic<int> connState_{kConnIdle};

    RecordQueue videoQueue_;
    RecordQueue audioQueue_;
    StreamParser parser_;
    std::unique_ptr<std::uint8_t[]> receiveBuffer_;
    std::unique_ptr<std::uint8_t[]> replyBuffer_;
};

}  // namespace tamlorex
