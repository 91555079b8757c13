#pragma once
// updater-pack: makes an updater that carries packages, and lists and checks
// what an updater carries.

#include <iosfwd>
#include <string>
#include <vector>

namespace packtool {

// Exit codes.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;      // refused input, damaged store, hash mismatch, a check's error
inline constexpr int kUsage = 2;

// The package name for an argument: "NAME=FILE" names it explicitly,
// otherwise the file name with its extension turned into "_" + upper case
// extension ("122.rar" gives "122_RAR").
std::string PackageNameFor(const std::string& argument, std::string& file);

// Why the updater would not take name as a package ("" when it would): it
// must contain "_RAR" and start with a decimal number before its first "_".
std::string PackageNameProblem(const std::string& name);

// Whether the file starts with a RAR 1.5-4.x or RAR5 signature; problem
// says why not.
bool HasRarSignature(const std::string& path, std::string& problem);

// Runs the tool on its arguments (without the program name).
int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace packtool
