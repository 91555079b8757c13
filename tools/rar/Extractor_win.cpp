// Extraction on Windows: RAR 1.5-4.x archives whose entries are stored (what
// updater packages made by the project's writer hold), with every entry's CRC
// checked and the same safety rules as on other systems. Compressed entries
// and RAR5 archives need a decoder this build does not carry: they are
// refused with exit code 3 before anything is written. Installations use the
// RAR for Windows, which decodes everything.

#include "Extractor.h"

#include "Crc32.h"
#include "EntryPaths.h"
#include "ExtractFailure.h"
#include "Rar4Headers.h"
#include "Refusals.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Utf16_win.h"

#include <cstring>
#include <ostream>
#include <random>
#include <vector>
#include <windows.h>

namespace rarformat {

namespace {

constexpr unsigned char kStoredMethod = 0x30;
constexpr unsigned kSplitFlags = 0x01 | 0x02;  // continued from or in another volume
constexpr std::size_t kBufferSize = 1 << 16;


std::wstring Wide(const std::string& text, UINT codePage) { return platform::Utf16FromCodePage(codePage, text); }

std::string SystemText(DWORD code) { return platform::SystemMessage(static_cast<int>(code)); }

// Whether Windows stores a file under exactly this name: no reserved
// characters (a ":" would write an alternate data stream of another file), no
// device name, no trailing dot or blank (which the system drops).
bool IsPlainWindowsName(const std::string& name)
{
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 32 || std::strchr("<>:\"|?*", c))
            return false;
    }
    if (name.back() == '.' || name.back() == ' ')
        return false;
    std::string stem = name.substr(0, name.find('.'));
    for (char& c : stem)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (stem == device)
            return false;
    }
    return !((stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) && stem.size() == 4 && stem[3] >= '0' &&
             stem[3] <= '9');
}

// Deletes a directory tree; reparse points (links, junctions) are removed
// themselves, never followed.
void RemoveTree(const std::wstring& directory)
{
    WIN32_FIND_DATAW found {};
    HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = directory + L"\\" + name;
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveTree(path);
            } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryW(path.c_str());
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(directory.c_str());
}

// The staging directory inside the destination where every entry is written
// and checked before anything is put in place. It is held open without
// delete sharing while the extraction runs, so another extraction sees it in
// use and leaves it alone.
class Staging : public Refusals {
public:
    Staging(const std::wstring& destination, const ExtractOptions& options, std::ostream& err)
        : Refusals(err), destination_(destination), options_(options)
    {
        RemoveStale();
        static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::random_device random;
        for (int attempt = 0; root_.empty(); ++attempt) {
            std::string name = kStagingPrefix;
            for (std::size_t i = 0; i < kStagingSuffixLength; ++i)
                name += letters[random() % (sizeof letters - 1)];
            const std::wstring path = destination_ + L"\\" + Wide(name, CP_UTF8);
            if (CreateDirectoryW(path.c_str(), nullptr)) {
                root_ = path;
            } else if (GetLastError() != ERROR_ALREADY_EXISTS || attempt == 100) {
                const DWORD error = GetLastError();
                throw Failure {kCreateError, "cannot create a staging directory: " + SystemText(error)};
            }
        }
        hold_ = CreateFileW(root_.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    }
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;
    ~Staging()
    {
        if (hold_ != INVALID_HANDLE_VALUE)
            CloseHandle(hold_);
        RemoveTree(root_);
    }

    // A new file for an entry inside the staging directory.
    platform::File CreateFile(const std::vector<std::string>& components, std::wstring& path)
    {
        path = root_;
        for (std::size_t i = 0; i + 1 < components.size(); ++i) {
            path += L"\\" + Wide(components[i], CP_UTF8);
            CreateDirectoryW(path.c_str(), nullptr);
        }
        path += L"\\" + std::to_wstring(staged_++);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            throw Failure {kCreateError, "cannot create " + JoinComponents(components, components.size()) + ": " +
                                             SystemText(error)};
        }
        return platform::File::FromNativeHandle(reinterpret_cast<std::intptr_t>(file));
    }

