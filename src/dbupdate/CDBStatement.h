#pragma once
// A statement of the connection (CDBStatement): its text, its parameters,
// and the current row of its result.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <ibase.h>

namespace dbupdate {

class CGlobDB;
struct FbApi;

class CDBStatement {
public:
    explicit CDBStatement(CGlobDB& db);
    CDBStatement(const CDBStatement&) = delete;
    CDBStatement& operator=(const CDBStatement&) = delete;
    ~CDBStatement();

    // Replaces the text (split into lines at CR, LF or CR LF) and unprepares.
    void SetSQL(const std::string& text);
    // The text: every line followed by CR LF.
    std::string SQL() const;
    // Switches placeholder recognition (on by default).
    void SetParamCheck(bool on) noexcept { paramCheck_ = on; }

    // Prepares if needed and executes once in the connection's transaction.
    // A SELECT is left on its first row. Throws DatabaseError ("Empty query",
    // "Transaction is not active", parse errors, engine errors).
    void Execute();
    // True when there is no current row.
    bool Eof() const noexcept { return eof_; }
    // The named column of the current row as an integer. Throws DatabaseError
    // ("Field "name" not found", "Invalid data conversion").
    std::int32_t FieldAsInteger(const std::string& name);
    // Moves to the next row of an open result set; Eof tells whether there
    // was one. Throws DatabaseError.
    void Next();
    // The named text column of the current row (CHAR values without their
    // padding). Throws DatabaseError ("Field "name" not found", "Invalid data
    // conversion").
    std::string FieldAsText(const std::string& name);
    // Creates a blob holding the whole file in the connection's transaction and
    // binds it to the named input parameter. Throws DatabaseError ("Field
    // "name" not found", "Cannot open file "path". message", engine errors).
    void LoadParamFromFile(const std::string& name, const std::string& path);
    // Binds a value to the named input parameter for the next Execute; the
    // engine converts it to the parameter's type. Throws DatabaseError.
    void SetParamInteger(const std::string& name, std::int32_t value);
    void SetParamText(const std::string& name, const std::string& value);
    // Closes an open result set; no effect otherwise.
    void Close() noexcept;

private:
    struct Sqlda;
    void Prepare();
    void Unprepare() noexcept;
    // Fetches the open cursor's next row into the output variables; Eof
    // tells whether there was one.
    void Fetch();
    int FindColumn(const std::string& name) const;
    // The input variables of the named parameter (prepares if needed).
    std::vector<int> ParamPositions(const std::string& name);
    // Gives the input variables at positions a value of sqlType in bytes.
    void BindParam(const std::vector<int>& positions, short sqlType, const void* bytes, std::size_t size);

    CGlobDB& db_;
    const FbApi& api_;
    std::vector<std::string> lines_;
    bool paramCheck_ = true;
    isc_stmt_handle stmt_ = 0;
    bool prepared_ = false;
    int statementType_ = 0;
    std::vector<std::string> paramNames_;
    std::unique_ptr<Sqlda> in_;
    std::unique_ptr<Sqlda> out_;
    bool cursorOpen_ = false;
    std::uint64_t cursorSerial_ = 0;
    bool eof_ = true;
};

}  // namespace dbupdate
