#include "dbupdate/RunLog.h"

#include "ScriptPackage.h"

#include <gtest/gtest.h>

using testsupport::ReadFile;
using testsupport::TempDir;

TEST(WriteRunLog, WritesPlainAndFramedEntriesByteExactly)
{
    TempDir dir;
    dbupdate::WriteRunLog(dir / "x.log", false, "insert\r\n");
    dbupdate::WriteRunLog(dir / "x.log", true, "line 1\r\nline 2");
    EXPECT_EQ(ReadFile(dir / "x.log"), "insert\r\n" + Framed("line 1\r\nline 2"));
    EXPECT_EQ(kSeparator.size(), 62u);
    dbupdate::WriteRunLog("", true, "nowhere");  // no run log yet: nothing, no error
}
