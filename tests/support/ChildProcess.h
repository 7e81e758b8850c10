// A program run by a test (the simulator, the command-line tool, the window program) with its
// standard output and error collected.

#pragma once

#include <algorithm>
#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace rv::test {

// Killed when the test ends if it is still running. Spawned rather than forked: the window tests
// have Qt threads running, and nothing but exec is safe in a forked copy of such a process.
class ChildProcess {
public:
    using Clock = std::chrono::steady_clock;

    // `extraEnv` entries ("NAME=value") are added to this process's environment.
    ChildProcess(const std::string& exe, std::vector<std::string> args,
                 const std::vector<std::string>& extraEnv = {})
    {
        int out[2];
        int err[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        if (::pipe2(err, O_CLOEXEC) != 0) {
            ::close(out[0]);
            ::close(out[1]);
            return;
        }
        std::vector<char*> argv{const_cast<char*>(exe.c_str())};
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        std::vector<std::string> envText;
        for (char** e = environ; *e != nullptr; ++e)
            envText.emplace_back(*e);
        envText.insert(envText.end(), extraEnv.begin(), extraEnv.end());
        std::vector<char*> envp;
        for (auto& e : envText)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        // The program starts with the signal state a shell would give it, whatever this test
        // process has blocked or ignored, so stop signals sent by the tests reach it.
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attr, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int s : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM, SIGUSR1, SIGUSR2})
            sigaddset(&defaults, s);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        if (::posix_spawn(&Pid_, exe.c_str(), &actions, &attr, argv.data(), envp.data()) != 0)
            Pid_ = -1;
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        Fds_[0] = out[0];
        Fds_[1] = err[0];
    }
    ~ChildProcess()
    {
        if (Pid_ > 0 && !Reaped_) {
            ::kill(Pid_, SIGKILL);
            ::waitpid(Pid_, nullptr, 0);
        }
        for (int fd : Fds_)
            if (fd >= 0)
                ::close(fd);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return Pid_ > 0; }

    // The first line of standard output, or "" when none comes in time.
    std::string FirstLine(std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        const auto end = Clock::now() + limit;
        while (Out.find('\n') == std::string::npos && Pump(end))
            ;
        const auto newline = Out.find('\n');
        return newline == std::string::npos ? "" : Out.substr(0, newline);
    }

    // Collects output until standard output holds `lines` lines.
    bool WaitForLines(std::size_t lines, std::chrono::milliseconds limit)
    {
        const auto end = Clock::now() + limit;
        while (OutLines() < lines && Pump(end))
            ;
        return OutLines() >= lines;
    }

    // Collects output until `text` shows up on standard error.
    bool WaitForErr(const std::string& text, std::chrono::milliseconds limit)
    {
        const auto end = Clock::now() + limit;
        while (Err.find(text) == std::string::npos && Pump(end))
            ;
        return Err.find(text) != std::string::npos;
    }

    // Never sent once the program is reaped: its id may belong to another process by then.
    void Signal(int signal)
    {
        if (Pid_ > 0 && !Reaped_)
            ::kill(Pid_, signal);
    }

    // The exit status once the program ends by itself within the time; -1 when it had to be
    // killed (HungUp), died of a signal or never started. Asking again gives the same answer.
    int Wait(std::chrono::milliseconds limit)
    {
        if (Pid_ <= 0)
            return -1;
        if (Reaped_)
            return Status_;
        const auto end = Clock::now() + limit;
        while (Pump(end))
            ;
        // Open outputs at the end mean it is still running.
        if (Fds_[0] >= 0 || Fds_[1] >= 0) {
            ::kill(Pid_, SIGKILL);
            HungUp = true;
        }
        int status = 0;
        ::waitpid(Pid_, &status, 0);
        Reaped_ = true;
        Status_ = !HungUp && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return Status_;
    }

    std::string Out;
    std::string Err;
    bool HungUp = false;

private:
    std::size_t OutLines() const
    {
        return static_cast<std::size_t>(std::count(Out.begin(), Out.end(), '\n'));
    }

    // Collects what is available until `end`; false once both outputs are closed or time is up.
    bool Pump(Clock::time_point end)
    {
        if (Fds_[0] < 0 && Fds_[1] < 0)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd fds[2] = {{Fds_[0], POLLIN, 0}, {Fds_[1], POLLIN, 0}};
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
    int Status_ = -1;
    int Fds_[2] = {-1, -1};
};

} // namespace rv::test
