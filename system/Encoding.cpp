#include "Encoding.h"

#include <windows.h>

namespace win {
namespace {

std::wstring widen(UINT codePage, std::string_view text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int n = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), size, out.data(), n);
    return out;
}

std::string narrow(UINT codePage, std::wstring_view text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int n = ::WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

} // namespace

std::wstring fromUtf8(std::string_view text) { return widen(CP_UTF8, text); }
std::string toUtf8(std::wstring_view text) { return narrow(CP_UTF8, text); }
std::wstring fromAnsi(std::string_view text) { return widen(CP_ACP, text); }
std::string toAnsi(std::wstring_view text) { return narrow(CP_ACP, text); }

} // namespace win
