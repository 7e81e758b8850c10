#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "rangeview/tools/ArgCursor.h"

namespace rv {

class MonitorUsageError;

// A broker as `--mqtt mqtt[s]://HOST[:PORT]/PREFIX` names it.
struct MqttTarget {
    bool Tls = false;
    std::string Host; // without the brackets of an IPv6 literal
    std::uint16_t Port = 1883;
    std::string Prefix; // topics go under PREFIX/
};

// An address to listen on, as `--metrics HOST:PORT` names it.
struct ListenAddress {
    std::string Host = "127.0.0.1";
    std::uint16_t Port = 0;
};

// What the monitor publishes and serves besides its own output.
struct FleetOptions {
    std::optional<MqttTarget> Mqtt;
    std::string CaFile; // --mqtt-ca: the authority the broker's certificate must come from
    std::string AuthFile; // --mqtt-auth: one line user:password
    std::optional<double> EverySeconds; // --mqtt-every: one state message per period (1 s)
    bool Readings = false; // --mqtt-readings: one message per reading as well
    std::optional<ListenAddress> Metrics;

    bool Active() const { return Mqtt.has_value() || Metrics.has_value(); }
};

// Takes the option under the cursor when it is one of the fleet's; false when it is not.
// Throws MonitorUsageError for a value that cannot be used.
bool ParseFleetOption(ArgCursor<MonitorUsageError>& arg, FleetOptions& options);
// The checks that need the whole command line.
void CheckFleetOptions(const FleetOptions& options);

MqttTarget ParseMqttUrl(std::string_view url);
ListenAddress ParseListenAddress(std::string_view text);

// The part of `monitor --help` about these options.
std::string_view FleetUsage() noexcept;

} // namespace rv
