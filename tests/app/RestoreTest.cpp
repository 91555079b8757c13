// The way back: the backup before the first package, the files kept, and
// `updater --restore`, on real databases (embedded and through the server).
#include "app/Restore.h"
#include "app/Unattended.h"

#include "dbupdate/Backup.h"
#include "dbupdate/BackupNames.h"
#include "dbupdate/DatabaseFile.h"
#include "dbupdate/UpdateLock.h"
#include "dbupdate/Uglobdb.h"
#include "package/RunRecord.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include "Engines.h"
#include "Installation.h"
#include "RarWriter.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <utility>

using testsupport::Installation;
using testsupport::ReadFile;
namespace fs = std::filesystem;

namespace {

// An installation at 121 whose database already has the update lock's table,
// as the checks leave it before the backup.
void Prepare(Installation& installation)
{
    testsupport::WriteFile(installation.InExeDir("Reports/a.fr3"), "report a 121");
    dbupdate::CGlobDB db("", installation.connection);
    dbupdate::UpdateLock(db).Acquire();
}

// The names in the installation folder that end in suffix, sorted.
std::vector<std::string> NamesEndingIn(const Installation& installation, const std::string& suffix)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(installation.exeDir))
        if (entry.path().filename().string().ends_with(suffix))
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void UpdateAndRestore(Installation& installation)
{
    Prepare(installation);
    const std::string before = testsupport::DumpDatabase(installation.connection);

    const auto update = testsupport::RunUnattended(installation);
    ASSERT_EQ(update.code, app::kExitFailures) << update.out << update.err;
    ASSERT_EQ(installation.Version(), 122);
    ASSERT_NE(testsupport::DumpDatabase(installation.connection), before);
    ASSERT_NE(before.find("INFO_DOC"), std::string::npos) << before;
    EXPECT_NE(update.out.find(installation.BackupLines(121)), std::string::npos) << update.out;
    EXPECT_EQ(ReadFile(installation.InExeDir("121.bak/nvlib.exe")), "program 120");
    EXPECT_EQ(ReadFile(installation.InExeDir("121.bak/Reports/a.fr3")), "report a 121");
    EXPECT_FALSE(fs::exists(installation.InExeDir("121.bak/Reports/new.fr3")));

    const auto restore = testsupport::RunUnattended(installation, {"--restore"});
    EXPECT_EQ(restore.code, app::kExitApplied) << restore.out << restore.err;
    EXPECT_TRUE(restore.out.ends_with("Відновлення бази даних...[OK]\nВідновлення файлів програми\nnvlib.exe...[OK]\n"
                                      "a.fr3...[OK]\nnew.fr3...[OK]\nВерсія бази даних: 121\n"))
        << restore.out;
    EXPECT_EQ(testsupport::DumpDatabase(installation.connection), before);
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 120");
    EXPECT_EQ(ReadFile(installation.InExeDir("Reports/a.fr3")), "report a 121");
    EXPECT_FALSE(fs::exists(installation.InExeDir("Reports/new.fr3")));
    EXPECT_FALSE(fs::exists(installation.InExeDir("121.bak")));
    // The check database is gone; the backup stays beside the database.
    EXPECT_EQ(NamesEndingIn(installation, ".check.fdb"), std::vector<std::string> {});
    EXPECT_EQ(NamesEndingIn(installation, ".fbk").size(), 1u);

    // Nothing is left to undo.
    EXPECT_EQ(testsupport::RunUnattended(installation, {"--restore"}).code, app::kExitError);
}

}  // namespace

class RestoreOnEachEngine : public testsupport::OnEachEngine {};
RUN_ON_EACH_ENGINE(RestoreOnEachEngine);

TEST_P(RestoreOnEachEngine, UndoesTheUpdate)
{
    Installation installation(121, {{"122_RAR", testsupport::Package122WithNewObjects()}});
    UseEngine(installation);
    UpdateAndRestore(installation);
}

