#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace rv {

// Raised when a text the user typed is not an integer; its message is the one the window shows.
class ConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses a signed 32-bit integer: optional leading spaces, optional sign, then decimal digits or
// hex digits after "$", "x", "X", "0x" or "0X", with nothing after them.
// Returns false for anything else, including values outside the signed 32-bit range.
bool TryStrToInt(std::string_view text, std::int32_t& value);

// As TryStrToInt, but throws ConvertError "'<text>' is not a valid integer value" on rejection.
std::int32_t StrToInt(std::string_view text);

} // namespace rv
