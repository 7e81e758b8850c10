#include "rangeview/serial/SystemPlatform.h"

#include "StdThread.h"
#include "Win32Event.h"
#include "Win32Port.h"

namespace rv {

namespace {

class Win32Platform final : public SerialPlatform {
public:
    std::shared_ptr<ManualResetEvent> NewEvent(bool initiallySignalled) override
    {
        return win32::Win32Event::Create(initiallySignalled);
    }

    std::shared_ptr<SerialPort> OpenPort(std::string_view name) override
    {
        try {
            return win32::Win32Port::Open(SystemDevicePath(name));
        } catch (...) {
            return nullptr;
        }
    }

    std::unique_ptr<PlatformThread> StartThread(std::function<void()> body) override
    {
        return StartStdThread(std::move(body), "CreateThread");
    }
};

} // namespace

std::shared_ptr<SerialPlatform> MakeSystemPlatform()
{
    return std::make_shared<Win32Platform>();
}

// Every port name goes behind the device namespace prefix, which also reaches COM10 and above.
std::string SystemDevicePath(std::string_view name)
{
    std::string path = "\\\\.\\";
    path.append(name);
    return path;
}

} // namespace rv
