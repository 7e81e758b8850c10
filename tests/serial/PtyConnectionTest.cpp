#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <thread>

#include "PtyPair.h"
#include "RecordingHost.h"
#include "rangeview/protocol/CommandText.h"
#include "rangeview/serial/SystemPlatform.h"
#include "rangeview/serial/SerialConnection.h"

namespace rv::test {
namespace {

using namespace std::chrono_literals;

const std::vector<std::uint8_t> Frame{0x5A, 0x5A, 0x01, 0x03, 0x04, 0xD2, 0x03, 0x91};
const std::vector<std::uint8_t> Query{0xA5, 0x45, 0xEA};

std::chrono::microseconds ProcessCpuTime()
{
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return std::chrono::seconds(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           std::chrono::microseconds(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
}

class PtyConnectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Pty.Ok());
        BaselineThreads = Threads();
    }
    void TearDown() override
    {
        Conn.reset();
        EXPECT_TRUE(ThreadsDropTo(BaselineThreads, 2s)) << "a reader thread was left behind";
    }

    std::shared_ptr<SerialPlatform> Platform = MakeSystemPlatform();
    std::shared_ptr<RecordingHost> Host = std::make_shared<RecordingHost>();
    std::unique_ptr<SerialConnection> Conn = std::make_unique<SerialConnection>(Platform, Host);
    PtyPair Pty;
    std::size_t BaselineThreads = 0;
};

TEST_F(PtyConnectionTest, EmptyPortNameFailsToOpen)
{
    Conn->Open("", 9600);
    EXPECT_EQ(Host->Faults(), std::vector<ConnectionFault>{ConnectionFault::PortUnavailable});
    EXPECT_EQ(Conn->State(), ConnectionState::Closed);
}

TEST_F(PtyConnectionTest, ReceivesAndSends)
{
    Conn->Open(Pty.Path, 115200);
    ASSERT_EQ(Conn->State(), ConnectionState::Open);

    // A frame split over two writes arrives complete and in order.
    ASSERT_TRUE(Pty.Write({Frame.begin(), Frame.begin() + 3}));
    std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(Pty.Write({Frame.begin() + 3, Frame.end()}));
    ASSERT_TRUE(Host->PumpUntilReceived(*Conn, Frame.size(), 2s));
    EXPECT_EQ(Host->Received, Frame);

    Conn->Send(Query);
    EXPECT_EQ(Pty.Read(3, 1s), Query);
    EXPECT_EQ(Conn->TxCount(), 3);
    EXPECT_TRUE(Host->Faults().empty());
}

TEST_F(PtyConnectionTest, SecondConnectionToTheSamePortFails)
{
    Conn->Open(Pty.Path, 9600);
    ASSERT_EQ(Conn->State(), ConnectionState::Open);
    auto otherHost = std::make_shared<RecordingHost>();
    SerialConnection other(Platform, otherHost);
    other.Open(Pty.Path, 9600);
    EXPECT_EQ(otherHost->Faults(), std::vector<ConnectionFault>{ConnectionFault::PortUnavailable});

    // Once the first lets go, the port opens again.
    Conn->Close();
    other.Open(Pty.Path, 9600);
    EXPECT_EQ(other.State(), ConnectionState::Open);
    other.Close();
}

TEST_F(PtyConnectionTest, AnOpenWithoutBaudRateReleasesThePort)
{
    EXPECT_TRUE(Conn->Open(Pty.Path, std::nullopt));
    Conn->Open(Pty.Path, 9600);
    EXPECT_EQ(Conn->State(), ConnectionState::Open);
}

TEST_F(PtyConnectionTest, HangupIsReportedOnceThenTheLinkIsIdle)
{
    Conn->Open(Pty.Path, 115200);
    ASSERT_EQ(Conn->State(), ConnectionState::Open);
    Pty.CloseMaster();
    ASSERT_TRUE(Host->WaitForPosted(1, 2s));
    Host->Pump(*Conn);
    EXPECT_EQ(Host->Faults(), std::vector<ConnectionFault>{ConnectionFault::ReadFailed});
    EXPECT_EQ(Conn->State(), ConnectionState::Broken);
    EXPECT_TRUE(ThreadsDropTo(BaselineThreads, 2s)) << "reader still running after the failure";

    // Nothing keeps running: no more notifications and (almost) no CPU.
    const auto cpu0 = ProcessCpuTime();
    std::this_thread::sleep_for(200ms);
    EXPECT_LT(ProcessCpuTime() - cpu0, 20ms);
    EXPECT_EQ(Host->Pump(*Conn), 0);
    EXPECT_EQ(Host->Faults().size(), 1u);

    Conn->Send(Query);
    EXPECT_EQ(Host->Faults().back(), ConnectionFault::WriteFailed);
    Conn->Close();
    EXPECT_EQ(Conn->State(), ConnectionState::Closed);

    // A restarted device (a new terminal) receives again.
    PtyPair again;
    ASSERT_TRUE(again.Ok());
    Conn->Open(again.Path, 115200);
    ASSERT_TRUE(again.Write(Frame));
    EXPECT_TRUE(Host->PumpUntilReceived(*Conn, Frame.size(), 2s));
}

TEST_F(PtyConnectionTest, WriteThatNeverDrainsFailsWithinItsBound)
{
    Conn->Open(Pty.Path, 4000000);
    ASSERT_EQ(Conn->State(), ConnectionState::Open);
    const std::vector<std::uint8_t> block(TransmitBufferSize, 0xAA);
    const auto bound = SerialConnection::WriteBound(TransmitBufferSize, 4000000);
    for (int i = 0; i < 200 && Host->Faults().empty(); ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        Conn->Send(block);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, bound + 500ms);
    }
    EXPECT_EQ(Host->Faults(), std::vector<ConnectionFault>{ConnectionFault::WriteFailed});
    EXPECT_EQ(Conn->State(), ConnectionState::Broken);
    Conn->Close();
    EXPECT_EQ(Conn->State(), ConnectionState::Closed);
}

