// An office: two workstations, each with an installation of its own, share
// one database on a server. The one that updates the database gets the new
// programs; the other catches up with the database without touching it.
#include "app/CatchUpPlan.h"
#include "app/HeadlessView.h"
#include "app/Shell.h"
#include "app/Status.h"
#include "app/Unattended.h"

#include "Installation.h"
#include "RarWriter.h"
#include "dbupdate/Uglobdb.h"
#include "dbupdate/UpdateLock.h"
#include "package/RunRecord.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

namespace fs = std::filesystem;
using testsupport::Installation;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

// 122: a new program and a new report; 123: a newer program.
std::vector<std::pair<std::string, std::string>> OfficePackages()
{
    return {{"122_RAR", rarformat::WriteRar4({{"up", "", true},
                                              {"up/122.099.sql", "INSERT INTO VERSIONS (DATA) VALUES (122);\r\n"},
                                              {"nvlib.exe", "program 122"},
                                              {"Reports", "", true},
                                              {"Reports/Akt.fr3", "akt 122"},
                                              {"Reports/a.fr3", "report a 122"}})},
            {"123_RAR", rarformat::WriteRar4({{"up", "", true},
                                              {"up/123.099.sql", "INSERT INTO VERSIONS (DATA) VALUES (123);\r\n"},
                                              {"nvlib.exe", "program 123"}})}};
}

}  // namespace

