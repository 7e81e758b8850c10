#include "rangeview/tools/SensorSimulator.h"

#include "rangeview/protocol/CommandTable.h"
#include "rangeview/protocol/MeasurementFrame.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace rv {

std::optional<std::uint8_t> CommandParser::Feed(std::uint8_t b) noexcept
{
    if (Size_ == 0 && b != CommandLeadByte)
        return std::nullopt;
    Window_[Size_++] = b;
    if (Size_ < 3)
        return std::nullopt;
    if (Window_[2] == CommandCheckByte(Window_[1])) {
        Size_ = 0;
        return Window_[1];
    }
    // Malformed: start again at the next lead byte inside the window, if any.
    std::size_t start = 1;
    while (start < 3 && Window_[start] != CommandLeadByte)
        ++start;
    Size_ = 3 - start;
    for (std::size_t i = 0; i < Size_; ++i)
        Window_[i] = Window_[start + i];
    return std::nullopt;
}

bool FrameOutputQueue::PushFrame(std::span<const std::uint8_t> bytes, bool badChecksum, bool stray)
{
    if (Pending().size() + bytes.size() > Limit_) {
        ++FramesDropped_;
        return false;
    }
    if (Head_ > 0 && Head_ >= Buffer_.size() / 2) {
        Buffer_.erase(Buffer_.begin(), Buffer_.begin() + static_cast<std::ptrdiff_t>(Head_));
        Head_ = 0;
    }
    Buffer_.insert(Buffer_.end(), bytes.begin(), bytes.end());
    Marks_.push_back({Written_ + Pending().size(), badChecksum, stray});
    return true;
}

void FrameOutputQueue::PushBytes(std::span<const std::uint8_t> bytes)
{
    if (Head_ > 0 && Head_ >= Buffer_.size() / 2) {
        Buffer_.erase(Buffer_.begin(), Buffer_.begin() + static_cast<std::ptrdiff_t>(Head_));
        Head_ = 0;
    }
    Buffer_.insert(Buffer_.end(), bytes.begin(), bytes.end());
}

std::span<const std::uint8_t> FrameOutputQueue::Pending() const noexcept
{
    return std::span<const std::uint8_t>(Buffer_).subspan(Head_);
}

void FrameOutputQueue::Consume(std::size_t n)
{
    n = std::min(n, Pending().size());
    Head_ += n;
    Written_ += n;
    while (!Marks_.empty() && Marks_.front().End <= Written_) {
        ++FramesSent_;
        BadFramesSent_ += Marks_.front().Bad ? 1 : 0;
        StrayBytesSent_ += Marks_.front().Stray ? 1 : 0;
        Marks_.pop_front();
    }
    if (Head_ == Buffer_.size()) {
        Buffer_.clear();
        Head_ = 0;
    }
}

void FrameOutputQueue::Clear()
{
    FramesDropped_ += Marks_.size();
    Marks_.clear();
    Buffer_.clear();
    Head_ = 0;
}

SensorSimulator::SensorSimulator(DistanceSignal signal, SimulatorSettings settings)
    : Signal_(std::move(signal)), Settings_(settings)
{
}

void SensorSimulator::EmitFrame(FrameOutputQueue& out)
{
    if (FrameLimitReached())
        return;
    const std::uint64_t number = ++FramesBuilt_;
    const bool stray = Settings_.StrayEvery != 0 && number % Settings_.StrayEvery == 0;
    const bool bad = Settings_.BadChecksumEvery != 0 && number % Settings_.BadChecksumEvery == 0;

    std::array<std::uint8_t, 1 + MeasurementFrame::MaxSize> bytes{};
    std::size_t size = 0;
    if (stray)
        bytes[size++] = MeasurementFrame::SyncByte;
    const auto frame =
        MeasurementFrame::ForReading(Signal_.Next(), Settings_.Mode, Settings_.FrameType);
    size += frame.Encode(std::span(bytes).subspan(size));
    if (bad)
        ++bytes[size - 1];
    out.PushFrame(std::span(bytes.data(), size), bad, stray);
}

std::string SensorSimulator::HandleCommand(std::uint8_t code, FrameOutputQueue& out)
{
    switch (code) {
    case CommandCode::AutomaticOutput:
        Settings_.AutomaticOutput = true;
        return "automatic output";
    case CommandCode::QueryOutput:
        Settings_.AutomaticOutput = false;
        if (FrameLimitReached())
            return "query: frame limit reached, no frame";
        EmitFrame(out);
        return "query: one frame";
    case CommandCode::SaveSettings:
        return "settings saved (mode " + std::to_string(Settings_.Mode) + ", " +
               (Settings_.AutomaticOutput ? "automatic" : "query") + " output)";
    case CommandCode::ModeLongDistance:
    case CommandCode::ModeHighSpeed:
    case CommandCode::ModeHighPrecision:
    case CommandCode::ModeGeneral:
        Settings_.Mode = static_cast<std::uint8_t>(code - CommandCode::ModeLongDistance);
        return "mode " + std::to_string(Settings_.Mode);
    case CommandCode::Baud9600:
        // Accepted and remembered only: a pseudo-terminal has no line speed to change.
        ModuleBaud_ = 9600;
        return "baud rate 9600 (accepted)";
    case CommandCode::Baud115200:
        ModuleBaud_ = 115200;
        return "baud rate 115200 (accepted)";
    default:
        return "ignored";
    }
}

void SensorSimulator::ReceiveFromHost(std::span<const std::uint8_t> bytes, FrameOutputQueue& out,
                                      std::vector<std::string>& log)
{
    for (std::uint8_t b : bytes) {
        if (const auto code = Parser_.Feed(b)) {
            char text[32];
            std::snprintf(text, sizeof text, "command A5 %02X %02X: ", *code,
                          CommandCheckByte(*code));
            log.push_back(text + HandleCommand(*code, out));
        }
    }
}

} // namespace rv
