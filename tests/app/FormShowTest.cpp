#include "app/HeadlessView.h"
#include "app/Shell.h"

#include "TestSupport.h"
#include "dbupdate/Uglobdb.h"
#include "dbupdate/UpdateLock.h"
#include "platform/Paths.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <regex>

using app::CheckResult;
using testsupport::TempDir;

namespace {

// An installation: the database (when a version is given: one versions row)
// and a packed updater carrying the named packages.
struct Installation {
    TempDir dir;
    std::string updater = dir / "updater";
    std::string database = dir / "norvexlib.fdb";

    Installation(std::optional<int> version, const std::vector<std::string>& packages)
    {
        testsupport::CreateVersionDatabase(database);
        if (version)
            testsupport::AddVersion(database, std::to_string(*version), "2020-01-01");
        std::vector<std::pair<std::string, std::string>> stored;
        for (const auto& name : packages)
            stored.emplace_back(name, testsupport::FakePackage(name));
        testsupport::MakePackedUpdater(updater, stored);
    }
};

struct Outcome {
    std::optional<CheckResult> result;
    std::string error;
    bool attached = false;
    app::HeadlessView view;
};

void RunFormShow(const Installation& installation, Outcome& outcome)
{
    app::CUpdaterShell shell(outcome.view, installation.updater);
    try {
        outcome.result = shell.FormShow();
    } catch (const std::exception& error) {
        outcome.error = error.what();
    }
    outcome.attached = shell.Database().Attached();
}

std::vector<std::string> Tail(const std::vector<std::string>& lines, std::size_t count)
{
    return {lines.end() - static_cast<std::ptrdiff_t>(std::min(count, lines.size())), lines.end()};
}

}  // namespace

TEST(FormShow, OffersTheUpdateWhenThePackagesFit)
{
    Installation installation(121, {"122_RAR"});
    Outcome outcome;
    RunFormShow(installation, outcome);
    EXPECT_EQ(outcome.result, CheckResult::UpdatePossible) << outcome.error;
    const std::vector<std::string> expected = {
        "Перевірка запущенної програми...OK",
        "Підключення до бази даних",
        installation.database,
        "Версія бази даних: 121",
        "Наявні пакети оновлення:",
        "122_RAR [OK]",
    };
    EXPECT_EQ(outcome.view.memo, expected);
    EXPECT_EQ(outcome.view.curVer.caption, "121");
    EXPECT_EQ(outcome.view.actVer.caption, "122");
    EXPECT_TRUE(outcome.view.ok.enabled);
}

TEST(FormShow, DecidesByTheVersionsInThreeWays)
{
    struct Case {
        std::optional<int> version;
        std::vector<std::string> packages;
        CheckResult result;
        const char* available;
        std::vector<std::string> tail;
    };
    const std::string older = "Версія БД меньше номеру пакета оновлень";
    const std::string newer = "Версія БД більша за номер пакета оновлень";
    const std::string impossible = "Оновлення не можливо!!!";
    const Case cases[] = {
        {122, {"122_RAR"}, CheckResult::DatabaseCurrent, "122", {"122_RAR", newer, impossible}},
        {120, {"122_RAR"}, CheckResult::DatabaseTooOld, "122", {"122_RAR", older, impossible}},
        {123, {"125_RAR", "122_RAR"}, CheckResult::UpdatePossible, "122 - 125", {"125_RAR", "122_RAR [OK]"}},
        {121, {}, CheckResult::DatabaseCurrent, "0", {"Наявні пакети оновлення:", newer, impossible}},
        {std::nullopt, {"1_RAR"}, CheckResult::UpdatePossible, "1", {"Версія бази даних: 0", "Наявні пакети оновлення:", "1_RAR [OK]"}},
        {std::nullopt, {"2_RAR"}, CheckResult::DatabaseTooOld, "2", {"2_RAR", older, impossible}},
        {121, {"122_rar", "122_RAR", "README"}, CheckResult::UpdatePossible, "122", {"Наявні пакети оновлення:", "122_RAR [OK]"}},
        // The largest version: one more would not fit in 32 bits.
        {2147483647, {"1_RAR"}, CheckResult::DatabaseCurrent, "1", {"1_RAR", newer, impossible}},
    };
    for (const auto& c : cases) {
        Installation installation(c.version, c.packages);
        Outcome outcome;
        RunFormShow(installation, outcome);
        EXPECT_EQ(outcome.error, "");
        EXPECT_EQ(outcome.result, c.result) << c.available << " " << outcome.error;
        EXPECT_EQ(outcome.view.actVer.caption, c.available);
        EXPECT_EQ(Tail(outcome.view.memo, c.tail.size()), c.tail) << c.available;
        EXPECT_EQ(outcome.view.ok.enabled, c.result == CheckResult::UpdatePossible);
    }
}

