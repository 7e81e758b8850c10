#include "rangeview/tools/MonitorSession.h"

#include "rangeview/common/IntegerText.h"
#include "rangeview/protocol/CommandTable.h"
#include "rangeview/protocol/CommandText.h"
#include "rangeview/serial/SystemPlatform.h"
#include "RawIo.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <thread>
#include <utility>

namespace rv {

namespace {

using namespace std::chrono_literals;

// How long the end of a run waits for the reader to let go of the closed connection.
constexpr auto ReaderExitWait = 1000ms;

bool IsQuery(std::string_view text)
{
    const auto bytes = CommandTextToBytes(text);
    return bytes.size() == 3 && bytes[0] == CommandLeadByte &&
           bytes[1] == CommandCode::QueryOutput &&
           bytes[2] == CommandCheckByte(CommandCode::QueryOutput);
}

RecordingOptions RecordingOf(const MonitorOptions& options)
{
    RecordingOptions recording;
    recording.CsvPath = options.CsvPath;
    recording.RawPath = options.RawPath;
    recording.Overwrite = options.Overwrite;
    recording.CsvByteOrderMark = options.CsvByteOrderMark.value_or(CsvByteOrderMarkByDefault());
    recording.RotateEvery = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double, std::ratio<3600>>(options.RotateHours));
    return recording;
}

} // namespace

MonitorSession::MonitorSession(MonitorOptions options, std::shared_ptr<SerialPlatform> platform,
                               CliIo& io, int offThreadErrFd)
    : Options_(std::move(options)), Platform_(std::move(platform)),
      Host_(std::make_shared<MonitorHost>(io.Out, io.Err, offThreadErrFd)),
      Connection_(std::make_unique<SerialConnection>(Platform_, Host_)),
      Presenter_(std::make_unique<ConnectionPresenter>(*Connection_, *Host_)),
      Recorder_(RecordingOf(Options_))
{
    Host_->SetPresenter(Presenter_.get());
    Host_->SetReadingLimit(Options_.Count);
    Host_->SetPortLabel(SystemDevicePath(Options_.Port));
    if (Recorder_.Active())
        Host_->SetRecorder(&Recorder_);
    Recorder_.SetNotes([host = Host_.get()](const std::string& line) { host->ErrorLine(line); });
    if (Options_.SendText && IsQuery(*Options_.SendText))
        Host_->Statistics().TrackQueries();
}

MonitorSession::~MonitorSession()
{
    // A reader that outlives the session still has the host, never the presenter.
    Host_->SetPresenter(nullptr);
}

template <class F>
void MonitorSession::Guarded(F&& handler)
{
    ClearLastSystemError();
    try {
        handler();
    } catch (const std::exception& error) {
        Host_->ErrorLine(error.what());
    } catch (...) {
        Host_->ErrorLine("unexpected error");
    }
}

template <class F>
std::optional<int> MonitorSession::Checked(F&& handler)
{
    ClearLastSystemError();
    try {
        handler();
    } catch (const ConvertError& error) {
        Host_->ErrorLine(error.what());
        return 2;
    } catch (const std::exception& error) {
        Host_->ErrorLine(error.what());
        return 1;
    }
    return std::nullopt;
}

template <class F>
void MonitorSession::Send(F&& handler)
{
    const std::int32_t before = Host_->TxCount();
    const auto when = Clock::now();
    Guarded(handler);
    if (Host_->TxCount() != before) {
        Host_->Statistics().QuerySent(when);
        if (Host_->Observer() != nullptr && Host_->Statistics().TracksQueries())
            Host_->Observer()->QuerySent(when);
    }
}

std::optional<int> MonitorSession::Start()
{
    if (!Host_->Ok()) {
        Host_->ErrorLine(std::string("cannot make the notification queue: ") +
                         std::strerror(errno));
        return 1;
    }
    // A file that cannot be written fails the run before the port is touched.
    if (Recorder_.Failed()) {
        Host_->ErrorLine(Recorder_.Failure());
        Recorder_.Discard();
        return 1;
    }
    const int shownBefore = Host_->MessagesShown();
    if (const auto status = Checked([&] { Presenter_->Open(Options_.Port, Options_.BaudText); }))
        return Finish(*status);
    Link_ = Connection_->Link();

    switch (Connection_->State()) {
    case ConnectionState::Open:
        break;
    case ConnectionState::Closed:
        // The port refusing the baud rate is the one failed open the connection keeps quiet
        // about; a command line has to say why it ends.
        if (Host_->MessagesShown() == shownBefore)
            Host_->ErrorLine(Host_->PortMessage("the port refused the line settings (baud " +
                                                Options_.BaudText + ")"));
        return Finish(1);
    case ConnectionState::ConfiguredWithoutEventMask:
    case ConnectionState::OpenWithoutReader:
    case ConnectionState::Broken:
        // Nothing would ever be received; the connection has already said why.
        return Finish(1);
    }

    const auto now = Clock::now();
    Host_->MarkOpened(now);
    Recorder_.Start(now, std::chrono::system_clock::now());
    Started_ = true;
    if (Host_->Observer() != nullptr)
        Host_->Observer()->LinkUp(now);
    if (Options_.StatsEverySeconds > 0)
        NextStats_ = now + std::chrono::duration_cast<Clock::duration>(
                               std::chrono::duration<double>(Options_.StatsEverySeconds));
    if (const auto status = AfterOpen())
        return Finish(*status);
    if (const auto status = Outcome())
        return Finish(*status);
    return std::nullopt;
}

