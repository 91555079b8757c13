#include "dbupdate/DatabaseError.h"

#include <gtest/gtest.h>

TEST(FormEngineMessage, JoinsStatusLinesAndDropsOneFinalFullStop)
{
    EXPECT_EQ(dbupdate::FormEngineMessage({"a", "b."}), "a\r\nb");
    EXPECT_EQ(dbupdate::FormEngineMessage({"a\n", "b.."}), "a\nb.");
    EXPECT_EQ(dbupdate::FormEngineMessage({"only"}), "only");
    EXPECT_EQ(dbupdate::FormEngineMessage({}), "");
}
