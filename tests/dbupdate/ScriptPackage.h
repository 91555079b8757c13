#pragma once
// The scripts' package of the script runner's and the journal's tests, and
// the run log's entries as they are expected byte for byte.

#include "UnpackedPackage.h"

#include <string>

// The run log's separator line, 62 characters.
inline const std::string kSeparator = "------------------------- error ------------------------------";

inline std::string Framed(const std::string& message) { return kSeparator + "\r\n" + message + "\r\n" + kSeparator + "\r\n\r\n"; }

// A package whose scripts work on a table T, a generator and a department.
struct Package : UnpackedPackage {
    Package()
        : UnpackedPackage({"create table T (ID integer, S varchar(200))", "create generator G1",
                           "create table department (dept_no integer, mngr_no integer)",
                           "insert into department values (1, 5)"}) {}
    void Script(const std::string& name, const std::string& text) { Write(name, text); }
    long long Count(const std::string& where = "") { return testsupport::QueryInteger(database, "select count(*) from T " + where); }
    std::string Log(const std::string& script) { return testsupport::ReadFile(In(script + ".log")); }
};
