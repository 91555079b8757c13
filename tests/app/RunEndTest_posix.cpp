// How an update run ends when it cannot go on: a termination request, a lost
// connection to the server, a closed standard output. Nothing of a package
// whose database update did not finish is installed, and the run is never
// reported as applied.
#include "app/HeadlessView.h"
#include "app/Shell.h"
#include "app/Unattended.h"

#include "RarWriter.h"
#include "UnattendedProcess_posix.h"
#include "Engines.h"
#include "TcpRelay.h"
#include "dbupdate/CDBStatement.h"
#include "dbupdate/Uglobdb.h"
#include "platform/Termination.h"

#include <chrono>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <streambuf>
#include <thread>

namespace fs = std::filesystem;
using fixture::WaitFor;
using testsupport::Installation;
using testsupport::ReadFile;

namespace {

const std::string kSeparator = "------------------------- error ------------------------------";

// A package of three scripts over INFO_DOC: first, a second one, the version.
std::string Package(int number, const std::string& firstScript)
{
    const std::string n = std::to_string(number);
    return rarformat::WriteRar4({{"up", "", true},
                                 {"up/" + n + ".001.sql", firstScript},
                                 {"up/" + n + ".002.sql", "UPDATE INFO_DOC SET KIND = KIND + 100 WHERE ID = 200;\r\n"},
                                 {"up/" + n + ".099.sql", "INSERT INTO VERSIONS (DATA) VALUES (" + n + ");\r\n"},
                                 {"nvlib.exe", "program " + n}});
}

const std::string kTwoStatements = "UPDATE INFO_DOC SET KIND = 1 WHERE ID = 200;\r\n"
                                   "INSERT INTO INFO_DOC (ID) VALUES (201);\r\n";

// A view whose pumps run a test's action at a chosen point of the run.
struct HookedView : app::HeadlessView {
    using app::HeadlessView::HeadlessView;
    std::function<void()> onPump;
    void ProcessMessages() override
    {
        if (onPump)
            onPump();
    }
};

// A stream that cuts a relay once a given memo line has been written to it.
class CutAfterLine : public std::stringbuf {
public:
    CutAfterLine(testsupport::TcpRelay& relay, std::string line) : relay_(relay), line_("\n" + line + "\n") {}

protected:
    int sync() override
    {
        if (str().find(line_) != std::string::npos)
            relay_.Cut();
        return 0;
    }

private:
    testsupport::TcpRelay& relay_;
    std::string line_;
};

}  // namespace

// SIGTERM raised while the first statement of 122.001.sql has just finished:
// it stays committed, nothing after it runs, nothing of 122 is installed.
// The updater's handlers are the installed ones during the run, after the
// engine has been loaded and attached.
TEST(RunEnd, ATerminationRequestStopsAfterTheStatementInProgress)
{
    Installation installation(121, {{"122_RAR", Package(122, kTwoStatements)}, {"123_RAR", Package(123, "")}});
    HookedView view;
    bool owned = false;
    bool sent = false;
    view.onPump = [&] {
        if (!sent && view.memo.back() == "122.001.sql") {
            owned = platform::OwnsTerminationSignals();
            sent = true;
            std::raise(SIGTERM);
        }
    };
    app::CUpdaterShell shell(view, installation.updater);
    ASSERT_EQ(shell.FormShow(), app::CheckResult::UpdatePossible);
    EXPECT_EQ(shell.btOKClick(), app::RunResult::Interrupted);
    EXPECT_TRUE(owned) << "the client library's handlers replaced the updater's";
    EXPECT_EQ(std::vector<std::string>(view.memo.end() - 3, view.memo.end()),
              (std::vector<std::string> {"Встановлення оновлення", "122.001.sql", "error"}));
    EXPECT_EQ(shell.InterruptionMessage(), "The update was interrupted at 122.001.sql of package 122; no program "
                                           "file of that package was installed");
    EXPECT_EQ(installation.Query("select KIND from INFO_DOC where ID = 200"), 1);
    EXPECT_EQ(installation.Query("select count(*) from INFO_DOC where ID = 201"), 0);
    EXPECT_EQ(installation.Version(), 121);
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 120");
    EXPECT_FALSE(fs::exists(installation.InWorkDir("123.rar")));
    EXPECT_FALSE(view.ok.visible);
    EXPECT_EQ(view.cancel.caption, "Зачинити");
}