std::optional<int> MonitorSession::AfterOpen()
{
    if (Options_.SendText)
        Send([&] { Presenter_->Send(*Options_.SendText); });
    if (Options_.EveryText) {
        if (const auto status = Checked([&] { Presenter_->StartAutoSend(*Options_.EveryText); }))
            return status;
    }
    return std::nullopt;
}

std::optional<int> MonitorSession::Outcome()
{
    if (Host_->OutputFailed()) {
        std::string line = "cannot write the readings to standard output";
        if (Host_->OutputError() != 0)
            line.append(": ").append(std::strerror(Host_->OutputError()));
        Host_->ErrorLine(line);
        return 1;
    }
    if (Recorder_.Failed()) {
        Host_->ErrorLine(Recorder_.Failure());
        return 1;
    }
    if (Host_->LimitReached())
        return 0;
    if (Reopening_)
        return std::nullopt;
    switch (Connection_->State()) {
    case ConnectionState::Broken:
        // A read or write failure released the port; its notice or message is already out.
        return 1;
    case ConnectionState::Closed:
        Host_->ErrorLine(Host_->PortMessage("the connection was closed"));
        return 1;
    default:
        break;
    }
    // The reader ends when it cannot post; nothing would arrive any more.
    if (Host_->PostFailed())
        return 1;
    return std::nullopt;
}

bool MonitorSession::PortLost()
{
    if (Reopening_)
        return false;
    const ConnectionState state = Connection_->State();
    return state == ConnectionState::Broken || state == ConnectionState::Closed ||
           Host_->PostFailed();
}

void MonitorSession::BeginReopening()
{
    // What the connection said about the loss goes into the one line below.
    std::vector<std::string> why = Host_->TakeHeldMessages();
    if (Connection_->PortOpen())
        Guarded([&] { Connection_->Close(); });
    for (auto& line : Host_->TakeHeldMessages())
        why.push_back(std::move(line));
    if (Link_)
        OldLinks_.push_back(std::move(Link_));
    Link_.reset();
    Host_->Decoder().Restart();
    if (Host_->Observer() != nullptr)
        Host_->Observer()->LinkDown(Clock::now());

    std::string line = SystemDevicePath(Options_.Port) + ": port lost";
    if (!why.empty()) {
        line += " (";
        const std::string prefix = SystemDevicePath(Options_.Port) + ": ";
        for (std::size_t i = 0; i < why.size(); ++i) {
            if (i > 0)
                line += "; ";
            // The messages carry the path already; once is enough.
            line += why[i].starts_with(prefix) ? why[i].substr(prefix.size()) : why[i];
        }
        line += ")";
    }
    line += "; reopening every " + std::to_string(ReopenPeriod.count()) + " ms";
    Host_->ErrorLine(line);
    Reopening_ = true;
    NextReopen_ = Clock::now() + ReopenPeriod;
}

void MonitorSession::TryReopen()
{
    NextReopen_ = Clock::now() + ReopenPeriod;
    Host_->HoldMessages(true);
    const auto status = Checked([&] { Presenter_->Open(Options_.Port, Options_.BaudText); });
    if (!status && Connection_->State() == ConnectionState::Open) {
        Host_->HoldMessages(false);
        Host_->TakeHeldMessages();
        Reopening_ = false;
        Link_ = Connection_->Link();
        Host_->ErrorLine(SystemDevicePath(Options_.Port) + ": port back");
        if (Host_->Observer() != nullptr)
            Host_->Observer()->LinkUp(Clock::now());
        AfterOpen();
        return;
    }
    // Not back yet: whatever the open took is given back, and its messages are not news.
    if (Connection_->PortOpen())
        Guarded([&] { Connection_->Close(); });
    if (const auto link = Connection_->Link())
        OldLinks_.push_back(link);
    Host_->HoldMessages(false);
    Host_->TakeHeldMessages();
}

