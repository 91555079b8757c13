#include "TestSupport.h"

#include "dbupdate/FbClient.h"
#include "package/PackageStore.h"

#include <cstdlib>
#include <functional>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
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
    static const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::string pattern = (base / "updater-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    // The Firebird server runs as another user on some machines.
    std::filesystem::permissions(path_, std::filesystem::perms::all);
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
}

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

std::unique_ptr<std::string> QueryBlob(const std::string& connectionString, const std::string& sql)
{
    std::unique_ptr<std::string> result;
    const bool found = QueryFirst(connectionString, sql, [&](dbupdate::CGlobDB& db, XSQLVAR& var) {
        if (*var.sqlind < 0)
            return;
        const auto& api = db.Api();
        ISC_STATUS_ARRAY status {};
        isc_blob_handle blob = 0;
        api.open_blob2(status, db.DbHandle(), db.TrHandle(), &blob, reinterpret_cast<ISC_QUAD*>(var.sqldata), 0,
                       nullptr);
        Check(status, "open blob");
        result = std::make_unique<std::string>();
        char buffer[8192];
        for (;;) {
            unsigned short got = 0;
            const ISC_STATUS code = api.get_segment(status, &blob, &got, sizeof buffer, buffer);
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

void MakePackedUpdater(const std::string& path, const std::vector<std::pair<std::string, std::string>>& packages)
{
    package::WriteStoreFromMemory(BinaryDir() + "/src/app/updater", path, packages);
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

}  // namespace testsupport
