#include "Extractor.h"

#include "Crc32.h"
#include "Rar4Headers.h"

#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <sys/stat.h>
#include <unarr.h>
#include <unistd.h>

namespace rarformat {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBufferSize = 1 << 16;

// An extraction failure with the archiver's exit code for it.
struct Failure {
    int code;
    std::string message;
};

enum class Kind { File, Directory, Symlink };

// The staging directory: entries are extracted here and moved into the
// destination only when the whole archive was read without error.
class Staging {
public:
    Staging(std::string destination, const ExtractOptions& options, std::ostream& err)
        : destination_(std::move(destination)), options_(options), err_(err)
    {
        std::string pattern = (fs::path(destination_) / ".rar-staging-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw Failure {kCreateError, "cannot create a staging directory in " + destination_ + ": " +
                                             std::strerror(errno)};
        root_ = pattern;
    }
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;
    ~Staging()
    {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

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

    // Opens a new file in staging for the entry; -1 when refused.
    int CreateFile(const std::vector<std::string>& components, const std::string& name)
    {
        if (!MakeParents(root_, components, name))
            return -1;
        const std::string path = Join(root_, components);
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0) {
            if (S_ISDIR(info.st_mode)) {
                Refuse(name, "a directory of that name exists");
                return -1;
            }
            ::unlink(path.c_str());
        }
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            throw Failure {kCreateError, "cannot create " + name + ": " + std::strerror(errno)};
        Record(components, Kind::File);
        return fd;
    }

    void AddDirectory(const std::vector<std::string>& components, const std::string& name)
    {
        std::vector<std::string> all = components;
        all.emplace_back();  // makes every component a parent
        if (MakeParents(root_, all, name))
            Record(components, Kind::Directory);
    }

    void AddSymlink(const std::vector<std::string>& components, const std::string& name, const std::string& target)
    {
        std::string relative;
        for (const auto& part : components)
            relative += (relative.empty() ? "" : "/") + part;
        if (!SymlinkStaysInside(relative, target)) {
            Refuse(name, "its link target " + target + " leads outside the extraction directory");
            return;
        }
        if (!MakeParents(root_, components, name))
            return;
        const std::string path = Join(root_, components);
        ::unlink(path.c_str());
        if (::symlink(target.c_str(), path.c_str()) != 0)
            throw Failure {kCreateError, "cannot create link " + name + ": " + std::strerror(errno)};
        Record(components, Kind::Symlink);
    }

    // Copies an already extracted entry to a new one (hard links become files).
    void AddCopy(const std::vector<std::string>& components, const std::string& name, const std::string& source)
    {
        std::string why;
        const auto sourceComponents = SafeComponents(source, why);
        const std::string sourcePath = Join(root_, sourceComponents);
        struct stat info {};
        if (sourceComponents.empty() || ::lstat(sourcePath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            Refuse(name, "its link target " + source + " is not a file of the archive");
            return;
        }
        const int fd = CreateFile(components, name);
        if (fd < 0)
            return;
        std::ifstream in(sourcePath, std::ios::binary);
        std::vector<char> buffer(kBufferSize);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
            if (::write(fd, buffer.data(), static_cast<std::size_t>(in.gcount())) != in.gcount()) {
                ::close(fd);
                throw Failure {kCreateError, "cannot write " + name + ": " + std::strerror(errno)};
            }
        }
        ::close(fd);
    }

    // Moves everything into the destination, in archive order.
    void Commit()
    {
        for (const auto& [components, kind] : order_) {
            const std::string name = Join("", components).substr(1);
            const std::string target = Join(destination_, components);
            if (kind == Kind::Directory) {
                std::vector<std::string> all = components;
                all.emplace_back();
                MakeParents(destination_, all, name);
                continue;
            }
            if (!MakeParents(destination_, components, name))
                continue;
            struct stat info {};
            if (::lstat(target.c_str(), &info) == 0) {
                if (S_ISDIR(info.st_mode)) {
                    Refuse(name, "a directory of that name exists");
                    continue;
                }
                if (!options_.overwrite)
                    continue;
            }
            if (::rename(Join(root_, components).c_str(), target.c_str()) != 0)
                throw Failure {kCreateError, "cannot write " + name + ": " + std::strerror(errno)};
        }
    }

private:
    static std::string Join(const std::string& base, const std::vector<std::string>& components)
    {
        std::string path = base;
        for (const auto& part : components)
            path += "/" + part;
        return path;
    }

