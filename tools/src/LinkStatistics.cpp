#include "rangeview/tools/LinkStatistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace rv {

namespace {

std::string Fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// The nearest-rank percentile of sorted values.
std::uint32_t Percentile(const std::vector<std::uint32_t>& sorted, double p)
{
    const auto rank =
        static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

std::string Milliseconds(std::uint32_t us)
{
    return Fixed(static_cast<double>(us) / 1000.0, 3);
}

} // namespace

double RunningMoments::StandardDeviation() const noexcept
{
    if (Count_ < 2)
        return 0.0;
    return std::sqrt(M2_ / static_cast<double>(Count_ - 1));
}

void LinkStatistics::AddReading(const MeasurementReading& reading) noexcept
{
    if (Distance_.Count() == 0) {
        Min_ = Max_ = reading.Distance;
    } else {
        Min_ = std::min(Min_, reading.Distance);
        Max_ = std::max(Max_, reading.Distance);
    }
    Distance_.Add(reading.Distance);
    ++Modes_[reading.Mode];
}

void LinkStatistics::QuerySent(Clock::time_point when)
{
    if (PendingQuery_)
        ++Unanswered_;
    PendingQuery_ = when;
}

std::optional<std::chrono::microseconds> LinkStatistics::ReplyReceived(Clock::time_point when)
{
    if (!PendingQuery_)
        return std::nullopt;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(when - *PendingQuery_);
    const auto latency =
        static_cast<std::uint32_t>(std::clamp<std::int64_t>(us.count(), 0, UINT32_MAX));
    PendingQuery_.reset();
    MaxLatencyUs_ = std::max(MaxLatencyUs_, latency);
    // Reservoir sampling: the n-th reply takes a place in the sample with chance size/n.
    ++Replies_;
    if (LatenciesUs_.size() < LatencySampleSize) {
        LatenciesUs_.push_back(latency);
    } else {
        const std::uint64_t place =
            std::uniform_int_distribution<std::uint64_t>(0, Replies_ - 1)(SampleRng_);
        if (place < LatencySampleSize)
            LatenciesUs_[place] = latency;
    }
    return std::chrono::microseconds(latency);
}

LinkStatistics LinkStatistics::NextPeriod() const
{
    LinkStatistics next;
    next.TrackQueries_ = TrackQueries_;
    next.PendingQuery_ = PendingQuery_;
    return next;
}

std::string LinkStatistics::Report(const CountingDecoder& counts, double seconds,
                                   Clock::time_point now) const
{
    std::string line;
    for (const auto& [name, value] : Fields(counts.Counts(), seconds, now)) {
        if (!line.empty())
            line += ' ';
        line += name;
        line += '=';
        line += value;
    }
    return line;
}

std::vector<std::pair<std::string, std::string>>
LinkStatistics::Fields(const DecodeCounts& counts, double seconds, Clock::time_point now) const
{
    std::vector<std::pair<std::string, std::string>> fields;
    const auto add = [&](const char* name, std::string value) {
        fields.emplace_back(name, std::move(value));
    };
    const std::uint64_t readings = Distance_.Count();
    add("readings", std::to_string(readings));
    add("bytes", std::to_string(counts.Bytes));
    add("checksum_drops", std::to_string(counts.ChecksumDrops));
    add("skipped_bytes", std::to_string(counts.SkippedBytes));
    if (seconds > 0)
        add("readings_per_s", Fixed(static_cast<double>(readings) / seconds, 2));
    if (readings > 0) {
        add("distance_min", std::to_string(Min_));
        add("distance_max", std::to_string(Max_));
        add("distance_mean", Fixed(Distance_.Mean(), 3));
        add("distance_sd", Fixed(Distance_.StandardDeviation(), 3));
    }
    std::string modes;
    for (std::size_t mode = 0; mode < Modes_.size(); ++mode) {
        if (Modes_[mode] == 0)
            continue;
        if (!modes.empty())
            modes += ',';
        modes += std::to_string(mode) + ':' + std::to_string(Modes_[mode]);
    }
    add("modes", modes.empty() ? "-" : modes);
    if (TrackQueries_) {
        std::uint64_t unanswered = Unanswered_;
        if (PendingQuery_ && now - *PendingQuery_ >= std::chrono::seconds(1))
            ++unanswered;
        if (LatenciesUs_.empty()) {
            add("latency_p50_ms", "-");
            add("latency_p99_ms", "-");
            add("latency_max_ms", "-");
        } else {
            std::vector<std::uint32_t> sorted = LatenciesUs_;
            std::sort(sorted.begin(), sorted.end());
            add("latency_p50_ms", Milliseconds(Percentile(sorted, 50)));
            add("latency_p99_ms", Milliseconds(Percentile(sorted, 99)));
            add("latency_max_ms", Milliseconds(MaxLatencyUs_));
        }
        add("unanswered", std::to_string(unanswered));
    }
    return fields;
}

} // namespace rv
