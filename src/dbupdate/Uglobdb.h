#pragma once
// The updater's one database connection (CGlobDB): the attachment and the
// transaction its statements run in. Its statements are CDBStatement
// (CDBStatement.h); both raise DatabaseError (DatabaseError.h).

#include "dbupdate/DatabaseError.h"

#include <cstdint>
#include <string>
#include <vector>

#include <ibase.h>

namespace dbupdate {

struct FbApi;

// The connection string: server (surrounding blanks removed) + ":" + path
// when server is not blank, else path alone.
std::string BuildConnectionString(const std::string& server, const std::string& path);

// The items of an attachment's parameter block (a database's or a service
// manager's) that name the account: the user name and the password, each
// with a 1-byte length (longer values are cut at 255 bytes).
std::string AccountItems(const std::string& user, const std::string& password);

// The default account used when no user name is given.
inline constexpr const char* kDefaultUser = "sysdba";
inline constexpr const char* kDefaultPassword = "pinewharf";

class CGlobDB {
public:
    // Loads the client library (throws std::runtime_error when it is missing)
    // and connects when path is not blank. exeDir is the directory whose
    // "norvexlib.fdb" is used for a blank path.
    CGlobDB(const std::string& server, const std::string& path, std::string exeDir = {});
    CGlobDB(const CGlobDB&) = delete;
    CGlobDB& operator=(const CGlobDB&) = delete;
    // Rolls back an open transaction and detaches; errors are swallowed.
    ~CGlobDB();

    // Attaches and starts the transaction; an empty user means the default
    // account. Throws DatabaseError.
    void Connect(const std::string& server, const std::string& path, const std::string& user,
                 const std::string& password);
    // The installed version: "data" of the newest row of versions, 0 for an
    // empty table. Needs the transaction started. Throws DatabaseError.
    std::int32_t GetVersion();

    bool Attached() const noexcept { return db_ != 0; }
    bool InTransaction() const noexcept { return tr_ != 0; }
    void StartTransaction();
    // Starts a transaction of the caller's own with the given parameter block
    // (empty for the engine's defaults), beside the connection's; the caller
    // ends it. Throws DatabaseError.
    isc_tr_handle StartOwnTransaction(const std::string& parameters);
    void Commit();
    void Rollback();

    const std::string& ConnectionString() const noexcept { return connectionString_; }
    unsigned short Dialect() const noexcept { return dialect_; }
    const std::vector<std::string>& Params() const noexcept { return params_; }

    // For CDBStatement: the client library and the handles.
    const FbApi& Api() const noexcept { return api_; }
    isc_db_handle* DbHandle() noexcept { return &db_; }
    isc_tr_handle* TrHandle() noexcept { return &tr_; }
    // Counts started transactions, so a statement can tell whether its result
    // set was closed by the end of the transaction it was opened in.
    std::uint64_t TransactionSerial() const noexcept { return transactionSerial_; }

    // Rolls back an open transaction and detaches; errors are swallowed.
    // Connect attaches again.
    void Detach() noexcept;

private:

    const FbApi& api_;
    std::string exeDir_;
    std::string connectionString_;
    std::vector<std::string> params_;
    unsigned short dialect_ = 3;
    isc_db_handle db_ = 0;
    isc_tr_handle tr_ = 0;
    std::uint64_t transactionSerial_ = 0;
};

}  // namespace dbupdate
