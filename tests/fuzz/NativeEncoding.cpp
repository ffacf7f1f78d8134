// win::fromUtf8 and friends for a native build, where wchar_t holds a whole
// code point: UTF-8 in and out, malformed sequences read as U+FFFD (as
// MultiByteToWideChar does), the "ANSI" code page taken as Latin-1.
#include "system/Encoding.h"

namespace win {

std::wstring fromUtf8(std::string_view text)
{
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead < 0x80 ? 0 : lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
        char32_t code = extra == 0 ? lead : extra == 1 ? lead & 0x1F : extra == 2 ? lead & 0x0F : lead & 0x07;
        bool ok = extra >= 0 && i + extra < text.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            ok = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (ok && (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
            ok = false;
        out += ok ? static_cast<wchar_t>(code) : L'\uFFFD';
        i += ok ? extra + 1 : 1;
    }
    return out;
}

std::string toUtf8(std::wstring_view text)
{
    std::string out;
    for (const wchar_t c : text) {
        const auto code = static_cast<char32_t>(c);
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

std::wstring fromAnsi(std::string_view text) { return std::wstring(text.begin(), text.end()); }

std::string toAnsi(std::wstring_view text)
{
    std::string out;
    for (const wchar_t c : text)
        out += c < 0x100 ? static_cast<char>(c) : '?';
    return out;
}

} // namespace win
