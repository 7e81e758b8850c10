#include "rangeview/tools/fleet/MqttLink.h"

#include "rangeview/tools/ReadingTable.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace rv {

namespace {

using namespace std::chrono_literals;

// An attempt the broker has not answered by then has failed.
constexpr auto AnswerWait = 10s;
// The network thread's round: how long a reading or state may wait before it goes out.
constexpr int RoundMs = 20;
// Readings handed to the library but not yet written; past that they wait in the ring.
constexpr std::size_t ReadingsInFlightLimit = 1024;

void InitLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string RefusalText(int code)
{
    switch (code) {
    case 1:
        return "the broker refused the protocol version (MQTT 3.1.1)";
    case 2:
        return "the broker refused the client id";
    case 3:
        return "the broker is unavailable";
    case 4:
        return "the broker refused the user name or password; check --mqtt-auth";
    case 5:
        return "the broker refused us: not authorised";
    default:
        return "the broker refused the connection (code " + std::to_string(code) + ")";
    }
}

// "The connection was lost." as part of a sentence.
std::string Sentence(const char* text)
{
    std::string s = text != nullptr ? text : "";
    while (!s.empty() && s.front() == ' ')
        s.erase(0, 1);
    while (!s.empty() && (s.back() == '.' || s.back() == ' '))
        s.pop_back();
    if (!s.empty() && s[0] >= 'A' && s[0] <= 'Z' && (s.size() < 2 || s[1] < 'A' || s[1] > 'Z'))
        s[0] = static_cast<char>(s[0] - 'A' + 'a');
    return s;
}

// {"elapsed_ms":…,"distance_mm":…,"mode":…} into out (room for 96 characters), without an
// allocation; returns its size.
int ReadingJson(char* out, const QueuedReading& reading) noexcept
{
    char* p = out;
    const auto key = [&](char before, std::string_view name) {
        *p++ = before;
        *p++ = '"';
        p = std::copy(name.begin(), name.end(), p);
        *p++ = '"';
        *p++ = ':';
    };
    key('{', ReadingField::ElapsedMs);
    p = std::to_chars(p, p + 20, reading.ElapsedMs).ptr;
    key(',', ReadingField::DistanceMm);
    p = std::to_chars(p, p + 5, reading.Distance).ptr;
    key(',', ReadingField::Mode);
    p = std::to_chars(p, p + 3, static_cast<unsigned>(reading.Mode)).ptr;
    *p++ = '}';
    return static_cast<int>(p - out);
}

} // namespace

MqttLink::MqttLink(MqttSettings settings, Log log)
    : Settings_(std::move(settings)), Log_(std::move(log)), States_(64),
      Readings_(ReadingQueueLimit), Retained_(16)
{
}

MqttLink::~MqttLink()
{
    Stop(0ms);
    if (Client_ != nullptr)
        mosquitto_destroy(Client_);
}

std::string MqttLink::Where() const
{
    const auto& target = Settings_.Target;
    const bool v6 = target.Host.find(':') != std::string::npos;
    return (v6 ? "[" + target.Host + "]" : target.Host) + ":" + std::to_string(target.Port);
}

std::string MqttLink::Reason(int code) const
{
    switch (code) {
    case MOSQ_ERR_ERRNO:
        return std::strerror(errno);
    case MOSQ_ERR_CONN_REFUSED:
        if (ConnackCode_)
            return RefusalText(*ConnackCode_) +
                   (*ConnackCode_ != 5 ? ""
                    : Settings_.User   ? "; check the user and password in --mqtt-auth"
                                       : " (a user and password go in --mqtt-auth)");
        break;
    case MOSQ_ERR_TLS: {
        std::string text = "TLS failed" + (LastError_.empty() ? std::string() : ": " + LastError_);
        if (LastError_.find("verif") != std::string::npos)
            text += " (the broker's certificate must come from " +
                    (Settings_.CaFile.empty() ? std::string("an authority the system trusts")
                                              : "the authority in " + Settings_.CaFile) +
                    " and name " + Settings_.Target.Host + ")";
        else
            text += " (is it a TLS port?)";
        return text;
    }
    case MOSQ_ERR_CONN_LOST:
        // Before any answer: Windows reports a refused connection this way too.
        if (Phase_ != Phase::Up)
            return std::string("no broker answered there (nothing listens, or it closed the "
                               "connection") +
                   (Settings_.Target.Tls ? ")" : "; a TLS port needs mqtts://)");
        break;
    case MOSQ_ERR_EAI:
        return "cannot find the host " + Settings_.Target.Host;
    default:
        break;
    }
    return Sentence(mosquitto_strerror(code));
}

