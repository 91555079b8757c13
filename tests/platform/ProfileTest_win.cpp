#include "platform/Profile.h"

#include "ProfileSample.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

// cnfg.ini is read through GetPrivateProfileStringA on Windows and by the
// updater's own reader elsewhere: both give the same settings.
TEST(ReadProfileString, TheSystemAndTheOwnReaderAgree)
{
    const std::string& ini = kSampleIni;
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "cnfg.ini", ini);
    for (const char* key : {"PathBaseIB", "NAMESERVER", "TypeServer", "Empty", "Inner", "Eq", "EmptyDouble", "EmptySingle", "LoneQuote",
                            "Cyrillic", "Missing",
                            "Later"}) {
        EXPECT_EQ(platform::ReadProfileString(dir / "cnfg.ini", "Common", key, "<default>"),
                  platform::ProfileStringFromText(ini, "Common", key, "<default>"))
            << key;
    }
    EXPECT_EQ(platform::ReadProfileString(dir / "cnfg.ini", "Missing", "PathBaseIB", "none"), "none");
    EXPECT_EQ(platform::ReadProfileString(dir / "missing.ini", "Common", "PathBaseIB", "none"), "none");
    const std::string longValue = "[Common]\r\nPathBaseIB=" + std::string(3000, 'x') + "\r\n";
    testsupport::WriteFile(dir / "long.ini", longValue);
    EXPECT_EQ(platform::ReadProfileString(dir / "long.ini", "Common", "PathBaseIB", "").size(), 2047u);
}
