// The real programs: rangeview-sim's byte stream read back by rangeview-cli decode.

#include "OutputLines.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "rangeview/protocol/FrameDecoder.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using rv::test::ChildProcess;
using rv::test::Lines;

const std::string SimExe = RV_SIM_EXE;
const std::string CliExe = RV_CLI_EXE;

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

struct SentReport {
    bool Found = false;
    unsigned long long Frames = 0, Bad = 0, Stray = 0;
};

// The simulator's last "sent N frames (B bad checksum, S stray 5A)" line.
SentReport LastSentReport(const std::string& err)
{
    SentReport report;
    for (const auto& line : Lines(err)) {
        SentReport r;
        if (std::sscanf(line.c_str(), "sent %llu frames (%llu bad checksum, %llu stray 5A)",
                        &r.Frames, &r.Bad, &r.Stray) == 3) {
            r.Found = true;
            report = r;
        }
    }
    return report;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(Dir_.Path.empty()); }

    std::string Path(const char* name) const { return Dir_.Path + "/" + name; }

    // Runs a bash script with SIM, CLI and DIR set; returns its exit status.
    int Bash(const std::string& script)
    {
        const std::string command = "SIM='" + SimExe + "' CLI='" + CliExe + "' DIR='" + Dir_.Path +
                                    "' bash -c '" + script + "'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    struct PipeResult {
        int SimStatus = -1;
        std::vector<std::string> Readings;
        std::string SimErr;
        SentReport Sent;
    };

    // rangeview-sim --stdout ARGS | rangeview-cli decode
    PipeResult SimToDecode(const std::string& simArgs)
    {
        const int status = Bash("( \"$SIM\" --stdout " + simArgs +
                                " 2>\"$DIR/sim.err\"; echo $? >\"$DIR/sim.rc\" ) | \"$CLI\" decode "
                                ">\"$DIR/out\"");
        EXPECT_EQ(status, 0);
        PipeResult result;
        result.SimStatus = std::atoi(ReadFile(Path("sim.rc")).c_str());
        result.Readings = Lines(ReadFile(Path("out")));
        result.SimErr = ReadFile(Path("sim.err"));
        result.Sent = LastSentReport(result.SimErr);
        EXPECT_TRUE(result.Sent.Found) << result.SimErr;
        return result;
    }

    rv::test::TempDir Dir_{"rv_e2e_"};
};

TEST_F(EndToEnd, EveryFrameSentIsDecoded)
{
    auto run = SimToDecode("--frames 400 --burst");
    EXPECT_EQ(run.SimStatus, 0);
    EXPECT_EQ(run.Sent.Frames, 400u);
    EXPECT_EQ(run.Readings.size(), 400u);
    ASSERT_FALSE(run.Readings.empty());
    EXPECT_EQ(run.Readings.front(), "1500,3");

    run = SimToDecode("--frames 1000 --burst --split --seed 5");
    EXPECT_EQ(run.Sent.Frames, 1000u);
    EXPECT_EQ(run.Readings.size(), 1000u);

    // Paced output in small pieces with pauses between them.
    run = SimToDecode("--frames 60 --rate 200 --split --signal noise");
    EXPECT_EQ(run.Sent.Frames, 60u);
    EXPECT_EQ(run.Readings.size(), 60u);
}

TEST_F(EndToEnd, BadChecksumFramesAndOnlyThoseAreDropped)
{
    auto run = SimToDecode("--frames 500 --burst --bad-checksum-every 7");
    EXPECT_EQ(run.Sent.Frames, 500u);
    EXPECT_EQ(run.Sent.Bad, 71u);
    EXPECT_EQ(run.Readings.size(), 500u - 71u);

    run = SimToDecode("--frames 500 --burst --split --bad-checksum-every 3 --signal steps");
    EXPECT_EQ(run.Sent.Bad, 166u);
    EXPECT_EQ(run.Readings.size(), run.Sent.Frames - run.Sent.Bad);
}

TEST_F(EndToEnd, StrayBytesCostTheFollowingFrame)
{
    const auto run = SimToDecode("--frames 300 --burst --stray-5a-every 10");
    EXPECT_EQ(run.Sent.Frames, 300u);
    EXPECT_EQ(run.Sent.Stray, 30u);
    EXPECT_LE(run.Readings.size(), 270u);
    EXPECT_GE(run.Readings.size(), 240u);
}

TEST_F(EndToEnd, SignalFileReplaysDecodedOutput)
{
    {
        std::ofstream(Path("signal")) << "7\n65535,0\n# comment\n0\n23130\n";
    }
    const auto run = SimToDecode("--frames 6 --burst --mode 1 --signal \"file:$DIR/signal\"");
    EXPECT_EQ(run.Readings,
              (std::vector<std::string>{"7,1", "65535,1", "0,1", "23130,1", "7,1", "65535,1"}));
}

