// rangeview-cli as a field tool, on pseudo-terminals served by rangeview-sim: recording, replay,
// statistics and reconnect, checked against what the simulator itself logged as sent.

#include "OutputLines.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using rv::test::ChildProcess;
using rv::test::Lines;
using rv::test::ParseMonitorLines;

const std::string SimExe = RV_SIM_EXE;
const std::string CliExe = RV_CLI_EXE;

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const std::string& path)
{
    const auto bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

std::uint64_t Little(const std::uint8_t* p, int size)
{
    std::uint64_t value = 0;
    for (int i = 0; i < size; ++i)
        value |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    return value;
}

// The bytes of a capture file, read here from its documented layout: a 16-byte header starting
// "RVCAPTUR", version 1, then records of time (8 bytes), count (4 bytes) and the bytes.
struct CaptureBytes {
    bool Valid = false;
    std::vector<std::uint8_t> Bytes;
    std::vector<std::uint64_t> TimesUs; // per record
};

CaptureBytes ReadCapture(const std::string& path)
{
    CaptureBytes capture;
    const auto file = ReadFile(path);
    if (file.size() < 16 || std::string(file.begin(), file.begin() + 8) != "RVCAPTUR" ||
        Little(&file[8], 2) != 1)
        return capture;
    std::size_t at = Little(&file[10], 2);
    while (at + 12 <= file.size()) {
        const std::uint64_t time = Little(&file[at], 8);
        const std::size_t count = Little(&file[at + 8], 4);
        if (count == 0 || at + 12 + count > file.size())
            return capture;
        capture.TimesUs.push_back(time);
        capture.Bytes.insert(capture.Bytes.end(), file.begin() + static_cast<long>(at + 12),
                             file.begin() + static_cast<long>(at + 12 + count));
        at += 12 + count;
    }
    capture.Valid = at == file.size();
    return capture;
}

// What a receiver of these bytes must make of them, worked out from the frame rules alone:
// sync 5A 5A, type, length N, N payload bytes, checksum over everything before it; distance
// and mode from buffer positions 4 to 6; no resynchronisation inside a frame.
struct Expected {
    std::vector<std::string> Readings; // "distance,mode"
    std::uint64_t Bytes = 0;
    std::uint64_t ChecksumDrops = 0;
    std::uint64_t Skipped = 0;
    std::map<int, std::uint64_t> Modes;
    long Min = 0;
    long Max = 0;
    double Mean = 0;
    double Sd = 0;
};

Expected WorkOut(const std::vector<std::uint8_t>& bytes)
{
    Expected e;
    e.Bytes = bytes.size();
    std::uint8_t buffer[260]{};
    std::vector<double> distances;
    std::size_t i = 0;
    std::size_t lone = 0; // a single 5A waiting for its partner
    while (i < bytes.size()) {
        if (bytes[i] != 0x5A) {
            e.Skipped += 1 + lone;
            lone = 0;
            ++i;
            continue;
        }
        if (lone == 0) {
            lone = 1;
            ++i;
            continue;
        }
        // Two sync bytes: a frame runs to its checksum, whatever it holds.
        lone = 0;
        buffer[0] = buffer[1] = 0x5A;
        ++i;
        if (i + 2 > bytes.size())
            break;
        buffer[2] = bytes[i];
        buffer[3] = bytes[i + 1];
        const std::size_t n = buffer[3];
        if (i + 2 + n + 1 > bytes.size())
            break;
        unsigned sum = 0x5A + 0x5A + buffer[2] + buffer[3];
        for (std::size_t k = 0; k < n; ++k) {
            buffer[4 + k] = bytes[i + 2 + k];
            sum += buffer[4 + k];
        }
        const std::uint8_t check = bytes[i + 2 + n];
        buffer[4 + n] = check;
        i += 2 + n + 1;
        if ((sum & 0xFF) == check) {
            const long distance = buffer[4] * 256 + buffer[5];
            e.Readings.push_back(std::to_string(distance) + "," + std::to_string(buffer[6]));
            distances.push_back(static_cast<double>(distance));
            ++e.Modes[buffer[6]];
        } else {
            ++e.ChecksumDrops;
        }
    }
    if (!distances.empty()) {
        e.Min = static_cast<long>(*std::min_element(distances.begin(), distances.end()));
        e.Max = static_cast<long>(*std::max_element(distances.begin(), distances.end()));
        long double sum = 0;
        for (double d : distances)
            sum += d;
        e.Mean = static_cast<double>(sum / distances.size());
        long double squares = 0;
        for (double d : distances)
            squares += (d - e.Mean) * (d - e.Mean);
        e.Sd = distances.size() > 1
                   ? std::sqrt(static_cast<double>(squares / (distances.size() - 1)))
                   : 0.0;
    }
    return e;
}

// The fields of the last "stats:" line on standard error.
std::map<std::string, std::string> LastStats(const std::string& err)
{
    std::map<std::string, std::string> fields;
    for (const auto& line : Lines(err)) {
        const auto at = line.find("stats: ");
        if (at == std::string::npos)
            continue;
        fields.clear();
        std::istringstream words(line.substr(at + 7));
        for (std::string word; words >> word;) {
            const auto equals = word.find('=');
            if (equals != std::string::npos)
                fields[word.substr(0, equals)] = word.substr(equals + 1);
        }
    }
    return fields;
}

void ExpectStatsMatch(const std::map<std::string, std::string>& stats, const Expected& e,
                      const std::string& run)
{
    SCOPED_TRACE(run);
    ASSERT_FALSE(stats.empty());
    EXPECT_EQ(stats.at("readings"), std::to_string(e.Readings.size()));
    EXPECT_EQ(stats.at("bytes"), std::to_string(e.Bytes));
    EXPECT_EQ(stats.at("checksum_drops"), std::to_string(e.ChecksumDrops));
    EXPECT_EQ(stats.at("skipped_bytes"), std::to_string(e.Skipped));
    EXPECT_EQ(stats.at("distance_min"), std::to_string(e.Min));
    EXPECT_EQ(stats.at("distance_max"), std::to_string(e.Max));
    EXPECT_NEAR(std::stod(stats.at("distance_mean")), e.Mean, 0.0015);
    EXPECT_NEAR(std::stod(stats.at("distance_sd")), e.Sd, 0.0015);
    std::string modes;
    for (const auto& [mode, count] : e.Modes)
        modes += (modes.empty() ? "" : ",") + std::to_string(mode) + ":" + std::to_string(count);
    EXPECT_EQ(stats.at("modes"), modes);
}

std::vector<std::string> DistanceModes(const std::string& out)
{
    std::vector<std::string> readings;
    for (const auto& line : ParseMonitorLines(out))
        readings.push_back(std::to_string(line.Distance) + "," + std::to_string(line.Mode));
    return readings;
}

// Asks the simulator for its count until it has sent `frames` frames.
bool WaitForFramesSent(ChildProcess& sim, int frames, std::chrono::seconds limit)
{
    const auto end = ChildProcess::Clock::now() + limit;
    const std::string wanted = "sent " + std::to_string(frames) + " frames";
    while (ChildProcess::Clock::now() < end) {
        sim.Signal(SIGUSR1);
        if (sim.WaitForErr(wanted, 500ms))
            return true;
    }
    return false;
}

// A minute of a noisy, faulty link: recorded, replayed into a second monitor, decoded offline;
// every view of it must agree with what the simulator logged as sent.
TEST(FieldToolEndToEnd, RecordedMinuteReplaysToTheSameReadingsAndStatistics)
{
    rv::test::TempDir dir;
    ASSERT_FALSE(dir.Path.empty());
    const std::string sent = dir.Path + "/sent.cap";
    const std::string raw = dir.Path + "/field.cap";
    const std::string csv = dir.Path + "/field.csv";
    const std::string replayRaw = dir.Path + "/replay.cap";
    constexpr int Frames = 600; // 60 s at 10 Hz

    ChildProcess sim(SimExe, {"--signal", "noise", "--stray-5a-every", "50", "--bad-checksum-every",
                              "40", "--frames", std::to_string(Frames), "--sent-log", sent});
    const std::string port = sim.FirstLine();
    ASSERT_FALSE(port.empty()) << sim.Err;
    ChildProcess monitor(CliExe, {"monitor", "--port", port, "--baud", "115200", "--raw", raw,
                                  "--csv", csv, "--stats", "--stats-every", "20"});
    ASSERT_TRUE(WaitForFramesSent(sim, Frames, 90s)) << sim.Err;
    std::this_thread::sleep_for(300ms); // the last frame's way through the port
    monitor.Signal(SIGTERM);
    EXPECT_EQ(monitor.Wait(10s), 0) << monitor.Err;
    sim.Signal(SIGTERM);
    ASSERT_EQ(sim.Wait(10s), 0) << sim.Err;

    const CaptureBytes sentLog = ReadCapture(sent);
    ASSERT_TRUE(sentLog.Valid);
    const Expected expected = WorkOut(sentLog.Bytes);
    // The faults are there: about 15 bad checksums and 12 stray bytes in 600 frames.
    EXPECT_GE(expected.ChecksumDrops, 15u);
    EXPECT_GE(expected.Skipped, 10u);
    EXPECT_LT(expected.Readings.size(), static_cast<std::size_t>(Frames));

    // The recording: every byte, in order, and one row per reading.
    const CaptureBytes recorded = ReadCapture(raw);
    ASSERT_TRUE(recorded.Valid);
    EXPECT_EQ(recorded.Bytes, sentLog.Bytes);
    EXPECT_GT(recorded.TimesUs.back(), 55'000'000u);
    EXPECT_EQ(DistanceModes(monitor.Out), expected.Readings);
    const auto rows = Lines(ReadText(csv));
    ASSERT_EQ(rows.size(), expected.Readings.size() + 1);
    EXPECT_EQ(rows[0], "time_utc,elapsed_ms,distance_mm,mode,mode_name");
    const auto printed = Lines(monitor.Out);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        // 2026-12-07T12:36:01.123Z,elapsed,distance,mode,一般模式: the printed line in the middle
        ASSERT_EQ(rows[i].size() > 25 ? rows[i].substr(25) : "", printed[i - 1] + ",一般模式")
            << rows[i];
        EXPECT_EQ(rows[i][10], 'T');
        EXPECT_EQ(rows[i][23], 'Z');
    }
    ExpectStatsMatch(LastStats(monitor.Err), expected, "recording");
    // Three lines: at 20 s, at 40 s, and at the end (a fourth at 60 s may race the stop).
    const auto errLines = Lines(monitor.Err);
    EXPECT_GE(errLines.size(), 3u) << monitor.Err;
    EXPECT_LE(errLines.size(), 4u) << monitor.Err;

    // Offline: the same lines as the live run printed, the same statistics.
    ChildProcess decode(CliExe, {"decode", "--capture", raw, "--stats"});
    EXPECT_EQ(decode.Wait(10s), 0) << decode.Err;
    EXPECT_EQ(decode.Out, monitor.Out);
    ExpectStatsMatch(LastStats(decode.Err), expected, "decode");

    // Drawn, from either file: a picture and not a word on standard error.
    for (const std::string& input : {raw, csv}) {
        ChildProcess plot(CliExe, {"plot", input, "-o", input + ".png"});
        EXPECT_EQ(plot.Wait(30s), 0) << plot.Err;
        EXPECT_EQ(plot.Err, "");
        const auto png = ReadFile(input + ".png");
        EXPECT_TRUE(png.size() > 8 && std::string(png.begin() + 1, png.begin() + 4) == "PNG");
    }

    // Replayed twenty times as fast into a second monitor.
    ChildProcess replay(SimExe, {"--replay", raw, "--speed", "20"});
    const std::string replayPort = replay.FirstLine();
    ASSERT_FALSE(replayPort.empty()) << replay.Err;
    ChildProcess second(CliExe, {"monitor", "--port", replayPort, "--baud", "115200", "--raw",
                                 replayRaw, "--stats"});
    ASSERT_TRUE(replay.WaitForErr("replay queued", 20s)) << replay.Err;
    EXPECT_TRUE(second.WaitForLines(expected.Readings.size(), 5s));
    std::this_thread::sleep_for(200ms);
    second.Signal(SIGINT);
    EXPECT_EQ(second.Wait(10s), 0) << second.Err;
    replay.Signal(SIGTERM);
    EXPECT_EQ(replay.Wait(10s), 0) << replay.Err;

    EXPECT_EQ(DistanceModes(second.Out), expected.Readings);
    ExpectStatsMatch(LastStats(second.Err), expected, "replay");
    const auto a = LastStats(monitor.Err);
    auto b = LastStats(second.Err);
    for (const auto& [name, value] : a) {
        if (name == "readings_per_s")
            continue; // the runs took different times
        EXPECT_EQ(b[name], value) << name;
    }
    EXPECT_EQ(ReadCapture(replayRaw).Bytes, sentLog.Bytes);
    // With the recorded timing, scaled: the last reading comes near 1/20 of the minute.
    const auto replayed = ParseMonitorLines(second.Out);
    const auto original = ParseMonitorLines(monitor.Out);
    ASSERT_FALSE(replayed.empty());
    EXPECT_NEAR(static_cast<double>(replayed.back().Elapsed),
                static_cast<double>(original.back().Elapsed) / 20.0, 400.0);
}

