#include "platform/SharedLibrary.h"

#include "TestSupport.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

using platform::JoinPath;

// An installation's client library of the other bitness: named by its path
// and its bitness, and the system's message without a raw insert.
TEST(SharedLibrary, ALibraryOfTheOtherBitnessIsNamedWithItsBitness)
{
    const std::string path = JoinPath(JoinPath(JoinPath(testsupport::BinaryDir(), "tests"), "other-bitness"), "fbclient.dll");
    platform::LibraryLoadError error;
    const platform::SharedLibrary library = platform::SharedLibrary::Load(path, error);
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_EQ(error.path, path);
    EXPECT_EQ(error.libraryBits, 96 - platform::ProgramBits());
    EXPECT_NE(error.code, 0);
    EXPECT_EQ(error.text.find('%'), std::string::npos) << error.text;
}

TEST(SharedLibrary, ANameFoundNowhereIsReportedByItsName)
{
    platform::LibraryLoadError error;
    EXPECT_FALSE(platform::SharedLibrary::Load("no-such-library.dll", error).IsLoaded());
    EXPECT_EQ(error.path, "no-such-library.dll");
    EXPECT_EQ(error.code, 126) << "ERROR_MOD_NOT_FOUND";
    EXPECT_EQ(error.libraryBits, 0);
}

TEST(SharedLibrary, ASystemLibraryComesFromTheSystemDirectory)
{
    platform::LibraryLoadError error;
    const platform::SharedLibrary bcrypt = platform::SharedLibrary::LoadSystem("bcrypt.dll", error);
    ASSERT_TRUE(bcrypt.IsLoaded()) << error.text;
    EXPECT_NE(bcrypt.Symbol("BCryptHashData"), nullptr);
}