TEST(FormShow, APackageNameWithoutANumberIsAnError)
{
    Installation installation(121, {"122_RAR", "_RAR"});
    Outcome outcome;
    RunFormShow(installation, outcome);
    EXPECT_EQ(outcome.error, "'' is not a valid integer value");
    EXPECT_EQ(Tail(outcome.view.memo, 2), (std::vector<std::string> {"122_RAR", "_RAR"}));
    EXPECT_EQ(outcome.view.curVer.caption, "121");
    EXPECT_EQ(outcome.view.actVer.caption, "-");
    EXPECT_FALSE(outcome.view.ok.enabled);
}

TEST(FormShow, ADatabaseThatCannotBeOpenedStopsTheChecks)
{
    Installation installation(121, {"122_RAR"});
    std::filesystem::remove(installation.database);
    Outcome outcome;
    RunFormShow(installation, outcome);
    EXPECT_NE(outcome.error.find("norvexlib.fdb"), std::string::npos) << outcome.error;
    EXPECT_EQ(outcome.view.memo.back(), installation.database);
    EXPECT_EQ(outcome.view.curVer.caption, "-");
    EXPECT_EQ(outcome.view.actVer.caption, "-");
    EXPECT_FALSE(outcome.view.ok.enabled);
}

TEST(FormShow, ReadsTheDatabasePathFromCnfgIni)
{
    Installation installation(121, {"122_RAR"});
    const std::string elsewhere = platform::JoinPath(installation.dir / "data", "base.fdb");
    std::filesystem::create_directory(installation.dir / "data");
    std::filesystem::rename(installation.database, elsewhere);
    testsupport::WriteFile(installation.dir / "cnfg.ini", "[Common]\r\nPathBaseIB=" + elsewhere + "\r\n");
    Outcome outcome;
    RunFormShow(installation, outcome);
    EXPECT_EQ(outcome.result, CheckResult::UpdatePossible);
    EXPECT_EQ(outcome.view.memo[2], elsewhere);
}

TEST(FormShow, RefusesWhileTheMainApplicationRuns)
{
    Installation installation(121, {"122_RAR"});
    Outcome outcome;
    {
        const testsupport::RunningProgram running(installation.dir.Path(), "NVLIB.EXE");
        RunFormShow(installation, outcome);
    }
    EXPECT_EQ(outcome.result, CheckResult::ProgramRunning);
    EXPECT_EQ(outcome.view.memo, (std::vector<std::string> {"Перевірка запущенної програми...", "Программа запущена",
                                                              "Оновлення не можливо!!!"}));
    EXPECT_EQ(outcome.view.warnings,
              (std::vector<std::string> {"ПК Norvex запущена. Будь ласка, закрийте програму та перезапустіть оновлення!"}));
    EXPECT_FALSE(outcome.view.ok.enabled);
    EXPECT_EQ(outcome.view.curVer.caption, "-");
    EXPECT_FALSE(outcome.attached) << "no connection while the main application runs";
}

TEST(FormShow, RefusesWhileAnotherUpdaterHoldsTheDatabase)
{
    Installation installation(121, {"122_RAR"});
    dbupdate::CGlobDB other("", installation.database);
    dbupdate::UpdateLock held(other);
    ASSERT_EQ(held.Acquire(), dbupdate::UpdateLock::Outcome::Held);
    Outcome outcome;
    RunFormShow(installation, outcome);
    EXPECT_EQ(outcome.result, CheckResult::UpdateInProgress);
    EXPECT_EQ(Tail(outcome.view.memo, 3),
              (std::vector<std::string> {installation.database, "Оновлення вже виконується з іншого робочого місця",
                                         "Оновлення не можливо!!!"}));
    ASSERT_EQ(outcome.view.warnings.size(), 1u);
    EXPECT_TRUE(std::regex_match(outcome.view.warnings[0],
                                 std::regex("Базу даних уже оновлює інше робоче місце \\(localhost, SYSDBA, з "
                                            "[0-9]{2}:[0-9]{2}\\)\\. Дочекайтеся завершення та перезапустіть "
                                            "оновлення!")))
        << outcome.view.warnings[0];
    EXPECT_FALSE(outcome.view.ok.enabled);
    EXPECT_EQ(outcome.view.curVer.caption, "-");
    EXPECT_EQ(outcome.view.actVer.caption, "-");
}

TEST(FormShow, AHolderThatTheEngineDoesNotNameIsLeftUnnamed)
{
    EXPECT_EQ(app::UpdateInProgressWarning(std::nullopt),
              "Базу даних уже оновлює інше робоче місце. Дочекайтеся завершення та перезапустіть оновлення!");
    EXPECT_EQ(app::UpdateInProgressWarning(dbupdate::LockHolder {{"", "10.0.0.7/50112", "CLERK"}, "09:05"}),
              "Базу даних уже оновлює інше робоче місце (10.0.0.7/50112, CLERK, з 09:05). Дочекайтеся завершення та "
              "перезапустіть оновлення!");
}
