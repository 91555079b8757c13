#include "dbupdate/Uglobdb.h"

#include "dbupdate/FbClient.h"
#include "dbupdate/Settings.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <cstddef>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>

namespace dbupdate {

namespace {

bool IsBlank(const std::string& text) { return platform::TrimBlanks(text).empty(); }

std::string NameKey(const std::string& name) { return platform::UpperAscii(platform::TrimBlanks(name)); }

// The value of a CHAR or VARCHAR column; CHAR values come padded with blanks
// to the column's length, which are removed.
std::string TextOf(const XSQLVAR& var)
{
    const char* data = var.sqldata;
    if ((var.sqltype & ~1) == SQL_VARYING) {
        short length;
        std::memcpy(&length, data, sizeof length);
        return std::string(data + sizeof(short), static_cast<std::size_t>(length));
    }
    std::string text(data, static_cast<std::size_t>(var.sqllen));
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

}  // namespace

bool IsConnectionLevelError(const ISC_STATUS* status)
{
    static constexpr ISC_STATUS kCodes[] = {
        isc_network_error,    isc_net_read_err,      isc_net_write_err,      isc_lost_db_connection,
        isc_conn_lost,        isc_shutdown,          isc_shutinprog,         isc_att_shutdown,
        isc_net_server_shutdown, isc_bad_db_handle,
    };
    return HasErrorCode(status, kCodes);
}

bool HasErrorCode(const ISC_STATUS* status, std::span<const ISC_STATUS> codes)
{
    for (const StatusItem& item : StatusItems(status)) {
        if (item.type == isc_arg_gds && std::find(codes.begin(), codes.end(), item.value) != codes.end())
            return true;
    }
    return false;
}

std::vector<StatusItem> StatusItems(const ISC_STATUS* status)
{
    std::vector<StatusItem> items;
    // Clusters of an argument type and its value (two items; a counted
    // string has its length between them), up to the end.
    for (const ISC_STATUS* item = status; item[0] != isc_arg_end && item - status < ISC_STATUS_LENGTH - 1;) {
        const bool counted = item[0] == isc_arg_cstring;
        if (counted && item - status >= ISC_STATUS_LENGTH - 2)
            break;
        items.push_back({item[0], item[counted ? 2 : 1]});
        item += counted ? 3 : 2;
    }
    return items;
}

std::string FormEngineMessage(const std::vector<std::string>& statusLines)
{
    std::string message;
    for (const auto& line : statusLines) {
        if (!message.empty() && message.back() != '\n')
            message += "\r\n";
        message += line;
    }
    if (!message.empty() && message.back() == '.')
        message.pop_back();
    return message;
}

std::string BuildConnectionString(const std::string& server, const std::string& path)
{
    if (IsBlank(server))
        return path;
    return platform::TrimBlanks(server) + ":" + path;
}

// ---------------------------------------------------------------- CGlobDB

CGlobDB::CGlobDB(const std::string& server, const std::string& path, std::string exeDir)
    : api_(LoadFbClient()), exeDir_(std::move(exeDir))
{
    if (!IsBlank(path))
        Connect(server, path, "", "");
}

CGlobDB::~CGlobDB() { Detach(); }

void CGlobDB::Raise(const ISC_STATUS* status) const
{
    std::vector<std::string> lines;
    const ISC_STATUS* vector = status;
    char buffer[1024];
    while (api_.interpret(buffer, sizeof buffer, &vector) > 0)
        lines.emplace_back(buffer);
    throw DatabaseError(FormEngineMessage(lines), static_cast<int>(api_.sqlcode(status)), status[1],
                        IsConnectionLevelError(status));
}

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
    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    auto addItem = [&dpb](char item, const std::string& value) {
        dpb += item;
        dpb += static_cast<char>(std::min<std::size_t>(value.size(), 255));
        dpb.append(value, 0, std::min<std::size_t>(value.size(), 255));
    };
    addItem(isc_dpb_user_name, userName);
    addItem(isc_dpb_password, userPassword);

    ISC_STATUS_ARRAY status {};
    isc_db_handle db = 0;
    api_.attach_database(status, static_cast<short>(connectionString_.size()), connectionString_.c_str(), &db,
                         static_cast<short>(dpb.size()), dpb.data());
    if (CallFailed(status))
        Raise(status);
    db_ = db;

