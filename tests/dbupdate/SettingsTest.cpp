#include "dbupdate/Settings.h"

#include "TestSupport.h"
#include "dbupdate/Uglobdb.h"
#include "platform/Profile.h"

#include <gtest/gtest.h>

using platform::ProfileStringFromText;

TEST(ProfileInteger, ReadsDecimalAndHexadecimal)
{
    struct Case {
        const char* value;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"1", 1},      {"0x10", 16}, {"0X1f", 31}, {"-5", -5}, {"+7", 7},     {"abc", 0},        {"12abc", 0},
        {"0x", 0},     {"", 0},      {" 3 ", 3},   {"\"4\"", 4}, {"0xFFFFFFFF", -1}, {"2147483648", 0},
    };
    for (const auto& c : cases) {
        const std::string ini = std::string("[Common]\nTypeServer=") + c.value + "\n";
        EXPECT_EQ(dbupdate::ProfileInteger(ProfileStringFromText(ini, "Common", "TypeServer", ""), 0), c.expected)
            << c.value;
    }
    EXPECT_EQ(dbupdate::ProfileInteger("", 0), 0);
}

TEST(ReadSettings, MissingFileGivesDefaultsAndTheDatabaseBesideTheUpdater)
{
    testsupport::TempDir dir;
    const auto settings = dbupdate::ReadSettings(dir / "cnfg.ini", dir.Path());
    EXPECT_EQ(settings.pathBaseIB, dir / "norvexlib.fdb");
    EXPECT_EQ(settings.nameServer, "");
    EXPECT_EQ(settings.typeServer, 0);
    EXPECT_EQ(settings.connectProtocol, 0);
}

// The connection string Connect builds from the settings, case by case.
TEST(ReadSettings, GiveTheConnectionString)
{
    struct Case {
        const char* ini;
        const char* expected;  // "@" stands for the database beside the updater
    };
    const Case cases[] = {
        {"", "@"},
        {"[Common]\nTypeServer=1\nNameServer=  dbhost  \nPathBaseIB=D:\\Data\\base.fdb\n", "dbhost:D:\\Data\\base.fdb"},
        {"[Common]\nTypeServer=1\nNameServer=\nPathBaseIB=/data/base.fdb\n", "/data/base.fdb"},
        {"[Common]\nTypeServer=0\nNameServer=dbhost\nPathBaseIB=/data/base.fdb\n", "/data/base.fdb"},
        {"[Common]\nTypeServer=0x10\nNameServer=dbhost\nPathBaseIB=/d.fdb\n", "dbhost:/d.fdb"},
        {"[Common]\nTypeServer=abc\nNameServer=dbhost\nPathBaseIB=/d.fdb\n", "/d.fdb"},
        {"[Common]\nTypeServer=1\nNameServer=dbhost\n", "dbhost:@"},
        {"[Common]\nTypeServer=1\nNameServer=dbhost\nConnectProtocol=2\nPathBaseIB=/d.fdb\n", "dbhost:/d.fdb"},
        // Quotes around nothing are an empty value.
        {"[Common]\nTypeServer=1\nNameServer=''\nPathBaseIB=\"\"\n", "@"},
        {"[Common]\nTypeServer=1\nNameServer=\"\"\nPathBaseIB=''\n", "@"},
    };
    testsupport::TempDir dir;
    for (const auto& c : cases) {
        testsupport::WriteFile(dir / "cnfg.ini", c.ini);
        const auto settings = dbupdate::ReadSettings(dir / "cnfg.ini", dir.Path());
        std::string expected = c.expected;
        if (const auto at = expected.find('@'); at != std::string::npos)
            expected.replace(at, 1, dir / "norvexlib.fdb");
        EXPECT_EQ(dbupdate::BuildConnectionString(dbupdate::ServerForConnect(settings), settings.pathBaseIB), expected)
            << c.ini;
    }
}
