#include "platform/File.h"

namespace platform {

File::File(File&& other) noexcept : handle_(other.handle_), openError_(other.openError_)
{
    other.handle_ = kNoHandle;
    other.openError_ = {};
}

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        // A handle given up: nothing was asked of it since the last flush.
        BestEffort(Close());
        handle_ = other.handle_;
        openError_ = other.openError_;
        other.handle_ = kNoHandle;
        other.openError_ = {};
    }
    return *this;
}

// A file whose writes matter is flushed and closed by its owner, who checks
// it; the destructor only gives the handle back.
File::~File() { BestEffort(Close()); }

File File::FromNativeHandle(std::intptr_t handle) noexcept
{
    File file;
    file.handle_ = handle;
    return file;
}

File File::FailedOpen(Error error) noexcept
{
    File file;
    file.openError_ = error;
    return file;
}


Error CopyRest(File& in, File& out)
{
    char buffer[1 << 16];
    for (;;) {
        std::size_t got = 0;
        if (const Error error = in.Read(buffer, sizeof buffer, got))
            return error;
        if (got == 0)
            return {};
        if (const Error error = out.Write(buffer, got))
            return error;
    }
}

}  // namespace platform
