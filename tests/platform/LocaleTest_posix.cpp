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

TEST(TimeSeparator, ComesFromTheLocale)
{
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(platform::TimeSeparator(), ':');
}
