#include "rangeview/tools/fleet/FleetMetrics.h"

#include <cstdio>

namespace rv {

namespace {

// A label value: backslash, double quote and line feed escaped.
std::string LabelValue(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string Number(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

class Exposition {
public:
    void Family(const char* name, const char* type, const char* help)
    {
        Text_.append("# HELP ").append(name).append(" ").append(help).append("\n");
        Text_.append("# TYPE ").append(name).append(" ").append(type).append("\n");
    }
    void Sample(const std::string& name, const std::string& value)
    {
        Text_.append(name).append(" ").append(value).append("\n");
    }
    std::string Take() { return std::move(Text_); }

private:
    std::string Text_;
};

} // namespace

void FleetMetrics::ObserveLatency(std::chrono::microseconds latency) noexcept
{
    const double seconds = static_cast<double>(latency.count()) / 1e6;
    std::size_t bucket = 0;
    while (bucket < LatencyBounds.size() && seconds > LatencyBounds[bucket])
        ++bucket;
    Bump(LatencyBuckets[bucket]);
    Bump(LatencySumUs, static_cast<std::uint64_t>(latency.count()));
}

std::string RenderMetrics(const FleetMetrics& m, const MetricsLabels& labels)
{
    const auto get = [](const auto& atomic) { return atomic.load(std::memory_order_relaxed); };
    Exposition e;
    e.Family("rangeview_info", "gauge", "The monitor's version and the port it reads.");
    e.Sample("rangeview_info{port=\"" + LabelValue(labels.Port) + "\",version=\"" +
                 LabelValue(labels.Version) + "\"}",
             "1");
    e.Family("rangeview_link_up", "gauge", "1 while the serial port is open, 0 while it is lost.");
    e.Sample("rangeview_link_up", get(m.LinkUp) ? "1" : "0");
    e.Family("rangeview_distance_meters", "gauge", "The distance of the last reading.");
    const auto distance = get(m.DistanceMm);
    if (distance >= 0)
        e.Sample("rangeview_distance_meters", Number(distance / 1000.0));
    e.Family("rangeview_mode", "gauge", "The measuring mode of the last reading.");
    if (const auto mode = get(m.Mode); mode >= 0)
        e.Sample("rangeview_mode", std::to_string(mode));
    e.Family("rangeview_readings_total", "counter", "Readings decoded.");
    e.Sample("rangeview_readings_total", std::to_string(get(m.Readings)));
    e.Family("rangeview_received_bytes_total", "counter", "Bytes received from the port.");
    e.Sample("rangeview_received_bytes_total", std::to_string(get(m.Bytes)));
    e.Family("rangeview_checksum_drops_total", "counter", "Frames dropped for a wrong checksum.");
    e.Sample("rangeview_checksum_drops_total", std::to_string(get(m.ChecksumDrops)));
    e.Family("rangeview_skipped_bytes_total", "counter", "Bytes dropped outside any frame.");
    e.Sample("rangeview_skipped_bytes_total", std::to_string(get(m.SkippedBytes)));
    e.Family("rangeview_reconnects_total", "counter",
             "Times the port came back after it was lost.");
    e.Sample("rangeview_reconnects_total", std::to_string(get(m.Reconnects)));

    e.Family("rangeview_reply_latency_seconds", "histogram",
             "Time from a query to the reading that answers it.");
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i < FleetMetrics::LatencyBounds.size(); ++i) {
        cumulative += get(m.LatencyBuckets[i]);
        e.Sample("rangeview_reply_latency_seconds_bucket{le=\"" +
                     Number(FleetMetrics::LatencyBounds[i]) + "\"}",
                 std::to_string(cumulative));
    }
    cumulative += get(m.LatencyBuckets.back());
    // The count is the +Inf bucket, so the two always agree.
    e.Sample("rangeview_reply_latency_seconds_bucket{le=\"+Inf\"}", std::to_string(cumulative));
    e.Sample("rangeview_reply_latency_seconds_sum",
             Number(static_cast<double>(get(m.LatencySumUs)) / 1e6));
    e.Sample("rangeview_reply_latency_seconds_count", std::to_string(cumulative));

    if (labels.Mqtt) {
        e.Family("rangeview_mqtt_connected", "gauge", "1 while the MQTT broker is connected.");
        e.Sample("rangeview_mqtt_connected", labels.MqttConnected ? "1" : "0");
        e.Family("rangeview_mqtt_dropped_messages_total", "counter",
                 "MQTT messages dropped because the bounded queue was full or the connection "
                 "was lost.");
        e.Sample("rangeview_mqtt_dropped_messages_total", std::to_string(labels.MqttDropped));
    }
    return e.Take();
}

} // namespace rv
