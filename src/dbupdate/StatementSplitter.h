#pragma once
// The statement splitter of the script runner: how script lines become
// statements (SET TERM and the other SET directives, terminators, literals
// and comments that run across lines). Pure rules, no database.

#include <string>

namespace dbupdate {

// How RunScript treats one trimmed script line.
enum class LineClass {
    TerminatorDirective,  // SET TERM: changes the terminator
    SkippedDirective,     // any other SET directive (but SET G...): dropped
    Empty,
    TerminatorLine,       // the terminator alone: executes the buffer
    StatementLine,
};

// Classifies a trimmed line. A "SET name = ..." line (the name qualified or
// not) while the statement buffer holds text is a column assignment of that
// statement, and a line that begins inside an open string literal of the
// buffer is text of that literal: neither is a directive.
LineClass ClassifyLine(const std::string& trimmedLine, char terminator, bool bufferEmpty, bool inLiteral = false);

// The new terminator of a trimmed "SET TERM new old" line: scanning up to the
// last character (the old terminator, never taken), the first character after
// the first M/m that is neither M, m nor a space. A line where no such
// character comes before its last one gives its next-to-last character.
char ExtractTerminator(const std::string& trimmedLine);

// Adds a trimmed statement line to the (trimmed) statement buffer in place:
// joined with LF, an empty buffer takes the line alone. The result is the
// buffer, LF and the line trimmed as a whole, without copying the buffer.
void AppendStatementLine(std::string& buffer, const std::string& trimmedLine);

// The lexical state at the end of a statement text read as the engine reads
// it: single-quoted literals ('' stands for a quote), double-quoted
// identifiers, "--" line comments and "/* */" block comments. Fed piece by
// piece, each piece continuing the text before it.
class SqlLexState {
public:
    void Feed(const std::string& text);
    void Reset() noexcept;
    // A single-quoted literal is open at the end of the text fed so far.
    bool InLiteral() const noexcept { return state_ == State::Literal; }

private:
    enum class State { Code, Literal, Identifier, LineComment, BlockComment };
    State state_ = State::Code;
    char previous_ = 0;
};

// Whether text holds nothing but blanks (codes 0 to 32) and comments.
bool IsBlankOrComment(const std::string& text);

// The statement splitter of a script, fed one line at a time: it keeps the
// terminator (";" until a SET TERM line changes it) and the statement buffer.
class StatementSplitter {
public:
    enum class Step {
        Directive,  // a SET line that is not part of a statement: dropped
        Line,       // the line went into the buffer (or was empty)
        Statement,  // the line ended a statement, given in statement
    };
    // Takes one script line as read (it is trimmed here).
    Step Feed(const std::string& rawLine, std::string& statement);
    // Statement text still waiting for its terminator.
    const std::string& Pending() const noexcept { return buffer_; }
    char Terminator() const noexcept { return terminator_; }

private:
    char terminator_ = ';';
    std::string buffer_;
    SqlLexState lex_;
};

}  // namespace dbupdate
