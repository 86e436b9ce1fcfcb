#pragma once
// A recorder on the network, for the viewer's Client mode: it listens for one client, checks the
// login digest, streams its live pictures, sound and status messages at a recorder's pace, obeys
// the front-panel keys and mouse reports it receives, and answers dynamic-IP lookups by name.
// Everything runs on the caller's thread in one poll() loop.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/control_link.h"
#include "sim/hostile_stream.h"
#include "sim/live_feed.h"
#include "sim/live_view.h"

namespace tamlorex::sim {

inline constexpr int kDefaultRecorderPort = 8841;
inline constexpr int kDefaultLookupPort = 1800;

struct ServeOptions {
    std::string bind = "127.0.0.1";
    int port = kDefaultRecorderPort;  // 0: any free port (see Port())
    std::string password;
    int ddnsPort = -1;                // -1: no lookup service; 0: any free port
    std::string name = "DVR000";      // the name the lookup service answers for
    double seconds = 0;               // life time; 0 runs until stopped
    double fps = 25;                  // pictures per second
    int waitMs = 0;                   // > 0: answer a good login with "wait", accept this much later
    double loginTimeout = 10;         // seconds a client may take to log in
    double stallTimeout = 10;         // seconds a client may leave the stream unread
    double pictureGapAt = -1;         // >= 0: this long after a login, pictures stop (sound goes on)
    double pictureGapSeconds = 0;     // for this long
    FeedOptions feed;
    HostileOptions hostile;           // faults mixed into a logged-in client's stream
};

// Counts kept for tests and the closing summary.
struct ServeStats {
    int connections = 0;
    int logins = 0;
    int refusedLogins = 0;
    int busyRefusals = 0;
    int keys = 0;
    int mouseReports = 0;
    int logouts = 0;
    int lookups = 0;
    std::uint64_t pictures = 0;
    std::uint64_t soundUnits = 0;
    std::uint64_t statusMessages = 0;
    std::uint64_t droppedPictures = 0;  // not made because the client was not reading
    std::uint64_t junkBytes = 0;
    std::uint64_t hostileEvents = 0;
};

class RecorderSim {
public:
    // Receives one JSON object per line (without the newline) for every event worth seeing.
    using LogSink = std::function<void(const std::string&)>;

    RecorderSim(ServeOptions options, LogSink log);
    ~RecorderSim();
    RecorderSim(const RecorderSim&) = delete;
    RecorderSim& operator=(const RecorderSim&) = delete;

    // Opens the source and binds the listening sockets; false with a reason on failure.
    bool Start(std::string& error);
    int Port() const { return port_; }
    int DdnsPort() const { return ddnsPort_; }

    // Serves until `stop` becomes true or the life time ends. A client still online is told
    // that the server closes (message 11) before it is disconnected.
    void Run(const std::atomic<bool>& stop);

    // While *hold is true no pictures are made (sound and status go on); null for never. Set
    // before Run; the flag may change from anywhere (a signal handler).
    void HoldPicturesWhile(const std::atomic<bool>* hold) { holdPictures_ = hold; }

    // Read these once Run has returned.
    ServeStats Stats() const { return stats_; }
    const LiveView& View() const { return view_; }

private:
    struct Client;
    struct Lookup;

    double Now() const;
    void Log(const std::string& fields);
    void Accept();
    void AcceptLookup();
    void ReadClient(Client& c, bool primary);
    void HandlePacket(Client& c, bool primary, const PacketReader::Packet& p);
    void HandleLogin(Client& c, bool primary, const PacketReader::Packet& p);
    void GoOnline(Client& c);
    void Stream(Client& c, double now);
    // The hostile schedule's part of streaming; false while the stream is held back.
    bool Hostile(Client& c, double now);
    bool Flush(Client& c);
    void CloseClient(std::unique_ptr<Client>& c, const char* why);
    void ServeLookup(Lookup& l);
    std::uint32_t ReplyAddress(int fd) const;

    ServeOptions options_;
    LogSink log_;
    LiveView view_;
    LiveFeed feed_;
    int listenFd_ = -1;
    int ddnsFd_ = -1;
    int port_ = 0;
    int ddnsPort_ = 0;
    std::int64_t startMicros_ = 0;
    std::unique_ptr<Client> client_;
    std::vector<std::unique_ptr<Client>> refused_;  // second clients, told "too many clients"
    std::vector<std::unique_ptr<Lookup>> lookups_;
    ServeStats stats_;
    std::unique_ptr<HostileSchedule> hostile_;
    const std::atomic<bool>* holdPictures_ = nullptr;
};

}  // namespace tamlorex::sim
