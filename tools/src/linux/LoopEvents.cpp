#include "rangeview/tools/LoopEvents.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace rv {

// Two non-blocking pipes: the reader writes each notification's handle into one, a stop writes
// a byte into the other (write(2) is safe in a signal handler), and the loop polls both.
struct LoopEvents::State {
    int NotifyRead = -1;
    int NotifyWrite = -1;
    int StopRead = -1;
    int StopWrite = -1;
};

namespace {

bool MakePipe(int& readEnd, int& writeEnd)
{
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
        return false;
    readEnd = fds[0];
    writeEnd = fds[1];
    return true;
}

void CloseIfOpen(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

} // namespace

LoopEvents::LoopEvents() : State_(new State)
{
    if (!MakePipe(State_->NotifyRead, State_->NotifyWrite))
        return;
    if (!MakePipe(State_->StopRead, State_->StopWrite)) {
        const int saved = errno;
        CloseIfOpen(State_->NotifyRead);
        CloseIfOpen(State_->NotifyWrite);
        State_->NotifyRead = State_->NotifyWrite = -1;
        errno = saved;
    }
}

LoopEvents::~LoopEvents()
{
    CloseIfOpen(State_->NotifyRead);
    CloseIfOpen(State_->NotifyWrite);
    CloseIfOpen(State_->StopRead);
    CloseIfOpen(State_->StopWrite);
    delete State_;
}

bool LoopEvents::Ok() const noexcept
{
    return State_->NotifyRead >= 0 && State_->StopRead >= 0;
}

bool LoopEvents::Post(CommHandle handle) noexcept
{
    if (!Ok())
        return false;
    for (;;) {
        // One write of a whole handle, far below the pipe's atomic size: the pipe only ever
        // holds whole handles.
        const ssize_t written = ::write(State_->NotifyWrite, &handle, sizeof handle);
        if (written == static_cast<ssize_t>(sizeof handle))
            return true;
        if (written < 0 && errno == EINTR)
            continue;
        return false;
    }
}

void LoopEvents::RequestStop() noexcept
{
    const int saved = errno;
    if (State_->StopWrite >= 0) {
        const char byte = 's';
        [[maybe_unused]] const auto n = ::write(State_->StopWrite, &byte, 1);
    }
    errno = saved;
}

LoopEvents::Wake LoopEvents::Wait(std::optional<std::chrono::milliseconds> timeout)
{
    if (!Ok())
        return Wake::Failed;
    pollfd fds[2] = {{State_->StopRead, POLLIN, 0}, {State_->NotifyRead, POLLIN, 0}};
    int ms = -1;
    if (timeout)
        ms = static_cast<int>(std::min<std::chrono::milliseconds::rep>(
            std::max<std::chrono::milliseconds::rep>(timeout->count(), 0), INT_MAX));
    for (;;) {
        const int ready = ::poll(fds, 2, ms);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Wake::Failed;
        if (fds[0].revents != 0)
            return Wake::Stopped;
        if (fds[1].revents != 0)
            return Wake::Notified;
        return Wake::TimedOut;
    }
}

std::size_t LoopEvents::Take(std::span<CommHandle> out)
{
    if (!Ok() || out.empty())
        return 0;
    for (;;) {
        const ssize_t got = ::read(State_->NotifyRead, out.data(), out.size_bytes());
        if (got > 0)
            return static_cast<std::size_t>(got) / sizeof(CommHandle);
        if (got < 0 && errno == EINTR)
            continue;
        return 0;
    }
}

namespace {

// Read by the signal handler; lock-free, so the load is safe there.
std::atomic<LoopEvents*> StopTarget{nullptr};
static_assert(std::atomic<LoopEvents*>::is_always_lock_free);

struct sigaction OldInt { };
struct sigaction OldTerm { };
struct sigaction OldPipe { };
struct sigaction OldFileSize { };

extern "C" void OnStopSignal(int)
{
    if (LoopEvents* events = StopTarget.load())
        events->RequestStop();
}

} // namespace

StopSignals::StopSignals(LoopEvents& events)
{
    LoopEvents* expected = nullptr;
    if (!StopTarget.compare_exchange_strong(expected, &events))
        return;
    struct sigaction action { };
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &OldInt);
    ::sigaction(SIGTERM, &action, &OldTerm);
    struct sigaction ignore { };
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &OldPipe);
    ::sigaction(SIGXFSZ, &ignore, &OldFileSize);
    Installed_ = true;
}

StopSignals::~StopSignals()
{
    if (!Installed_)
        return;
    ::sigaction(SIGINT, &OldInt, nullptr);
    ::sigaction(SIGTERM, &OldTerm, nullptr);
    ::sigaction(SIGPIPE, &OldPipe, nullptr);
    ::sigaction(SIGXFSZ, &OldFileSize, nullptr);
    StopTarget.store(nullptr);
}

} // namespace rv
