// The Win32 backend on real COM ports. Which ports to use comes from the environment:
//   RV_TEST_COM_PORT       a port served by the simulator in query mode (one frame per A5 15 BA)
//   RV_TEST_GONE_PORT      a port name whose device does not exist
//   RV_TEST_HANGUP_PORT    a port whose far end hangs up on request: the test creates the file
//                          RV_TEST_HANGUP_REQUEST, and RV_TEST_HANGUP_DONE appears once it has
// A test whose port is not given is skipped. Under Wine the ports are pseudo-terminals, whose
// overlapped WaitCommEvent works only with tests/wine/PtyModemLines.c preloaded.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <utility>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "../RecordingHost.h"
#include "rangeview/protocol/FrameDecoder.h"
#include "rangeview/serial/SerialConnection.h"
#include "rangeview/serial/SerialPlatform.h"
#include "rangeview/serial/SystemPlatform.h"

namespace rv {
namespace {

using namespace std::chrono_literals;

// The simulator in query mode answers it with one frame.
const std::vector<std::uint8_t> Query{0xA5, 0x15, 0xBA};

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

#define REQUIRE_PORT(var, name)                                                                    \
    const std::string var = Env(name);                                                             \
    if (var.empty())                                                                               \
    GTEST_SKIP() << name << " names no port"

// Every failure the backend reports, from any thread.
std::mutex ReportedMutex;
std::vector<SystemError> Reported;

void CollectReport(const SystemError& error)
{
    std::lock_guard lock(ReportedMutex);
    Reported.push_back(error);
}

std::vector<SystemError> TakeReported()
{
    std::lock_guard lock(ReportedMutex);
    return std::exchange(Reported, {});
}

// Polls the input queue until at least `count` bytes are there or the time is up.
std::uint32_t WaitForQueued(SerialPort& port, std::uint32_t count, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    CommStatus status;
    std::uint32_t errors = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!port.ClearCommError(errors, status))
            return 0;
        if (status.InQueue >= count)
            break;
        std::this_thread::sleep_for(20ms);
    }
    return status.InQueue;
}

bool SendAll(SerialPort& port, const std::vector<std::uint8_t>& bytes)
{
    IoRecord record;
    switch (port.StartWrite(bytes, record)) {
    case WriteStart::Completed:
        return record.BytesTransferred == bytes.size();
    case WriteStart::Pending:
        return port.FinishWrite(record, 2s) && record.BytesTransferred == bytes.size();
    case WriteStart::Failed:
        return false;
    }
    return false;
}

TEST(Win32DevicePath, EveryNameGoesBehindTheDevicePrefix)
{
    EXPECT_EQ(SystemDevicePath("COM3"), "\\\\.\\COM3");
    EXPECT_EQ(SystemDevicePath("COM12"), "\\\\.\\COM12");
    EXPECT_EQ(SystemDevicePath(""), "\\\\.\\");
}

TEST(Win32Open, BarePrefixAndNulDeviceAreRefusedWithTheSystemsReason)
{
    const auto platform = MakeSystemPlatform();
    ClearLastSystemError();
    EXPECT_EQ(platform->OpenPort(""), nullptr);
    EXPECT_EQ(LastSystemError().Call, "CreateFileA");
    EXPECT_NE(LastSystemError().Code, 0);
    EXPECT_FALSE(LastSystemError().Reason.empty());

    // A device that opens but has no line settings is no serial port.
    ClearLastSystemError();
    EXPECT_EQ(platform->OpenPort("NUL"), nullptr);
    EXPECT_FALSE(LastSystemError().Call.empty());
    EXPECT_EQ(LastSystemError().Port, "\\\\.\\NUL");
}

TEST(Win32Open, NameWithNulIsRefused)
{
    const auto platform = MakeSystemPlatform();
    EXPECT_EQ(platform->OpenPort(std::string("COM1\0X", 6)), nullptr);
}

