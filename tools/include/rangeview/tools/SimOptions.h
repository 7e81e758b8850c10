#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace rv {

// Command line of rangeview-sim.
struct SimOptions {
    bool Help = false;
    bool Stdout = false; // write frames to standard output instead of a pseudo-terminal
    std::string LinkPath; // stable symlink to the pseudo-terminal's slave
    double RateHz = 10.0;
    std::string Signal = "sine";
    int Mode = 3;
    bool QueryMode = false; // start without automatic output
    std::uint32_t BadChecksumEvery = 0;
    std::uint32_t StrayEvery = 0;
    bool Split = false;
    bool Burst = false;
    double HangupAfter = 0.0; // seconds; 0: never
    std::optional<std::uint64_t> Frames; // stop output after this many frames
    std::uint64_t Seed = 1;
    std::string ReplayPath; // play this capture instead of simulating; empty: simulate
    double Speed = 1.0; // replay time scale; 0: as fast as the host reads
    std::string SentLogPath; // capture of every byte written; empty: none
};

// Throws ToolError with a one-line message on a bad command line.
SimOptions ParseSimOptions(std::span<const std::string_view> args);

std::string_view SimUsage() noexcept;

} // namespace rv
