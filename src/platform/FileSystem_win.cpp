#include "platform/FileSystem.h"

#include "platform/File.h"
#include "platform/Paths.h"
#include "platform/TemporaryFile_win.h"
#include "platform/Text.h"

#include <stdexcept>
#include <windows.h>

// The platform layer's own names, not the Windows macros of the same names.
#undef CreateDirectory
#undef DeleteFile
#undef RemoveDirectory

namespace platform {

namespace {

constexpr DWORD kNoAttributes = INVALID_FILE_ATTRIBUTES;

DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

Error LastError() { return Error(static_cast<int>(GetLastError())); }

}  // namespace

bool FileExists(const std::string& path)
{
    const DWORD attributes = Attributes(path);
    return attributes != kNoAttributes && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path)
{
    const DWORD attributes = Attributes(path);
    return attributes != kNoAttributes && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsSymbolicLink(const std::string& path)
{
    const DWORD attributes = Attributes(path);
    return attributes != kNoAttributes && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

Error InvalidNameError() { return Error(ERROR_INVALID_NAME); }

Error SymbolicLinkError() { return Error(ERROR_CANT_RESOLVE_FILENAME); }

Error DeleteFile(const std::string& path) { return DeleteFileA(path.c_str()) ? Error() : LastError(); }

bool FileInUse(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(file);
    return false;
}

// Without MOVEFILE_REPLACE_EXISTING the move fails on an existing target.
Error MoveFileNoReplace(const std::string& from, const std::string& to)
{
    return MoveFileExA(from.c_str(), to.c_str(), 0) ? Error() : LastError();
}

Error MoveFileReplacing(const std::string& from, const std::string& to)
{
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? Error()
                                                                                                    : LastError();
}

Error CreateDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) ? Error() : LastError(); }

Error RemoveDirectory(const std::string& path) { return RemoveDirectoryA(path.c_str()) ? Error() : LastError(); }

std::vector<std::string> FindEntries(const std::string& directory, const std::string& mask)
{
    // The attribute mask 0x3F (read-only, hidden, system, volume, directory,
    // archive) excludes nothing: every entry the system matches is listed,
    // matched on its long or its short (8.3) name as the system does.
    std::vector<std::string> names;
    WIN32_FIND_DATAA found {};
    HANDLE search = FindFirstFileA(JoinPath(directory, mask).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        names.emplace_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

Error CopyFileReplacing(const std::string& source, const std::string& target)
{
    const DWORD sourceAttributes = Attributes(source);
    if (sourceAttributes == kNoAttributes)
        return LastError();
    // CopyFileA refuses a directory with "access denied"; a link is not
    // followed to whatever it points at.
    if (sourceAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Error(ERROR_ACCESS_DENIED);
    if (sourceAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Error(ERROR_CANT_RESOLVE_FILENAME);

    const DWORD targetAttributes = Attributes(target);
    if (targetAttributes != kNoAttributes) {
        if (targetAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_REPARSE_POINT))
            return Error(ERROR_ACCESS_DENIED);
        // A program that runs holds its file: opening it for writing fails
        // with the sharing violation (32) that CopyFileA would report. Checked
        // before anything is written, since a move over it would succeed on
        // some systems and fail with another code on others.
        HANDLE probe = CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE)
            return LastError();
        CloseHandle(probe);
    }

    File in = File::FromNativeHandle(reinterpret_cast<std::intptr_t>(
        CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr)));
    if (!in.IsOpen())
        return LastError();

    // The temporary file lives beside the target so that the final move
    // stays on one volume and replaces the target in one step.
    const auto separator = target.rfind(kPathSeparator);
    const std::string directory = separator == std::string::npos ? std::string() : target.substr(0, separator + 1);
    const std::string targetName = FileNameOf(target);
    RemoveStaleCopies(directory, targetName);
    std::string temporary;
    File out = CreateTemporaryFile(JoinPath(directory, "." + targetName + kCopyTemporaryMarker), temporary);
    if (!out.IsOpen())
        return out.OpenError();
    auto fail = [&](Error error) {
        // The temporary file goes either way.
        BestEffort(out.Close());
        DeleteFileA(temporary.c_str());
        return error;
    };
    if (const Error error = CopyRest(in, out))
        return fail(error);
    // As CopyFileA: the copy carries the source's time of last change.
    FILETIME written {};
    if (GetFileTime(reinterpret_cast<HANDLE>(in.NativeHandle()), nullptr, nullptr, &written))
        SetFileTime(reinterpret_cast<HANDLE>(out.NativeHandle()), nullptr, nullptr, &written);
    if (const Error error = out.Flush())
        return fail(error);
    if (const Error error = out.Close())
        return fail(error);
    if (!MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return fail(LastError());
    return {};
}

std::string SystemMessage(int errorCode, const std::string& subject)
{
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(errorCode), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 && text ? std::string(text, length) : "Error " + std::to_string(errorCode);
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n'))
        message.pop_back();
    return FillMessageInserts(message, subject);
}

bool EnsurePrivateDirectory(const std::string& path)
{
    // The directory lies in the user's own temporary directory, which only
    // that user (and administrators) may write.
    if (CreateDirectoryA(path.c_str(), nullptr))
        return false;
    const DWORD attributes = Attributes(path);
    if (attributes == kNoAttributes)
        return false;
    auto refuse = [&](const char* why) {
        return std::runtime_error("The working directory \"" + path + "\" is not safe to use: " + why);
    };
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        throw refuse("it is a symbolic link");
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw refuse("it is not a directory");
    return true;
}

}  // namespace platform
