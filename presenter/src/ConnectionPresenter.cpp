#include "rangeview/presenter/ConnectionPresenter.h"

#include "rangeview/common/IntegerText.h"

namespace rv {

namespace {

// The user's number as the connection takes it: a negative one as the unsigned value it stands
// for (the port, or the timer, decides what to make of it); none when the text is no integer.
std::optional<std::uint32_t> UnsignedOf(std::string_view text)
{
    std::int32_t value = 0;
    if (!TryStrToInt(text, value))
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

// Keeps count of the short messages open, also when showing one throws.
class OpenMessageCount {
public:
    explicit OpenMessageCount(int& count) : Count_(count) { ++Count_; }
    ~OpenMessageCount() { --Count_; }
    OpenMessageCount(const OpenMessageCount&) = delete;
    OpenMessageCount& operator=(const OpenMessageCount&) = delete;

private:
    int& Count_;
};

} // namespace

ConnectionPresenter::ConnectionPresenter(SerialConnection& connection, MessageSurface& surface)
    : Connection_(connection), Surface_(surface)
{
}

void ConnectionPresenter::Open(std::string_view portName, std::string_view baudText)
{
    const auto baud = UnsignedOf(baudText);
    if (Connection_.Open(portName, baud) && !baud)
        StrToInt(baudText); // refuses the text with the conversion error
}

void ConnectionPresenter::Send(std::string_view commandText)
{
    // The port is looked at before the text: with none open, whatever the text, that is what
    // the user is told.
    if (!Connection_.PortOpen()) {
        Present(ConnectionFault::NotOpen, std::nullopt);
        return;
    }
    if (commandText.empty()) {
        Show(EmptyCommandMessage);
        return;
    }
    const auto converted = CommandTextToBytes(commandText, TransmitBuffer_);
    // Text that converts to more than the buffer holds is refused as a whole; sending a cut
    // command would be worse than sending none.
    if (converted.Overflow) {
        Show(CommandTooLongMessage);
        return;
    }
    Connection_.Send(std::span<const std::uint8_t>(TransmitBuffer_.data(), converted.Count));
}

void ConnectionPresenter::Tick(std::string_view commandText)
{
    // Ticks that fall due while one of these messages is open are dropped: a message raised by
    // the send button must not be joined by one from every tick under it.
    if (ShortMessagesOpen_ > 0)
        return;
    struct TickScope {
        bool& Flag;
        explicit TickScope(bool& flag) : Flag(flag) { Flag = true; }
        ~TickScope() { Flag = false; }
    } tick(InTick_);
    Send(commandText);
}

void ConnectionPresenter::StartAutoSend(std::string_view periodText)
{
    const auto period = UnsignedOf(periodText);
    Connection_.StartAutoSend(period);
    if (!period)
        StrToInt(periodText); // refuses the text with the conversion error
}

void ConnectionPresenter::Present(ConnectionFault fault, const std::optional<SystemError>& reason)
{
    Show(MessageOf(fault), reason);
}

void ConnectionPresenter::Show(const LinkMessage& message, const std::optional<SystemError>& reason)
{
    if (message.Kind != MessageKind::ShortMessage) {
        Surface_.Show(message, reason);
        return;
    }
    if (InTick_) {
        // A failing tick would fail again on every later one, each with a modal message, and the
        // switch that stops them could never be reached: auto-send ends before the one message.
        InTick_ = false;
        Connection_.StopAutoSend();
    }
    OpenMessageCount open(ShortMessagesOpen_);
    Surface_.Show(message, reason);
}

} // namespace rv
