#include "dbupdate/StatementSplitter.h"

#include "platform/Text.h"

#include <cctype>

namespace dbupdate {

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

void SkipSpaces(const std::string& text, std::size_t& i)
{
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
}

// A plain name (a letter, then letters, digits, "_" and "$") or a non-empty
// double-quoted one, starting at i; i moves past it.
bool TakeName(const std::string& upper, std::size_t& i)
{
    if (i < upper.size() && upper[i] == '"') {
        const auto close = upper.find('"', i + 1);
        if (close == std::string::npos || close == i + 1)
            return false;
        i = close + 1;
        return true;
    }
    if (i >= upper.size() || !std::isalpha(static_cast<unsigned char>(upper[i])))
        return false;
    while (i < upper.size() &&
           (std::isalnum(static_cast<unsigned char>(upper[i])) || upper[i] == '_' || upper[i] == '$'))
        ++i;
    return true;
}

// "SET name =", "SET "name" =" or a qualified "SET T.S =": a column
// assignment written on a line of its own inside an UPDATE (or a procedure
// body).
bool IsColumnAssignment(const std::string& upper)
{
    std::size_t i = 4;  // after "SET "
    SkipSpaces(upper, i);
    if (!TakeName(upper, i))
        return false;
    for (;;) {
        std::size_t j = i;
        SkipSpaces(upper, j);
        if (j >= upper.size() || upper[j] != '.')
            break;
        ++j;
        SkipSpaces(upper, j);
        if (!TakeName(upper, j))
            return false;
        i = j;
    }
    SkipSpaces(upper, i);
    return i < upper.size() && upper[i] == '=';
}

}  // namespace

LineClass ClassifyLine(const std::string& trimmedLine, char terminator, bool bufferEmpty, bool inLiteral)
{
    const std::string upper = platform::UpperAscii(trimmedLine);
    if (!inLiteral && StartsWith(upper, "SET ") && !StartsWith(upper, "SET G")) {
        if (!bufferEmpty && IsColumnAssignment(upper))
            return LineClass::StatementLine;
        return upper.find("SET TERM") != std::string::npos ? LineClass::TerminatorDirective
                                                             : LineClass::SkippedDirective;
    }
    if (trimmedLine.empty())
        return LineClass::Empty;
    if (trimmedLine.size() == 1 && trimmedLine[0] == terminator)
        return LineClass::TerminatorLine;
    return LineClass::StatementLine;
}

char ExtractTerminator(const std::string& trimmedLine)
{
    if (trimmedLine.size() < 2)
        return trimmedLine.empty() ? ';' : trimmedLine[0];
    const std::size_t last = trimmedLine.size() - 1;
    std::size_t i = 0;
    while (i < last && trimmedLine[i] != 'M' && trimmedLine[i] != 'm')
        ++i;
    while (i < last && (trimmedLine[i] == 'M' || trimmedLine[i] == 'm' || trimmedLine[i] == ' '))
        ++i;
    return i < last ? trimmedLine[i] : trimmedLine[last - 1];
}

void AppendStatementLine(std::string& buffer, const std::string& trimmedLine)
{
    if (trimmedLine.empty())
        return;
    if (!buffer.empty())
        buffer += '\n';
    buffer += trimmedLine;
}

void SqlLexState::Feed(const std::string& text)
{
    for (char c : text) {
        switch (state_) {
        case State::Code:
            if (c == '\'')
                state_ = State::Literal;
            else if (c == '"')
                state_ = State::Identifier;
            else if (c == '-' && previous_ == '-')
                state_ = State::LineComment;
            else if (c == '*' && previous_ == '/') {
                state_ = State::BlockComment;
                c = 0;  // "/*/" does not close the comment it opens
            }
            break;
        // A doubled quote closes and reopens: the state comes out the same.
        case State::Literal:
            if (c == '\'')
                state_ = State::Code;
            break;
        case State::Identifier:
            if (c == '"')
                state_ = State::Code;
            break;
        case State::LineComment:
            if (c == '\n' || c == '\r')
                state_ = State::Code;
            break;
        case State::BlockComment:
            if (c == '/' && previous_ == '*') {
                state_ = State::Code;
                c = 0;  // "*/*" opens nothing
            }
            break;
        }
        previous_ = c;
    }
}

void SqlLexState::Reset() noexcept
{
    state_ = State::Code;
    previous_ = 0;
}

bool IsBlankOrComment(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsBlank(text[i])) {
            ++i;
        } else if (text.compare(i, 2, "--") == 0) {
            i = text.find_first_of("\r\n", i);
        } else if (text.compare(i, 2, "/*") == 0) {
            const auto end = text.find("*/", i + 2);
            i = end == std::string::npos ? std::string::npos : end + 2;
        } else {
            return false;
        }
    }
    return true;
}

StatementSplitter::Step StatementSplitter::Feed(const std::string& rawLine, std::string& statement)
{
    const std::string line = platform::TrimBlanks(rawLine);
    const LineClass kind = ClassifyLine(line, terminator_, buffer_.empty(), lex_.InLiteral());
    if (kind == LineClass::TerminatorDirective || kind == LineClass::SkippedDirective) {
        if (kind == LineClass::TerminatorDirective)
            terminator_ = ExtractTerminator(line);
        return Step::Directive;
    }
    if (!line.empty() && !(line.size() == 1 && line[0] == terminator_)) {
        if (!buffer_.empty())
            lex_.Feed("\n");
        lex_.Feed(line);
        AppendStatementLine(buffer_, line);
    }
    if (line.empty() || line.back() != terminator_)
        return Step::Line;
    if (line.size() > 1 && !buffer_.empty())
        buffer_.pop_back();
    statement = std::move(buffer_);
    buffer_.clear();
    lex_.Reset();
    return Step::Statement;
}

}  // namespace dbupdate
