#pragma once
// A shared library loaded at run time (dlopen on POSIX systems, LoadLibraryEx
// on Windows), owned until it is unloaded.

#include <string>
#include <string_view>

namespace platform {

// Why a library could not be loaded.
struct LibraryLoadError {
    // The file the system was asked to load; the name itself when no file of
    // that name was found.
    std::string path;
    // The system's error code (a GetLastError value on Windows, 0 on POSIX
    // systems) and its message, inserts filled with path.
    int code = 0;
    std::string text;
    // 32 or 64 when path is a library image of that bitness, else 0.
    int libraryBits = 0;
};

class SharedLibrary {
public:
    SharedLibrary() noexcept = default;
    SharedLibrary(SharedLibrary&& other) noexcept;
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    ~SharedLibrary();

    // Loads the named library. A name with a directory part is loaded from
    // there. A plain name is searched as the system searches libraries: on
    // Windows as LoadLibrary did before RestrictLibrarySearch (the program's
    // directory, the system directories, the current directory, PATH), the
    // first file that loads is taken, and its own directory is where the
    // libraries it loads itself are found. When none loads, the result is
    // not loaded and error says why (the first file that failed, else the
    // name not found).
    static SharedLibrary Load(const std::string& name, LibraryLoadError& error);

    // Loads a library of the operating system from the system directory
    // only, never from the program's directory.
    static SharedLibrary LoadSystem(const std::string& name, LibraryLoadError& error);

    bool IsLoaded() const noexcept { return handle_ != nullptr; }
    // The address of an exported symbol, or null.
    void* Symbol(const char* name) const noexcept;
    // Sets target to the exported function name; false, and target null,
    // when the library has none.
    template <typename Function>
    bool Find(const char* name, Function& target) const noexcept
    {
        target = reinterpret_cast<Function>(Symbol(name));
        return target != nullptr;
    }

private:
    void* handle_ = nullptr;
    // The library's directory, added to the directories searched for the
    // libraries it loads itself (Windows), removed when it is unloaded.
    void* searchCookie_ = nullptr;
};

// From now on, libraries loaded by a plain name (also by the system's own
// libraries) are looked for in the system directory only: a file of a
// system library's name beside the program, in a downloads folder for
// example, is never loaded. Windows only (SetDefaultDllDirectories, where
// the system has it); nothing on POSIX systems. Call first in main.
void RestrictLibrarySearch() noexcept;

// 32 or 64: the bitness of the running program.
constexpr int ProgramBits() noexcept { return static_cast<int>(sizeof(void*) * 8); }

// The bitness of a library image from its first bytes: 32 or 64 for a
// Windows PE image of an x86 or x86-64 machine, or an ELF image of class 32
// or 64; 0 when header is none of these.
int ImageBits(std::string_view header) noexcept;

// ImageBits of the file at path; 0 when it cannot be read.
int LibraryFileBits(const std::string& path);

}  // namespace platform
