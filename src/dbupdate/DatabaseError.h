#pragma once
// The error of the connection and its statements (DatabaseError), and how a
// client call's status vector becomes one.

#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <ibase.h>

namespace dbupdate {

struct FbApi;

// An error of the connection or a statement. For errors reported by the
// engine it also carries the engine's SQL code and error code, and the client
// operation that failed ("CGlobDB::Commit"); for errors detected by the
// updater itself the codes are 0. The message is the engine's text alone:
// the operation is kept apart from it.
class DatabaseError : public std::runtime_error {
public:
    explicit DatabaseError(const std::string& message, int sqlCode = 0, long errorCode = 0,
                           bool connectionLost = false, std::string operation = {})
        : std::runtime_error(message),
          sqlCode_(sqlCode),
          errorCode_(errorCode),
          connectionLost_(connectionLost),
          operation_(std::move(operation))
    {
    }
    int SqlCode() const noexcept { return sqlCode_; }
    long ErrorCode() const noexcept { return errorCode_; }
    // The connection itself failed (see IsConnectionLevelError): no later
    // statement can succeed on it.
    bool ConnectionLost() const noexcept { return connectionLost_; }
    // "Class::Method" of the client call that failed; empty for the
    // updater's own errors.
    const std::string& Operation() const noexcept { return operation_; }

private:
    int sqlCode_;
    long errorCode_;
    bool connectionLost_;
    std::string operation_;
};

// Whether a status vector reports the loss of the connection: the network
// failed, the server or the database was shut down, or the attachment was
// ended. Any of its error codes counts, not only the first.
bool IsConnectionLevelError(const ISC_STATUS* status);

// Whether a client call's status vector reports a failure.
inline bool CallFailed(const ISC_STATUS* status) noexcept { return status[0] == 1 && status[1] != 0; }

// One cluster of a status vector: an argument type (isc_arg_gds,
// isc_arg_number, ...) and its value (for a string, its address).
struct StatusItem {
    ISC_STATUS type;
    ISC_STATUS value;
};

// The clusters of a status vector (ISC_STATUS_LENGTH items), up to its end
// or its bound, whichever comes first.
std::vector<StatusItem> StatusItems(const ISC_STATUS* status);

// Whether any error code of a status vector is one of codes.
bool HasErrorCode(const ISC_STATUS* status, std::span<const ISC_STATUS> codes);

// Forms an engine error's message from the status lines as the client library
// renders them: lines joined with CR LF (none after a line that already ends
// in LF), one trailing "." removed.
std::string FormEngineMessage(const std::vector<std::string>& statusLines);

// The DatabaseError of a failed client call, its message rendered by the
// client library.
DatabaseError StatusError(const FbApi& api, const ISC_STATUS* status, const char* operation);

// Checks a client call's status vector: raises its StatusError when the call
// failed.
inline void Check(const FbApi& api, const ISC_STATUS* status, const char* operation)
{
    if (CallFailed(status))
        throw StatusError(api, status, operation);
}

// Whether the error of an attachment says that the database itself cannot be
// used: it is shut down, or its file is not a database or is damaged. A
// database that is missing, locked by another engine or on a server that
// does not answer does not count.
bool IsUnusableDatabaseError(const DatabaseError& error);

}  // namespace dbupdate
