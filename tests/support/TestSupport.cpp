#include "TestSupport.h"

#include "PackageCheck.h"

#include "dbupdate/FbClient.h"
#include "platform/SharedLibrary.h"
#include "package/PackageStore.h"
#include "package/StoreWriter.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

#include <cstdlib>
#include <functional>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <random>
#include <thread>
#include <stdexcept>

namespace testsupport {

namespace {

void Check(const ISC_STATUS* status, const std::string& what)
{
    if (status[0] == 1 && status[1] != 0) {
        const auto& api = dbupdate::LoadFbClient();
        const ISC_STATUS* vector = status;
        char buffer[512];
        std::string message = what + ":";
        while (api.interpret(buffer, sizeof buffer, &vector) > 0)
            message += std::string(" ") + buffer;
        throw std::runtime_error(message);
    }
}

}  // namespace

TempDir::TempDir()
{
    // Taken once: tests point TMPDIR at directories of their own.
    static const std::string base = platform::TempPath();
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    for (int attempt = 0; path_.empty(); ++attempt) {
        std::string name = "updater-test-";
        for (int i = 0; i < 8; ++i)
            name += letters[random() % (sizeof letters - 1)];
        std::error_code error;
        if (std::filesystem::create_directory(platform::JoinPath(base, name), error))
            path_ = platform::JoinPath(base, name);
        else if (attempt == 100)
            throw std::runtime_error("cannot create a directory in " + base + ": " + error.message());
    }
    // The Firebird server runs as another user on some machines.
    std::filesystem::permissions(path_, std::filesystem::perms::all);
}

std::string TempDir::operator/(const std::string& name) const { return platform::JoinPath(path_, name); }

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
}

RunningProgram::RunningProgram(const std::string& directory, const std::string& name)
    : path_(platform::JoinPath(directory, name))
{
    std::filesystem::copy_file(BuiltProgram("tests/support", "test-helper"), path_,
                               std::filesystem::copy_options::overwrite_existing);
    const std::string ready = path_ + ".ready";
    auto started = platform::ChildProcess::Start({path_, "sleep", "120", ready}, directory);
    if (!started)
        throw std::runtime_error("cannot start " + path_);
    process_ = std::make_unique<platform::ChildProcess>(std::move(*started));
    // The helper writes its file once it runs as that program.
    for (int i = 0; i < 1000 && !std::filesystem::exists(ready); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!std::filesystem::exists(ready))
        throw std::runtime_error(path_ + " did not start");
}

// The process is killed and reaped by its owner.
RunningProgram::~RunningProgram() = default;

void CreateDatabase(const std::string& connectionString, int dialect)
{
    const auto& api = dbupdate::LoadFbClient();
    ISC_STATUS_ARRAY status {};
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    const std::string sql = "CREATE DATABASE '" + connectionString + "' USER '" + dbupdate::kDefaultUser +
                            "' PASSWORD '" + dbupdate::kDefaultPassword + "'";
    api.dsql_execute_immediate(status, &db, &tr, 0, sql.c_str(), static_cast<unsigned short>(dialect), nullptr);
    Check(status, "create database " + connectionString);
    api.detach_database(status, &db);
    Check(status, "detach");
}

void RunStatements(const std::string& connectionString, const std::vector<std::string>& statements)
{
    dbupdate::CGlobDB db("", connectionString);
    dbupdate::CDBStatement statement(db);
    statement.SetParamCheck(false);
    for (const auto& sql : statements) {
        if (!db.InTransaction())
            db.StartTransaction();
        statement.SetSQL(sql);
        statement.Execute();
        db.Commit();
    }
}

void CreateVersionDatabase(const std::string& path, const std::string& versionsDataType)
{
    CreateDatabase(path);
    RunStatements(path, {"create table versions (data " + versionsDataType +
                         ", create_date timestamp default current_timestamp)"});
}

void AddVersion(const std::string& path, const std::string& dataLiteral, const std::string& createDate)
{
    RunStatements(path, {"insert into versions (data, create_date) values (" + dataLiteral + ", '" + createDate + "')"});
}

// A one-column, one-row query through the raw client interface.
static bool QueryFirst(const std::string& connectionString, const std::string& sql,
                       const std::function<void(dbupdate::CGlobDB&, XSQLVAR&)>& use)
{
    dbupdate::CGlobDB db("", connectionString);
    const auto& api = db.Api();
    ISC_STATUS_ARRAY status {};
    isc_stmt_handle stmt = 0;
    api.dsql_allocate_statement(status, db.DbHandle(), &stmt);
    Check(status, "allocate");
    alignas(XSQLDA) char storage[XSQLDA_LENGTH(1)] {};
    auto* da = reinterpret_cast<XSQLDA*>(storage);
    da->version = SQLDA_VERSION1;
    da->sqln = 1;
    api.dsql_prepare(status, db.TrHandle(), &stmt, 0, sql.c_str(), 3, da);
    Check(status, "prepare " + sql);
    alignas(8) char data[1024] {};
    short indicator = 0;
    da->sqlvar[0].sqldata = data;
    da->sqlvar[0].sqlind = &indicator;
    da->sqlvar[0].sqltype |= 1;
    api.dsql_execute(status, db.TrHandle(), &stmt, 1, nullptr);
    Check(status, "execute " + sql);
    const ISC_STATUS fetched = api.dsql_fetch(status, &stmt, 1, da);
    bool found = false;
    if (fetched == 0) {
        found = true;
        use(db, da->sqlvar[0]);
    }
    api.dsql_free_statement(status, &stmt, DSQL_drop);
    return found;
}