TEST(FieldToolEndToEnd, ReconnectFindsTheModuleAgainOnTheSameLink)
{
    rv::test::TempDir dir;
    ASSERT_FALSE(dir.Path.empty());
    const std::string link = dir.Path + "/ttyRANGE";
    const std::string sentAfter = dir.Path + "/after.cap";

    auto first = std::make_unique<ChildProcess>(
        SimExe, std::vector<std::string>{"--link", link, "--rate", "20", "--hangup-after", "2"});
    ASSERT_FALSE(first->FirstLine().empty()) << first->Err;
    ChildProcess monitor(CliExe, {"monitor", "--port", link, "--baud", "115200", "--reconnect"});
    EXPECT_EQ(first->Wait(10s), 0) << first->Err;
    ASSERT_TRUE(monitor.WaitForErr("port lost", 5s)) << monitor.Err;
    const std::size_t before = ParseMonitorLines(monitor.Out).size();
    EXPECT_GE(before, 20u);

    std::this_thread::sleep_for(1s);
    ChildProcess second(SimExe, {"--link", link, "--rate", "20", "--signal", "steps", "--frames",
                                 "30", "--sent-log", sentAfter});
    ASSERT_FALSE(second.FirstLine().empty()) << second.Err;
    ASSERT_TRUE(monitor.WaitForErr("port back", 5s)) << monitor.Err;
    ASSERT_TRUE(WaitForFramesSent(second, 30, 10s)) << second.Err;
    // On a loaded machine the monitor may print the last of them well after they were sent.
    EXPECT_TRUE(monitor.WaitForLines(before + 30, 10s)) << monitor.Out;
    monitor.Signal(SIGTERM);
    EXPECT_EQ(monitor.Wait(10s), 0) << monitor.Err;
    second.Signal(SIGTERM);
    EXPECT_EQ(second.Wait(10s), 0);

    const auto err = Lines(monitor.Err);
    ASSERT_EQ(err.size(), 2u) << monitor.Err;
    EXPECT_TRUE(
        err[0].starts_with("rangeview-cli: monitor: " + link + ": port lost (ReadFile Error!"))
        << err[0];
    EXPECT_TRUE(err[0].ends_with("); reopening every 500 ms")) << err[0];
    EXPECT_EQ(err[1], "rangeview-cli: monitor: " + link + ": port back");

    // Everything the new module sent arrived, after the readings of the old one.
    const Expected after = WorkOut(ReadCapture(sentAfter).Bytes);
    ASSERT_EQ(after.Readings.size(), 30u);
    const auto readings = DistanceModes(monitor.Out);
    ASSERT_EQ(readings.size(), before + 30) << monitor.Out;
    EXPECT_EQ(
        std::vector<std::string>(readings.begin() + static_cast<long>(before), readings.end()),
        after.Readings);
    // Elapsed time runs on from the first start, across the gap.
    const auto lines = ParseMonitorLines(monitor.Out);
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_GE(lines[i].Elapsed, lines[i - 1].Elapsed);
    EXPECT_GE(lines[before].Elapsed - lines[before - 1].Elapsed, 1000);
}

