#include "Staging_posix.h"

#include "EntryPaths.h"
#include "PathWalk_posix.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rarformat {

using rarextract::UniqueFd;

namespace {

constexpr std::size_t kBufferSize = 1 << 16;
constexpr unsigned kDefaultFileMode = 0644;

}  // namespace

Staging::Staging(const std::string& destination, const ExtractOptions& options, std::ostream& err)
    : Refusals(err), options_(options)
{
    destination_ = UniqueFd(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!destination_.Valid())
        throw CreateFailure("cannot open " + destination, errno);
    RemoveStaleStaging();
    for (int attempt = 0;; ++attempt) {
        name_ = kStagingPrefix + RandomSuffix();
        if (::mkdirat(destination_.Get(), name_.c_str(), 0700) == 0)
            break;
        if (errno != EEXIST || attempt > 100)
            throw CreateFailure("cannot create a staging directory in " + destination, errno);
    }
    root_ = UniqueFd(::openat(destination_.Get(), name_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!root_.Valid() || ::flock(root_.Get(), LOCK_EX) != 0) {
        const int error = errno;
        RemoveTree(destination_.Get(), name_);
        throw CreateFailure("cannot use the staging directory in " + destination, error);
    }
}

Staging::~Staging() { RemoveTree(destination_.Get(), name_); }

platform::File Staging::CreateFile(const std::vector<std::string>& components, const std::string& name, unsigned mode)
{
    std::string why;
    const UniqueFd parent = OpenBeneath(root_.Get(), components, components.size() - 1, true, why);
    if (!parent.Valid()) {
        Refuse(name, why);
        return {};
    }
    const char* last = components.back().c_str();
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    const unsigned permissions = mode ? mode : kDefaultFileMode;
    UniqueFd fd(::openat(parent.Get(), last, flags, permissions));
    if (!fd.Valid() && errno == EEXIST) {
        struct stat info {};
        if (::fstatat(parent.Get(), last, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode)) {
            Refuse(name, "a directory of that name exists");
            return {};
        }
        ::unlinkat(parent.Get(), last, 0);
        fd = UniqueFd(::openat(parent.Get(), last, flags, permissions));
    }
    if (!fd.Valid()) {
        if (errno == ENAMETOOLONG) {
            Refuse(name, "its name is too long for the file system");
            return {};
        }
        throw CreateFailure("cannot create " + name, errno);
    }
    Record({components, Kind::File, mode, {}});
    return platform::File::FromNativeHandle(fd.Release());
}

void Staging::AddDirectory(const std::vector<std::string>& components, const std::string& name, unsigned mode)
{
    std::string why;
    if (!OpenBeneath(root_.Get(), components, components.size(), true, why).Valid()) {
        Refuse(name, why);
        return;
    }
    Record({components, Kind::Directory, mode, {}});
}

void Staging::AddSymlink(const std::vector<std::string>& components, const std::string& name, const std::string& target)
{
    if (!SymlinkStaysInside(JoinComponents(components, components.size()), target) ||
        target.find('\0') != std::string::npos) {
        Refuse(name, "its link target " + target + " leads outside the extraction directory");
        return;
    }
    Record({components, Kind::Symlink, 0, target});
}

void Staging::AddCopy(const std::vector<std::string>& components, const std::string& name, const std::string& source)
{
    std::string why;
    const auto sourceComponents = SafeComponents(source, why);
    const auto recorded = index_.find(sourceComponents);
    UniqueFd in;
    if (recorded != index_.end() && order_[recorded->second].kind == Kind::File) {
        const UniqueFd parent =
            OpenBeneath(root_.Get(), sourceComponents, sourceComponents.size() - 1, false, why);
        if (parent.Valid())
            in = UniqueFd(::openat(parent.Get(), sourceComponents.back().c_str(),
                                   O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    }
    if (!in.Valid()) {
        Refuse(name, "its link target " + source + " is not a file of the archive");
        return;
    }
    platform::File out = CreateFile(components, name, order_[recorded->second].mode);
    if (!out.IsOpen())
        return;
    std::vector<char> buffer(kBufferSize);
    for (;;) {
        const ssize_t got = ::read(in.Get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw CreateFailure("cannot read " + source, errno);
        if (got == 0)
            break;
        WriteOut(out, buffer.data(), static_cast<std::size_t>(got), name);
    }
}

void Staging::Commit()
{
    for (const auto& entry : order_) {
        if (entry.kind == Kind::Directory)
            CommitDirectory(entry);
        else if (entry.kind == Kind::File)
            CommitFile(entry);
    }
    for (const auto& entry : order_) {
        std::string why;
        if (entry.kind != Kind::Directory || entry.mode == 0)
            continue;
        const UniqueFd directory =
            OpenBeneath(destination_.Get(), entry.components, entry.components.size(), false, why);
        // The owner keeps full access, so that the working directory can
        // always be cleared.
        if (directory.Valid())
            ::fchmod(directory.Get(), entry.mode | 0700);
    }
    std::vector<const Entry*> made;
    for (const auto& entry : order_) {
        if (entry.kind == Kind::Symlink && CommitSymlink(entry, made))
            made.push_back(&entry);
    }
}

std::string Staging::RandomSuffix()
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[kStagingSuffixLength];
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes))
        throw CreateFailure("cannot make a staging directory name", errno);
    std::string suffix;
    for (unsigned char byte : bytes)
        suffix += alphabet[byte % (sizeof alphabet - 1)];
    return suffix;
}

void Staging::RemoveStaleStaging()
{
    std::vector<std::string> stale;
    for (const auto& name : EntryNames(destination_.Get())) {
        if (IsStagingName(name))
            stale.push_back(name);
    }
    for (const auto& name : stale) {
        const UniqueFd directory(
            ::openat(destination_.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (directory.Valid() && ::flock(directory.Get(), LOCK_EX | LOCK_NB) == 0)
            RemoveTree(destination_.Get(), name);
    }
}

bool Staging::MayReplace(int parent, const char* last, const std::string& name)
{
    struct stat info {};
    if (::fstatat(parent, last, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return true;
    if (S_ISDIR(info.st_mode)) {
        Refuse(name, "a directory of that name exists");
        return false;
    }
    return options_.overwrite;
}

void Staging::CommitDirectory(const Entry& entry)
{
    std::string why;
    if (!OpenBeneath(destination_.Get(), entry.components, entry.components.size(), true, why).Valid())
        Refuse(JoinComponents(entry.components, entry.components.size()), why);
}

void Staging::CommitFile(const Entry& entry)
{
    const std::string name = JoinComponents(entry.components, entry.components.size());
    const std::size_t parents = entry.components.size() - 1;
    std::string why;
    const UniqueFd from = OpenBeneath(root_.Get(), entry.components, parents, false, why);
    const UniqueFd to = from.Valid() ? OpenBeneath(destination_.Get(), entry.components, parents, true, why)
                                     : UniqueFd();
    if (!to.Valid()) {
        Refuse(name, why);
        return;
    }
    const char* last = entry.components.back().c_str();
    if (!MayReplace(to.Get(), last, name))
        return;
    // renameat replaces a link at the target itself, never what it points to.
    if (::renameat(from.Get(), last, to.Get(), last) != 0)
        throw CreateFailure("cannot write " + name, errno);
}

bool Staging::CommitSymlink(const Entry& entry, const std::vector<const Entry*>& made)
{
    const std::string name = JoinComponents(entry.components, entry.components.size());
    std::string why;
    const UniqueFd parent =
        OpenBeneath(destination_.Get(), entry.components, entry.components.size() - 1, true, why);
    if (!parent.Valid()) {
        Refuse(name, why);
        return false;
    }
    const char* last = entry.components.back().c_str();
    if (!MayReplace(parent.Get(), last, name))
        return false;
    const std::string outside = "its link target " + entry.target + " leads outside the extraction directory";
    if (!ResolvesInside(destination_.Get(), entry.components, entry.target)) {
        Refuse(name, outside);
        return false;
    }
    ::unlinkat(parent.Get(), last, 0);
    if (::symlinkat(entry.target.c_str(), parent.Get(), last) != 0) {
        if (errno == ENAMETOOLONG) {
            Refuse(name, "its name is too long for the file system");
            return false;
        }
        throw CreateFailure("cannot create link " + name, errno);
    }
    for (const Entry* earlier : made) {
        if (!ResolvesInside(destination_.Get(), earlier->components, earlier->target)) {
            ::unlinkat(parent.Get(), last, 0);
            Refuse(name, "it would lead the link " + JoinComponents(earlier->components, earlier->components.size()) +
                             " outside the extraction directory");
            return false;
        }
    }
    return true;
}

void Staging::Record(Entry entry)
{
    const auto [at, added] = index_.emplace(entry.components, order_.size());
    if (added)
        order_.push_back(std::move(entry));
    else
        order_[at->second] = std::move(entry);
}

}  // namespace rarformat
