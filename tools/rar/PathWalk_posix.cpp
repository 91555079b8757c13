#include "PathWalk_posix.h"

#include "EntryPaths.h"
#include "Extractor.h"

#include <cerrno>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rarformat {

using rarextract::UniqueFd;

namespace {

constexpr unsigned kDefaultDirectoryMode = 0755;
// Links followed while checking where a new link leads, as the kernel does.
constexpr int kMaxLinkHops = 40;

// The target of the link name in directory, when it is a link.
bool ReadLinkAt(int directory, const std::string& name, std::string& target)
{
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t got = ::readlinkat(directory, name.c_str(), buffer.data(), buffer.size());
        if (got < 0)
            return false;
        if (static_cast<std::size_t>(got) < buffer.size()) {
            target.assign(buffer.data(), static_cast<std::size_t>(got));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

Failure CreateFailure(const std::string& what, int error)
{
    return Failure {kCreateError, what + ": " + std::strerror(error)};
}

void WriteOut(platform::File& file, const void* data, std::size_t size, const std::string& name)
{
    if (const platform::Error error = file.Write(data, size))
        throw CreateFailure("cannot write " + name, error.Code());
}

UniqueFd OpenBeneath(int root, const std::vector<std::string>& components, std::size_t count, bool create,
                     std::string& why)
{
    UniqueFd current(::fcntl(root, F_DUPFD_CLOEXEC, 0));
    if (!current.Valid())
        throw CreateFailure("cannot open a directory", errno);
    for (std::size_t i = 0; i < count; ++i) {
        const char* name = components[i].c_str();
        int fd = ::openat(current.Get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT && create) {
            if (::mkdirat(current.Get(), name, kDefaultDirectoryMode) != 0 && errno != EEXIST && errno != ENAMETOOLONG)
                throw CreateFailure("cannot create directory " + JoinComponents(components, i + 1), errno);
            fd = ::openat(current.Get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (fd < 0) {
            const int error = errno;
            struct stat info {};
            const bool exists = ::fstatat(current.Get(), name, &info, AT_SYMLINK_NOFOLLOW) == 0;
            if (exists && S_ISLNK(info.st_mode))
                why = "it would be written through the link " + JoinComponents(components, i + 1);
            else if (exists)
                why = JoinComponents(components, i + 1) + " is not a directory";
            else if (error == ENAMETOOLONG)
                why = "its name is too long for the file system";
            else if (error == ENOENT)
                why = JoinComponents(components, i + 1) + " does not exist";
            else
                throw CreateFailure("cannot open directory " + JoinComponents(components, i + 1), error);
            return {};
        }
        current = UniqueFd(fd);
    }
    return current;
}

bool ResolvesInside(int root, const std::vector<std::string>& linkComponents, const std::string& target)
{
    if (IsAbsolute(target))
        return false;
    std::vector<std::string> place(linkComponents.begin(), linkComponents.end() - 1);
    const auto parts = SplitPath(target);
    std::deque<std::string> pending(parts.begin(), parts.end());
    int hops = 0;
    while (!pending.empty()) {
        const std::string part = pending.front();
        pending.pop_front();
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (place.empty())
                return false;
            place.pop_back();
            continue;
        }
        std::string why;
        const UniqueFd directory = OpenBeneath(root, place, place.size(), false, why);
        std::string next;
        if (directory.Valid() && ReadLinkAt(directory.Get(), part, next)) {
            if (++hops > kMaxLinkHops || IsAbsolute(next))
                return false;
            const auto nextParts = SplitPath(next);
            pending.insert(pending.begin(), nextParts.begin(), nextParts.end());
            continue;
        }
        place.push_back(part);
    }
    return true;
}

std::vector<std::string> EntryNames(int directory)
{
    std::vector<std::string> names;
    const int fd = ::fcntl(directory, F_DUPFD_CLOEXEC, 0);
    DIR* listing = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!listing) {
        if (fd >= 0)
            ::close(fd);
        return names;
    }
    ::rewinddir(listing);
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(listing);
    return names;
}

void RemoveTree(int directory, const std::string& name)
{
    if (::unlinkat(directory, name.c_str(), 0) == 0 || (errno != EISDIR && errno != EPERM))
        return;
    const UniqueFd inside(::openat(directory, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!inside.Valid())
        return;
    for (const auto& child : EntryNames(inside.Get()))
        RemoveTree(inside.Get(), child);
    ::unlinkat(directory, name.c_str(), AT_REMOVEDIR);
}

}  // namespace rarformat
