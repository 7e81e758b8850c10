#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace rv::test {

// A private folder under the temporary directory, removed with everything in it at the end.
// Path is empty when it could not be made.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "rangeview-")
    {
        std::error_code ec;
        const auto base = std::filesystem::temp_directory_path(ec);
        std::string pattern = (base / (prefix + "XXXXXX")).string();
        if (!ec && ::mkdtemp(pattern.data()) != nullptr)
            Path = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!Path.empty())
            std::filesystem::remove_all(Path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string Path;
};

} // namespace rv::test
