#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "rangeview/tools/DistanceSignal.h"

namespace rv {

// Finds commands (A5, code, (A5 + code) mod 256) in the bytes the host writes, resynchronising
// on the next A5 after anything malformed.
class CommandParser {
public:
    // Returns the code when b completes a command.
    std::optional<std::uint8_t> Feed(std::uint8_t b) noexcept;

private:
    std::uint8_t Window_[3]{};
    std::size_t Size_ = 0;
};

// Bytes waiting to be written, with frame boundaries so that a frame counts as sent only once
// its last byte is written. Bounded: when nobody reads, new frames are dropped, not queued.
class FrameOutputQueue {
public:
    explicit FrameOutputQueue(std::size_t limitBytes = 64 * 1024) : Limit_(limitBytes) { }

    // Queues one frame; a stray byte, if any, is part of bytes and written just before it.
    // Returns false (and counts a drop) when the queue is full.
    bool PushFrame(std::span<const std::uint8_t> bytes, bool badChecksum, bool stray);
    // Queues bytes that are no frame of ours (a replay), whatever the limit: the caller paces
    // them by RoomLeft().
    void PushBytes(std::span<const std::uint8_t> bytes);
    std::size_t RoomLeft() const noexcept
    {
        return Pending().size() < Limit_ ? Limit_ - Pending().size() : 0;
    }

    std::span<const std::uint8_t> Pending() const noexcept;
    bool Empty() const noexcept { return Pending().empty(); }
    // n bytes of Pending() were written.
    void Consume(std::size_t n);
    // The reader went away: what is queued is lost, a half-written frame included.
    void Clear();

    std::uint64_t FramesSent() const noexcept { return FramesSent_; }
    std::uint64_t BadFramesSent() const noexcept { return BadFramesSent_; }
    std::uint64_t StrayBytesSent() const noexcept { return StrayBytesSent_; }
    std::uint64_t FramesDropped() const noexcept { return FramesDropped_; }
    std::uint64_t BytesWritten() const noexcept { return Written_; }

private:
    struct Mark {
        std::uint64_t End; // absolute offset just past the frame
        bool Bad;
        bool Stray;
    };

    std::size_t Limit_;
    std::vector<std::uint8_t> Buffer_;
    std::size_t Head_ = 0;
    std::uint64_t Written_ = 0; // absolute offset of Buffer_[Head_]
    std::deque<Mark> Marks_;
    std::uint64_t FramesSent_ = 0;
    std::uint64_t BadFramesSent_ = 0;
    std::uint64_t StrayBytesSent_ = 0;
    std::uint64_t FramesDropped_ = 0;
};

// How the simulated module behaves; the simulator's options fill it, tests set it directly.
struct SimulatorSettings {
    std::uint8_t Mode = 3; // reported in every frame until a mode command
    bool AutomaticOutput = true; // stream at the rate; otherwise one frame per query
    std::uint32_t BadChecksumEvery = 0; // every K-th frame carries a wrong checksum (0: never)
    std::uint32_t StrayEvery = 0; // a stray 5A goes before every K-th frame (0: never)
    std::uint8_t FrameType = 0x01;
    std::uint64_t FrameLimit = UINT64_MAX; // no frames after this many, queried or not
};

// The module's behaviour, without any I/O: commands in, frames out.
class SensorSimulator {
public:
    SensorSimulator(DistanceSignal signal, SimulatorSettings settings);

    // Handles what the host wrote. A query answers with one frame into out; every command
    // understood adds one line to log.
    void ReceiveFromHost(std::span<const std::uint8_t> bytes, FrameOutputQueue& out,
                         std::vector<std::string>& log);

    // Builds the next frame (with any fault due) into out, unless the frame limit is reached.
    void EmitFrame(FrameOutputQueue& out);
    bool FrameLimitReached() const noexcept { return FramesBuilt_ >= Settings_.FrameLimit; }

    bool AutomaticOutput() const noexcept { return Settings_.AutomaticOutput; }
    std::uint8_t Mode() const noexcept { return Settings_.Mode; }
    std::uint32_t ModuleBaud() const noexcept { return ModuleBaud_; }
    std::uint64_t FramesBuilt() const noexcept { return FramesBuilt_; }
    // Size of a frame without a stray byte.
    static constexpr std::size_t FrameSize = 8;

private:
    std::string HandleCommand(std::uint8_t code, FrameOutputQueue& out);

    DistanceSignal Signal_;
    SimulatorSettings Settings_;
    CommandParser Parser_;
    std::uint32_t ModuleBaud_ = 115200;
    std::uint64_t FramesBuilt_ = 0;
};

} // namespace rv
