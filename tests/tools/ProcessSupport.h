// Test helpers for the tools run as programs: a child process with its output collected, and
// the line forms the programs print.

#pragma once

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

namespace rv::test {

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// One line of `rangeview-cli monitor` output.
struct MonitorLine {
    long Elapsed;
    long Distance;
    int Mode;
};

// Every line must be "elapsed_ms,distance_mm,mode" with plain decimal numbers; a line that is
// not fails the test and is skipped.
inline std::vector<MonitorLine> ParseMonitorLines(const std::string& out)
{
    static const std::regex form("(0|[1-9][0-9]*),(0|[1-9][0-9]*),(0|[1-9][0-9]*)");
    std::vector<MonitorLine> readings;
    for (const auto& line : Lines(out)) {
        std::smatch m;
        if (!std::regex_match(line, m, form)) {
            ADD_FAILURE() << "malformed line '" << line << "'";
            continue;
        }
        readings.push_back({std::stol(m[1]), std::stol(m[2]), std::stoi(m[3])});
    }
    return readings;
}

// A child program with its standard output and error collected; killed if still running when
// the test ends.
class Child {
public:
    using Clock = std::chrono::steady_clock;

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

    // The first line of standard output, or "" when none comes in time.
    std::string FirstLine(std::chrono::milliseconds limit = std::chrono::seconds(5))
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

} // namespace rv::test
