// Statements per second of the script runner against the engine's own script
// tool (isql-fb), and MB/s of blob loading.
#include "TestSupport.h"
#include "app/HeadlessView.h"
#include "dbupdate/BlobLoader.h"
#include "dbupdate/ScriptRunner.h"
#include "dbupdate/Uglobdb.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

static double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

int main(int argc, char** argv)
{
    const int statements = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int blobMegabytes = argc > 2 ? std::atoi(argv[2]) : 100;
    testsupport::TempDir dir;
    const std::string database = dir / "bench.fdb";
    const std::string copy = dir / "isql.fdb";
    testsupport::CreateDatabase(database);
    testsupport::RunStatements(database, {"create table T (ID integer, S varchar(50))",
                                          "create table B (ID integer, DATA blob)", "insert into B (ID) values (1)"});
    fs::copy_file(database, copy);

    fs::create_directories(dir / "work/up");
    {
        std::ofstream runner(dir / "work/up/bench.sql", std::ios::binary);
        std::ofstream isql(dir / "isql.sql", std::ios::binary);
        for (int i = 0; i < statements; ++i) {
            const std::string statement = "insert into T (ID, S) values (" + std::to_string(i) + ", 'row " +
                                          std::to_string(i) + "');";
            runner << statement << "\r\n";
            isql << statement << "\ncommit;\n";
        }
    }

    app::HeadlessView view;
    double runnerSeconds = 0;
    {
        dbupdate::CGlobDB db("", database);
        dbupdate::UpdateContext context {view, db, {}};
        const auto start = Clock::now();
        dbupdate::UpdateDatabase(context, dir / "work", &view.bar, &view.file, &view.updateTime);
        runnerSeconds = Seconds(start);
    }
    const long long inserted = testsupport::QueryInteger(database, "select count(*) from T");

    const std::string command = "isql-fb -q -user SYSDBA -password pinewharf -i '" + (dir / "isql.sql") + "' '" + copy +
                                "' > /dev/null 2>&1";
    const auto isqlStart = Clock::now();
    const int isqlStatus = std::system(command.c_str());
    const double isqlSeconds = Seconds(isqlStart);
    const long long isqlInserted = testsupport::QueryInteger(copy, "select count(*) from T");

    std::printf("script runner: %d statements in %.2f s = %.0f statements/s (%lld rows)\n", statements,
                runnerSeconds, statements / runnerSeconds, inserted);
    std::printf("isql-fb:       %d statements in %.2f s = %.0f statements/s (%lld rows, exit %d)\n", statements,
                isqlSeconds, statements / isqlSeconds, isqlInserted, isqlStatus);
    std::printf("ratio runner/isql-fb: %.2f\n", isqlSeconds / runnerSeconds);

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
    return 0;
}
