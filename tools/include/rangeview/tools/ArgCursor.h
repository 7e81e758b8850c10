#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace rv {

// Walks a command line whose options take their value as "--name value" or "--name=value".
// Error is the program's own one-line error type, so each parser keeps its own reporting.
template <class Error>
class ArgCursor {
public:
    explicit ArgCursor(std::span<const std::string_view> args) noexcept : Args_(args) { }

    // Moves to the next argument; false after the last.
    bool Next() noexcept
    {
        if (Next_ >= Args_.size())
            return false;
        Arg_ = Args_[Next_++];
        Name_ = Arg_;
        Inline_ = {};
        HasInline_ = false;
        // Only long options carry an inline value; "-x=1" stays one (unknown) name.
        if (Name_.starts_with("--")) {
            if (const auto equals = Name_.find('='); equals != std::string_view::npos) {
                Inline_ = Name_.substr(equals + 1);
                Name_ = Name_.substr(0, equals);
                HasInline_ = true;
            }
        }
        return true;
    }

    // The argument as given.
    std::string_view Arg() const noexcept { return Arg_; }
    // The option without its inline value: "--rate" for "--rate=5".
    std::string_view Name() const noexcept { return Name_; }

    // The inline value, else the following argument, taken whatever it looks like: in
    // "--port --baud" the port is "--baud".
    std::string_view Value()
    {
        if (HasInline_)
            return Inline_;
        if (Next_ >= Args_.size())
            throw Error(std::string(Name_) + " needs a value");
        return Args_[Next_++];
    }

    // For a switch: refuses "--name=value".
    void NoValue() const
    {
        if (HasInline_)
            throw Error(std::string(Name_) + " takes no value");
    }

private:
    std::span<const std::string_view> Args_;
    std::size_t Next_ = 0;
    std::string_view Arg_;
    std::string_view Name_;
    std::string_view Inline_;
    bool HasInline_ = false; // "--name=" gives an empty value, which is still a value
};

} // namespace rv
