#pragma once
// updater-pack check: a static check of update packages for their
// publisher, with no database. It runs the updater's own statement splitter
// over each script and reports where the updater would do what the script's
// author most likely did not mean, and what in a package the updater cannot
// use.

#include "package/StoreWriter.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace packtool {

struct Finding {
    std::string file;  // a script ("122.rar/up/122.001.sql") or a package ("122.rar")
    int line = 0;      // from 1; 0 for a finding about the whole file
    bool error = true;  // else a warning
    std::string message;
};

// "FILE:LINE: error: message", or "FILE: warning: message" without a line.
std::string FindingText(const Finding& finding);

// What the updater's splitter makes of one script.
struct ScriptCheck {
    std::vector<std::string> statements;  // as the updater sends them
    std::vector<Finding> findings;
};

// Splits a script's lines (as the updater reads them) as the updater does
// and reports: a statement without its terminator at the end, a comment line
// that ends in the terminator, a terminator followed by a comment on its
// line, a terminator of more than one character, a malformed SET TERM, the
// terminator still changed at the end, and an empty statement. file names the
// script in the findings.
ScriptCheck CheckScript(const std::string& file, const std::vector<std::string>& lines);

// Whether a statement inserts number into the versions table the updater
// reads ("INSERT INTO VERSIONS (DATA) VALUES (122)", in any letter case).
bool InsertsVersion(const std::string& statement, std::int32_t number);

// Why the blob loader cannot take a file name apart into a table, a column
// (which names the statement's parameter) and key conditions "NAME VALUE";
// empty when it can.
std::string BlobNameProblem(const std::string& fileName);

// Whether script name a runs before b by their numbers ("122.9.sql" before
// "122.10.sql"): dot-separated parts compared as numbers where both are.
bool NumericallyBefore(const std::string& a, const std::string& b);

// The findings about the package names an updater carries (or the packages
// given together), under label: a name the updater would not take, a
// number given twice, a number missing between the lowest and the highest
// (the update would stop there).
std::vector<Finding> CheckNumbers(const std::string& label, const std::vector<std::string>& names);

// One package unpacked into dir: its scripts in the updater's order with
// the number of statements of each, and the findings.
struct PackageCheck {
    std::vector<std::pair<std::string, std::size_t>> scripts;
    std::vector<Finding> findings;
};

// Checks a package unpacked in dir, whose findings name it label: each
// script (CheckScript), scripts that run in another order than their
// numbers, no script that inserts number into the versions table (the
// package's run would never be complete), blob file names that do not take
// apart, and files the updater neither runs, loads nor installs.
PackageCheck CheckUnpackedPackage(const std::string& label, std::int32_t number, const std::string& dir);

// Checks packages (RAR files with their package names): prints each
// package's scripts and statements and every finding to out; gives whether
// none is an error. Records the installable files of each package that
// unpacks in its files, for the store's index. Throws std::runtime_error for
// a file that cannot be read or is no RAR archive.
bool CheckPackages(std::vector<package::PackageSource>& packages, std::ostream& out);

// The installable files of a package (a RAR archive), unpacked as the
// updater's unpacker does. Throws std::runtime_error when it does not unpack.
std::vector<package::InstallableFile> InstallableFilesOfArchive(const std::string& archive);

// The same for the packages an updater carries. Throws std::runtime_error
// for an updater that cannot be read.
bool CheckUpdater(const std::string& updater, std::ostream& out);

}  // namespace packtool
