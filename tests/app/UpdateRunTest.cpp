// The update run end to end: a real embedded database, a packed updater, the
// real unpacker, without a window (the window's own run is in
// MainWindowTest) and in unattended mode.
#include "app/HeadlessView.h"
#include "app/Shell.h"
#include "app/Unattended.h"
#include "dbupdate/BackupNames.h"

#include "Installation.h"
#include "ShellRun.h"
#include "RarWriter.h"
#include "platform/FileSystem.h"

#include <clocale>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::Installation;
using testsupport::Package121;
using testsupport::Package122;
using rarformat::RarEntry;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::vector<std::string> From(const std::vector<std::string>& lines, std::size_t first)
{
    return {lines.begin() + static_cast<std::ptrdiff_t>(std::min(first, lines.size())), lines.end()};
}

}  // namespace

TEST(UpdateRun, AppliesEveryPackageInTurn)
{
    Installation installation(120, {{"121_RAR", Package121()}, {"122_RAR", Package122()}});
    RunRecord run;
    RunUpdate(installation, run);
    ASSERT_EQ(run.error, "");
    EXPECT_EQ(run.result, app::RunResult::Completed);
    const std::string work = installation.workDir;
    const std::vector<std::string> expected = {
        "Перевірка запущенної програми...OK",
        "Підключення до бази даних",
        installation.database,
        "Версія бази даних: 120",
        "Наявні пакети оновлення:",
        "121_RAR",
        "122_RAR [OK]",
        "Створення тимчасового каталога",
        work,
        "Наявність архиватора RAR...[OK]",
        "Резервна копія бази даних...[OK]",
        dbupdate::BackupPathFor(installation.database, 120),
        "Копіювання пакету",
        installation.InWorkDir("121.rar"),
        "Розпаковка пакету...[OK]",
        "Встановлення оновлення",
        "121.001.sql",
        "121.099.sql",
        "nvlib.exe...[OK]",
        "a.fr3...[OK]",
        "Копіювання пакету",
        installation.InWorkDir("122.rar"),
        "Розпаковка пакету...[OK]",
        "Встановлення оновлення",
        "122.001.sql",
        "122.099.sql",
        "nvlib.exe...[OK]",
        "a.fr3...[OK]",  // the Reports of the working directory are not cleared between packages
        "b.fr3...[OK]",
    };
    EXPECT_EQ(run.view.memo, expected);

    EXPECT_EQ(installation.Version(), 122);
    EXPECT_EQ(testsupport::QueryBlob(installation.database, "select NOTE_U from INFO_DOC where ID = 200"),
              std::string("blob\0bytes\r\n\x1A end", 17));
    EXPECT_EQ(testsupport::QueryInteger(installation.database, "select KIND from INFO_DOC where ID = 300"), 2);
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 122");
    EXPECT_EQ(ReadFile(installation.InExeDir("Reports/a.fr3")), "report a 121");
    EXPECT_EQ(ReadFile(installation.InExeDir("Reports/b.fr3")), "report b 122");
    const std::string log = ReadFile(installation.InWorkDir("up/122.001.sql.log"));
    EXPECT_EQ(log.rfind("insert into NOWHERE values (1)\r\n------------------------- error", 0), 0u) << log;
    EXPECT_FALSE(fs::exists(installation.InWorkDir("up/121.001.sql.log")));
    EXPECT_FALSE(fs::exists(installation.InWorkDir("121.rar")));
    EXPECT_FALSE(fs::exists(installation.InWorkDir("122.rar")));
    EXPECT_TRUE(fs::exists(installation.InWorkDir("up/121.001.~sql")));
    EXPECT_TRUE(fs::exists(installation.InWorkDir("up/INFO_DOC.NOTE_U.ID 200.~blo")));

    const auto& view = run.view;
    EXPECT_FALSE(view.ok.visible);
    EXPECT_EQ(view.cancel.caption, "Зачинити");
    EXPECT_TRUE(view.cancel.enabled);
    EXPECT_FALSE(view.update.visible);
    EXPECT_FALSE(view.bar.visible);
    EXPECT_FALSE(view.textFile.visible);
    EXPECT_FALSE(view.file.visible);
    EXPECT_FALSE(view.updateTime.visible);
    EXPECT_EQ(view.curVer.caption, "120");
    EXPECT_EQ(view.actVer.caption, "121 - 122");
}

TEST(UpdateRun, StopsWhenTheArchiverIsMissing)
{
    Installation installation(121, {{"122_RAR", Package122()}}, false);
    fs::create_directory(installation.InExeDir("rar"));  // a directory does not count
    RunRecord run;
    RunUpdate(installation, run);
    EXPECT_EQ(run.result, app::RunResult::ArchiverMissing);
    EXPECT_EQ(From(run.view.memo, 8), (std::vector<std::string> {"Наявність архиватора RAR...", "error"}));
    EXPECT_TRUE(run.view.ok.visible);
    EXPECT_FALSE(run.view.ok.enabled);
    EXPECT_EQ(run.view.cancel.caption, "Відмінити");
    EXPECT_TRUE(run.view.cancel.enabled);
    EXPECT_TRUE(fs::is_directory(installation.workDir));
    EXPECT_EQ(installation.Version(), 121);
}