TEST(Restore, ABackupThatCannotBeWrittenEndsTheRunBeforeAnyPackage)
{
    Installation installation(121, {{"122_RAR", testsupport::Package122WithNewObjects()}});
    fs::create_directory(dbupdate::BackupPathFor(installation.database, 121));
    const auto run = testsupport::RunUnattended(installation);
    EXPECT_EQ(run.code, app::kExitError) << run.out << run.err;
    EXPECT_TRUE(run.out.ends_with("Наявність архиватора RAR...[OK]\nРезервна копія бази даних...\nerror\n")) << run.out;
    EXPECT_NE(run.err.find(".121.fbk"), std::string::npos) << run.err;
    EXPECT_EQ(installation.Version(), 121);
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 120");
    EXPECT_FALSE(fs::exists(installation.InExeDir("121.bak")));
    EXPECT_FALSE(fs::exists(installation.InWorkDir("122.rar")));
}

TEST(Restore, WithoutABackupTheRunIsAsBeforeAndCannotBeUndone)
{
    Installation installation(121, {{"122_RAR", testsupport::Package122WithNewObjects()}});
    const auto run = testsupport::RunUnattended(installation, {"--unattended", "--no-backup"});
    EXPECT_EQ(run.code, app::kExitFailures) << run.err;
    EXPECT_EQ(run.out.find("Резервна"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Наявність архиватора RAR...[OK]\nКопіювання пакету\n"), std::string::npos) << run.out;
    EXPECT_EQ(NamesEndingIn(installation, ".fbk"), std::vector<std::string> {});
    EXPECT_EQ(installation.Version(), 122);

    const auto restore = testsupport::RunUnattended(installation, {"--restore", "121"});
    EXPECT_EQ(restore.code, app::kExitError);
    EXPECT_NE(restore.err.find("without a backup"), std::string::npos) << restore.err;
    EXPECT_EQ(installation.Version(), 122);
}

// The restore runs in this process here, so that this process's own
// attachment is another client to it (the embedded engine lets no other
// process attach).
TEST(Restore, RefusesWhileAnotherClientIsAttachedAndLeavesADamagedBackupAlone)
{
    Installation installation(121, {{"122_RAR", testsupport::Package122WithNewObjects()}});
    ASSERT_EQ(testsupport::RunUnattended(installation).code, app::kExitFailures);
    {
        dbupdate::CGlobDB other("", installation.connection);
        std::ostringstream out, err;
        EXPECT_EQ(app::RunRestore(installation.updater, std::nullopt, out, err), app::kExitRefused) << err.str();
        EXPECT_NE(err.str().find("Warning: До бази даних підключені інші програми"), std::string::npos) << err.str();
        EXPECT_TRUE(out.str().ends_with("Відновлення не можливо!!!\n")) << out.str();
    }
    // A backup cut short is refused before anything is replaced.
    const std::string backup = dbupdate::BackupPathFor(installation.database, 121);
    fs::resize_file(backup, fs::file_size(backup) / 2);
    std::ostringstream out, err;
    EXPECT_EQ(app::RunRestore(installation.updater, 121, out, err), app::kExitError);
    EXPECT_NE(err.str().find("is damaged"), std::string::npos) << err.str();
    EXPECT_EQ(installation.Version(), 122);
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 122");
}

// A backup of the same size that is not the one the run made (another
// database's, or this one changed) is refused by its SHA-256, before
// anything is replaced.
TEST(Restore, ABackupOtherThanTheOneMadeIsRefused)
{
    Installation installation(121, {{"122_RAR", testsupport::Package122WithNewObjects()}});
    ASSERT_EQ(testsupport::RunUnattended(installation).code, app::kExitFailures);
    const std::string backup = dbupdate::BackupPathFor(installation.database, 121);
    std::string bytes = ReadFile(backup);
    bytes[bytes.size() / 2] ^= 0x20;
    testsupport::WriteFile(backup, bytes);
    std::ostringstream out, err;
    EXPECT_EQ(app::RunRestore(installation.updater, 121, out, err), app::kExitError);
    EXPECT_NE(err.str().find("is not the one made before the update from version 121"), std::string::npos)
        << err.str();
    EXPECT_EQ(installation.Version(), 122);
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 122");
}

// A record edited to name files outside the installation, or files it
// could not have written, is refused whole with its line before the
// database or any file is touched.
TEST(Restore, ARecordThatNamesWhatTheUpdaterDidNotWriteIsRefusedBeforeAnythingChanges)
{
    Installation installation(121, {{"122_RAR", testsupport::Package122WithNewObjects()}});
    ASSERT_EQ(testsupport::RunUnattended(installation).code, app::kExitFailures);
    const std::string recordPath = installation.InExeDir("121.bak/updater-run.txt");
    const std::string record = ReadFile(recordPath);
    const std::string outside = (fs::path(installation.exeDir).parent_path() / "outside.exe").string();
    testsupport::WriteFile(outside, "not the installation's");
    const std::string sep(1, platform::kPathSeparator);
    const std::vector<std::string> lines {"kept .." + sep + "outside.exe", "added .." + sep + "outside.exe",
                                          "kept " + outside, "added nvlib.exe" + sep + "..", "backup-bytes many"};
    for (const std::string& line : lines) {
        testsupport::WriteFile(recordPath, record + line + "\n");
        std::ostringstream out, err;
        EXPECT_EQ(app::RunRestore(installation.updater, std::nullopt, out, err), app::kExitError) << line;
        EXPECT_NE(err.str().find(recordPath + " cannot be trusted: line "), std::string::npos) << err.str();
        EXPECT_NE(err.str().find("nothing was changed"), std::string::npos) << err.str();
        EXPECT_EQ(installation.Version(), 122) << line;
        EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 122") << line;
        EXPECT_EQ(ReadFile(outside), "not the installation's") << line;
    }
    fs::remove(outside);

    // A kept copy that is gone is found before anything changes, too.
    testsupport::WriteFile(recordPath, record);
    fs::remove(installation.InExeDir("121.bak/nvlib.exe"));
    std::ostringstream out, err;
    EXPECT_EQ(app::RunRestore(installation.updater, std::nullopt, out, err), app::kExitError);
    EXPECT_NE(err.str().find("The kept file " + installation.InExeDir("121.bak/nvlib.exe") +
                             " is missing; nothing was changed"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(installation.Version(), 122);
    EXPECT_EQ(ReadFile(installation.InExeDir("Reports/a.fr3")), "report a 122");
}

// What a restore stopped at each point leaves, and a second run that
// finishes it: the restored database made half-way beside the database, a
// link planted in its place (removed, not followed), and the database shut
// down just before the restored one took its place (through a server: while
// the server restores it).
TEST(Restore, AStoppedRestoreIsFinishedByRunningItAgain)
{
    struct Case {
        const char* name;
        bool server;
        std::function<void(const Installation&, const std::string& restored)> stop;
    };
    const std::string server = testsupport::TestServer();
    const std::vector<Case> cases {
        {"restored half-way", false,
         [](const Installation& installation, const std::string& restored) {
             testsupport::WriteFile(restored, ReadFile(installation.database).substr(0, 64 * 1024));
         }},
        {"a link in the restored database's place", false,
         [](const Installation& installation, const std::string& restored) {
             testsupport::WriteFile(installation.dir / "outside.fdb", "not a database");
             // Where the system makes no link (wine), a plain file stands there.
             std::error_code error;
             fs::create_symlink(installation.dir / "outside.fdb", restored, error);
             if (error)
                 testsupport::WriteFile(restored, "not a database");
         }},
        {"the database shut down", false,
         [](const Installation& installation, const std::string&) {
             dbupdate::ShutDownDatabase("", installation.database);
         }},
        {"the database shut down on the server", true,
         [&](const Installation& installation, const std::string&) {
             dbupdate::ShutDownDatabase(server, installation.database);
         }},
    };
    for (const Case& c : cases) {
        if (c.server && server.empty())
            continue;
        Installation installation(121, {{"122_RAR", testsupport::Package122WithNewObjects()}});
        if (c.server)
            installation.UseServer(server, server);
        ASSERT_EQ(testsupport::RunUnattended(installation).code, app::kExitFailures) << c.name;
        const std::string restored =
            dbupdate::CheckDatabasePathFor(dbupdate::BackupPathFor(installation.database, 121));
        c.stop(installation, restored);

        const auto rerun = testsupport::RunUnattended(installation, {"--restore"});
        EXPECT_EQ(rerun.code, app::kExitApplied) << c.name << "\n" << rerun.out << rerun.err;
        const bool shutDown = std::string(c.name).find("shut down") != std::string::npos;
        EXPECT_EQ(rerun.out.find("cannot be opened (") != std::string::npos, shutDown) << rerun.out;
        EXPECT_EQ(installation.Version(), 121) << c.name;
        EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 120") << c.name;
        EXPECT_FALSE(fs::exists(fs::symlink_status(restored))) << c.name;
        if (fs::exists(installation.dir / "outside.fdb")) {
            EXPECT_EQ(ReadFile(installation.dir / "outside.fdb"), "not a database");
        }
    }
}

namespace {

// The record's text with the line of key replaced by "key value".
std::string WithLine(const std::string& record, const std::string& key, const std::string& value)
{
    std::string edited;
    std::istringstream in(record);
    for (std::string line; std::getline(in, line);)
        edited += (line == key || line.rfind(key + " ", 0) == 0 ? key + " " + value : line) + "\n";
    return edited;
}

}  // namespace

// A rerun continues the unfinished run of the same database through the
// same server and keeps its backup (the database is no longer as it was
// before it); a record of another server or another database is replaced,
// and the run makes a backup of its own.
TEST(Restore, ARerunContinuesOnlyTheUnfinishedRunOfTheSameServerAndDatabase)
{
    struct Case {
        const char* name;
        const char* server;
        bool otherDatabase;
        bool continued;
    };
    const Case cases[] = {{"the same", "", false, true},
                          {"another server", "127.0.0.1/3050", false, false},
                          {"another database", "", true, false}};
    for (const Case& c : cases) {
        Installation installation(121, {{"122_RAR", testsupport::Package122WithNewObjects()}});
        const std::string backup = dbupdate::BackupPathFor(installation.database, 121);
        testsupport::WriteFile(backup, "the unfinished run's backup");
        package::RunRecord::Begin(installation.exeDir, 121, c.server,
                                  c.otherDatabase ? installation.dir / "other.fdb" : installation.database)
            .SetBackup(backup, 27, {});

        const auto run = testsupport::RunUnattended(installation);
        EXPECT_EQ(run.code, app::kExitFailures) << c.name << "\n" << run.out << run.err;
        EXPECT_EQ(run.out.find("Резервну копію зроблено перед перерваним оновленням\n") != std::string::npos,
                  c.continued)
            << c.name << "\n" << run.out;
        EXPECT_EQ(run.out.find(installation.BackupLines(121) + "Резервну") != std::string::npos, c.continued)
            << c.name;
        EXPECT_EQ(ReadFile(backup) == "the unfinished run's backup", c.continued) << c.name;
        EXPECT_EQ(installation.Version(), 122) << c.name;
    }
}

// A clean run keeps the newest two runs (its own and the one before), with
// their backups; older ones go.
TEST(Restore, ACleanRunKeepsTheNewestTwoRuns)
{
    Installation installation(120, {{"121_RAR", testsupport::Package121()}});
    for (int version : {117, 118, 119}) {
        const std::string backup = dbupdate::BackupPathFor(installation.database, version);
        testsupport::WriteFile(backup, "backup");
        auto record = package::RunRecord::Begin(installation.exeDir, version, "", installation.database);
        record.SetBackup(backup, 6, {});
        record.SetComplete();
    }
    const auto run = testsupport::RunUnattended(installation);
    ASSERT_EQ(run.code, app::kExitApplied) << run.out << run.err;
    EXPECT_EQ(NamesEndingIn(installation, ".bak"), (std::vector<std::string> {"119.bak", "120.bak"}));
    EXPECT_EQ(NamesEndingIn(installation, ".fbk"),
              (std::vector<std::string> {"norvexlib.119.fbk", "norvexlib.120.fbk"}));
}

// Two runs (120 to 121, 121 to 122). "--restore 121" undoes exactly the
// second; a version no run started from is refused; "--restore 120" then
// undoes both, newest first, so that the files end as the first run found
// them.
TEST(Restore, AVersionUndoesTheRunsFromItOnNewestFirst)
{
    Installation installation(120, {{"121_RAR", testsupport::Package121()}});
    testsupport::WriteFile(installation.InExeDir("Reports/a.fr3"), "report a 120");
    {
        dbupdate::CGlobDB db("", installation.connection);
        dbupdate::UpdateLock(db).Acquire();
    }
    const std::string at120 = testsupport::DumpDatabase(installation.connection);
    ASSERT_EQ(testsupport::RunUnattended(installation).code, app::kExitApplied);
    const std::string at121 = testsupport::DumpDatabase(installation.connection);
    testsupport::MakePackedUpdater(installation.updater,
                                   {{"121_RAR", testsupport::Package121()}, {"122_RAR", testsupport::Package122()}});
    ASSERT_EQ(testsupport::RunUnattended(installation).code, app::kExitFailures);
    ASSERT_EQ(installation.Version(), 122);
    ASSERT_EQ(NamesEndingIn(installation, ".bak"), (std::vector<std::string> {"120.bak", "121.bak"}));

    for (const char* version : {"119", "122"}) {
        const auto refused = testsupport::RunUnattended(installation, {"--restore", version});
        EXPECT_EQ(refused.code, app::kExitError) << version;
        EXPECT_NE(refused.err.find(std::string("No update from version ") + version), std::string::npos)
            << refused.err;
        EXPECT_EQ(installation.Version(), 122) << version;
    }

    const auto second = testsupport::RunUnattended(installation, {"--restore", "121"});
    EXPECT_EQ(second.code, app::kExitApplied) << second.out << second.err;
    EXPECT_EQ(testsupport::DumpDatabase(installation.connection), at121);
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 121");
    EXPECT_FALSE(fs::exists(installation.InExeDir("Reports/b.fr3")));
    EXPECT_EQ(NamesEndingIn(installation, ".bak"), std::vector<std::string> {"120.bak"});

    // Run again from 121, and undo both runs.
    ASSERT_EQ(testsupport::RunUnattended(installation).code, app::kExitFailures);
    const auto both = testsupport::RunUnattended(installation, {"--restore", "120"});
    EXPECT_EQ(both.code, app::kExitApplied) << both.out << both.err;
    EXPECT_EQ(testsupport::DumpDatabase(installation.connection), at120);
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 120");
    EXPECT_EQ(ReadFile(installation.InExeDir("Reports/a.fr3")), "report a 120");
    EXPECT_FALSE(fs::exists(installation.InExeDir("Reports/b.fr3")));
    EXPECT_EQ(NamesEndingIn(installation, ".bak"), std::vector<std::string> {});
}

// A record whose server or database (either one alone) is not the
// installation's is refused before anything changes.
TEST(Restore, ARecordOfAnotherServerOrDatabaseIsRefused)
{
    Installation installation(121, {{"122_RAR", testsupport::Package122WithNewObjects()}});
    ASSERT_EQ(testsupport::RunUnattended(installation).code, app::kExitFailures);
    const std::string recordPath = installation.InExeDir("121.bak/updater-run.txt");
    const std::string record = ReadFile(recordPath);
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>> {
             {"server", "10.0.0.7/3050"}, {"database", installation.dir / "other.fdb"}}) {
        testsupport::WriteFile(recordPath, WithLine(record, key, value));
        const auto restore = testsupport::RunUnattended(installation, {"--restore"});
        EXPECT_EQ(restore.code, app::kExitError) << key;
        EXPECT_NE(restore.err.find("was made of the database " + (key == "server" ? value + ":" : "") +
                                   (key == "database" ? value : installation.database)),
                  std::string::npos)
            << restore.err;
        EXPECT_EQ(installation.Version(), 122) << key;
        EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 122") << key;
    }
}

// A program file whose original cannot be kept in the way-back folder is not
// replaced (the run could not undo it), and its line says why; the others
// are installed and kept.
TEST(Restore, AFileThatCannotBeKeptIsNotReplaced)
{
    Installation installation(121, {{"122_RAR", testsupport::Package122WithNewObjects()}});
    testsupport::WriteFile(installation.InExeDir("Reports/a.fr3"), "report a 121");
    fs::create_directories(installation.InExeDir("121.bak/nvlib.exe"));
    const auto run = testsupport::RunUnattended(installation);
    EXPECT_EQ(run.code, app::kExitFailures) << run.out << run.err;
    EXPECT_NE(run.out.find("\nnvlib.exe...\nerror ("), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(": the installed file cannot be kept in 121.bak for the way back, and is not replaced\n"
                           "a.fr3...[OK]\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 120");
    EXPECT_EQ(ReadFile(installation.InExeDir("Reports/a.fr3")), "report a 122");
    EXPECT_EQ(ReadFile(installation.InExeDir("121.bak/Reports/a.fr3")), "report a 121");
}

// A program file that cannot be put back fails the restore (exit 2) after
// the database was restored, and the folders stay for a second run.
TEST(Restore, AFileThatCannotBePutBackFailsTheRestoreAndKeepsTheFolder)
{
    Installation installation(121, {{"122_RAR", testsupport::Package122WithNewObjects()}});
    Prepare(installation);
    ASSERT_EQ(testsupport::RunUnattended(installation).code, app::kExitFailures);
    fs::remove(installation.InExeDir("Reports/a.fr3"));
    fs::create_directory(installation.InExeDir("Reports/a.fr3"));
    const auto restore = testsupport::RunUnattended(installation, {"--restore"});
    EXPECT_EQ(restore.code, app::kExitError) << restore.out << restore.err;
    EXPECT_NE(restore.out.find("a.fr3...\nerror ("), std::string::npos) << restore.out;
    EXPECT_NE(restore.err.find("1 program file(s) could not be put back"), std::string::npos) << restore.err;
    EXPECT_EQ(installation.Version(), 121);
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 120");
    EXPECT_EQ(ReadFile(installation.InExeDir("121.bak/Reports/a.fr3")), "report a 121");
}

// A server goes on with a restore whose updater was stopped, and refuses
// another one of the same database until it has finished; the message says
// to run the restore again then. The restore left running is this test's,
// held in the middle by not reading its report.
TEST(Restore, AServersRestoreStillRunningIsExplained)
{
    const std::string server = testsupport::TestServer();
    if (server.empty())
        GTEST_SKIP() << "no Firebird server (UPDATER_FIREBIRD_SERVER=host/port names one)";
    Installation installation(121, {{"122_RAR", testsupport::Package122WithNewObjects()}});
    installation.UseServer(server, server);
    ASSERT_EQ(testsupport::RunUnattended(installation).code, app::kExitFailures);
    const std::string restored = dbupdate::CheckDatabasePathFor(dbupdate::BackupPathFor(installation.database, 121));

    std::promise<void> started, go;
    std::shared_future<void> released = go.get_future().share();
    bool first = true;
    std::thread running([&] {
        dbupdate::RestoreDatabase(server, dbupdate::BackupPathFor(installation.database, 121), restored,
                                  [&](const std::string&) {
                                      if (!std::exchange(first, false))
                                          return;
                                      started.set_value();
                                      released.wait();
                                  });
    });
    started.get_future().wait();
    const auto restore = testsupport::RunUnattended(installation, {"--restore"});
    go.set_value();
    running.join();
    EXPECT_EQ(restore.code, app::kExitError) << restore.out << restore.err;
    EXPECT_NE(restore.err.find("is in use"), std::string::npos) << restore.err;
    EXPECT_NE(restore.err.find(". The server finishes a restore that was stopped by itself: run this one again once "
                               "it has finished"),
              std::string::npos)
        << restore.err;
    EXPECT_EQ(installation.Version(), 122);
    dbupdate::DropDatabase(server, restored);
}
