#pragma once

#include <memory>
#include <optional>
#include <string>

#include "rangeview/tools/MonitorObserver.h"
#include "rangeview/tools/fleet/FleetMetrics.h"
#include "rangeview/tools/fleet/FleetOptions.h"
#include "rangeview/tools/fleet/MetricsServer.h"
#include "rangeview/tools/fleet/MqttLink.h"

namespace rv {

// The monitor as a member of a fleet: state, availability, discovery and readings to an MQTT
// broker, metrics to Prometheus. It follows the run as an observer on the loop thread, where
// it only counts and queues; the network is left to the threads of MqttLink and MetricsServer.
class Fleet final : public MonitorObserver {
public:
    using Log = MqttLink::Log; // one line, without the program's prefix

    Fleet(FleetOptions options, std::string portLabel, Log log);
    ~Fleet() override;
    Fleet(const Fleet&) = delete;
    Fleet& operator=(const Fleet&) = delete;

    struct Failure {
        int Status; // the monitor's exit status
        std::string Message;
    };
    // Reads --mqtt-auth, binds --metrics and connects to the broker, before the port is
    // touched. How long the broker may take to answer:
    static constexpr std::chrono::seconds BrokerWait{10};
    std::optional<Failure> Start();
    // Publishes what is queued, says offline and closes the metrics.
    void Stop();

    // --- MonitorObserver
    void LinkUp(Clock::time_point when) override;
    void LinkDown(Clock::time_point when) override;
    void QuerySent(Clock::time_point when) override;
    void Reading(Clock::time_point when, std::int64_t elapsedMs, const MeasurementReading& reading,
                 const DecodeCounts& counts) override;
    std::optional<Clock::time_point> NextDue() const override { return NextPeriod_; }
    void RunDue(Clock::time_point now, const DecodeCounts& counts) override;
    // The period cut short by the end still gets its state: its readings are summed up nowhere
    // else.
    void RunEnded(Clock::time_point when, const DecodeCounts& counts) override;

private:
    void PublishState(Clock::time_point now, const DecodeCounts& counts);
    void Count(const DecodeCounts& counts);
    Clock::duration Period() const;

    FleetOptions Options_;
    std::string Port_;
    Log Log_;
    FleetMetrics Metrics_;
    std::unique_ptr<MqttLink> Mqtt_;
    std::unique_ptr<MetricsServer> Server_;

    LinkStatistics Period_;
    DecodeCounts PeriodStart_;
    DecodeCounts Counts_;
    Clock::time_point PeriodBegan_{};
    std::optional<Clock::time_point> NextPeriod_;
    std::optional<MeasurementReading> Last_;
    std::uint64_t Sequence_ = 0;
    std::uint64_t Readings_ = 0;
    std::uint64_t Reconnects_ = 0;
    bool Opened_ = false;
    bool LinkUp_ = false;
};

} // namespace rv