TEST_F(EndToEnd, TimedRunsEndCleanly)
{
    // The line drops after one second at 100 Hz.
    auto run = SimToDecode("--rate 100 --hangup-after 1");
    EXPECT_EQ(run.SimStatus, 0);
    EXPECT_GE(run.Sent.Frames, 70u);
    EXPECT_LE(run.Sent.Frames, 110u);
    EXPECT_EQ(run.Readings.size(), run.Sent.Frames);

    // SIGUSR1 reports on request, SIGTERM stops with a final report and status 0.
    const int status =
        Bash("( \"$SIM\" --stdout --rate 100 --split 2>\"$DIR/sim.err\" & pid=$!; sleep 0.4; "
             "kill -USR1 $pid; sleep 0.3; kill -TERM $pid; wait $pid; echo $? >\"$DIR/sim.rc\" ) "
             "| \"$CLI\" decode >\"$DIR/out\"");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadFile(Path("sim.rc")), "0\n");
    const std::string err = ReadFile(Path("sim.err"));
    int reports = 0;
    for (const auto& line : Lines(err))
        reports += line.starts_with("sent ") ? 1 : 0;
    EXPECT_EQ(reports, 2) << err;
    const SentReport sent = LastSentReport(err);
    EXPECT_GT(sent.Frames, 20u);
    EXPECT_EQ(Lines(ReadFile(Path("out"))).size(), sent.Frames);
}

TEST_F(EndToEnd, BadCommandLinesAndInputsFailWithOneLine)
{
    EXPECT_EQ(Bash("\"$SIM\" --rate 0 2>\"$DIR/err\""), 2);
    EXPECT_EQ(Lines(ReadFile(Path("err"))).size(), 1u);
    EXPECT_EQ(Bash("\"$SIM\" --stdout --signal file:/nonexistent/rv 2>\"$DIR/err\""), 1);
    EXPECT_EQ(Lines(ReadFile(Path("err"))).size(), 1u);
    EXPECT_EQ(Bash("\"$CLI\" decode </ 2>\"$DIR/err\""), 1);
    EXPECT_EQ(Lines(ReadFile(Path("err"))).size(), 1u);
    EXPECT_EQ(Bash("\"$CLI\" encode \"A5 45 EA\" >\"$DIR/out\""), 0);
    EXPECT_EQ(ReadFile(Path("out")), "A5 45 EA\n");
}

// The simulator on a pseudo-terminal, driven like the window drives the module.

bool WaitReadable(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) == 1;
}

// Reads from the port until at least count readings arrived or the time is up.
std::vector<rv::MeasurementReading> ReadReadings(int fd, rv::FrameDecoder& decoder,
                                                 std::size_t count,
                                                 std::chrono::milliseconds limit = 3000ms)
{
    std::vector<rv::MeasurementReading> readings;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (readings.size() < count && std::chrono::steady_clock::now() < end) {
        if (!WaitReadable(fd, 50))
            continue;
        std::uint8_t buffer[256];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            if (auto reading = decoder.FeedByte(buffer[i]))
                readings.push_back(*reading);
    }
    return readings;
}

bool WriteAll(int fd, std::initializer_list<std::uint8_t> bytes)
{
    const std::vector<std::uint8_t> data(bytes);
    return write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
}

TEST_F(EndToEnd, PtyAnswersCommandsLikeTheModule)
{
    const std::string link = Path("ttyRV");
    ChildProcess sim(SimExe, {"--link", link, "--query", "--mode", "2", "--rate", "50"});
    const std::string slave = sim.FirstLine();
    ASSERT_TRUE(slave.starts_with("/dev/pts/")) << slave;
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(slave, target);

    const int port = open(link.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(port, 0);
    rv::FrameDecoder decoder;
    // Query output: nothing until asked, then exactly one frame per query.
    EXPECT_TRUE(ReadReadings(port, decoder, 1, 300ms).empty());
    ASSERT_TRUE(WriteAll(port, {0xA5, 0x15, 0xBA}));
    auto readings = ReadReadings(port, decoder, 1);
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_EQ(readings[0].Mode, 2);
    ASSERT_TRUE(WriteAll(port, {0xA5, 0x53, 0xF8, 0xA5, 0x15, 0xBA}));
    readings = ReadReadings(port, decoder, 1);
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_EQ(readings[0].Mode, 3);
    EXPECT_TRUE(ReadReadings(port, decoder, 1, 200ms).empty());

    // Automatic output streams; a mode command shows up in the following frames.
    ASSERT_TRUE(WriteAll(port, {0xA5, 0x45, 0xEA, 0xA5, 0x50, 0xF5}));
    readings = ReadReadings(port, decoder, 10);
    ASSERT_GE(readings.size(), 10u);
    EXPECT_EQ(readings.back().Mode, 0);
    // Baud commands are accepted; the pseudo-terminal's speed stays as it is.
    ASSERT_TRUE(WriteAll(port, {0xA5, 0xAE, 0x53}));
    EXPECT_GE(ReadReadings(port, decoder, 5).size(), 5u);
    close(port);

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(5s), 0);
    EXPECT_TRUE(LastSentReport(sim.Err).Found) << sim.Err;
    EXPECT_NE(sim.Err.find("command A5 AE 53: baud rate 9600"), std::string::npos) << sim.Err;
    struct stat info { };
    EXPECT_NE(lstat(link.c_str(), &info), 0) << "the link outlives the simulator";
}

TEST_F(EndToEnd, PtyHangupEndsTheHostsReads)
{
    ChildProcess sim(SimExe, {"--rate", "100", "--hangup-after", "1"});
    const std::string slave = sim.FirstLine();
    const int port = open(slave.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(port, 0);
    rv::FrameDecoder decoder;
    const auto start = std::chrono::steady_clock::now();
    const auto readings = ReadReadings(port, decoder, 100000, 4000ms);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    close(port);
    EXPECT_LT(elapsed, 3000ms) << "no end of input after the hangup";
    EXPECT_GT(readings.size(), 30u);
    EXPECT_EQ(sim.Wait(5s), 0);
    const SentReport sent = LastSentReport(sim.Err);
    EXPECT_LE(readings.size(), sent.Frames);
}

} // namespace
