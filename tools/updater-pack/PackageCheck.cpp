#include "PackageCheck.h"

#include "Extractor.h"
#include "PackTool.h"
#include "QuietStandardError.h"
#include "dbupdate/BlobLoader.h"
#include "dbupdate/ParamScan.h"
#include "dbupdate/StatementSplitter.h"
#include "package/PackageName.h"
#include "package/PackageStore.h"
#include "package/ProgramFiles.h"
#include "package/WorkDir.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <optional>
#include <memory>
#include <ostream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <tuple>

namespace packtool {

namespace fs = std::filesystem;

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool IsCommentLine(const std::string& line) { return StartsWith(line, "--") || StartsWith(line, "/*"); }

std::string Quoted(char c) { return std::string("'") + c + "'"; }

// The problem of a SET TERM line read while terminator is in force; empty
// when it is "SET TERM new old" with one character new and old the
// terminator in force (a blank between them may be left out).
std::string TermDirectiveProblem(const std::string& line, char terminator)
{
    const std::string upper = platform::UpperAscii(line);
    const auto term = upper.find("SET TERM");
    std::string rest = term == std::string::npos ? std::string() : platform::TrimBlanks(line.substr(term + 8));
    const char taken = dbupdate::ExtractTerminator(line);
    if (rest.empty() || rest.back() != terminator || term != 0)
        return "a malformed SET TERM: write SET TERM NEW " + std::string(1, terminator) +
               " (the last character must be the terminator in force, " + Quoted(terminator) +
               "); the updater takes " + Quoted(taken) + " from this line";
    rest = platform::TrimBlanks(rest.substr(0, rest.size() - 1));
    if (rest.size() == 1)
        return {};
    if (!rest.empty() && rest.find_first_of(" \t") == std::string::npos)
        return "a terminator of " + std::to_string(rest.size()) + " characters (" + rest +
               "): the updater takes only " + Quoted(taken) + ", and a statement ending in " + rest +
               " is sent with the rest of it";
    return "a malformed SET TERM: write SET TERM NEW " + std::string(1, terminator) + "; the updater takes " +
           Quoted(taken) + " from this line";
}

// Where a comment begins after code on a line, outside literals; npos when
// none does.
std::size_t TrailingCommentStart(const std::string& line)
{
    dbupdate::SqlLexState lex;
    for (std::size_t at = 0; at + 1 < line.size(); ++at) {
        if (!lex.InLiteral() && (line.compare(at, 2, "--") == 0 || line.compare(at, 2, "/*") == 0))
            return at;
        lex.Feed(line.substr(at, 1));
    }
    return std::string::npos;
}

// The dot-separated parts of a file name, numbers where they are digits.
std::vector<std::pair<bool, std::string>> NameParts(const std::string& name)
{
    std::vector<std::pair<bool, std::string>> parts;
    std::size_t start = 0;
    for (;;) {
        const auto dot = name.find('.', start);
        std::string part = name.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        const bool number = !part.empty() && std::all_of(part.begin(), part.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        });
        if (number) {
            part.erase(0, std::min(part.find_first_not_of('0'), part.size() - 1));
        }
        parts.emplace_back(number, platform::UpperAscii(part));
        if (dot == std::string::npos)
            return parts;
        start = dot + 1;
    }
}

