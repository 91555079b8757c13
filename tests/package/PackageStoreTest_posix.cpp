#include "package/PackageStore.h"

#include "PackStoreSupport.h"
#include "TestSupport.h"
#include "package/WorkDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using package::PackageStore;
using testsupport::TempDir;

namespace {

long ResidentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

}  // namespace

// A 200 MB package is hashed and written out without the process's resident
// memory growing by the package's size.
TEST(PackageStore, LargePackagesAreNeverHeldInMemory)
{
    TempDir dir;
    {
        std::ofstream big(dir / "200.rar", std::ios::binary);
        big << kRar4Signature;
        std::string block(1 << 20, '\0');
        for (int i = 0; i < 200; ++i) {
            for (std::size_t j = 0; j < block.size(); j += 4096)
                block[j] = static_cast<char>(i + j);
            big << block;
        }
    }
    ASSERT_EQ(Pack({"add", "--force", MakeExecutable(dir), dir / "packed", dir / "200.rar"}), 0);
    std::filesystem::remove(dir / "200.rar");
    const PackageStore store(dir / "packed");
    const long before = ResidentKilobytes();
    EXPECT_TRUE(store.Verify(*store.Find("200_RAR")));
    package::SavePackage(store, "200_RAR", dir / "200.rar");
    const long grown = ResidentKilobytes() - before;
    EXPECT_LT(grown, 64 * 1024) << "resident memory grew by " << grown << " KB";
    EXPECT_EQ(std::filesystem::file_size(dir / "200.rar"), (200u << 20) + kRar4Signature.size());
}
