#include "package/RunRecord.h"

#include "package/ProgramFiles.h"
#include "package/PutBack.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <algorithm>
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

bool EndsWithIgnoringCase(const std::string& text, const std::string& ending)
{
    return text.size() > ending.size() &&
           platform::EqualIgnoringAsciiCase(text.substr(text.size() - ending.size()), ending);
}

// A line of the record as a message may show it: at most 80 characters,
// control characters as '?'.
std::string Shown(std::string line)
{
    if (line.size() > 80)
        line = line.substr(0, 77) + "...";
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            c = '?';
    return line;
}

// The record of folder, read whole (a record is small; a larger file is not
// one the updater wrote). A folder or record that is a symbolic link is a
// problem; nothing is read through it.
std::optional<RunRecordData> ReadRecord(const std::string& folder)
{
    constexpr std::uint64_t kLargestRecord = 1 << 20;
    const std::string path = JoinPath(folder, kRunRecordName);
    const bool linked = platform::IsSymbolicLink(folder) || platform::IsSymbolicLink(path);
    if (!linked && !platform::FileExists(path))
        return std::nullopt;
    RunRecordData data;
    std::string text;
    if (!linked) {
        platform::File file = platform::File::OpenRead(path);
        std::uint64_t size = 0;
        if (!file.IsOpen() || file.Size(size))
            return std::nullopt;
        if (size > kLargestRecord)
            data.problem = "it is larger than any record the updater writes";
        char buffer[4096];
        for (std::size_t got = 1; got > 0 && data.problem.empty() && text.size() <= kLargestRecord;) {
            if (file.Read(buffer, sizeof buffer, got))
                return std::nullopt;
            text.append(buffer, got);
        }
        if (data.problem.empty())
            data = ParseRunRecord(text);
    } else {
        data.problem = "it is reached through a symbolic link";
    }
    if (!data.problem.empty())
        data.problem = "The run record " + path + " cannot be trusted: " + data.problem;
    return data;
}

}  // namespace

bool IsRecordableName(const std::string& relative)
{
    // The folder a name starts with says what it must end in; a name in no
    // other folder is one of the top folder.
    const ProgramFileFolder* kind = nullptr;
    std::string name;
    for (const ProgramFileFolder& candidate : kProgramFileFolders) {
        const std::string prefix = *candidate.folder ? candidate.folder + std::string(1, platform::kPathSeparator) : "";
        if (relative.compare(0, prefix.size(), prefix) == 0 && (!kind || !prefix.empty())) {
            kind = &candidate;
            name = relative.substr(prefix.size());
        }
    }
    if (!kind || name == "." || name == ".." || !EndsWithIgnoringCase(name, kind->extension))
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        return c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 32 || c == 127;
    });
}

std::string LinkOnTheWay(const std::string& exeDir, std::int32_t version, const std::string& relative, bool kept)
{
    return platform::FirstLinkBelow(exeDir, kept ? JoinPath(KeptFolderName(version), relative) : relative);
}


std::string KeptFolderName(std::int32_t version) { return std::to_string(version) + kFolderSuffix; }

RunRecordData ParseRunRecord(const std::string& text)
{
    RunRecordData data;
    std::size_t number = 0;
    // Only lines that end in a line feed: a crash can cut the last one.
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        ++number;
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
        const auto refuse = [&](const std::string& why) {
            if (data.problem.empty())
                data.problem = "line " + std::to_string(number) + " \"" + Shown(line) + "\" " + why;
        };
        std::int32_t version = 0;
        if (key == "version") {
            if (platform::TryParseInt32(value, 10, version))
                data.version = version;
            else
                refuse("gives no version");
        } else if (key == "server") {
            data.server = value;
        } else if (key == "database") {
            data.database = value;
        } else if (key == "backup") {
            data.backup = value;
        } else if (key == "backup-bytes") {
            if (!platform::TryParseUint64(value, data.backupBytes))
                refuse("gives no size");
        } else if (key == "backup-sha256") {
            if (value.size() == 64 && value.find_first_not_of("0123456789abcdef") == std::string::npos)
                data.backupSha256 = value;
            else
                refuse("gives no SHA-256");
        } else if (key == "kept" || key == "added") {
            if (!IsRecordableName(value))
                refuse("names no file the updater installs");
            else
                (key == "kept" ? data.kept : data.added).push_back(value);
        } else if (key == "complete") {
            data.complete = true;
        } else if (key == "files-only") {
            data.filesOnly = true;
        }
    }
    return data;
}

RunRecord::RunRecord(std::string exeDir, std::string folder, RunRecordData data)
    : exeDir_(std::move(exeDir)), folder_(std::move(folder)), data_(std::move(data))
{
}

