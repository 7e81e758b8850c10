#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace rv {

// One entry of the window's command list and of the command-line tool's command names.
struct CommandTableRow {
    std::string_view ItemText; // the text offered in the command list
    std::array<std::uint8_t, 3> Bytes; // what ItemText converts to
    std::string_view Note; // status-bar note, trailing spaces included
};

// The nine commands offered to the user, in list order. Each is 0xA5, a code, and the check
// byte (0xA5 + code) mod 256; the codes 0x50 to 0x53 select modes 0 to 3.
inline constexpr std::array<CommandTableRow, 9> CommandTable{{
    {"A5 45 EA", {0xA5, 0x45, 0xEA}, "注释：自动输出数据"},
    {"A5 15 BA", {0xA5, 0x15, 0xBA}, "注释：查询输出数据"},
    {"A5 25 CA", {0xA5, 0x25, 0xCA}, "注释：保存当前测量模式和输出设置"},
    {"A5 50 F5", {0xA5, 0x50, 0xF5}, "注释：设置成长距离测量模式 "},
    {"A5 51 F6", {0xA5, 0x51, 0xF6}, "注释：设置成高速测量模式 "},
    {"A5 52 F7", {0xA5, 0x52, 0xF7}, "注释：设置成高精度测量模式"},
    {"A5 53 F8", {0xA5, 0x53, 0xF8}, "注释：设置成一般测量模式"},
    {"A5 AE 53", {0xA5, 0xAE, 0x53}, "注释：设置波特率为9600"},
    {"A5 AF 54", {0xA5, 0xAF, 0x54}, "注释：设置波特率为115200"},
}};

// Command codes (the middle byte) the module understands.
namespace CommandCode {
inline constexpr std::uint8_t AutomaticOutput = 0x45;
inline constexpr std::uint8_t QueryOutput = 0x15;
inline constexpr std::uint8_t SaveSettings = 0x25;
inline constexpr std::uint8_t ModeLongDistance = 0x50;
inline constexpr std::uint8_t ModeHighSpeed = 0x51;
inline constexpr std::uint8_t ModeHighPrecision = 0x52;
inline constexpr std::uint8_t ModeGeneral = 0x53;
inline constexpr std::uint8_t Baud9600 = 0xAE;
inline constexpr std::uint8_t Baud115200 = 0xAF;
} // namespace CommandCode

inline constexpr std::uint8_t CommandLeadByte = 0xA5;

constexpr std::uint8_t CommandCheckByte(std::uint8_t code) noexcept
{
    return static_cast<std::uint8_t>(CommandLeadByte + code);
}

} // namespace rv
