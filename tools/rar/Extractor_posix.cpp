#include "Extractor.h"

#include "Crc32.h"
#include "EntryPaths.h"
#include "ExtractFailure.h"
#include "Rar4Headers.h"
#include "UniqueFd.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <filesystem>
#include <fcntl.h>
#include <map>
#include <ostream>
#include <set>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unarr.h>
#include <unistd.h>

namespace rarformat {

namespace {

using rarextract::UniqueFd;

constexpr std::size_t kBufferSize = 1 << 16;
constexpr unsigned kDefaultFileMode = 0644;
constexpr unsigned kDefaultDirectoryMode = 0755;
// Links followed while checking where a new link leads, as the kernel does.
constexpr int kMaxLinkHops = 40;


Failure CreateFailure(const std::string& what, int error)
{
    return Failure {kCreateError, what + ": " + std::strerror(error)};
}

// Writes data to an extracted file, failing with a create error.
void WriteOut(platform::File& file, const void* data, std::size_t size, const std::string& name)
{
    if (const int error = file.Write(data, size))
        throw CreateFailure("cannot write " + name, error);
}

// Opens the directory made of the first count components below root, one
// component at a time and never through a symbolic link. Missing directories
// are created when create is set. Gives an invalid handle with why set when a
// component is a link, not a directory, missing (without create) or a name
// the file system cannot hold.
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

// Whether a link at linkComponents below root with the given target leads
// to a place inside root, resolving every link on the way as the file
// system holds it now. Components that do not exist yet are taken as plain
// names.
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

// The names in an open directory, without "." and "..".
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

// Removes name below directory and everything in it, never following a link.
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

enum class Kind { File, Directory, Symlink };

struct Entry {
    std::vector<std::string> components;
    Kind kind = Kind::File;
    unsigned mode = 0;   // permission bits; 0 for the default
    std::string target;  // links only
};

// The staging directory: entries are extracted here and moved into the
// destination only when the whole archive was read without error. It is
// locked while it is in use, so that a later run can tell the staging
// directory of an interrupted run from one that is still working.
class Staging {
public:
    Staging(const std::string& destination, const ExtractOptions& options, std::ostream& err)
        : options_(options), err_(err)
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
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;
    ~Staging() { RemoveTree(destination_.Get(), name_); }

    int warnings = 0;

    // Checks an entry's path; a refused entry is reported and skipped.
    bool Accept(const std::string& name, std::vector<std::string>& components)
    {
        std::string why;
        components = SafeComponents(name, why);
        if (components.empty()) {
            Refuse(name, why);
            return false;
        }
        return true;
    }

    void Refuse(const std::string& name, const std::string& why)
    {
        err_ << "rar: refused " << name << ": " << why << "\n";
        ++warnings;
    }

    // Opens a new file in staging for the entry; not open when refused.
    platform::File CreateFile(const std::vector<std::string>& components, const std::string& name, unsigned mode)
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

    void AddDirectory(const std::vector<std::string>& components, const std::string& name, unsigned mode)
    {
        std::string why;
        if (!OpenBeneath(root_.Get(), components, components.size(), true, why).Valid()) {
            Refuse(name, why);
            return;
        }
        Record({components, Kind::Directory, mode, {}});
    }

    // Links are only recorded here; they are made after every file is in
    // place, so that no entry is ever written through one.
    void AddSymlink(const std::vector<std::string>& components, const std::string& name, const std::string& target)
    {
        if (!SymlinkStaysInside(JoinComponents(components, components.size()), target) ||
            target.find('\0') != std::string::npos) {
            Refuse(name, "its link target " + target + " leads outside the extraction directory");
            return;
        }
        Record({components, Kind::Symlink, 0, target});
    }

    // Copies an already extracted file to a new entry (hard links become files).
    void AddCopy(const std::vector<std::string>& components, const std::string& name, const std::string& source)
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

    // Moves everything into the destination in archive order: directories
    // and files first, then the directories' stored permissions, then links.
    void Commit()
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

private:
    static std::string RandomSuffix()
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

    // Removes the staging directories that interrupted runs left behind:
    // only names of this tool's own pattern, and only when no running
    // extraction holds their lock.
    void RemoveStaleStaging()
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

    // Whether the entry may take the name last in parent: a directory there
    // is refused; anything else is replaced only with -o+.
    bool MayReplace(int parent, const char* last, const std::string& name)
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