    // Makes the directories of the first count components in the destination,
    // never through a link and never over a file. False (the entry refused)
    // when one is in the way.
    bool MakeDirectories(const std::vector<std::string>& components, std::size_t count, const std::string& name,
                         std::wstring& path)
    {
        path = destination_;
        for (std::size_t i = 0; i < count; ++i) {
            path += L"\\" + Wide(components[i], CP_UTF8);
            const DWORD attributes = GetFileAttributesW(path.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES) {
                if (!CreateDirectoryW(path.c_str(), nullptr)) {
                    const DWORD error = GetLastError();
                    throw Failure {kCreateError,
                                   "cannot create directory " + JoinComponents(components, i + 1) + ": " + SystemText(error)};
                }
            } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                Refuse(name, "it would be written through the link " + JoinComponents(components, i + 1));
                return false;
            } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                Refuse(name, JoinComponents(components, i + 1) + " is not a directory");
                return false;
            }
        }
        return true;
    }

    // Moves a staged file to its place, replacing a regular file there.
    void Place(const std::vector<std::string>& components, const std::wstring& staged, const std::string& name)
    {
        std::wstring target;
        if (!MakeDirectories(components, components.size() - 1, name, target))
            return;
        target += L"\\" + Wide(components.back(), CP_UTF8);
        const DWORD attributes = GetFileAttributesW(target.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
                return Refuse(name, "a link is in its place");
            if (attributes & FILE_ATTRIBUTE_DIRECTORY)
                return Refuse(name, "a directory is in its place");
            if (!options_.overwrite)
                return;
        }
        if (!MoveFileExW(staged.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            const DWORD error = GetLastError();
            throw Failure {kCreateError, "cannot write " + name + ": " + SystemText(error)};
        }
    }

protected:
    std::string ComponentProblem(const std::string& component) const override
    {
        return IsPlainWindowsName(component) ? std::string() : "its name is not a plain Windows file name";
    }

private:
    // Staging directories of interrupted extractions: removed unless a
    // running extraction holds them (or they are links, which are left).
    void RemoveStale()
    {
        WIN32_FIND_DATAW found {};
        HANDLE search = FindFirstFileW((destination_ + L"\\" + Wide(kStagingPrefix, CP_UTF8) + L"*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return;
        std::vector<std::wstring> stale;
        do {
            const std::wstring name = found.cFileName;
            const std::string narrow(name.begin(), name.end());
            if (IsStagingName(narrow) && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                stale.push_back(destination_ + L"\\" + name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
        for (const auto& path : stale) {
            HANDLE probe = CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            if (probe == INVALID_HANDLE_VALUE)
                continue;  // in use by a running extraction
            CloseHandle(probe);
            RemoveTree(path);
        }
    }

    std::wstring destination_;
    const ExtractOptions& options_;
    std::wstring root_;
    HANDLE hold_ = INVALID_HANDLE_VALUE;
    unsigned staged_ = 0;
};

void ExtractRar4(const std::string& archivePath, Staging& staging)
{
    std::vector<Rar4FileHeader> headers;
    try {
        headers = ReadRar4Headers(archivePath);
    } catch (const ArchiveError& error) {
        throw Failure {kFatal, error.what()};
    }
    // Nothing is written unless every entry can be read here.
    for (const auto& header : headers) {
        if (header.IsEncrypted())
            throw Failure {kFatal, header.name + " is encrypted; encrypted archives are not supported"};
        if (header.flags & kSplitFlags)
            throw Failure {kFatal, header.name + " continues in another volume; multi-volume archives are not supported"};
        if (!header.IsDirectory() && header.method != kStoredMethod)
            throw Failure {kCrcError, header.name +
                                          " is compressed; this rar.exe extracts stored entries only (installations use "
                                          "the RAR for Windows)"};
    }

    const platform::File archive = platform::File::OpenRead(archivePath);
    if (!archive.IsOpen())
        throw Failure {kOpenError, "cannot open " + archivePath + ": " + archive.OpenError().Message()};
    struct Staged {
        std::vector<std::string> components;
        std::wstring path;
        std::string name;
    };
    std::vector<Staged> files;
    std::vector<std::pair<std::vector<std::string>, std::string>> directories;
    std::vector<char> buffer(kBufferSize);
    for (const auto& header : headers) {
        std::vector<std::string> components;
        if (header.IsSymlink()) {
            staging.Refuse(header.name, "links are not extracted on Windows");
            continue;
        }
        if (!staging.Accept(header.name, components))
            continue;
        if (header.IsDirectory()) {
            directories.emplace_back(components, header.name);
            continue;
        }
        Staged staged {components, {}, header.name};
        platform::File out = staging.CreateFile(components, staged.path);
        std::uint32_t crc = 0;
        for (std::uint64_t done = 0; done < header.packSize;) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), header.packSize - done));
            std::size_t got = 0;
            if (archive.ReadAt(header.dataOffset + done, buffer.data(), want, got) || got == 0)
                throw Failure {kFatal, header.name + ": unexpected end of archive"};
            crc = Crc32(crc, buffer.data(), got);
            if (const platform::Error error = out.Write(buffer.data(), got))
                throw Failure {kCreateError, "cannot write " + header.name + ": " + error.Message()};
            done += got;
        }
        if (header.packSize != header.unpackedSize)
            throw Failure {kCrcError, header.name + ": stored size and unpacked size differ (damaged archive)"};
        if (crc != header.crc)
            throw Failure {kCrcError, header.name + ": CRC failed"};
        if (const platform::Error error = out.Close())
            throw Failure {kCreateError, "cannot write " + header.name + ": " + error.Message()};
        files.push_back(std::move(staged));
    }
    for (const auto& staged : files)
        staging.Place(staged.components, staged.path, staged.name);
    for (const auto& [components, name] : directories) {
        std::wstring path;
        staging.MakeDirectories(components, components.size(), name, path);
    }
}

}  // namespace

int Extract(const std::string& archivePath, const std::string& destination, const ExtractOptions& options,
            std::ostream& err)
{
    const platform::File probe = platform::File::OpenRead(archivePath);
    if (!probe.IsOpen()) {
        err << "rar: cannot open " << archivePath << ": " << probe.OpenError().Message() << "\n";
        return kOpenError;
    }
    char head[8] {};
    std::size_t got = 0;
    // A head that cannot be read fails the extraction, which reads it again
    // and says why.
    platform::BestEffort(probe.ReadAt(0, head, sizeof head, got));
    if (got == sizeof head && std::memcmp(head, "Rar!\x1A\x07\x01\x00", 8) == 0) {
        err << "rar: " << archivePath
            << " is a RAR 5 archive; this rar.exe extracts stored RAR 1.5-4.x entries only (installations use the "
               "RAR for Windows)\n";
        return kCrcError;
    }
    try {
        // The destination comes in the system's code page, as the updater's
        // own paths do.
        Staging staging(Wide(destination, CP_ACP), options, err);
        ExtractRar4(archivePath, staging);
        return staging.warnings > 0 ? kWarning : kSuccess;
    } catch (...) {
        return ReportFailure(err);
    }
}

}  // namespace rarformat