void MqttLink::OnConnect(mosquitto*, void* self, int code)
{
    static_cast<MqttLink*>(self)->ConnackCode_ = code;
}

void MqttLink::OnPublish(mosquitto*, void* self, int mid)
{
    auto& link = *static_cast<MqttLink*>(self);
    if (const auto it = link.Unacknowledged_.find(mid); it != link.Unacknowledged_.end()) {
        if (it->second == Kind::State)
            --link.StatesInFlight_;
        link.Unacknowledged_.erase(it);
        return;
    }
    // A reading (QoS 0) has been written.
    if (link.ReadingsInFlight_ > 0)
        --link.ReadingsInFlight_;
}

void MqttLink::OnLog(mosquitto*, void* self, int level, const char* text)
{
    auto& link = *static_cast<MqttLink*>(self);
    if (level != MOSQ_LOG_ERR || text == nullptr || !link.LastError_.empty())
        return;
    // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed": the words.
    std::string_view words = text;
    if (const auto colon = words.rfind(':'); colon != std::string_view::npos)
        words = words.substr(colon + 1);
    link.LastError_ = Sentence(std::string(words).c_str());
}

std::optional<MqttLink::Failure> MqttLink::Prepare()
{
    InitLibrary();
    Client_ = mosquitto_new(Settings_.ClientId.c_str(), true, this);
    if (Client_ == nullptr)
        return Failure{3, std::string("cannot make an MQTT client: ") + std::strerror(errno)};
    mosquitto_int_option(Client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(Client_, &MqttLink::OnConnect);
    mosquitto_publish_callback_set(Client_, &MqttLink::OnPublish);
    mosquitto_log_callback_set(Client_, &MqttLink::OnLog);
    if (Settings_.User &&
        mosquitto_username_pw_set(Client_, Settings_.User->c_str(),
                                  Settings_.Password ? Settings_.Password->c_str() : nullptr) !=
            MOSQ_ERR_SUCCESS)
        return Failure{2, "--mqtt-auth: the user name is not one MQTT can carry"};
    static constexpr char Offline[] = "offline";
    mosquitto_will_set(Client_, Settings_.AvailabilityTopic.c_str(), sizeof Offline - 1, Offline, 1,
                       true);
    if (Settings_.Target.Tls) {
        const int rc = Settings_.CaFile.empty()
                           ? mosquitto_int_option(Client_, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                           : mosquitto_tls_set(Client_, Settings_.CaFile.c_str(), nullptr, nullptr,
                                               nullptr, nullptr);
        if (rc == MOSQ_ERR_NOT_SUPPORTED)
            return Failure{2, "mqtts:// needs TLS, which this build of rangeview-cli does not "
                              "have; use mqtt://"};
        if (rc != MOSQ_ERR_SUCCESS)
            return Failure{2, "--mqtt-ca " + Settings_.CaFile + ": cannot read it" +
                                  (errno != 0 ? std::string(": ") + std::strerror(errno) : "")};
        mosquitto_tls_opts_set(Client_, 1, nullptr, nullptr); // verify the peer
        mosquitto_tls_insecure_set(Client_, false); // and its name
    }
    return std::nullopt;
}

std::optional<MqttLink::Failure> MqttLink::Start(std::chrono::milliseconds limit)
{
    if (auto failure = Prepare())
        return failure;
    const auto deadline = Clock::now() + limit;
    BeginAttempt(true);
    while (Phase_ != Phase::Up) {
        if (Phase_ == Phase::Waiting)
            return Failure{3, "cannot connect to the broker at " + Where() + ": " + LostReason_};
        if (Clock::now() >= deadline)
            return Failure{3, "no answer from the broker at " + Where() + " within " +
                                  std::to_string(limit.count() / 1000) + " s"};
        Step(RoundMs);
    }
    Pump();
    Thread_ = std::thread([this] { Run(); });
    return std::nullopt;
}

void MqttLink::BeginAttempt(bool first)
{
    LastError_.clear();
    ConnackCode_.reset();
    AttemptStarted_ = Clock::now();
    const auto& target = Settings_.Target;
    const int rc = first ? mosquitto_connect_async(Client_, target.Host.c_str(), target.Port,
                                                   Settings_.KeepAliveSeconds)
                         : mosquitto_reconnect_async(Client_);
    if (rc == MOSQ_ERR_SUCCESS)
        Phase_ = Phase::Connecting;
    else
        Lost(Reason(rc), AttemptStarted_);
}

bool MqttLink::Step(int timeoutMs)
{
    const int rc = mosquitto_loop(Client_, timeoutMs, 1);
    const auto now = Clock::now();
    if (ConnackCode_ && *ConnackCode_ != 0) {
        Lost(Reason(MOSQ_ERR_CONN_REFUSED), now);
        return false;
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        Lost(Reason(rc), now);
        return false;
    }
    if (Phase_ == Phase::Connecting) {
        if (ConnackCode_)
            Connected(now);
        else if (now - AttemptStarted_ >= AnswerWait)
            Lost("no answer within " + std::to_string(AnswerWait.count()) + " s", now);
    }
    return Phase_ != Phase::Waiting;
}

void MqttLink::Connected(Clock::time_point now)
{
    Phase_ = Phase::Up;
    Up_.store(true, std::memory_order_relaxed);
    Backoff_ = FirstRetry;
    PublishRetained({Settings_.AvailabilityTopic, "online", true});
    for (const auto& message : Settings_.OnConnect)
        PublishRetained(message);
    if (LostAt_) {
        const auto away = std::chrono::duration_cast<std::chrono::seconds>(now - *LostAt_);
        Log_("mqtt: the broker at " + Where() + " is back after " + std::to_string(away.count()) +
             " s; " + std::to_string(Dropped() - DroppedAtLoss_) + " messages dropped meanwhile");
        LostAt_.reset();
    }
    LostReason_.clear();
    EverUp_ = true;
}

void MqttLink::Lost(const std::string& reason, Clock::time_point now)
{
    const bool wasUp = Phase_ == Phase::Up;
    Phase_ = Phase::Waiting;
    Up_.store(false, std::memory_order_relaxed);
    if (wasUp) {
        // QoS 0 packets the library had not written yet go with the connection.
        Dropped_.fetch_add(ReadingsInFlight_, std::memory_order_relaxed);
        ReadingsInFlight_ = 0;
        Backoff_ = FirstRetry;
        LostAt_ = now;
        DroppedAtLoss_ = Dropped();
        Log_("mqtt: lost the broker at " + Where() + " (" + reason +
             "); recording goes on, trying again in " + std::to_string(Backoff_.count()) +
             " s and then less often");
    } else if (EverUp_ && reason != LostReason_) {
        Log_("mqtt: still no broker at " + Where() + " (" + reason + ")");
    }
    LostReason_ = reason;
    NextAttempt_ = now + Backoff_;
    Backoff_ = std::min<std::chrono::seconds>(Backoff_ * 2, LastRetry);
}

void MqttLink::PublishRetained(const MqttMessage& message)
{
    int mid = 0;
    if (mosquitto_publish(Client_, &mid, message.Topic.c_str(),
                          static_cast<int>(message.Payload.size()), message.Payload.data(), 1,
                          true) == MOSQ_ERR_SUCCESS)
        Unacknowledged_[mid] = Kind::Other;
}

void MqttLink::AddRetained(MqttMessage message)
{
    if (!Retained_.TryPush(std::move(message)))
        Dropped_.fetch_add(1, std::memory_order_relaxed);
}

void MqttLink::PublishState(std::string json)
{
    if (!States_.TryPush(std::move(json)))
        Dropped_.fetch_add(1, std::memory_order_relaxed);
}

void MqttLink::PublishReading(const QueuedReading& reading)
{
    if (!Readings_.TryPush(reading))
        Dropped_.fetch_add(1, std::memory_order_relaxed);
}

void MqttLink::Pump()
{
    MqttMessage retained;
    while (Retained_.TryPop(retained)) {
        if (Phase_ == Phase::Up)
            PublishRetained(retained);
        Settings_.OnConnect.push_back(std::move(retained));
    }
    std::string state;
    while (States_.TryPop(state))
        Pending_.push_back(std::move(state));
    // The newest state says most: the oldest give way.
    while (!Pending_.empty() && Pending_.size() + StatesInFlight_ > StateQueueLimit) {
        Pending_.pop_front();
        Dropped_.fetch_add(1, std::memory_order_relaxed);
    }
    if (Phase_ != Phase::Up)
        return;
    while (!Pending_.empty()) {
        int mid = 0;
        const std::string& json = Pending_.front();
        if (mosquitto_publish(Client_, &mid, Settings_.StateTopic.c_str(),
                              static_cast<int>(json.size()), json.data(), 1,
                              true) != MOSQ_ERR_SUCCESS)
            break; // the next round's read says why
        Unacknowledged_[mid] = Kind::State;
        ++StatesInFlight_;
        Pending_.pop_front();
    }
    QueuedReading reading;
    while (ReadingsInFlight_ < ReadingsInFlightLimit && Readings_.TryPop(reading)) {
        char payload[96];
        const int size = ReadingJson(payload, reading);
        // Counted first: the library reports a QoS 0 message written before it returns.
        ++ReadingsInFlight_;
        if (mosquitto_publish(Client_, nullptr, Settings_.ReadingTopic.c_str(), size, payload, 0,
                              false) != MOSQ_ERR_SUCCESS) {
            --ReadingsInFlight_;
            Dropped_.fetch_add(1, std::memory_order_relaxed);
        }
    }
}

void MqttLink::Run()
{
    while (!StopRequested_.load()) {
        if (Phase_ == Phase::Waiting) {
            if (Clock::now() >= NextAttempt_)
                BeginAttempt(false);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(RoundMs));
        }
        if (Phase_ != Phase::Waiting)
            Step(RoundMs);
        Pump();
    }
}

void MqttLink::Stop(std::chrono::milliseconds limit)
{
    if (!Thread_.joinable())
        return;
    StopRequested_.store(true);
    Thread_.join();
    // What is queued gets its chance, then offline, then a clean goodbye (which tells the
    // broker not to send the will: offline is said in words).
    const auto deadline = Clock::now() + limit;
    const auto until = [&](auto done) {
        while (Phase_ == Phase::Up && !done() && Clock::now() < deadline) {
            Step(RoundMs);
            Pump();
        }
    };
    Pump();
    until([&] { return Pending_.empty() && Unacknowledged_.empty() && ReadingsInFlight_ == 0; });
    if (Phase_ != Phase::Up)
        return;
    int mid = 0;
    static constexpr char Offline[] = "offline";
    if (mosquitto_publish(Client_, &mid, Settings_.AvailabilityTopic.c_str(), sizeof Offline - 1,
                          Offline, 1, true) == MOSQ_ERR_SUCCESS)
        Unacknowledged_[mid] = Kind::Other;
    until([&] { return Unacknowledged_.empty(); });
    mosquitto_disconnect(Client_);
    for (int i = 0; i < 5 && mosquitto_want_write(Client_); ++i)
        mosquitto_loop(Client_, RoundMs, 1);
}

} // namespace rv