std::optional<RunRecordData> UnfinishedRun(const std::string& exeDir, std::int32_t version, const std::string& server,
                                           const std::string& database, bool filesOnly)
{
    auto earlier = ReadRecord(JoinPath(exeDir, KeptFolderName(version)));
    if (earlier && earlier->problem.empty() && !earlier->complete && earlier->version == version &&
        earlier->server == server && earlier->database == database && earlier->filesOnly == filesOnly)
        return earlier;
    return std::nullopt;
}

RunRecord RunRecord::Begin(const std::string& exeDir, std::int32_t version, const std::string& server,
                           const std::string& database, bool filesOnly)
{
    const std::string folder = JoinPath(exeDir, KeptFolderName(version));
    if (platform::IsSymbolicLink(folder))
        throw CannotCreate(folder, platform::SymbolicLinkError());
    if (auto unfinished = UnfinishedRun(exeDir, version, server, database, filesOnly))
        return RunRecord(exeDir, folder, std::move(*unfinished));
    // The files kept for another run are not this run's originals.
    if (const auto earlier = ReadRecord(folder))
        RemoveKeptFolder(exeDir, *earlier);
    if (!platform::DirectoryExists(folder)) {
        if (const platform::Error error = platform::CreateDirectory(folder))
            throw CannotCreate(folder, error);
    }
    // A record left there (one this updater cannot read) would be appended
    // to: the run begins with a record of its own or not at all.
    const std::string recordPath = JoinPath(folder, kRunRecordName);
    if (platform::FileExists(recordPath) || platform::IsSymbolicLink(recordPath))
        if (const platform::Error error = platform::DeleteFile(recordPath))
            throw CannotCreate(recordPath, error);
    RunRecordData data;
    data.version = version;
    data.server = server;
    data.database = database;
    data.filesOnly = filesOnly;
    RunRecord record(exeDir, folder, data);
    record.Append("version", std::to_string(version));
    record.Append("server", server);
    record.Append("database", database);
    if (filesOnly)
        record.Append("files-only", "");
    return record;
}

platform::Error RunRecord::TryAppend(const std::string& key, const std::string& value)
{
    platform::File file = platform::File::OpenAppend(JoinPath(folder_, kRunRecordName));
    if (!file.IsOpen())
        return file.OpenError();
    const std::string line = key + (value.empty() ? "" : " " + value) + "\n";
    platform::Error error = file.Write(line.data(), line.size());
    if (error.Ok())
        error = file.Flush();
    if (error.Ok())
        error = file.Close();
    return error;
}

void RunRecord::Append(const std::string& key, const std::string& value)
{
    if (const platform::Error error = TryAppend(key, value))
        throw CannotCreate(JoinPath(folder_, kRunRecordName), error);
}

void RunRecord::SetBackup(const std::string& path, std::uint64_t bytes, const std::string& sha256)
{
    Append("backup", path);
    Append("backup-bytes", std::to_string(bytes));
    if (!sha256.empty())
        Append("backup-sha256", sha256);
    data_.backup = path;
    data_.backupBytes = bytes;
    data_.backupSha256 = sha256;
}

void RunRecord::SetComplete()
{
    if (data_.complete)
        return;
    Append("complete", "");
    data_.complete = true;
}

KeepFailed::KeepFailed(platform::Error error, std::int32_t version)
    : std::runtime_error(CopyErrorLine(error) + ": the installed file cannot be kept in " + KeptFolderName(version) +
                         " for the way back, and is not replaced"),
      error_(error)
{
}

void RunRecord::BeforeReplace(const std::string& relative)
{
    if (const platform::Error error = TryKeep(relative))
        throw KeepFailed(error, data_.version);
}

platform::Error RunRecord::TryKeep(const std::string& relative)
{
    // What the record could not name, it could not undo; and no file is
    // kept or replaced through a symbolic link, also in a continued run.
    if (!IsRecordableName(relative))
        return platform::InvalidNameError();
    if (!LinkOnTheWay(exeDir_, data_.version, relative, true).empty() ||
        !LinkOnTheWay(exeDir_, data_.version, relative, false).empty())
        return platform::SymbolicLinkError();
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
        auto record = ReadRecord(JoinPath(exeDir, name));
        if (record && record->problem.empty() && record->version != version)
            continue;
        if (record) {
            record->version = version;  // a record with a problem is named by its folder
            records.push_back(*record);
        }
    }
    std::sort(records.begin(), records.end(),
              [](const RunRecordData& a, const RunRecordData& b) { return a.version < b.version; });
    return records;
}

bool IsLocalServer(const std::string& server)
{
    const std::string host = platform::TrimBlanks(server.substr(0, server.find('/')));
    return host.empty() || host == "localhost" || host == "127.0.0.1" || host == "::1";
}

}  // namespace package
