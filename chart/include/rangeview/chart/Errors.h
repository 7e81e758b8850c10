#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace rv {

// Index outside a list: "List index out of bounds (%d)".
class EListError : public std::runtime_error {
public:
    explicit EListError(std::int64_t index);
    std::int64_t Index() const { return Index_; }

private:
    std::int64_t Index_;
};

// Refused axis property write; the message is the one the user sees.
class AxisException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace rv
