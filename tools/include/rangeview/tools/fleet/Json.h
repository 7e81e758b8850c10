#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rv {

// Whether text is well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsValidUtf8(std::string_view text) noexcept;

// Appends text as a JSON string, quotes included: quotes, backslashes and control characters
// escaped, and each byte that is not part of well-formed UTF-8 as U+FFFD, so that whatever a
// port name or a file holds, the result is valid JSON.
void AppendJsonString(std::string& out, std::string_view text);

// One JSON object written member by member, without a document model.
class JsonObject {
public:
    JsonObject() : Text_(1, '{') { }
    JsonObject& String(std::string_view name, std::string_view value);
    // A number as its text already reads ("12", "3.250"); an empty text or "-" is null.
    JsonObject& Number(std::string_view name, std::string_view text);
    JsonObject& Integer(std::string_view name, std::int64_t value);
    JsonObject& Real(std::string_view name, double value, int decimals);
    JsonObject& Bool(std::string_view name, bool value);
    // A value that is already JSON (an object or array made by another writer).
    JsonObject& Raw(std::string_view name, std::string_view json);
    // The finished text; the object is closed by this call.
    std::string Take();

private:
    void Name(std::string_view name);
    std::string Text_;
};

} // namespace rv
