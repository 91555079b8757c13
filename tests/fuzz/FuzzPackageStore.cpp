// The package store reader on a fuzzed store after a stand-in executable.
// The first bytes choose the locator's count and index size; its hash is made
// to match, so that the index parser behind it is reached; the second bit
// of the first byte chooses the older format (no file lists). With the low
// bit set, the locator's fields are taken raw instead.
#include "package/PackageStore.h"
#include "package/ProgramFiles.h"
#include "platform/Sha256.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

void PutLe(std::string& out, std::size_t at, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t GetLe(const std::uint8_t* data, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<std::uint64_t>(data[i]) << (8 * i);
    return value;
}

std::string ScratchPath()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "fuzz-store-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        std::abort();
    ::close(fd);
    return pattern;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t kHead = 1 + 4 + 4;
    if (size < kHead)
        return 0;
    static const std::string path = ScratchPath();
    const std::string image = "\x7F" "ELF stand-in " + package::EmptyLocator();
    const std::size_t locator = image.size() - package::kLocatorSize;
    std::string file = image + std::string(reinterpret_cast<const char*>(data + kHead), size - kHead);
    const std::uint64_t storeSize = size - kHead;
    if (data[0] & 1) {
        const std::size_t fields = std::min<std::size_t>(size - 1, package::kLocatorSize - package::kLocatorMagicSize);
        std::memcpy(file.data() + locator + package::kLocatorMagicSize, data + 1, fields);
    } else {
        const std::uint64_t indexSize = std::min<std::uint64_t>(GetLe(data + 5, 4), storeSize);
        const std::uint64_t indexOffset = image.size() + storeSize - indexSize;
        PutLe(file, locator + 16, (data[0] & 2) ? package::kOldestStoreVersion : package::kStoreVersion, 4);
        PutLe(file, locator + 20, GetLe(data + 1, 4), 4);
        PutLe(file, locator + 24, image.size(), 8);
        PutLe(file, locator + 32, storeSize, 8);
        PutLe(file, locator + 40, indexOffset, 8);
        PutLe(file, locator + 48, indexSize, 8);
        platform::Sha256 hash;
        hash.Update(file.data() + indexOffset, indexSize);
        const platform::Digest digest = hash.Final();
        std::memcpy(file.data() + locator + 56, digest.data(), digest.size());
    }
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
    }
    try {
        const package::PackageStore store(path);
        for (const auto& entry : store.Entries()) {
            if (entry.offset < image.size() || entry.size > file.size() - entry.offset)
                std::abort();
            if (entry.files)
                for (const auto& installable : *entry.files)
                    if (!package::IsInstallablePath(installable.relative))
                        std::abort();
            store.Verify(entry);
        }
    } catch (const package::PackageStoreError&) {
    }
    return 0;
}
