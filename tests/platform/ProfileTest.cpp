#include "platform/Profile.h"

#include "ProfileSample.h"

#include <gtest/gtest.h>

using platform::ProfileStringFromText;

TEST(ProfileStringFromText, FollowsTheProfileRules)
{
    const std::string& ini = kSampleIni;
    struct Case {
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"PathBaseIB", "D:\\Data\\base.fdb"}, {"NAMESERVER", "dbhost"}, {"Empty", ""},
        {"Inner", "a \"b\" c"},               {"Eq", "a=b"},            {"Missing", "<default>"},
        {"Later", "<default>"},               {"EmptyDouble", ""},      {"EmptySingle", ""},
        {"LoneQuote", "\""},                  {"TypeServer", "0x1"},     {"Cyrillic", "\xC1\xE0\xE7\xE0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProfileStringFromText(ini, "Common", c.key, "<default>"), c.expected) << c.key;
    EXPECT_EQ(ProfileStringFromText(ini, "Missing", "PathBaseIB", "none"), "none");
}

TEST(ProfileStringFromText, ReadsAtMost2047Characters)
{
    const std::string ini = "[Common]\nPathBaseIB=" + std::string(3000, 'x') + "\n";
    EXPECT_EQ(ProfileStringFromText(ini, "Common", "PathBaseIB", "").size(), 2047u);
}
