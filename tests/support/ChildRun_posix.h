#pragma once
// Running part of a test in a child process (POSIX systems).

#include <functional>

namespace testsupport {

// Runs body in a child process that may write files of at most limit bytes
// (a write beyond fails with EFBIG instead of raising SIGXFSZ); gives the
// value body returned as the child's exit code, or -1 when it did not exit
// by itself.
int RunWithFileSizeLimit(long limit, const std::function<int()>& body);

}  // namespace testsupport
