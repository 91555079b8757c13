#pragma once
// The updater's one database connection (CGlobDB), its statement object
// (CDBStatement) and the error both raise (DatabaseError).

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <ibase.h>

namespace dbupdate {

struct FbApi;

// An error of the connection or a statement. For errors reported by the
// engine it also carries the engine's SQL code and error code; for errors
// detected by the updater itself both are 0.
class DatabaseError : public std::runtime_error {
public:
    explicit DatabaseError(const std::string& message, int sqlCode = 0, long errorCode = 0,
                           bool connectionLost = false)
        : std::runtime_error(message), sqlCode_(sqlCode), errorCode_(errorCode), connectionLost_(connectionLost) {}
    int SqlCode() const noexcept { return sqlCode_; }
    long ErrorCode() const noexcept { return errorCode_; }
    // The connection itself failed (see IsConnectionLevelError): no later
    // statement can succeed on it.
    bool ConnectionLost() const noexcept { return connectionLost_; }

private:
    int sqlCode_;
    long errorCode_;
    bool connectionLost_;
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

// The clusters of a status vector, up to its end.
std::vector<StatusItem> StatusItems(const ISC_STATUS* status);

// Whether any error code of a status vector is one of codes.
bool HasErrorCode(const ISC_STATUS* status, std::span<const ISC_STATUS> codes);

// Forms an engine error's message from the status lines as the client library
// renders them: lines joined with CR LF (none after a line that already ends
// in LF), one trailing "." removed.
std::string FormEngineMessage(const std::vector<std::string>& statusLines);

// The connection string: server (surrounding blanks removed) + ":" + path
// when server is not blank, else path alone.
std::string BuildConnectionString(const std::string& server, const std::string& path);

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

    // Raises the DatabaseError of a failed client call.
    [[noreturn]] void Raise(const ISC_STATUS* status) const;

private:
    void Detach() noexcept;

    const FbApi& api_;
    std::string exeDir_;
    std::string connectionString_;
    std::vector<std::string> params_;
    unsigned short dialect_ = 3;
    isc_db_handle db_ = 0;
    isc_tr_handle tr_ = 0;
    std::uint64_t transactionSerial_ = 0;
};

// Result of the placeholder scan: the text with every placeholder replaced by
// "?" and the placeholders' names in order.
struct ParsedParams {
    std::string text;
    std::vector<std::string> names;
};

// Scans an SQL text for placeholders (":" or "?" followed by a name of
// letters, digits, "_" and "$", or a double-quoted name), outside quoted
// literals and /* */ comments. Throws DatabaseError "SQL Parse Error:" CR LF
// CR LF and the reason.
ParsedParams ScanParams(const std::string& sql);

class CDBStatement {
public:
    explicit CDBStatement(CGlobDB& db);
    CDBStatement(const CDBStatement&) = delete;
    CDBStatement& operator=(const CDBStatement&) = delete;
    ~CDBStatement();

    // Replaces the text (split into lines at CR, LF or CR LF) and unprepares.
    void SetSQL(const std::string& text);
    // The text: every line followed by CR LF.
    std::string SQL() const;
    // Switches placeholder recognition (on by default).
    void SetParamCheck(bool on) noexcept { paramCheck_ = on; }

    // Prepares if needed and executes once in the connection's transaction.
    // A SELECT is left on its first row. Throws DatabaseError ("Empty query",
    // "Transaction is not active", parse errors, engine errors).
    void Execute();
    // True when there is no current row.
    bool Eof() const noexcept { return eof_; }
    // The named column of the current row as an integer. Throws DatabaseError
    // ("Field "name" not found", "Invalid data conversion").
    std::int32_t FieldAsInteger(const std::string& name);
    // Moves to the next row of an open result set; Eof tells whether there
    // was one. Throws DatabaseError.
    void Next();
    // The named text column of the current row (CHAR values without their
    // padding). Throws DatabaseError ("Field "name" not found", "Invalid data
    // conversion").
    std::string FieldAsText(const std::string& name);
    // Creates a blob holding the whole file in the connection's transaction and
    // binds it to the named input parameter. Throws DatabaseError ("Field
    // "name" not found", "Cannot open file "path". message", engine errors).
    void LoadParamFromFile(const std::string& name, const std::string& path);
    // Binds a value to the named input parameter for the next Execute; the
    // engine converts it to the parameter's type. Throws DatabaseError.
    void SetParamInteger(const std::string& name, std::int32_t value);
    void SetParamText(const std::string& name, const std::string& value);
    // Closes an open result set; no effect otherwise.
    void Close() noexcept;

private:
    struct Sqlda;
    void Prepare();
    void Unprepare() noexcept;
    // Fetches the open cursor's next row into the output variables; Eof
    // tells whether there was one.
    void Fetch();
    int FindColumn(const std::string& name) const;
    // The input variables of the named parameter (prepares if needed).
    std::vector<int> ParamPositions(const std::string& name);
    // Gives the input variables at positions a value of sqlType in bytes.
    void BindParam(const std::vector<int>& positions, short sqlType, const void* bytes, std::size_t size);

    CGlobDB& db_;
    const FbApi& api_;
    std::vector<std::string> lines_;
    bool paramCheck_ = true;
    isc_stmt_handle stmt_ = 0;
    bool prepared_ = false;
    int statementType_ = 0;
    std::vector<std::string> paramNames_;
    std::unique_ptr<Sqlda> in_;
    std::unique_ptr<Sqlda> out_;
    bool cursorOpen_ = false;
    std::uint64_t cursorSerial_ = 0;
    bool eof_ = true;
};

}  // namespace dbupdate