// A directory of this check's own, removed with what it holds.
class ScratchDirectory {
public:
    ScratchDirectory()
    {
        // A directory this check made itself: never one that was there (or
        // a link planted under the name).
        do
            path_ = fs::temp_directory_path() / ("updater-pack-check-" + platform::RandomTag());
        while (!fs::create_directory(path_));
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    ~ScratchDirectory()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

// Unpacks archive into dir as the updater's unpacker does; a failure is the
// package's finding.
bool Unpack(const std::string& label, const std::string& archive, const std::string& dir,
            std::vector<Finding>& findings)
{
    fs::create_directories(dir);
    std::ostringstream messages;
    int code = rarformat::kSuccess;
    {
        const QuietStandardError quiet;
        code = rarformat::Extract(archive, dir, {}, messages);
    }
    if (code == rarformat::kSuccess)
        return true;
    std::string text = messages.str();
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.pop_back();
    findings.push_back({label, 0, code != rarformat::kWarning, "the unpacker " +
                                                                   std::string(code == rarformat::kWarning
                                                                                   ? "skipped entries"
                                                                                   : "cannot unpack it") +
                                                                   (text.empty() ? "" : ": " + text)});
    return code == rarformat::kWarning;
}

}  // namespace

std::string FindingText(const Finding& finding)
{
    std::string text = finding.file;
    if (finding.line > 0)
        text += ":" + std::to_string(finding.line);
    return text + (finding.error ? ": error: " : ": warning: ") + finding.message;
}

ScriptCheck CheckScript(const std::string& file, const std::vector<std::string>& lines)
{
    ScriptCheck check;
    dbupdate::StatementSplitter splitter;
    int statementStart = 0;
    int lastTermLine = 0;
    auto add = [&](int line, bool error, const std::string& message) {
        check.findings.push_back({file, line, error, message});
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int number = static_cast<int>(i + 1);
        const std::string line = platform::TrimBlanks(lines[i]);
        const char terminator = splitter.Terminator();
        const bool collecting = !splitter.Pending().empty();
        std::string statement;
        const auto step = splitter.Feed(lines[i], statement);
        if (step == dbupdate::StatementSplitter::Step::Directive) {
            if (platform::UpperAscii(line).find("SET TERM") != std::string::npos) {
                lastTermLine = number;
                if (const std::string problem = TermDirectiveProblem(line, terminator); !problem.empty())
                    add(number, true, problem);
            }
            continue;
        }
        if (step == dbupdate::StatementSplitter::Step::Statement) {
            if (IsCommentLine(line) && collecting)
                add(number, true,
                    "a comment line ending in the terminator " + Quoted(terminator) +
                        " ends the statement begun at line " + std::to_string(statementStart) +
                        ": the statement is cut in two");
            else if (IsCommentLine(line))
                add(number, true,
                    "a comment line ending in the terminator " + Quoted(terminator) +
                        " is sent as a statement of its own, which the engine refuses");
            else if (dbupdate::IsBlankOrComment(statement))
                add(number, true,
                    "an empty statement: nothing but blanks or comments before the terminator " +
                        Quoted(terminator) + " (two terminators in a row?), and the engine refuses it");
            check.statements.push_back(statement);
            statementStart = 0;
            continue;
        }
        if (!collecting && !splitter.Pending().empty())
            statementStart = number;
        if (line.empty() || IsCommentLine(line))
            continue;
        const auto comment = TrailingCommentStart(line);
        if (comment != std::string::npos) {
            const std::string code = platform::TrimBlanks(line.substr(0, comment));
            if (!code.empty() && code.back() == terminator)
                add(number, true,
                    "the terminator " + Quoted(terminator) +
                        " is followed by a comment, so it does not end the statement: the statement goes on to "
                        "the next line that ends with the terminator");
        }
    }
    if (!dbupdate::IsBlankOrComment(splitter.Pending()))
        add(statementStart, true,
            "a statement without its terminator " + Quoted(splitter.Terminator()) +
                " at the end of the script: the updater does not run it and logs it as a failure");
    if (splitter.Terminator() != ';')
        add(lastTermLine, false,
            "the script ends with the terminator still " + Quoted(splitter.Terminator()) +
                " (no SET TERM back to ';'); the next script begins with ';' again");
    return check;
}

namespace {

// A statement's tokens, as far as recognising an insert needs them: words,
// quoted names, numbers, string literals and single punctuation characters;
// blanks and comments are skipped. Each character is read once.
struct SqlToken {
    enum class Kind { End, Word, QuotedName, Number, String, Punctuation } kind = Kind::End;
    std::string_view text;  // a quoted name without its quotes (doubled quotes left doubled)
};

class SqlTokens {
public:
    explicit SqlTokens(std::string_view text) : text_(text) {}

    SqlToken Next()
    {
        SkipBlanksAndComments();
        if (at_ >= text_.size())
            return {};
        const std::size_t start = at_;
        const auto c = static_cast<unsigned char>(text_[at_]);
        if (std::isalpha(c) || c == '_') {
            while (at_ < text_.size() && IsWordCharacter(text_[at_]))
                ++at_;
            return {SqlToken::Kind::Word, text_.substr(start, at_ - start)};
        }
        if (std::isdigit(c)) {
            while (at_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == '.'))
                ++at_;
            return {SqlToken::Kind::Number, text_.substr(start, at_ - start)};
        }
        if (c == '\'' || c == '"') {
            // A quote inside is doubled; an unclosed one runs to the end.
            const char quote = text_[at_++];
            std::size_t end = text_.size();
            while (at_ < text_.size()) {
                if (text_[at_++] != quote)
                    continue;
                if (at_ < text_.size() && text_[at_] == quote) {
                    ++at_;
                    continue;
                }
                end = at_ - 1;
                break;
            }
            return {quote == '"' ? SqlToken::Kind::QuotedName : SqlToken::Kind::String,
                    text_.substr(start + 1, end - start - 1)};
        }
        ++at_;
        return {SqlToken::Kind::Punctuation, text_.substr(start, 1)};
    }

private:
    static bool IsWordCharacter(char c)
    {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
    }

