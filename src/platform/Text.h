#pragma once
// Small text rules shared by the updater's parts. Texts are byte strings;
// only ASCII letters change case.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Removes leading and trailing characters with codes 0 to 32.
std::string TrimBlanks(const std::string& text);

// The text with a-z turned into A-Z; no other character changes.
std::string UpperAscii(std::string text);

// Equality without regard to the case of ASCII letters.
bool EqualIgnoringAsciiCase(const std::string& left, const std::string& right);

// Splits a text into lines at CR LF, a lone CR or a lone LF; the text after
// the last line break, if any, is the last line; an empty text has no lines.
std::vector<std::string> SplitLines(const std::string& text);

// Parses the whole text as a 32-bit integer: base 10 with an optional sign
// (the value must fit), or base 16 without a sign (values above the signed
// range wrap as in a 32-bit register). False when anything does not convert.
bool TryParseInt32(const std::string& text, int base, std::int32_t& value);

// Parses the whole text as an unsigned 64-bit decimal number (digits only;
// the value must fit). False when anything does not convert.
bool TryParseUint64(const std::string& text, std::uint64_t& value);

// A random tag for the names of files and folders of this process's own
// ("norvexlib.rehearsal.TAG.fdb"): 8 lower-case hexadecimal digits.
std::string RandomTag();

// A system message with its insert sequences ("%1" to "%99", each with an
// optional "!format!") filled: with subject (the file or program the
// message is about), or, when subject is empty, left out together with the
// blank that joined them to the text. The system gives such messages raw
// ("%1 is not a valid Win32 application."), and a raw "%1" tells the user
// nothing.
std::string FillMessageInserts(const std::string& message, const std::string& subject);

// A count with its noun for reports: "1 failed statement", "2 failed
// statements".
std::string Counted(std::size_t count, const char* singular, const char* plural);

}  // namespace platform
