#pragma once
// Installation of a package's program executables and report templates.

#include "package/StoreFormat.h"
#include "platform/Error.h"
#include "view/UpdateView.h"

#include <string>
#include <vector>

namespace package {

// Where a package carries the files the updater installs, and what their
// names end in: the program executables in its top folder and the report
// templates in Reports (the same folders below the installation).
struct ProgramFileFolder {
    const char* folder;     // "" for the top folder
    const char* extension;  // compared without regard to case
};
inline constexpr ProgramFileFolder kProgramFileFolders[] = {{"", ".exe"}, {"Reports", ".fr3"}};
// How a user text names them.
inline constexpr const char* kProgramFilePatterns = "*.exe and Reports/*.fr3";

// Whether relative, as the package store records it ("/" between parts),
// names a file the updater installs (IsRecordableName).
bool IsInstallablePath(const std::string& relative);

// The path below the installation in the system's form ("Reports\\a.fr3"
// on Windows) of one the store records.
std::string NativeRelative(std::string relative);

// The installable files of an unpacked package in dir, sorted together, as
// the installation takes them.
std::vector<std::string> ProgramFilesOf(const std::string& dir);

// The installable files of an unpacked package in dir as the store's index
// records them: their paths, sizes and SHA-256. Throws std::runtime_error
// for a file that cannot be read.
std::vector<InstallableFile> InstallableFilesIn(const std::string& dir);

// The text of a copy failure's memo line: "error (" code ") " and the
// system's message without trailing blanks, control characters or full stops.
std::string CopyErrorLine(platform::Error error);

// Copies sourceDir/*.exe and sourceDir/Reports/*.fr3 (sorted together) into
// exeDir, each replacing its target atomically, one memo line per file (see
// platform::CopyFileReplacing: regular files only, a target keeps its
// permissions, a target without write permission stays). The controls may be
// null. With a run record, each installed file is kept in the run's folder
// before it is replaced (a file that cannot be kept is not replaced, and
// that is reported as its copy failure). With only, just the files it names
// (below the installation, "/" between parts) are installed. Never throws
// for a failed copy: it is reported.
class RunRecord;
void InstallProgramFiles(view::IUpdateView& view, const std::string& exeDir, const std::string& sourceDir,
                         view::IProgressBar* bar, view::ILabel* itemLabel, view::ILabel* timeLabel,
                         RunRecord* record = nullptr, const std::vector<std::string>* only = nullptr);

// What installing a program file would do to the installation.
enum class FileChange { Added, Replaced, Unchanged };

struct ProgramFileChange {
    std::string relative;  // below the installation directory, "/" between parts ("Reports/a.fr3")
    FileChange change;
};

// What InstallProgramFiles would do with sourceDir's program files, in the
// same order, each compared by content with its target in exeDir; nothing is
// written. A target that cannot be read counts as replaced.
std::vector<ProgramFileChange> CompareProgramFiles(const std::string& exeDir, const std::string& sourceDir);

}  // namespace package
