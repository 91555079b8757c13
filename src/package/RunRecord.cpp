#include "package/RunRecord.h"

#include "package/ProgramFiles.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <stdexcept>

namespace package {

using platform::JoinPath;

namespace {

constexpr const char* kFolderSuffix = ".bak";

std::runtime_error CannotCreate(const std::string& path, platform::Error error)
{
    return std::runtime_error("Cannot create file \"" + path + "\". " + error.Message());
}

bool Contains(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

// Creates the folders of relative's directory part below base.
platform::Error CreateParents(const std::string& base, const std::string& relative)
{
    for (auto at = relative.find(platform::kPathSeparator); at != std::string::npos;
         at = relative.find(platform::kPathSeparator, at + 1)) {
        const std::string directory = JoinPath(base, relative.substr(0, at));
        if (platform::DirectoryExists(directory))
            continue;
        if (const platform::Error error = platform::CreateDirectory(directory))
            return error;
    }
    return {};
}

std::optional<RunRecordData> ReadRecord(const std::string& folder)
{
    const std::string path = JoinPath(folder, kRunRecordName);
    if (!platform::FileExists(path))
        return std::nullopt;
    try {
        return ParseRunRecord(platform::ReadTextLines(path));
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
}

}  // namespace

std::string KeptFolderName(std::int32_t version) { return std::to_string(version) + kFolderSuffix; }

RunRecordData ParseRunRecord(const std::vector<std::string>& lines)
{
    RunRecordData data;
    for (const std::string& line : lines) {
        const auto space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
        std::int32_t number = 0;
        if (key == "version" && platform::TryParseInt32(value, 10, number))
            data.version = number;
        else if (key == "server")
            data.server = value;
        else if (key == "database")
            data.database = value;
        else if (key == "backup")
            data.backup = value;
        else if (key == "backup-bytes")
            data.backupBytes = std::strtoull(value.c_str(), nullptr, 10);
        else if (key == "kept" && !value.empty())
            data.kept.push_back(value);
        else if (key == "added" && !value.empty())
            data.added.push_back(value);
        else if (key == "complete")
            data.complete = true;
    }
    return data;
}

RunRecord::RunRecord(std::string exeDir, std::string folder, RunRecordData data)
    : exeDir_(std::move(exeDir)), folder_(std::move(folder)), data_(std::move(data))
{
}

std::optional<RunRecordData> UnfinishedRun(const std::string& exeDir, std::int32_t version, const std::string& server,
                                           const std::string& database)
{
    auto earlier = ReadRecord(JoinPath(exeDir, KeptFolderName(version)));
    if (earlier && !earlier->complete && earlier->version == version && earlier->server == server &&
        earlier->database == database)
        return earlier;
    return std::nullopt;
}

RunRecord RunRecord::Begin(const std::string& exeDir, std::int32_t version, const std::string& server,
                           const std::string& database)
{
    const std::string folder = JoinPath(exeDir, KeptFolderName(version));
    if (auto unfinished = UnfinishedRun(exeDir, version, server, database))
        return RunRecord(exeDir, folder, std::move(*unfinished));
    // The files kept for another run are not this run's originals.
    if (const auto earlier = ReadRecord(folder))
        RemoveKeptFolder(exeDir, *earlier);
    if (!platform::DirectoryExists(folder)) {
        if (const platform::Error error = platform::CreateDirectory(folder))
            throw CannotCreate(folder, error);
    }
    const std::string recordPath = JoinPath(folder, kRunRecordName);
    platform::DeleteFile(recordPath);
    RunRecordData data;
    data.version = version;
    data.server = server;
    data.database = database;
    RunRecord record(exeDir, folder, data);
    record.Append("version", std::to_string(version));
    record.Append("server", server);
    record.Append("database", database);
    return record;
}

platform::Error RunRecord::TryAppend(const std::string& key, const std::string& value)
{
    platform::File file = platform::File::OpenAppend(JoinPath(folder_, kRunRecordName));
    if (!file.IsOpen())
        return file.OpenError();
    const std::string line = key + (value.empty() ? "" : " " + value) + "\n";
    platform::Error error = file.Write(line.data(), line.size());
    if (!error)
        error = file.Flush();
    if (!error)
        error = file.Close();
    return error;
}

void RunRecord::Append(const std::string& key, const std::string& value)
{
    if (const platform::Error error = TryAppend(key, value))
        throw CannotCreate(JoinPath(folder_, kRunRecordName), error);
}

void RunRecord::SetBackup(const std::string& path, std::uint64_t bytes)
{
    Append("backup", path);
    Append("backup-bytes", std::to_string(bytes));
    data_.backup = path;
    data_.backupBytes = bytes;
}

void RunRecord::SetComplete()
{
    if (data_.complete)
        return;
    Append("complete", "");
    data_.complete = true;
}

platform::Error RunRecord::BeforeReplace(const std::string& relative)
{
    if (Contains(data_.kept, relative) || Contains(data_.added, relative))
        return {};
    const std::string installed = JoinPath(exeDir_, relative);
    if (!platform::FileExists(installed) && !platform::DirectoryExists(installed)) {
        if (const platform::Error error = TryAppend("added", relative))
            return error;
        data_.added.push_back(relative);
        return {};
    }
    if (const platform::Error error = CreateParents(folder_, relative))
        return error;
    if (const platform::Error error = platform::CopyFileReplacing(installed, JoinPath(folder_, relative)))
        return error;
    if (const platform::Error error = TryAppend("kept", relative))
        return error;
    data_.kept.push_back(relative);
    return {};
}

std::vector<RunRecordData> ListRunRecords(const std::string& exeDir)
{
    std::vector<RunRecordData> records;
    for (const std::string& name : platform::FindEntries(exeDir, std::string("*") + kFolderSuffix)) {
        std::int32_t version = 0;
        const std::string stem = name.substr(0, name.size() - std::char_traits<char>::length(kFolderSuffix));
        if (!platform::TryParseInt32(stem, 10, version) || std::to_string(version) != stem)
            continue;
        if (auto record = ReadRecord(JoinPath(exeDir, name)); record && record->version == version)
            records.push_back(*record);
    }
    std::sort(records.begin(), records.end(),
              [](const RunRecordData& a, const RunRecordData& b) { return a.version < b.version; });
    return records;
}

int PutBackProgramFiles(view::IUpdateView& view, const std::string& exeDir, const RunRecordData& record)
{
    const std::string folder = JoinPath(exeDir, KeptFolderName(record.version));
    int failed = 0;
    auto report = [&](const std::string& relative, platform::Error error) {
        view.AddLine(platform::FileNameOf(relative) + "...");
        if (error) {
            view.AddLine(CopyErrorLine(error));
            ++failed;
        } else {
            view.AppendToLastLine("[OK]");
        }
        view.ProcessMessages();
    };
    for (const std::string& relative : record.kept)
        report(relative, platform::CopyFileReplacing(JoinPath(folder, relative), JoinPath(exeDir, relative)));
    for (const std::string& relative : record.added) {
        const std::string path = JoinPath(exeDir, relative);
        report(relative, platform::FileExists(path) ? platform::DeleteFile(path) : platform::Error());
    }
    return failed;
}

void RemoveKeptFolder(const std::string& exeDir, const RunRecordData& record)
{
    const std::string folder = JoinPath(exeDir, KeptFolderName(record.version));
    for (const std::string& relative : record.kept)
        platform::DeleteFile(JoinPath(folder, relative));
    platform::DeleteFile(JoinPath(folder, kRunRecordName));
    // Only folders that are empty now go; anything else put there stays.
    platform::RemoveDirectory(JoinPath(folder, "Reports"));
    platform::RemoveDirectory(folder);
}

bool IsLocalServer(const std::string& server)
{
    const std::string host = platform::TrimBlanks(server.substr(0, server.find('/')));
    return host.empty() || host == "localhost" || host == "127.0.0.1" || host == "::1";
}

std::vector<std::string> PruneRuns(const std::string& exeDir, std::size_t keep)
{
    std::vector<std::string> left;
    const auto records = ListRunRecords(exeDir);
    for (std::size_t i = 0; i + keep < records.size(); ++i) {
        const RunRecordData& record = records[i];
        if (!record.backup.empty()) {
            // A path on another machine may name a different file here.
            const bool removed = IsLocalServer(record.server) &&
                                 (!platform::DeleteFile(record.backup) || !platform::FileExists(record.backup));
            if (!removed)
                left.push_back(record.backup);
        }
        RemoveKeptFolder(exeDir, record);
    }
    return left;
}

}  // namespace package
