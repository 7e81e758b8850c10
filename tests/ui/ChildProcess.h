#pragma once

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace rv::test {

// A program run by a test (the simulator, the window program) with its standard output and
// error collected. Killed when the test ends if it is still running.
class ChildProcess {
public:
    using Clock = std::chrono::steady_clock;

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
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
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
        if (::posix_spawn(&Pid_, exe.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
            Pid_ = -1;
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

    // Collects output until `text` shows up on standard error.
    bool WaitForErr(const std::string& text, std::chrono::milliseconds limit)
    {
        const auto end = Clock::now() + limit;
        while (Err.find(text) == std::string::npos && Pump(end))
            ;
        return Err.find(text) != std::string::npos;
    }

    void Signal(int signal)
    {
        if (Pid_ > 0 && !Reaped_)
            ::kill(Pid_, signal);
    }

    // The exit status once the program ends by itself within the time; -1 when it had to be
    // killed or died of a signal.
    int Wait(std::chrono::milliseconds limit)
    {
        if (Pid_ <= 0)
            return -1;
        const auto end = Clock::now() + limit;
        while (Pump(end))
            ;
        bool killed = false;
        if (Fds_[0] >= 0 || Fds_[1] >= 0) {
            ::kill(Pid_, SIGKILL);
            killed = true;
        }
        int status = 0;
        ::waitpid(Pid_, &status, 0);
        Reaped_ = true;
        return !killed && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Out;
    std::string Err;

private:
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
    int Fds_[2] = {-1, -1};
};

} // namespace rv::test
