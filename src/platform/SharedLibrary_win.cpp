#include "platform/SharedLibrary.h"

#include "platform/FileSystem.h"

#include <utility>
#include <windows.h>

namespace platform {

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept
{
    if (this != &other) {
        if (handle_)
            FreeLibrary(static_cast<HMODULE>(handle_));
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

SharedLibrary::~SharedLibrary()
{
    if (handle_)
        FreeLibrary(static_cast<HMODULE>(handle_));
}

SharedLibrary SharedLibrary::Load(const std::string& name, std::string& error)
{
    SharedLibrary library;
    library.handle_ = LoadLibraryA(name.c_str());
    if (!library.handle_)
        error = SystemMessage(static_cast<int>(GetLastError()));
    return library;
}

void* SharedLibrary::Symbol(const char* name) const noexcept
{
    return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)) : nullptr;
}

}  // namespace platform
