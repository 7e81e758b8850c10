#include "rangeview/tools/fleet/Json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace rv {

namespace {

// The length of the well-formed UTF-8 sequence at the start of text, or 0.
std::size_t Utf8SequenceLength(std::string_view text) noexcept
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        if (lead == 0xF4)
            high = 0x8F; // past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    if (byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    }
    return length;
}

bool IsNumberText(std::string_view text) noexcept
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    // JSON has no leading '+', no bare '.', no "inf" or "nan".
    return !text.empty() && error == std::errc() && end == text.data() + text.size() &&
           std::isfinite(value) && text.front() != '.' && text.back() != '.' &&
           text.find_first_of("infINF") == std::string_view::npos;
}

} // namespace

bool IsValidUtf8(std::string_view text) noexcept
{
    while (!text.empty()) {
        const std::size_t length = Utf8SequenceLength(text);
        if (length == 0)
            return false;
        text.remove_prefix(length);
    }
    return true;
}

void AppendJsonString(std::string& out, std::string_view text)
{
    out.push_back('"');
    while (!text.empty()) {
        const auto c = static_cast<unsigned char>(text.front());
        const std::size_t length = Utf8SequenceLength(text);
        if (length == 0) {
            out.append("\\ufffd");
            text.remove_prefix(1);
            continue;
        }
        if (length > 1) {
            out.append(text.substr(0, length));
        } else if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c == '\n') {
            out.append("\\n");
        } else if (c == '\r') {
            out.append("\\r");
        } else if (c == '\t') {
            out.append("\\t");
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out.append(escaped);
        } else {
            out.push_back(static_cast<char>(c));
        }
        text.remove_prefix(length);
    }
    out.push_back('"');
}

void JsonObject::Name(std::string_view name)
{
    if (Text_.size() > 1)
        Text_.push_back(',');
    AppendJsonString(Text_, name);
    Text_.push_back(':');
}

JsonObject& JsonObject::String(std::string_view name, std::string_view value)
{
    Name(name);
    AppendJsonString(Text_, value);
    return *this;
}

JsonObject& JsonObject::Number(std::string_view name, std::string_view text)
{
    Name(name);
    Text_.append(IsNumberText(text) ? text : std::string_view("null"));
    return *this;
}

JsonObject& JsonObject::Integer(std::string_view name, std::int64_t value)
{
    Name(name);
    Text_.append(std::to_string(value));
    return *this;
}

JsonObject& JsonObject::Real(std::string_view name, double value, int decimals)
{
    if (!std::isfinite(value))
        return Number(name, "");
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return Number(name, text);
}

JsonObject& JsonObject::Bool(std::string_view name, bool value)
{
    Name(name);
    Text_.append(value ? "true" : "false");
    return *this;
}

JsonObject& JsonObject::Raw(std::string_view name, std::string_view json)
{
    Name(name);
    Text_.append(json);
    return *this;
}

std::string JsonObject::Take()
{
    Text_.push_back('}');
    return std::move(Text_);
}

} // namespace rv