TEST(CatchUp, TheSecondWorkstationCatchesUpWithoutTouchingTheDatabase)
{
    const std::string server = testsupport::TestServer();
    if (server.empty())
        GTEST_SKIP() << "no Firebird server (UPDATER_FIREBIRD_SERVER=host/port names one)";
    // At 120 with an updater carrying 121: the first workstation updates the
    // database, the second catches up (its program is a copy the first one's
    // run replaced; its report is missing).
    const std::vector<std::pair<std::string, std::string>> package121 {
        {"121_RAR", rarformat::WriteRar4({{"up", "", true},
                                          {"up/121.099.sql", "INSERT INTO VERSIONS (DATA) VALUES (121);\r\n"},
                                          {"nvlib.exe", "program 121"},
                                          {"Reports", "", true},
                                          {"Reports/a.fr3", "report a 121"}})}};
    Installation first(120, package121);
    first.UseServer(server, server);
    Installation second(120, package121);
    second.UseServer(server, server, first.database);
    ASSERT_EQ(testsupport::RunUnattended(first).code, app::kExitApplied);
    const auto to121 = testsupport::RunUnattended(second);
    ASSERT_EQ(to121.code, app::kExitApplied) << to121.out << to121.err;
    EXPECT_TRUE(to121.out.ends_with("Файли програми оновлено до версії 121\n")) << to121.out;
    EXPECT_EQ(ReadFile(second.InExeDir("nvlib.exe")), "program 121");

    // Then an updater carrying 122 and 123 reaches both; the second one's
    // report was edited by hand meanwhile.
    testsupport::MakePackedUpdater(first.updater, OfficePackages());
    testsupport::MakePackedUpdater(second.updater, OfficePackages());
    WriteFile(second.InExeDir("Reports/a.fr3"), "my own report");
    const auto firstRun = testsupport::RunUnattended(first);
    ASSERT_EQ(firstRun.code, app::kExitApplied) << firstRun.out << firstRun.err;
    EXPECT_EQ(ReadFile(first.InExeDir("nvlib.exe")), "program 123");
    const std::string dump = testsupport::DumpDatabase(first.connection);

    const auto lagging = testsupport::RunUnattended(second, {"--status"});
    EXPECT_EQ(lagging.code, app::kStatusLagging) << lagging.out << lagging.err;
    EXPECT_NE(lagging.out.find("Database version: 123\nHighest package carried: 123\nUpdate in progress: none\n"),
              std::string::npos)
        << lagging.out;
    EXPECT_NE(lagging.out.find(" " + first.exeDir + ": programs of 123, "), std::string::npos) << lagging.out;
    EXPECT_NE(lagging.out.find(" " + second.exeDir + ": programs of 121, "), std::string::npos) << lagging.out;
    EXPECT_NE(lagging.out.find(", lagging\n"), std::string::npos) << lagging.out;
    EXPECT_TRUE(lagging.out.ends_with("This workstation's program files lag behind the database:\n"
                                      "  Reports/Akt.fr3 (122, missing)\n  nvlib.exe (123)\n"))
        << lagging.out;

    // A rehearsal names what the catch-up would install.
    const auto rehearsed = testsupport::RunUnattended(second, {"--rehearse"});
    EXPECT_EQ(rehearsed.code, app::kExitApplied) << rehearsed.out << rehearsed.err;
    EXPECT_TRUE(rehearsed.out.ends_with("Оновлення не можливо!!!\n"
                                        "Файли програми цього робочого місця відстають від бази даних:\n"
                                        "Reports/Akt.fr3 (122, missing)\nnvlib.exe (123)\n"
                                        "Reports/a.fr3: not from an update package, left as it is\n"))
        << rehearsed.out;

    // Another updater holding the lock does not refuse a run that leaves
    // the database alone.
    auto holder = std::make_unique<dbupdate::CGlobDB>(server, first.database);
    auto lock = std::make_unique<dbupdate::UpdateLock>(*holder);
    ASSERT_EQ(lock->Acquire(), dbupdate::UpdateLock::Outcome::Held);
    const auto held = testsupport::RunUnattended(second, {"--status"});
    EXPECT_NE(held.out.find("\nUpdate in progress: by 127.0.0.1/"), std::string::npos) << held.out;
    const auto caughtUp = testsupport::RunUnattended(second);
    lock.reset();
    holder.reset();
    EXPECT_EQ(caughtUp.code, app::kExitApplied) << caughtUp.out << caughtUp.err;
    EXPECT_NE(caughtUp.out.find("Версія бази даних: 123\nНаявні пакети оновлення:\n122_RAR\n123_RAR\n"
                                "Версія БД більша за номер пакета оновлень\n"
                                "Файли програми цього робочого місця відстають від бази даних:\n"
                                "Reports/Akt.fr3 (122, missing)\nnvlib.exe (123)\n"
                                "Reports/a.fr3: not from an update package, left as it is\n"
                                "Створення тимчасового каталога\n"),
              std::string::npos)
        << caughtUp.out;
    EXPECT_TRUE(caughtUp.out.ends_with("Встановлення оновлення\nAkt.fr3...[OK]\n" "Копіювання пакету\n" +
                                       second.InWorkDir("123.rar") +
                                       "\nРозпаковка пакету...[OK]\nВстановлення оновлення\nnvlib.exe...[OK]\n"
                                       "Файли програми оновлено до версії 123\n"))
        << caughtUp.out;
    EXPECT_EQ(caughtUp.out.find("Резервна копія"), std::string::npos) << "no backup";
    EXPECT_EQ(ReadFile(second.InExeDir("nvlib.exe")), "program 123");
    EXPECT_EQ(ReadFile(second.InExeDir("Reports/Akt.fr3")), "akt 122");
    EXPECT_EQ(ReadFile(second.InExeDir("Reports/a.fr3")), "my own report");
    EXPECT_EQ(testsupport::DumpDatabase(first.connection), dump);
    // The replaced program is kept, in a record of a files-only run.
    EXPECT_EQ(ReadFile(second.InExeDir("123.bak/nvlib.exe")), "program 121");
    const std::string record = ReadFile(second.InExeDir("123.bak/updater-run.txt"));
    EXPECT_NE(record.find("\nfiles-only\n"), std::string::npos) << record;
    EXPECT_NE(record.find("\ncomplete\n"), std::string::npos) << record;
    EXPECT_EQ(record.find("backup"), std::string::npos) << record;

    // Caught up, the workstation is current: --status says so, and the
    // update ends in the designed refusal with exit 0.
    const auto current = testsupport::RunUnattended(second, {"--status"});
    EXPECT_EQ(current.code, app::kStatusCurrent) << current.out << current.err;
    EXPECT_EQ(current.out.find(", lagging\n"), std::string::npos) << current.out;
    EXPECT_TRUE(current.out.ends_with("This workstation's program files: current\n")) << current.out;
    const auto again = testsupport::RunUnattended(second);
    EXPECT_EQ(again.code, app::kExitApplied) << again.err;
    EXPECT_TRUE(again.out.ends_with("Версія БД більша за номер пакета оновлень\nОновлення не можливо!!!\n")) << again.out;

    // --restore puts the files back and leaves the database alone.
    const auto restored = testsupport::RunUnattended(second, {"--unattended", "--restore"});
    EXPECT_EQ(restored.code, app::kExitApplied) << restored.out << restored.err;
    EXPECT_TRUE(restored.out.starts_with("Перевірка запущенної програми...OK\nВідновлення файлів програми\n"))
        << restored.out;
    EXPECT_TRUE(restored.out.ends_with("The database is left as it is: the runs undone installed only program "
                                       "files\n"))
        << restored.out;
    EXPECT_EQ(ReadFile(second.InExeDir("nvlib.exe")), "program 121");
    EXPECT_FALSE(fs::exists(second.InExeDir("Reports/Akt.fr3")));
    EXPECT_EQ(ReadFile(second.InExeDir("Reports/a.fr3")), "my own report");
    EXPECT_FALSE(fs::exists(second.InExeDir("123.bak")));
    EXPECT_EQ(testsupport::DumpDatabase(first.connection), dump);
    EXPECT_EQ(testsupport::RunUnattended(second, {"--status"}).code, app::kStatusLagging);
}

