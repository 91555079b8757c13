#pragma once
// Path rules of the updater: joining, the executable's own location, the
// temporary directory and the application's title.

#include <string>

namespace platform {

// The path separator used wherever the updater joins paths: "/" on POSIX
// systems, "\" on Windows.
extern const char kPathSeparator;

// Joins a directory and a name: an empty name gives the directory, an empty
// directory gives the name, a directory ending in the separator gets the name
// appended directly, any other directory gets the separator and the name.
// Nothing else is normalised.
std::string JoinPath(const std::string& directory, const std::string& name);

// A path that always opens the running executable's own file, even after the
// file at its path has been replaced (/proc/self/exe; on Windows, where a
// running program's file cannot be replaced, its path).
std::string RunningExecutableFile();

// Full path of the running executable (/proc/self/exe resolved;
// GetModuleFileNameA on Windows). Throws std::runtime_error when it cannot be
// read.
std::string ExecutablePath();

// Directory part of an executable path. POSIX: everything before the last
// "/", except for the root "/" which keeps it. Windows: everything before the
// last "\" or ":"; a "\" is kept only after a colon (a drive root, "C:\"),
// a ":" is kept ("C:").
std::string ExeDirOf(const std::string& executablePath);

// The user's temporary directory ($TMPDIR, else /tmp; GetTempPathA on
// Windows) ending in the separator.
std::string TempPath();

// This machine's name on the network ("" when the system does not tell).
std::string HostName();

// The file name of a program called base on this system ("rar", "rar.exe").
std::string ProgramFileName(const std::string& base);

// The application's title: the executable's file name up to its first full
// stop, every letter after the first one in lower case ("UPDATER.EXE" gives
// "Updater").
std::string ApplicationTitle(const std::string& executablePath);

// The characters that end a directory part: "/"; on Windows "\\", "/" and
// the drive's ":".
extern const char* const kPathDelimiters;

// The file name of a path: everything after its last delimiter.
std::string FileNameOf(const std::string& path);

}  // namespace platform
