#include "rangeview/tools/MonitorSession.h"

#include "rangeview/common/IntegerText.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <thread>
#include <utility>

namespace rv {

namespace {

using Clock = MonitorHost::Clock;
using namespace std::chrono_literals;

// How long the end of a run waits for the reader to let go of the closed connection.
constexpr auto ReaderExitWait = 1000ms;

} // namespace

MonitorSession::MonitorSession(MonitorOptions options, std::shared_ptr<SerialPlatform> platform,
                               CliIo& io, int offThreadErrFd)
    : Options_(std::move(options)),
      Platform_(std::move(platform)),
      Host_(std::make_shared<MonitorHost>(io.Out, io.Err, offThreadErrFd)),
      Connection_(std::make_unique<SerialConnection>(Platform_, Host_))
{
    Host_->SetReadingLimit(Options_.Count);
}

MonitorSession::~MonitorSession() = default;

template <class F>
void MonitorSession::Guarded(F&& handler)
{
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

std::optional<int> MonitorSession::Start()
{
    if (!Host_->Ok()) {
        Host_->ErrorLine(std::string("cannot make the notification queue: ") +
                         std::strerror(errno));
        return 1;
    }
    const int shownBefore = Host_->MessagesShown();
    if (const auto status =
            Checked([&] { Connection_->BitBtn1Click(Options_.Port, Options_.BaudText); }))
        return Finish(*status);
    Link_ = Connection_->Link();

    switch (Connection_->State()) {
    case ConnectionState::Open:
        break;
    case ConnectionState::Closed:
        // The port refusing the baud rate is the one failed open the connection keeps quiet
        // about; a command line has to say why it ends.
        if (Host_->MessagesShown() == shownBefore)
            Host_->ErrorLine("the port refused the line settings (baud " + Options_.BaudText +
                             ")");
        return Finish(1);
    case ConnectionState::ConfiguredWithoutEventMask:
    case ConnectionState::OpenWithoutReader:
    case ConnectionState::Broken:
        // Nothing would ever be received; the connection has already said why.
        return Finish(1);
    }

    Host_->MarkOpened(Clock::now());
    if (Options_.SendText)
        Guarded([&] { Connection_->Button2Click(*Options_.SendText); });
    if (Options_.EveryText) {
        if (const auto status =
                Checked([&] { Connection_->Button4Click(*Options_.EveryText); }))
            return Finish(*status);
    }
    if (const auto status = Outcome())
        return Finish(*status);
    return std::nullopt;
}

std::optional<int> MonitorSession::Outcome()
{
    if (Host_->OutputFailed()) {
        Host_->ErrorLine("cannot write the readings to standard output");
        return 1;
    }
    if (Host_->LimitReached())
        return 0;
    switch (Connection_->State()) {
    case ConnectionState::Broken:
        // A read or write failure released the port; its notice or message is already out.
        return 1;
    case ConnectionState::Closed:
        Host_->ErrorLine("the connection was closed");
        return 1;
    default:
        break;
    }
    // The reader ends when it cannot post; nothing would arrive any more.
    if (Host_->PostFailed())
        return 1;
    return std::nullopt;
}

int MonitorSession::Loop()
{
    std::array<CommHandle, 16> handles{};
    for (;;) {
        if (const auto status = Outcome())
            return Finish(*status);

        std::optional<std::chrono::milliseconds> timeout;
        if (const auto tick = Host_->NextTick())
            timeout = std::max(0ms, std::chrono::ceil<std::chrono::milliseconds>(*tick -
                                                                                 Clock::now()));
        const LoopEvents::Wake wake = Host_->Events().Wait(timeout);
        if (wake == LoopEvents::Wake::Failed) {
            Host_->ErrorLine(std::string("waiting for the port: ") + std::strerror(errno));
            return Finish(1);
        }
        if (wake == LoopEvents::Wake::Stopped)
            return Finish(0);

        if (wake == LoopEvents::Wake::Notified) {
            const std::size_t taken = Host_->TakeNotifications(handles);
            for (std::size_t i = 0; i < taken; ++i) {
                Guarded([&] { Connection_->OnCommNotify(handles[i]); });
                // The rest belong to a connection that is about to be closed anyway.
                if (Host_->LimitReached() || Host_->OutputFailed() ||
                    Connection_->State() != ConnectionState::Open)
                    break;
            }
        }

        if (const auto tick = Host_->NextTick(); tick && *tick <= Clock::now()) {
            Host_->TickTaken(Clock::now());
            if (Options_.SendText)
                Guarded([&] { Connection_->Timer1Timer(*Options_.SendText); });
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
        Guarded([&] { Connection_->Button1Click(); });
    // The close does not wait for the reader (neither does the window's); waiting a little here
    // lets it drop its share of the connection before the process ends under its feet.
    if (Link_) {
        const auto deadline = Clock::now() + ReaderExitWait;
        while (Link_.use_count() > 1 && Clock::now() < deadline)
            std::this_thread::sleep_for(2ms);
        Link_.reset();
    }
    return status;
}

} // namespace rv
