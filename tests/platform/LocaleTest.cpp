#include "platform/Locale.h"

#include <gtest/gtest.h>

TEST(FormatTimeOfDay, GivesHoursMinutesSecondsOfTheDayFraction)
{
    EXPECT_EQ(platform::FormatTimeOfDay(0.0, ':'), "00:00:00");
    EXPECT_EQ(platform::FormatTimeOfDay((3600.0 + 2 * 60 + 3) / 86400.0, ':'), "01:02:03");
    EXPECT_EQ(platform::FormatTimeOfDay((23 * 3600.0 + 59 * 60 + 59) / 86400.0, '.'), "23.59.59");
    EXPECT_EQ(platform::FormatTimeOfDay(1.5, ':'), "12:00:00");  // the time-of-day part only
}
