#pragma once
// File system operations the updater needs, with the results the updater
// looks at. Paths are byte strings, passed to the system unchanged. Error
// codes are the system's own (errno values on POSIX systems, GetLastError
// values on Windows).

#include "platform/Error.h"

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// True when path names an existing regular file (a directory does not count).
bool FileExists(const std::string& path);
// True when path names an existing directory.
bool DirectoryExists(const std::string& path);
// True when path itself is a symbolic link (a reparse point on Windows).
bool IsSymbolicLink(const std::string& path);
// The first of base/A, base/A/B, ... down to base/relative (relative split at
// the system's separator) that is a symbolic link; empty when none is. base
// itself is not looked at.
std::string FirstLinkBelow(const std::string& base, const std::string& relative);
// The error of a path refused for passing through a symbolic link (ELOOP on
// POSIX systems, ERROR_CANT_RESOLVE_FILENAME on Windows).
Error SymbolicLinkError();
// The error of a file name refused as one the caller may not use (EINVAL on
// POSIX systems, ERROR_INVALID_NAME on Windows).
Error InvalidNameError();
// Whether a program holds path open for itself: on POSIX systems, an
// exclusive lock (flock) is held on it, as the Firebird engine holds one on
// each database it has open; on Windows, the file cannot be opened without
// sharing. False when it is not there or is free.
bool FileInUse(const std::string& path);
// Deletes a file; returns whether it was deleted.
Error DeleteFile(const std::string& path);
// Moves a file to a new name; fails (returns false) when the target exists.
Error MoveFileNoReplace(const std::string& from, const std::string& to);
// Moves a file to a new name in the same directory, replacing a file there
// in one step: the target's path names the old file or the whole new one at
// every moment, also after a crash (the moved file's data is on the disk
// first). A target that a program holds open is not replaced on Windows
// (sharing violation, 32).
Error MoveFileReplacing(const std::string& from, const std::string& to);
// Creates one directory level; returns whether it was created.
Error CreateDirectory(const std::string& path);
// Removes an empty directory.
Error RemoveDirectory(const std::string& path);

// Names of the entries of directory that match mask ("*" and "?" wildcards,
// ignoring case, leading dots not special; on Windows the system's own
// matching, short names included): files, directories, "." and "..". A
// directory that cannot be read gives no entries. Order is the directory's
// own.
std::vector<std::string> FindEntries(const std::string& directory, const std::string& mask);

// Appends the full path of every entry of directory matching mask (as
// FindEntries) to list, then sorts the whole list case-insensitively in the
// user's locale.
void ListFiles(std::vector<std::string>& list, const std::string& directory, const std::string& mask);

// Reads a whole text file into lines; lines end at CR LF, a lone CR or a lone
// LF; text after the last line break is the last line; an empty file has no
// lines. Throws std::runtime_error "Cannot open file "path". message" when the
// file cannot be opened or read (a directory cannot be read).
std::vector<std::string> ReadTextLines(const std::string& path);

// Copies source onto target, replacing an existing target atomically: the
// bytes go to a temporary file in the target's directory, which is renamed
// over the target only when complete. A failed or interrupted copy leaves the
// previous target whole; a temporary file that an interrupted copy left for
// the same target is removed first. Only a regular file is copied (on POSIX
// systems ELOOP for a symbolic link, EISDIR for a directory, EINVAL for
// other special files). A target without any write permission (a read-only
// file on Windows) is not replaced, for the superuser too. The new file keeps
// an existing target's permission bits, else gets the source's, never set-id
// bits. A target that a running program holds open fails as the system says
// (sharing violation, 32, on Windows).
Error CopyFileReplacing(const std::string& source, const std::string& target);

// CopyFileReplacing's temporary file for a target named T is named
// "." + T + kCopyTemporaryMarker + kCopyTemporarySuffixLength letters and
// digits.
inline constexpr const char* kCopyTemporaryMarker = ".update-";
inline constexpr std::size_t kCopyTemporarySuffixLength = 6;

// Whether name is the name CopyFileReplacing gives its temporary file for a
// target named targetName.
bool IsCopyTemporaryName(const std::string& name, const std::string& targetName);

// Removes, from directory, the regular files (not links) that interrupted
// copies left for a target named targetName.
void RemoveStaleCopies(const std::string& directory, const std::string& targetName);

// The system's message text for an error code (as Error::Message, for
// codes that come straight from the system). Windows messages with an
// insert ("%1 is not a valid Win32 application.") name subject there, the
// file or program the error is about; without one the insert is left out.
std::string SystemMessage(int errorCode, const std::string& subject = {});

// Makes sure path is a directory that only the current user can write.
// Returns true when it already existed and is safe to use; otherwise creates
// it (one level; mode 0700 on POSIX systems, inside the user's own temporary
// directory on Windows) and returns false, also when the creation failed
// (what needs the directory then fails in its turn). Throws
// std::runtime_error naming the path when an existing one is a symbolic link
// (a reparse point on Windows), not a directory, or, on POSIX systems, not
// owned by the current user or writable by group or others.
bool EnsurePrivateDirectory(const std::string& path);

}  // namespace platform