TEST(FieldToolEndToEnd, APortThatIsNoTerminalSaysWhy)
{
    rv::test::TempDir dir;
    const std::string file = dir.Path + "/not-a-port";
    std::ofstream(file) << "text\n";
    ChildProcess monitor(CliExe, {"monitor", "--port", file, "--count", "1"});
    EXPECT_EQ(monitor.Wait(5s), 1);
    const auto err = Lines(monitor.Err);
    ASSERT_EQ(err.size(), 1u) << monitor.Err;
    EXPECT_TRUE(err[0].starts_with("rangeview-cli: monitor: " + file + ": 串口打开失败! ("))
        << err[0];
    EXPECT_TRUE(err[0].ends_with(")"));
    EXPECT_EQ(monitor.Out, "");
}

TEST(FieldToolEndToEnd, BadValuesAndUnwritableFilesAreOneLine)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"monitor", "--port", "x", "--stats-every", "0"},
          {"monitor", "--port", "x", "--csv"},
          {"monitor", "--port", "x", "--reconnect=yes"},
          {"decode", "--capture"},
          {"decode", "--frobnicate"}}) {
        ChildProcess run(CliExe, args);
        EXPECT_EQ(run.Wait(5s), 2) << args.back();
        EXPECT_EQ(Lines(run.Err).size(), 1u) << run.Err;
    }
    ChildProcess sim(SimExe, {"--speed", "-1"});
    EXPECT_EQ(sim.Wait(5s), 2);
    EXPECT_EQ(Lines(sim.Err).size(), 1u) << sim.Err;

    rv::test::TempDir dir;
    ChildProcess simulation(SimExe, {"--rate", "500"});
    const std::string port = simulation.FirstLine();
    ASSERT_FALSE(port.empty());
    const std::string csv = dir.Path + "/r.csv";
    const std::string raw = dir.Path + "/r.cap";
    ChildProcess first(CliExe, {"monitor", "--port", port, "--count", "3", "--csv", csv});
    ASSERT_EQ(first.Wait(5s), 0) << first.Err;
    const auto recorded = ReadFile(csv);
    const std::string link = dir.Path + "/link.csv";
    ASSERT_EQ(::symlink(csv.c_str(), link.c_str()), 0);

    // Refused before the port is touched, and what was there is left as it was.
    const std::string notRegular = ": cannot create: not a regular file\n";
    for (const auto& [args, err] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--csv", csv},
              "--csv " + csv +
                  ": cannot create: the file exists (--overwrite "
                  "replaces it)\n"},
             {{"--csv", link, "--overwrite"}, "--csv " + link + notRegular},
             {{"--raw", port, "--overwrite"}, "--raw " + port + notRegular},
             {{"--csv", "/dev/full"}, "--csv /dev/full" + notRegular},
         }) {
        std::vector<std::string> command{"monitor", "--port", port, "--count", "3"};
        command.insert(command.end(), args.begin(), args.end());
        ChildProcess again(CliExe, command);
        EXPECT_EQ(again.Wait(5s), 1) << again.Err;
        EXPECT_EQ(again.Err, "rangeview-cli: monitor: " + err);
        EXPECT_EQ(again.Out, "");
    }
    EXPECT_EQ(ReadFile(csv), recorded);

    // A full disk, here the file-size limit: one line and status 1, not death by SIGXFSZ, and
    // both files end at a whole row and a whole record.
    ChildProcess limited("/bin/sh",
                         {"-c", "ulimit -f 8 && exec \"$0\" \"$@\"", CliExe, "monitor", "--port",
                          port, "--baud", "115200", "--csv", csv, "--raw", raw, "--overwrite"});
    EXPECT_EQ(limited.Wait(10s), 1) << limited.Err;
    EXPECT_EQ(Lines(limited.Err).size(), 1u) << limited.Err;
    EXPECT_NE(limited.Err.find(": cannot write: File too large"), std::string::npos) << limited.Err;
    const auto rows = Lines(ReadText(csv));
    EXPECT_GT(rows.size(), 10u);
    EXPECT_EQ(ReadFile(csv).back(), '\n');
    for (const auto& row : rows)
        EXPECT_EQ(std::count(row.begin(), row.end(), ','), 4) << row;
    EXPECT_TRUE(ReadCapture(raw).Valid);
    simulation.Signal(SIGTERM);
    EXPECT_EQ(simulation.Wait(5s), 0);
}