    // A database of an older dialect is used in its own dialect.
    const char items[] = {isc_info_db_sql_dialect, isc_info_end};
    char info[32] {};
    api_.database_info(status, &db_, sizeof items, items, sizeof info, info);
    if (!CallFailed(status) && info[0] == isc_info_db_sql_dialect) {
        const short length = static_cast<short>(api_.vax_integer(info + 1, 2));
        const long dialect = api_.vax_integer(info + 3, length);
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
    if (CallFailed(status))
        Raise(status);
    return tr;
}

void CGlobDB::Commit()
{
    if (!tr_)
        throw DatabaseError("Transaction is not active");
    ISC_STATUS_ARRAY status {};
    api_.commit_transaction(status, &tr_);
    if (CallFailed(status))
        Raise(status);
    tr_ = 0;
}

void CGlobDB::Rollback()
{
    if (!tr_)
        throw DatabaseError("Transaction is not active");
    ISC_STATUS_ARRAY status {};
    api_.rollback_transaction(status, &tr_);
    if (CallFailed(status))
        Raise(status);
    tr_ = 0;
}

std::int32_t CGlobDB::GetVersion()
{
    CDBStatement statement(*this);
    statement.Close();
    statement.SetSQL("select * from versions order by create_date desc");
    statement.Execute();
    std::int32_t result = 0;
    if (!statement.Eof())
        result = statement.FieldAsInteger("data");
    statement.Close();
    return result;
}

// ---------------------------------------------------------------- parameter scan

ParsedParams ScanParams(const std::string& sql)
{
    auto parseError = [](const char* why) {
        return DatabaseError(std::string("SQL Parse Error:\r\n\r\n") + why);
    };
    auto isNameChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
    };
    ParsedParams result;
    std::size_t i = 0;
    const std::size_t n = sql.size();
    while (i < n) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            // A quoted literal; a doubled quote stands for itself.
            std::size_t j = i + 1;
            for (;;) {
                if (j >= n)
                    throw parseError("EOF in string detected");
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            result.text.append(sql, i, j + 1 - i);
            i = j + 1;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            const auto end = sql.find("*/", i + 2);
            if (end == std::string::npos)
                throw parseError("EOF in comment detected");
            result.text.append(sql, i, end + 2 - i);
            i = end + 2;
        } else if (c == ':' || c == '?') {
            std::size_t j = i + 1;
            std::string name;
            if (j < n && sql[j] == '"') {
                const auto close = sql.find('"', j + 1);
                if (close == std::string::npos)
                    throw parseError("EOF in string detected");
                name = sql.substr(j + 1, close - j - 1);
                j = close + 1;
            } else {
                while (j < n && isNameChar(sql[j]))
                    ++j;
                name = sql.substr(i + 1, j - i - 1);
            }
            if (name.empty())
                throw parseError("Parameter name expected");
            result.names.push_back(name);
            result.text += '?';
            i = j;
        } else {
            result.text += c;
            ++i;
        }
    }
    return result;
}

// ---------------------------------------------------------------- CDBStatement

// An XSQLDA with its variables' buffers, owned together.
struct CDBStatement::Sqlda {
    explicit Sqlda(short count) { Resize(count); }

    void Resize(short count)
    {
        const short n = count < 1 ? 1 : count;
        storage.assign(XSQLDA_LENGTH(n) / sizeof(max_align_t) + 1, max_align_t {});
        Get()->version = SQLDA_VERSION1;
        Get()->sqln = n;
        Get()->sqld = 0;
    }
    XSQLDA* Get() { return reinterpret_cast<XSQLDA*>(storage.data()); }

    // Gives every variable a data buffer and a null indicator.
    void Bind()
    {
        XSQLDA* da = Get();
        buffers.assign(static_cast<std::size_t>(da->sqld), {});
        indicators.assign(static_cast<std::size_t>(da->sqld), 0);
        for (short i = 0; i < da->sqld; ++i) {
            XSQLVAR& var = da->sqlvar[i];
            std::size_t size = static_cast<std::size_t>(var.sqllen);
            if ((var.sqltype & ~1) == SQL_VARYING)
                size += sizeof(short);
            buffers[static_cast<std::size_t>(i)].assign(size + 8, 0);
            var.sqldata = buffers[static_cast<std::size_t>(i)].data();
            var.sqlind = &indicators[static_cast<std::size_t>(i)];
            var.sqltype |= 1;
        }
    }

