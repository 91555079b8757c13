#pragma once
// Extraction of a RAR archive into a directory, safely: nothing is written
// outside it, and nothing is put in place unless every entry was read and
// checked.

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

namespace rarformat {

// Exit codes of the RAR command-line archiver.
enum ExitCode {
    kSuccess = 0,
    kWarning = 1,      // some entries were refused or skipped
    kFatal = 2,        // damaged or unsupported archive
    kCrcError = 3,
    kOpenError = 6,
    kUsageError = 7,
    kCreateError = 9,
};

// Extraction goes through a staging directory inside the destination, named
// by this prefix and six letters or digits. A staging directory of that name
// that no running extraction holds locked was left by an interrupted one and
// is removed when the next extraction starts.
inline constexpr const char* kStagingPrefix = ".rar-staging-";
inline constexpr std::size_t kStagingSuffixLength = 6;
bool IsStagingName(const std::string& name);

struct ExtractOptions {
    bool overwrite = true;  // -o+ (default) overwrites, -o- keeps existing files
};

// The components of an entry path if it stays inside the extraction root;
// empty with why set when it is absolute, has a drive letter or a ".."
// component, holds a NUL byte, or names nothing.
std::vector<std::string> SafeComponents(const std::string& path, std::string& why);

// Whether a symbolic link at linkPath (relative, "/" separators) with the
// given target stays inside the root as text: relative, never climbing
// above it. Extraction checks this first, then resolves the target through
// the links already made before it makes the link.
bool SymlinkStaysInside(const std::string& linkPath, const std::string& target);

// Extracts archive into destination. Every file is opened one path component
// at a time below the destination and never through a symbolic link; links
// are made after every file is in place. Messages go to err. Returns an
// ExitCode.
int Extract(const std::string& archive, const std::string& destination, const ExtractOptions& options,
            std::ostream& err);

// The rar command line: x [-switches] ARCHIVE [DESTINATION/].
int RunRar(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace rarformat
