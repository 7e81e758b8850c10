#include "rangeview/tools/fleet/Fleet.h"

#include "rangeview/tools/InputFile.h"
#include "rangeview/tools/fleet/FleetMessages.h"
#include "rangeview/tools/fleet/FleetSystem.h"

#include <cstdio>
#include <iterator>
#include <random>
#include <variant>

namespace rv {

namespace {

using namespace std::chrono_literals;

struct Credentials {
    std::string User;
    std::string Password;
};

// One line "user:password"; the password may hold colons. Failure: the reason, or ToolError
// for a file that cannot be read.
std::variant<Credentials, std::string> ReadCredentials(const std::string& path)
{
    constexpr std::size_t Limit = 4096;
    std::string text(Limit + 1, '\0');
    text.resize(InputFile(path).Read(std::span(text)));
    if (text.size() > Limit)
        return std::string("is longer than one line user:password could be");
    if (text.ends_with('\n'))
        text.pop_back();
    if (text.ends_with('\r'))
        text.pop_back();
    if (text.find_first_of("\r\n") != std::string::npos)
        return std::string("holds more than one line; it must hold one, user:password");
    const auto colon = text.find(':');
    if (colon == std::string::npos || colon == 0)
        return std::string("must hold one line user:password");
    return Credentials{text.substr(0, colon), text.substr(colon + 1)};
}

std::string ClientId()
{
    std::random_device random;
    char text[32];
    std::snprintf(text, sizeof text, "rangeview-%08x", static_cast<unsigned>(random()));
    return text;
}

} // namespace

Fleet::Fleet(FleetOptions options, std::string portLabel, Log log)
    : Options_(std::move(options)), Port_(std::move(portLabel)), Log_(std::move(log))
{
}

Fleet::~Fleet()
{
    Stop();
}

Fleet::Clock::duration Fleet::Period() const
{
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(Options_.EverySeconds.value_or(1.0)));
}

std::optional<Fleet::Failure> Fleet::Start()
{
    std::optional<Credentials> credentials;
    if (!Options_.AuthFile.empty()) {
        std::variant<Credentials, std::string> read;
        try {
            read = ReadCredentials(Options_.AuthFile);
        } catch (const ToolError& error) {
            return Failure{2, "--mqtt-auth " + std::string(error.what())};
        }
        if (auto* why = std::get_if<std::string>(&read))
            return Failure{2, "--mqtt-auth " + Options_.AuthFile + ": " + *why};
        credentials = std::get<Credentials>(std::move(read));
        if (const auto exposed = ExposedSecretFile(Options_.AuthFile))
            Log_("--mqtt-auth " + Options_.AuthFile + ": " + *exposed);
    }

    if (Options_.Metrics) {
        Server_ = std::make_unique<MetricsServer>([this] {
            MetricsLabels labels;
            labels.Port = Port_;
            labels.Version = RV_VERSION;
            if (Mqtt_) {
                labels.Mqtt = true;
                labels.MqttConnected = Mqtt_->Connected();
                labels.MqttDropped = Mqtt_->Dropped();
            }
            return RenderMetrics(Metrics_, labels);
        });
        if (auto why = Server_->Start(*Options_.Metrics)) {
            Server_.reset();
            return Failure{3, *why};
        }
    }

    if (Options_.Mqtt) {
        MqttSettings settings;
        settings.Target = *Options_.Mqtt;
        settings.CaFile = Options_.CaFile;
        if (credentials) {
            settings.User = credentials->User;
            settings.Password = credentials->Password;
        }
        settings.ClientId = ClientId();
        const std::string& prefix = settings.Target.Prefix;
        settings.StateTopic = prefix + "/state";
        settings.ReadingTopic = prefix + "/reading";
        settings.AvailabilityTopic = prefix + "/availability";
        settings.OnConnect = DiscoveryMessages({prefix, Port_, RV_VERSION}, false);
        Mqtt_ = std::make_unique<MqttLink>(std::move(settings), Log_);
        if (auto failure = Mqtt_->Start(BrokerWait)) {
            Mqtt_.reset();
            if (Server_)
                Server_->Stop();
            return Failure{failure->Status,
                           failure->Status == 3 ? "mqtt: " + failure->Message : failure->Message};
        }
    }
    return std::nullopt;
}

