// rangeview-cli monitor on a pseudo-terminal served by rangeview-sim: the real programs.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string SimExe = RV_SIM_EXE;
const std::string CliExe = RV_CLI_EXE;

// A child program with its standard output and error collected; killed if still running when
// the test ends.
class Child {
public:
    Child(const std::string& exe, std::vector<std::string> args)
    {
        int out[2];
        int err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            return;
        Pid_ = ::fork();
        if (Pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(err[1], STDERR_FILENO);
            std::vector<char*> argv{const_cast<char*>(exe.c_str())};
            for (auto& arg : args)
                argv.push_back(arg.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        Fds_[0] = out[0];
        Fds_[1] = err[0];
    }
    ~Child()
    {
        if (Pid_ > 0 && !Reaped_) {
            ::kill(Pid_, SIGKILL);
            ::waitpid(Pid_, nullptr, 0);
        }
        for (int fd : Fds_)
            if (fd >= 0)
                ::close(fd);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return Pid_ > 0; }

    // The first line of standard output, or "" when none comes in time.
    std::string FirstLine(std::chrono::milliseconds limit = 5s)
    {
        const auto end = Clock::now() + limit;
        while (Out.find('\n') == std::string::npos && Clock::now() < end && Pump(end))
            ;
        const auto newline = Out.find('\n');
        return newline == std::string::npos ? "" : Out.substr(0, newline);
    }

    // Waits until standard output holds `lines` lines.
    bool WaitForLines(std::size_t lines, std::chrono::milliseconds limit)
    {
        const auto end = Clock::now() + limit;
        while (LineCount() < lines && Clock::now() < end && Pump(end))
            ;
        return LineCount() >= lines;
    }

    void Signal(int signal) { ::kill(Pid_, signal); }

    // The exit status once the program has ended by itself within the time; -1 when it had to
    // be killed (it hung) or died of a signal.
    int Wait(std::chrono::milliseconds limit)
    {
        const auto end = Clock::now() + limit;
        while (Pump(end))
            ;
        if (Fds_[0] >= 0 || Fds_[1] >= 0) {
            ::kill(Pid_, SIGKILL);
            HungUp = true;
        }
        int status = 0;
        ::waitpid(Pid_, &status, 0);
        Reaped_ = true;
        return !HungUp && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Out;
    std::string Err;
    bool HungUp = false;

private:
    std::size_t LineCount() const
    {
        return static_cast<std::size_t>(std::count(Out.begin(), Out.end(), '\n'));
    }

    // Collects what is available until `end`; false once both outputs are closed or time is up.
    bool Pump(Clock::time_point end)
    {
        pollfd fds[2] = {{Fds_[0], POLLIN, 0}, {Fds_[1], POLLIN, 0}};
        if (Fds_[0] < 0 && Fds_[1] < 0)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0)
            return false;
        if (::poll(fds, 2, static_cast<int>(left.count())) <= 0)
            return Clock::now() < end;
        std::string* texts[2] = {&Out, &Err};
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(Fds_[i], buffer, sizeof buffer);
            if (n > 0) {
                texts[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                ::close(Fds_[i]);
                Fds_[i] = -1;
            }
        }
        return true;
    }

    pid_t Pid_ = -1;
    bool Reaped_ = false;
    int Fds_[2] = {-1, -1};
};

struct Reading {
    long Elapsed;
    long Distance;
    int Mode;
};

// Every line must be "elapsed_ms,distance_mm,mode" with plain decimal numbers.
std::vector<Reading> ParseReadings(const std::string& out)
{
    static const std::regex form("(0|[1-9][0-9]*),(0|[1-9][0-9]*),(0|[1-9][0-9]*)");
    std::vector<Reading> readings;
    std::istringstream stream(out);
    for (std::string line; std::getline(stream, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, form)) {
            ADD_FAILURE() << "malformed line '" << line << "'";
            continue;
        }
        readings.push_back({std::stol(m[1]), std::stol(m[2]), std::stoi(m[3])});
    }
    return readings;
}

int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(MonitorEndToEnd, PrintsTheWantedNumberOfReadings)
{
    Child sim(SimExe, {"--rate", "50"});
    const std::string port = sim.FirstLine();
    ASSERT_FALSE(port.empty()) << sim.Err;

    Child monitor(CliExe, {"monitor", "--port", port, "--baud", "115200", "--count", "5"});
    EXPECT_EQ(monitor.Wait(8s), 0) << monitor.Err;
    EXPECT_EQ(monitor.Err, "");
    const auto readings = ParseReadings(monitor.Out);
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
    Child sim(SimExe, {"--query", "--mode", "2"});
    const std::string port = sim.FirstLine();
    ASSERT_FALSE(port.empty()) << sim.Err;

    Child monitor(CliExe, {"monitor", "--port", port, "--send", "A5 15 BA", "--every", "50",
                           "--count", "5"});
    EXPECT_EQ(monitor.Wait(8s), 0) << monitor.Err;
    EXPECT_EQ(monitor.Err, "");
    const auto readings = ParseReadings(monitor.Out);
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
    Child missing(CliExe, {"monitor", "--port", "/nonexistent/ttyRV", "--count", "1"});
    const int status = missing.Wait(5s);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1) << "hung";
    EXPECT_EQ(missing.Err, "rangeview-cli: monitor: 串口打开失败!\n");
    EXPECT_EQ(missing.Out, "");

