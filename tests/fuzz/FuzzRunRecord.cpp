// The run record's reader over any text: whatever a planted or damaged
// record holds, no kept or added file it gives leaves the installation
// folder (a plain name, or one below Reports), and a last line without its
// line feed never counts.
#include "package/RunRecord.h"
#include "platform/Paths.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool StaysInside(const std::string& relative)
{
    if (relative.empty() || relative.front() == platform::kPathSeparator || relative.find(':') != std::string::npos)
        return false;
    std::size_t start = 0;
    for (std::size_t depth = 0;; ++depth) {
        const auto end = relative.find_first_of("/\\", start);
        const std::string part = relative.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty() || part == "." || part == ".." || depth > 1)
            return false;
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const package::RunRecordData record = package::ParseRunRecord(text);
    for (const auto* list : {&record.kept, &record.added})
        for (const std::string& relative : *list)
            if (!StaysInside(relative) || !package::IsRecordableName(relative))
                std::abort();
    // What follows the last line feed is not read: the record without it
    // says the same.
    const auto lastLine = text.rfind('\n');
    const package::RunRecordData whole =
        package::ParseRunRecord(lastLine == std::string::npos ? std::string() : text.substr(0, lastLine + 1));
    if (whole.kept != record.kept || whole.added != record.added || whole.complete != record.complete ||
        whole.problem != record.problem)
        std::abort();
    return 0;
}
