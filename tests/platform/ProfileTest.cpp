#include "platform/Profile.h"

#include <gtest/gtest.h>

using platform::ProfileStringFromText;

TEST(ProfileStringFromText, FollowsTheProfileRules)
{
    const std::string ini =
        "; comment\r\n"
        "[Other]\r\n"
        "PathBaseIB=wrong\r\n"
        "[ common ]\r\n"
        "  pathbaseib =  \"D:\\Data\\base.fdb\"  \r\n"
        "NameServer = 'dbhost' \r\n"
        "Empty=\r\n"
        "Inner=a \"b\" c\r\n"
        "Eq=a=b\r\n"
        "EmptyDouble=\"\"\r\n"
        "EmptySingle=''\r\n"
        "LoneQuote=\"\r\n"
        "[Common]\r\n"
        "Later=ignored\r\n";
    struct Case {
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"PathBaseIB", "D:\\Data\\base.fdb"}, {"NAMESERVER", "dbhost"}, {"Empty", ""},
        {"Inner", "a \"b\" c"},               {"Eq", "a=b"},            {"Missing", "<default>"},
        {"Later", "<default>"},               {"EmptyDouble", ""},      {"EmptySingle", ""},
        {"LoneQuote", "\""},
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
