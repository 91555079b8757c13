#include "dbupdate/CDBStatement.h"

#include "dbupdate/BlobWriter.h"
#include "dbupdate/DatabaseError.h"
#include "dbupdate/FbClient.h"
#include "dbupdate/ParamScan.h"
#include "dbupdate/Uglobdb.h"
#include "platform/Text.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace dbupdate {

namespace {

std::string NameKey(const std::string& name) { return platform::UpperAscii(platform::TrimBlanks(name)); }

// The value of type T that a variable's buffer holds (not necessarily
// aligned for T).
template <typename T>
T ValueAt(const char* data)
{
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

// The value of a CHAR or VARCHAR column; CHAR values come padded with blanks
// to the column's length, which are removed.
std::string TextOf(const XSQLVAR& var)
{
    const char* data = var.sqldata;
    if ((var.sqltype & ~1) == SQL_VARYING)
        return std::string(data + sizeof(short), static_cast<std::size_t>(ValueAt<short>(data)));
    std::string text(data, static_cast<std::size_t>(var.sqllen));
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

}  // namespace

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
    Check(api_, status, "CDBStatement::Prepare");

    // A failure after the allocation gives the statement handle back before
    // it is raised.
    auto check = [&](const char* operation) {
        if (!CallFailed(status))
            return;
        DatabaseError error = StatusError(api_, status, operation);
        Unprepare();
        throw error;
    };
    // A descriptor filled for one variable is made as large as the statement
    // needs and described again, then given its buffers.
    auto complete = [&](Sqlda& da, decltype(api_.dsql_describe) describe, const char* operation) {
        if (da.Get()->sqld > da.Get()->sqln) {
            da.Resize(da.Get()->sqld);
            describe(status, &stmt_, SQLDA_VERSION1, da.Get());
            check(operation);
        }
        da.Bind();
    };
    out_ = std::make_unique<Sqlda>(1);
    api_.dsql_prepare(status, db_.TrHandle(), &stmt_, 0, prepared.c_str(), db_.Dialect(), out_->Get());
    check("CDBStatement::Prepare");
    complete(*out_, api_.dsql_describe, "CDBStatement::Describe");

    in_ = std::make_unique<Sqlda>(1);
    api_.dsql_describe_bind(status, &stmt_, SQLDA_VERSION1, in_->Get());
    check("CDBStatement::DescribeBind");
    complete(*in_, api_.dsql_describe_bind, "CDBStatement::DescribeBind");
    // Parameters without a value are sent as NULL.
    for (auto& indicator : in_->indicators)
        indicator = -1;

    const char items[] = {isc_info_sql_stmt_type};
    char info[16] {};
    api_.dsql_sql_info(status, &stmt_, sizeof items, items, sizeof info, info);
    check("CDBStatement::StatementType");
    statementType_ = static_cast<int>(FirstInfoValue(api_, info, isc_info_sql_stmt_type).value_or(0));
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
        Check(api_, status, "CDBStatement::Execute");
        cursorOpen_ = true;
        cursorSerial_ = db_.TransactionSerial();
        Fetch();
    } else if (statementType_ == isc_info_sql_stmt_exec_procedure) {
        api_.dsql_execute2(status, db_.TrHandle(), &stmt_, SQLDA_VERSION1, in,
                           out_->Get()->sqld > 0 ? out_->Get() : nullptr);
        Check(api_, status, "CDBStatement::Execute");
        eof_ = out_->Get()->sqld == 0;
    } else {
        api_.dsql_execute(status, db_.TrHandle(), &stmt_, SQLDA_VERSION1, in);
        Check(api_, status, "CDBStatement::Execute");
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
    case SQL_SHORT:
        return scaled(ValueAt<short>(data));
    case SQL_LONG:
        return scaled(ValueAt<ISC_LONG>(data));
    case SQL_INT64:
        return scaled(ValueAt<ISC_INT64>(data));
    case SQL_FLOAT:
        return static_cast<std::int32_t>(std::trunc(ValueAt<float>(data)));
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return static_cast<std::int32_t>(std::trunc(ValueAt<double>(data)));
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
        DatabaseError error = StatusError(api_, status, "CDBStatement::Fetch");
        Close();
        throw error;
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

    const ISC_QUAD blobId = StoreFileAsBlob(db_, path);
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
