#include "Registration.h"

#include "Decimal.h"
#include "Encoding.h"
#include "Registry.h"
#include "WinError.h"

#include <string>
#include <vector>

namespace {

constexpr wchar_t kFrameworkKey[] = L"Software\\Microsoft\\.NETFramework";
// The 32-bit view in both builds, where the vendor's 32-bit installers look:
// the framework's setup registers its versions there as well as in the
// 64-bit view.
constexpr REGSAM kFrameworkView = KEY_WOW64_32KEY;
constexpr wchar_t kVersionPrefix = L'v';
constexpr size_t kVersionDigits = 3;

wchar_t userDecimalSeparator()
{
    wchar_t separator[4] = {};
    return ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 4) > 1 ? separator[0] : L'.';
}

// A decimal number such as "4" or "4.5". Version texts always use a point;
// the user's own decimal separator is accepted as well.
bool parseVersionNumber(std::wstring_view text, double& value)
{
    while (!text.empty() && text.front() == L' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == L' ')
        text.remove_suffix(1);
    const wchar_t separator = userDecimalSeparator();
    std::string ascii;
    for (wchar_t c : text) {
        if (c == separator)
            c = L'.';
        if (c > 0x7F)
            return false;
        ascii.push_back(static_cast<char>(c));
    }
    if (ascii.empty())
        return false;
    return parseDecimal(ascii, true, value);
}

} // namespace

bool isDotNetInstalled(const std::wstring& required, DotNetProblem& problem, std::wstring& error)
{
    problem = DotNetProblem::None;
    error.clear();
    if (required.empty()) {
        problem = DotNetProblem::NoVersionRequired;
        return false;
    }
    double wanted = 0;
    if (!parseVersionNumber(required, wanted)) {
        problem = DotNetProblem::VersionNotANumber;
        return false;
    }

    try {
        win::RegKey key;
        win::checkStatus(reg::createKey(HKEY_LOCAL_MACHINE, kFrameworkKey, KEY_ALL_ACCESS | kFrameworkView, key),
                         reg::kCreateKeyOp);
        std::vector<std::wstring> names;
        win::checkStatus(reg::subkeyNames(key.get(), names), reg::kListKeysOp);
        for (const std::wstring& name : names) {
            if (name.empty() || name.front() != kVersionPrefix)
                continue;
            double found = 0;
            if (!parseVersionNumber(std::wstring_view(name).substr(1, kVersionDigits), found))
                found = 0;
            if (found >= wanted)
                return true;
        }
    } catch (const win::Win32Error& failure) {
        problem = DotNetProblem::RegistryError;
        error = win::fromUtf8(failure.what());
    }
    return false;
}
