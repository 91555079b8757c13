// The package check over a script's text: the updater's splitter with the
// check's findings, and the version insert read from each statement it
// makes and from the whole text as one statement.
#include "PackageCheck.h"
#include "platform/Text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const packtool::ScriptCheck check = packtool::CheckScript("s.sql", platform::SplitLines(text));
    std::size_t statementBytes = 0;
    for (const std::string& statement : check.statements) {
        statementBytes += statement.size();
        packtool::InsertsVersion(statement, 122);
    }
    // A statement never holds more than the script's bytes.
    if (statementBytes > size)
        std::abort();
    packtool::InsertsVersion(text, 122);
    return 0;
}
