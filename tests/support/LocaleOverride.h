// Sets one of the user's locale settings for a test and restores it after.
#pragma once

#include <windows.h>

#include <string>

class LocaleOverride {
public:
    LocaleOverride(LCTYPE item, const wchar_t* value) : item_(item)
    {
        wchar_t old[16] = {};
        ::GetLocaleInfoW(LOCALE_USER_DEFAULT, item, old, 16);
        old_ = old;
        ::SetLocaleInfoW(LOCALE_USER_DEFAULT, item, value);
    }
    LocaleOverride(const LocaleOverride&) = delete;
    LocaleOverride& operator=(const LocaleOverride&) = delete;
    ~LocaleOverride() { ::SetLocaleInfoW(LOCALE_USER_DEFAULT, item_, old_.c_str()); }

private:
    LCTYPE item_;
    std::wstring old_;
};
