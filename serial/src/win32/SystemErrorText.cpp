#include "SystemErrorText.h"

#include "rangeview/serial/SerialPlatform.h"

namespace rv::win32 {

std::string ErrorText(DWORD code)
{
    // The wide text, turned into UTF-8 here: the narrow one is in the user's code page, which
    // the log would show as garbage.
    wchar_t* wide = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&wide), 0, nullptr);
    std::string text;
    if (length > 0 && wide != nullptr) {
        const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr,
                                                0, nullptr, nullptr);
        if (bytes > 0) {
            text.resize(static_cast<std::size_t>(bytes));
            ::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), text.data(), bytes,
                                  nullptr, nullptr);
        }
    }
    if (wide != nullptr)
        ::LocalFree(wide);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    if (text.empty())
        text = "error " + std::to_string(code);
    return text;
}

void ReportFailure(const std::string& path, const char* call, DWORD code)
{
    ReportFailure(path, call, code, nullptr);
}

void ReportFailure(const std::string& path, const char* call, DWORD code, const char* hint)
{
    try {
        std::string reason = ErrorText(code);
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
