#pragma once
// The working directory of an update run: clearing, writing a
// package out of the store and starting the unpacker on it.

#include "platform/ChildProcess.h"

#include <optional>
#include <string>
#include <vector>

namespace package {

class PackageStore;

// The working directory's name inside the temporary directory.
inline constexpr const char* kWorkDirName = "norvex22.nvx";
// The working directories of rehearsals, apart from the update's: each
// rehearsal has one of its own, "norvex22.rehearsal." + a random tag +
// ".nvx", so that two at once (two users of one machine) never
// clear each other's.
inline constexpr const char* kRehearsalWorkDirPrefix = "norvex22.rehearsal.";

// A path in tempPath for a rehearsal's working directory that nothing has
// taken yet.
std::string NewRehearsalWorkDir(const std::string& tempPath);

// Removes a working directory that holds nothing but what a run put there:
// its plain files (as ClearWorkDir), then the directories up, Reports and
// dir itself where they are empty. A link is never followed.
void RemoveWorkDir(const std::string& dir);

// Deletes the plain files directly inside dir/up, dir/Reports and dir.
// Directories stay; every failure is ignored.
void ClearWorkDir(const std::string& dir);

// Prepares the working directory for a run: clears it when it exists, else
// creates it (mode 0700). Throws std::runtime_error, before anything is
// written, when an existing one is not safe to use (see
// platform::EnsurePrivateDirectory).
void PrepareWorkDir(const std::string& dir);

// Writes the named package to fileName (replacing an existing file), checking
// its SHA-256 while writing. Throws std::runtime_error: "Resource NAME not
// found", "Cannot create file "PATH". message" (also for a symbolic link or
// a special file at fileName, which is never written through), "Stream write
// error", or a damaged-package error (the file is then removed).
void SavePackage(const PackageStore& store, const std::string& name, const std::string& fileName);

// The file in the working directory that receives the unpacker's messages,
// replaced for every package.
inline constexpr const char* kRarLogName = "rar.log";

// Starts rarPath with the arguments x -o+ archive, workDir as current
// directory, no shell, no inherited descriptors, input and output to
// /dev/null and its standard error to workDir/rar.log. Nothing when it
// cannot be started.
std::optional<platform::ChildProcess> UnpackPackage(const std::string& rarPath, const std::string& archive,
                                                    const std::string& workDir);

}  // namespace package