TEST(Win32Open, VanishedDeviceFailsToOpenAndSaysWhy)
{
    REQUIRE_PORT(name, "RV_TEST_GONE_PORT");
    ClearLastSystemError();
    EXPECT_EQ(MakeSystemPlatform()->OpenPort(name), nullptr);
    EXPECT_EQ(LastSystemError().Call, "CreateFileA");
    EXPECT_EQ(LastSystemError().Port, SystemDevicePath(name));
    EXPECT_NE(LastSystemError().Code, 0);
    EXPECT_FALSE(LastSystemError().Reason.empty());
}

TEST(Win32Port, IsHeldExclusively)
{
    REQUIRE_PORT(name, "RV_TEST_COM_PORT");
    // Wine applies share modes to files only, not to character devices: there a second open of
    // the same COM port succeeds, and only a real serial driver can show the refusal.
    if (!Env("RV_TEST_PORT_NOT_EXCLUSIVE").empty())
        GTEST_SKIP() << "this system does not hold COM ports exclusively";
    const auto platform = MakeSystemPlatform();
    auto first = platform->OpenPort(name);
    ASSERT_NE(first, nullptr) << Describe(LastSystemError());
    ClearLastSystemError();
    EXPECT_EQ(platform->OpenPort(name), nullptr);
    EXPECT_EQ(LastSystemError().Call, "CreateFileA");
    EXPECT_NE(LastSystemError().Code, 0);
}

TEST(Win32Port, CloseReleasesThePort)
{
    REQUIRE_PORT(name, "RV_TEST_COM_PORT");
    const auto platform = MakeSystemPlatform();
    auto first = platform->OpenPort(name);
    ASSERT_NE(first, nullptr) << Describe(LastSystemError());
    first->Close();
    EXPECT_TRUE(first->IsReleased());
    first->Close(); // a second close does nothing
    LineSettings settings;
    EXPECT_FALSE(first->GetCommState(settings));
    auto second = platform->OpenPort(name);
    EXPECT_NE(second, nullptr) << Describe(LastSystemError());
    // Released with the last reference as well.
    second.reset();
    EXPECT_NE(platform->OpenPort(name), nullptr) << Describe(LastSystemError());
}

TEST(Win32Port, LineSettingsAreReadBackAsSet)
{
    REQUIRE_PORT(name, "RV_TEST_COM_PORT");
    auto port = MakeSystemPlatform()->OpenPort(name);
    ASSERT_NE(port, nullptr) << Describe(LastSystemError());
    EXPECT_TRUE(port->SetTimeouts(ImmediateReadTimeouts));
    EXPECT_TRUE(port->SetQueueSizes(4096, 2048));

    for (const std::uint32_t baud : {57600u, 9600u}) {
        LineSettings asked;
        ASSERT_TRUE(port->GetCommState(asked));
        asked.BaudRate = baud;
        asked.ByteSize = 8;
        asked.Parity = NoParity;
        asked.StopBits = OneStopBit;
        ASSERT_TRUE(port->SetCommState(asked)) << Describe(LastSystemError());
        LineSettings now;
        ASSERT_TRUE(port->GetCommState(now));
        EXPECT_EQ(now.BaudRate, baud);
        EXPECT_EQ(now.ByteSize, 8);
        EXPECT_EQ(now.Parity, NoParity);
        EXPECT_EQ(now.StopBits, OneStopBit);
    }
    EXPECT_TRUE(port->SetCommMask(EvRxChar));
    port->RaiseDtr();
}

TEST(Win32Port, QueryReachesTheModuleAndItsFrameComesBack)
{
    REQUIRE_PORT(name, "RV_TEST_COM_PORT");
    auto port = MakeSystemPlatform()->OpenPort(name);
    ASSERT_NE(port, nullptr) << Describe(LastSystemError());
    ASSERT_TRUE(port->SetTimeouts(ImmediateReadTimeouts));
    LineSettings settings;
    ASSERT_TRUE(port->GetCommState(settings));
    settings.BaudRate = 9600;
    ASSERT_TRUE(port->SetCommState(settings));
    ASSERT_TRUE(port->Purge(PurgeRxAbort | PurgeRxClear | PurgeTxAbort | PurgeTxClear));

    // The simulator answers only a command whose three bytes are exactly right.
    ASSERT_TRUE(SendAll(*port, {0xA5, 0x15, 0xBA})) << Describe(LastSystemError());
    const std::uint32_t queued = WaitForQueued(*port, 8, 5s);
    ASSERT_GT(queued, 0u) << "no answer from the simulator";

    std::vector<std::uint8_t> buffer(queued);
    IoRecord record;
    ASSERT_TRUE(port->Read(buffer, record)) << Describe(LastSystemError());
    ASSERT_GT(record.BytesTransferred, 0u);
    FrameDecoder decoder;
    int readings = 0;
    for (std::uint32_t i = 0; i < record.BytesTransferred; ++i) {
        if (decoder.FeedByte(buffer[i]))
            ++readings;
    }
    EXPECT_EQ(readings, 1);
}