// --rotate at the full frame rate: across the rotations every reading is in one table and every
// byte in one capture, once and in order.
TEST(FieldToolEndToEnd, RotationAtTheFullRateLosesAndRepeatsNothing)
{
    rv::test::TempDir dir;
    const std::string sent = dir.Path + "/sent.cap";
    constexpr int Frames = 5760; // 4 s at 1440 frames a second
    ChildProcess sim(SimExe, {"--rate", "1440", "--signal", "noise", "--frames",
                              std::to_string(Frames), "--sent-log", sent});
    const std::string port = sim.FirstLine();
    ASSERT_FALSE(port.empty()) << sim.Err;
    // Every 1.08 s, so that some files begin in the same second as another.
    ChildProcess monitor(CliExe, {"monitor", "--port", port, "--baud", "115200", "--csv",
                                  dir.Path + "/night.csv", "--raw", dir.Path + "/night.cap",
                                  "--rotate", "0.0003"});
    ASSERT_TRUE(WaitForFramesSent(sim, Frames, 30s)) << sim.Err;
    std::this_thread::sleep_for(300ms);
    monitor.Signal(SIGTERM);
    EXPECT_EQ(monitor.Wait(10s), 0) << monitor.Err;
    sim.Signal(SIGTERM);
    ASSERT_EQ(sim.Wait(10s), 0) << sim.Err;

    // Names sort in the order the files were begun.
    std::vector<std::string> tables;
    std::vector<std::string> captures;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("night-"))
            (name.ends_with(".csv") ? tables : captures).push_back(entry.path().string());
    }
    std::sort(tables.begin(), tables.end());
    std::sort(captures.begin(), captures.end());
    ASSERT_GE(tables.size(), 3u);
    ASSERT_EQ(captures.size(), tables.size());
    std::vector<std::uint8_t> bytes;
    std::string rows;
    for (std::size_t i = 0; i < tables.size(); ++i) {
        EXPECT_EQ(captures[i].substr(0, captures[i].size() - 4),
                  tables[i].substr(0, tables[i].size() - 4));
        const CaptureBytes capture = ReadCapture(captures[i]);
        ASSERT_TRUE(capture.Valid) << captures[i];
        if (!capture.TimesUs.empty()) {
            EXPECT_LT(capture.TimesUs.front(), 1'080'000u) << "timed from the file's own start";
        }
        bytes.insert(bytes.end(), capture.Bytes.begin(), capture.Bytes.end());
        const auto table = Lines(ReadText(tables[i]));
        ASSERT_FALSE(table.empty());
        EXPECT_EQ(table[0], "time_utc,elapsed_ms,distance_mm,mode,mode_name");
        for (std::size_t k = 1; k < table.size(); ++k) {
            // time_utc,elapsed,distance,mode,一般模式: the printed line in the middle
            const auto from = table[k].find(',') + 1;
            rows += table[k].substr(from, table[k].rfind(',') - from) + "\n";
        }
    }
    const CaptureBytes sentLog = ReadCapture(sent);
    ASSERT_TRUE(sentLog.Valid);
    EXPECT_EQ(bytes, sentLog.Bytes);
    EXPECT_EQ(rows, monitor.Out);
    const Expected expected = WorkOut(sentLog.Bytes);
    EXPECT_EQ(expected.Readings.size(), static_cast<std::size_t>(Frames));
    EXPECT_EQ(DistanceModes(monitor.Out), expected.Readings);
}

