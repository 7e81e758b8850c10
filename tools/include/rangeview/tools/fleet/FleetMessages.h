#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "rangeview/protocol/MeasurementFrame.h"
#include "rangeview/tools/LinkStatistics.h"
#include "rangeview/tools/fleet/MqttLink.h"

namespace rv {

// One period's state message: the figures of `--stats` over the period, with what a dashboard
// wants beside them (the last reading, the link, the run's totals).
struct StateFigures {
    std::uint64_t Sequence = 0; // 1 for the first period, so that a gap shows
    std::chrono::system_clock::time_point Time;
    double PeriodSeconds = 0;
    bool LinkUp = false;
    std::optional<MeasurementReading> Last;
    // LinkStatistics::Fields over the period.
    std::vector<std::pair<std::string, std::string>> Period;
    std::uint64_t ReadingsTotal = 0;
    DecodeCounts Totals;
    std::uint64_t Reconnects = 0;
    std::uint64_t MqttDropped = 0;
};

std::string StateJson(const StateFigures& figures);

// Who publishes, for Home Assistant's device registry.
struct DeviceIdentity {
    std::string Prefix; // the topics' prefix
    std::string Port;
    std::string Version;
};

// Home Assistant's id for a device under this prefix: letters, digits, _ and - only.
std::string NodeId(const std::string& prefix);

// Retained discovery configurations under homeassistant/: distance, mode, link and the link's
// health counts as entities of one device, all read from PREFIX/state; or the reply times'
// (p50, p99), which only a run that queries has.
std::vector<MqttMessage> DiscoveryMessages(const DeviceIdentity& device, bool replyTimes);

} // namespace rv