// The real updater, connected through the server, gets SIGTERM while its
// first statement waits for a row the test holds: the statement finishes
// once the row is free and is committed, the run stops, exit code 2.
TEST(RunEnd, SigtermToTheUnattendedUpdaterThroughTheServer)
{
    const std::string server = testsupport::TestServer();
    if (server.empty())
        GTEST_SKIP() << "no Firebird server (UPDATER_FIREBIRD_SERVER=host/port names one)";
    Installation installation(121, {{"122_RAR", Package(122, kTwoStatements)}});
    installation.UseServer(server, server);
    dbupdate::CGlobDB holder("", installation.connection);
    dbupdate::CDBStatement hold(holder);
    hold.SetSQL("UPDATE INFO_DOC SET KIND = 0 WHERE ID = 200");
    hold.Execute();

    const pid_t pid = fixture::StartUnattended(installation);
    // The script's first statement, waiting for the row; the checks' own
    // statements before it are active too, and a signal then would come
    // before the run.
    const bool waiting = WaitFor([&] {
        return installation.Query("select count(*) from mon$statements where mon$state = 1 and "
                                  "mon$attachment_id <> current_connection and "
                                  "mon$sql_text containing 'SET KIND = 1 WHERE ID = 200'") > 0;
    });
    ::kill(pid, SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    holder.Rollback();
    const fixture::UnattendedResult result = fixture::FinishUnattended(installation, pid);
    ASSERT_TRUE(waiting) << "the first statement never waited";
    EXPECT_EQ(result.code, app::kExitError) << result.err;
    // The test's own attachment that holds the row is named first.
    EXPECT_TRUE(result.err.starts_with("Also attached to the database: ")) << result.err;
    EXPECT_TRUE(result.err.ends_with(")\nThe update was interrupted at 122.001.sql of package 122; no program file of "
                                     "that package was installed.\n"))
        << result.err;
    EXPECT_TRUE(result.out.ends_with("122.001.sql\nerror\n")) << result.out;
    EXPECT_EQ(installation.Query("select KIND from INFO_DOC where ID = 200"), 1);
    EXPECT_EQ(installation.Query("select count(*) from INFO_DOC where ID = 201"), 0);
    EXPECT_EQ(installation.Version(), 121);
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 120");
}

// The network goes away between 122.001.sql and 122.002.sql: the failing
// statement is logged, the run stops there with the engine's message, and
// neither the program files of 122 nor package 123 are touched.
TEST(RunEnd, ALostConnectionEndsTheRun)
{
    const std::string server = testsupport::TestServer();
    if (server.empty())
        GTEST_SKIP() << "no Firebird server (UPDATER_FIREBIRD_SERVER=host/port names one)";
    Installation installation(121, {{"122_RAR", Package(122, kTwoStatements)}, {"123_RAR", Package(123, "")}});
    testsupport::TcpRelay relay(testsupport::ServerHost(server), testsupport::ServerPort(server));
    installation.UseServer("127.0.0.1/" + std::to_string(relay.Port()), server);
    CutAfterLine cut(relay, "122.001.sql");
    std::ostream out(&cut);
    std::ostringstream err;
    const int code = app::RunUnattended(installation.updater, out, err);

    EXPECT_EQ(code, app::kExitError);
    const std::string log = installation.InWorkDir("up/122.002.sql.log");
    EXPECT_TRUE(err.str().starts_with(log + ": 1 failed statement, 0 failed blob files\n")) << err.str();
    EXPECT_NE(err.str().find("connection"), std::string::npos) << err.str();
    EXPECT_TRUE(cut.str().ends_with("122.001.sql\n122.002.sql\nerror\n")) << cut.str();
    EXPECT_TRUE(ReadFile(log).starts_with("UPDATE INFO_DOC SET KIND = KIND + 100 WHERE ID = 200\r\n" + kSeparator));
    EXPECT_EQ(installation.Query("select KIND from INFO_DOC where ID = 200"), 1);
    EXPECT_EQ(installation.Version(), 121);
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 120");
    EXPECT_FALSE(fs::exists(installation.InWorkDir("123.rar")));
}

// The embedded engine loses the run's attachment too: another connection
// ends it while the first statement of 122.001.sql has just been applied.
// The next statement fails with the connection, the run stops with the
// engine's error, and nothing after it is applied or installed.
TEST(RunEnd, AnEndedAttachmentEndsTheRunOnTheEmbeddedEngine)
{
    Installation installation(121, {{"122_RAR", Package(122, kTwoStatements)}, {"123_RAR", Package(123, "")}});
    HookedView view;
    bool ended = false;
    view.onPump = [&] {
        if (!ended && view.memo.back() == "122.001.sql") {
            ended = true;
            testsupport::RunStatements(installation.connection,
                                       {"delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID <> CURRENT_CONNECTION"});
        }
    };
    app::CUpdaterShell shell(view, installation.updater);
    ASSERT_EQ(shell.FormShow(), app::CheckResult::UpdatePossible);
    try {
        shell.btOKClick();
        ADD_FAILURE() << "the run went on without its connection";
    } catch (const dbupdate::DatabaseError& error) {
        EXPECT_TRUE(error.ConnectionLost()) << error.what();
    }
    EXPECT_EQ(std::vector<std::string>(view.memo.end() - 2, view.memo.end()),
              (std::vector<std::string> {"122.001.sql", "error"}));
    EXPECT_TRUE(ReadFile(installation.InWorkDir("up/122.001.sql.log"))
                    .starts_with("INSERT INTO INFO_DOC (ID) VALUES (201)\r\n" + kSeparator));
    EXPECT_FALSE(fs::exists(installation.InWorkDir("up/122.002.sql.log"))) << "no later script was tried";
    EXPECT_EQ(installation.Query("select KIND from INFO_DOC where ID = 200"), 1);
    EXPECT_EQ(installation.Query("select count(*) from INFO_DOC where ID = 201"), 0);
    EXPECT_EQ(installation.Version(), 121);
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 120");
    EXPECT_FALSE(fs::exists(installation.InWorkDir("123.rar")));
}

// `updater --unattended | head -1`: the closed pipe ends no run.
TEST(RunEnd, AClosedStandardOutputDoesNotEndTheRun)
{
    Installation installation(121, {{"122_RAR", Package(122, kTwoStatements)}});
    const fixture::UnattendedResult result =
        fixture::FinishUnattended(installation, fixture::StartUnattended(installation, true));
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.code, app::kExitApplied) << result.err;
    EXPECT_EQ(installation.Version(), 122);
    EXPECT_EQ(installation.Query("select KIND from INFO_DOC where ID = 200"), 101);
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 122");
}

