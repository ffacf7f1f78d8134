#include "system/util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>

using List = std::vector<std::wstring>;

TEST(SplitToList, SplitsAtEverySeparatorAndKeepsTheRemainder)
{
    List list;
    splitToList(list, L"*.pdf|*.ofd", L'|');
    EXPECT_EQ(list, (List{L".pdf", L".ofd"}));
    splitToList(list, L"a|b|", L'|');
    EXPECT_EQ(list, (List{L"a", L"b", L""}));
    splitToList(list, L"|a", L'|');
    EXPECT_EQ(list, (List{L"", L"a"}));
    splitToList(list, L"**.pdf", L'|');
    EXPECT_EQ(list, (List{L".pdf"}));
}

TEST(SplitToList, EmptyTextLeavesTheListAsItWas)
{
    List list{L"kept"};
    splitToList(list, L"", L'|');
    EXPECT_EQ(list, (List{L"kept"}));
}

TEST(SplitAtFirst, SplitsAtTheFirstOccurrenceOnly)
{
    std::wstring before, after;
    splitAtFirst(L"setup_abc_d.exe", L'_', before, after);
    EXPECT_EQ(before, L"setup");
    EXPECT_EQ(after, L"abc_d.exe");
    splitAtFirst(L"setup.exe", L'_', before, after);
    EXPECT_EQ(before, L"setup.exe");
    EXPECT_EQ(after, L"");
}

TEST(ReplaceText, CaseRulesAndNoRescanning)
{
    EXPECT_EQ(replaceText(L"v=[VERSION] [version] [Version]", L"[Version]", L"2.0", false), L"v=2.0 2.0 2.0");
    EXPECT_EQ(replaceText(L"[VERSION] [Version]", L"[Version]", L"2.0", true), L"[VERSION] 2.0");
    // The replacement contains the pattern: it is not replaced again.
    EXPECT_EQ(replaceText(L"aXa", L"a", L"aa", true), L"aaXaa");
    EXPECT_EQ(replaceText(L"%APPDATA%\\x", L"%appdata%", L"C:\\u", false), L"C:\\u\\x");
    EXPECT_EQ(replaceText(L"abc", L"", L"z", false), L"abc");
}

TEST(SmallStringHelpers, EdgeBehaviour)
{
    EXPECT_EQ(dropLast(L"setup.exe", 4), L"setup");
    EXPECT_EQ(dropLast(L"abc", 4), L"");
    EXPECT_EQ(lastChar(L"C:\\"), L"\\");
    EXPECT_TRUE(containsText(L"https://", L"x https://y"));
    EXPECT_FALSE(containsText(L"HTTPS://", L"https://y"));
}

TEST(Folders, TrailingBackslashRules)
{
    EXPECT_EQ(getTempDir().back(), L'\\');
    EXPECT_EQ(getExeDir().back(), L'\\');
    EXPECT_EQ(getExeFileName(), L"system_tests.exe");
    EXPECT_NE(getAppDataDir().back(), L'\\');
    EXPECT_NE(getLocalAppDataDir().back(), L'\\');
    EXPECT_NE(getAppDataDir(), getLocalAppDataDir());
}

TEST(DiskFree, AnswersForTheSystemDriveAndNotForAMissingOne)
{
    int mb = -1;
    ASSERT_TRUE(getDiskFreeMB(L"C:", mb));
    EXPECT_GT(mb, 0);

    int unchanged = 7;
    EXPECT_FALSE(getDiskFreeMB(L"Q:\\no\\such\\folder", unchanged));
    EXPECT_EQ(unchanged, 7);
}

TEST(RandomBelow, StaysInRange)
{
    for (int i = 0; i < 1000; ++i) {
        const int r = randomBelow(5000);
        ASSERT_GE(r, 0);
        ASSERT_LT(r, 5000);
    }
    EXPECT_EQ(randomBelow(1), 0);
}

TEST(LoadResourceText, DecodesAndRejoinsLinesWithCrLf)
{
    std::wstring text;
    ASSERT_TRUE(loadResourceText(L"utf8bom", L"file", true, text));
    EXPECT_EQ(text, L"{\"a\":\"\u4f60\u597d\"}\r\nline2\r\n");
    ASSERT_TRUE(loadResourceText(L"UTF8PLAIN", L"FILE", true, text));
    EXPECT_EQ(text, L"{\"a\":\"\u4f60\u597d\"}\r\nline2\r\n");
    // Without the UTF-8 flag the byte-order mark decides.
    ASSERT_TRUE(loadResourceText(L"utf8bom", L"file", false, text));
    EXPECT_EQ(text, L"{\"a\":\"\u4f60\u597d\"}\r\nline2\r\n");
    ASSERT_TRUE(loadResourceText(L"utf16bom", L"file", false, text));
    EXPECT_EQ(text, L"a\u4f60\r\nb\r\n");
    ASSERT_TRUE(loadResourceText(L"ansitext", L"file", false, text));
    EXPECT_EQ(text, L"plain\r\nascii\r\n");
    ASSERT_TRUE(loadResourceText(L"emptytext", L"file", true, text));
    EXPECT_EQ(text, L"");
    EXPECT_FALSE(loadResourceText(L"nosuchresource", L"file", true, text));
}
