#include "rangeview/chart/NumberFormat.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace rv {

namespace {

struct Picture {
    std::string prefix;
    std::string suffix;
    int minInt = 0;
    int minFrac = 0;
    int maxFrac = 0;
    bool grouping = false;
};

bool IsPictureChar(char c)
{
    return c == '#' || c == '0' || c == ',' || c == '.';
}

Picture ParsePicture(std::string_view format)
{
    Picture p;
    enum { Before, In, After } where = Before;
    bool afterPoint = false;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c == ';')
            break;
        if (c == '\'' || c == '"') {
            const std::size_t end = format.find(c, i + 1);
            const std::size_t stop = end == std::string_view::npos ? format.size() : end;
            std::string_view text = format.substr(i + 1, stop - i - 1);
            (where == Before ? p.prefix : p.suffix).append(text);
            if (where == In)
                where = After;
            i = stop;
            continue;
        }
        if (where != After && IsPictureChar(c)) {
            where = In;
            if (c == '.') {
                afterPoint = true;
            } else if (c == ',') {
                if (!afterPoint)
                    p.grouping = true;
            } else if (afterPoint) {
                ++p.maxFrac;
                if (c == '0')
                    p.minFrac = p.maxFrac;
            } else if (c == '0') {
                ++p.minInt;
            }
            continue;
        }
        if (where == In)
            where = After;
        (where == Before ? p.prefix : p.suffix).push_back(c);
    }
    return p;
}

// |value| as 15 significant decimal digits and the count of digits before the decimal point.
void DecimalDigits(double magnitude, std::string& digits, int& pointPos)
{
    // As printf's "%.14e" spells it (both round the exact binary value to nearest), without
    // printf's cost: axis labels and the diagnostics format numbers many times a second.
    char buf[40];
    const auto r =
        std::to_chars(buf, buf + sizeof buf - 1, magnitude, std::chars_format::scientific, 14);
    *r.ptr = '\0';
    digits.clear();
    const char* s = buf;
    for (; *s && *s != 'e'; ++s) {
        if (*s >= '0' && *s <= '9')
            digits.push_back(*s);
    }
    const int exponent = *s == 'e' ? std::atoi(s + 1) : 0;
    pointPos = exponent + 1;
}

std::string GeneralForm(double value, const TFormatSettings& settings)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    std::string digits;
    int pointPos = 0;
    DecimalDigits(std::fabs(value), digits, pointPos);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    std::string out = value < 0 ? "-" : "";
    out.push_back(digits[0]);
    if (digits.size() > 1) {
        out += settings.DecimalSeparator;
        out.append(digits, 1, std::string::npos);
    }
    out += "E" + std::to_string(pointPos - 1);
    return out;
}

} // namespace

std::string FormatFloat(std::string_view format, double value, const TFormatSettings& settings)
{
    if (!std::isfinite(value) || std::fabs(value) >= 1e18)
        return GeneralForm(value, settings);
    const Picture p = ParsePicture(format);

    std::string digits;
    int pointPos = 0;
    DecimalDigits(std::fabs(value), digits, pointPos);

    // Round half away from zero at maxFrac decimals.
    const int keep = pointPos + p.maxFrac;
    if (keep < static_cast<int>(digits.size())) {
        const bool up = keep >= 0 && digits[static_cast<std::size_t>(keep)] >= '5';
        digits.resize(keep > 0 ? static_cast<std::size_t>(keep) : 0);
        if (up) {
            int i = static_cast<int>(digits.size()) - 1;
            while (i >= 0 && digits[static_cast<std::size_t>(i)] == '9') {
                digits[static_cast<std::size_t>(i)] = '0';
                --i;
            }
            if (i >= 0) {
                ++digits[static_cast<std::size_t>(i)];
            } else {
                // All nines (or nothing kept): the carry adds a leading digit.
                digits.insert(digits.begin(), '1');
                ++pointPos;
            }
        } else if (keep < 0) {
            pointPos = 0;
        }
    }

    std::string intPart;
    std::string fracPart;
    for (int i = 0; i < pointPos; ++i) {
        intPart.push_back(i < static_cast<int>(digits.size()) ? digits[static_cast<std::size_t>(i)]
                                                              : '0');
    }
    for (int i = pointPos; i < static_cast<int>(digits.size()); ++i) {
        if (i >= 0)
            fracPart.push_back(digits[static_cast<std::size_t>(i)]);
    }
    if (pointPos < 0)
        fracPart.insert(0, static_cast<std::size_t>(-pointPos), '0');
    if (static_cast<int>(fracPart.size()) > p.maxFrac)
        fracPart.resize(static_cast<std::size_t>(p.maxFrac));
    while (static_cast<int>(fracPart.size()) < p.maxFrac)
        fracPart.push_back('0');
    while (static_cast<int>(fracPart.size()) > p.minFrac && fracPart.back() == '0')
        fracPart.pop_back();

    std::size_t lead = 0;
    while (lead < intPart.size() && intPart[lead] == '0')
        ++lead;
    intPart.erase(0, lead);
    if (static_cast<int>(intPart.size()) < p.minInt) {
        intPart.insert(0, static_cast<std::size_t>(p.minInt) - intPart.size(), '0');
    }

    const bool nonZero = intPart.find_first_not_of('0') != std::string::npos ||
                         fracPart.find_first_not_of('0') != std::string::npos;

    std::string out;
    if (value < 0 && nonZero)
        out.push_back('-');
    out += p.prefix;
    if (p.grouping) {
        for (std::size_t i = 0; i < intPart.size(); ++i) {
            if (i > 0 && (intPart.size() - i) % 3 == 0)
                out += settings.ThousandSeparator;
            out.push_back(intPart[i]);
        }
    } else {
        out += intPart;
    }
    if (!fracPart.empty()) {
        out += settings.DecimalSeparator;
        out += fracPart;
    }
    out += p.suffix;
    return out;
}

} // namespace rv