namespace {

constexpr int kRows = 1500;

// Package 122 for the kill: a table created and filled statement by
// statement, a counter raised every tenth row, and after the first rows a
// failing statement whose run log tells the test that the inserts are under
// way.
std::string FillingPackage()
{
    std::string script = "CREATE TABLE N (ID INTEGER, V INTEGER);\r\nINSERT INTO N (ID, V) VALUES (0, 0);\r\n";
    for (int i = 1; i <= kRows; ++i) {
        script += "INSERT INTO N (ID, V) VALUES (" + std::to_string(i) + ", 0);\r\n";
        if (i % 10 == 0)
            script += "UPDATE N SET V = V + 1 WHERE ID = 0;\r\n";
        if (i == 20)
            script += "INSERT INTO NOWHERE (ID) VALUES (1);\r\n";
    }
    return rarformat::WriteRar4({{"up", "", true},
                                 {"up/122.001.sql", script},
                                 {"up/122.099.sql", "INSERT INTO VERSIONS (DATA) VALUES (122);\r\n"},
                                 {"nvlib.exe", "program 122"}});
}

// The unattended updater killed (SIGKILL) in the middle of 122.001.sql, then
// run again: every statement is applied once, the table created before the
// kill included, and the package completes.
void KillAndRunAgain(Installation& installation)
{
    const std::string log = installation.InWorkDir("up/122.001.sql.log");
    const pid_t pid = fixture::StartUnattended(installation);
    for (int i = 0; i < 30000 && !fs::exists(log); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::kill(pid, SIGKILL);
    const fixture::UnattendedResult killed = fixture::FinishUnattended(installation, pid);
    ASSERT_EQ(killed.signal, SIGKILL) << killed.out << killed.err;
    const long long before = installation.Query("select count(*) from N");
    const long long raisedBefore = installation.Query("select V from N where ID = 0");
    EXPECT_TRUE(before > 1 && before <= kRows) << before << " rows: the kill was not in the middle of the script";
    EXPECT_EQ(installation.Version(), 121);

    const fixture::UnattendedResult rerun =
        fixture::FinishUnattended(installation, fixture::StartUnattended(installation));
    EXPECT_EQ(rerun.code, app::kExitFailures) << rerun.err;
    EXPECT_EQ(installation.Query("select count(distinct ID) from N"), kRows + 1);
    EXPECT_EQ(installation.Query("select count(*) from N"), kRows + 1);
    EXPECT_EQ(installation.Query("select V from N where ID = 0"), kRows / 10);
    EXPECT_EQ(installation.Version(), 122);
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 122");
    // The failing statement was tried again and is the log's only entry: the
    // CREATE TABLE was not run twice.
    const std::string entries = ReadFile(log);
    EXPECT_TRUE(entries.starts_with("INSERT INTO NOWHERE (ID) VALUES (1)\r\n" + kSeparator)) << entries;
    EXPECT_EQ(entries.find(kSeparator, entries.find(kSeparator) + 1) + kSeparator.size() + 4, entries.size());
    // The summary: statements of this run, skipped ones applied before the kill.
    const std::string script = "from NVX$UPDATE_JOURNAL where SCRIPT_NAME = '122.001.sql'";
    EXPECT_EQ(installation.Query("select count(*) from NVX$UPDATE_JOURNAL where STATEMENT_NO > 0"), 0);
    EXPECT_EQ(installation.Query("select EXECUTED + SKIPPED " + script), 2 + kRows + kRows / 10);
    EXPECT_EQ(installation.Query("select SKIPPED " + script), 1 + before + raisedBefore);
    EXPECT_EQ(installation.Query("select FAILED " + script), 1);
}

}  // namespace

class RunEndOnEachEngine : public testsupport::OnEachEngine {};
RUN_ON_EACH_ENGINE(RunEndOnEachEngine);

TEST_P(RunEndOnEachEngine, AKilledRunAppliesNothingTwiceWhenRunAgain)
{
    Installation installation(121, {{"122_RAR", FillingPackage()}});
    UseEngine(installation);
    KillAndRunAgain(installation);
}