void MonitorSession::PrintStatistics()
{
    const auto now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - Host_->Opened()).count();
    Host_->ErrorLine("stats: " +
                     Host_->Statistics().Report(Host_->Decoder(), Started_ ? seconds : 0.0, now));
}

std::optional<MonitorSession::Clock::time_point> MonitorSession::NextWake() const
{
    std::optional<Clock::time_point> wake = Host_->NextTick();
    const auto by = [&](std::optional<Clock::time_point> t) {
        if (t)
            wake = wake ? std::min(*wake, *t) : *t;
    };
    by(Recorder_.NextDue());
    by(NextStats_);
    if (Host_->Observer() != nullptr)
        by(Host_->Observer()->NextDue());
    if (Reopening_)
        by(NextReopen_);
    return wake;
}

int MonitorSession::Loop()
{
    std::array<CommHandle, 16> handles{};
    for (;;) {
        if (Options_.Reconnect && !Host_->LimitReached() && !Host_->OutputFailed() &&
            !Recorder_.Failed() && PortLost())
            BeginReopening();
        if (const auto status = Outcome())
            return Finish(*status);

        std::optional<std::chrono::milliseconds> timeout;
        if (const auto wake = NextWake())
            timeout =
                std::max(0ms, std::chrono::ceil<std::chrono::milliseconds>(*wake - Clock::now()));
        const LoopEvents::Wake wake = Host_->Events().Wait(timeout);
        if (wake == LoopEvents::Wake::Failed) {
            Host_->ErrorLine(std::string("waiting for the port: ") + std::strerror(errno));
            return Finish(1);
        }
        if (wake == LoopEvents::Wake::Stopped)
            return Finish(0);

        if (wake == LoopEvents::Wake::Notified) {
            // With --reconnect the messages of a failing read are held, to become part of the
            // one line that says the port is lost.
            Host_->HoldMessages(Options_.Reconnect);
            const std::size_t taken = Host_->TakeNotifications(handles);
            for (std::size_t i = 0; i < taken; ++i) {
                Guarded([&] { Connection_->OnCommNotify(handles[i]); });
                // The rest belong to a connection that is about to be closed anyway.
                if (Host_->LimitReached() || Host_->OutputFailed() ||
                    Connection_->State() != ConnectionState::Open)
                    break;
            }
            Host_->HoldMessages(false);
            if (!PortLost())
                Host_->ReleaseHeldMessages();
        }

        const auto now = Clock::now();
        if (const auto tick = Host_->NextTick(); tick && *tick <= now) {
            Host_->TickTaken(now);
            if (Options_.SendText)
                Send([&] { Presenter_->Tick(*Options_.SendText); });
        }
        if (Reopening_ && now >= NextReopen_)
            TryReopen();
        Recorder_.RunDue(now);
        if (Host_->Observer() != nullptr)
            Host_->Observer()->RunDue(now, Host_->Decoder().Counts());
        if (NextStats_ && now >= *NextStats_) {
            PrintStatistics();
            const auto period = std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(Options_.StatsEverySeconds));
            *NextStats_ += period;
            if (*NextStats_ <= now)
                *NextStats_ = now + period;
        }
    }
}

int MonitorSession::Run()
{
    if (const auto status = Start())
        return *status;
    return Loop();
}

int MonitorSession::Finish(int status)
{
    if (Connection_->PortOpen())
        Guarded([&] { Connection_->Close(); });
    Host_->ReleaseHeldMessages();
    // The close does not wait for the reader (neither does the window's); waiting a little here
    // lets it drop its share of the connection before the process ends under its feet.
    if (Link_)
        OldLinks_.push_back(std::move(Link_));
    const auto deadline = Clock::now() + ReaderExitWait;
    for (auto& link : OldLinks_) {
        while (link.use_count() > 1 && Clock::now() < deadline)
            std::this_thread::sleep_for(2ms);
        link.reset();
    }
    OldLinks_.clear();

    const bool recorderFailedBefore = Recorder_.Failed();
    // A run that never got the port leaves no files behind, so that the same command can be
    // run again once the port is put right.
    if (Started_)
        Recorder_.Close();
    else
        Recorder_.Discard();
    if (!recorderFailedBefore && Recorder_.Failed()) {
        Host_->ErrorLine(Recorder_.Failure());
        status = status == 0 ? 1 : status;
    }
    if (Options_.Stats && Started_)
        PrintStatistics();
    if (Started_ && Host_->Observer() != nullptr)
        Host_->Observer()->RunEnded(Clock::now(), Host_->Decoder().Counts());
    return status;
}

} // namespace rv
