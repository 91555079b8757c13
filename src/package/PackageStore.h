#pragma once
// The package store: update packages appended to the updater's executable.
//
// Layout, after the executable's own bytes:
//   the packages' bytes, one after the other;
//   the index: for each package, in stored order, a 16-bit name length, the
//   name, its 64-bit offset and size in the file and its SHA-256;
//   the trailer (kTrailerSize bytes at the very end): the magic "NVXSTORE",
//   a 32-bit format version, a 32-bit package count, the 64-bit offset where
//   the store begins (the executable's length), and the index's 64-bit
//   offset and size.
// All integers are little-endian.

#include "package/Sha256.h"
#include "platform/MappedFile.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace package {

inline constexpr char kStoreMagic[8] = {'N', 'V', 'X', 'S', 'T', 'O', 'R', 'E'};
inline constexpr std::uint32_t kStoreVersion = 1;
inline constexpr std::size_t kTrailerSize = 40;

// A damaged store: the message says what is wrong.
class PackageStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct PackageEntry {
    std::string name;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    Digest sha256 {};
};

// The error text for a package name the store does not hold.
std::string ResourceNotFoundMessage(const std::string& name);

// A store read from an executable through a read-only memory mapping; no
// package is ever read whole into memory.
class PackageStore {
public:
    // Maps the file and reads its index. A file without a trailer carries no
    // packages. Throws PackageStoreError for a damaged store and
    // std::runtime_error when the file cannot be mapped.
    explicit PackageStore(const std::string& executablePath);

    const std::vector<PackageEntry>& Entries() const noexcept { return entries_; }
    std::vector<std::string> Names() const;
    // The named package, or null.
    const PackageEntry* Find(const std::string& name) const;
    // Where the executable's own bytes end (the file's size without a store).
    std::uint64_t ExecutableSize() const noexcept { return executableSize_; }

    // Hands the package's bytes to sink in chunks, dropping each chunk from
    // the process's memory once it has been handled. The sink returns false
    // to stop early; then ForEachChunk returns false.
    bool ForEachChunk(const PackageEntry& entry,
                      const std::function<bool(const unsigned char*, std::size_t)>& sink) const;
    // Whether the package's bytes match their recorded SHA-256.
    bool Verify(const PackageEntry& entry) const;

private:
    platform::MappedFile file_;
    std::vector<PackageEntry> entries_;
    std::uint64_t executableSize_ = 0;
};

// A package to store: its name and the file that holds its bytes.
struct PackageSource {
    std::string name;
    std::string path;
};

// Writes out = the executable's own bytes of updater (an existing store
// removed) followed by a store of the given packages, in the given order.
// The file is written under a temporary name and renamed into place, with the
// updater's permission bits. progress, when given, is called with the name,
// bytes done and total while packages are copied. Throws std::runtime_error.
void WriteStore(const std::string& updater, const std::string& out, const std::vector<PackageSource>& packages,
                const std::function<void(const std::string&, std::uint64_t, std::uint64_t)>& progress = {});

// Writes an executable with a store holding packages given as bytes (for tests
// and tools that build updaters from memory). Throws std::runtime_error.
void WriteStoreFromMemory(const std::string& updater, const std::string& out,
                          const std::vector<std::pair<std::string, std::string>>& packages);

}  // namespace package
