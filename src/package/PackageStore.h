#pragma once
// The package store's reader: the packages appended to the updater's
// executable (the format is in StoreFormat.h), read in place.

#include "package/StoreFormat.h"
#include "platform/Sha256.h"
#include "platform/MappedFile.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace package {

// A package whose bytes do not match the updater's index.
class PackageDamagedError : public PackageStoreError {
public:
    explicit PackageDamagedError(const std::string& name)
        : PackageStoreError("Package " + name + " is damaged: its SHA-256 does not match the updater's index") {}
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
    // second thread computes their SHA-256. Neither side reads the bytes
    // through the mapping, so the process's memory stays flat. Throws
    // std::runtime_error "Stream write error" when a write fails, else
    // PackageDamagedError when the bytes do not match the recorded SHA-256.
    void WriteTo(const PackageEntry& entry, platform::File& out) const;

private:
    platform::MappedFile file_;
    std::vector<PackageEntry> entries_;
    std::uint64_t executableSize_ = 0;
    std::uint64_t locatorOffset_ = 0;
};

}  // namespace package
