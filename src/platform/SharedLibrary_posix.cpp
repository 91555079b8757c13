#include "platform/SharedLibrary.h"

#include <dlfcn.h>
#include <utility>

namespace platform {

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), searchCookie_(std::exchange(other.searchCookie_, nullptr))
{
}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept
{
    if (this != &other) {
        if (handle_)
            ::dlclose(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        searchCookie_ = std::exchange(other.searchCookie_, nullptr);
    }
    return *this;
}

SharedLibrary::~SharedLibrary()
{
    if (handle_)
        ::dlclose(handle_);
}

SharedLibrary SharedLibrary::Load(const std::string& name, LibraryLoadError& error)
{
    SharedLibrary library;
    library.handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!library.handle_) {
        const char* why = ::dlerror();
        // dlopen names neither the file it found nor its class apart from
        // its text ("wrong ELF class: ELFCLASS32").
        error = LibraryLoadError {name, 0, why ? why : "unknown error", 0};
    }
    return library;
}

SharedLibrary SharedLibrary::LoadSystem(const std::string& name, LibraryLoadError& error)
{
    return Load(name, error);
}

void* SharedLibrary::Symbol(const char* name) const noexcept { return handle_ ? ::dlsym(handle_, name) : nullptr; }

void RestrictLibrarySearch() noexcept {}

}  // namespace platform
