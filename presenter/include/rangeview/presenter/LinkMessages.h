#pragma once

#include <optional>
#include <string_view>

#include "rangeview/serial/ConnectionFault.h"
#include "rangeview/serial/SerialPlatform.h"

namespace rv {

enum class MessageKind {
    // A low-level failure of the port, in a box captioned "Notice" that has no owner, so the
    // window stays usable while it is open.
    Notice,
    // A box owned by the main window, with the platform's own caption.
    OwnedBox,
    // A condition the user can act on: modal, the program's title as caption.
    ShortMessage,
};

// One message the user is shown about the serial link. Its text never changes with the reason
// given beside it.
struct LinkMessage {
    MessageKind Kind;
    std::string_view Text;
};

// What the user is told of each fault of the connection.
LinkMessage MessageOf(ConnectionFault fault) noexcept;

// The command text looked at before anything is sent.
inline constexpr LinkMessage EmptyCommandMessage{MessageKind::ShortMessage, "缓冲区为空"};
inline constexpr LinkMessage CommandTooLongMessage{MessageKind::ShortMessage, "缓冲区溢出"};

// Where the link's messages reach the user: the window's boxes, the monitor's error lines.
class MessageSurface {
public:
    virtual ~MessageSurface() = default;
    // Returns once the message has been dismissed; a short message may run a nested event loop.
    virtual void Show(const LinkMessage& message, const std::optional<SystemError>& reason) = 0;
};

} // namespace rv
