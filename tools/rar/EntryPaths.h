#pragma once
// Entry paths inside an archive, as the extractors on every system read them.

#include <cstddef>
#include <string>
#include <vector>

namespace rarformat {

// The parts of a path between "/" and "\\" separators (empty ones kept).
std::vector<std::string> SplitPath(const std::string& path);

// The first count components joined with "/".
std::string JoinComponents(const std::vector<std::string>& components, std::size_t count);

// Whether a link target leaves any directory it is resolved in: empty,
// starting with a separator, or with a drive letter.
bool IsAbsolute(const std::string& target);

}  // namespace rarformat
