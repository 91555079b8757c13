#include "Installation.h"

#include <cstdlib>

namespace testsupport {

void SetTempDirectory(const std::string& path) { ::setenv("TMPDIR", path.c_str(), 1); }

}  // namespace testsupport
