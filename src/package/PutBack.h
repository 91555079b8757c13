#pragma once
// The way back of the runs a folder VERSION.bak records: their program files
// put back, their folders removed, and the old runs pruned.

#include "package/RunRecord.h"
#include "view/UpdateView.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace package {

// Why the files of a run cannot be put back ("" when they can): the
// record's problem, a kept copy that is not there as a plain file, or a
// symbolic link on the way to a kept copy or to an installed file. Checked
// for every run to undo before anything is changed.
std::string PutBackProblem(const std::string& exeDir, const RunRecordData& record);

// Undoes the program files of a run: each kept file is copied back over the
// installed one and each added file is deleted, one memo line per file (its
// name, "..." and "[OK]", or an error line below it, as the installation
// writes them); a file with a symbolic link on its way fails and is not
// touched, and a record with a problem is not acted on at all (its problem
// is the one line, and one failure). Gives the number of files that failed.
int PutBackProgramFiles(view::IUpdateView& view, const std::string& exeDir, const RunRecordData& record);

// Removes the run's folder: its kept files, its record and the folder itself
// (with its Reports folder) when nothing else is in it. Nothing else is
// removed, nothing through a symbolic link, and nothing of a record with a
// problem. Failures are left: the folder stays.
void RemoveKeptFolder(const std::string& exeDir, const RunRecordData& record);

// After a run that completed cleanly: removes the runs of exeDir older than
// the newest keep, their folders and the backup files they name where they
// are this machine's files and the very file the updater names a backup of
// that record's database and version (backupPathFor). Gives the backups that
// were left (those of a server on another machine, which the updater cannot
// reach, those named otherwise, and those that could not be deleted).
// Records with a problem are left as they are.
[[nodiscard]] std::vector<std::string> PruneRuns(
    const std::string& exeDir, std::size_t keep,
    const std::function<std::string(const std::string& database, std::int32_t version)>& backupPathFor);

}  // namespace package
