#include "platform/Locale.h"

#include <clocale>
#include <gtest/gtest.h>

TEST(SortTextList, IgnoresCaseAndBreaksTiesByBytes)
{
    std::setlocale(LC_ALL, "C.UTF-8");
    std::vector<std::string> list = {"b.sql", "A.sql", "a.sql", "122.010.sql", "122.002.SQL", "B.sql"};
    platform::SortTextList(list);
    const std::vector<std::string> expected = {"122.002.SQL", "122.010.sql", "A.sql", "a.sql", "B.sql", "b.sql"};
    EXPECT_EQ(list, expected);
}

TEST(SortTextList, FoldsCyrillicCase)
{
    std::setlocale(LC_ALL, "C.UTF-8");
    std::vector<std::string> list = {"Звіт.fr3", "акт.fr3", "Акт2.fr3"};
    platform::SortTextList(list);
    const std::vector<std::string> expected = {"акт.fr3", "Акт2.fr3", "Звіт.fr3"};
    EXPECT_EQ(list, expected);
}

TEST(FormatTimeOfDay, GivesHoursMinutesSecondsOfTheDayFraction)
{
    EXPECT_EQ(platform::FormatTimeOfDay(0.0, ':'), "00:00:00");
    EXPECT_EQ(platform::FormatTimeOfDay((3600.0 + 2 * 60 + 3) / 86400.0, ':'), "01:02:03");
    EXPECT_EQ(platform::FormatTimeOfDay((23 * 3600.0 + 59 * 60 + 59) / 86400.0, '.'), "23.59.59");
    EXPECT_EQ(platform::FormatTimeOfDay(1.5, ':'), "12:00:00");  // the time-of-day part only
}

TEST(TimeSeparator, ComesFromTheLocale)
{
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(platform::TimeSeparator(), ':');
}
