#pragma once
// How an extraction fails: with the archiver's exit code and a message.

#include <iosfwd>
#include <string>

namespace rarformat {

struct Failure {
    int code;
    std::string message;
};

// Reports the exception in flight on err ("rar: " and its message) and gives
// the exit code for it: a Failure's own, kFatal for any other error. Call it
// from a catch block only.
int ReportFailure(std::ostream& err);

}  // namespace rarformat
