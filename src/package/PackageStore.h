#pragma once
// The package store: update packages appended to the updater's executable,
// found through a locator compiled into the executable's own image.
//
// The locator is a fixed block of kLocatorSize bytes: a 16-byte magic value,
// a 32-bit format version, a 32-bit package count, the 64-bit offset and
// size of the store in the file, the 64-bit offset and size of its index, and
// the index's SHA-256. An updater without packages carries it empty (zero
// after the magic); updater-pack fills it in. Because the store is found
// from the image and not from the file's end, a truncated file is told from
// one without packages, and bytes appended after the store (a code
// signature) do not hide it.
//
// The store, after the executable's own bytes: the packages' bytes, one
// after the other, then the index: for each package, in stored order, a
// 16-bit name length, the name, its 64-bit offset and size in the file and
// its SHA-256. All integers are little-endian.

#include "platform/Sha256.h"
#include "platform/MappedFile.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace package {

inline constexpr std::uint32_t kStoreVersion = 2;
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

struct PackageEntry {
    std::string name;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    platform::Digest sha256 {};
};

// The error text for a package name the store does not hold.
std::string ResourceNotFoundMessage(const std::string& name);

// A store read from an executable through a read-only memory mapping; no
// package is ever read whole into memory.
class PackageStore {
public:
    // Maps the file and reads its index through the locator in its image; an
    // empty locator carries no packages. Throws PackageStoreError, naming
    // displayPath (the file's path when empty), for a file without a locator
    // and for a damaged store: a file shorter than the locator says, an index
    // whose hash does not match, entries outside the store. Throws
    // std::runtime_error when the file cannot be mapped.
    explicit PackageStore(const std::string& executablePath, const std::string& displayPath = {});

    const std::vector<PackageEntry>& Entries() const noexcept { return entries_; }
    std::vector<std::string> Names() const;
    // The named package, or null.
    const PackageEntry* Find(const std::string& name) const;
    // Where the executable's own bytes end (the file's size without a store).
    std::uint64_t ExecutableSize() const noexcept { return executableSize_; }
    // Where the locator lies in the file.
    std::uint64_t LocatorOffset() const noexcept { return locatorOffset_; }

    // Whether the package's bytes match their recorded SHA-256.
    bool Verify(const PackageEntry& entry) const;
    // Writes the package's bytes to out (at its current position) while a
    // second thread computes their SHA-256; intact tells whether they match
    // the recorded one. Neither side reads the bytes through the mapping, so
    // the process's memory stays flat. Returns 0, or the errno of a failed
    // write.
    int WriteTo(const PackageEntry& entry, platform::File& out, bool& intact) const;

private:
    platform::MappedFile file_;
    std::vector<PackageEntry> entries_;
    std::uint64_t executableSize_ = 0;
    std::uint64_t locatorOffset_ = 0;
};

// A package to store: its name and the file that holds its bytes.
struct PackageSource {
    std::string name;
    std::string path;
};

// Writes out = the executable's own bytes of updater (an existing store and
// anything after it removed) followed by a store of the given packages, in
// the given order, with the locator filled in. The file is written under a
// temporary name and moved into place, with the updater's permission bits.
// Refuses (PackageStoreError) an updater whose image holds no locator or
// more than one. progress, when given, is called with the name,
// bytes done and total while packages are copied. Throws std::runtime_error.
void WriteStore(const std::string& updater, const std::string& out, const std::vector<PackageSource>& packages,
                const std::function<void(const std::string&, std::uint64_t, std::uint64_t)>& progress = {});

// Writes an executable with a store holding packages given as bytes (for tests
// and tools that build updaters from memory). Throws std::runtime_error.
void WriteStoreFromMemory(const std::string& updater, const std::string& out,
                          const std::vector<std::pair<std::string, std::string>>& packages);

}  // namespace package
