#include "platform/Text.h"

#include <gtest/gtest.h>

TEST(FillMessageInserts, FillsEveryInsertWithTheSubjectOrLeavesItOut)
{
    const struct {
        const char* message;
        const char* subject;
        const char* expected;
    } cases[] = {
        {"%1 is not a valid Win32 application.", "C:\\Norvex\\fbclient.dll",
         "C:\\Norvex\\fbclient.dll is not a valid Win32 application."},
        {"%1 is not a valid Win32 application.", "", "is not a valid Win32 application."},
        {"The operating system cannot run %1.", "", "The operating system cannot run."},
        {"Bad EXE format for %1.", "rar.exe", "Bad EXE format for rar.exe."},
        {"Copy %1 to %2!s!.", "f", "Copy f to f."},
        {"%12 items", "x", "x items"},
        {"100% done, %0 and %% stay", "x", "100% done, %0 and %% stay"},
        {"no inserts", "x", "no inserts"},
        {"ends in %", "", "ends in %"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::FillMessageInserts(c.message, c.subject), c.expected) << c.message;
}

TEST(TryParseUint64, TakesDigitsOnlyAndWhatFits)
{
    std::uint64_t value = 7;
    EXPECT_TRUE(platform::TryParseUint64("18446744073709551615", value));
    EXPECT_EQ(value, UINT64_MAX);
    for (const char* text : {"", "18446744073709551616", "-1", "+1", "1 ", "0x10"})
        EXPECT_FALSE(platform::TryParseUint64(text, value)) << text;
    EXPECT_EQ(value, UINT64_MAX) << "unchanged by a failure";
}
