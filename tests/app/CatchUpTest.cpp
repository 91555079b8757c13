// An office: two workstations, each with an installation of its own, share
// one database on a server. The one that updates the database gets the new
// programs; the other catches up with the database without touching it.
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
    Installation first(121, OfficePackages());
    first.UseServer(server, server);
    Installation second(121, OfficePackages());
    second.UseServer(server, server, first.database);
    // Both have 121's program; the second one's report was edited by hand.
    WriteFile(first.InExeDir("nvlib.exe"), "program 121");
    WriteFile(second.InExeDir("nvlib.exe"), "program 121");
    WriteFile(second.InExeDir("Reports/a.fr3"), "my own report");

    const auto firstRun = testsupport::RunUnattended(first);
    ASSERT_EQ(firstRun.code, app::kExitApplied) << firstRun.out << firstRun.err;
    EXPECT_EQ(ReadFile(first.InExeDir("nvlib.exe")), "program 123");
    const std::string dump = testsupport::DumpDatabase(first.connection);

    // Another updater holding the lock does not refuse a run that leaves
    // the database alone.
    auto holder = std::make_unique<dbupdate::CGlobDB>(server, first.database);
    auto lock = std::make_unique<dbupdate::UpdateLock>(*holder);
    ASSERT_EQ(lock->Acquire(), dbupdate::UpdateLock::Outcome::Held);
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
    // Both workstations are in the register, with 123's programs.
    EXPECT_EQ(first.Query("select count(*) from NVX$WORKSTATIONS where PROGRAM_VERSION = 123"), 2);

    // Caught up, the workstation is current: the designed refusal, exit 0.
    const auto again = testsupport::RunUnattended(second);
    EXPECT_EQ(again.code, app::kExitApplied) << again.err;
    EXPECT_TRUE(again.out.ends_with("Версія БД більша за номер пакета оновлень\nОновлення не можливо!!!\n")) << again.out;
}

// One PC whose database went ahead of its programs (120 and 121 took no
// files): the update from 121 installs 120's and 121's missing reports
// before its own packages; the program the run replaces anyway is left to
// the run.
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
                                    package(121, {{"Reports/r121.fr3", "r121"}}),
                                    package(122, {{"nvlib.exe", "program 122"}}),
                                    package(123, {{"Reports/r123.fr3", "r123"}})});
    WriteFile(installation.InExeDir("nvlib.exe"), "program 119");
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