TEST(Win32Port, ReadOfAnEmptyQueueNeverHoldsTheCaller)
{
    REQUIRE_PORT(name, "RV_TEST_COM_PORT");
    auto port = MakeSystemPlatform()->OpenPort(name);
    ASSERT_NE(port, nullptr) << Describe(LastSystemError());
    ASSERT_TRUE(port->SetTimeouts(ImmediateReadTimeouts));
    ASSERT_TRUE(port->Purge(PurgeRxAbort | PurgeRxClear));
    std::vector<std::uint8_t> buffer(16);
    IoRecord record;
    const auto start = std::chrono::steady_clock::now();
    // With the immediate time-outs the read returns at once; a driver that keeps it pending
    // (Wine's does) has it given up after a bound.
    EXPECT_TRUE(port->Read(buffer, record));
    EXPECT_EQ(record.BytesTransferred, 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

// Plays the reader: waits in a loop until the port is closed, and counts its passes.
class WaitLoop {
public:
    explicit WaitLoop(std::shared_ptr<SerialPort> port)
        : Port_(std::move(port)), Thread_([this] { Run(); })
    {
    }
    ~WaitLoop()
    {
        if (Thread_.joinable())
            Thread_.join();
    }
    bool EndsWithin(std::chrono::milliseconds limit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!Ended_.load() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        return Ended_.load();
    }
    int Passes() const { return Passes_.load(); }
    int Arrivals() const { return Arrivals_.load(); }

private:
    void Run()
    {
        IoRecord record;
        while (!Port_->IsReleased()) {
            std::uint32_t mask = 0;
            ++Passes_;
            if (Port_->WaitCommEvent(mask, record) && (mask & EvRxChar)) {
                ++Arrivals_;
                std::this_thread::sleep_for(20ms); // the window's turn, as the hand-off paces it
            }
        }
        Ended_.store(true);
    }

    std::shared_ptr<SerialPort> Port_;
    std::atomic<int> Passes_{0};
    std::atomic<int> Arrivals_{0};
    std::atomic<bool> Ended_{false};
    std::thread Thread_;
};

TEST(Win32Port, WaitNeitherSpinsNorOutlivesClose)
{
    REQUIRE_PORT(name, "RV_TEST_COM_PORT");
    std::shared_ptr<SerialPort> port = MakeSystemPlatform()->OpenPort(name);
    ASSERT_NE(port, nullptr) << Describe(LastSystemError());
    ASSERT_TRUE(port->SetCommMask(EvRxChar));
    ClearLastSystemError();
    WaitLoop loop(port);
    std::this_thread::sleep_for(1s);
    // A quiet line holds the wait; one that keeps failing pauses between passes.
    EXPECT_LT(loop.Passes(), 40);
    port->Close();
    EXPECT_TRUE(loop.EndsWithin(3s)) << "close did not end the wait";
    // Released while the reader was inside its wait: the port can be opened again.
    EXPECT_NE(MakeSystemPlatform()->OpenPort(name), nullptr) << Describe(LastSystemError());
}

TEST(Win32Connection, OpensSendsClosesAndOpensAgain)
{
    REQUIRE_PORT(name, "RV_TEST_COM_PORT");
    auto host = std::make_shared<test::RecordingHost>();
    {
        SerialConnection connection(MakeSystemPlatform(), host);
        connection.Open(name, 9600);
        EXPECT_EQ(connection.State(), ConnectionState::Open);
        connection.Send(Query);
        ASSERT_FALSE(host->TxCounts.empty());
        EXPECT_EQ(host->TxCounts.back(), 3);
        EXPECT_TRUE(host->Faults().empty());

        connection.Close();
        EXPECT_EQ(connection.State(), ConnectionState::Closed);
        connection.Open(name, 115200);
        EXPECT_EQ(connection.State(), ConnectionState::Open);
        EXPECT_TRUE(host->Faults().empty());
        connection.Close();
        // The window goes away with the port open: the port is still released.
        connection.Open(name, 9600);
        EXPECT_EQ(connection.State(), ConnectionState::Open);
    }
    EXPECT_NE(MakeSystemPlatform()->OpenPort(name), nullptr) << Describe(LastSystemError());
}

TEST(Win32Connection, AnswersArriveThroughTheWaitWhichNeverFails)
{
    REQUIRE_PORT(name, "RV_TEST_COM_PORT");
    SetSystemErrorSink(&CollectReport);
    TakeReported();
    auto host = std::make_shared<test::RecordingHost>();
    SerialConnection connection(MakeSystemPlatform(), host);
    connection.Open(name, 9600);
    ASSERT_EQ(connection.State(), ConnectionState::Open);
    // The answer to an earlier test's last query may still come in once the port is open.
    host->PumpUntilReceived(connection, 1u << 20, 200ms);
    const std::size_t stale = host->Received.size();
    FrameDecoder decoder;
    int readings = 0;
    std::size_t decoded = stale;
    for (int query = 1; query <= 100; ++query) {
        connection.Send(Query);
        ASSERT_TRUE(host->PumpUntilReceived(connection, stale + 8u * query, 3s))
            << "query " << query;
        for (; decoded < host->Received.size(); ++decoded) {
            if (decoder.FeedByte(host->Received[decoded]))
                ++readings;
        }
    }
    connection.Close();
    SetSystemErrorSink(nullptr);
    EXPECT_EQ(readings, 100);
    EXPECT_EQ(host->Received.size() - stale, 800u);
    EXPECT_TRUE(host->Faults().empty());
    // A failed wait is reported the first time it fails after a success. (A pseudo-terminal
    // refuses to raise DTR, which the open reports and goes on without.)
    for (const auto& e : TakeReported())
        EXPECT_NE(e.Call, "WaitCommEvent") << Describe(e);
}

TEST(Win32Connection, DeviceThatHangsUpBreaksTheConnectionWithOneMessage)
{
    REQUIRE_PORT(name, "RV_TEST_HANGUP_PORT");
    const std::string request = Env("RV_TEST_HANGUP_REQUEST");
    const std::string done = Env("RV_TEST_HANGUP_DONE");
    ASSERT_FALSE(request.empty() || done.empty());
    SetSystemErrorSink(&CollectReport);
    TakeReported();

    auto host = std::make_shared<test::RecordingHost>();
    SerialConnection connection(MakeSystemPlatform(), host);
    connection.Open(name, 9600);
    ASSERT_EQ(connection.State(), ConnectionState::Open);

    std::ofstream(request) << "hang up\n";
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!std::filesystem::exists(done) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(std::filesystem::exists(done)) << "the far end was not hung up";

    // The reader finds the device gone and hands it to the window, whose read reports it.
    ASSERT_TRUE(host->WaitForPosted(1, 5s));
    host->Pump(connection);
    EXPECT_EQ(host->Faults(), std::vector<ConnectionFault>{ConnectionFault::ReadFailed});
    EXPECT_EQ(connection.State(), ConnectionState::Broken);
    // No further notification: the reader has ended instead of spinning on the dead port.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(host->TotalPosts(), 1u);

    connection.Close();
    EXPECT_EQ(connection.State(), ConnectionState::Closed);
    SetSystemErrorSink(nullptr);
    const auto reported = TakeReported();
    ASSERT_FALSE(reported.empty());
    for (const auto& e : reported) {
        EXPECT_EQ(e.Port, SystemDevicePath(name));
        EXPECT_NE(e.Code, 0);
        EXPECT_FALSE(e.Reason.empty());
    }
}

} // namespace
} // namespace rv
