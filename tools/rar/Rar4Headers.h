#pragma once
// The block headers of a RAR 1.5-4.x archive: what each file entry is called,
// what kind it is and what its data should be.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace rarformat {

class ArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Rar4FileHeader {
    std::uint64_t offset = 0;    // where the header starts in the archive
    std::uint64_t dataOffset = 0;  // where the entry's packed data starts
    unsigned flags = 0;
    unsigned char hostOs = 0;    // 0 MS-DOS, 1 OS/2, 2 Windows, 3 Unix, ...
    unsigned char method = 0;
    std::uint32_t attributes = 0;
    std::uint64_t packSize = 0;
    std::uint64_t unpackedSize = 0;
    std::uint32_t crc = 0;
    std::string name;            // UTF-8, "/" separators

    bool IsDirectory() const { return (flags & 0xE0) == 0xE0; }
    bool IsEncrypted() const { return (flags & 0x04) != 0; }
    bool IsSymlink() const;
};

// Reads every file header of the archive at path. Throws ArchiveError for a
// damaged header ("Header CRC error" and the like), a size or offset that
// leads beyond the archive's end, or encrypted headers. Every block moves the
// walk forward, so it ends after at most size / 7 blocks.
std::vector<Rar4FileHeader> ReadRar4Headers(const std::string& path);
// The same walk over an archive held in memory.
std::vector<Rar4FileHeader> ReadRar4Headers(std::string_view archive);

// The entry name stored in a file header's name field: the Unicode part when
// the Unicode flag (0x200) is set; otherwise bytes in the OEM code page of the
// system that made the archive (oemCodePage, for MS-DOS, OS/2 and Windows
// hosts) or raw bytes (Unix and other hosts). "\" becomes "/".
std::string DecodeRar4Name(const std::string& field, unsigned flags, unsigned char hostOs,
                           const std::string& oemCodePage);

// Bytes in an OEM code page ("CP866") as UTF-8; bytes that do not convert
// are given back unchanged.
std::string OemToUtf8(const std::string& bytes, const std::string& codePage);

// The OEM code page of the installations this product serves, CP866, unless
// $RAR_OEM_CODEPAGE names another (an iconv name; "CP" and a number on
// Windows).
std::string OemCodePage();

}  // namespace rarformat
