#pragma once

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace rv::test {

// A pseudo-terminal: the test plays the device on the master side; the slave's path is the
// "serial port". The slave is kept open here too, so the terminal lives between opens.
class PtyPair {
public:
    PtyPair()
    {
        char name[256] = {};
        if (::openpty(&Master, &Slave, name, nullptr, nullptr) == 0) {
            Path = name;
            ::fcntl(Master, F_SETFL, ::fcntl(Master, F_GETFL) | O_NONBLOCK);
            ::fcntl(Master, F_SETFD, FD_CLOEXEC);
            ::fcntl(Slave, F_SETFD, FD_CLOEXEC);
        }
    }
    ~PtyPair()
    {
        CloseMaster();
        if (Slave >= 0)
            ::close(Slave);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return Master >= 0 && Slave >= 0; }
    void CloseMaster()
    {
        if (Master >= 0)
            ::close(Master);
        Master = -1;
    }
    bool Write(const std::vector<std::uint8_t>& bytes) const
    {
        return ::write(Master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // Reads what the port sent, waiting up to the timeout for `count` bytes.
    std::vector<std::uint8_t> Read(std::size_t count, std::chrono::milliseconds timeout) const
    {
        std::vector<std::uint8_t> out;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (out.size() < count && std::chrono::steady_clock::now() < end) {
            std::uint8_t buf[256];
            const auto n = ::read(Master, buf, sizeof buf);
            if (n > 0)
                out.insert(out.end(), buf, buf + n);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return out;
    }

    int Master = -1;
    int Slave = -1;
    std::string Path;
};

inline std::size_t CountEntries(const char* dir)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}
inline std::size_t OpenDescriptors()
{
    return CountEntries("/proc/self/fd");
}
inline std::size_t Threads()
{
    return CountEntries("/proc/self/task");
}

// Waits until the process has at most `count` threads.
inline bool ThreadsDropTo(std::size_t count, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (Threads() > count) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace rv::test
