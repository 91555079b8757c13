#pragma once
// How an extraction fails: with the archiver's exit code and a message.

#include <iosfwd>
#include <stdexcept>
#include <string>

namespace rarformat {

// An extraction that cannot go on: its exit code and its message.
class Failure : public std::runtime_error {
public:
    Failure(int code, const std::string& message) : std::runtime_error(message), code(code) {}
    int code;
};

// Reports the exception in flight on err ("rar: " and its message) and gives
// the exit code for it: a Failure's own, kFatal for any other error. Call it
// from a catch block only.
int ReportFailure(std::ostream& err);

}  // namespace rarformat
