// The POSIX extractor's back ends: RAR 1.5-4.x archives through libunarr,
// RAR5 and self-extracting ones through libarchive, both into the staging
// directory (Staging_posix.h).
#include "Extractor.h"

#include "Crc32.h"
#include "EntryPaths.h"
#include "ExtractFailure.h"
#include "PathWalk_posix.h"
#include "Rar4Headers.h"
#include "Staging_posix.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <ostream>
#include <set>
#include <unarr.h>
#include <unistd.h>

namespace rarformat {

namespace {

using rarextract::UniqueFd;

constexpr std::size_t kBufferSize = 1 << 16;

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
                if (const platform::Error error = fd.WriteAt(static_cast<std::uint64_t>(offset), block, size))
                    throw CreateFailure("cannot write " + name, error.Code());
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
