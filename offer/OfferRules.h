// The retention offer's rules that do not depend on its window: the countdown
// to midnight, the coupon counters, the campaign dates and how numbers print.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

struct Countdown {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
};

// The span from NOW (local time) to the start of the next day.
Countdown countdownToMidnight(const SYSTEMTIME& now);

// Coupons left and claimed: they live for the whole run, so a second offer
// window in the same run carries on where the first stopped.
struct CouponCounters {
    int remaining = 85;
    int claimed = 55681;
    int ticks = 0;
};

// The process-wide counters.
CouponCounters& couponCounters();

// One countdown tick: counts it, hands back the counters to show (the values
// before this tick's change), then maybe moves one coupon from remaining to
// claimed. RANDOMBELOW(n) draws from [0, n).
CouponCounters tickCounters(CouponCounters& counters, const std::function<int(int)>& randomBelow);

// "yyyy/mm/dd" with the user's date separator in place of "/".
std::wstring formatCampaignDate(const SYSTEMTIME& date);
// The campaign's dates: two days before TODAY, and TODAY.
void campaignDates(const SYSTEMTIME& today, std::wstring& first, std::wstring& last);

// Shortest general decimal form, at most 15 significant digits, no trailing
// zeros, with the user's decimal separator: 99.9 - 60 prints "39.9".
std::wstring formatNumber(double value);
