#include "rangeview/common/SystemErrorText.h"

#include <windows.h>

namespace rv {

std::string SystemErrorText(unsigned long code)
{
    // The wide text, turned into UTF-8 here: the narrow one is in the user's code page, which
    // the log would show as garbage.
    wchar_t* wide = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&wide), 0, nullptr);
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

} // namespace rv