    std::vector<max_align_t> storage;
    std::vector<std::vector<char>> buffers;
    std::vector<short> indicators;
};

CDBStatement::CDBStatement(CGlobDB& db) : db_(db), api_(db.Api()) {}

CDBStatement::~CDBStatement()
{
    Close();
    Unprepare();
}

void CDBStatement::SetSQL(const std::string& text)
{
    Close();
    Unprepare();
    lines_ = platform::SplitLines(text);
}

std::string CDBStatement::SQL() const
{
    std::string text;
    for (const auto& line : lines_)
        text += line + "\r\n";
    return text;
}

void CDBStatement::Unprepare() noexcept
{
    if (stmt_) {
        ISC_STATUS_ARRAY status {};
        if (db_.Attached())
            api_.dsql_free_statement(status, &stmt_, DSQL_drop);
        stmt_ = 0;
    }
    prepared_ = false;
    cursorOpen_ = false;
    eof_ = true;
    in_.reset();
    out_.reset();
    paramNames_.clear();
}

void CDBStatement::Prepare()
{
    const std::string text = SQL();
    if (platform::TrimBlanks(text).empty())
        throw DatabaseError("Empty query");
    std::string prepared = text;
    paramNames_.clear();
    if (paramCheck_) {
        ParsedParams parsed = ScanParams(text);
        prepared = std::move(parsed.text);
        paramNames_ = std::move(parsed.names);
    }
    if (!db_.InTransaction())
        throw DatabaseError("Transaction is not active");

    ISC_STATUS_ARRAY status {};
    api_.dsql_allocate_statement(status, db_.DbHandle(), &stmt_);
    if (CallFailed(status))
        db_.Raise(status);

    out_ = std::make_unique<Sqlda>(1);
    api_.dsql_prepare(status, db_.TrHandle(), &stmt_, 0, prepared.c_str(), db_.Dialect(), out_->Get());
    if (CallFailed(status)) {
        ISC_STATUS_ARRAY ignored {};
        api_.dsql_free_statement(ignored, &stmt_, DSQL_drop);
        stmt_ = 0;
        db_.Raise(status);
    }
    auto fail = [&](const ISC_STATUS* failure) {
        std::vector<ISC_STATUS> copy(failure, failure + ISC_STATUS_LENGTH);
        Unprepare();
        db_.Raise(copy.data());
    };
    if (out_->Get()->sqld > out_->Get()->sqln) {
        out_->Resize(out_->Get()->sqld);
        api_.dsql_describe(status, &stmt_, SQLDA_VERSION1, out_->Get());
        if (CallFailed(status))
            fail(status);
    }
    out_->Bind();

    in_ = std::make_unique<Sqlda>(1);
    api_.dsql_describe_bind(status, &stmt_, SQLDA_VERSION1, in_->Get());
    if (CallFailed(status))
        fail(status);
    if (in_->Get()->sqld > in_->Get()->sqln) {
        in_->Resize(in_->Get()->sqld);
        api_.dsql_describe_bind(status, &stmt_, SQLDA_VERSION1, in_->Get());
        if (CallFailed(status))
            fail(status);
    }
    in_->Bind();
    // Parameters without a value are sent as NULL.
    for (auto& indicator : in_->indicators)
        indicator = -1;

    const char items[] = {isc_info_sql_stmt_type};
    char info[16] {};
    api_.dsql_sql_info(status, &stmt_, sizeof items, items, sizeof info, info);
    if (CallFailed(status))
        fail(status);
    statementType_ = 0;
    if (info[0] == isc_info_sql_stmt_type) {
        const short length = static_cast<short>(api_.vax_integer(info + 1, 2));
        statementType_ = static_cast<int>(api_.vax_integer(info + 3, length));
    }
    prepared_ = true;
}

