#pragma once
// The path walk of the POSIX extractor: directories opened one component at
// a time below a root and never through a symbolic link, where a link would
// lead, and removal of what an extraction made.

#include "ExtractFailure.h"
#include "UniqueFd.h"
#include "platform/File.h"

#include <cstddef>
#include <string>
#include <vector>

namespace rarformat {

// A create error (exit code 9) for what failed and the system's errno.
Failure CreateFailure(const std::string& what, int error);

// Writes data to an extracted file, failing with a create error.
void WriteOut(platform::File& file, const void* data, std::size_t size, const std::string& name);

// Opens the directory made of the first count components below root, one
// component at a time and never through a symbolic link. Missing directories
// are created when create is set. Gives an invalid handle with why set when a
// component is a link, not a directory, missing (without create) or a name
// the file system cannot hold.
rarextract::UniqueFd OpenBeneath(int root, const std::vector<std::string>& components, std::size_t count,
                                 bool create, std::string& why);

// Whether a link at linkComponents below root with the given target, resolved
// through the links already below root, stays inside root.
bool ResolvesInside(int root, const std::vector<std::string>& linkComponents, const std::string& target);

// The names in a directory, without "." and "..".
std::vector<std::string> EntryNames(int directory);

// Removes name in directory and everything below it, never following a link.
void RemoveTree(int directory, const std::string& name);

}  // namespace rarformat
