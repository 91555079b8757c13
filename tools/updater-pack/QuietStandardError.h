#pragma once
// Keeps the libraries' own diagnostics (libunarr writes one line per
// directory entry to standard error) out of the tool's output while one
// lives. The tool's own messages go through its streams afterwards.

namespace packtool {

class QuietStandardError {
public:
    QuietStandardError();
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;
    ~QuietStandardError();

private:
    int saved_ = -1;
};

}  // namespace packtool
