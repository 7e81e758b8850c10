#include "rangeview/ui/SerialPorts.h"

#include <string>

#include <windows.h>

namespace rv {

namespace {

// A REG_SZ value's text without the terminating NULs it may or may not carry.
QString PortName(const std::wstring& data, DWORD bytes)
{
    auto length = static_cast<qsizetype>(bytes / sizeof(wchar_t));
    while (length > 0 && data[static_cast<std::size_t>(length - 1)] == L'\0')
        --length;
    return QString::fromWCharArray(data.data(), length);
}

} // namespace

// The registry's list of the serial ports present, in its own order. Read access is enough
// (full access to HKEY_LOCAL_MACHINE is refused to ordinary users, which would leave the list
// empty); a key that cannot be opened gives no ports.
QStringList EnumerateSerialPorts()
{
    QStringList names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &key) != ERROR_SUCCESS)
        return names;
    DWORD valueCount = 0;
    DWORD maxNameChars = 0;
    DWORD maxDataBytes = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount,
                           &maxNameChars, &maxDataBytes, nullptr, nullptr) != ERROR_SUCCESS) {
        ::RegCloseKey(key);
        return names;
    }
    std::wstring name(maxNameChars + 1, L'\0');
    std::wstring data(maxDataBytes / sizeof(wchar_t) + 1, L'\0');
    for (DWORD index = 0; index < valueCount; ++index) {
        DWORD nameChars = static_cast<DWORD>(name.size());
        DWORD dataBytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        DWORD type = 0;
        const LONG result = ::RegEnumValueW(key, index, name.data(), &nameChars, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data.data()), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        // A value that changed size since the count was taken, or that is not text, is skipped.
        if (result != ERROR_SUCCESS || type != REG_SZ)
            continue;
        names.append(PortName(data, dataBytes));
    }
    ::RegCloseKey(key);
    return names;
}

} // namespace rv
