// The line forms the tools print.

#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace rv::test {

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// One line of `rangeview-cli monitor` output.
struct MonitorLine {
    long Elapsed;
    long Distance;
    int Mode;
};

// Every line must be "elapsed_ms,distance_mm,mode" with plain decimal numbers; a line that is
// not fails the test and is skipped.
inline std::vector<MonitorLine> ParseMonitorLines(const std::string& out)
{
    static const std::regex form("(0|[1-9][0-9]*),(0|[1-9][0-9]*),(0|[1-9][0-9]*)");
    std::vector<MonitorLine> readings;
    for (const auto& line : Lines(out)) {
        std::smatch m;
        if (!std::regex_match(line, m, form)) {
            ADD_FAILURE() << "malformed line '" << line << "'";
            continue;
        }
        readings.push_back({std::stol(m[1]), std::stol(m[2]), std::stoi(m[3])});
    }
    return readings;
}

} // namespace rv::test
