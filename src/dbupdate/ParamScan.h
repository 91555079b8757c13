#pragma once
// The placeholder scan of a statement's text: which named parameters it
// takes, and the text the engine prepares with "?" in their places.

#include <string>
#include <vector>

namespace dbupdate {

// Result of the placeholder scan: the text with every placeholder replaced by
// "?" and the placeholders' names in order.
struct ParsedParams {
    std::string text;
    std::vector<std::string> names;
};

// Scans an SQL text for placeholders (":" or "?" followed by a name of
// letters, digits, "_" and "$", or a double-quoted name), outside quoted
// literals and /* */ comments. Throws DatabaseError "SQL Parse Error:" CR LF
// CR LF and the reason.
ParsedParams ScanParams(const std::string& sql);

}  // namespace dbupdate
