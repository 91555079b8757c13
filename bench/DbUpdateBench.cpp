// Statements per second of the script runner against the engine's own script
// tool (isql-fb), MB/s of blob loading, and what the update lock adds to the
// checks.
#include "TestSupport.h"
#include "app/HeadlessView.h"
#include "dbupdate/BlobLoader.h"
#include "dbupdate/DatabaseUpdate.h"
#include "dbupdate/StatementSplitter.h"
#include "dbupdate/Uglobdb.h"
#include "dbupdate/UpdateLock.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

static double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The script runner with and without the update journal against isql-fb, on
// three copies of one fresh database. With forced writes every page a commit
// changed is written synchronously, and the journal's row adds one data page
// to each commit; without them the figures show the processing alone.
static void CompareWithIsql(const testsupport::TempDir& dir, int statements, bool forcedWrites)
{
    const std::string tag = forcedWrites ? "fw" : "async";
    const std::string journalled = dir / (tag + "-journal.fdb");
    const std::string unjournalled = dir / (tag + "-plain.fdb");
    const std::string copy = dir / (tag + "-isql.fdb");
    testsupport::CreateVersionDatabase(journalled);
    testsupport::RunStatements(journalled, {"create table T (ID integer, S varchar(50))"});
    if (!forcedWrites) {
        const std::string gfix = std::string("gfix -write async -user SYSDBA -password ") +
                                 dbupdate::kDefaultPassword + " '" + journalled + "'";
        if (std::system(gfix.c_str()) != 0)
            std::printf("gfix failed: forced writes stay on\n");
    }
    fs::copy_file(journalled, unjournalled);
    fs::copy_file(journalled, copy);

    std::string script;
    {
        std::ofstream isql(dir / "isql.sql", std::ios::binary);
        for (int i = 0; i < statements; ++i) {
            const std::string statement = "insert into T (ID, S) values (" + std::to_string(i) + ", 'row " +
                                          std::to_string(i) + "');";
            script += statement + "\r\n";
            isql << statement << "\ncommit;\n";
        }
    }

    // One package: the statements, then its version, so that the journal's
    // summary is part of the figure.
    app::HeadlessView view;
    auto runScript = [&](const std::string& path, bool journal) {
        fs::remove_all(dir / "work");
        fs::create_directories(dir / "work/up");
        std::ofstream(dir / "work/up/bench.sql", std::ios::binary) << script;
        std::ofstream(dir / "work/up/version.sql", std::ios::binary) << "INSERT INTO VERSIONS (DATA) VALUES (1);\r\n";
        dbupdate::CGlobDB db("", path);
        dbupdate::UpdateContext context {view, db, {}};
        if (journal)
            context.journal.BeginPackage(1);
        else
            context.journal.Disable();
        const auto start = Clock::now();
        dbupdate::UpdateDatabase(context, dir / "work", &view.bar, &view.file, &view.updateTime);
        return Seconds(start);
    };
    const double journalSeconds = runScript(journalled, true);
    const double plainSeconds = runScript(unjournalled, false);
    const long long inserted = testsupport::QueryInteger(journalled, "select count(*) from T");

    const std::string command = std::string("isql-fb -q -user SYSDBA -password ") + dbupdate::kDefaultPassword +
                                " -i '" + (dir / "isql.sql") + "' '" + copy +
                                "' > /dev/null 2>&1";
    const auto isqlStart = Clock::now();
    const int isqlStatus = std::system(command.c_str());
    const double isqlSeconds = Seconds(isqlStart);
    const long long isqlInserted = testsupport::QueryInteger(copy, "select count(*) from T");

    std::printf("forced writes %s:\n", forcedWrites ? "on (as created)" : "off");
    std::printf("  script runner, journal:    %d statements in %.2f s = %.0f statements/s (%lld rows)\n", statements,
                journalSeconds, statements / journalSeconds, inserted);
    std::printf("  script runner, no journal: %d statements in %.2f s = %.0f statements/s\n", statements,
                plainSeconds, statements / plainSeconds);
    std::printf("  isql-fb:                   %d statements in %.2f s = %.0f statements/s (%lld rows, exit %d)\n",
                statements, isqlSeconds, statements / isqlSeconds, isqlInserted, isqlStatus);
    std::printf("  journal cost: %.0f%%; ratio runner/isql-fb: %.2f with the journal, %.2f without\n",
                (journalSeconds / plainSeconds - 1) * 100, isqlSeconds / journalSeconds, isqlSeconds / plainSeconds);
}

