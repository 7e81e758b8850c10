#include "rangeview/tools/fleet/FleetOptions.h"

#include "rangeview/tools/MonitorOptions.h"

#include "rangeview/tools/fleet/Json.h"
#include "rangeview/tools/fleet/MqttLink.h"

#include <charconv>
#include <cmath>

namespace rv {

namespace {

std::uint16_t ParsePort(std::string_view option, std::string_view text, std::string_view whole)
{
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0 ||
        value > 65535)
        throw MonitorUsageError(std::string(option) + " '" + std::string(whole) +
                                "': the port must be a number from 1 to 65535");
    return static_cast<std::uint16_t>(value);
}

// HOST[:PORT] with HOST a name, an IPv4 address or a bracketed IPv6 address.
void ParseHostPort(std::string_view option, std::string_view text, std::string_view whole,
                   std::string& host, std::uint16_t& port, bool portRequired)
{
    std::string_view rest;
    if (text.starts_with('[')) {
        const auto close = text.find(']');
        if (close == std::string_view::npos || close == 1)
            throw MonitorUsageError(std::string(option) + " '" + std::string(whole) +
                                    "': an IPv6 address goes in brackets, e.g. [::1]");
        host = std::string(text.substr(1, close - 1));
        rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            throw MonitorUsageError(std::string(option) + " '" + std::string(whole) +
                                    "': only :PORT may follow the address");
    } else {
        const auto colon = text.rfind(':');
        host = std::string(text.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
        if (host.find(':') != std::string::npos)
            throw MonitorUsageError(std::string(option) + " '" + std::string(whole) +
                                    "': an IPv6 address goes in brackets, e.g. [::1]:" +
                                    (portRequired ? "9100" : "1883"));
    }
    if (host.empty())
        throw MonitorUsageError(std::string(option) + " '" + std::string(whole) +
                                "' names no host");
    for (const char c : host) {
        if (static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '@' || c == '?' || c == '#')
            throw MonitorUsageError(std::string(option) + " '" + std::string(whole) + "': '" +
                                    host + "' is not a host name or address");
    }
    if (!rest.empty())
        port = ParsePort(option, rest.substr(1), whole);
    else if (portRequired)
        throw MonitorUsageError(std::string(option) + " '" + std::string(whole) +
                                "' needs a port, e.g. 127.0.0.1:9100");
}

double ParseEvery(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value) || value < 0.1 || value > 86400)
        throw MonitorUsageError("--mqtt-every needs a number of seconds from 0.1 to 86400, not '" +
                                std::string(text) + "'");
    return value;
}

std::string ParseFile(std::string_view option, std::string_view text)
{
    if (text.empty())
        throw MonitorUsageError(std::string(option) + " needs a file name");
    return std::string(text);
}

} // namespace

MqttTarget ParseMqttUrl(std::string_view url)
{
    MqttTarget target;
    std::string_view rest;
    const auto bad = [&](std::string_view why) {
        return MonitorUsageError("--mqtt '" + std::string(url) + "': " + std::string(why));
    };
    if (url.starts_with("mqtt://")) {
        rest = url.substr(7);
    } else if (url.starts_with("mqtts://")) {
        rest = url.substr(8);
        target.Tls = true;
        target.Port = 8883;
    } else {
        throw bad("give mqtt://HOST[:PORT]/PREFIX, or mqtts:// for TLS");
    }
    const auto slash = rest.find('/');
    const std::string_view authority = rest.substr(0, slash);
    if (authority.find('@') != std::string_view::npos)
        throw bad("a user name or password in the address would show in the process list; "
                  "put user:password in a file and give it with --mqtt-auth");
    ParseHostPort("--mqtt", authority, url, target.Host, target.Port, false);
    std::string_view prefix =
        slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (prefix.ends_with('/'))
        prefix.remove_suffix(1);
    if (prefix.empty())
        throw bad("name the topic prefix after the host, e.g. mqtt://localhost/tank1");
    if (prefix.find_first_of("+#") != std::string_view::npos)
        throw bad("the topic prefix may not hold the wildcards + or #");
    if (prefix.starts_with('$'))
        throw bad("topics starting with $ belong to the broker");
    if (prefix.starts_with('/') || prefix.find("//") != std::string_view::npos)
        throw bad("the topic prefix has an empty level");
    if (!IsValidUtf8(prefix) || prefix.find('\0') != std::string_view::npos)
        throw bad("the topic prefix is not valid UTF-8 text");
    if (prefix.size() > 1024)
        throw bad("the topic prefix is longer than 1024 bytes");
    target.Prefix = std::string(prefix);
    return target;
}