long long QueryInteger(const std::string& connectionString, const std::string& sql)
{
    long long result = -2;
    QueryFirst(connectionString, sql, [&](dbupdate::CGlobDB&, XSQLVAR& var) {
        if (*var.sqlind < 0) {
            result = -1;
            return;
        }
        switch (var.sqltype & ~1) {
        case SQL_SHORT: result = *reinterpret_cast<short*>(var.sqldata); break;
        case SQL_LONG: result = *reinterpret_cast<ISC_LONG*>(var.sqldata); break;
        case SQL_INT64: result = *reinterpret_cast<ISC_INT64*>(var.sqldata); break;
        default: throw std::runtime_error("QueryInteger: not an integer column");
        }
    });
    return result;
}

std::optional<std::string> QueryBlob(const std::string& connectionString, const std::string& sql)
{
    std::optional<std::string> result;
    const bool found = QueryFirst(connectionString, sql, [&](dbupdate::CGlobDB& db, XSQLVAR& var) {
        if (*var.sqlind < 0)
            return;
        // The updater writes blobs only; reading one back takes entry points
        // of the client that it does not resolve.
        const auto& api = db.Api();
        const platform::SharedLibrary& library = dbupdate::FbClientLibrary();
        decltype(&::isc_open_blob2) open_blob2 = nullptr;
        decltype(&::isc_get_segment) get_segment = nullptr;
        if (!library.Find("isc_open_blob2", open_blob2) || !library.Find("isc_get_segment", get_segment))
            throw std::runtime_error("QueryBlob: the client library cannot read blobs");
        ISC_STATUS_ARRAY status {};
        isc_blob_handle blob = 0;
        open_blob2(status, db.DbHandle(), db.TrHandle(), &blob, reinterpret_cast<ISC_QUAD*>(var.sqldata), 0,
                       nullptr);
        Check(status, "open blob");
        result.emplace();
        char buffer[8192];
        for (;;) {
            unsigned short got = 0;
            const ISC_STATUS code = get_segment(status, &blob, &got, sizeof buffer, buffer);
            if (code == isc_segstr_eof)
                break;
            if (code != 0 && code != isc_segment)
                Check(status, "read blob");
            result->append(buffer, got);
        }
        api.close_blob(status, &blob);
    });
    if (!found)
        throw std::runtime_error("QueryBlob: no row for " + sql);
    return result;
}

std::string BuiltProgram(const std::string& directory, const std::string& name)
{
    return platform::JoinPath(platform::JoinPath(BinaryDir(), directory), platform::ProgramFileName(name));
}

void MakePackedUpdater(const std::string& path, const std::vector<std::pair<std::string, std::string>>& packages)
{
    // As updater-pack packs them: each package that unpacks has its
    // installable files recorded.
    std::vector<package::PackageInMemory> stored;
    const TempDir scratch;
    for (const auto& [name, bytes] : packages) {
        const std::string archive = scratch / "package.rar";
        WriteFile(archive, bytes);
        std::optional<std::vector<package::InstallableFile>> files;
        try {
            files = packtool::InstallableFilesOfArchive(archive);
        } catch (const std::runtime_error&) {
        }
        stored.push_back({name, bytes, std::move(files)});
    }
    package::WriteStoreFromMemory(BuiltProgram("src/app", "updater"), path, stored);
}

std::string FakePackage(const std::string& tag) { return std::string("Rar!\x1A\x07\x00", 7) + "fake " + tag; }

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string TestDataDir()
{
    if (const char* overridden = std::getenv("UPDATER_TESTDATA_DIR"))
        return overridden;
    return UPDATER_TESTDATA_DIR;
}

std::string BinaryDir() { return UPDATER_BINARY_DIR; }


std::string TestServer()
{
    const char* server = std::getenv("UPDATER_FIREBIRD_SERVER");
    return server ? server : "";
}

std::string ServerHost(const std::string& server) { return server.substr(0, server.find('/')); }

int ServerPort(const std::string& server)
{
    const auto slash = server.find('/');
    return slash == std::string::npos ? 3050 : std::atoi(server.c_str() + slash + 1);
}

}  // namespace testsupport