// The update lock taken right after connecting, as the checks take it: on a
// database without its table (created then), on one with it, and refused by
// another connection's lock (the holder looked up). Embedded, and through the
// server that UPDATER_FIREBIRD_SERVER names.
static void LockCost(const testsupport::TempDir& dir, const std::string& server)
{
    using Outcome = dbupdate::UpdateLock::Outcome;
    constexpr int kRounds = 20;
    const std::string prefix = server.empty() ? "" : server + ":";
    auto connect = [&](const std::string& path) {
        auto db = std::make_unique<dbupdate::CGlobDB>("", "");
        db->Connect("", prefix + path, "", "");
        return db;
    };
    double creating = 0;
    double existing = 0;
    double refused = 0;
    for (int round = 0; round < kRounds; ++round) {
        const std::string path = dir / ("lock" + std::to_string(round) + (server.empty() ? "e" : "s") + ".fdb");
        testsupport::CreateVersionDatabase(path);
        for (int run = 0; run < 2; ++run) {
            auto db = connect(path);
            dbupdate::UpdateLock lock(*db);
            const auto start = Clock::now();
            if (lock.Acquire() != Outcome::Held)
                std::printf("the lock was not taken: %s\n", lock.Reason().c_str());
            (run == 0 ? creating : existing) += Seconds(start);
        }
        auto holder = connect(path);
        dbupdate::UpdateLock held(*holder);
        held.Acquire();
        auto other = connect(path);
        dbupdate::UpdateLock lock(*other);
        const auto start = Clock::now();
        if (lock.Acquire() != Outcome::HeldElsewhere || !lock.Holder())
            std::printf("the lock was not refused with its holder\n");
        refused += Seconds(start);
    }
    std::printf("update lock (%s, mean of %d): %.1f ms creating its table, %.1f ms with it, %.1f ms refused\n",
                server.empty() ? "embedded" : server.c_str(), kRounds, creating / kRounds * 1000,
                existing / kRounds * 1000, refused / kRounds * 1000);
}

int main(int argc, char** argv)
{
    const int statements = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int blobMegabytes = argc > 2 ? std::atoi(argv[2]) : 100;
    testsupport::TempDir dir;
    CompareWithIsql(dir, statements, true);
    CompareWithIsql(dir, statements, false);

    const std::string database = dir / "blob.fdb";
    testsupport::CreateDatabase(database);
    testsupport::RunStatements(database, {"create table B (ID integer, DATA blob)", "insert into B (ID) values (1)"});
    fs::create_directories(dir / "work/up");
    app::HeadlessView view;
    {
        std::ofstream blob(dir / "work/up/B.DATA.ID 1.blo", std::ios::binary);
        std::string block(1 << 20, 'b');
        for (int i = 0; i < blobMegabytes; ++i) {
            block[static_cast<std::size_t>(i)] = static_cast<char>(i);
            blob << block;
        }
    }
    dbupdate::CGlobDB db("", database);
    dbupdate::UpdateContext context {view, db, {}};
    const auto blobStart = Clock::now();
    dbupdate::LoadBlobFile(context, dir / "work/up/B.DATA.ID 1.blo");
    const double blobSeconds = Seconds(blobStart);
    const long long stored = testsupport::QueryInteger(database, "select octet_length(DATA) from B where ID = 1");
    std::printf("blob loading:  %d MB in %.2f s = %.1f MB/s (%lld bytes stored)\n", blobMegabytes, blobSeconds,
                blobMegabytes / blobSeconds, stored);

    // One long statement (a big EXECUTE BLOCK, or a script whose terminator
    // was lost): the time grows with its size, not with its square.
    for (const int lines : {10000, 40000}) {
        dbupdate::StatementSplitter splitter;
        std::string statement;
        splitter.Feed("SET TERM ^ ;", statement);
        const auto splitStart = Clock::now();
        for (int i = 0; i < lines; ++i)
            splitter.Feed("  insert into T (ID, S) values (" + std::to_string(i) + ", 'it''s a row');  ", statement);
        splitter.Feed("^", statement);
        std::printf("splitter:      one statement of %d lines in %.3f s\n", lines, Seconds(splitStart));
    }
    LockCost(dir, "");
    if (const std::string server = testsupport::TestServer(); !server.empty())
        LockCost(dir, server);
    return 0;
}
