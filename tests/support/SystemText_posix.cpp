#include "TestSupport.h"

#include <cerrno>
#include <cstring>

namespace testsupport {

std::string SystemText(int code) { return std::strerror(code); }

std::string MissingFileMessage() { return SystemText(ENOENT); }

}  // namespace testsupport
