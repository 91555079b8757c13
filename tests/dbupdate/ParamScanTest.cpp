#include "dbupdate/ParamScan.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using testsupport::ErrorOf;

TEST(ScanParams, ReplacesPlaceholdersOutsideLiteralsAndComments)
{
    const auto parsed = dbupdate::ScanParams(
        "update T set A = :A, B = ':no', C = \"q\"\"x\" /* :no */ where D = :\"My D\" and E = ?e$1");
    EXPECT_EQ(parsed.text, "update T set A = ?, B = ':no', C = \"q\"\"x\" /* :no */ where D = ? and E = ?");
    EXPECT_EQ(parsed.names, (std::vector<std::string> {"A", "My D", "e$1"}));
}

TEST(ScanParams, ReportsTheThreeParseErrors)
{
    const std::string prefix = "SQL Parse Error:\r\n\r\n";
    EXPECT_EQ(ErrorOf([] { dbupdate::ScanParams("select 1 /* open"); }), prefix + "EOF in comment detected");
    EXPECT_EQ(ErrorOf([] { dbupdate::ScanParams("select 'open"); }), prefix + "EOF in string detected");
    EXPECT_EQ(ErrorOf([] { dbupdate::ScanParams("select : from x"); }), prefix + "Parameter name expected");
}