void CDBStatement::Execute()
{
    Close();
    if (!prepared_)
        Prepare();
    if (!db_.InTransaction())
        throw DatabaseError("Transaction is not active");

    ISC_STATUS_ARRAY status {};
    XSQLDA* in = in_->Get()->sqld > 0 ? in_->Get() : nullptr;
    if (statementType_ == isc_info_sql_stmt_select || statementType_ == isc_info_sql_stmt_select_for_upd) {
        api_.dsql_execute(status, db_.TrHandle(), &stmt_, SQLDA_VERSION1, in);
        if (CallFailed(status))
            db_.Raise(status);
        cursorOpen_ = true;
        cursorSerial_ = db_.TransactionSerial();
        Fetch();
    } else if (statementType_ == isc_info_sql_stmt_exec_procedure) {
        api_.dsql_execute2(status, db_.TrHandle(), &stmt_, SQLDA_VERSION1, in,
                           out_->Get()->sqld > 0 ? out_->Get() : nullptr);
        if (CallFailed(status))
            db_.Raise(status);
        eof_ = out_->Get()->sqld == 0;
    } else {
        api_.dsql_execute(status, db_.TrHandle(), &stmt_, SQLDA_VERSION1, in);
        if (CallFailed(status))
            db_.Raise(status);
    }
}

void CDBStatement::Close() noexcept
{
    // The end of the transaction closed the cursor already; closing it again
    // would only give an error.
    if (cursorOpen_ && stmt_ && db_.InTransaction() && cursorSerial_ == db_.TransactionSerial()) {
        ISC_STATUS_ARRAY status {};
        api_.dsql_free_statement(status, &stmt_, DSQL_close);
    }
    cursorOpen_ = false;
    eof_ = true;
}

int CDBStatement::FindColumn(const std::string& name) const
{
    if (out_) {
        XSQLDA* da = out_->Get();
        const std::string key = NameKey(name);
        for (short i = 0; i < da->sqld; ++i) {
            const XSQLVAR& var = da->sqlvar[i];
            if (NameKey(std::string(var.aliasname, static_cast<std::size_t>(var.aliasname_length))) == key)
                return i;
        }
    }
    throw DatabaseError("Field \"" + name + "\" not found");
}

std::int32_t CDBStatement::FieldAsInteger(const std::string& name)
{
    const int index = FindColumn(name);
    const XSQLVAR& var = out_->Get()->sqlvar[index];
    if (*var.sqlind < 0)
        return 0;
    const char* data = var.sqldata;
    auto scaled = [&var](long long value) {
        for (short scale = var.sqlscale; scale < 0; ++scale)
            value /= 10;
        return static_cast<std::int32_t>(value);
    };
    switch (var.sqltype & ~1) {
    case SQL_SHORT: {
        short value;
        std::memcpy(&value, data, sizeof value);
        return scaled(value);
    }
    case SQL_LONG: {
        ISC_LONG value;
        std::memcpy(&value, data, sizeof value);
        return scaled(value);
    }
    case SQL_INT64: {
        ISC_INT64 value;
        std::memcpy(&value, data, sizeof value);
        return scaled(value);
    }
    case SQL_FLOAT: {
        float value;
        std::memcpy(&value, data, sizeof value);
        return static_cast<std::int32_t>(std::trunc(value));
    }
    case SQL_DOUBLE:
    case SQL_D_FLOAT: {
        double value;
        std::memcpy(&value, data, sizeof value);
        return static_cast<std::int32_t>(std::trunc(value));
    }
    case SQL_TEXT:
    case SQL_VARYING: {
        std::int32_t value = 0;
        if (!platform::TryParseInt32(TextOf(var), 10, value))
            throw DatabaseError("Invalid data conversion");
        return value;
    }
    case SQL_BOOLEAN:
        return data[0] ? 1 : 0;
    default:
        throw DatabaseError("Invalid data conversion");
    }
}

void CDBStatement::Fetch()
{
    ISC_STATUS_ARRAY status {};
    const ISC_STATUS fetched = api_.dsql_fetch(status, &stmt_, SQLDA_VERSION1, out_->Get());
    if (fetched == 100) {
        eof_ = true;
    } else if (CallFailed(status)) {
        Close();
        db_.Raise(status);
    } else {
        eof_ = false;
    }
}

