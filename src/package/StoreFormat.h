#pragma once
// The package store: update packages appended to the updater's executable,
// found through a locator compiled into the executable's own image.
//
// The locator is a fixed block of kLocatorSize bytes: a 16-byte magic value,
// a 32-bit format version, a 32-bit package count, the 64-bit offset and
// size of the store in the file, the 64-bit offset and size of its index, and
// the index's SHA-256. An updater without packages carries it empty: zero
// after the version, which names the highest format the updater reads (0 in
// updaters that read only format 2); updater-pack fills it in, in a format
// the updater reads. Because the store is found
// from the image and not from the file's end, a truncated file is told from
// one without packages, and bytes appended after the store (a code
// signature) do not hide it.
//
// The store, after the executable's own bytes: the packages' bytes, one
// after the other, then the index: for each package, in stored order, a
// 16-bit name length, the name, its 64-bit offset and size in the file and
// its SHA-256; from format 3 on, then the files it installs: a 32-bit count
// (kFilesNotRecorded when the packer did not record them) and for each a
// 16-bit length, its path below the installation ("nvlib.exe",
// "Reports/Akt.fr3", "/" between parts), its 64-bit size and its SHA-256.
// All integers are little-endian.

#include "platform/Sha256.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace package {

// The format this updater writes and the oldest it still reads.
inline constexpr std::uint32_t kStoreVersion = 3;
inline constexpr std::uint32_t kOldestStoreVersion = 2;
inline constexpr std::uint32_t kFilesNotRecorded = 0xFFFFFFFF;
inline constexpr std::size_t kLocatorMagicSize = 16;
inline constexpr std::size_t kLocatorSize = kLocatorMagicSize + 4 + 4 + 8 * 4 + 32;

// The empty locator as it is compiled into the updater (for tests and tools
// that make stand-in executables).
std::string EmptyLocator();

// A damaged store: the message says what is wrong.
class PackageStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A program file or report template a package installs.
struct InstallableFile {
    std::string relative;  // below the installation, "/" between parts
    std::uint64_t size = 0;
    platform::Digest sha256 {};
};

struct PackageEntry {
    std::string name;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    platform::Digest sha256 {};
    // The files it installs, when the store records them (format 3).
    std::optional<std::vector<InstallableFile>> files;
};

// The locator's 16-byte magic value, as this program's own empty locator
// carries it.
std::string LocatorMagic();

// Where the first locator lies in data at or after from, or npos.
std::size_t FindLocator(const unsigned char* data, std::size_t size, std::size_t from = 0);

// Whether the locator at locator (kLocatorSize bytes) is empty: the updater
// carries no packages.
bool IsEmptyLocator(const unsigned char* locator);

// The format a store written for the updater with this locator takes: the
// highest the updater reads (its empty locator names it), or for an updater
// that already carries packages, the format of its store; never above
// kStoreVersion nor below kOldestStoreVersion.
std::uint32_t StoreVersionFor(const unsigned char* locator);

// A little-endian integer of the given number of bytes.
std::uint64_t ReadLe(const unsigned char* data, std::size_t bytes);

}  // namespace package
