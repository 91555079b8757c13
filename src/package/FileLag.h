#pragma once
// Whether this workstation's program files keep up with its database: in an
// office every workstation has an installation of its own and one database
// is shared, so the workstation that updated the database has the new
// programs and the others do not.
//
// For each file that a carried package numbered at most the database's
// version installs, the newest such package's copy is the one this
// workstation should have. The installed file lags when it is missing or
// holds a copy known as older: an older package's, or one that an update
// run replaced (the database records those). A file that holds no known
// copy was not installed by an update (a report template edited by hand):
// it is named and left as it is. Decided from the store's index, without
// unpacking anything; an installed file is read only when its size is that
// of a known copy.

#include "package/StoreFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace package {

class PackageStore;

// A copy of a program file that an update run replaced, as the database
// records it.
struct ReplacedCopy {
    std::string relative;  // "/" between parts
    std::uint64_t size = 0;
    platform::Digest sha256 {};
};

// A file this workstation should have from a package.
struct LaggingFile {
    std::string relative;  // "/" between parts
    std::int32_t package = 0;  // the package whose copy it should have
    bool missing = false;      // it is not installed at all
};

struct FileLag {
    // Every package at or below the version records its files (an updater
    // packed before they were recorded cannot tell, and reports no lag).
    bool known = true;
    // In the order a catch-up installs them: by package, then as the
    // package installs them.
    std::vector<LaggingFile> lagging;
    // Installed files that hold no known copy, and are left as they are.
    std::vector<std::string> foreign;
    // The packages lagging files come from, lowest first.
    std::vector<std::int32_t> Packages() const;
};

// How reports name a lagging file: "nvlib.exe (123)", "Reports/Akt.fr3 (122,
// missing)".
std::string LaggingFileText(const LaggingFile& file);

// The highest number of the packages the store carries; 0 when it carries
// none.
std::int32_t HighestPackage(const PackageStore& store);

// Compares the program files installed in exeDir with the copies of the
// store's packages numbered at most version (all others are left out) and
// the copies runs replaced. A link on the way to an installed file, anything
// but a regular file there, or a file that cannot be read, counts as a file
// not from an update.
FileLag CompareInstalledFiles(const std::string& exeDir, const PackageStore& store, std::int32_t version,
                              const std::vector<ReplacedCopy>& replaced = {});

}  // namespace package
