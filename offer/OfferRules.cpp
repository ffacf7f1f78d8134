#include "OfferRules.h"

#include "system/Encoding.h"
#include "system/util.h"

#include <cstdio>
#include <string>

namespace {

constexpr int kFastTicks = 50;  // below this, a coupon goes on about five ticks in eight
constexpr int kSlowTicks = 120; // below this, on about one in four; never after
constexpr ULONGLONG kTicksPerSecond = 10'000'000; // FILETIME counts 100 ns

std::wstring localeText(LCTYPE item, const wchar_t* fallback)
{
    wchar_t text[8] = {};
    return ::GetLocaleInfoW(LOCALE_USER_DEFAULT, item, text, 8) > 1 ? text : fallback;
}

ULONGLONG toTicks(const SYSTEMTIME& time)
{
    FILETIME file{};
    ::SystemTimeToFileTime(&time, &file);
    return (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

SYSTEMTIME fromTicks(ULONGLONG ticks)
{
    const FILETIME file{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME time{};
    ::FileTimeToSystemTime(&file, &time);
    return time;
}

void moveOneCoupon(CouponCounters& counters)
{
    --counters.remaining;
    ++counters.claimed;
}

} // namespace

Countdown countdownToMidnight(const SYSTEMTIME& now)
{
    const int elapsed = now.wHour * 3600 + now.wMinute * 60 + now.wSecond + (now.wMilliseconds > 0 ? 1 : 0);
    const int left = 24 * 3600 - elapsed;
    return {left / 3600 % 24, left / 60 % 60, left % 60};
}

CouponCounters& couponCounters()
{
    static CouponCounters counters;
    return counters;
}

CouponCounters tickCounters(CouponCounters& counters, const std::function<int(int)>& randomBelow)
{
    ++counters.ticks;
    const CouponCounters shown = counters;
    if (randomBelow(2) == 1 && counters.ticks < kFastTicks)
        moveOneCoupon(counters);
    else if (randomBelow(4) == 1 && counters.ticks < kSlowTicks)
        moveOneCoupon(counters);
    return shown;
}

std::wstring formatCampaignDate(const SYSTEMTIME& date)
{
    wchar_t text[16] = {};
    std::swprintf(text, 16, L"%04u/%02u/%02u", date.wYear, date.wMonth, date.wDay);
    return replaceText(text, L"/", localeText(LOCALE_SDATE, L"/"), true);
}

void campaignDates(const SYSTEMTIME& today, std::wstring& first, std::wstring& last)
{
    first = formatCampaignDate(fromTicks(toTicks(today) - 2 * 24 * 3600 * kTicksPerSecond));
    last = formatCampaignDate(today);
}

std::wstring formatNumber(double value)
{
    char text[32] = {};
    std::snprintf(text, sizeof(text), "%.15g", value);
    return replaceText(win::fromUtf8(text), L".", localeText(LOCALE_SDECIMAL, L"."), true);
}
