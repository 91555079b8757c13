#include "dbupdate/DatabaseError.h"

#include <gtest/gtest.h>
#include <ibase.h>

#include <algorithm>
#include <iterator>
#include <vector>

TEST(FormEngineMessage, JoinsStatusLinesAndDropsOneFinalFullStop)
{
    EXPECT_EQ(dbupdate::FormEngineMessage({"a", "b."}), "a\r\nb");
    EXPECT_EQ(dbupdate::FormEngineMessage({"a\n", "b.."}), "a\nb.");
    EXPECT_EQ(dbupdate::FormEngineMessage({"only"}), "only");
    EXPECT_EQ(dbupdate::FormEngineMessage({}), "");
}

// A status vector filled to its bound without isc_arg_end is read up to the
// bound and no further (ASan sees a read past the array).
TEST(StatusItems, StopAtTheVectorsBound)
{
    for (const ISC_STATUS filler : {static_cast<ISC_STATUS>(isc_arg_gds), static_cast<ISC_STATUS>(isc_arg_cstring)}) {
        ISC_STATUS_ARRAY status;
        std::fill(std::begin(status), std::end(status), filler);
        const std::vector<dbupdate::StatusItem> items = dbupdate::StatusItems(status);
        EXPECT_EQ(items.size(), filler == isc_arg_gds ? 10u : 6u);
    }
}
