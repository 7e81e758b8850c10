#include "rangeview/tools/PlotEnvelope.h"

#include <algorithm>
#include <limits>

namespace rv {

PlotEnvelope::PlotEnvelope(std::int64_t fromUs, std::int64_t toUs, int columns)
    : From_(fromUs), To_(std::max(toUs, fromUs + 1)),
      Columns_(static_cast<std::size_t>(std::max(columns, 1)))
{
}

int PlotEnvelope::ColumnOf(std::int64_t timeUs) const noexcept
{
    const auto count = static_cast<std::int64_t>(Columns_.size());
    const std::int64_t span = To_ - From_;
    const std::int64_t offset = std::clamp<std::int64_t>(timeUs - From_, 0, span);
    std::int64_t column = 0;
    if (span <= std::numeric_limits<std::int64_t>::max() / count) {
        column = offset * count / span;
    } else {
        // Windows of centuries only: a double is close enough there.
        column = static_cast<std::int64_t>(static_cast<double>(offset) / static_cast<double>(span) *
                                           static_cast<double>(count));
    }
    return static_cast<int>(std::clamp<std::int64_t>(column, 0, count - 1));
}

void PlotEnvelope::Reading(std::int64_t timeUs, const MeasurementReading& reading)
{
    const bool gap =
        PreviousTime_ &&
        (timeUs - *PreviousTime_ > SilenceUs || timeUs < *PreviousTime_ || Restarted_ ||
         DropsSince_ >= GapChecksumDrops || SkippedSince_ >= GapSkippedBytes);
    const bool before = PreviousTime_ && *PreviousTime_ < From_;
    PreviousTime_ = timeUs;
    DropsSince_ = SkippedSince_ = 0;
    Restarted_ = false;
    const auto shade = [this](int from, int to) {
        for (int c = from; c < to; ++c)
            Columns_[static_cast<std::size_t>(c)].InGap = true;
    };
    if (!Inside(timeUs)) {
        // A gap that runs on past the window's end is shaded up to it.
        if (gap && PreviousColumn_ >= 0 && timeUs > To_) {
            ++Gaps_;
            shade(PreviousColumn_ + 1, static_cast<int>(Columns_.size()));
        }
        PreviousColumn_ = -1;
        return;
    }
    const int at = ColumnOf(timeUs);
    Column& column = Columns_[static_cast<std::size_t>(at)];
    if (gap && PreviousColumn_ >= 0) {
        ++Gaps_;
        // Inside one column a gap cannot show; between two the line does not join them.
        if (at != PreviousColumn_ && !column.Filled)
            column.BreakBefore = true;
        shade(PreviousColumn_ + 1, at);
    } else if (gap && before) {
        // One that began before the window is shaded from its start.
        ++Gaps_;
        shade(0, at);
    }
    PreviousColumn_ = at;

    const std::uint16_t d = reading.Distance;
    if (!column.Filled) {
        column.Filled = true;
        column.First = column.Min = column.Max = column.Last = d;
        column.MinBeforeMax = true;
    } else {
        if (d < column.Min) {
            column.Min = d;
            column.MinBeforeMax = false;
        }
        if (d > column.Max) {
            column.Max = d;
            column.MinBeforeMax = true;
        }
        column.Last = d;
    }
    if (Statistics_.Readings() == 0) {
        Min_ = Max_ = d;
    } else {
        Min_ = std::min(Min_, d);
        Max_ = std::max(Max_, d);
    }
    Statistics_.AddReading(reading);
}

void PlotEnvelope::Lost(std::int64_t timeUs, std::uint64_t checksumDrops,
                        std::uint64_t skippedBytes)
{
    DropsSince_ += checksumDrops;
    SkippedSince_ += skippedBytes;
    if (!Inside(timeUs))
        return;
    Counts_.ChecksumDrops += checksumDrops;
    Counts_.SkippedBytes += skippedBytes;
    auto& drops = Columns_[static_cast<std::size_t>(ColumnOf(timeUs))].ChecksumDrops;
    drops = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::uint64_t{drops} + checksumDrops, UINT32_MAX));
}

} // namespace rv
