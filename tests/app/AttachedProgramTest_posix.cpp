// A networked installation: the main application of another workstation is
// attached to the database through the server. The updater runs in a process
// namespace of its own, so only the database can tell it about the client.
#include "app/Unattended.h"

#include "UnattendedProcess_posix.h"
#include "dbupdate/Uglobdb.h"

#include <gtest/gtest.h>
#include <regex>

namespace fs = std::filesystem;
using testsupport::Installation;

namespace {

// A copy of isql-fb under another file name, attached to a database until
// it is destroyed (its standard input is held open).
class AttachedClient {
public:
    AttachedClient(const Installation& installation, const std::string& name)
    {
        const std::string program = installation.dir / name;
        fs::copy_file("/usr/bin/isql-fb", program);
        int input[2];
        if (::pipe(input) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(input[0], 0);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::close(input[1]);
            ::execl(program.c_str(), name.c_str(), "-q", "-user", dbupdate::kDefaultUser, "-password",
                    dbupdate::kDefaultPassword, installation.connection.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(input[0]);
        input_ = input[1];
        const std::string attached =
            "select count(*) from mon$attachments where mon$remote_pid = " + std::to_string(pid_);
        attached_ = fixture::WaitFor([&] { return installation.Query(attached) > 0; });
    }
    AttachedClient(const AttachedClient&) = delete;
    AttachedClient& operator=(const AttachedClient&) = delete;
    // End of input ends isql.
    ~AttachedClient()
    {
        if (input_ >= 0)
            ::close(input_);
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
    }
    bool Attached() const { return attached_; }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    bool attached_ = false;
};

}  // namespace

TEST(AttachedProgram, AnotherWorkstationsMainApplicationRefusesTheUpdate)
{
    const std::string server = testsupport::TestServer();
    if (server.empty())
        GTEST_SKIP() << "no Firebird server (UPDATER_FIREBIRD_SERVER=host/port names one)";
    const std::vector<std::string> launcher = fixture::OwnProcessNamespace();
    ASSERT_FALSE(launcher.empty()) << "unshare cannot make a process namespace here";

    struct Case {
        std::string client;
        bool refuses;
    };
    for (const Case& c : {Case{"nvlib.exe", true}, Case{"NVLIB.EXE", true}, Case{"isql-fb", false}}) {
        SCOPED_TRACE(c.client);
        Installation installation(120, {{"121_RAR", testsupport::Package121()}});
        installation.UseServer(server, server);
        const AttachedClient client(installation, c.client);
        ASSERT_TRUE(client.Attached());

        const fixture::UnattendedResult result =
            fixture::FinishUnattended(installation, fixture::StartUnattended(installation, false, launcher));
        // The local check found nothing: the client runs outside the namespace.
        EXPECT_TRUE(result.out.starts_with("Перевірка запущенної програми...OK\n")) << result.out;
        // One line for the one other client: the updater's own attachment is
        // never counted.
        const std::string address = R"(127\.0\.0\.1/[0-9]+, SYSDBA)";
        if (c.refuses) {
            EXPECT_EQ(result.code, app::kExitRefused) << result.err;
            EXPECT_TRUE(result.out.ends_with("Версія бази даних: 120\nПрограмма запущена\nОновлення не можливо!!!\n"))
                << result.out;
            EXPECT_TRUE(std::regex_match(result.err, std::regex("Warning: ПК Norvex запущена. Будь ласка, закрийте програму та "
                                                                "перезапустіть оновлення!\n" +
                                                                address + "\n")))
                << result.err;
            EXPECT_EQ(installation.Version(), 120);
        } else {
            EXPECT_EQ(result.code, app::kExitApplied) << result.err;
            EXPECT_TRUE(std::regex_match(result.err, std::regex("Also attached to the database: " +
                                                                (installation.dir / c.client) + " \\(" +
                                                                address + "\\)\n")))
                << result.err;
            EXPECT_EQ(installation.Version(), 121);
        }
    }
}

// The other workstation's main application does not refuse a catch-up of
// this workstation's program files: the database is not touched.
TEST(AttachedProgram, AnotherWorkstationsMainApplicationLetsACatchUpGoOn)
{
    const std::string server = testsupport::TestServer();
    if (server.empty())
        GTEST_SKIP() << "no Firebird server (UPDATER_FIREBIRD_SERVER=host/port names one)";
    const std::vector<std::string> launcher = fixture::OwnProcessNamespace();
    ASSERT_FALSE(launcher.empty()) << "unshare cannot make a process namespace here";
    // The database has 121; this workstation lacks 121's report.
    Installation installation(121, {{"121_RAR", testsupport::Package121()}});
    installation.UseServer(server, server);
    const AttachedClient client(installation, "nvlib.exe");
    ASSERT_TRUE(client.Attached());
    const fixture::UnattendedResult result =
        fixture::FinishUnattended(installation, fixture::StartUnattended(installation, false, launcher));
    EXPECT_EQ(result.code, app::kExitApplied) << result.out << result.err;
    EXPECT_TRUE(result.out.ends_with("a.fr3...[OK]\nФайли програми оновлено до версії 121\n")) << result.out;
}
