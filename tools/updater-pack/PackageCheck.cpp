#include "PackageCheck.h"

#include "Extractor.h"
#include "PackTool.h"
#include "QuietStandardError.h"
#include "dbupdate/BlobLoader.h"
#include "dbupdate/ParamScan.h"
#include "dbupdate/StatementSplitter.h"
#include "package/PackageStore.h"
#include "package/WorkDir.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
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
        std::random_device random;
        path_ = fs::temp_directory_path() / ("updater-pack-check-" + std::to_string(random()));
        fs::create_directories(path_);
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

bool InsertsVersion(const std::string& statement, std::int32_t number)
{
    static const std::regex insert(R"(INSERT\s+INTO\s+"?VERSIONS"?\s*(\([^)]*\))?\s*VALUES\s*\(\s*(-?\d+)\s*[,)])",
                                   std::regex::icase);
    std::smatch match;
    if (!std::regex_search(statement, match, insert))
        return false;
    std::int32_t value = 0;
    return platform::TryParseInt32(match[2].str(), 10, value) && value == number;
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
        std::int32_t number = 0;
        platform::TryParseInt32(name.substr(0, name.find('_')), 10, number);
        byNumber[number].push_back(name);
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
    std::vector<std::string> scripts, blobs, programs;
    platform::ListFiles(scripts, upDir, "*.sql");
    platform::ListFiles(blobs, upDir, "*.blo");
    platform::ListFiles(programs, dir, "*.exe");
    platform::ListFiles(programs, platform::JoinPath(dir, "Reports"), "*.fr3");
    std::set<fs::path> used;
    for (const auto* list : {&scripts, &blobs, &programs})
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
                                  "the updater neither runs, loads nor installs this file (it takes up/*.sql, "
                                  "up/*.blo, *.exe and Reports/*.fr3)"});
    return check;
}

bool CheckPackages(const std::vector<std::string>& arguments, std::ostream& out)
{
    ScratchDirectory scratch;
    std::vector<Finding> findings;
    std::vector<std::string> names;
    std::string numbersLabel = "the packages";
    // Each package: its name, the label of its findings and its archive.
    std::vector<std::tuple<std::string, std::string, std::string>> packages;
    std::string problem;
    std::unique_ptr<package::PackageStore> store;
    if (arguments.size() == 1 && !HasRarSignature(arguments[0], problem)) {
        store = std::make_unique<package::PackageStore>(arguments[0]);
        numbersLabel = arguments[0];
        for (const auto& entry : store->Entries()) {
            if (entry.name.find("_RAR") == std::string::npos)
                continue;
            const std::string archive = scratch / (entry.name + ".rar");
            package::SavePackage(*store, entry.name, archive);
            packages.emplace_back(entry.name, arguments[0] + "/" + entry.name, archive);
        }
    } else {
        for (const std::string& argument : arguments) {
            std::string file;
            const std::string name = PackageNameFor(argument, file);
            if (!HasRarSignature(file, problem))
                throw std::runtime_error(file + " " + problem);
            packages.emplace_back(name, file, file);
        }
    }
    for (std::size_t k = 0; k < packages.size(); ++k) {
        const auto& [name, label, archive] = packages[k];
        names.push_back(name);
        out << name << " (" << label << ")\n";
        std::int32_t number = 0;
        if (!PackageNameProblem(name).empty() || !platform::TryParseInt32(name.substr(0, name.find('_')), 10, number))
            continue;  // CheckNumbers reports it
        const std::string dir = scratch / std::to_string(k);
        if (!Unpack(label, archive, dir, findings))
            continue;
        PackageCheck check = CheckUnpackedPackage(label, number, dir);
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

}  // namespace packtool
