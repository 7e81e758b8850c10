#include "rangeview/tools/MonitorHost.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "rangeview/serial/SerialPlatform.h"
#include "rangeview/tools/ReadingTable.h"
#include "RawIo.h"

namespace rv {

namespace {

constexpr std::string_view LinePrefix = "rangeview-cli: monitor: ";

} // namespace

MonitorHost::MonitorHost(std::ostream& out, std::ostream& err, int offThreadErrFd)
    : Out_(out), Err_(err), OffThreadErrFd_(offThreadErrFd)
{
}

MonitorHost::~MonitorHost() = default;

bool MonitorHost::PostCommNotify(CommHandle handle)
{
    if (Events_.Post(handle))
        return true;
    PostFailed_.store(true);
    return false;
}

void MonitorHost::ErrorLine(std::string_view text)
{
    std::string line;
    line.reserve(LinePrefix.size() + text.size() + 1);
    line.append(LinePrefix).append(text).push_back('\n');
    // One insertion, so a line from the reader (written straight to the descriptor) cannot land
    // in the middle of it.
    Err_ << line;
    Err_.flush();
    ++MessagesShown_;
}

std::string MonitorHost::PortMessage(std::string_view text) const
{
    const SystemError& error = LastSystemError();
    return PortMessage(text, error.Call.empty() ? std::nullopt : std::optional(error));
}

std::string MonitorHost::PortMessage(std::string_view text,
                                     const std::optional<SystemError>& reason) const
{
    std::string line;
    if (!PortLabel_.empty())
        line.append(PortLabel_).append(": ");
    line.append(text);
    if (reason && !reason->Reason.empty())
        line.append(" (").append(reason->Reason).append(")");
    return line;
}

void MonitorHost::ConnectionMessage(std::string_view text, const std::optional<SystemError>& reason)
{
    if (Holding_) {
        Held_.push_back(PortMessage(text, reason));
        ++MessagesShown_;
        return;
    }
    ErrorLine(PortMessage(text, reason));
}

std::vector<std::string> MonitorHost::TakeHeldMessages()
{
    std::vector<std::string> held;
    held.swap(Held_);
    return held;
}

void MonitorHost::ReleaseHeldMessages()
{
    for (const auto& line : TakeHeldMessages()) {
        ErrorLine(line);
        --MessagesShown_; // counted when held
    }
}

void MonitorHost::Show(const LinkMessage& message, const std::optional<SystemError>& reason)
{
    if (std::this_thread::get_id() == OwnerThread_) {
        ConnectionMessage(message.Text, reason);
        return;
    }
    // The reader's: one write of a fixed buffer, no stream shared across threads.
    const std::string text = PortMessage(message.Text, reason);
    char line[512];
    const std::size_t room = sizeof line - 1;
    std::size_t size = std::min(LinePrefix.size(), room);
    std::memcpy(line, LinePrefix.data(), size);
    const std::size_t take = std::min(text.size(), room - size);
    std::memcpy(line + size, text.data(), take);
    size += take;
    line[size++] = '\n';
    if (OffThreadErrFd_ >= 0)
        WriteAll(OffThreadErrFd_, std::string_view(line, size));
}

void MonitorHost::Fault(ConnectionFault fault, const std::optional<SystemError>& reason)
{
    // The presenter belongs to the owning thread. The reader's faults (notices, which no policy
    // holds back) are written by the reader itself, as is every fault when there is no presenter.
    if (Presenter_ != nullptr && std::this_thread::get_id() == OwnerThread_)
        Presenter_->Present(fault, reason);
    else
        Show(MessageOf(fault), reason);
}

void MonitorHost::EnableTimer(std::uint32_t periodMs)
{
    TimerEnabled_ = true;
    TimerPeriod_ = periodMs;
    NextTick_ = Clock::now() + std::chrono::milliseconds(periodMs);
}

std::optional<MonitorHost::Clock::time_point> MonitorHost::NextTick() const
{
    if (!TimerEnabled_ || TimerPeriod_ == 0)
        return std::nullopt;
    return NextTick_;
}

void MonitorHost::TickTaken(Clock::time_point now)
{
    const std::chrono::milliseconds period(TimerPeriod_);
    NextTick_ += period;
    if (NextTick_ <= now)
        NextTick_ = now + period;
}

void MonitorHost::ProcessReceivedBytes(std::span<const std::uint8_t> bytes)
{
    const auto now = Clock::now();
    if (Recorder_ != nullptr)
        Recorder_->Bytes(now, bytes);
    for (const std::uint8_t b : bytes) {
        // Once the last wanted reading is out, the rest of the read is of no interest.
        if (LimitReached() || OutputFailed_)
            return;
        if (const auto reading = Decoder_.FeedByte(b))
            EmitReading(*reading, now);
    }
}

void MonitorHost::EmitReading(const MeasurementReading& reading, Clock::time_point now)
{
    const auto elapsed = std::max<std::int64_t>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(now - Opened_).count());
    char line[ReadingLine::MaxSize + 1];
    char* p = PutReadingLine(line, elapsed, reading);
    *p++ = '\n';
    errno = 0;
    Out_.write(line, p - line);
    Out_.flush();
    if (!Out_) {
        OutputFailed_ = true;
        OutputError_ = errno;
        return;
    }
    ++Readings_;
    Statistics_.AddReading(reading);
    Statistics_.ReplyReceived(now);
    if (Recorder_ != nullptr)
        Recorder_->Reading(now, elapsed, reading);
    if (Observer_ != nullptr)
        Observer_->Reading(now, elapsed, reading, Decoder_.Counts());
}

} // namespace rv