    void CommitDirectory(const Entry& entry)
    {
        std::string why;
        if (!OpenBeneath(destination_.Get(), entry.components, entry.components.size(), true, why).Valid())
            Refuse(JoinComponents(entry.components, entry.components.size()), why);
    }

    void CommitFile(const Entry& entry)
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

    // Makes a link when its target, resolved through everything in the
    // destination, stays inside, and when it does not lead an earlier link
    // of this archive outside.
    bool CommitSymlink(const Entry& entry, const std::vector<const Entry*>& made)
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

    // Remembers an entry once; a later entry of the same path decides its kind.
    void Record(Entry entry)
    {
        const auto [at, added] = index_.emplace(entry.components, order_.size());
        if (added)
            order_.push_back(std::move(entry));
        else
            order_[at->second] = std::move(entry);
    }

    const ExtractOptions& options_;
    std::ostream& err_;
    UniqueFd destination_;
    UniqueFd root_;
    std::string name_;
    std::vector<Entry> order_;
    std::map<std::vector<std::string>, std::size_t> index_;
};


struct UnarrArchive {
    ar_stream* stream = nullptr;
    ar_archive* archive = nullptr;
    ~UnarrArchive()
    {
        if (archive)
            ar_close_archive(archive);
        if (stream)
            ar_close(stream);
    }
};

// The permission bits an entry is extracted with: those stored by a Unix
// host, without set-id and sticky bits; the defaults (0) for other hosts.
unsigned Rar4Mode(const Rar4FileHeader& header) { return header.hostOs == 3 ? header.attributes & 0777 : 0; }

// RAR 1.5-4.x through libunarr, with names, kinds and CRCs from the headers.
void ExtractRar4(const std::string& path, Staging& staging)
{
    std::vector<Rar4FileHeader> headers;
    try {
        headers = ReadRar4Headers(path);
    } catch (const ArchiveError& error) {
        throw Failure {kFatal, error.what()};
    }
    std::map<std::uint64_t, const Rar4FileHeader*> byOffset;
    for (const auto& header : headers)
        byOffset[header.offset] = &header;

    for (const auto& header : headers) {
        if (header.IsEncrypted())
            throw Failure {kFatal, header.name + " is encrypted; encrypted archives are not supported"};
    }

    UnarrArchive unarr;
    unarr.stream = ar_open_file(path.c_str());
    if (!unarr.stream)
        throw Failure {kOpenError, "cannot open " + path};
    unarr.archive = ar_open_rar_archive(unarr.stream);
    if (!unarr.archive)
        throw Failure {kFatal, path + " is not a RAR archive that can be read"};

    std::set<std::uint64_t> done;
    std::vector<char> buffer(kBufferSize);
    while (ar_parse_entry(unarr.archive)) {
        const auto offset = static_cast<std::uint64_t>(ar_entry_get_offset(unarr.archive));
        const auto found = byOffset.find(offset);
        // Each header is extracted once: a reader that comes back to one has
        // lost its way in a damaged archive.
        if (found == byOffset.end() || !done.insert(offset).second)
            throw Failure {kFatal, "the archive's entries cannot be matched to its headers"};
        const Rar4FileHeader& header = *found->second;
        if (header.IsDirectory())
            continue;
        std::vector<std::string> components;
        const bool accepted = staging.Accept(header.name, components);

        std::size_t left = ar_entry_get_size(unarr.archive);
        std::uint32_t crc = 0;
        std::string linkTarget;
        platform::File fd;
        if (accepted && !header.IsSymlink())
            fd = staging.CreateFile(components, header.name, Rar4Mode(header));
        while (left > 0) {
            const std::size_t chunk = std::min(left, buffer.size());
            if (!ar_entry_uncompress(unarr.archive, buffer.data(), chunk))
                throw Failure {kCrcError, header.name + ": data cannot be decoded (damaged archive)"};
            crc = Crc32(crc, buffer.data(), chunk);
            if (header.IsSymlink())
                linkTarget.append(buffer.data(), chunk);
            else if (fd.IsOpen())
                WriteOut(fd, buffer.data(), chunk, header.name);
            left -= chunk;
        }
        if (crc != header.crc)
            throw Failure {kCrcError, header.name + ": CRC failed"};
        if (accepted && header.IsSymlink())
            staging.AddSymlink(components, header.name, linkTarget);
    }
    if (!ar_at_eof(unarr.archive))
        throw Failure {kFatal, "the archive is damaged"};

    for (const auto& header : headers) {
        std::vector<std::string> components;
        if (header.IsDirectory()) {
            if (staging.Accept(header.name, components))
                staging.AddDirectory(components, header.name, Rar4Mode(header));
        } else if (!done.count(header.offset)) {
            throw Failure {kFatal, header.name + " cannot be extracted"};
        }
    }
}

struct LibArchive {
    archive* handle = archive_read_new();
    ~LibArchive() { archive_read_free(handle); }
};

// RAR5 archives and archives whose signature is not at the start
// (self-extracting executables) through libarchive.
void ExtractWithLibArchive(const std::string& path, Staging& staging)
{
    LibArchive reader;
    archive_read_support_format_rar(reader.handle);
    archive_read_support_format_rar5(reader.handle);
    if (archive_read_open_filename(reader.handle, path.c_str(), kBufferSize) != ARCHIVE_OK)
        throw Failure {kFatal, path + ": " + archive_error_string(reader.handle)};
    auto fail = [&](const std::string& name) {
        const char* why = archive_error_string(reader.handle);
        const std::string message = why ? why : "unknown error";
        const bool crc = message.find("CRC") != std::string::npos || message.find("checksum") != std::string::npos;
        return Failure {crc ? kCrcError : kFatal, (name.empty() ? "" : name + ": ") + message};
    };
    archive_entry* entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(reader.handle, &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status < ARCHIVE_WARN)
            throw fail("");
        const char* utf8 = archive_entry_pathname_utf8(entry);
        const std::string name = utf8 ? utf8 : (archive_entry_pathname(entry) ? archive_entry_pathname(entry) : "");
        std::vector<std::string> components;
        const bool accepted = staging.Accept(name, components);
        const auto type = archive_entry_filetype(entry);
        const unsigned mode = archive_entry_perm(entry) & 0777;
        const char* hardlink = archive_entry_hardlink_utf8(entry);
        if (accepted && hardlink && *hardlink) {
            staging.AddCopy(components, name, hardlink);
            continue;
        }
        if (type == AE_IFDIR) {
            if (accepted)
                staging.AddDirectory(components, name, mode);
            continue;
        }
        if (type == AE_IFLNK) {
            const char* target = archive_entry_symlink_utf8(entry);
            if (accepted)
                staging.AddSymlink(components, name, target ? target : "");
            continue;
        }
        platform::File fd = accepted ? staging.CreateFile(components, name, mode) : platform::File();
        la_int64_t extracted = 0;
        for (;;) {
            const void* block = nullptr;
            std::size_t size = 0;
            la_int64_t offset = 0;
            const int read = archive_read_data_block(reader.handle, &block, &size, &offset);
            if (read == ARCHIVE_EOF)
                break;
            if (read < ARCHIVE_WARN)
                throw fail(name);
            extracted = std::max(extracted, offset + static_cast<la_int64_t>(size));
            if (fd.IsOpen()) {
                if (const int error = fd.WriteAt(static_cast<std::uint64_t>(offset), block, size))
                    throw CreateFailure("cannot write " + name, error);
            }
        }
        // libarchive can end an entry's data early without an error (when
        // a damaged size makes an allocation fail): fewer bytes than the
        // header says is a damaged archive, not a short file.
        if (archive_entry_size_is_set(entry) && extracted != archive_entry_size(entry))
            throw Failure {kFatal, name + ": the archive's data ends early (damaged archive)"};
    }
}

}  // namespace

int Extract(const std::string& archivePath, const std::string& destination, const ExtractOptions& options,
            std::ostream& err)
{
    const UniqueFd probe(::open(archivePath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!probe.Valid()) {
        err << "rar: cannot open " << archivePath << ": " << std::strerror(errno) << "\n";
        return kOpenError;
    }
    char head[7] {};
    const bool rar4 = ::pread(probe.Get(), head, sizeof head, 0) == 7 && std::memcmp(head, "Rar!\x1A\x07\x00", 7) == 0;
    try {
        Staging staging(destination, options, err);
        if (rar4)
            ExtractRar4(archivePath, staging);
        else
            ExtractWithLibArchive(archivePath, staging);
        staging.Commit();
        return staging.warnings > 0 ? kWarning : kSuccess;
    } catch (...) {
        return ReportFailure(err);
    }
}

}  // namespace rarformat
