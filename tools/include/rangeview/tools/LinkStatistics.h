#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "rangeview/protocol/FrameDecoder.h"

namespace rv {

// The integrity counts of a decoder, or of a stretch of its input (the difference of two).
struct DecodeCounts {
    std::uint64_t Bytes = 0;
    std::uint64_t ChecksumDrops = 0;
    std::uint64_t SkippedBytes = 0;
};

// A FrameDecoder with integrity counts kept beside it. The counts are read off the decoder's
// public state before and after each byte, so the decoder itself (and the window, which uses it
// bare) is untouched: what it decodes and the state it keeps are exactly those of FrameDecoder.
class CountingDecoder {
public:
    std::optional<MeasurementReading> FeedByte(std::uint8_t b) noexcept
    {
        ++Bytes_;
        // Read before the byte: where it lands decides what it counts as.
        const bool waiting = !Decoder_.InFrame();
        const bool lonePending = waiting && Decoder_.FramePos() == 1;
        const bool checksumByte = !waiting && Decoder_.LengthSeen() && Decoder_.FramePos() != 3 &&
                                  Decoder_.FramePos() == Decoder_.FrameLength() + 4;
        const auto reading = Decoder_.FeedByte(b);
        if (waiting && Decoder_.FramePos() == 0) {
            // Dropped while waiting, and with it a lone 5A that was waiting for its partner.
            SkippedBytes_ += lonePending ? 2 : 1;
        } else if (checksumByte && !reading) {
            ++ChecksumDrops_;
        }
        return reading;
    }

    // Starts over as a new decoder, for bytes from a port opened again: a frame left unfinished
    // by a port that vanished cannot go on in the next. Its bytes count as skipped.
    void Restart() noexcept
    {
        if (Decoder_.InFrame() || Decoder_.FramePos() > 0)
            SkippedBytes_ += static_cast<std::uint64_t>(Decoder_.FramePos());
        Decoder_ = FrameDecoder();
    }

    const FrameDecoder& Decoder() const noexcept { return Decoder_; }
    std::uint64_t Bytes() const noexcept { return Bytes_; }
    std::uint64_t ChecksumDrops() const noexcept { return ChecksumDrops_; }
    // Bytes outside any frame that have been dropped. A 5A still waiting for a second one is
    // not counted until the next byte decides.
    std::uint64_t SkippedBytes() const noexcept { return SkippedBytes_; }
    DecodeCounts Counts() const noexcept { return {Bytes_, ChecksumDrops_, SkippedBytes_}; }

private:
    FrameDecoder Decoder_;
    std::uint64_t Bytes_ = 0;
    std::uint64_t ChecksumDrops_ = 0;
    std::uint64_t SkippedBytes_ = 0;
};

// Mean and standard deviation by Welford's update, which stays accurate over a night of
// readings where a sum of squares would lose the small variations of a large distance.
class RunningMoments {
public:
    void Add(double x) noexcept
    {
        ++Count_;
        const double delta = x - Mean_;
        Mean_ += delta / static_cast<double>(Count_);
        M2_ += delta * (x - Mean_);
    }
    std::uint64_t Count() const noexcept { return Count_; }
    double Mean() const noexcept { return Mean_; }
    // The sample standard deviation (n - 1); 0 below two values.
    double StandardDeviation() const noexcept;

private:
    std::uint64_t Count_ = 0;
    double Mean_ = 0.0;
    double M2_ = 0.0;
};

// What `--stats` reports: the readings, the link's integrity and, for queries, the reply times.
class LinkStatistics {
public:
    using Clock = std::chrono::steady_clock;
    // Reply times kept for the percentiles: every one up to this many, then a uniform sample of
    // this many, so that a week of queries takes no more memory than the first few hours.
    static constexpr std::size_t LatencySampleSize = 100000;

    void AddReading(const MeasurementReading& reading) noexcept;
    std::uint64_t Readings() const noexcept { return Distance_.Count(); }

    // Query timing: a query waits for the next reading. A query sent while the previous one is
    // still waiting leaves that one unanswered.
    void QuerySent(Clock::time_point when);
    // The reply time when a query was waiting.
    std::optional<std::chrono::microseconds> ReplyReceived(Clock::time_point when);
    // Marks the run as one whose sends are queries, so the report carries their timing.
    void TrackQueries() noexcept { TrackQueries_ = true; }
    bool TracksQueries() const noexcept { return TrackQueries_; }
    // Empty figures for the next stretch of the same run: a query still waiting is carried
    // over, so that its reply is timed there.
    LinkStatistics NextPeriod() const;

    // One line of "name=value" fields: readings, bytes, checksum_drops, skipped_bytes,
    // readings_per_s (over `seconds`, left out when not positive), distance_min, distance_max,
    // distance_mean, distance_sd, modes (mode:count,...), and for queries latency_p50_ms,
    // latency_p99_ms, latency_max_ms and unanswered (the maximum over all replies, the
    // percentiles over the sample). A query still waiting at the end counts as unanswered only
    // once `now` is a second past it.
    std::string Report(const CountingDecoder& counts, double seconds, Clock::time_point now) const;
    // The same figures as (name, value) pairs, in the order of the line, for other ways of
    // showing them.
    std::vector<std::pair<std::string, std::string>>
    Fields(const DecodeCounts& counts, double seconds, Clock::time_point now) const;

private:
    RunningMoments Distance_;
    std::uint16_t Min_ = 0;
    std::uint16_t Max_ = 0;
    std::array<std::uint64_t, 256> Modes_{};
    bool TrackQueries_ = false;
    std::optional<Clock::time_point> PendingQuery_;
    std::vector<std::uint32_t> LatenciesUs_; // the sample
    std::uint64_t Replies_ = 0;
    std::uint32_t MaxLatencyUs_ = 0;
    std::mt19937_64 SampleRng_; // a fixed seed: the same replies give the same report
    std::uint64_t Unanswered_ = 0;
};

} // namespace rv
