// One update at a time per database: workstations of a networked
// installation that update one server database together. Each updater runs
// in a process namespace of its own where it needs to, so that only the
// database can tell it about the others.
#include "app/HeadlessView.h"
#include "app/Shell.h"
#include "app/Unattended.h"

#include "RarWriter.h"
#include "UnattendedProcess_posix.h"
#include "dbupdate/CDBStatement.h"
#include "dbupdate/Uglobdb.h"

#include <csignal>
#include <gtest/gtest.h>
#include <regex>

using fixture::WaitFor;
using testsupport::Installation;

namespace {

constexpr int kRows = 3000;
// CREATE TABLE N, CREATE TABLE C, the counter's row, the rows and a raise
// of the counter after every tenth one.
constexpr int kStatements = 3 + kRows + kRows / 10;

// Package 122: table N, 3,000 single-row inserts, a counter raised every
// tenth row, then the version.
std::string CountingPackage()
{
    std::string script = "CREATE TABLE N (ID INTEGER);\r\nCREATE TABLE C (V INTEGER);\r\nINSERT INTO C (V) VALUES (0);\r\n";
    for (int row = 1; row <= kRows; ++row) {
        script += "INSERT INTO N (ID) VALUES (" + std::to_string(row) + ");\r\n";
        if (row % 10 == 0)
            script += "UPDATE C SET V = V + 1;\r\n";
    }
    return rarformat::WriteRar4({{"up", "", true},
                                 {"up/122.001.sql", script},
                                 {"up/122.099.sql", "INSERT INTO VERSIONS (DATA) VALUES (122);\r\n"},
                                 {"nvlib.exe", "program 122"}});
}

// Every row once, the counter at 300, the version row once.
void ExpectAppliedOnce(const Installation& installation)
{
    EXPECT_EQ(installation.Query("select count(*) from N"), kRows);
    EXPECT_EQ(installation.Query("select count(distinct ID) from N"), kRows);
    EXPECT_EQ(installation.Query("select V from C"), kRows / 10);
    EXPECT_EQ(installation.Query("select count(*) from VERSIONS where DATA = 122"), 1);
}

// The refusal on standard error, naming the holder's address (a pattern).
std::string RefusalPattern(const std::string& address)
{
    return "Warning: Базу даних уже оновлює інше робоче місце \\(" + address +
           ", SYSDBA, з [0-9]{2}:[0-9]{2}\\)\\. Дочекайтеся завершення та перезапустіть оновлення!\n";
}

const char* const kRefusalLines = "Оновлення вже виконується з іншого робочого місця\nОновлення не можливо!!!\n";

// A second workstation's installation of the same database.
void ShareDatabase(Installation& second, const Installation& first, const std::string& server)
{
    second.database = first.database;
    second.UseServer(server, server);
}

}  // namespace

TEST(UpdateLock, TwoWorkstationsStartingTogetherApplyThePackageOnce)
{
    const std::string server = testsupport::TestServer();
    if (server.empty())
        GTEST_SKIP() << "no Firebird server (UPDATER_FIREBIRD_SERVER=host/port names one)";
    const std::vector<std::string> launcher = fixture::OwnProcessNamespace();
    ASSERT_FALSE(launcher.empty()) << "unshare cannot make a process namespace here";

    const std::string package = CountingPackage();
    Installation first(121, {{"122_RAR", package}});
    first.UseServer(server, server);
    Installation second(121, {{"122_RAR", package}});
    ShareDatabase(second, first, server);

    // Neither the lock's table nor the journal's exists yet.
    const pid_t one = fixture::StartUnattended(first, false, launcher);
    const pid_t other = fixture::StartUnattended(second, false, launcher);
    const fixture::UnattendedResult results[] = {fixture::FinishUnattended(first, one),
                                                 fixture::FinishUnattended(second, other)};
    const bool firstWon = results[0].code == app::kExitApplied;
    const fixture::UnattendedResult& winner = results[firstWon ? 0 : 1];
    const fixture::UnattendedResult& loser = results[firstWon ? 1 : 0];
    EXPECT_EQ(winner.code, app::kExitApplied) << winner.err;
    EXPECT_EQ(loser.code, app::kExitRefused) << loser.err;
    EXPECT_TRUE(std::regex_match(loser.err, std::regex(RefusalPattern("127\\.0\\.0\\.1/[0-9]+")))) << loser.err;
    EXPECT_TRUE(loser.out.ends_with(first.database + "\n" + kRefusalLines)) << loser.out;
    ExpectAppliedOnce(first);
}

