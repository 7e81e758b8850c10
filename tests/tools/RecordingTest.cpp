// Recording files: the capture format, the reading table, and what a failed write does.

#include "rangeview/tools/Capture.h"
#include "rangeview/tools/DistanceSignal.h"
#include "rangeview/tools/Recorder.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
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

void AddRecord(std::vector<std::uint8_t>& bytes, std::uint64_t timeUs, std::uint32_t count)
{
    const auto head = CaptureFormat::EncodeRecordHead(timeUs, count);
    bytes.insert(bytes.end(), head.begin(), head.end());
    bytes.insert(bytes.end(), std::min<std::uint32_t>(count, 64), 0x5A);
}

// The whole records a reader gives before it stops, and why it stopped ("" at a clean end).
std::pair<std::size_t, std::string> ReadCapture(const std::string& path)
{
    std::size_t records = 0;
    try {
        CaptureReader reader(path);
        while (reader.Next())
            ++records;
    } catch (const ToolError& error) {
        return {records, error.what()};
    }
    return {records, ""};
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
    struct Case {
        std::string Name;
        std::vector<std::uint8_t> Bytes;
        std::size_t Whole; // records read before the damage
        std::string Why; // "" for a capture that reads to its end
    };
    const auto header = [](std::uint16_t version, std::uint16_t size) {
        std::vector<std::uint8_t> bytes = Header();
        bytes[8] = static_cast<std::uint8_t>(version);
        bytes[10] = static_cast<std::uint8_t>(size);
        bytes[11] = static_cast<std::uint8_t>(size >> 8);
        return bytes;
    };
    const auto records = [](std::vector<std::uint8_t> bytes,
                            std::vector<std::pair<std::uint64_t, std::uint32_t>> list) {
        for (const auto& [time, count] : list)
            AddRecord(bytes, time, count);
        return bytes;
    };
    constexpr std::uint64_t Max = CaptureFormat::MaxTimeUs;
    std::vector<std::uint8_t> longer = header(1, 20);
    longer.insert(longer.end(), 4, 0xEE);
    const std::vector<Case> cases = {
        {"text",
         {'t', 'i', 'm', 'e', '\n'},
         0,
         "not a capture file (it does not start with RVCAPTUR)"},
        {"empty", {}, 0, "not a capture file (it is empty)"},
        {"magic only",
         {'R', 'V', 'C', 'A', 'P', 'T', 'U', 'R', 1, 0},
         0,
         "damaged capture: it ends inside its header, after 10 of 16 bytes"},
        {"version 2", header(2, 16), 0,
         "capture version 2 with a 16-byte header; this program reads version 1"},
        {"header cut", records(header(1, 0xFFFF), {{1, 40}}), 0,
         "damaged capture: it ends inside its 65535-byte header"},
        {"longer header", records(longer, {{1, 3}}), 1, ""},
        {"empty record", records(Header(), {{5, 0}}), 0,
         "damaged capture: a record of 0 bytes at offset 16"},
        {"huge record", records(Header(), {{5, 1}, {6, CaptureFormat::MaxRecordBytes + 1}}), 1,
         "damaged capture: a record of 16777217 bytes at offset 29"},
        {"time back", records(Header(), {{200, 1}, {100, 1}}), 1,
         "damaged capture: time goes back at offset 29"},
        {"a century", records(Header(), {{0, 1}, {Max, 2}}), 2, ""},
        {"past a century", records(Header(), {{0, 1}, {Max + 1, 2}}), 1,
         "damaged capture: a record time of 3155760000000001 us, beyond 100 years, at offset 29"},
        {"2^63", records(Header(), {{1000, 8}, {1ull << 63, 8}}), 1,
         "damaged capture: a record time of 9223372036854775808 us, beyond 100 years, at offset "
         "36"},
        {"2^64-1", records(Header(), {{UINT64_MAX, 8}}), 0,
         "damaged capture: a record time of 18446744073709551615 us, beyond 100 years, at "
         "offset 16"},
    };
    for (const auto& c : cases) {
        const std::string path = File(c.Name + ".cap");
        WriteAll(path, c.Bytes);
        const auto [whole, why] = ReadCapture(path);
        EXPECT_EQ(whole, c.Whole) << c.Name;
        EXPECT_EQ(why, c.Why.empty() ? "" : path + ": " + c.Why) << c.Name;
    }
    EXPECT_NE(ReadCapture(File("missing.cap")).second.find("cannot open"), std::string::npos);
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
