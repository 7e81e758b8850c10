#include "StdThread.h"

#include <cerrno>
#include <system_error>
#include <thread>

#include "rangeview/serial/CondVarEvent.h"

namespace rv {

namespace {

// std::thread cannot join with a time limit; the body's end is signalled by an event instead,
// and the join proper follows it at once.
class StdThread final : public PlatformThread {
public:
    // Throws when no thread can be started.
    explicit StdThread(std::function<void()> body) : Ended_(std::make_shared<CondVarEvent>(false))
    {
        Thread_ = std::thread([body = std::move(body), ended = Ended_]() mutable {
            try {
                body();
            } catch (...) {
                // An exception must not end the program from a background thread.
            }
            // What the body holds goes on this thread, before the joiner hears of the end.
            body = nullptr;
            ended->Set();
        });
    }
    ~StdThread() override
    {
        if (Thread_.joinable())
            Thread_.detach();
    }
    StdThread(const StdThread&) = delete;
    StdThread& operator=(const StdThread&) = delete;

    bool Join(std::chrono::milliseconds bound) override
    {
        if (!Thread_.joinable())
            return true;
        if (Ended_->Wait(bound) != WaitResult::Signalled)
            return false;
        Thread_.join();
        return true;
    }

private:
    std::thread Thread_;
    const std::shared_ptr<CondVarEvent> Ended_;
};

} // namespace

std::unique_ptr<PlatformThread> StartStdThread(std::function<void()> body, const char* createCall)
{
    try {
        return std::make_unique<StdThread>(std::move(body));
    } catch (const std::system_error& e) {
        ReportSystemError({{}, createCall, e.code().value(), e.code().message()});
    } catch (...) {
        ReportSystemError({{}, createCall, ENOMEM, std::generic_category().message(ENOMEM)});
    }
    return nullptr;
}

} // namespace rv
