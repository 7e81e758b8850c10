#pragma once

#include <stdexcept>

namespace rv {

// A one-line message for the user of a tool (bad option, unreadable file).
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace rv
