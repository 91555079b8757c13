#pragma once
// The run log of a script: its failed statements and blob files, each with
// the error it gave.

#include <string>

namespace dbupdate {

// The run log's separator line (62 characters).
inline constexpr const char* kRunLogSeparator = "------------------------- error ------------------------------";

// Appends one entry to the run log logPath: plain (text unchanged) or framed
// (separator CR LF, text, CR LF, separator CR LF CR LF). A log that cannot be
// opened or created is skipped silently.
void WriteRunLog(const std::string& logPath, bool framed, const std::string& text);

}  // namespace dbupdate
