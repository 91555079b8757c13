#pragma once
// Path rules of the updater: joining, the executable's own location, the
// temporary directory and the application's title.

#include <string>

namespace platform {

// The path separator used wherever the updater joins paths.
inline constexpr char kPathSeparator = '/';

// Joins a directory and a name: an empty name gives the directory, an empty
// directory gives the name, a directory ending in the separator gets the name
// appended directly, any other directory gets the separator and the name.
// Nothing else is normalised.
std::string JoinPath(const std::string& directory, const std::string& name);

// A path that always opens the running executable's own file, even after the
// file at its path has been replaced.
inline constexpr const char* kRunningExecutable = "/proc/self/exe";

// Full path of the running executable (/proc/self/exe resolved).
// Throws std::runtime_error when it cannot be read.
std::string ExecutablePath();

// Directory part of an executable path: everything before the last separator,
// without that separator, except for the root "/" which keeps it.
std::string ExeDirOf(const std::string& executablePath);

// The user's temporary directory ($TMPDIR, else /tmp) ending in the separator.
std::string TempPath();

// The application's title: the executable's file name up to its first full
// stop, every letter after the first one in lower case ("UPDATER.EXE" gives
// "Updater").
std::string ApplicationTitle(const std::string& executablePath);

// The file name of a path: everything after its last separator.
std::string FileNameOf(const std::string& path);

}  // namespace platform
