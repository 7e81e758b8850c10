// Recording files: the capture format, the reading table, and what a failed write does.

#include "rangeview/tools/Capture.h"
#include "rangeview/tools/DistanceSignal.h"
#include "rangeview/tools/Recorder.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace rv {
namespace {

using namespace std::chrono_literals;
using Clock = Recorder::Clock;

std::vector<std::uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> Header()
{
    const auto header = CaptureFormat::EncodeHeader();
    return {header.begin(), header.end()};
}

std::string CaptureError(const std::string& path)
{
    try {
        CaptureReader reader(path);
        while (reader.Next()) { }
    } catch (const ToolError& error) {
        return error.what();
    }
    return "";
}

class RecordingTest : public ::testing::Test {
protected:
    std::string File(const std::string& name) const { return Dir.Path + "/" + name; }
    test::TempDir Dir;
};

TEST_F(RecordingTest, CaptureHasTheDocumentedLayout)
{
    const Clock::time_point start{};
    {
        Recorder recorder("", File("a.cap"));
        ASSERT_FALSE(recorder.Failed()) << recorder.Failure();
        recorder.Start(start, {});
        recorder.Bytes(start + 1500us, std::vector<std::uint8_t>{0x5A, 0x5A});
        recorder.Bytes(start + 70000s, std::vector<std::uint8_t>{0x01});
        recorder.Close();
        EXPECT_FALSE(recorder.Failed());
    }
    const std::vector<std::uint8_t> expected{
        'R', 'V', 'C', 'A', 'P', 'T', 'U', 'R', 1, 0, 16, 0, 0, 0, 0, 0, 0xDC, 0x05, 0, 0, 0, 0, 0,
        0, 2, 0, 0, 0, 0x5A, 0x5A,
        // 70000 s = 70 000 000 000 us = 0x104C533C00, past 32 bits
        0x00, 0x3C, 0x53, 0x4C, 0x10, 0, 0, 0, 1, 0, 0, 0, 0x01};
    EXPECT_EQ(ReadAll(File("a.cap")), expected);

    CaptureReader reader(File("a.cap"));
    const auto first = reader.Next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->TimeUs, 1500u);
    EXPECT_EQ(first->Bytes, (std::vector<std::uint8_t>{0x5A, 0x5A}));
    const auto second = reader.Next();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->TimeUs, 70000000000u);
    EXPECT_FALSE(reader.Next());
    EXPECT_FALSE(reader.Truncated());
}

TEST_F(RecordingTest, CaptureCutInsideARecordReadsUpToTheLastWholeOne)
{
    std::vector<std::uint8_t> bytes = Header();
    for (std::uint8_t i = 1; i <= 2; ++i) {
        const auto head = CaptureFormat::EncodeRecordHead(i * 100u, 3);
        bytes.insert(bytes.end(), head.begin(), head.end());
        bytes.insert(bytes.end(), {i, i, i});
    }
    for (std::size_t cut = 1; cut < CaptureFormat::RecordHeaderSize + 3; ++cut) {
        WriteAll(File("cut.cap"),
                 std::vector<std::uint8_t>(bytes.begin(), bytes.end() - static_cast<long>(cut)));
        CaptureReader reader(File("cut.cap"));
        ASSERT_TRUE(reader.Next());
        EXPECT_FALSE(reader.Next()) << "cut " << cut;
        EXPECT_TRUE(reader.Truncated());
    }
}

