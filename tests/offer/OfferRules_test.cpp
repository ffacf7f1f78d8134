#include "offer/OfferRules.h"

#include "tests/support/LocaleOverride.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

SYSTEMTIME at(WORD year, WORD month, WORD day, WORD hour = 12, WORD minute = 0, WORD second = 0, WORD ms = 0)
{
    SYSTEMTIME t{};
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    t.wMilliseconds = ms;
    return t;
}

// A random source that plays back a fixed sequence of draws.
struct Draws {
    std::deque<int> values;
    int operator()(int) { int v = values.front(); values.pop_front(); return v; }
};

} // namespace

TEST(Countdown, SpanToTheNextMidnight)
{
    const Countdown late = countdownToMidnight(at(2026, 12, 8, 23, 59, 30));
    EXPECT_EQ((std::tuple{late.hours, late.minutes, late.seconds}), (std::tuple{0, 0, 30}));
    const Countdown early = countdownToMidnight(at(2026, 12, 8, 0, 0, 1));
    EXPECT_EQ((std::tuple{early.hours, early.minutes, early.seconds}), (std::tuple{23, 59, 59}));
    const Countdown partial = countdownToMidnight(at(2026, 12, 8, 23, 59, 30, 400));
    EXPECT_EQ(partial.seconds, 29);
}

TEST(CouponCounters, ShowTheValuesBeforeEachChange)
{
    CouponCounters counters;
    Draws draws{{1}};
    const CouponCounters first = tickCounters(counters, std::ref(draws));
    EXPECT_EQ(first.remaining, 85);
    EXPECT_EQ(first.claimed, 55681);
    EXPECT_EQ(counters.remaining, 84);
    EXPECT_EQ(counters.claimed, 55682);

    Draws second{{0, 1}}; // the slower second chance
    tickCounters(counters, std::ref(second));
    EXPECT_EQ(counters.remaining, 83);
    Draws none{{0, 2}};
    tickCounters(counters, std::ref(none));
    EXPECT_EQ(counters.remaining, 83);
    EXPECT_EQ(counters.ticks, 3);
}

TEST(CouponCounters, SlowDownAndStop)
{
    CouponCounters counters;
    counters.ticks = 49; // the next tick is the 50th: only the slow chance is left
    Draws fast{{1, 0}};
    tickCounters(counters, std::ref(fast));
    EXPECT_EQ(counters.remaining, 85);
    Draws slow{{1, 1}};
    tickCounters(counters, std::ref(slow));
    EXPECT_EQ(counters.remaining, 84);

    counters.ticks = 119;
    Draws never{{1, 1}};
    tickCounters(counters, std::ref(never));
    EXPECT_EQ(counters.remaining, 84);
}

TEST(CampaignDates, TwoDaysBackAcrossMonthAndYear)
{
    std::wstring first, last;
    campaignDates(at(2027, 1, 1), first, last);
    EXPECT_EQ(first, L"2026/12/30");
    EXPECT_EQ(last, L"2027/01/01");

    LocaleOverride dash(LOCALE_SDATE, L"-");
    campaignDates(at(2024, 3, 1), first, last);
    EXPECT_EQ(first, L"2024-02-28");
}

TEST(FormatNumber, ShortestFormWithTheUsersSeparator)
{
    EXPECT_EQ(formatNumber(99.9 - 60), L"39.9");
    EXPECT_EQ(formatNumber(30), L"30");
    EXPECT_EQ(formatNumber(0.1 + 0.2), L"0.3");
    LocaleOverride comma(LOCALE_SDECIMAL, L",");
    EXPECT_EQ(formatNumber(99.9), L"99,9");
}
