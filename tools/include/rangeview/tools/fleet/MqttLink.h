#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "rangeview/tools/fleet/FleetOptions.h"
#include "rangeview/tools/fleet/SpscRing.h"

struct mosquitto;

namespace rv {

struct MqttMessage {
    std::string Topic;
    std::string Payload;
    bool Retain = false;
};

struct MqttSettings {
    MqttTarget Target;
    std::string CaFile; // empty: the system's authorities (mqtts:// only)
    std::optional<std::string> User;
    std::optional<std::string> Password;
    std::string ClientId;
    std::string StateTopic;
    std::string ReadingTopic;
    // Says offline as the last will, online on every connect.
    std::string AvailabilityTopic;
    // Sent, retained, after "online" on every connect: a restarted broker may have lost them.
    std::vector<MqttMessage> OnConnect;
    int KeepAliveSeconds = 10;
};

// A reading as queued; made into JSON on the network thread.
struct QueuedReading {
    std::int64_t ElapsedMs = 0;
    std::uint16_t Distance = 0;
    std::uint8_t Mode = 0;
};

// The connection to the broker, on a thread of its own. The monitor's loop only puts messages
// into bounded queues and never waits: while the broker is away they wait there (the oldest
// state messages and the newest readings give way when full, and are counted), the link tries
// again with back-off, and on return sends what waited. State messages go at QoS 1 and are kept
// until the broker has them, so a broker restart loses none of those queued; readings at QoS 0.
class MqttLink {
public:
    using Clock = std::chrono::steady_clock;
    using Log = std::function<void(const std::string& line)>;
    static constexpr std::size_t StateQueueLimit = 600;
    static constexpr std::size_t ReadingQueueLimit = 8192;
    static constexpr std::chrono::seconds FirstRetry{1};
    static constexpr std::chrono::seconds LastRetry{30};

    MqttLink(MqttSettings settings, Log log);
    ~MqttLink();
    MqttLink(const MqttLink&) = delete;
    MqttLink& operator=(const MqttLink&) = delete;

    struct Failure {
        int Status; // 2: the command line cannot work here; 3: the broker could not be had
        std::string Message;
    };
    // Connects, waits at most `limit` for the broker to accept, and then leaves the link to its
    // thread.
    std::optional<Failure> Start(std::chrono::milliseconds limit);

    // The monitor's loop thread; never waits.
    void PublishState(std::string json);
    void PublishReading(const QueuedReading& reading);
    // A retained message sent now and on every connect from now on (a discovery config that
    // the run turned out to need); never waits.
    void AddRetained(MqttMessage message);

    // Messages given up so far: queues full, or readings lost with a connection.
    std::uint64_t Dropped() const noexcept { return Dropped_.load(std::memory_order_relaxed); }
    bool Connected() const noexcept { return Up_.load(std::memory_order_relaxed); }

    // Says offline and leaves, giving what is queued at most `limit` to reach the broker.
    void Stop(std::chrono::milliseconds limit);

private:
    enum class Phase { Waiting, Connecting, Up };
    enum class Kind : std::uint8_t { State, Other };

    static void OnConnect(mosquitto*, void* self, int code);
    static void OnPublish(mosquitto*, void* self, int mid);
    static void OnLog(mosquitto*, void* self, int level, const char* text);

    std::optional<Failure> Prepare();
    // One round of the network: reads, writes, keep-alive; false when the connection failed.
    bool Step(int timeoutMs);
    void BeginAttempt(bool first);
    void Connected(Clock::time_point now);
    void Lost(const std::string& reason, Clock::time_point now);
    void Pump();
    void PublishRetained(const MqttMessage& message);
    void Run();
    std::string Reason(int code) const;
    std::string Where() const;

    MqttSettings Settings_;
    Log Log_;
    mosquitto* Client_ = nullptr;
    std::thread Thread_;
    std::atomic<bool> StopRequested_{false};
    std::atomic<bool> Up_{false};
    std::atomic<std::uint64_t> Dropped_{0};
    SpscRing<std::string> States_;
    SpscRing<QueuedReading> Readings_;
    SpscRing<MqttMessage> Retained_;

    // Network thread only (the starting thread until the thread runs).
    Phase Phase_ = Phase::Waiting;
    std::optional<int> ConnackCode_;
    std::string LastError_; // the library's last error report, for a TLS failure's reason
    std::deque<std::string> Pending_; // state messages not yet handed to the library
    std::unordered_map<int, Kind> Unacknowledged_; // QoS 1 messages the broker has not taken
    std::size_t StatesInFlight_ = 0;
    std::size_t ReadingsInFlight_ = 0; // QoS 0 readings handed over but not yet written
    Clock::time_point AttemptStarted_{};
    Clock::time_point NextAttempt_{};
    std::chrono::seconds Backoff_ = FirstRetry;
    bool EverUp_ = false;
    std::optional<Clock::time_point> LostAt_;
    std::string LostReason_;
    std::uint64_t DroppedAtLoss_ = 0;
};

} // namespace rv