TEST_F(RecordingTest, DamagedOrForeignCapturesAreRefusedWithTheReason)
{
    WriteAll(File("text.cap"), {'t', 'i', 'm', 'e', '\n'});
    EXPECT_NE(CaptureError(File("text.cap")).find("not a capture file"), std::string::npos);

    auto header = CaptureFormat::EncodeHeader();
    header[8] = 2;
    WriteAll(File("v2.cap"), {header.begin(), header.end()});
    EXPECT_NE(CaptureError(File("v2.cap")).find("version 2"), std::string::npos);

    std::vector<std::uint8_t> zero = Header();
    const auto empty = CaptureFormat::EncodeRecordHead(5, 0);
    zero.insert(zero.end(), empty.begin(), empty.end());
    WriteAll(File("zero.cap"), zero);
    EXPECT_NE(CaptureError(File("zero.cap")).find("a record of 0 bytes at offset 16"),
              std::string::npos);

    std::vector<std::uint8_t> back = Header();
    for (std::uint64_t t : {200u, 100u}) {
        const auto head = CaptureFormat::EncodeRecordHead(t, 1);
        back.insert(back.end(), head.begin(), head.end());
        back.push_back(0);
    }
    WriteAll(File("back.cap"), back);
    EXPECT_NE(CaptureError(File("back.cap")).find("time goes back"), std::string::npos);

    EXPECT_NE(CaptureError(File("missing.cap")).find("cannot open"), std::string::npos);
}

TEST_F(RecordingTest, ReadingTableHasAHeaderAndOneRowPerReading)
{
    const Clock::time_point start{};
    // 2026-12-07T12:36:01.123Z
    const std::chrono::system_clock::time_point wall{std::chrono::milliseconds(1796646961123)};
    Recorder recorder(File("r.csv"), "");
    recorder.Start(start, wall);
    recorder.Reading(start + 5ms, 5, {1234, 3});
    recorder.Reading(start + 1000ms, 1000, {65535, 0});
    recorder.Reading(start + 61001ms, 61001, {0, 7});
    recorder.Close();
    const auto bytes = ReadAll(File("r.csv"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "time_utc,elapsed_ms,distance_mm,mode,mode_name\n"
              "2026-12-07T12:36:01.128Z,5,1234,3,一般模式\n"
              "2026-12-07T12:36:02.123Z,1000,65535,0,长距离模式\n"
              "2026-12-07T12:37:02.124Z,61001,0,7,\n");
}

TEST_F(RecordingTest, UtcTimesAcrossDatesAndLeapDays)
{
    using std::chrono::milliseconds;
    using std::chrono::system_clock;
    EXPECT_EQ(FormatUtcMillis(system_clock::time_point{}), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(FormatUtcMillis(system_clock::time_point{milliseconds(951782399999)}),
              "2000-02-28T23:59:59.999Z");
    EXPECT_EQ(FormatUtcMillis(system_clock::time_point{milliseconds(951782400000)}),
              "2000-02-29T00:00:00.000Z");
}

TEST_F(RecordingTest, SyncIsDueOnceASecondAndOnlyWithSomethingToSync)
{
    const Clock::time_point start{};
    Recorder recorder(File("r.csv"), File("r.cap"));
    recorder.Start(start, {});
    EXPECT_EQ(recorder.NextSync(), std::nullopt) << "the headers were synced at the start";
    recorder.Bytes(start + 10ms, std::vector<std::uint8_t>{1});
    ASSERT_TRUE(recorder.NextSync());
    EXPECT_EQ(*recorder.NextSync(), start + 1s);
    recorder.SyncIfDue(start + 500ms);
    EXPECT_TRUE(recorder.NextSync()) << "not yet due";
    // What a kill would leave on disk at this point: the header only.
    EXPECT_EQ(ReadAll(File("r.cap")).size(), CaptureFormat::HeaderSize);
    recorder.SyncIfDue(start + 1s);
    EXPECT_EQ(recorder.NextSync(), std::nullopt);
    EXPECT_EQ(ReadAll(File("r.cap")).size(), CaptureFormat::HeaderSize + 13);
}

TEST_F(RecordingTest, UnwritableFilesFailWithTheirReason)
{
    Recorder missingDir(File("no/such/dir.csv"), "");
    EXPECT_TRUE(missingDir.Failed());
    EXPECT_EQ(missingDir.Failure(),
              "--csv " + File("no/such/dir.csv") + ": cannot create: No such file or directory");

    // A full disk: refused at the latest when the data is handed over, and from then on.
    Recorder full("", "/dev/full");
    ASSERT_FALSE(full.Failed()) << full.Failure();
    full.Start({}, {});
    EXPECT_TRUE(full.Failed());
    EXPECT_EQ(full.Failure(), "--raw /dev/full: cannot write: No space left on device");
}

} // namespace
} // namespace rv
