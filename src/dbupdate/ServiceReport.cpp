#include "dbupdate/ServiceReport.h"

#include "dbupdate/DatabaseError.h"
#include "dbupdate/ParameterBlock.h"
#include "platform/Text.h"

#include <ibase.h>

namespace dbupdate {

namespace {

DatabaseError UnexpectedAnswer(const char* operation)
{
    return DatabaseError("The service manager gave an unexpected answer", 0, 0, false, operation);
}

}  // namespace

bool ReadServiceAnswer(std::span<const char> answer, const char* operation, std::uint32_t& requested,
                       const std::function<void(const char* data, std::size_t length)>& onData)
{
    bool more = false;
    requested = 0;
    const char* const end = answer.data() + answer.size();
    for (const char* p = answer.data(); p < end && *p != isc_info_end;) {
        const char item = *p++;
        if (item == isc_info_svc_line || item == isc_info_svc_to_eof) {
            // A 2-byte length and the bytes, whole inside the answer.
            if (end - p < 2)
                throw UnexpectedAnswer(operation);
            const std::size_t length = ReadLittleEndian(p, 2);
            if (static_cast<std::size_t>(end - p - 2) < length)
                throw UnexpectedAnswer(operation);
            if (length > 0) {
                onData(p + 2, length);
                more = true;
            }
            p += 2 + length;
        } else if (item == isc_info_svc_stdin) {
            if (end - p < 4)
                throw UnexpectedAnswer(operation);
            requested = ReadLittleEndian(p, 4);
            more = more || requested > 0;
            p += 4;
        } else if (item == isc_info_svc_timeout || item == isc_info_data_not_ready || item == isc_info_truncated) {
            more = true;
        } else {
            throw UnexpectedAnswer(operation);
        }
    }
    return more;
}

void ServiceReport::Take(const std::string& line)
{
    if (const auto at = line.find("ERROR:"); at != std::string::npos) {
        if (!failure_.empty())
            failure_ += "\r\n";
        failure_.append(line, at + 6);
    }
    if (!closingLine_.empty() && closing_.empty() && line.find(closingLine_) != std::string::npos)
        closing_ = line;
    last_ = line;
}

std::string ServiceReport::Completed(const char* operation) const
{
    if (!failure_.empty())
        throw DatabaseError(failure_, 0, 0, false, operation);
    if (!Done())
        throw DatabaseError("The engine's report ended before the work was complete (" + last_ + ")", 0, 0, false,
                            operation);
    return closing_;
}

std::uint64_t BackupSizeOf(const std::string& closingLine)
{
    const std::string closing = kBackupClosingLine;
    const auto at = closingLine.find(closing);
    if (at == std::string::npos)
        return 0;
    // The digits after the closing text and its blanks.
    const auto start = closingLine.find_first_not_of(' ', at + closing.size());
    std::string digits;
    if (start != std::string::npos)
        digits = closingLine.substr(start, closingLine.find_first_not_of("0123456789", start) - start);
    std::uint64_t size = 0;
    return platform::TryParseUint64(digits, size) ? size : 0;
}

std::string TableOfProgressLine(const std::string& line)
{
    for (const char* marker : {"writing data for table ", "restoring data for table "}) {
        const auto at = line.find(marker);
        if (at == std::string::npos)
            continue;
        std::string table = line.substr(at + std::char_traits<char>::length(marker));
        while (!table.empty() && static_cast<unsigned char>(table.back()) <= ' ')
            table.pop_back();
        return table;
    }
    return {};
}

}  // namespace dbupdate
