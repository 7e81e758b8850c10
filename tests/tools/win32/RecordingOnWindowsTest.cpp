// Recordings on Windows: a file takes its name while it is still being written, replaces an
// older one only then, and its failures carry the system's own words.

#include "rangeview/common/SystemErrorText.h"
#include "rangeview/tools/MonitorOptions.h"
#include "rangeview/tools/Recorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <windows.h>

namespace rv {
namespace {

using namespace std::chrono_literals;
using Clock = Recorder::Clock;

const std::string Header = "time_utc,elapsed_ms,distance_mm,mode,mode_name\n";

std::string Text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RecordingOnWindows : public ::testing::Test {
protected:
    RecordingOnWindows()
    {
        Dir = std::filesystem::temp_directory_path() /
              ("rangeview-" + std::to_string(::GetCurrentProcessId()) + "-" +
               std::to_string(::GetTickCount64()));
        std::filesystem::create_directories(Dir);
    }
    ~RecordingOnWindows() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(Dir, ignored);
    }
    std::string File(const std::string& name) const { return (Dir / name).string(); }
    std::set<std::string> Names() const
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Dir))
            names.insert(entry.path().filename().string());
        return names;
    }
    std::filesystem::path Dir;
};

TEST_F(RecordingOnWindows, AFileTakesItsNameWhileWrittenAndReplacesTheOldOneOnlyThen)
{
    std::ofstream(File("r.csv"), std::ios::binary) << "earlier\n";
    RecordingOptions options;
    options.CsvPath = File("r.csv");
    options.RawPath = File("r.cap");
    options.Overwrite = true;
    const Clock::time_point start{};
    {
        Recorder recorder(options);
        ASSERT_FALSE(recorder.Failed()) << recorder.Failure();
        recorder.Start(start, {});
        recorder.RunDue(start + 2s);
        EXPECT_EQ(Text(File("r.csv")), "earlier\n") << "nothing has arrived yet";
        recorder.Bytes(start + 2100ms, std::vector<std::uint8_t>{0x5A});
        recorder.Reading(start + 2100ms, 2100, {1234, 3});
        recorder.RunDue(start + 3100ms);
        EXPECT_FALSE(recorder.Failed()) << recorder.Failure();
        // The files took their names while still open for writing.
        EXPECT_EQ(Text(File("r.csv")), Header + "1970-01-01T00:00:02.100Z,2100,1234,3,一般模式\n");
        EXPECT_EQ(std::filesystem::file_size(File("r.cap")), 16u + 12u + 1u);
        recorder.Reading(start + 3200ms, 3200, {1235, 3});
        recorder.Close();
        EXPECT_FALSE(recorder.Failed()) << recorder.Failure();
    }
    EXPECT_EQ(Text(File("r.csv")), Header + "1970-01-01T00:00:02.100Z,2100,1234,3,一般模式\n" +
                                       "1970-01-01T00:00:03.200Z,3200,1235,3,一般模式\n");
    EXPECT_EQ(Names(), (std::set<std::string>{"r.cap", "r.csv"}));

    // A run that records nothing leaves the old files as they were and nothing beside them.
    {
        Recorder quiet(options);
        quiet.Start(start, {});
        quiet.Close();
    }
    EXPECT_EQ(Names(), (std::set<std::string>{"r.cap", "r.csv"}));
    EXPECT_EQ(std::filesystem::file_size(File("r.cap")), 16u + 12u + 1u);
}

TEST_F(RecordingOnWindows, RefusalsAndFailuresSayWhyInTheSystemsWords)
{
    std::filesystem::create_directory(File("folder.csv"));
    std::ofstream(File("old.csv")) << "earlier\n";
    struct Case {
        std::string Path;
        bool Overwrite;
        std::string Why;
    };
    for (const auto& c : std::vector<Case>{
             {File("no\\r.csv"), false, "cannot create: " + SystemErrorText(ERROR_PATH_NOT_FOUND)},
             {File("folder.csv"), true, "cannot create: not a regular file"},
             {"NUL", true, "cannot create: not a regular file"},
             {File("old.csv"), false, "cannot create: the file exists (--overwrite replaces it)"},
         }) {
        RecordingOptions options;
        options.CsvPath = c.Path;
        options.Overwrite = c.Overwrite;
        Recorder recorder(options);
        EXPECT_EQ(recorder.Failure(), "--csv " + c.Path + ": " + c.Why);
    }

    // A file that appears at the name after the check is not replaced.
    RecordingOptions options;
    options.CsvPath = File("late.csv");
    Recorder recorder(options);
    recorder.Start({}, {});
    std::ofstream(File("late.csv"), std::ios::binary) << "someone else's\n";
    recorder.Reading({}, 0, {1, 1});
    recorder.Close();
    EXPECT_TRUE(recorder.Failure().starts_with(
        "--csv " + File("late.csv") +
        ": cannot take the name: the file exists (--overwrite replaces it); the recording is "
        "kept as " +
        File(".late.csv.")))
        << recorder.Failure();
    EXPECT_EQ(Text(File("late.csv")), "someone else's\n");
    EXPECT_EQ(Names().size(), 4u) << "the folder, old.csv, late.csv and the kept recording";
}

TEST_F(RecordingOnWindows, OneFileUnderTwoNamesIsRefused)
{
    const auto usageError = [](const std::string& csv, const std::string& raw) {
        const std::vector<std::string_view> args{"--port", "COM1", "--csv", csv, "--raw", raw};
        try {
            ParseMonitorOptions(args);
        } catch (const MonitorUsageError& error) {
            return std::string(error.what());
        }
        return std::string();
    };
    // Names compare without case, and "." and "/" are what they are.
    EXPECT_EQ(usageError(File("s.dat"), File(".\\S.DAT")), "--csv and --raw name the same file");
    std::ofstream(File("s.dat")) << "x\n";
    EXPECT_EQ(usageError(File("s.dat"), (Dir / "." / "S.dat").generic_string()),
              "--csv and --raw name the same file");
    EXPECT_EQ(usageError(File("s.dat"), File("t.dat")), "");
}

} // namespace
} // namespace rv
