#include "SystemErrorText.h"

#include "rangeview/common/SystemErrorText.h"
#include "rangeview/serial/SerialPlatform.h"

namespace rv::win32 {

void ReportFailure(const std::string& path, const char* call, DWORD code)
{
    ReportFailure(path, call, code, nullptr);
}

void ReportFailure(const std::string& path, const char* call, DWORD code, const char* hint)
{
    try {
        std::string reason = SystemErrorText(code);
        if (hint != nullptr) {
            // "Access is denied." goes on as "Access is denied: <hint>".
            if (!reason.empty() && reason.back() == '.')
                reason.pop_back();
            reason.append(": ").append(hint);
        }
        ReportSystemError(SystemError{path, call, static_cast<long>(code), std::move(reason)});
    } catch (...) {
        // Out of memory while describing a failure: the failure itself is still returned.
    }
}

} // namespace rv::win32
