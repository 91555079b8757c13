#include "dbupdate/UpdateContext.h"

#include <gtest/gtest.h>

TEST(DoneName, ReplacesTheLastThreeCharacters)
{
    EXPECT_EQ(dbupdate::DoneName("/w/up/122.001.sql", "~sql"), "/w/up/122.001.~sql");
    EXPECT_EQ(dbupdate::DoneName("/w/up/122.001.SQL", "~sql"), "/w/up/122.001.~sql");
    EXPECT_EQ(dbupdate::DoneName("/w/up/INFO_DOC.NOTE_U.ID 200.blo", "~blo"), "/w/up/INFO_DOC.NOTE_U.ID 200.~blo");
}