    Child badBaud(CliExe, {"monitor", "--port", "/nonexistent/ttyRV", "--baud", "96OO"});
    EXPECT_EQ(badBaud.Wait(5s), 2);
    EXPECT_EQ(badBaud.Err, "rangeview-cli: monitor: '96OO' is not a valid integer value\n");
}

TEST(MonitorEndToEnd, HangupEndsTheRunWithTheReadFailure)
{
    Child sim(SimExe, {"--rate", "20", "--hangup-after", "1"});
    const std::string port = sim.FirstLine();
    ASSERT_FALSE(port.empty()) << sim.Err;

    const auto start = Clock::now();
    Child monitor(CliExe, {"monitor", "--port", port});
    const int status = monitor.Wait(8s);
    EXPECT_FALSE(monitor.HungUp) << "still running after the line dropped";
    EXPECT_NE(status, 0);
    EXPECT_LT(Clock::now() - start, 4s);
    EXPECT_NE(monitor.Err.find("ReadFile Error!"), std::string::npos) << monitor.Err;
    EXPECT_EQ(Count(monitor.Err, "\n"), 1) << monitor.Err;
    EXPECT_GT(ParseReadings(monitor.Out).size(), 5u);
    EXPECT_EQ(sim.Wait(5s), 0);
}

TEST(MonitorEndToEnd, StopSignalsCloseThePortAndSucceed)
{
    for (int signal : {SIGTERM, SIGINT}) {
        Child sim(SimExe, {"--rate", "50"});
        const std::string port = sim.FirstLine();
        ASSERT_FALSE(port.empty()) << sim.Err;

        Child monitor(CliExe, {"monitor", "--port", port});
        ASSERT_TRUE(monitor.WaitForLines(3, 5s)) << monitor.Err;
        monitor.Signal(signal);
        EXPECT_EQ(monitor.Wait(5s), 0) << "signal " << signal << ": " << monitor.Err;
        EXPECT_EQ(monitor.Err, "");
        EXPECT_GE(ParseReadings(monitor.Out).size(), 3u);

        // The port is free again: a second run opens it.
        Child again(CliExe, {"monitor", "--port", port, "--count", "2"});
        EXPECT_EQ(again.Wait(5s), 0) << again.Err;
        EXPECT_EQ(ParseReadings(again.Out).size(), 2u);
        sim.Signal(SIGTERM);
        EXPECT_EQ(sim.Wait(5s), 0);
    }
}

} // namespace