    // Creates the parent directories of an entry below base; a parent that
    // is a link or a file is refused, so nothing is written through a link.
    bool MakeParents(const std::string& base, const std::vector<std::string>& components, const std::string& name)
    {
        std::string path = base;
        for (std::size_t i = 0; i + 1 < components.size(); ++i) {
            path += "/" + components[i];
            struct stat info {};
            if (::lstat(path.c_str(), &info) == 0) {
                if (S_ISLNK(info.st_mode)) {
                    Refuse(name, "it would be written through the link " + components[i]);
                    return false;
                }
                if (!S_ISDIR(info.st_mode)) {
                    Refuse(name, components[i] + " is not a directory");
                    return false;
                }
                continue;
            }
            if (::mkdir(path.c_str(), 0755) != 0)
                throw Failure {kCreateError, "cannot create directory " + path + ": " + std::strerror(errno)};
        }
        return true;
    }

    // Remembers an entry once; a later entry of the same path decides its kind.
    void Record(const std::vector<std::string>& components, Kind kind)
    {
        const auto [at, added] = index_.emplace(components, order_.size());
        if (added)
            order_.emplace_back(components, kind);
        else
            order_[at->second].second = kind;
    }

    std::string destination_;
    std::string root_;
    const ExtractOptions& options_;
    std::ostream& err_;
    std::vector<std::pair<std::vector<std::string>, Kind>> order_;
    std::map<std::vector<std::string>, std::size_t> index_;
};

// Writes data to fd, failing with a create error.
void WriteOut(int fd, const void* data, std::size_t size, const std::string& name)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written <= 0) {
            if (written < 0 && errno == EINTR)
                continue;
            throw Failure {kCreateError, "cannot write " + name + ": " + std::strerror(written < 0 ? errno : ENOSPC)};
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
}

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
        if (found == byOffset.end())
            throw Failure {kFatal, "the archive's entries cannot be matched to its headers"};
        const Rar4FileHeader& header = *found->second;
        done.insert(offset);
        if (header.IsDirectory())
            continue;
        std::vector<std::string> components;
        const bool accepted = staging.Accept(header.name, components);

        std::size_t left = ar_entry_get_size(unarr.archive);
        std::uint32_t crc = 0;
        std::string linkTarget;
        int fd = -1;
        if (accepted && !header.IsSymlink())
            fd = staging.CreateFile(components, header.name);
        while (left > 0) {
            const std::size_t chunk = std::min(left, buffer.size());
            if (!ar_entry_uncompress(unarr.archive, buffer.data(), chunk)) {
                if (fd >= 0)
                    ::close(fd);
                throw Failure {kCrcError, header.name + ": data cannot be decoded (damaged archive)"};
            }
            crc = Crc32(crc, buffer.data(), chunk);
            if (header.IsSymlink())
                linkTarget.append(buffer.data(), chunk);
            else if (fd >= 0)
                WriteOut(fd, buffer.data(), chunk, header.name);
            left -= chunk;
        }
        if (fd >= 0)
            ::close(fd);
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
                staging.AddDirectory(components, header.name);
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
    std::vector<char> buffer(kBufferSize);
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
        const char* hardlink = archive_entry_hardlink_utf8(entry);
        if (accepted && hardlink && *hardlink) {
            staging.AddCopy(components, name, hardlink);
            continue;
        }
        if (type == AE_IFDIR) {
            if (accepted)
                staging.AddDirectory(components, name);
            continue;
        }
        if (type == AE_IFLNK) {
            const char* target = archive_entry_symlink_utf8(entry);
            if (accepted)
                staging.AddSymlink(components, name, target ? target : "");
            continue;
        }
        const int fd = accepted ? staging.CreateFile(components, name) : -1;
        for (;;) {
            const void* block = nullptr;
            std::size_t size = 0;
            la_int64_t offset = 0;
            const int read = archive_read_data_block(reader.handle, &block, &size, &offset);
            if (read == ARCHIVE_EOF)
                break;
            if (read < ARCHIVE_WARN) {
                if (fd >= 0)
                    ::close(fd);
                throw fail(name);
            }
            if (fd >= 0) {
                if (::lseek(fd, offset, SEEK_SET) < 0)
                    throw Failure {kCreateError, "cannot write " + name};
                WriteOut(fd, block, size, name);
            }
        }
        if (fd >= 0)
            ::close(fd);
    }
}

}  // namespace

