// One helper per Win32 error convention, so that a call cannot be checked the
// wrong way (RegCreateKeyEx returns its error, CreateFile sets the last error).
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

namespace win {

// The system's text for error CODE (FormatMessage), without the line break
// it ends with; "" when the system has none.
std::wstring systemMessage(DWORD code);

// A failed system call: the operation's name and the system's error number.
class Win32Error : public std::runtime_error {
public:
    Win32Error(const std::string& operation, DWORD code);
    DWORD code() const noexcept { return code_; }

private:
    DWORD code_;
};

// For calls that return their error (the registry functions).
inline void checkStatus(LSTATUS status, const char* operation)
{
    if (status != ERROR_SUCCESS)
        throw Win32Error(operation, static_cast<DWORD>(status));
}

// For calls that return FALSE and set the last error.
inline void checkLastError(BOOL ok, const char* operation)
{
    if (!ok)
        throw Win32Error(operation, ::GetLastError());
}

} // namespace win
