#include "package/StoreFormat.h"

#include <algorithm>
#include <functional>

namespace package {

// The locator of this program. It lives in writable data and is read only
// through volatile accesses, so that its magic value appears exactly once in
// the image: the compiler can neither fold it into code nor merge it with
// another constant.
extern "C" {
[[gnu::used]] volatile unsigned char nvx_package_store_locator[kLocatorSize] = {
    'N', 'V', 'X', '-', 'S', 'T', 'O', 'R', 'E', '-', 'L', 'O', 'C', 0x8B, 0x3D, 0xE1, kStoreVersion};
}

std::string LocatorMagic()
{
    std::string magic(kLocatorMagicSize, '\0');
    for (std::size_t i = 0; i < kLocatorMagicSize; ++i)
        magic[i] = static_cast<char>(nvx_package_store_locator[i]);
    return magic;
}

std::size_t FindLocator(const unsigned char* data, std::size_t size, std::size_t from)
{
    const std::string magic = LocatorMagic();
    if (size < from + kLocatorSize)
        return std::string::npos;
    const auto* magicBytes = reinterpret_cast<const unsigned char*>(magic.data());
    const unsigned char* found = std::search(data + from, data + size,
                                             std::boyer_moore_horspool_searcher(magicBytes, magicBytes + magic.size()));
    if (found == data + size)
        return std::string::npos;
    const auto at = static_cast<std::size_t>(found - data);
    return size - at >= kLocatorSize ? at : std::string::npos;
}

std::uint64_t ReadLe(const unsigned char* data, std::size_t bytes)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        value |= static_cast<std::uint64_t>(data[i]) << (8 * i);
    return value;
}

bool IsEmptyLocator(const unsigned char* locator)
{
    return std::all_of(locator + kLocatorMagicSize + 4, locator + kLocatorSize, [](unsigned char b) { return b == 0; });
}

std::uint32_t StoreVersionFor(const unsigned char* locator)
{
    const auto version = static_cast<std::uint32_t>(ReadLe(locator + kLocatorMagicSize, 4));
    return std::clamp(version, kOldestStoreVersion, kStoreVersion);
}

std::string EmptyLocator()
{
    std::string locator = LocatorMagic();
    locator += static_cast<char>(kStoreVersion);
    locator.resize(kLocatorSize, '\0');
    return locator;
}

}  // namespace package
