// The statement splitter over a whole script: line splitting, line classes,
// SET TERM and the statement buffer.
#include "dbupdate/StatementSplitter.h"
#include "platform/Text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    dbupdate::StatementSplitter splitter;
    std::size_t statementBytes = 0;
    for (const auto& line : platform::SplitLines(text)) {
        std::string statement;
        if (splitter.Feed(line, statement) == dbupdate::StatementSplitter::Step::Statement)
            statementBytes += statement.size();
        // A statement never holds more than the script's bytes.
        if (statementBytes + splitter.Pending().size() > size)
            std::abort();
    }
    dbupdate::ExtractTerminator(platform::TrimBlanks(text));
    return 0;
}
