#include "rangeview/presenter/LinkMessages.h"

namespace rv {

LinkMessage MessageOf(ConnectionFault fault) noexcept
{
    // Failures of the port in English (the open failure aside), conditions the user can act on
    // in Chinese.
    switch (fault) {
    case ConnectionFault::EventUnavailable:
        return {MessageKind::Notice, "CreateEvent Error!"};
    case ConnectionFault::PortUnavailable:
        return {MessageKind::Notice, "串口打开失败!"};
    case ConnectionFault::EventMaskRefused:
        return {MessageKind::Notice, "SetCommMask Error !"};
    case ConnectionFault::NoReaderThread:
        return {MessageKind::OwnedBox, "No CreateThread!"};
    case ConnectionFault::ReaderEventUnavailable:
        return {MessageKind::Notice, "overlapped.Event Create Error !"};
    case ConnectionFault::NotifyFailed:
        return {MessageKind::Notice, "PostMessage Error !"};
    case ConnectionFault::ClearErrorFailed:
        return {MessageKind::Notice, "ClearCommError !"};
    case ConnectionFault::ReadFailed:
        return {MessageKind::Notice, "ReadFile Error!"};
    case ConnectionFault::NotOpen:
        return {MessageKind::ShortMessage, "未打开串口"};
    case ConnectionFault::WriteFailed:
        return {MessageKind::ShortMessage, "发送数据出错"};
    }
    return {MessageKind::Notice, "Unknown fault"}; // a value cast from elsewhere
}

} // namespace rv
