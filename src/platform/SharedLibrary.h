#pragma once
// A shared library loaded at run time (dlopen on POSIX systems, LoadLibraryA
// on Windows), owned until it is unloaded.

#include <string>

namespace platform {

class SharedLibrary {
public:
    SharedLibrary() noexcept = default;
    SharedLibrary(SharedLibrary&& other) noexcept;
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    ~SharedLibrary();

    // Loads the named library (searched as the system searches libraries).
    // When it cannot be loaded the result is not loaded and error holds the
    // system's reason.
    static SharedLibrary Load(const std::string& name, std::string& error);

    bool IsLoaded() const noexcept { return handle_ != nullptr; }
    // The address of an exported symbol, or null.
    void* Symbol(const char* name) const noexcept;

private:
    void* handle_ = nullptr;
};

}  // namespace platform
