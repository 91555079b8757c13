#pragma once
// The update journal: a table in the application's database where the updater
// records every script statement it applies, in the statement's own
// transaction. A rerun after an interrupted update skips the statements an
// earlier run committed, so no statement is applied twice.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace dbupdate {

class CGlobDB;
class CDBStatement;

inline constexpr const char* kJournalTable = "NVX$UPDATE_JOURNAL";

// One row per applied statement while its package is incomplete (keyed by
// package, script file name, the statement's ordinal in the script and the
// SHA-256 of its text); once the package is complete, one summary row per
// script instead (STATEMENT_NO 0).
inline constexpr const char* kCreateJournalTable =
    "CREATE TABLE NVX$UPDATE_JOURNAL (\n"
    "  PACKAGE_NO INTEGER NOT NULL,\n"
    "  SCRIPT_NAME VARCHAR(255) CHARACTER SET NONE NOT NULL,\n"
    "  STATEMENT_NO INTEGER NOT NULL,\n"
    "  TEXT_HASH CHAR(64) CHARACTER SET NONE,\n"
    "  STARTED_AT TIMESTAMP,\n"
    "  FINISHED_AT TIMESTAMP NOT NULL,\n"
    "  EXECUTED INTEGER,\n"
    "  SKIPPED INTEGER,\n"
    "  FAILED INTEGER)";

// A package as the journal records its runs: when its first statement
// began and its last ended ("YYYY-MM-DD HH:MM:SS", the server's time), and
// its statements.
struct JournalPackage {
    std::int32_t package = 0;
    std::string started;
    std::string finished;
    int executed = 0;
    int skipped = 0;
    int failed = 0;
};

// The last count packages the journal records, newest first; none when it
// has no table or cannot be read. Throws DatabaseError for a lost
// connection.
std::vector<JournalPackage> ReadJournalPackages(CGlobDB& db, int count);

// What happened to one statement of a script in this run.
enum class StatementOutcome { Executed, Skipped, Failed };

// One script's statements in this run, for its summary row.
struct ScriptTally {
    std::string script;
    int executed = 0;
    int skipped = 0;  // applied by an earlier run
    int failed = 0;
};

class UpdateJournal {
public:
    explicit UpdateJournal(CGlobDB& db);
    UpdateJournal(const UpdateJournal&) = delete;
    UpdateJournal& operator=(const UpdateJournal&) = delete;
    ~UpdateJournal();

    // Runs every later statement as without a journal (for measurements).
    void Disable() noexcept;
    // The package whose scripts run next. Without a package the journal is
    // not used: its rows could not be told apart.
    void BeginPackage(std::int64_t package);

    // Before the first statement of a script. The run's first call opens the
    // journal: the table is created in a transaction of its own when it is
    // missing; when it cannot be, the reason goes to logPath once and the run
    // goes on without a journal. Then reads which statements of the script an
    // earlier run applied. A lost connection is raised.
    void BeginScript(const std::string& script, const std::string& logPath);
    // The journal is open and a package is being applied.
    bool Active() const noexcept { return state_ == State::Active && package_ != 0; }
    // Whether an earlier run applied the statement with this ordinal and hash.
    bool Applied(int ordinal, const std::string& hash) const;
    // Inserts the statement's row in the open transaction, so it is committed
    // or rolled back with the statement. When the journal fails otherwise than
    // by a lost connection, its transaction is rolled back, the reason goes to
    // logPath and the run goes on without a journal.
    void Record(int ordinal, const std::string& hash, const std::string& logPath);
    // Counts a statement of the current script.
    void Count(StatementOutcome outcome) noexcept;

    // After the package's scripts: when the database's version has reached
    // the package, its statement rows are replaced by one summary row per
    // script of this run, in one transaction. A failure there goes to logPath
    // (the rows stay, which does no harm); a lost connection is raised.
    void CompletePackage(const std::string& logPath);

    const std::vector<ScriptTally>& Tallies() const noexcept { return tallies_; }

private:
    enum class State { Unopened, Active, Unavailable };
    void Open(const std::string& logPath);
    void GiveUp(const std::string& logPath, const std::exception& error);

    CGlobDB& db_;
    State state_ = State::Unopened;
    std::int64_t package_ = 0;
    std::set<std::pair<int, std::string>> applied_;
    std::vector<ScriptTally> tallies_;  // the last one is the current script's
    std::unique_ptr<CDBStatement> insert_;
};

}  // namespace dbupdate