TEST_F(PtyConnectionTest, ManyOpenCloseCyclesWhileDataFlowsLeaveNothingBehind)
{
    std::atomic<bool> stop{false};
    std::thread device([&] {
        while (!stop.load()) {
            Pty.Write(Frame); // dropped while the terminal's queue is full
            std::this_thread::sleep_for(1ms);
        }
    });
    const auto threadsBefore = Threads();
    const auto fdsBefore = OpenDescriptors();

    std::size_t received = 0;
    for (int cycle = 0; cycle < 200; ++cycle) {
        Conn->Open(Pty.Path, 115200);
        ASSERT_EQ(Conn->State(), ConnectionState::Open) << "cycle " << cycle;
        if (cycle % 20 == 0) {
            Host->Received.clear();
            ASSERT_TRUE(Host->PumpUntilReceived(*Conn, Frame.size(), 2s)) << "cycle " << cycle;
            received += Host->Received.size();
        } else {
            Host->Pump(*Conn);
        }
        Conn->Close(); // sometimes with a notification still queued
        Host->Pump(*Conn); // late notifications do nothing
    }
    stop.store(true);
    device.join();

    EXPECT_GT(received, 0u);
    EXPECT_TRUE(Host->Faults().empty());
    EXPECT_TRUE(ThreadsDropTo(threadsBefore - 1, 2s)) << Threads() << " threads";
    EXPECT_EQ(OpenDescriptors(), fdsBefore);
}

// --- The reader ends with its connection --------------------------------------------------

TEST_F(PtyConnectionTest, CloseAndDestructionWaitForTheReader)
{
    for (int cycle = 0; cycle < 20; ++cycle) {
        Conn->Open(Pty.Path, 115200);
        ASSERT_EQ(Conn->State(), ConnectionState::Open);
        ASSERT_TRUE(Pty.Write(Frame));
        ASSERT_TRUE(Host->WaitForPosted(1, 2s));
        Conn->Close(); // with a notification still queued
        // No waiting here: the reader has ended and dropped its hold on the host once close has
        // returned. The kernel lists a joined thread a moment longer, hence the short grace.
        EXPECT_EQ(Host.use_count(), 2) << "cycle " << cycle;
        EXPECT_TRUE(ThreadsDropTo(BaselineThreads, 100ms)) << "cycle " << cycle;
        Host->Pump(*Conn);
    }

    Conn->Open(Pty.Path, 115200);
    ASSERT_EQ(Conn->State(), ConnectionState::Open);
    Conn.reset(); // the window going away with the port open
    EXPECT_EQ(Host.use_count(), 1);
    EXPECT_TRUE(ThreadsDropTo(BaselineThreads, 100ms));
}

} // namespace
} // namespace rv::test
