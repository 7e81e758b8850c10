#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "rangeview/presenter/LinkMessages.h"
#include "rangeview/protocol/CommandText.h"
#include "rangeview/serial/SerialConnection.h"

namespace rv {

// The serial connection as the user drives it: the user's commands with the texts as typed, and
// every fault of the connection shown as its message. It keeps the order in which things are
// looked at and told (the port before the baud text, the port before the command text) and the
// policy of the modal messages. The host's thread only; the host hands it the connection's
// faults (Present), those of the reader brought over to its thread or shown with MessageOf.
class ConnectionPresenter {
public:
    ConnectionPresenter(SerialConnection& connection, MessageSurface& surface);
    ConnectionPresenter(const ConnectionPresenter&) = delete;
    ConnectionPresenter& operator=(const ConnectionPresenter&) = delete;

    // Opens the port at the baud rate of baudText. A text that is not an integer is refused with
    // ConvertError once the port has been found (an absent one is reported first); what the open
    // took is released then.
    void Open(std::string_view portName, std::string_view baudText);
    // Sends the command text once.
    void Send(std::string_view commandText);
    // A tick of the auto-send timer: sends like Send, unless one of the short messages is open.
    // A tick that fails switches auto-send off before it shows its one message.
    void Tick(std::string_view commandText);
    // Switches auto-send on with the period text, in milliseconds, taken as an unsigned count
    // (-1: a very long one). A text that is not an integer is refused with ConvertError, leaving
    // auto-send on without a timer.
    void StartAutoSend(std::string_view periodText);

    void Present(ConnectionFault fault, const std::optional<SystemError>& reason);

private:
    void Show(const LinkMessage& message, const std::optional<SystemError>& reason = {});

    SerialConnection& Connection_;
    MessageSurface& Surface_;
    int ShortMessagesOpen_ = 0;
    bool InTick_ = false; // a tick is sending: its failure ends auto-send
    std::array<std::uint8_t, TransmitBufferSize> TransmitBuffer_{};
};

} // namespace rv
