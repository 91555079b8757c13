#pragma once
// How the updater's store names a package: "122_RAR" is package 122. Any
// entry whose name contains "_RAR" is a package; its number is the decimal
// text before the name's first "_".

#include <cstdint>
#include <optional>
#include <string>

namespace package {

// Whether the store's entry is a package.
bool IsPackageName(const std::string& name);

// The text that names a package's number: everything before the first "_".
std::string PackageNumberText(const std::string& name);

// The package's number; none when PackageNumberText is not a decimal 32-bit
// integer.
std::optional<std::int32_t> PackageNumber(const std::string& name);

// The number of a store's entry that is a package with a number; none for
// any other entry.
std::optional<std::int32_t> NumberedPackage(const std::string& name);

// The store's name of package n.
std::string PackageEntryName(std::int64_t n);

}  // namespace package
