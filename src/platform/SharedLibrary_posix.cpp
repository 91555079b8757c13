#include "platform/SharedLibrary.h"

#include <dlfcn.h>
#include <utility>

namespace platform {

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept
{
    if (this != &other) {
        if (handle_)
            ::dlclose(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

SharedLibrary::~SharedLibrary()
{
    if (handle_)
        ::dlclose(handle_);
}

SharedLibrary SharedLibrary::Load(const std::string& name, std::string& error)
{
    SharedLibrary library;
    library.handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!library.handle_) {
        const char* why = ::dlerror();
        error = why ? why : "unknown error";
    }
    return library;
}

void* SharedLibrary::Symbol(const char* name) const noexcept { return handle_ ? ::dlsym(handle_, name) : nullptr; }

}  // namespace platform