void Fleet::Stop()
{
    if (Mqtt_)
        Mqtt_->Stop(2s);
    if (Server_)
        Server_->Stop();
}

void Fleet::Count(const DecodeCounts& counts)
{
    Counts_ = counts;
    Metrics_.Bytes.store(counts.Bytes, std::memory_order_relaxed);
    Metrics_.ChecksumDrops.store(counts.ChecksumDrops, std::memory_order_relaxed);
    Metrics_.SkippedBytes.store(counts.SkippedBytes, std::memory_order_relaxed);
}

void Fleet::LinkUp(Clock::time_point when)
{
    if (Opened_) {
        ++Reconnects_;
        FleetMetrics::Bump(Metrics_.Reconnects);
    } else {
        Opened_ = true;
        PeriodBegan_ = when;
        NextPeriod_ = when + Period();
    }
    LinkUp_ = true;
    Metrics_.LinkUp.store(true, std::memory_order_relaxed);
}

void Fleet::LinkDown(Clock::time_point)
{
    LinkUp_ = false;
    Metrics_.LinkUp.store(false, std::memory_order_relaxed);
}

void Fleet::QuerySent(Clock::time_point when)
{
    // The reply-time entities, once it is clear that this run has reply times.
    if (!Period_.TracksQueries() && Mqtt_) {
        for (auto& message : DiscoveryMessages({Options_.Mqtt->Prefix, Port_, RV_VERSION}, true))
            Mqtt_->AddRetained(std::move(message));
    }
    Period_.TrackQueries();
    Period_.QuerySent(when);
}

void Fleet::Reading(Clock::time_point when, std::int64_t elapsedMs,
                    const MeasurementReading& reading, const DecodeCounts& counts)
{
    Period_.AddReading(reading);
    if (const auto latency = Period_.ReplyReceived(when))
        Metrics_.ObserveLatency(*latency);
    Last_ = reading;
    ++Readings_;
    FleetMetrics::Bump(Metrics_.Readings);
    Metrics_.DistanceMm.store(reading.Distance, std::memory_order_relaxed);
    Metrics_.Mode.store(reading.Mode, std::memory_order_relaxed);
    Count(counts);
    if (Mqtt_ && Options_.Readings)
        Mqtt_->PublishReading({elapsedMs, reading.Distance, reading.Mode});
}

void Fleet::RunDue(Clock::time_point now, const DecodeCounts& counts)
{
    Count(counts);
    if (!NextPeriod_ || now < *NextPeriod_)
        return;
    PublishState(now, counts);
    *NextPeriod_ += Period();
    if (*NextPeriod_ <= now)
        *NextPeriod_ = now + Period();
}

void Fleet::RunEnded(Clock::time_point when, const DecodeCounts& counts)
{
    Count(counts);
    if (NextPeriod_ && when > PeriodBegan_)
        PublishState(when, counts);
    NextPeriod_.reset();
}

void Fleet::PublishState(Clock::time_point now, const DecodeCounts& counts)
{
    if (Mqtt_) {
        StateFigures figures;
        figures.Sequence = ++Sequence_;
        figures.Time = std::chrono::system_clock::now();
        const double seconds = std::chrono::duration<double>(now - PeriodBegan_).count();
        figures.PeriodSeconds = seconds;
        figures.LinkUp = LinkUp_;
        figures.Last = Last_;
        const DecodeCounts period{counts.Bytes - PeriodStart_.Bytes,
                                  counts.ChecksumDrops - PeriodStart_.ChecksumDrops,
                                  counts.SkippedBytes - PeriodStart_.SkippedBytes};
        figures.Period = Period_.Fields(period, seconds, now);
        figures.ReadingsTotal = Readings_;
        figures.Totals = counts;
        figures.Reconnects = Reconnects_;
        figures.MqttDropped = Mqtt_->Dropped();
        Mqtt_->PublishState(StateJson(figures));
    }
    Period_ = Period_.NextPeriod();
    PeriodStart_ = counts;
    PeriodBegan_ = now;
}

} // namespace rv