void CDBStatement::Next()
{
    if (!cursorOpen_ || eof_ || cursorSerial_ != db_.TransactionSerial() || !db_.InTransaction()) {
        eof_ = true;
        return;
    }
    Fetch();
}

std::string CDBStatement::FieldAsText(const std::string& name)
{
    const int index = FindColumn(name);
    const XSQLVAR& var = out_->Get()->sqlvar[index];
    if (*var.sqlind < 0)
        return {};
    const short type = var.sqltype & ~1;
    if (type != SQL_TEXT && type != SQL_VARYING)
        throw DatabaseError("Invalid data conversion");
    return TextOf(var);
}

void CDBStatement::LoadParamFromFile(const std::string& name, const std::string& path)
{
    const std::vector<int> positions = ParamPositions(name);

    platform::File file = platform::File::OpenRead(path);
    if (!file.IsOpen())
        throw DatabaseError("Cannot open file \"" + path + "\". " + platform::SystemMessage(file.OpenError()));

    ISC_STATUS_ARRAY status {};
    isc_blob_handle blob = 0;
    ISC_QUAD blobId {};
    api_.create_blob2(status, db_.DbHandle(), db_.TrHandle(), &blob, &blobId, 0, nullptr);
    if (CallFailed(status))
        db_.Raise(status);
    auto cancel = [&] {
        ISC_STATUS_ARRAY ignored {};
        api_.cancel_blob(ignored, &blob);
    };
    std::vector<char> buffer(32768);
    for (;;) {
        std::size_t got = 0;
        if (const int code = file.Read(buffer.data(), buffer.size(), got)) {
            cancel();
            throw DatabaseError("Cannot open file \"" + path + "\". " + platform::SystemMessage(code));
        }
        if (got == 0)
            break;
        api_.put_segment(status, &blob, static_cast<unsigned short>(got), buffer.data());
        if (CallFailed(status)) {
            std::vector<ISC_STATUS> copy(status, status + ISC_STATUS_LENGTH);
            cancel();
            db_.Raise(copy.data());
        }
    }
    api_.close_blob(status, &blob);
    if (CallFailed(status)) {
        std::vector<ISC_STATUS> copy(status, status + ISC_STATUS_LENGTH);
        cancel();
        db_.Raise(copy.data());
    }

    BindParam(positions, SQL_BLOB, &blobId, sizeof blobId);
}

std::vector<int> CDBStatement::ParamPositions(const std::string& name)
{
    if (!prepared_)
        Prepare();
    const std::string key = NameKey(name);
    std::vector<int> positions;
    for (std::size_t i = 0; i < paramNames_.size(); ++i) {
        if (NameKey(paramNames_[i]) == key && static_cast<short>(i) < in_->Get()->sqld)
            positions.push_back(static_cast<int>(i));
    }
    if (positions.empty())
        throw DatabaseError("Field \"" + name + "\" not found");
    return positions;
}

void CDBStatement::BindParam(const std::vector<int>& positions, short sqlType, const void* bytes, std::size_t size)
{
    if (size > 32765)
        throw DatabaseError("Parameter value too long");
    for (const int position : positions) {
        XSQLVAR& var = in_->Get()->sqlvar[position];
        var.sqltype = static_cast<short>(sqlType | 1);
        var.sqllen = static_cast<short>(size);
        if (sqlType != SQL_TEXT)
            var.sqlscale = 0;
        auto& storage = in_->buffers[static_cast<std::size_t>(position)];
        if (storage.size() < size + 1)
            storage.resize(size + 1);
        if (size > 0)
            std::memcpy(storage.data(), bytes, size);
        var.sqldata = storage.data();
        in_->indicators[static_cast<std::size_t>(position)] = 0;
    }
}

void CDBStatement::SetParamInteger(const std::string& name, std::int32_t value)
{
    const ISC_LONG number = value;
    BindParam(ParamPositions(name), SQL_LONG, &number, sizeof number);
}

void CDBStatement::SetParamText(const std::string& name, const std::string& value)
{
    BindParam(ParamPositions(name), SQL_TEXT, value.data(), value.size());
}

}  // namespace dbupdate