// SIGKILL in the middle of a script: the engine ends the attachment and its
// lock with the process, and the next updater finishes the package from
// where the journal says it stopped.
TEST(UpdateLock, AKilledHolderLeavesNoLockBehind)
{
    const std::string server = testsupport::TestServer();
    if (server.empty())
        GTEST_SKIP() << "no Firebird server (UPDATER_FIREBIRD_SERVER=host/port names one)";
    Installation installation(121, {{"122_RAR", CountingPackage()}});
    installation.UseServer(server, server);

    const pid_t holder = fixture::StartUnattended(installation);
    const std::string journalled =
        "select count(*) from NVX$UPDATE_JOURNAL where PACKAGE_NO = 122 and STATEMENT_NO > 0";
    const bool midway = WaitFor([&] {
        try {
            return installation.Query(journalled) >= 200;
        } catch (const std::exception&) {
            return false;  // the journal's table is not there yet
        }
    });
    ::kill(holder, SIGKILL);
    const fixture::UnattendedResult killed = fixture::FinishUnattended(installation, holder);
    ASSERT_TRUE(midway) << killed.out << killed.err;
    ASSERT_EQ(killed.signal, SIGKILL);
    const long long applied = installation.Query(journalled);
    ASSERT_LT(applied, kStatements) << "the script ended before the kill";
    // The engine has ended the killed attachment.
    ASSERT_TRUE(WaitFor([&] {
        return installation.Query("select count(*) from MON$ATTACHMENTS where MON$REMOTE_PID = " +
                                  std::to_string(holder)) == 0;
    }));

    const fixture::UnattendedResult next = fixture::FinishUnattended(installation, fixture::StartUnattended(installation));
    EXPECT_EQ(next.code, app::kExitApplied) << next.err;
    ExpectAppliedOnce(installation);
    EXPECT_EQ(installation.Query("select SKIPPED from NVX$UPDATE_JOURNAL where SCRIPT_NAME = '122.001.sql'"), applied);
    EXPECT_EQ(installation.Query("select EXECUTED + SKIPPED from NVX$UPDATE_JOURNAL where SCRIPT_NAME = '122.001.sql'"),
              kStatements);
}

// A workstation whose window is open after its checks holds the database:
// another one is refused and told where the first one is.
TEST(UpdateLock, AnOpenWindowRefusesTheSecondWorkstation)
{
    const std::string server = testsupport::TestServer();
    if (server.empty())
        GTEST_SKIP() << "no Firebird server (UPDATER_FIREBIRD_SERVER=host/port names one)";
    Installation first(121, {{"122_RAR", testsupport::Package122()}});
    first.UseServer(server, server);
    Installation second(121, {{"122_RAR", testsupport::Package122()}});
    ShareDatabase(second, first, server);

    app::HeadlessView view;
    app::CUpdaterShell window(view, first.updater);
    ASSERT_EQ(window.FormShow(), app::CheckResult::UpdatePossible);
    dbupdate::CDBStatement own(window.Database());
    own.SetSQL("select MON$REMOTE_ADDRESS as ADDRESS from MON$ATTACHMENTS where MON$ATTACHMENT_ID = CURRENT_CONNECTION");
    own.Execute();
    const std::string address = own.FieldAsText("ADDRESS");
    own.Close();
    ASSERT_FALSE(address.empty());

    const testsupport::UnattendedResult refused = testsupport::RunUnattended(second);
    EXPECT_EQ(refused.code, app::kExitRefused) << refused.err;
    EXPECT_TRUE(std::regex_match(refused.err, std::regex(RefusalPattern(std::regex_replace(
                                                  address, std::regex("[.]"), "\\.")))))
        << refused.err << " (the window's address is " << address << ")";
    EXPECT_EQ(first.Version(), 121);

    // The window's own run goes on as if nobody had asked.
    EXPECT_EQ(window.btOKClick(), app::RunResult::Completed);
    EXPECT_EQ(first.Version(), 122);
}
