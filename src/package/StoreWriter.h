#pragma once
// The package store's writer, for updater-pack and the tests: an updater's
// executable with packages appended and its locator filled in. The updater
// itself only reads its store (PackageStore.h).

#include "package/StoreFormat.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace package {

// A package to store: its name, the file that holds its bytes and, when
// known, the files it installs (for the index).
struct PackageSource {
    std::string name;
    std::string path;
    std::optional<std::vector<InstallableFile>> files = {};
};

// A package to store given as bytes.
struct PackageInMemory {
    std::string name;
    std::string bytes;
    std::optional<std::vector<InstallableFile>> files = {};
};

// Writes out = the executable's own bytes of updater (an existing store and
// anything after it removed) followed by a store of the given packages, in
// the given order, with the locator filled in, in the format the updater
// reads (StoreVersionFor: without the files for an older updater). A file
// list that names a file the updater does not install is refused
// (PackageStoreError). The file is written under a
// temporary name and moved into place, with the updater's permission bits.
// Refuses (PackageStoreError) an updater whose image holds no locator or
// more than one. progress, when given, is called with the name,
// bytes done and total while packages are copied. Throws std::runtime_error.
void WriteStore(const std::string& updater, const std::string& out, const std::vector<PackageSource>& packages,
                const std::function<void(const std::string&, std::uint64_t, std::uint64_t)>& progress = {});

// Writes an executable with a store holding packages given as bytes (for tests
// and tools that build updaters from memory). Throws std::runtime_error.
void WriteStoreFromMemory(const std::string& updater, const std::string& out,
                          const std::vector<PackageInMemory>& packages);

}  // namespace package
