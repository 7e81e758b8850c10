#include "rangeview/tools/fleet/FleetMessages.h"

#include "rangeview/tools/ReadingTable.h"
#include "rangeview/tools/UtcText.h"
#include "rangeview/tools/fleet/Json.h"

namespace rv {

namespace {

// "3:584,4:2" (the statistics' modes field) as {"3":584,"4":2}.
std::string ModesJson(std::string_view modes)
{
    JsonObject object;
    while (!modes.empty() && modes != "-") {
        const auto comma = modes.find(',');
        const std::string_view item = modes.substr(0, comma);
        const auto colon = item.find(':');
        if (colon != std::string_view::npos)
            object.Number(item.substr(0, colon), item.substr(colon + 1));
        modes = comma == std::string_view::npos ? std::string_view() : modes.substr(comma + 1);
    }
    return object.Take();
}

} // namespace

std::string StateJson(const StateFigures& f)
{
    JsonObject json;
    json.Integer("seq", static_cast<std::int64_t>(f.Sequence))
        .String("time", FormatUtcMillis(f.Time))
        .Real("period_s", f.PeriodSeconds, 3)
        .String("link", f.LinkUp ? "up" : "down");
    if (f.Last) {
        json.Integer(ReadingField::DistanceMm, f.Last->Distance)
            .Integer(ReadingField::Mode, f.Last->Mode);
        json.String(ReadingField::ModeName, ModeName(f.Last->Mode));
    } else {
        json.Number(ReadingField::DistanceMm, "").Number(ReadingField::Mode, "");
    }
    for (const auto& [name, value] : f.Period) {
        if (name == "modes")
            json.Raw(name, ModesJson(value));
        else
            json.Number(name, value);
    }
    json.Integer("readings_total", static_cast<std::int64_t>(f.ReadingsTotal))
        .Integer("checksum_drops_total", static_cast<std::int64_t>(f.Totals.ChecksumDrops))
        .Integer("skipped_bytes_total", static_cast<std::int64_t>(f.Totals.SkippedBytes))
        .Integer("reconnects_total", static_cast<std::int64_t>(f.Reconnects))
        .Integer("mqtt_dropped_total", static_cast<std::int64_t>(f.MqttDropped));
    return json.Take();
}

std::string NodeId(const std::string& prefix)
{
    std::string id = "rangeview_";
    for (const char c : prefix) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_';
        id += plain ? c : '_';
    }
    return id;
}

std::vector<MqttMessage> DiscoveryMessages(const DeviceIdentity& device, bool replyTimes)
{
    const std::string node = NodeId(device.Prefix);
    JsonObject identity;
    std::string idList = "[";
    AppendJsonString(idList, node);
    idList += "]";
    const std::string deviceJson = identity.Raw("identifiers", idList)
                                       .String("name", "rangeview " + device.Prefix)
                                       .String("manufacturer", "rangeview")
                                       .String("model", "distance sensor on " + device.Port)
                                       .String("sw_version", device.Version)
                                       .Take();

    struct Entity {
        const char* Component;
        const char* Object;
        const char* Name;
        std::string_view Field;
        const char* Unit;
        const char* DeviceClass;
        const char* StateClass;
        bool Diagnostic;
    };
    std::vector<Entity> entities;
    if (replyTimes) {
        entities = {{"sensor", "latency_p50", "Reply time p50", "latency_p50_ms", "ms", "duration",
                     "measurement", true},
                    {"sensor", "latency_p99", "Reply time p99", "latency_p99_ms", "ms", "duration",
                     "measurement", true}};
    } else {
        entities = {
            {"sensor", "distance", "Distance", ReadingField::DistanceMm, "mm", "distance",
             "measurement", false},
            {"sensor", "mode", "Mode", ReadingField::Mode, nullptr, nullptr, nullptr, false},
            {"binary_sensor", "link", "Link", "link", nullptr, "connectivity", nullptr, true},
            {"sensor", "reading_rate", "Reading rate", "readings_per_s", "Hz", "frequency",
             "measurement", true},
            {"sensor", "checksum_drops", "Checksum drops", "checksum_drops_total", nullptr, nullptr,
             "total_increasing", true},
            {"sensor", "skipped_bytes", "Skipped bytes", "skipped_bytes_total", "B", "data_size",
             "total_increasing", true},
            {"sensor", "reconnects", "Reconnects", "reconnects_total", nullptr, nullptr,
             "total_increasing", true},
            {"sensor", "mqtt_dropped", "MQTT messages dropped", "mqtt_dropped_total", nullptr,
             nullptr, "total_increasing", true},
        };
    }

    std::vector<MqttMessage> messages;
    for (const Entity& e : entities) {
        JsonObject config;
        config.String("name", e.Name)
            .String("unique_id", node + "_" + e.Object)
            .String("object_id", node + "_" + e.Object)
            .String("state_topic", device.Prefix + "/state")
            .String("value_template", "{{ value_json." + std::string(e.Field) + " }}")
            .String("availability_topic", device.Prefix + "/availability")
            .String("payload_available", "online")
            .String("payload_not_available", "offline");
        if (std::string_view(e.Component) == "binary_sensor")
            config.String("payload_on", "up").String("payload_off", "down");
        if (e.Unit != nullptr)
            config.String("unit_of_measurement", e.Unit);
        if (e.DeviceClass != nullptr)
            config.String("device_class", e.DeviceClass);
        if (e.StateClass != nullptr)
            config.String("state_class", e.StateClass);
        if (e.Diagnostic)
            config.String("entity_category", "diagnostic");
        config.Raw("device", deviceJson);
        messages.push_back(
            {std::string("homeassistant/") + e.Component + "/" + node + "/" + e.Object + "/config",
             config.Take(), true});
    }
    return messages;
}

} // namespace rv