TEST(UpdateRun, AFailingArchiverStopsBeforeAnythingIsInstalled)
{
    std::string damaged = Package121();
    damaged[damaged.find("program 121")] = 'P';  // the file's CRC no longer matches
    Installation installation(120, {{"121_RAR", damaged}, {"122_RAR", Package122()}});
    RunRecord run;
    RunUpdate(installation, run);
    EXPECT_EQ(run.result, app::RunResult::UnpackFailed);
    EXPECT_EQ(From(run.view.memo, 12), (std::vector<std::string> {"Копіювання пакету", installation.InWorkDir("121.rar"),
                                                                   "Розпаковка пакету...", "error"}));
    EXPECT_EQ(installation.Version(), 120);
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 120");
    EXPECT_FALSE(fs::exists(installation.InWorkDir("up"))) << "nothing half-unpacked";
    EXPECT_NE(ReadFile(installation.InWorkDir("rar.log")).find("rar: nvlib.exe: "), std::string::npos)
        << "the reason is kept";
    EXPECT_FALSE(run.view.ok.visible);
    EXPECT_EQ(run.view.cancel.caption, "Зачинити");
    EXPECT_TRUE(run.view.update.visible);
    EXPECT_EQ(run.view.update.caption, "Підготовка оновлення");
}

TEST(UpdateRun, AMissingPackageEndsTheRunAfterTheLowerOnes)
{
    Installation installation(120, {{"121_RAR", Package121()}, {"123_RAR", Package122()}});
    RunRecord run;
    RunUpdate(installation, run);
    EXPECT_EQ(run.error, "Resource 122_RAR not found");
    EXPECT_EQ(run.view.memo.back(), "Копіювання пакету");
    EXPECT_EQ(installation.Version(), 121);
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 121");
    EXPECT_FALSE(fs::exists(installation.InWorkDir("121.rar")));
    EXPECT_FALSE(run.view.ok.enabled);
    EXPECT_EQ(run.view.cancel.caption, "Відмінити");
    EXPECT_TRUE(run.view.cancel.enabled);
}

namespace {

using Unattended = testsupport::UnattendedResult;

Unattended RunUnattendedProcess(const Installation& installation) { return testsupport::RunUnattended(installation); }

}  // namespace

// Package 122 has one statement that fails: applied, but not cleanly (3),
// and its run log is named.
// A lock that this database refuses (here a trigger; elsewhere an account
// without the rights) is no error: the run goes on and says so once.
TEST(UpdateRun, ALockThatCannotBeTakenIsNotedInTheFirstRunLog)
{
    Installation installation(120, {{"121_RAR", Package121()}});
    testsupport::RunStatements(
        installation.database,
        {"create table NVX$UPDATE_LOCK (ID integer not null primary key, TAKEN_AT timestamp)",
         "create exception NO_LOCK 'locks are kept elsewhere'",
         "create trigger NO_LOCK_TAKEN for NVX$UPDATE_LOCK before insert or update as begin exception NO_LOCK; end"});
    RunRecord run;
    RunUpdate(installation, run);
    ASSERT_EQ(run.result, app::RunResult::Completed) << run.error;
    EXPECT_EQ(installation.Version(), 121);
    const std::string separator = "------------------------- error ------------------------------\r\n";
    const std::string log = ReadFile(installation.InWorkDir("up/121.001.sql.log"));
    EXPECT_TRUE(log.starts_with(separator + "The update lock NVX$UPDATE_LOCK cannot be used; another updater is not "
                                            "kept from updating this database at the same time.\r\n"))
        << log;
    EXPECT_NE(log.find("locks are kept elsewhere"), std::string::npos) << log;
    EXPECT_EQ(log.find(separator, separator.size()) + separator.size() + 2, log.size()) << "one framed note";
    EXPECT_FALSE(fs::exists(installation.InWorkDir("up/121.099.sql.log")));
}

TEST(Unattended, AppliesTheUpdateAndPrintsTheMemo)
{
    Installation installation(121, {{"122_RAR", Package122()}});
    const Unattended result = RunUnattendedProcess(installation);
    EXPECT_EQ(result.code, app::kExitFailures) << result.err;
    EXPECT_EQ(result.err, installation.InWorkDir("up/122.001.sql.log") + ": 1 failed statement, 0 failed blob files\n");
    std::string expected = "Перевірка запущенної програми...OK\nПідключення до бази даних\n" + installation.database +
                           "\nВерсія бази даних: 121\nНаявні пакети оновлення:\n122_RAR [OK]\n"
                           "Створення тимчасового каталога\n" + installation.workDir +
                           "\nНаявність архиватора RAR...[OK]\n" + installation.BackupLines(121) + "Копіювання пакету\n" +
                           installation.InWorkDir("122.rar") +
                           "\nРозпаковка пакету...[OK]\nВстановлення оновлення\n122.001.sql\n122.099.sql\n"
                           "nvlib.exe...[OK]\nb.fr3...[OK]\n";
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(installation.Version(), 122);
}

