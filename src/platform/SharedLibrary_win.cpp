#include "platform/SharedLibrary.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Utf16_win.h"

#include <stdexcept>
#include <utility>
#include <vector>
#include <windows.h>

namespace platform {

namespace {

// The library-search functions of Windows 8, and of Windows 7 with update
// KB2533623; without them the flags LOAD_LIBRARY_SEARCH_* are refused too.
struct SearchFunctions {
    decltype(&SetDefaultDllDirectories) setDefault = nullptr;
    decltype(&AddDllDirectory) add = nullptr;
    decltype(&RemoveDllDirectory) remove = nullptr;
};

const SearchFunctions& Search()
{
    static const SearchFunctions functions = [] {
        SearchFunctions found;
        if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
            found.setDefault = reinterpret_cast<decltype(found.setDefault)>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
            found.add = reinterpret_cast<decltype(found.add)>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "AddDllDirectory")));
            found.remove = reinterpret_cast<decltype(found.remove)>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "RemoveDllDirectory")));
        }
        if (!found.setDefault || !found.add || !found.remove)
            found = {};
        return found;
    }();
    return functions;
}

bool IsFile(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The absolute form of a path: LoadLibraryEx refuses a relative one with
// the LOAD_LIBRARY_SEARCH_* flags, and PATH may name relative directories.
std::string FullPath(const std::string& path)
{
    const DWORD size = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::string full(size, '\0');
    const DWORD length = GetFullPathNameA(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size)
        return path;
    full.resize(length);
    return full;
}

std::string SystemDirectory()
{
    char buffer[MAX_PATH];
    const UINT length = GetSystemDirectoryA(buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(buffer, length) : std::string();
}

// Where LoadLibrary looks for a plain name when the program has not
// changed its search: the program's directory, the system directory, the
// 16-bit system directory, the Windows directory, the current directory,
// then every directory of PATH.
std::vector<std::string> ClassicSearchDirectories()
{
    std::vector<std::string> directories;
    try {
        directories.push_back(ExeDirOf(ExecutablePath()));
    } catch (const std::runtime_error&) {
    }
    directories.push_back(SystemDirectory());
    char buffer[MAX_PATH];
    UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        directories.push_back(JoinPath(std::string(buffer, length), "System"));
        directories.push_back(std::string(buffer, length));
    }
    length = GetCurrentDirectoryA(MAX_PATH, buffer);
    if (length > 0 && length < MAX_PATH)
        directories.emplace_back(buffer, length);
    std::string path(GetEnvironmentVariableA("PATH", nullptr, 0), '\0');
    path.resize(GetEnvironmentVariableA("PATH", path.data(), static_cast<DWORD>(path.size())));
    std::size_t begin = 0;
    while (begin <= path.size()) {
        std::size_t end = path.find(';', begin);
        if (end == std::string::npos)
            end = path.size();
        std::string directory = path.substr(begin, end - begin);
        if (directory.size() >= 2 && directory.front() == '"' && directory.back() == '"')
            directory = directory.substr(1, directory.size() - 2);
        if (!directory.empty())
            directories.push_back(directory);
        begin = end + 1;
    }
    return directories;
}

LibraryLoadError Failure(const std::string& path, DWORD code)
{
    return LibraryLoadError {path, static_cast<int>(code), SystemMessage(static_cast<int>(code), path),
                             IsFile(path) ? LibraryFileBits(path) : 0};
}

}  // namespace

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), searchCookie_(std::exchange(other.searchCookie_, nullptr))
{
}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept
{
    if (this != &other) {
        SharedLibrary released(std::move(*this));
        handle_ = std::exchange(other.handle_, nullptr);
        searchCookie_ = std::exchange(other.searchCookie_, nullptr);
    }
    return *this;
}

SharedLibrary::~SharedLibrary()
{
    if (handle_)
        FreeLibrary(static_cast<HMODULE>(handle_));
    if (searchCookie_ && Search().remove)
        Search().remove(static_cast<DLL_DIRECTORY_COOKIE>(searchCookie_));
}

SharedLibrary SharedLibrary::Load(const std::string& name, LibraryLoadError& error)
{
    std::vector<std::string> candidates;
    if (name.find_first_of(kPathDelimiters) != std::string::npos) {
        candidates.push_back(FullPath(name));
    } else {
        for (const auto& directory : ClassicSearchDirectories()) {
            const std::string path = FullPath(JoinPath(directory, name));
            if (IsFile(path))
                candidates.push_back(path);
        }
    }
    bool failed = false;
    for (const auto& path : candidates) {
        // The library is loaded by its full path, and what it loads, when
        // it is loaded and later, is found in its own directory before the
        // system's: a client library keeps its companions beside itself.
        SharedLibrary library;
        const SearchFunctions& search = Search();
        if (search.add) {
            library.searchCookie_ = search.add(Utf16FromPath(ExeDirOf(path)).c_str());
            library.handle_ = LoadLibraryExA(path.c_str(), nullptr,
                                             LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32 |
                                                 LOAD_LIBRARY_SEARCH_USER_DIRS);
        } else {
            library.handle_ = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        }
        if (library.handle_)
            return library;
        if (!failed)
            error = Failure(path, GetLastError());
        failed = true;
    }
    if (!failed)
        error = Failure(name, ERROR_MOD_NOT_FOUND);
    return SharedLibrary();
}

SharedLibrary SharedLibrary::LoadSystem(const std::string& name, LibraryLoadError& error)
{
    SharedLibrary library;
    const std::string path = JoinPath(SystemDirectory(), name);
    // By its full path, and with the libraries it needs from the system
    // directory too.
    library.handle_ = LoadLibraryExA(path.c_str(), nullptr,
                                     Search().setDefault ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library.handle_)
        error = Failure(path, GetLastError());
    return library;
}

void* SharedLibrary::Symbol(const char* name) const noexcept
{
    return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)) : nullptr;
}

void RestrictLibrarySearch() noexcept
{
    if (Search().setDefault)
        Search().setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace platform
