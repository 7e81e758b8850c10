#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "rangeview/tools/LinkStatistics.h"
#include "rangeview/tools/PlotInput.h"

namespace rv {

// The readings of a time window reduced to the pixel columns of a plot: per column the first,
// the smallest, the largest and the last distance. Joined in the order they came, these four
// put down the same pixels as a line through every reading would, so each reading's extreme
// shows however many share a column; nothing is dropped by stride. Beside them: where the line
// breaks for a gap, the checksum drops per column, and the statistics of the same readings.
// Memory: the columns, whatever the number of readings.
//
// A gap lies between two readings in a row when more than a second passed between them (a
// silence: a reconnect shows as one too, the monitor tries again every 500 ms), when time went
// back or a new recording started (Restart), or when what came between them lost a run of
// frames: two or more checksum drops, or a frame's worth of skipped bytes. A gap is shaded up to
// the window's edge when it runs past it.
class PlotEnvelope final : public PlotSink {
public:
    static constexpr std::int64_t SilenceUs = 1'000'000;
    static constexpr std::uint64_t GapChecksumDrops = 2;
    static constexpr std::uint64_t GapSkippedBytes = 8;

    struct Column {
        std::uint16_t First = 0;
        std::uint16_t Min = 0;
        std::uint16_t Max = 0;
        std::uint16_t Last = 0;
        bool Filled = false;
        // The smallest came before the largest (the first of each counts).
        bool MinBeforeMax = false;
        // No line from the filled column before: a gap lies between them.
        bool BreakBefore = false;
        // Holds no reading and lies inside a gap.
        bool InGap = false;
        std::uint32_t ChecksumDrops = 0;
    };

    // The window [fromUs, toUs] (fromUs < toUs) over `columns` columns of equal length.
    PlotEnvelope(std::int64_t fromUs, std::int64_t toUs, int columns);

    // The column of a time inside the window; the window's end belongs to the last one.
    int ColumnOf(std::int64_t timeUs) const noexcept;
    bool Inside(std::int64_t timeUs) const noexcept { return timeUs >= From_ && timeUs <= To_; }

    void Reading(std::int64_t timeUs, const MeasurementReading& reading) override;
    void Lost(std::int64_t timeUs, std::uint64_t checksumDrops,
              std::uint64_t skippedBytes) override;
    void Restart() override { Restarted_ = true; }

    const std::vector<Column>& Columns() const noexcept { return Columns_; }
    // Of the readings in the window.
    const LinkStatistics& Statistics() const noexcept { return Statistics_; }
    std::uint64_t Readings() const noexcept { return Statistics_.Readings(); }
    // Drops and skipped bytes in the window (no byte count: only a capture has bytes).
    const DecodeCounts& Counts() const noexcept { return Counts_; }
    std::uint64_t Gaps() const noexcept { return Gaps_; }
    std::uint16_t Min() const noexcept { return Min_; }
    std::uint16_t Max() const noexcept { return Max_; }

private:
    std::int64_t From_;
    std::int64_t To_;
    std::vector<Column> Columns_;
    LinkStatistics Statistics_;
    DecodeCounts Counts_;
    std::uint64_t Gaps_ = 0;
    std::uint16_t Min_ = 0;
    std::uint16_t Max_ = 0;
    // The reading before, anywhere in the file, and what was lost since.
    std::optional<std::int64_t> PreviousTime_;
    int PreviousColumn_ = -1; // -1: it lay outside the window
    std::uint64_t DropsSince_ = 0;
    std::uint64_t SkippedSince_ = 0;
    bool Restarted_ = false;
};

} // namespace rv
