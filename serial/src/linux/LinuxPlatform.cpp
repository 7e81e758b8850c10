#include "rangeview/serial/SystemPlatform.h"

#include <cerrno>
#include <new>
#include <system_error>

#include "PosixPort.h"
#include "StdThread.h"
#include "rangeview/serial/CondVarEvent.h"

namespace rv {

namespace {

class LinuxPlatform final : public SerialPlatform {
public:
    std::shared_ptr<ManualResetEvent> NewEvent(bool initiallySignalled) override
    {
        try {
            return std::make_shared<CondVarEvent>(initiallySignalled);
        } catch (const std::system_error& e) {
            ReportSystemError({{}, "pthread_cond_init", e.code().value(), e.code().message()});
        } catch (...) {
            ReportSystemError(
                {{}, "pthread_cond_init", ENOMEM, std::generic_category().message(ENOMEM)});
        }
        return nullptr;
    }

    std::shared_ptr<SerialPort> OpenPort(std::string_view name) override
    {
        return posix::PosixPort::Open(SystemDevicePath(name));
    }

    std::unique_ptr<PlatformThread> StartThread(std::function<void()> body) override
    {
        return StartStdThread(std::move(body), "pthread_create");
    }
};

} // namespace

std::shared_ptr<SerialPlatform> MakeSystemPlatform()
{
    return std::make_shared<LinuxPlatform>();
}

std::string SystemDevicePath(std::string_view name)
{
    if (!name.empty() && name.front() == '/')
        return std::string(name);
    std::string path = "/dev/";
    path.append(name);
    return path;
}

} // namespace rv
