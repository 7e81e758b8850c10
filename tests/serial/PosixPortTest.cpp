#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <future>
#include <mutex>
#include <vector>

#include "KernelTermios.h"
#include "PtyPair.h"
#include "rangeview/serial/SystemPlatform.h"
#include "support/TempDir.h"

namespace rv::test {
namespace {

using namespace std::chrono_literals;

class PosixPortTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Pty.Ok()); }

    std::shared_ptr<SerialPort> OpenConfigured(std::uint32_t baud = 115200)
    {
        auto port = Platform->OpenPort(Pty.Path);
        EXPECT_NE(port, nullptr);
        if (port) {
            EXPECT_TRUE(port->SetCommState({baud, 8, NoParity, OneStopBit}));
            EXPECT_TRUE(port->SetCommMask(EvRxChar));
        }
        return port;
    }

    // Starts a wait on another thread; the future gives the mask, or -1 if the wait failed.
    static std::future<std::int64_t> StartWait(const std::shared_ptr<SerialPort>& port)
    {
        return std::async(std::launch::async, [port] {
            IoRecord record;
            std::uint32_t mask = 0;
            return port->WaitCommEvent(mask, record) ? std::int64_t{mask} : std::int64_t{-1};
        });
    }

    std::shared_ptr<SerialPlatform> Platform = MakeSystemPlatform();
    PtyPair Pty;
};

TEST(SystemDevicePathTest, NamesMapToDevicePaths)
{
    EXPECT_EQ(SystemDevicePath("/dev/pts/3"), "/dev/pts/3");
    EXPECT_EQ(SystemDevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SystemDevicePath("COM1"), "/dev/COM1");
    EXPECT_EQ(SystemDevicePath(""), "/dev/");
}

TEST_F(PosixPortTest, OpenRefusesWhatIsNotAnOpenableTerminal)
{
    EXPECT_EQ(Platform->OpenPort(""), nullptr);
    EXPECT_EQ(Platform->OpenPort("/nonexistent/tty"), nullptr);
    EXPECT_EQ(Platform->OpenPort("/dev/null"), nullptr);
    EXPECT_EQ(Platform->OpenPort(std::string(Pty.Path) + std::string(1, '\0') + "x"), nullptr);
}

TEST_F(PosixPortTest, PortIsExclusiveUntilReleased)
{
    const auto fdsBefore = OpenDescriptors();
    auto first = Platform->OpenPort(Pty.Path);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Platform->OpenPort(Pty.Path), nullptr);
    first->Close();
    EXPECT_TRUE(first->IsReleased());
    auto second = Platform->OpenPort(Pty.Path);
    EXPECT_NE(second, nullptr);
    second.reset();
    first.reset();
    EXPECT_EQ(OpenDescriptors(), fdsBefore);
}

