#pragma once

#include <string>

#include <windows.h>

namespace rv::win32 {

// Reports a failed Win32 call on the port at `path` with the error code it left
// (GetLastError() at the failure, passed in so that nothing in between can change it).
void ReportFailure(const std::string& path, const char* call, DWORD code);
// The same with what to check after the system's text ("<text>: <hint>"); no hint: none.
void ReportFailure(const std::string& path, const char* call, DWORD code, const char* hint);

} // namespace rv::win32
