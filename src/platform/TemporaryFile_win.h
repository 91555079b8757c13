#pragma once
// New files under fresh names (the Windows files' counterpart of mkostemp).
// Internal to the platform layer.

#include "platform/File.h"

#include <string>

namespace platform {

// Creates a file named prefix followed by random letters and digits that no
// file had (CREATE_NEW), opened for reading and writing and not shared; path
// gets its name. When none can be created the result is not open and
// OpenError() tells why.
File CreateTemporaryFile(const std::string& prefix, std::string& path);

}  // namespace platform
