// Text at the program's edges: UTF-8 (configuration, service answers) and the
// ANSI code page (batch scripts, archive passwords) to and from UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace win {

std::wstring fromUtf8(std::string_view text);
std::string toUtf8(std::wstring_view text);
std::wstring fromAnsi(std::string_view text);
std::string toAnsi(std::wstring_view text);

} // namespace win