TEST_F(PosixPortTest, LineSettingsAreRawEightNoneOneAndKeepHardwareFlowControl)
{
    termios before{};
    ASSERT_EQ(::tcgetattr(Pty.Slave, &before), 0);
    before.c_cflag |= CRTSCTS | PARENB | CSTOPB;
    before.c_iflag |= IXON | IXOFF | ICRNL;
    before.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(::tcsetattr(Pty.Slave, TCSANOW, &before), 0);

    auto port = OpenConfigured(9600);
    termios after{};
    ASSERT_EQ(::tcgetattr(Pty.Slave, &after), 0);
    EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(after.c_cflag & PARENB);
    EXPECT_FALSE(after.c_cflag & CSTOPB);
    EXPECT_TRUE(after.c_cflag & CRTSCTS);
    EXPECT_TRUE(after.c_iflag & IXOFF);
    EXPECT_FALSE(after.c_iflag & IXON) << "0x11/0x13 in frames would be swallowed";
    EXPECT_FALSE(after.c_iflag & ICRNL);
    EXPECT_FALSE(after.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(after.c_oflag & OPOST);
    EXPECT_EQ(::cfgetospeed(&after), static_cast<speed_t>(B9600));

    LineSettings read;
    ASSERT_TRUE(port->GetCommState(read));
    EXPECT_EQ(read.BaudRate, 9600u);
    EXPECT_EQ(read.ByteSize, 8);
    EXPECT_EQ(read.Parity, NoParity);
    EXPECT_EQ(read.StopBits, OneStopBit);
}

TEST_F(PosixPortTest, AnyIntegerBaudIsSetAndNonsenseIsRefused)
{
    auto port = Platform->OpenPort(Pty.Path);
    ASSERT_NE(port, nullptr);
    for (std::uint32_t baud : {250000u, 31250u, 115200u, 1u}) {
        ASSERT_TRUE(port->SetCommState({baud, 8, NoParity, OneStopBit})) << baud;
        LineSettings read;
        ASSERT_TRUE(port->GetCommState(read));
        EXPECT_EQ(read.BaudRate, baud);
    }
    EXPECT_FALSE(port->SetCommState({0, 8, NoParity, OneStopBit}));
    EXPECT_FALSE(port->SetCommState({0x80000000u, 8, NoParity, OneStopBit}));
    EXPECT_FALSE(port->SetCommState({9600, 9, NoParity, OneStopBit}));
}

// --- What the port is left as ------------------------------------------------------------

bool SameSettings(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::equal(a.c_cc, a.c_cc + NCCS, b.c_cc) &&
           ::cfgetispeed(&a) == ::cfgetispeed(&b) && ::cfgetospeed(&a) == ::cfgetospeed(&b);
}

TEST_F(PosixPortTest, CloseRestoresTheSettingsFoundAtOpen)
{
    // A terminal as a login shell would leave it: cooked, echoing, XON/XOFF, carrier watched.
    termios cooked{};
    ASSERT_EQ(::tcgetattr(Pty.Slave, &cooked), 0);
    cooked.c_iflag |= IXON | ICRNL;
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_oflag |= OPOST;
    cooked.c_cflag &= ~static_cast<tcflag_t>(CLOCAL);
    cooked.c_cc[VMIN] = 4;
    ::cfsetspeed(&cooked, B4800);
    ASSERT_EQ(::tcsetattr(Pty.Slave, TCSANOW, &cooked), 0);
    termios before{};
    ASSERT_EQ(::tcgetattr(Pty.Slave, &before), 0);

    for (std::uint32_t baud : {115200u, 250000u}) {
        auto port = OpenConfigured(baud);
        ASSERT_TRUE(port);
        termios during{};
        ASSERT_EQ(::tcgetattr(Pty.Slave, &during), 0);
        ASSERT_FALSE(SameSettings(before, during));
        port->Close();
        termios after{};
        ASSERT_EQ(::tcgetattr(Pty.Slave, &after), 0);
        EXPECT_TRUE(SameSettings(before, after)) << baud;
        std::uint32_t in = 0;
        std::uint32_t out = 0;
        ASSERT_TRUE(ReadKernelSpeeds(Pty.Slave, in, out));
        EXPECT_EQ(in, 4800u) << baud;
        EXPECT_EQ(out, 4800u) << baud;
    }

    // A custom speed found at open comes back too.
    ASSERT_TRUE(SetKernelSpeeds(Pty.Slave, 31250, 31250));
    OpenConfigured(9600)->Close();
    std::uint32_t in = 0;
    std::uint32_t out = 0;
    ASSERT_TRUE(ReadKernelSpeeds(Pty.Slave, in, out));
    EXPECT_EQ(in, 31250u);
    EXPECT_EQ(out, 31250u);
}

TEST_F(PosixPortTest, InputAndOutputSpeedsAreBothSetAndChecked)
{
    std::uint32_t in = 0;
    std::uint32_t out = 0;
    {
        auto port = OpenConfigured(250000);
        ASSERT_TRUE(ReadKernelSpeeds(Pty.Slave, in, out));
        EXPECT_EQ(in, 250000u);
        EXPECT_EQ(out, 250000u);
        for (std::uint32_t baud : {9600u, 115200u, 31250u, 9600u}) {
            ASSERT_TRUE(port->SetCommState({baud, 8, NoParity, OneStopBit}));
            ASSERT_TRUE(ReadKernelSpeeds(Pty.Slave, in, out));
            EXPECT_EQ(in, baud);
            EXPECT_EQ(out, baud);
        }
    }
    // Another program left the input speed apart from the output speed.
    ASSERT_TRUE(SetKernelSpeeds(Pty.Slave, 250000, 9600));
    auto port = OpenConfigured(9600);
    ASSERT_TRUE(ReadKernelSpeeds(Pty.Slave, in, out));
    EXPECT_EQ(in, 9600u);
    EXPECT_EQ(out, 9600u);
}

TEST_F(PosixPortTest, EachArrivalCompletesOneWaitAndEarlierOnesAreRemembered)
{
    auto port = OpenConfigured();
    auto wait = StartWait(port);
    EXPECT_EQ(wait.wait_for(50ms), std::future_status::timeout);
    ASSERT_TRUE(Pty.Write({1, 2}));
    ASSERT_EQ(wait.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(wait.get(), EvRxChar);

    // Bytes that came while nobody waited complete the next wait at once...
    ASSERT_TRUE(Pty.Write({3}));
    std::this_thread::sleep_for(20ms);
    wait = StartWait(port);
    ASSERT_EQ(wait.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(wait.get(), EvRxChar);

    // ...but bytes already reported do not, even while still queued.
    wait = StartWait(port);
    EXPECT_EQ(wait.wait_for(100ms), std::future_status::timeout);
    std::uint32_t errors = 0;
    CommStatus status;
    ASSERT_TRUE(port->ClearCommError(errors, status));
    EXPECT_EQ(status.InQueue, 3u);

    // A mask change completes the pending wait with an empty mask.
    ASSERT_TRUE(port->SetCommMask(0));
    ASSERT_EQ(wait.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(wait.get(), 0);
    // With no events armed, a wait cannot be started.
    IoRecord record;
    std::uint32_t mask = 0;
    EXPECT_FALSE(port->WaitCommEvent(mask, record));
}

TEST_F(PosixPortTest, AQuietLineIsNotDelayedAndASteadyStreamIsReportedAtABoundedRate)
{
    using Clock = std::chrono::steady_clock;
    auto port = OpenConfigured();
    IoRecord record;
    std::uint32_t mask = 0;
    // After a quiet spell a wait that finds a byte there returns at once (the fastest of a few
    // tries, as a busy machine may be slow; the first, which also takes up the arming, is not
    // counted: its wake-up would end any pause early).
    auto fastest = Clock::duration::max();
    for (int i = 0; i < 6; ++i) {
        std::this_thread::sleep_for(50ms);
        ASSERT_TRUE(Pty.Write({1}));
        std::this_thread::sleep_for(5ms);
        const auto t0 = Clock::now();
        ASSERT_TRUE(port->WaitCommEvent(mask, record));
        fastest = i == 0 ? fastest : std::min(fastest, Clock::now() - t0);
    }
    EXPECT_LT(fastest, 1ms);

    // A byte every 0.1 ms costs at most a report per millisecond, each read as the window does.
    std::atomic<bool> streaming{true};
    std::thread writer([&] {
        for (; streaming.load(); std::this_thread::sleep_for(100us))
            Pty.Write({2});
    });
    std::uint8_t buf[4096];
    int reports = 0;
    const auto start = Clock::now();
    while (Clock::now() - start < 300ms && port->WaitCommEvent(mask, record) &&
           port->Read(buf, record))
        ++reports;
    const auto took = Clock::now() - start;
    streaming = false;
    writer.join();
    EXPECT_GT(reports, 0);
    EXPECT_LE(reports, took / 1ms + 1);

    // A pause between reports ends early when the port is released.
    ASSERT_TRUE(Pty.Write({3}));
    auto wait = StartWait(port);
    port->Close();
    ASSERT_EQ(wait.wait_for(2s), std::future_status::ready);
}

TEST_F(PosixPortTest, ReleaseCompletesAPendingWaitAndLaterOnesFail)
{
    auto port = OpenConfigured();
    auto wait = StartWait(port);
    ASSERT_EQ(wait.wait_for(50ms), std::future_status::timeout);
    port->Close();
    ASSERT_EQ(wait.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(wait.get(), 0);
    IoRecord record;
    std::uint32_t mask = 0;
    EXPECT_FALSE(port->WaitCommEvent(mask, record));
    EXPECT_FALSE(port->SetCommMask(EvRxChar));
    std::uint8_t buf[4];
    EXPECT_FALSE(port->Read(buf, record));
    port->Close(); // a second release does nothing
}

TEST_F(PosixPortTest, ReadTakesWhatIsQueuedWithoutWaiting)
{
    auto port = OpenConfigured();
    std::uint8_t buf[16] = {};
    IoRecord record;
    ASSERT_TRUE(port->Read(buf, record));
    EXPECT_EQ(record.BytesTransferred, 0u);

    ASSERT_TRUE(Pty.Write({0x5A, 0x5A, 0x0A, 0x0D, 0x11, 0x13})); // no translation, no flow stop
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(port->Read(buf, record));
    ASSERT_EQ(record.BytesTransferred, 6u);
    EXPECT_EQ(std::vector<std::uint8_t>(buf, buf + 6),
              (std::vector<std::uint8_t>{0x5A, 0x5A, 0x0A, 0x0D, 0x11, 0x13}));
}

TEST_F(PosixPortTest, PurgeDiscardsReceivedBytes)
{
    auto port = OpenConfigured();
    ASSERT_TRUE(Pty.Write({1, 2, 3}));
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(port->Purge(PurgeRxAbort | PurgeRxClear));
    std::uint32_t errors = 0;
    CommStatus status;
    ASSERT_TRUE(port->ClearCommError(errors, status));
    EXPECT_EQ(status.InQueue, 0u);
}

TEST_F(PosixPortTest, WriteCompletesAndAHeldBackWriteExpires)
{
    auto port = OpenConfigured();
    const std::vector<std::uint8_t> cmd{0xA5, 0x45, 0xEA};
    IoRecord record;
    ASSERT_EQ(port->StartWrite(cmd, record), WriteStart::Completed);
    EXPECT_EQ(record.BytesTransferred, 3u);
    EXPECT_EQ(Pty.Read(3, 1s), cmd);

    // Nobody reads the other end: the terminal's queues fill, a write pends and finally expires.
    const std::vector<std::uint8_t> block(4096, 0x55);
    bool expired = false;
    auto took = std::chrono::steady_clock::duration{};
    for (int i = 0; i < 1000 && !expired; ++i) {
        if (port->StartWrite(block, record) != WriteStart::Pending)
            continue;
        const auto t0 = std::chrono::steady_clock::now();
        expired = !port->FinishWrite(record, 100ms);
        took = std::chrono::steady_clock::now() - t0;
    }
    ASSERT_TRUE(expired);
    EXPECT_GE(took, 90ms);
    EXPECT_LT(took, 1s);
}

TEST_F(PosixPortTest, VanishedDeviceIsOneArrivalAndThenAReadFailure)
{
    auto port = OpenConfigured();
    auto wait = StartWait(port);
    ASSERT_EQ(wait.wait_for(50ms), std::future_status::timeout);
    Pty.CloseMaster();
    ASSERT_EQ(wait.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(wait.get(), EvRxChar);

    std::uint32_t errors = 0;
    CommStatus status;
    ASSERT_TRUE(port->ClearCommError(errors, status));
    EXPECT_GE(status.InQueue, 1u);
    std::uint8_t buf[16];
    IoRecord record;
    EXPECT_FALSE(port->Read(buf, record));

    // No further arrivals: the next wait blocks instead of spinning.
    wait = StartWait(port);
    EXPECT_EQ(wait.wait_for(100ms), std::future_status::timeout);
    port->Close();
    ASSERT_EQ(wait.wait_for(2s), std::future_status::ready);
}

// --- The system's reason for a failure --------------------------------------------------------

class SystemReasonTest : public PosixPortTest {
protected:
    void SetUp() override
    {
        PosixPortTest::SetUp();
        ClearLastSystemError();
        SetSystemErrorSink(&Record);
        Recorded().clear();
    }
    void TearDown() override { SetSystemErrorSink(nullptr); }

    static std::vector<SystemError>& Recorded()
    {
        static std::vector<SystemError> errors;
        return errors;
    }
    static std::mutex& RecordMutex()
    {
        static std::mutex m;
        return m;
    }
    static void Record(const SystemError& error)
    {
        std::lock_guard lock(RecordMutex());
        Recorded().push_back(error);
    }
    static bool Contains(const std::string& text, const std::string& part)
    {
        return text.find(part) != std::string::npos;
    }
};

TEST_F(SystemReasonTest, FailedOpenKeepsPathCallAndReason)
{
    TempDir dir;
    const std::string file = dir.Path + "/not-a-port";
    std::ofstream(file) << "x";
    EXPECT_EQ(Platform->OpenPort(file), nullptr);
    EXPECT_EQ(LastSystemError().Port, file);
    EXPECT_EQ(LastSystemError().Call, "isatty");
    EXPECT_EQ(LastSystemError().Code, ENOTTY);
    EXPECT_TRUE(Contains(LastSystemError().Reason, "not a terminal")) << LastSystemError().Reason;
    EXPECT_EQ(Describe(LastSystemError()), file + ": isatty: " + LastSystemError().Reason);

    const std::string missing = dir.Path + "/ttyUSB9";
    EXPECT_EQ(Platform->OpenPort(missing), nullptr);
    EXPECT_EQ(LastSystemError().Port, missing);
    EXPECT_EQ(LastSystemError().Call, "open");
    EXPECT_EQ(LastSystemError().Code, ENOENT);
    EXPECT_TRUE(Contains(LastSystemError().Reason, "No such file or directory"));

    // The bare prefix an empty port list gives.
    EXPECT_EQ(Platform->OpenPort(""), nullptr);
    EXPECT_EQ(LastSystemError().Port, "/dev/");

    // Each failure reached the sink as well, in order.
    ASSERT_EQ(Recorded().size(), 3u);
    EXPECT_EQ(Recorded()[0].Port, file);
    EXPECT_EQ(Recorded()[1].Port, missing);
}

TEST_F(SystemReasonTest, PortHeldByAnotherOpenIsReportedAsInUse)
{
    auto first = Platform->OpenPort(Pty.Path);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(LastSystemError().Call, "");
    EXPECT_EQ(Platform->OpenPort(Pty.Path), nullptr);
    EXPECT_EQ(LastSystemError().Port, Pty.Path);
    // Refused by the exclusive flag (EBUSY at open) or, for root, by the lock.
    EXPECT_TRUE(LastSystemError().Code == EBUSY || LastSystemError().Code == EWOULDBLOCK)
        << LastSystemError().Code;
    EXPECT_TRUE(Contains(LastSystemError().Reason, "in use by another program"))
        << LastSystemError().Reason;
}

TEST_F(SystemReasonTest, PermissionDeniedNamesTheDialoutGroup)
{
    TempDir dir;
    const std::string file = dir.Path + "/ttyS9";
    std::ofstream(file) << "x";
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
    ASSERT_EQ(::chmod(dir.Path.c_str(), 0755), 0);
    // Root is never refused: try as an unprivileged user in a child process.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        const bool refused = MakeSystemPlatform()->OpenPort(file) == nullptr;
        const SystemError& e = LastSystemError();
        ::_exit(refused && e.Call == "open" && e.Code == EACCES && e.Port == file &&
                        Contains(e.Reason, "Permission denied: add the user to the dialout group")
                    ? 0
                    : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "cannot drop privileges here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(SystemReasonTest, ReadAfterHangUpAndRefusedSettingsAreReported)
{
    auto port = OpenConfigured();
    EXPECT_FALSE(port->SetCommState({0, 8, NoParity, OneStopBit}));
    EXPECT_EQ(LastSystemError().Port, Pty.Path);
    EXPECT_EQ(LastSystemError().Code, EINVAL);

    ClearLastSystemError();
    Pty.CloseMaster();
    std::this_thread::sleep_for(20ms);
    std::uint32_t errors = 0;
    CommStatus status;
    ASSERT_TRUE(port->ClearCommError(errors, status));
    std::uint8_t buf[16];
    IoRecord record;
    EXPECT_FALSE(port->Read(buf, record));
    EXPECT_EQ(LastSystemError().Port, Pty.Path);
    EXPECT_EQ(LastSystemError().Call, "read");
    EXPECT_TRUE(Contains(LastSystemError().Reason, "hung up")) << LastSystemError().Reason;
}

TEST_F(SystemReasonTest, LastErrorBelongsToTheThreadThatFailed)
{
    std::thread([this] { EXPECT_EQ(Platform->OpenPort("/nonexistent/tty"), nullptr); }).join();
    EXPECT_EQ(LastSystemError().Call, ""); // this thread has seen no failure
    std::lock_guard lock(RecordMutex());
    ASSERT_EQ(Recorded().size(), 1u); // the sink hears every thread
    EXPECT_EQ(Recorded()[0].Port, "/nonexistent/tty");
}

} // namespace
} // namespace rv::test