    void SkipBlanksAndComments()
    {
        while (at_ < text_.size()) {
            if (std::isspace(static_cast<unsigned char>(text_[at_]))) {
                ++at_;
            } else if (text_.compare(at_, 2, "--") == 0) {
                const auto end = text_.find('\n', at_);
                at_ = end == std::string_view::npos ? text_.size() : end + 1;
            } else if (text_.compare(at_, 2, "/*") == 0) {
                const auto end = text_.find("*/", at_ + 2);
                at_ = end == std::string_view::npos ? text_.size() : end + 2;
            } else {
                return;
            }
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

// word is in capitals.
bool IsWord(const SqlToken& token, std::string_view word)
{
    return token.kind == SqlToken::Kind::Word && token.text.size() == word.size() &&
           std::equal(word.begin(), word.end(), token.text.begin(),
                      [](char w, char t) { return w == std::toupper(static_cast<unsigned char>(t)); });
}

bool IsPunctuation(const SqlToken& token, char c)
{
    return token.kind == SqlToken::Kind::Punctuation && token.text[0] == c;
}

// A table's or column's name: a word in any letter case, or a quoted name
// exactly.
bool Names(const SqlToken& token, std::string_view name)
{
    return IsWord(token, name) || (token.kind == SqlToken::Kind::QuotedName && token.text == name);
}

// Reads one INSERT from the token after INSERT on; token is left at the
// first token that does not fit the statement's shape (or the one after its
// value list), so that the caller goes on from there and no token is read
// twice; the word INSERT always stops it, as it begins the next one. Gives
// whether it is "INSERT INTO VERSIONS [(COLUMNS)] VALUES (VALUES)" whose
// DATA value (the first one without a column list) is the integer number.
bool ReadVersionInsert(SqlTokens& tokens, SqlToken& token, std::int32_t number)
{
    const auto next = [&] {
        token = tokens.Next();
        return token.kind != SqlToken::Kind::End && !IsWord(token, "INSERT");
    };
    if (!next())
        return false;
    if (!IsWord(token, "INTO"))
        return false;
    if (!next() || !Names(token, "VERSIONS"))
        return false;
    if (!next())
        return false;
    std::size_t dataColumn = 0;
    if (IsPunctuation(token, '(')) {
        bool named = false;
        for (std::size_t column = 0;; ++column) {
            if (!next() || (token.kind != SqlToken::Kind::Word && token.kind != SqlToken::Kind::QuotedName))
                return false;
            if (!named && Names(token, "DATA")) {
                named = true;
                dataColumn = column;
            }
            if (!next())
                return false;
            if (IsPunctuation(token, ')'))
                break;
            if (!IsPunctuation(token, ','))
                return false;
        }
        if (!named || !next())
            return false;
    }
    if (!IsWord(token, "VALUES"))
        return false;
    if (!next() || !IsPunctuation(token, '('))
        return false;
    // The values, each up to a comma or the closing parenthesis outside any
    // parentheses of its own; the DATA value's tokens are kept.
    std::vector<SqlToken> data;
    std::size_t value = 0;
    int depth = 0;
    for (;;) {
        if (!next())
            return false;
        if (depth == 0 && (IsPunctuation(token, ',') || IsPunctuation(token, ')'))) {
            if (IsPunctuation(token, ')'))
                break;
            ++value;
            continue;
        }
        if (IsPunctuation(token, '('))
            ++depth;
        else if (IsPunctuation(token, ')'))
            --depth;
        if (value == dataColumn && data.size() < 3)
            data.push_back(token);
    }
    next();
    std::string literal;
    if (data.size() == 1 && data[0].kind == SqlToken::Kind::Number)
        literal = data[0].text;
    else if (data.size() == 2 && (IsPunctuation(data[0], '-') || IsPunctuation(data[0], '+')) &&
             data[1].kind == SqlToken::Kind::Number)
        literal = std::string(data[0].text) + std::string(data[1].text);
    std::int32_t written = 0;
    return !literal.empty() && platform::TryParseInt32(literal, 10, written) && written == number;
}

}  // namespace

bool InsertsVersion(const std::string& statement, std::int32_t number)
{
    SqlTokens tokens(statement);
    SqlToken token = tokens.Next();
    while (token.kind != SqlToken::Kind::End) {
        if (!IsWord(token, "INSERT")) {
            token = tokens.Next();
            continue;
        }
        if (ReadVersionInsert(tokens, token, number))
            return true;
    }
    return false;
}

std::string BlobNameProblem(const std::string& fileName)
{
    const dbupdate::BlobTarget target = dbupdate::ParseBlobName(fileName);
    if (target.table.empty() || target.column.empty())
        return "has no TABLE.COLUMN before its key (TABLE.COLUMN.KEY VALUE.blo)";
    // The loader finds its parameter by the column's name as the statement's
    // placeholder scan takes it.
    bool named = false;
    try {
        for (const std::string& name : dbupdate::ScanParams(target.statement).names)
            named = named || platform::EqualIgnoringAsciiCase(name, target.column);
    } catch (const std::exception&) {
    }
    if (!named)
        return "names the column " + target.column +
               ", which cannot name the statement's parameter (letters, digits, _ and $ only)";
    const std::string& key = target.key;
    if (key.empty())
        return "has no key condition (TABLE.COLUMN.KEY VALUE.blo)";
    std::size_t start = 0;
    for (;;) {
        const auto dot = key.find('.', start);
        const std::string condition = key.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        const auto space = condition.find(' ');
        if (space == std::string::npos || space == 0 || space + 1 == condition.size())
            return "has the key condition \"" + condition + "\", which is not KEY VALUE";
        if (dot == std::string::npos)
            return {};
        start = dot + 1;
    }
}

bool NumericallyBefore(const std::string& a, const std::string& b)
{
    const auto left = NameParts(a);
    const auto right = NameParts(b);
    for (std::size_t i = 0; i < left.size() && i < right.size(); ++i) {
        const auto& [leftNumber, leftText] = left[i];
        const auto& [rightNumber, rightText] = right[i];
        if (leftText == rightText)
            continue;
        if (leftNumber && rightNumber)
            return leftText.size() != rightText.size() ? leftText.size() < rightText.size() : leftText < rightText;
        return leftText < rightText;
    }
    return left.size() < right.size();
}

std::vector<Finding> CheckNumbers(const std::string& label, const std::vector<std::string>& names)
{
    std::vector<Finding> findings;
    std::map<std::int32_t, std::vector<std::string>> byNumber;
    for (const std::string& name : names) {
        if (const std::string problem = PackageNameProblem(name); !problem.empty()) {
            findings.push_back({label, 0, true, "the package name " + name + " " + problem});
            continue;
        }
        byNumber[*package::PackageNumber(name)].push_back(name);
    }
    std::int64_t previous = 0;
    bool first = true;
    for (const auto& [number, carriers] : byNumber) {
        if (carriers.size() > 1) {
            std::string list;
            for (const std::string& name : carriers)
                list += (list.empty() ? "" : ", ") + name;
            findings.push_back({label, 0, true,
                                "package " + std::to_string(number) + " is given " +
                                    std::to_string(carriers.size()) + " times (" + list +
                                    "): the updater applies one of them"});
        }
        if (!first && number > previous + 1)
            findings.push_back({label, 0, true,
                                "no package " +
                                    (number == previous + 2 ? std::to_string(previous + 1)
                                                            : std::to_string(previous + 1) + " to " +
                                                                  std::to_string(number - 1)) +
                                    " between " + std::to_string(previous) + " and " + std::to_string(number) +
                                    ": an update from below stops there"});
        previous = number;
        first = false;
    }
    return findings;
}

PackageCheck CheckUnpackedPackage(const std::string& label, std::int32_t number, const std::string& dir)
{
    PackageCheck check;
    const std::string upDir = platform::JoinPath(dir, "up");
    // What the updater takes, found as it finds it.
    std::vector<std::string> scripts, blobs;
    platform::ListFiles(scripts, upDir, "*.sql");
    platform::ListFiles(blobs, upDir, "*.blo");
    const std::vector<std::string> programs = package::ProgramFilesOf(dir);
    std::set<fs::path> used;
    for (const std::vector<std::string>* list : std::initializer_list<const std::vector<std::string>*>{&scripts, &blobs, &programs})
        for (const std::string& path : *list)
            used.insert(fs::path(path).lexically_normal());

    bool versionWritten = false;
    std::string previous;
    for (const std::string& path : scripts) {
        const std::string name = platform::FileNameOf(path);
        ScriptCheck script = CheckScript(label + "/up/" + name, platform::ReadTextLines(path));
        check.scripts.emplace_back(name, script.statements.size());
        check.findings.insert(check.findings.end(), script.findings.begin(), script.findings.end());
        for (const std::string& statement : script.statements)
            versionWritten = versionWritten || InsertsVersion(statement, number);
        if (!previous.empty() && NumericallyBefore(name, previous))
            check.findings.push_back({label + "/up/" + previous, 0, true,
                                      "runs before " + name + ", though its number is higher (the updater sorts "
                                      "the names as text)"});
        previous = name;
    }
    if (!versionWritten)
        check.findings.push_back({label, 0, true,
                                  "no script inserts " + std::to_string(number) +
                                      " into VERSIONS: the package's run can never be complete"});
    for (const std::string& path : blobs) {
        const std::string name = platform::FileNameOf(path);
        if (const std::string problem = BlobNameProblem(name); !problem.empty())
            check.findings.push_back({label + "/up/" + name, 0, true, "the blob file name " + problem});
    }
    std::error_code error;
    std::vector<std::string> unused;
    for (auto entry = fs::recursive_directory_iterator(dir, error); !error && entry != fs::end(entry);
         entry.increment(error)) {
        if (entry->is_regular_file() && !used.count(entry->path().lexically_normal()))
            unused.push_back(entry->path().lexically_relative(dir).generic_string());
    }
    std::sort(unused.begin(), unused.end());
    for (const std::string& relative : unused)
        check.findings.push_back({label + "/" + relative, 0, false,
                                  std::string("the updater neither runs, loads nor installs this file (it takes up/*.sql, "
                                              "up/*.blo, ") +
                                      package::kProgramFilePatterns + ")"});
    return check;
}

namespace {

// One package to check: its name, the label of its findings, its archive and
// where its installable files go (none: they are not wanted).
struct CheckedPackage {
    std::string name;
    std::string label;
    std::string archive;
    std::optional<std::vector<package::InstallableFile>>* files = nullptr;
};

bool CheckArchives(const std::string& numbersLabel, const std::vector<CheckedPackage>& packages,
                   const ScratchDirectory& scratch, std::ostream& out)
{
    std::vector<Finding> findings;
    std::vector<std::string> names;
    for (std::size_t k = 0; k < packages.size(); ++k) {
        const auto& [name, label, archive, files] = packages[k];
        names.push_back(name);
        out << name << " (" << label << ")\n";
        const auto number = package::PackageNumber(name);
        if (!PackageNameProblem(name).empty())
            continue;  // CheckNumbers reports it
        const std::string dir = scratch / std::to_string(k);
        if (!Unpack(label, archive, dir, findings))
            continue;
        if (files)
            *files = package::InstallableFilesIn(dir);
        PackageCheck check = CheckUnpackedPackage(label, *number, dir);
        for (const auto& [script, statements] : check.scripts)
            out << "  " << script << ": " << platform::Counted(statements, "statement", "statements") << "\n";
        findings.insert(findings.end(), check.findings.begin(), check.findings.end());
    }
    const std::vector<Finding> numbers = CheckNumbers(numbersLabel, names);
    findings.insert(findings.end(), numbers.begin(), numbers.end());

    const auto errors = static_cast<std::size_t>(
        std::count_if(findings.begin(), findings.end(), [](const Finding& finding) { return finding.error; }));
    for (const Finding& finding : findings)
        out << FindingText(finding) << "\n";
    out << "updater-pack: " << platform::Counted(errors, "error", "errors") << ", "
        << platform::Counted(findings.size() - errors, "warning", "warnings") << "\n";
    return errors == 0;
}

}  // namespace

bool CheckPackages(std::vector<package::PackageSource>& packages, std::ostream& out)
{
    std::vector<CheckedPackage> checked;
    for (package::PackageSource& source : packages) {
        std::string problem;
        if (!HasRarSignature(source.path, problem))
            throw std::runtime_error(source.path + " " + problem);
        checked.push_back({source.name, source.path, source.path, &source.files});
    }
    const ScratchDirectory scratch;
    return CheckArchives("the packages", checked, scratch, out);
}

std::vector<package::InstallableFile> InstallableFilesOfArchive(const std::string& archive)
{
    const ScratchDirectory scratch;
    std::vector<Finding> findings;
    if (!Unpack(archive, archive, scratch / "unpacked", findings))
        throw std::runtime_error(FindingText(findings.front()));
    return package::InstallableFilesIn(scratch / "unpacked");
}

bool CheckUpdater(const std::string& updater, std::ostream& out)
{
    const package::PackageStore store(updater);
    const ScratchDirectory scratch;
    std::vector<CheckedPackage> checked;
    for (const auto& entry : store.Entries()) {
        if (!package::IsPackageName(entry.name))
            continue;
        const std::string archive = scratch / (entry.name + ".rar");
        package::SavePackage(store, entry.name, archive);
        checked.push_back({entry.name, updater + "/" + entry.name, archive, nullptr});
    }
    return CheckArchives(updater, checked, scratch, out);
}

}  // namespace packtool
