#include "platform/Locale.h"

#include <gtest/gtest.h>
#include <windows.h>

TEST(SortTextList, IgnoresCaseInTheUsersLocaleAndBreaksTiesByBytes)
{
    std::vector<std::string> list = {"b.sql", "A.sql", "a.sql", "122.010.sql", "122.002.SQL", "B.sql"};
    platform::SortTextList(list);
    const std::vector<std::string> expected = {"122.002.SQL", "122.010.sql", "A.sql", "a.sql", "B.sql", "b.sql"};
    EXPECT_EQ(list, expected);
}

TEST(TimeSeparator, IsTheLocalesOwn)
{
    char separator[8] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, separator, sizeof separator);
    EXPECT_EQ(platform::TimeSeparator(), separator[0] ? separator[0] : ':');
}