TEST(Unattended, ExitCodesForRefusedAndFailedRuns)
{
    {
        // A database current, and this workstation's files with it.
        Installation current(122, {{"122_RAR", Package122()}});
        fs::create_directories(current.InExeDir("Reports"));
        testsupport::WriteFile(current.InExeDir("nvlib.exe"), "program 122");
        testsupport::WriteFile(current.InExeDir("Reports/b.fr3"), "report b 122");
        const Unattended result = RunUnattendedProcess(current);
        EXPECT_EQ(result.code, app::kExitApplied);
        EXPECT_NE(result.out.find("Версія БД більша за номер пакета оновлень\nОновлення не можливо!!!\n"),
                  std::string::npos);
    }
    {
        Installation older(119, {{"121_RAR", Package121()}});
        EXPECT_EQ(RunUnattendedProcess(older).code, app::kExitRefused);
    }
    {
        Installation noRar(121, {{"122_RAR", Package122()}}, false);
        const Unattended result = RunUnattendedProcess(noRar);
        EXPECT_EQ(result.code, app::kExitRefused);
        const std::string tail = "Наявність архиватора RAR...\nerror\n";
        ASSERT_GE(result.out.size(), tail.size());
        EXPECT_EQ(result.out.substr(result.out.size() - tail.size()), tail);
    }
    {
        Installation gap(120, {{"121_RAR", Package121()}, {"123_RAR", Package122()}});
        const Unattended result = RunUnattendedProcess(gap);
        EXPECT_EQ(result.code, app::kExitError) << result.out;
        EXPECT_EQ(result.err, "Resource 122_RAR not found.\n");
        EXPECT_EQ(gap.Version(), 121);
    }
    {
        // An updater cut by one byte is damaged, not one without packages;
        // the message names its real path.
        Installation cut(121, {{"122_RAR", Package122()}});
        fs::resize_file(cut.updater, fs::file_size(cut.updater) - 1);
        const Unattended result = RunUnattendedProcess(cut);
        EXPECT_EQ(result.code, app::kExitError);
        EXPECT_EQ(result.err.rfind("The package store of \"" + cut.updater + "\" is damaged: ", 0), 0u) << result.err;
        EXPECT_EQ(cut.Version(), 121);
    }
    {
        Installation broken(120, {{"121_RAR", "Rar!\x1A\x07\x00 not really an archive"}});
        EXPECT_EQ(RunUnattendedProcess(broken).code, app::kExitRefused);
    }
    {
        // Every statement ran, but the package never wrote its version.
        Installation unversioned(121, {{"122_RAR", rarformat::WriteRar4({{"up", "", true},
                                                                         {"up/122.001.sql", "UPDATE INFO_DOC SET "
                                                                                            "KIND = 5;\r\n"}})}});
        const Unattended result = RunUnattendedProcess(unversioned);
        EXPECT_EQ(result.code, app::kExitRefused);
        EXPECT_EQ(result.err, "The database version is 121 after the update, not 122\n");
    }
}

TEST(Unattended, RefusesWhileTheMainApplicationRuns)
{
    Installation installation(121, {{"122_RAR", Package122()}});
    Unattended result;
    {
        const testsupport::RunningProgram running(installation.dir.Path(), "nvlib.exe");
        result = RunUnattendedProcess(installation);
    }
    EXPECT_EQ(result.code, app::kExitRefused);
    EXPECT_EQ(result.out, "Перевірка запущенної програми...\nПрограмма запущена\nОновлення не можливо!!!\n");
    EXPECT_EQ(result.err, "Warning: ПК Norvex запущена. Будь ласка, закрийте програму та перезапустіть оновлення!\n");
    EXPECT_EQ(installation.Version(), 121);
}

// With the embedded engine the database file belongs to the process that
// opened it first: the engine itself refuses a second updater, before any
// lock of the updater's own, and its message says why.
TEST(Unattended, TheEmbeddedEngineTakesOneUpdaterAtATime)
{
    Installation installation(121, {{"122_RAR", Package122()}});
    RunRecord window;
    app::CUpdaterShell shell(window.view, installation.updater);
    ASSERT_EQ(shell.FormShow(), app::CheckResult::UpdatePossible);

    const Unattended second = RunUnattendedProcess(installation);
    EXPECT_EQ(second.code, app::kExitError);
    EXPECT_NE(second.err.find("I/O error during \"lock\" operation for file"), std::string::npos) << second.err;
    EXPECT_TRUE(second.out.ends_with("Підключення до бази даних\n" + installation.database + "\n")) << second.out;

    EXPECT_EQ(shell.btOKClick(), app::RunResult::Completed);
    EXPECT_EQ(installation.Query("select count(*) from VERSIONS where DATA = 122"), 1);
}