// One PC whose database went ahead of its programs (its program is 120's,
// and it lacks 120's and 121's reports): the update from 121 installs the
// missing reports before its own packages; the program, which its package
// 122 replaces anyway, is left to the run.
TEST(CatchUp, AnUpdateFirstInstallsTheFilesOfThePackagesTheDatabaseHas)
{
    const auto package = [](int n, std::vector<rarformat::RarEntry> files) {
        const std::string number = std::to_string(n);
        files.insert(files.begin(), {{"up", "", true},
                                     {"up/" + number + ".099.sql",
                                      "INSERT INTO VERSIONS (DATA) VALUES (" + number + ");\r\n"},
                                     {"Reports", "", true}});
        return std::pair {number + "_RAR", rarformat::WriteRar4(files)};
    };
    Installation installation(121, {package(120, {{"nvlib.exe", "program 120"}, {"Reports/r120.fr3", "r120"}}),
                                    package(121, {{"nvlib.exe", "program 121"}, {"Reports/r121.fr3", "r121"}}),
                                    package(122, {{"nvlib.exe", "program 122"}}),
                                    package(123, {{"Reports/r123.fr3", "r123"}})});
    WriteFile(installation.InExeDir("nvlib.exe"), "program 120");
    const auto rehearsed = testsupport::RunUnattended(installation, {"--rehearse"});
    EXPECT_EQ(rehearsed.code, app::kExitApplied) << rehearsed.out << rehearsed.err;
    EXPECT_NE(rehearsed.out.find("Program files this workstation lacks of the packages the database has (installed "
                                 "first):\n  Reports/r120.fr3 (120, missing)\n  Reports/r121.fr3 (121, missing)\n"
                                 "Package 122: "),
              std::string::npos)
        << rehearsed.out;
    const auto result = testsupport::RunUnattended(installation);
    EXPECT_EQ(result.code, app::kExitApplied) << result.out << result.err;
    EXPECT_NE(result.out.find(installation.BackupLines(121) +
                              "Файли програми цього робочого місця відстають від бази даних:\n"
                              "Reports/r120.fr3 (120, missing)\nReports/r121.fr3 (121, missing)\n"
                              "Копіювання пакету\n" + installation.InWorkDir("120.rar") +
                              "\nРозпаковка пакету...[OK]\nВстановлення оновлення\nr120.fr3...[OK]\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(installation.Version(), 123);
    for (const auto& [file, bytes] : {std::pair {"nvlib.exe", "program 122"}, {"Reports/r120.fr3", "r120"},
                                      {"Reports/r121.fr3", "r121"}, {"Reports/r123.fr3", "r123"}})
        EXPECT_EQ(ReadFile(installation.InExeDir(file)), bytes) << file;
}

// A catch-up whose copy of a file fails is not reported as done: the file
// is named, and the unattended run exits 1.
TEST(CatchUp, AFileThatIsNotInstalledLeavesTheCatchUpShort)
{
    Installation installation(122, {{"121_RAR", testsupport::Package121()}, {"122_RAR", testsupport::Package122()}});
    WriteFile(installation.InExeDir("nvlib.exe"), "program 121");
    // Where the replaced program would be kept, a directory: it cannot be
    // kept for the way back, and is not replaced.
    fs::create_directories(installation.InExeDir("122.bak/nvlib.exe"));
    const auto result = testsupport::RunUnattended(installation);
    EXPECT_EQ(result.code, app::kExitRefused) << result.out << result.err;
    EXPECT_TRUE(result.out.ends_with("Program files of this workstation still lag behind the database: nvlib.exe\n"))
        << result.out;
    EXPECT_EQ(result.out.find("Файли програми оновлено"), std::string::npos) << result.out;
    EXPECT_NE(result.err.find("still lag behind the database: nvlib.exe"), std::string::npos) << result.err;
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 121");
    EXPECT_EQ(ReadFile(installation.InExeDir("Reports/b.fr3")), "report b 122");
}

// A register this database refuses (here a trigger; elsewhere an account
// without the rights) costs the run one line, nothing more.
TEST(CatchUp, ARegisterThatCannotBeWrittenIsNotedOnce)
{
    Installation installation(121, {{"121_RAR", testsupport::Package121()}});
    testsupport::RunStatements(installation.database,
                               {"create table NVX$WORKSTATIONS (HOST_NAME varchar(255) character set octets, "
                                "FOLDER varchar(1000) character set octets, PROGRAM_VERSION integer, "
                                "UPDATED_AT timestamp, USER_NAME varchar(63))",
                                "create exception NO_REGISTER 'registers are kept elsewhere'",
                                "create trigger NO_ROW for NVX$WORKSTATIONS before insert or update as "
                                "begin exception NO_REGISTER; end"});
    const auto result = testsupport::RunUnattended(installation);
    EXPECT_EQ(result.code, app::kExitApplied) << result.out << result.err;
    const std::string note = "The register of workstations NVX$WORKSTATIONS cannot be written: ";
    const auto at = result.out.find(note);
    ASSERT_NE(at, std::string::npos) << result.out;
    EXPECT_EQ(result.out.find(note, at + 1), std::string::npos) << "one line";
    EXPECT_NE(result.out.find("registers are kept elsewhere", at), std::string::npos) << result.out;
    EXPECT_TRUE(result.out.ends_with("\nФайли програми оновлено до версії 121\n")) << result.out;
    EXPECT_EQ(ReadFile(installation.InExeDir("Reports/a.fr3")), "report a 121");
}

// The checks of a catch-up let the update lock go: the other workstations
// catch up meanwhile.
TEST(CatchUp, TheChecksOfACatchUpLeaveTheLockToOthers)
{
    Installation installation(121, {{"121_RAR", testsupport::Package121()}});
    app::HeadlessView view;
    app::CUpdaterShell shell(view, installation.updater, std::make_unique<app::CatchUpPlan>());
    ASSERT_EQ(shell.FormShow(), app::CheckResult::UpdatePossible);
    dbupdate::CGlobDB other("", installation.database);
    EXPECT_EQ(dbupdate::UpdateLock(other).Acquire(), dbupdate::UpdateLock::Outcome::Held);
}