// A damaged capture plays and decodes up to the damage, and both say where it is.
TEST(FieldToolEndToEnd, DamagedCapturePlaysAndDecodesItsWholePart)
{
    rv::test::TempDir dir;
    const std::string path = dir.Path + "/damaged.cap";
    std::vector<std::uint8_t> bytes{'R', 'V', 'C', 'A', 'P', 'T', 'U', 'R',
                                    1,   0,   16,  0,   0,   0,   0,   0};
    const std::vector<std::uint8_t> frame{0x5A, 0x5A, 0x01, 0x03, 0x04, 0xD2, 0x03, 0x91};
    for (const std::uint32_t count : {8u, 8u, 0u, 8u}) {
        for (int i = 0; i < 8; ++i)
            bytes.push_back(i == 0 ? 100 : 0); // 100 us
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<std::uint8_t>(count >> (8 * i)));
        if (count > 0)
            bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const std::string why = path + ": damaged capture: a record of 0 bytes at offset 56; ";

    ChildProcess decode(CliExe, {"decode", "--capture", path});
    EXPECT_EQ(decode.Wait(5s), 1);
    EXPECT_EQ(decode.Out, "0,1234,3\n0,1234,3\n");
    EXPECT_EQ(decode.Err,
              "rangeview-cli: decode: " + why + "decoded up to the last whole record before it\n");

    ChildProcess replay(SimExe, {"--replay", path, "--speed", "0"});
    const std::string port = replay.FirstLine();
    ASSERT_FALSE(port.empty()) << replay.Err;
    ChildProcess monitor(CliExe, {"monitor", "--port", port, "--count", "2"});
    EXPECT_EQ(monitor.Wait(5s), 0) << monitor.Err;
    EXPECT_EQ(DistanceModes(monitor.Out), (std::vector<std::string>{"1234,3", "1234,3"}));
    EXPECT_TRUE(replay.WaitForErr("replay queued", 5s));
    replay.Signal(SIGTERM);
    EXPECT_EQ(replay.Wait(5s), 0);
    EXPECT_NE(replay.Err.find("rangeview-sim: " + why +
                              "replayed up to the last whole record before it\n"),
              std::string::npos)
        << replay.Err;
}

} // namespace
