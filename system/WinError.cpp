#include "WinError.h"

#include "Encoding.h"

namespace win {

std::wstring systemMessage(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", n);
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return message;
}

Win32Error::Win32Error(const std::string& operation, DWORD code)
    : std::runtime_error(operation + " failed (" + std::to_string(code) + "): " + toUtf8(systemMessage(code))),
      code_(code)
{
}

} // namespace win