std::vector<std::string> SafeComponents(const std::string& path, std::string& why)
{
    std::vector<std::string> components;
    if (path.empty()) {
        why = "it has no name";
        return {};
    }
    if (path[0] == '/' || path[0] == '\\') {
        why = "its path is absolute";
        return {};
    }
    if (path.size() >= 2 && path[1] == ':') {
        why = "its path has a drive letter";
        return {};
    }
    std::string part;
    auto take = [&]() -> bool {
        if (part == "..") {
            why = "its path climbs out with ..";
            return false;
        }
        if (!part.empty() && part != ".")
            components.push_back(part);
        part.clear();
        return true;
    };
    for (char c : path) {
        if (c == '/' || c == '\\') {
            if (!take())
                return {};
        } else {
            part += c;
        }
    }
    if (!take())
        return {};
    if (components.empty())
        why = "it names nothing";
    return components;
}

bool SymlinkStaysInside(const std::string& linkPath, const std::string& target)
{
    if (target.empty() || target[0] == '/' || target[0] == '\\' || (target.size() >= 2 && target[1] == ':'))
        return false;
    // Depth of the link's directory below the root, then walk the target.
    int depth = 0;
    std::string why;
    const auto link = SafeComponents(linkPath, why);
    if (link.empty())
        return false;
    depth = static_cast<int>(link.size()) - 1;
    std::string part;
    auto step = [&]() {
        if (part == "..")
            --depth;
        else if (!part.empty() && part != ".")
            ++depth;
        part.clear();
        return depth >= 0;
    };
    for (char c : target) {
        if (c == '/' || c == '\\') {
            if (!step())
                return false;
        } else {
            part += c;
        }
    }
    return step();
}

int Extract(const std::string& archivePath, const std::string& destination, const ExtractOptions& options,
            std::ostream& err)
{
    std::ifstream probe(archivePath, std::ios::binary);
    if (!probe) {
        err << "rar: cannot open " << archivePath << ": " << std::strerror(errno) << "\n";
        return kOpenError;
    }
    char head[8] {};
    probe.read(head, sizeof head);
    const bool rar4 = probe.gcount() >= 7 && std::memcmp(head, "Rar!\x1A\x07\x00", 7) == 0;
    probe.close();
    try {
        Staging staging(destination, options, err);
        if (rar4)
            ExtractRar4(archivePath, staging);
        else
            ExtractWithLibArchive(archivePath, staging);
        staging.Commit();
        return staging.warnings > 0 ? kWarning : kSuccess;
    } catch (const Failure& failure) {
        err << "rar: " << failure.message << "\n";
        return failure.code;
    } catch (const std::exception& error) {
        err << "rar: " << error.what() << "\n";
        return kFatal;
    }
}

int RunRar(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    const char* usage = "usage: rar x [-o+|-o-|-y] ARCHIVE [DESTINATION/]\n";
    if (arguments.empty() || arguments[0] != "x") {
        err << usage;
        return kUsageError;
    }
    ExtractOptions options;
    std::vector<std::string> files;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.size() > 1 && argument[0] == '-' && files.empty()) {
            if (argument == "-o-")
                options.overwrite = false;
            else if (argument == "-o+" || argument == "-y" || argument.rfind("-id", 0) == 0)
                options.overwrite = true;
            else {
                err << "rar: unknown switch " << argument << "\n" << usage;
                return kUsageError;
            }
            continue;
        }
        files.push_back(argument);
    }
    if (files.empty() || files.size() > 2) {
        err << usage;
        return kUsageError;
    }
    std::string destination = ".";
    if (files.size() == 2) {
        destination = files[1];
        std::error_code error;
        fs::create_directories(destination, error);
        if (error) {
            err << "rar: cannot create " << destination << ": " << error.message() << "\n";
            return kCreateError;
        }
    }
    const int code = Extract(files[0], destination, options, err);
    if (code == kSuccess)
        out << "All OK\n";
    return code;
}

}  // namespace rarformat
