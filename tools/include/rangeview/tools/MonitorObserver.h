#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "rangeview/tools/LinkStatistics.h"

namespace rv {

// Something that follows a monitor run from the side: told of each reading, each query, the
// port coming and going, and given time on the loop when it is due. Every call comes on the
// monitor's loop thread, between the reads of the port, so none may wait for anything.
class MonitorObserver {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~MonitorObserver() = default;

    // The port is open (first open or back after a loss).
    virtual void LinkUp(Clock::time_point when) = 0;
    // The port is lost; reopening follows.
    virtual void LinkDown(Clock::time_point when) = 0;
    // A query went out (only when the run times its sends as queries).
    virtual void QuerySent(Clock::time_point when) = 0;
    // A reading as printed, with the decoder's counts just after it.
    virtual void Reading(Clock::time_point when, std::int64_t elapsedMs,
                         const MeasurementReading& reading, const DecodeCounts& counts) = 0;

    // Work of its own, run by the loop once NextDue() has come.
    virtual std::optional<Clock::time_point> NextDue() const = 0;
    virtual void RunDue(Clock::time_point now, const DecodeCounts& counts) = 0;
    // The run is over (after the port was opened): what was begun is finished.
    virtual void RunEnded(Clock::time_point when, const DecodeCounts& counts) = 0;
};

} // namespace rv
