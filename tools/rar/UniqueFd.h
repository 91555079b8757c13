#pragma once
// The extractor's own descriptor owner: extraction works relative to open
// directories (openat, renameat, flock), which only POSIX systems have.

#include <cerrno>
#include <cstddef>
#include <unistd.h>
#include <utility>

namespace rarextract {

// Owns one file descriptor and closes it once.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other) {
            Close();
            fd_ = other.Release();
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Close(); }

    int Get() const noexcept { return fd_; }
    bool Valid() const noexcept { return fd_ >= 0; }
    int Release() noexcept { return std::exchange(fd_, -1); }
    // Closes now; returns the errno of close, or 0.
    int Close() noexcept
    {
        if (fd_ < 0)
            return 0;
        const int result = ::close(std::exchange(fd_, -1));
        return result == 0 ? 0 : errno;
    }

private:
    int fd_ = -1;
};

}  // namespace rarextract