ListenAddress ParseListenAddress(std::string_view text)
{
    ListenAddress address;
    if (text.find_first_not_of("0123456789") == std::string_view::npos) {
        address.Port = ParsePort("--metrics", text, text);
        return address;
    }
    ParseHostPort("--metrics", text, text, address.Host, address.Port, true);
    return address;
}

bool ParseFleetOption(ArgCursor<MonitorUsageError>& arg, FleetOptions& options)
{
    const std::string_view name = arg.Name();
    if (name == "--mqtt") {
        options.Mqtt = ParseMqttUrl(arg.Value());
    } else if (name == "--mqtt-ca") {
        options.CaFile = ParseFile(name, arg.Value());
    } else if (name == "--mqtt-auth") {
        options.AuthFile = ParseFile(name, arg.Value());
    } else if (name == "--mqtt-every") {
        options.EverySeconds = ParseEvery(arg.Value());
    } else if (name == "--mqtt-readings") {
        arg.NoValue();
        options.Readings = true;
    } else if (name == "--metrics") {
        options.Metrics = ParseListenAddress(arg.Value());
    } else {
        return false;
    }
    return true;
}

void CheckFleetOptions(const FleetOptions& options)
{
    if (!options.Mqtt) {
        for (const auto& [given, option] :
             {std::pair{!options.CaFile.empty(), "--mqtt-ca"},
              std::pair{!options.AuthFile.empty(), "--mqtt-auth"},
              std::pair{options.EverySeconds.has_value(), "--mqtt-every"},
              std::pair{options.Readings, "--mqtt-readings"}}) {
            if (given)
                throw MonitorUsageError(std::string(option) +
                                        " shapes what --mqtt publishes; give --mqtt as well");
        }
        return;
    }
    if (!options.CaFile.empty() && !options.Mqtt->Tls)
        throw MonitorUsageError("--mqtt-ca is for a TLS broker: give an mqtts:// address");
}

std::string_view FleetUsage() noexcept
{
    static const std::string text =
        "Publishing (MQTT) and metrics (Prometheus); the serial port never waits for either:\n"
        "  --mqtt URL       publish to a broker, URL mqtt://HOST[:PORT]/PREFIX (port 1883)\n"
        "                   or mqtts://HOST[:PORT]/PREFIX for TLS (port 8883): PREFIX/state\n"
        "                   (JSON summary each period), PREFIX/availability (online; offline\n"
        "                   when the monitor ends or dies: the last will), retained Home\n"
        "                   Assistant discovery under homeassistant/\n"
        "  --mqtt-ca FILE   with mqtts://: the CA certificate(s) the broker's must come from\n"
        "                   (default: the system's); the host name is always checked\n"
        "  --mqtt-auth FILE a file holding one line user:password (never on the command line)\n"
        "  --mqtt-every S   one state message every S seconds (0.1 to 86400, default 1)\n"
        "  --mqtt-readings  also publish PREFIX/reading, one message per reading\n"
        "  --metrics ADDR   serve Prometheus metrics at http://ADDR/metrics; ADDR is\n"
        "                   HOST:PORT or PORT (then 127.0.0.1, this machine only)\n"
        "While the broker is away the monitor goes on recording, reconnects with back-off (1 s\n"
        "doubling to 30 s) and keeps at most the latest " +
        std::to_string(MqttLink::StateQueueLimit) + " state messages and " +
        std::to_string(MqttLink::ReadingQueueLimit) +
        " readings;\n"
        "what did not fit is dropped and counted (mqtt_dropped_total in the state).\n"
        "Exit status 3: the broker or the --metrics address could not be had at start-up.\n";
    return text;
}

} // namespace rv
