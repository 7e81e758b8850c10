// rangeview-sim: a simulated ranging module on a pseudo-terminal or on standard output.

#include "rangeview/tools/Capture.h"
#include "rangeview/tools/DistanceSignal.h"
#include "rangeview/tools/RecordFile.h"
#include "rangeview/tools/SensorSimulator.h"
#include "rangeview/tools/SimOptions.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

volatile std::sig_atomic_t StopSignal = 0;
volatile std::sig_atomic_t ReportRequested = 0;

extern "C" void OnStop(int signal)
{
    StopSignal = signal;
}

extern "C" void OnReport(int)
{
    ReportRequested = 1;
}

void Log(const std::string& line)
{
    std::fprintf(stderr, "rangeview-sim: %s\n", line.c_str());
}

void ReportSent(const rv::FrameOutputQueue& queue)
{
    std::fprintf(stderr, "sent %llu frames (%llu bad checksum, %llu stray 5A)\n",
                 static_cast<unsigned long long>(queue.FramesSent()),
                 static_cast<unsigned long long>(queue.BadFramesSent()),
                 static_cast<unsigned long long>(queue.StrayBytesSent()));
}

std::string ErrnoText(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

// The pseudo-terminal the host opens. The simulator does not keep the slave open itself, so
// the master reports a hangup exactly while no host has the port open.
struct Pty {
    int Master = -1;
    std::string SlavePath;
    std::string LinkPath;

    void Open(const std::string& link)
    {
        int slave = -1;
        if (openpty(&Master, &slave, nullptr, nullptr, nullptr) != 0)
            throw rv::ToolError(ErrnoText("cannot open a pseudo-terminal"));
        const char* name = ptsname(Master);
        if (name == nullptr)
            throw rv::ToolError(ErrnoText("ptsname"));
        SlavePath = name;
        // Raw, so that bytes pass unchanged even to a host that does not configure the port.
        termios settings{};
        if (tcgetattr(slave, &settings) == 0) {
            cfmakeraw(&settings);
            cfsetspeed(&settings, B115200);
            tcsetattr(slave, TCSANOW, &settings);
        }
        close(slave);
        fcntl(Master, F_SETFL, fcntl(Master, F_GETFL) | O_NONBLOCK);
        fcntl(Master, F_SETFD, FD_CLOEXEC);

        if (!link.empty()) {
            struct stat info { };
            if (lstat(link.c_str(), &info) == 0) {
                if (!S_ISLNK(info.st_mode))
                    throw rv::ToolError("--link: '" + link + "' exists and is not a symlink");
                unlink(link.c_str());
            }
            if (symlink(SlavePath.c_str(), link.c_str()) != 0)
                throw rv::ToolError(ErrnoText(("cannot create link '" + link + "'").c_str()));
            LinkPath = link;
        }
    }

    void Close()
    {
        if (Master >= 0)
            close(Master);
        Master = -1;
        if (!LinkPath.empty()) {
            // Only our own link: another simulator may have taken the name since.
            char target[PATH_MAX];
            const ssize_t size = readlink(LinkPath.c_str(), target, sizeof target - 1);
            if (size > 0 && std::string(target, static_cast<std::size_t>(size)) == SlavePath)
                unlink(LinkPath.c_str());
            LinkPath.clear();
        }
    }

    ~Pty() { Close(); }
};

// Plays a capture back with its recorded timing, counted from when the host opened the port. A
// host that closes the port pauses the replay; the next one continues it.
class Replay {
public:
    Replay(const std::string& path, double speed) : Path_(path), Reader_(path), Speed_(speed)
    {
        Advance();
    }

    bool Finished() const { return !Next_; }
    // Why the replay ends before the end of the file, as a line to log; "" when it does not.
    std::string EndNote() const
    {
        if (!Damage_.empty())
            return rv::CaptureDamageNote(Damage_, "replayed");
        if (Reader_.Truncated())
            return "note: " + rv::CaptureCutShortNote(Path_, "replayed");
        return "";
    }
    std::uint64_t Records() const { return Records_; }
    std::uint64_t Bytes() const { return Bytes_; }

    void Begin(Clock::time_point now) { Base_ = now - Scaled(LastUs_); }

    // Queues every record that is due and fits; returns when the next one is due, or nullopt
    // when that depends on the host reading (or nothing is left).
    std::optional<Clock::time_point> Feed(Clock::time_point now, rv::FrameOutputQueue& queue)
    {
        while (Next_) {
            const auto due = Base_ + Scaled(Next_->TimeUs);
            if (Speed_ > 0 && due > now)
                return due;
            if (queue.RoomLeft() == 0)
                return std::nullopt;
            queue.PushBytes(Next_->Bytes);
            ++Records_;
            Bytes_ += Next_->Bytes.size();
            LastUs_ = Next_->TimeUs;
            Advance();
        }
        return std::nullopt;
    }

private:
    // A damaged record ends the replay as it ends decode: what came before it is played.
    void Advance()
    {
        try {
            Next_ = Reader_.Next();
        } catch (const rv::ToolError& error) {
            Next_.reset();
            Damage_ = error.what();
        }
    }

    Clock::duration Scaled(std::uint64_t us) const
    {
        if (Speed_ <= 0)
            return Clock::duration::zero();
        // The slowest pace stretches the longest capture past what the clock can count; such a
        // wait is as good as forever, so it stops at a century.
        constexpr std::chrono::duration<double, std::micro> longest(
            static_cast<double>(rv::CaptureFormat::MaxTimeUs));
        const std::chrono::duration<double, std::micro> scaled(static_cast<double>(us) / Speed_);
        return std::chrono::duration_cast<Clock::duration>(std::min(scaled, longest));
    }

    std::string Path_;
    rv::CaptureReader Reader_;
    double Speed_;
    std::optional<rv::CaptureRecord> Next_;
    std::string Damage_;
    Clock::time_point Base_{};
    std::uint64_t LastUs_ = 0;
    std::uint64_t Records_ = 0;
    std::uint64_t Bytes_ = 0;
};

// --sent-log: every byte written to the host, as a capture, times counted from the start. It
// replaces a file of that name, never what a link there points to, and takes the name once it
// holds a record; it is handed to storage at least once a second while bytes are sent.
class SentLog {
public:
    SentLog(const std::string& path, Clock::time_point start)
        : File_("--sent-log", path, rv::RecordFile::Naming::Replace,
                rv::CaptureFormat::EncodeHeader()),
          Start_(start), LastSync_(start)
    {
        if (File_.Failed())
            throw rv::ToolError(File_.Failure());
    }

    void Add(Clock::time_point when, std::span<const std::uint8_t> bytes)
    {
        File_.Write(rv::CaptureFormat::EncodeRecordHead(when - Start_, bytes.size()), bytes);
        // The first record gives the file its name.
        if (!File_.Placed())
            Sync(when);
    }
    // When the bytes written last are due on storage; none while none wait.
    std::optional<Clock::time_point> SyncDue() const
    {
        if (!File_.Dirty())
            return std::nullopt;
        return LastSync_ + 1s;
    }
    void Sync(Clock::time_point now)
    {
        LastSync_ = now;
        if (File_.Sync() && !File_.Placed())
            File_.Place(File_.Path());
    }
    // Closes the file; throws ToolError when any of it could not be written.
    void Close()
    {
        if (File_.Sync() && File_.HoldsData())
            File_.Place(File_.Path());
        File_.Close();
        if (File_.Failed())
            throw rv::ToolError(File_.Failure());
    }

private:
    rv::RecordFile File_;
    Clock::time_point Start_;
    Clock::time_point LastSync_;
};

bool HostConnected(int master)
{
    pollfd probe{master, POLLIN, 0};
    return poll(&probe, 1, 0) >= 0 && (probe.revents & POLLHUP) == 0;
}

int Run(const rv::SimOptions& options)
{
    rv::SimulatorSettings settings;
    settings.Mode = static_cast<std::uint8_t>(options.Mode);
    settings.AutomaticOutput = !options.QueryMode;
    settings.BadChecksumEvery = options.BadChecksumEvery;
    settings.StrayEvery = options.StrayEvery;
    if (options.Frames)
        settings.FrameLimit = *options.Frames;
    std::optional<Replay> replay;
    if (!options.ReplayPath.empty()) {
        replay.emplace(options.ReplayPath, options.Speed);
        // Nothing of the simulation is sent: the capture is the whole output.
        settings.AutomaticOutput = false;
        settings.FrameLimit = 0;
    }
    rv::SensorSimulator sim(rv::DistanceSignal::Parse(options.Signal, options.Seed), settings);
    rv::FrameOutputQueue queue;
    std::mt19937_64 rng(options.Seed);

    // Signals are blocked except while waiting in ppoll, so none is missed between checks.
    sigset_t handled;
    sigemptyset(&handled);
    sigaddset(&handled, SIGTERM);
    sigaddset(&handled, SIGINT);
    sigaddset(&handled, SIGUSR1);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &handled, &waitMask);
    struct sigaction action { };
    action.sa_handler = OnStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    action.sa_handler = OnReport;
    sigaction(SIGUSR1, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // A --sent-log past the file-size limit fails with the system's reason, not a silent death.
    std::signal(SIGXFSZ, SIG_IGN);

    Pty pty;
    int outFd = STDOUT_FILENO;
    bool connected = true;
    if (!options.Stdout) {
        pty.Open(options.LinkPath);
        outFd = pty.Master;
        connected = false;
        std::printf("%s\n", pty.SlavePath.c_str());
        std::fflush(stdout);
        Log("module on " + pty.SlavePath +
            (pty.LinkPath.empty() ? std::string() : " (link " + pty.LinkPath + ")"));
    }

    const auto start = Clock::now();
    std::optional<SentLog> sentLog;
    if (!options.SentLogPath.empty())
        sentLog.emplace(options.SentLogPath, start);
    std::optional<Clock::time_point> replayWake;
    bool replayReported = false;
    std::optional<Clock::time_point> hangupAt;
    if (options.HangupAfter > 0)
        hangupAt = start + std::chrono::duration_cast<Clock::duration>(
                               std::chrono::duration<double>(options.HangupAfter));
    const auto interval = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / options.RateHz));
    // --burst: what 115200 baud carries (11520 bytes/s), handed over every 100 ms.
    constexpr auto burstPeriod = 100ms;
    constexpr std::size_t burstBytes = 1152;
    std::size_t burstCredit = 0;

    auto nextFrame = start;
    auto nextWrite = start;
    bool hangup = false;
    std::uint8_t readBuffer[256];
    std::vector<std::string> log;

    for (;;) {
        if (StopSignal != 0)
            break;
        if (ReportRequested != 0) {
            ReportRequested = 0;
            ReportSent(queue);
        }
        auto now = Clock::now();
        if (hangupAt && now >= *hangupAt) {
            hangup = true;
            break;
        }
        if (options.Stdout && sim.FrameLimitReached() && queue.Empty() &&
            (!replay || replay->Finished()))
            break;
        if (const auto due = sentLog ? sentLog->SyncDue() : std::nullopt; due && now >= *due)
            sentLog->Sync(now);

        if (!connected && HostConnected(pty.Master)) {
            connected = true;
            Log("host opened the port");
            if (replay)
                replay->Begin(now);
        }
        if (replay && connected) {
            replayWake = replay->Feed(now, queue);
            if (replay->Finished() && !replayReported) {
                replayReported = true;
                if (const std::string note = replay->EndNote(); !note.empty())
                    Log(note);
                Log("replay queued: " + std::to_string(replay->Records()) + " records, " +
                    std::to_string(replay->Bytes()) + " bytes");
            }
        }

        const bool streaming = connected && sim.AutomaticOutput() && !sim.FrameLimitReached();
        if (!streaming) {
            nextFrame = std::max(nextFrame, now);
        } else if (options.Burst) {
            if (now >= nextFrame) {
                burstCredit += burstBytes;
                while (burstCredit >= rv::SensorSimulator::FrameSize && !sim.FrameLimitReached()) {
                    sim.EmitFrame(queue);
                    burstCredit -= rv::SensorSimulator::FrameSize;
                }
                nextFrame += burstPeriod;
                if (now - nextFrame > 1s)
                    nextFrame = now + burstPeriod;
            }
        } else {
            // Catch up after short delays, but not after a long stall.
            for (int due = 0; now >= nextFrame && !sim.FrameLimitReached() && due < 1000; ++due) {
                sim.EmitFrame(queue);
                nextFrame += interval;
            }
            if (now - nextFrame > 1s)
                nextFrame = now + interval;
        }

        const bool wantWrite = connected && !queue.Empty() && now >= nextWrite;
        pollfd fd{-1, 0, 0};
        if (!options.Stdout && connected)
            fd = {pty.Master, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0};
        else if (options.Stdout && wantWrite)
            fd = {outFd, POLLOUT, 0};

        std::optional<Clock::time_point> wake;
        auto wakeBy = [&](Clock::time_point t) { wake = wake ? std::min(*wake, t) : t; };
        if (connected && sim.AutomaticOutput() && !sim.FrameLimitReached())
            wakeBy(nextFrame);
        if (connected && !queue.Empty() && !wantWrite)
            wakeBy(nextWrite);
        if (replay && connected && replayWake)
            wakeBy(*replayWake);
        if (!connected)
            wakeBy(now + 50ms);
        if (hangupAt)
            wakeBy(*hangupAt);
        if (const auto due = sentLog ? sentLog->SyncDue() : std::nullopt)
            wakeBy(*due);
        timespec timeout{};
        if (wake) {
            const auto wait = std::max(Clock::duration::zero(), *wake - now);
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
        }

        const int ready = ppoll(&fd, fd.fd >= 0 ? 1 : 0, wake ? &timeout : nullptr, &waitMask);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            throw rv::ToolError(ErrnoText("poll"));
        }
        if (ready == 0 || fd.fd < 0)
            continue;

        bool lost = false;
        if (fd.revents & POLLIN) {
            const ssize_t got = read(fd.fd, readBuffer, sizeof readBuffer);
            if (got > 0) {
                sim.ReceiveFromHost(std::span(readBuffer, static_cast<std::size_t>(got)), queue,
                                    log);
                for (const auto& line : log)
                    Log(line);
                log.clear();
            } else if (got < 0 && errno == EIO) {
                lost = true;
            }
        }
        if (!lost && (fd.revents & POLLOUT) && !queue.Empty()) {
            const auto pending = queue.Pending();
            std::size_t size = std::min<std::size_t>(pending.size(), 4096);
            if (options.Split)
                size = std::uniform_int_distribution<std::size_t>(
                    1, std::min<std::size_t>(size, 6))(rng);
            const ssize_t written = write(fd.fd, pending.data(), size);
            if (written > 0 && sentLog)
                sentLog->Add(Clock::now(), pending.first(static_cast<std::size_t>(written)));
            if (written > 0) {
                queue.Consume(static_cast<std::size_t>(written));
                if (options.Split && !options.Burst)
                    nextWrite =
                        Clock::now() +
                        std::chrono::microseconds(std::uniform_int_distribution<int>(0, 2000)(rng));
            } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
                lost = true;
            }
        }
        if (lost || (fd.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            if (options.Stdout) {
                Log("the reader closed standard output");
                break;
            }
            connected = false;
            queue.Clear();
            Log("host closed the port");
        }
    }

    if (hangup) {
        Log("hanging up");
        if (options.Stdout)
            close(STDOUT_FILENO);
    }
    pty.Close();
    ReportSent(queue);
    if (replay)
        std::fprintf(stderr, "replayed %llu records (%llu bytes)\n",
                     static_cast<unsigned long long>(replay->Records()),
                     static_cast<unsigned long long>(replay->Bytes()));
    if (sentLog)
        sentLog->Close();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string_view> args(argv + 1, argv + argc);
    rv::SimOptions options;
    try {
        options = rv::ParseSimOptions(args);
    } catch (const rv::ToolError& error) {
        std::fprintf(stderr, "rangeview-sim: %s (see --help)\n", error.what());
        return 2;
    }
    if (options.Help) {
        std::fwrite(rv::SimUsage().data(), 1, rv::SimUsage().size(), stdout);
        return 0;
    }
    try {
        return Run(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "rangeview-sim: %s\n", error.what());
        return 1;
    }
}
