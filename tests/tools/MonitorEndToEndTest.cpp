// rangeview-cli monitor on a pseudo-terminal served by rangeview-sim: the real programs.

#include "OutputLines.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>

namespace {

using namespace std::chrono_literals;
using rv::test::ChildProcess;
using rv::test::ParseMonitorLines;
using Clock = ChildProcess::Clock;

const std::string SimExe = RV_SIM_EXE;
const std::string CliExe = RV_CLI_EXE;

int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(MonitorEndToEnd, PrintsTheWantedNumberOfReadings)
{
    ChildProcess sim(SimExe, {"--rate", "50"});
    const std::string port = sim.FirstLine();
    ASSERT_FALSE(port.empty()) << sim.Err;

    ChildProcess monitor(CliExe, {"monitor", "--port", port, "--baud", "115200", "--count", "5"});
    EXPECT_EQ(monitor.Wait(8s), 0) << monitor.Err;
    EXPECT_EQ(monitor.Err, "");
    const auto readings = ParseMonitorLines(monitor.Out);
    ASSERT_EQ(readings.size(), 5u) << monitor.Out;
    // The simulator's sine starts at 1500 mm and climbs; its default mode is 3.
    EXPECT_EQ(readings[0].Distance, 1500);
    for (std::size_t i = 0; i < readings.size(); ++i) {
        EXPECT_EQ(readings[i].Mode, 3);
        if (i > 0) {
            EXPECT_GE(readings[i].Elapsed, readings[i - 1].Elapsed);
            EXPECT_GT(readings[i].Distance, readings[i - 1].Distance);
        }
    }
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(5s), 0);
    EXPECT_NE(sim.Err.find("host closed the port"), std::string::npos) << sim.Err;
}

TEST(MonitorEndToEnd, QueryModeIsDrivenByAutoSend)
{
    ChildProcess sim(SimExe, {"--query", "--mode", "2"});
    const std::string port = sim.FirstLine();
    ASSERT_FALSE(port.empty()) << sim.Err;

    ChildProcess monitor(
        CliExe, {"monitor", "--port", port, "--send", "A5 15 BA", "--every", "50", "--count", "5"});
    EXPECT_EQ(monitor.Wait(8s), 0) << monitor.Err;
    EXPECT_EQ(monitor.Err, "");
    const auto readings = ParseMonitorLines(monitor.Out);
    ASSERT_EQ(readings.size(), 5u) << monitor.Out;
    for (const auto& reading : readings)
        EXPECT_EQ(reading.Mode, 2);
    // One query at the open, then one per 50 ms tick: the fifth answer cannot come sooner.
    EXPECT_GE(readings.back().Elapsed, 200);

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(5s), 0);
    EXPECT_GE(Count(sim.Err, "command A5 15 BA: query"), 5) << sim.Err;
}

TEST(MonitorEndToEnd, MissingPortAndBadBaudFail)
{
    ChildProcess missing(CliExe, {"monitor", "--port", "/nonexistent/ttyRV", "--count", "1"});
    const int status = missing.Wait(5s);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1) << "hung";
    // The fixed message, with the path and the system's reason beside it.
    EXPECT_TRUE(
        missing.Err.starts_with("rangeview-cli: monitor: /nonexistent/ttyRV: 串口打开失败! ("))
        << missing.Err;
    EXPECT_NE(missing.Err.find("No such file or directory"), std::string::npos) << missing.Err;
    EXPECT_EQ(Count(missing.Err, "\n"), 1) << missing.Err;
    EXPECT_EQ(missing.Out, "");

    ChildProcess badBaud(CliExe, {"monitor", "--port", "/nonexistent/ttyRV", "--baud", "96OO"});
    EXPECT_EQ(badBaud.Wait(5s), 2);
    EXPECT_EQ(badBaud.Err, "rangeview-cli: monitor: '96OO' is not a valid integer value\n");
}

TEST(MonitorEndToEnd, HangupEndsTheRunWithTheReadFailure)
{
    ChildProcess sim(SimExe, {"--rate", "20", "--hangup-after", "1"});
    const std::string port = sim.FirstLine();
    ASSERT_FALSE(port.empty()) << sim.Err;

    const auto start = Clock::now();
    ChildProcess monitor(CliExe, {"monitor", "--port", port});
    const int status = monitor.Wait(8s);
    EXPECT_FALSE(monitor.HungUp) << "still running after the line dropped";
    EXPECT_NE(status, 0);
    EXPECT_LT(Clock::now() - start, 4s);
    EXPECT_NE(monitor.Err.find("ReadFile Error!"), std::string::npos) << monitor.Err;
    EXPECT_EQ(Count(monitor.Err, "\n"), 1) << monitor.Err;
    EXPECT_GT(ParseMonitorLines(monitor.Out).size(), 5u);
    EXPECT_EQ(sim.Wait(5s), 0);
}

TEST(MonitorEndToEnd, StopSignalsCloseThePortAndSucceed)
{
    for (int signal : {SIGTERM, SIGINT}) {
        ChildProcess sim(SimExe, {"--rate", "50"});
        const std::string port = sim.FirstLine();
        ASSERT_FALSE(port.empty()) << sim.Err;

        ChildProcess monitor(CliExe, {"monitor", "--port", port});
        ASSERT_TRUE(monitor.WaitForLines(3, 5s)) << monitor.Err;
        monitor.Signal(signal);
        EXPECT_EQ(monitor.Wait(5s), 0) << "signal " << signal << ": " << monitor.Err;
        EXPECT_EQ(monitor.Err, "");
        EXPECT_GE(ParseMonitorLines(monitor.Out).size(), 3u);

        // The port is free again: a second run opens it.
        ChildProcess again(CliExe, {"monitor", "--port", port, "--count", "2"});
        EXPECT_EQ(again.Wait(5s), 0) << again.Err;
        EXPECT_EQ(ParseMonitorLines(again.Out).size(), 2u);
        sim.Signal(SIGTERM);
        EXPECT_EQ(sim.Wait(5s), 0);
    }
}

} // namespace
