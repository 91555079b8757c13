#include "dbupdate/Uglobdb.h"

#include "dbupdate/CDBStatement.h"
#include "dbupdate/FbClient.h"
#include "dbupdate/Settings.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <algorithm>

namespace dbupdate {

namespace {

bool IsBlank(const std::string& text) { return platform::TrimBlanks(text).empty(); }

}  // namespace

std::string BuildConnectionString(const std::string& server, const std::string& path)
{
    if (IsBlank(server))
        return path;
    return platform::TrimBlanks(server) + ":" + path;
}

std::string AccountItems(const std::string& user, const std::string& password)
{
    std::string items;
    for (const auto& [item, value] : {std::pair<char, const std::string&>(isc_dpb_user_name, user),
                                      std::pair<char, const std::string&>(isc_dpb_password, password)}) {
        const std::size_t length = std::min<std::size_t>(value.size(), 255);
        items += item;
        items += static_cast<char>(length);
        items.append(value, 0, length);
    }
    return items;
}

CGlobDB::CGlobDB(const std::string& server, const std::string& path, std::string exeDir)
    : api_(LoadFbClient()), exeDir_(std::move(exeDir))
{
    if (!IsBlank(path))
        Connect(server, path, "", "");
}

CGlobDB::~CGlobDB() { Detach(); }

void CGlobDB::Detach() noexcept
{
    ISC_STATUS_ARRAY status {};
    if (tr_) {
        api_.rollback_transaction(status, &tr_);
        tr_ = 0;
    }
    if (db_) {
        api_.detach_database(status, &db_);
        db_ = 0;
    }
}

void CGlobDB::Connect(const std::string& server, const std::string& path, const std::string& user,
                      const std::string& password)
{
    const std::string databasePath = IsBlank(path) ? platform::JoinPath(exeDir_, kDefaultDatabaseName) : path;
    const std::string connectionString = BuildConnectionString(server, databasePath);

    // A second connect ends the first: its open work is committed first.
    if (db_) {
        if (tr_)
            Commit();
        Detach();
    }
    connectionString_ = connectionString;
    dialect_ = 3;

    std::string userName = user;
    std::string userPassword = password;
    if (userName.empty()) {
        userName = kDefaultUser;
        userPassword = kDefaultPassword;
    }
    params_ = {"user_name=" + userName, "password=" + userPassword};

    // A version-1 parameter block with exactly the user name and the password.
    const std::string dpb = static_cast<char>(isc_dpb_version1) + AccountItems(userName, userPassword);

    ISC_STATUS_ARRAY status {};
    isc_db_handle db = 0;
    api_.attach_database(status, static_cast<short>(connectionString_.size()), connectionString_.c_str(), &db,
                         static_cast<short>(dpb.size()), dpb.data());
    Check(api_, status, "CGlobDB::Connect");
    db_ = db;

    // A database of an older dialect is used in its own dialect.
    const char items[] = {isc_info_db_sql_dialect, isc_info_end};
    char info[32] {};
    api_.database_info(status, &db_, sizeof items, items, sizeof info, info);
    if (!CallFailed(status)) {
        const long dialect = FirstInfoValue(api_, info, isc_info_db_sql_dialect).value_or(3);
        if (dialect > 0 && dialect < 3)
            dialect_ = static_cast<unsigned short>(dialect);
    }

    try {
        StartTransaction();
    } catch (...) {
        Detach();
        throw;
    }
}

void CGlobDB::StartTransaction()
{
    if (tr_)
        throw DatabaseError("Transaction is active");
    // An empty parameter block, so the engine's defaults apply.
    tr_ = StartOwnTransaction({});
    ++transactionSerial_;
}

isc_tr_handle CGlobDB::StartOwnTransaction(const std::string& parameters)
{
    if (!db_)
        throw DatabaseError("Cannot perform operation -- DB is not open");
    ISC_STATUS_ARRAY status {};
    isc_tr_handle tr = 0;
    // One transaction-existence block: this attachment and the parameters.
    struct TransactionBlock {
        isc_db_handle* database;
        long tpbLength;
        const char* tpb;
    } block {&db_, static_cast<long>(parameters.size()), parameters.empty() ? nullptr : parameters.data()};
    api_.start_multiple(status, &tr, 1, &block);
    Check(api_, status, "CGlobDB::StartTransaction");
    return tr;
}

void CGlobDB::Commit()
{
    if (!tr_)
        throw DatabaseError("Transaction is not active");
    ISC_STATUS_ARRAY status {};
    api_.commit_transaction(status, &tr_);
    Check(api_, status, "CGlobDB::Commit");
    tr_ = 0;
}

void CGlobDB::Rollback()
{
    if (!tr_)
        throw DatabaseError("Transaction is not active");
    ISC_STATUS_ARRAY status {};
    api_.rollback_transaction(status, &tr_);
    Check(api_, status, "CGlobDB::Rollback");
    tr_ = 0;
}

std::int32_t CGlobDB::GetVersion()
{
    CDBStatement statement(*this);
    statement.SetSQL("select * from versions order by create_date desc");
    statement.Execute();
    std::int32_t result = 0;
    if (!statement.Eof())
        result = statement.FieldAsInteger("data");
    return result;
}

}  // namespace dbupdate
