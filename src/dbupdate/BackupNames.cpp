#include "dbupdate/BackupNames.h"

namespace dbupdate {

std::string SiblingPath(const std::string& databasePath, const std::string& suffix)
{
    const auto separator = databasePath.find_last_of("/\\:");
    const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    auto dot = databasePath.rfind('.');
    if (dot == std::string::npos || dot <= nameStart)
        dot = databasePath.size();
    return databasePath.substr(0, dot) + suffix;
}

std::string BackupPathFor(const std::string& databasePath, std::int32_t version)
{
    std::string suffix(1, '.');
    suffix.append(std::to_string(version)).append(".fbk");
    return SiblingPath(databasePath, suffix);
}

std::string CheckDatabasePathFor(const std::string& backupPath)
{
    const std::string extension = ".fbk";
    const bool hasExtension = backupPath.size() >= extension.size() &&
                              backupPath.compare(backupPath.size() - extension.size(), extension.size(), extension) == 0;
    return (hasExtension ? backupPath.substr(0, backupPath.size() - extension.size()) : backupPath) + ".check.fdb";
}

}  // namespace dbupdate
