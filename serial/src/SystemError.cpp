#include "rangeview/serial/SerialPlatform.h"

#include <atomic>
#include <utility>

namespace rv {

namespace {

std::atomic<SystemErrorSink> Sink{nullptr};
thread_local SystemError Last;
thread_local std::uint64_t Reported = 0;

} // namespace

std::string Describe(const SystemError& error)
{
    std::string line = error.Port;
    if (!line.empty())
        line += ": ";
    line += error.Call;
    line += ": ";
    line += error.Reason;
    return line;
}

void ReportSystemError(SystemError error)
{
    Last = std::move(error);
    ++Reported;
    if (const SystemErrorSink sink = Sink.load(std::memory_order_acquire))
        sink(Last);
}

void SetSystemErrorSink(SystemErrorSink sink)
{
    Sink.store(sink, std::memory_order_release);
}

const SystemError& LastSystemError()
{
    return Last;
}

void ClearLastSystemError()
{
    Last = SystemError{};
}

std::uint64_t SystemErrorsReported()
{
    return Reported;
}

} // namespace rv
