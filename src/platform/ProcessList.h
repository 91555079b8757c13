#pragma once
// Looking for a running program by its executable file name.

#include <string>

namespace platform {

// True when a process runs whose executable name equals name, ignoring the
// case of ASCII letters. On Windows a process's name is the executable file
// name of the process snapshot. On POSIX systems a process's names are its
// comm and the first argument of its command line after the last '/' or '\'
// (programs under a Windows compatibility layer carry Windows paths). An
// unreadable process list gives false.
bool IsProcessRunning(const std::string& name);

// Whether a program path, as any system writes it, is a path of the program
// name: its part after the last "/" or "\" equals name, ignoring the case of
// ASCII letters. A client of the database on another workstation reports its
// program's path in that workstation's own form.
bool IsProgramPath(const std::string& path, const std::string& name);

// The name comparison used by IsProcessRunning, on one process's name and
// raw command line (arguments separated by NUL bytes; empty where the system
// gives none).
bool ProcessMatches(const std::string& comm, const std::string& commandLine, const std::string& name);

}  // namespace platform
