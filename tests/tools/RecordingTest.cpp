// Recording files: the capture format, the reading table, and what a failed write does.

#include "rangeview/tools/Capture.h"
#include "rangeview/tools/DistanceSignal.h"
#include "rangeview/tools/Recorder.h"
#include "rangeview/tools/UtcText.h"

#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

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

std::string Text(const std::string& path)
{
    const auto bytes = ReadAll(path);
    return {bytes.begin(), bytes.end()};
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

RecordingOptions Files(std::string csv, std::string raw)
{
    RecordingOptions options;
    options.CsvPath = std::move(csv);
    options.RawPath = std::move(raw);
    return options;
}

class RecordingTest : public ::testing::Test {
protected:
    std::string File(const std::string& name) const { return Dir.Path + "/" + name; }
    // Everything in the folder, hidden files too.
    std::set<std::string> Names() const
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Dir.Path))
            names.insert(entry.path().filename().string());
        return names;
    }
    test::TempDir Dir;
};

TEST_F(RecordingTest, CaptureHasTheDocumentedLayout)
{
    const Clock::time_point start{};
    {
        Recorder recorder(Files("", File("a.cap")));
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
    for (const bool mark : {false, true}) {
        RecordingOptions options = Files(File(mark ? "bom.csv" : "r.csv"), "");
        options.CsvByteOrderMark = mark;
        Recorder recorder(options);
        recorder.Start(start, wall);
        recorder.Reading(start + 5ms, 5, {1234, 3});
        recorder.Reading(start + 1000ms, 1000, {65535, 0});
        recorder.Reading(start + 61001ms, 61001, {0, 7});
        recorder.Close();
        // The mark, for spreadsheets that need it, is the only difference.
        EXPECT_EQ(Text(options.CsvPath), std::string(mark ? "\xEF\xBB\xBF" : "") +
                                             "time_utc,elapsed_ms,distance_mm,mode,mode_name\n"
                                             "2026-12-07T12:36:01.128Z,5,1234,3,一般模式\n"
                                             "2026-12-07T12:36:02.123Z,1000,65535,0,长距离模式\n"
                                             "2026-12-07T12:37:02.124Z,61001,0,7,\n");
    }
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

    // File names of a rotation: the start to the second, before the extension of the name itself.
    const system_clock::time_point leap{milliseconds(951782399999)};
    EXPECT_EQ(RotatedFileName("night.csv", leap), "night-20000228-235959.csv");
    EXPECT_EQ(RotatedFileName("logs/night.csv", leap, 2), "logs/night-20000228-235959_2.csv");
    EXPECT_EQ(RotatedFileName("logs.d/night", leap), "logs.d/night-20000228-235959");
    EXPECT_EQ(RotatedFileName("C:\\logs.d\\night.cap", leap),
              "C:\\logs.d\\night-20000228-235959.cap");
    EXPECT_EQ(RotatedFileName(".csv", leap, 3), ".csv-20000228-235959_3");
    EXPECT_EQ(RotatedFileName("a.b.csv", system_clock::time_point{}), "a.b-19700101-000000.csv");
}

TEST_F(RecordingTest, SyncIsDueOnceASecondAndOnlyWithSomethingToSync)
{
    const Clock::time_point start{};
    Recorder recorder(Files(File("r.csv"), File("r.cap")));
    recorder.Start(start, {});
    EXPECT_EQ(recorder.NextDue(), std::nullopt) << "the headers were synced at the start";
    recorder.Bytes(start + 10ms, std::vector<std::uint8_t>{1});
    ASSERT_TRUE(recorder.NextDue());
    EXPECT_EQ(*recorder.NextDue(), start + 1s);
    recorder.RunDue(start + 500ms);
    EXPECT_TRUE(recorder.NextDue()) << "not yet due";
    // What a kill would leave at the names at this point: nothing yet.
    EXPECT_FALSE(std::filesystem::exists(File("r.cap")));
    recorder.RunDue(start + 1s);
    EXPECT_EQ(recorder.NextDue(), std::nullopt);
    // From the first sync with data on, the names hold everything synced, the table its header.
    EXPECT_EQ(ReadAll(File("r.cap")).size(), CaptureFormat::HeaderSize + 13);
    EXPECT_EQ(Text(File("r.csv")), "time_utc,elapsed_ms,distance_mm,mode,mode_name\n");
    recorder.Bytes(start + 1200ms, std::vector<std::uint8_t>{2});
    recorder.RunDue(start + 2s);
    EXPECT_EQ(ReadAll(File("r.cap")).size(), CaptureFormat::HeaderSize + 26);
}

// A recording is never written into something that is already there, unless asked to, and
// never into anything but a regular file of its own name.
TEST_F(RecordingTest, FilesAreCreatedNewAndOnlyAsRegularFiles)
{
    const std::string kept = "earlier recording\n";
    const auto setUp = [&](const std::string& kind) -> std::string {
        const std::string path = File(kind);
        if (kind == "existing" || kind == "link")
            WriteAll(File("existing"), {kept.begin(), kept.end()});
        if (kind == "link")
            ::symlink(File("existing").c_str(), path.c_str());
        if (kind == "dangling link")
            ::symlink(File("target").c_str(), path.c_str());
        if (kind == "folder")
            std::filesystem::create_directory(path);
        if (kind == "fifo")
            ::mkfifo(path.c_str(), 0600);
        if (kind == "device")
            return "/dev/null";
        if (kind == "missing folder")
            return File("no/such/dir.csv");
        return path;
    };
    const std::string exists = "cannot create: the file exists (--overwrite replaces it)";
    const std::string notRegular = "cannot create: not a regular file";
    struct Case {
        std::string Kind;
        bool Overwrite;
        std::string Why; // "" when the recording goes ahead
    };
    for (const auto& c : std::vector<Case>{
             {"new", false, ""},
             {"new", true, ""},
             {"existing", false, exists},
             {"existing", true, ""},
             {"link", false, notRegular},
             {"link", true, notRegular},
             {"dangling link", false, notRegular},
             {"dangling link", true, notRegular},
             {"folder", false, notRegular},
             {"folder", true, notRegular},
             {"fifo", false, notRegular},
             {"fifo", true, notRegular}, // refused at once, though no one reads it
             {"device", false, notRegular},
             {"device", true, notRegular},
             {"missing folder", true, "cannot create: No such file or directory"},
         }) {
        SCOPED_TRACE(c.Kind + (c.Overwrite ? " --overwrite" : ""));
        test::TempDir fresh;
        Dir.Path.swap(fresh.Path); // each case in a folder of its own
        const std::string path = setUp(c.Kind);
        RecordingOptions options = Files(path, "");
        options.Overwrite = c.Overwrite;
        {
            Recorder recorder(options);
            EXPECT_EQ(recorder.Failure(), c.Why.empty() ? "" : "--csv " + path + ": " + c.Why);
            recorder.Start({}, {});
            recorder.Reading({}, 0, {1, 1});
            recorder.Close();
        }
        if (c.Why.empty()) {
            EXPECT_TRUE(Text(path).starts_with("time_utc,")) << Text(path);
        }
        // Whatever was there before a refusal is as it was.
        if (c.Kind == "existing" || c.Kind == "link") {
            EXPECT_EQ(Text(File("existing")), c.Why.empty() ? Text(path) : kept);
        }
        if (c.Kind == "dangling link") {
            EXPECT_FALSE(std::filesystem::exists(File("target")));
        }
        Dir.Path.swap(fresh.Path);
    }

    // A run that never started (the port did not open) or recorded nothing leaves nothing behind
    // and replaces nothing, so that the same command can be run again.
    WriteAll(File("u.csv"), {kept.begin(), kept.end()});
    RecordingOptions replacing = Files(File("u.csv"), File("u.cap"));
    replacing.Overwrite = true;
    for (const bool started : {false, true}) {
        {
            Recorder unused(replacing);
            EXPECT_FALSE(unused.Failed()) << unused.Failure();
            if (started) {
                unused.Start({}, {});
                unused.RunDue(std::chrono::steady_clock::time_point{} + 5s);
            }
            EXPECT_EQ(Text(File("u.csv")), kept);
        }
        EXPECT_EQ(Names(), std::set<std::string>{"u.csv"}) << "started " << started;
        EXPECT_EQ(Text(File("u.csv")), kept);
    }

    // A name that is taken after the check, by a file or a link, is not written over: the run
    // fails and says where its data is.
    for (const bool overwrite : {false, true}) {
        test::TempDir fresh;
        Dir.Path.swap(fresh.Path);
        RecordingOptions options = Files(File("late.csv"), "");
        options.Overwrite = overwrite;
        Recorder recorder(options);
        recorder.Start({}, {});
        if (overwrite)
            ::symlink(File("target").c_str(), File("late.csv").c_str());
        else
            WriteAll(File("late.csv"), {kept.begin(), kept.end()});
        recorder.Reading({}, 0, {1, 1});
        recorder.Close();
        const std::string why =
            overwrite ? "not a regular file" : "the file exists (--overwrite replaces it)";
        const std::string prefix = "--csv " + File("late.csv") + ": cannot take the name: " + why +
                                   "; the recording is kept as " + File(".late.csv.");
        EXPECT_TRUE(recorder.Failure().starts_with(prefix)) << recorder.Failure();
        const std::string part = recorder.Failure().substr(recorder.Failure().rfind(Dir.Path));
        EXPECT_TRUE(part.ends_with(".part"));
        EXPECT_NE(Text(part).find("\n1970-01-01T00:00:00.000Z,0,1,1,"), std::string::npos);
        if (overwrite) {
            EXPECT_FALSE(std::filesystem::exists(File("target")));
        } else {
            EXPECT_EQ(Text(File("late.csv")), kept);
        }
        Dir.Path.swap(fresh.Path);
    }
}

// A disk that fills up (here: a file-size limit, so EFBIG) at any point: each file keeps every
// whole row or record that fits and ends at one, the failure says why, and a run that recorded
// nothing leaves nothing.
TEST_F(RecordingTest, AFailedWriteEndsTheFileAtAWholeRowAndRecord)
{
    const Clock::time_point start{};
    std::mt19937 rng(21);
    const auto feed = [&](Recorder& recorder, std::uint32_t seed) {
        std::mt19937 data(seed);
        recorder.Start(start, {});
        for (int i = 0; i < 3000; ++i) {
            const auto when = start + std::chrono::milliseconds(i);
            std::vector<std::uint8_t> bytes(1 + data() % 40, static_cast<std::uint8_t>(i));
            recorder.Bytes(when, bytes);
            recorder.Reading(when, i, {static_cast<std::uint16_t>(data()), 3});
            recorder.RunDue(when);
        }
        recorder.Close();
    };
    for (int round = 0; round < 12; ++round) {
        const std::uint32_t seed = rng();
        Recorder full(Files(File("full.csv"), File("full.cap")));
        feed(full, seed);
        ASSERT_FALSE(full.Failed()) << full.Failure();
        const std::string csv = Text(File("full.csv"));
        const auto raw = ReadAll(File("full.cap"));

        // Anywhere from inside the header to well into the data.
        const std::uint64_t limit = round == 0 ? 5 : rng() % 70000;
        SCOPED_TRACE("limit " + std::to_string(limit));
        {
            test::FileSizeLimit fileSize(limit);
            ASSERT_TRUE(fileSize.Ok);
            Recorder cut(Files(File("cut.csv"), File("cut.cap")));
            feed(cut, seed);
            EXPECT_NE(cut.Failure().find(": cannot write: File too large"), std::string::npos)
                << cut.Failure();
        }
        // The table: the longest run of whole lines that fits.
        const std::string table = Text(File("cut.csv"));
        std::size_t wholeLines = 0;
        for (std::size_t end = csv.find('\n'); end != std::string::npos && end < limit;
             end = csv.find('\n', end + 1))
            wholeLines = end + 1;
        EXPECT_EQ(table, csv.substr(0, wholeLines));
        // The capture: the longest run of whole records (the header being the first) that fits.
        std::size_t wholeRecords =
            CaptureFormat::HeaderSize <= limit ? CaptureFormat::HeaderSize : 0;
        while (wholeRecords > 0 && wholeRecords < raw.size()) {
            const std::size_t next = wholeRecords + CaptureFormat::RecordHeaderSize +
                                     (raw[wholeRecords + 8] | raw[wholeRecords + 9] << 8);
            if (next > limit)
                break;
            wholeRecords = next;
        }
        EXPECT_EQ(
            ReadAll(File("cut.cap")),
            std::vector<std::uint8_t>(raw.begin(), raw.begin() + static_cast<long>(wholeRecords)));
        // A file whose header did not fit is left out; both are when neither holds data.
        std::set<std::string> left{"full.csv", "full.cap"};
        if (wholeLines > csv.find('\n') + 1 || wholeRecords > CaptureFormat::HeaderSize) {
            if (wholeLines > 0)
                left.insert("cut.csv");
            if (wholeRecords > 0)
                left.insert("cut.cap");
        }
        EXPECT_EQ(Names(), left);
        for (const char* name : {"full.csv", "full.cap", "cut.csv", "cut.cap"})
            std::filesystem::remove(File(name));
    }
}

// --rotate: files begin on a grid laid from the start, named by the UTC time of their start;
// a table and its capture move together, a name that is taken (by a file or a link, however
// many) moves both to the next free one with a line that says so, and a period in which
// nothing arrives leaves no files.
TEST_F(RecordingTest, RotationBeginsNewFilesNamedByTheirStart)
{
    using namespace std::chrono;
    const Clock::time_point start{};
    // 2026-12-07T12:36:01.123Z
    const system_clock::time_point wall{milliseconds(1796646961123)};
    RecordingOptions options = Files(File("night.csv"), File("night.cap"));
    options.RotateEvery = 1h;
    Recorder recorder(options, wall - 2ms);
    ASSERT_FALSE(recorder.Failed()) << recorder.Failure();
    std::vector<std::string> notes;
    recorder.SetNotes([&](const std::string& line) { notes.push_back(line); });
    recorder.Start(start, wall);
    EXPECT_EQ(recorder.NextDue(), start + 1h) << "due even when nothing arrives";
    const auto receive = [&](Clock::duration at, std::uint16_t distance) {
        recorder.Bytes(start + at, std::vector<std::uint8_t>{static_cast<std::uint8_t>(distance)});
        recorder.Reading(start + at, duration_cast<milliseconds>(at).count(), {distance, 3});
    };
    receive(10ms, 1);
    receive(1h - 1ms, 2);
    receive(1h, 3); // the first reading of the second file
    receive(1h + 1ms, 4);
    // Someone else's files and links hold the third period's names up to _100.
    std::set<std::string> planted{"night-20261207-143601.cap", "night-20261207-143601_2.csv"};
    WriteAll(File("night-20261207-143601.cap"), {'x'});
    ::symlink(File("target").c_str(), File("night-20261207-143601_2.csv").c_str());
    for (int clash = 3; clash <= 100; ++clash) {
        const std::string name = "night-20261207-143601_" + std::to_string(clash) + ".csv";
        WriteAll(File(name), {'y'});
        planted.insert(name);
    }
    receive(2h + 5min, 5);
    recorder.RunDue(start + 3h); // nothing arrives in the fourth hour
    // A loop held up for hours begins one file, at the last start it passed.
    receive(5h + 30min, 6);
    ASSERT_TRUE(recorder.NextDue());
    EXPECT_LE(*recorder.NextDue(), start + 5h + 30min) << "after a quiet hour, a sync at once";
    recorder.Close();
    EXPECT_FALSE(recorder.Failed()) << recorder.Failure();

    std::set<std::string> expected{"night-20261207-123601.csv",     "night-20261207-123601.cap",
                                   "night-20261207-133601.csv",     "night-20261207-133601.cap",
                                   "night-20261207-143601_101.csv", "night-20261207-143601_101.cap",
                                   "night-20261207-173601.csv",     "night-20261207-173601.cap"};
    expected.insert(planted.begin(), planted.end());
    EXPECT_EQ(Names(), expected);
    EXPECT_EQ(notes, std::vector<std::string>{"--rotate: " + File("night-20261207-143601.cap") +
                                              " is taken; this period is recorded as " +
                                              File("night-20261207-143601_101.csv") + " and " +
                                              File("night-20261207-143601_101.cap")});
    const std::string header = "time_utc,elapsed_ms,distance_mm,mode,mode_name\n";
    EXPECT_EQ(Text(File("night-20261207-123601.csv")),
              header + "2026-12-07T12:36:01.133Z,10,1,3,一般模式\n" +
                  "2026-12-07T13:36:01.122Z,3599999,2,3,一般模式\n");
    EXPECT_EQ(Text(File("night-20261207-133601.csv")),
              header + "2026-12-07T13:36:01.123Z,3600000,3,3,一般模式\n" +
                  "2026-12-07T13:36:01.124Z,3600001,4,3,一般模式\n");
    EXPECT_EQ(Text(File("night-20261207-143601_101.csv")),
              header + "2026-12-07T14:41:01.123Z,7500000,5,3,一般模式\n");
    EXPECT_EQ(Text(File("night-20261207-173601.csv")),
              header + "2026-12-07T18:06:01.123Z,19800000,6,3,一般模式\n");
    EXPECT_EQ(Text(File("night-20261207-143601.cap")), "x");
    EXPECT_FALSE(std::filesystem::exists(File("target")));
    // Each capture counts its times from its own start, so that it replays on its own.
    const auto times = [&](const std::string& name) {
        std::vector<std::uint64_t> list;
        CaptureReader reader(File(name));
        while (const auto record = reader.Next())
            list.push_back(record->TimeUs);
        return list;
    };
    EXPECT_EQ(times("night-20261207-123601.cap"), (std::vector<std::uint64_t>{10000, 3599999000}));
    EXPECT_EQ(times("night-20261207-133601.cap"), (std::vector<std::uint64_t>{0, 1000}));
    EXPECT_EQ(times("night-20261207-143601_101.cap"), std::vector<std::uint64_t>{300000000});
    EXPECT_EQ(times("night-20261207-173601.cap"), std::vector<std::uint64_t>{1800000000});
}

} // namespace
} // namespace rv
