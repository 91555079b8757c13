#include "Rar4Headers.h"

#include "Crc32.h"
#include "platform/File.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace rarformat {

namespace {

constexpr unsigned char kMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};

std::uint64_t Le(const unsigned char* data, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<std::uint64_t>(data[i]) << (8 * i);
    return value;
}

void AppendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string Utf16ToUtf8(const std::u16string& wide)
{
    std::string out;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t code = wide[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(out, code);
    }
    return out;
}

// The compressed Unicode form of RAR 3.x names: a high byte, then groups of
// four two-bit opcodes, each taking its character from the data that follows
// or from the legacy name.
std::u16string DecodeUnicodePart(const std::string& legacy, const unsigned char* data, std::size_t size)
{
    std::u16string name;
    if (size == 0)
        return name;
    std::size_t pos = 0;
    const unsigned highByte = data[pos++];
    unsigned flags = 0;
    int flagBits = 0;
    while (pos < size) {
        if (flagBits == 0) {
            flags = data[pos++];
            flagBits = 8;
        }
        switch (flags >> 6) {
        case 0:
            if (pos >= size)
                return name;
            name += static_cast<char16_t>(data[pos++]);
            break;
        case 1:
            if (pos >= size)
                return name;
            name += static_cast<char16_t>(data[pos++] + (highByte << 8));
            break;
        case 2:
            if (pos + 1 >= size)
                return name;
            name += static_cast<char16_t>(data[pos] + (data[pos + 1] << 8));
            pos += 2;
            break;
        default: {
            if (pos >= size)
                return name;
            unsigned length = data[pos++];
            if (length & 0x80) {
                if (pos >= size)
                    return name;
                const unsigned correction = data[pos++];
                for (length = (length & 0x7F) + 2; length > 0 && name.size() < legacy.size(); --length) {
                    const unsigned legacyByte = static_cast<unsigned char>(legacy[name.size()]);
                    name += static_cast<char16_t>(((legacyByte + correction) & 0xFF) + (highByte << 8));
                }
            } else {
                for (length += 2; length > 0 && name.size() < legacy.size(); --length)
                    name += static_cast<char16_t>(static_cast<unsigned char>(legacy[name.size()]));
            }
            break;
        }
        }
        flags = (flags << 2) & 0xFF;
        flagBits -= 2;
    }
    return name;
}

}  // namespace

bool Rar4FileHeader::IsSymlink() const
{
    // The Unix mode bits: file type in 0170000, a link is 0120000.
    return hostOs == 3 && (attributes & 0170000u) == 0120000u;
}

std::string OemCodePage()
{
    const char* overridden = std::getenv("RAR_OEM_CODEPAGE");
    return overridden && *overridden ? overridden : "CP866";
}

std::string DecodeRar4Name(const std::string& field, unsigned flags, unsigned char hostOs,
                           const std::string& oemCodePage)
{
    std::string name;
    if (flags & 0x200) {
        const auto zero = field.find('\0');
        if (zero == std::string::npos) {
            name = field;  // the Unicode flag without a legacy part: UTF-8
        } else {
            const std::string legacy = field.substr(0, zero);
            name = Utf16ToUtf8(DecodeUnicodePart(
                legacy, reinterpret_cast<const unsigned char*>(field.data()) + zero + 1, field.size() - zero - 1));
        }
    } else if (hostOs <= 2) {
        name = OemToUtf8(field, oemCodePage);
    } else {
        name = field;
    }
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

namespace {

// Reads up to size bytes at offset; returns how many were read.
using ReadAt = std::function<std::size_t(std::uint64_t offset, void* buffer, std::size_t size)>;

std::vector<Rar4FileHeader> WalkHeaders(std::uint64_t fileSize, const ReadAt& readAt)
{
    unsigned char marker[7] {};
    if (readAt(0, marker, 7) != 7 || std::memcmp(marker, kMarker, 7) != 0)
        throw ArchiveError("not a RAR 1.5-4.x archive");

    const std::string oem = OemCodePage();
    std::vector<Rar4FileHeader> headers;
    std::uint64_t position = 7;
    std::string header;
    // position never exceeds fileSize: every size is checked against what is
    // left of the file before it is added.
    while (position < fileSize) {
        const std::uint64_t left = fileSize - position;
        unsigned char base[7];
        if (left < 7 || readAt(position, base, 7) != 7)
            throw ArchiveError("Unexpected end of archive");
        const unsigned type = base[2];
        const unsigned flags = static_cast<unsigned>(Le(base + 3, 2));
        const unsigned headSize = static_cast<unsigned>(Le(base + 5, 2));
        if (headSize < 7 || headSize > left)
            throw ArchiveError("Unexpected end of archive");
        header.assign(headSize, '\0');
        if (readAt(position, header.data(), headSize) != headSize)
            throw ArchiveError("Unexpected end of archive");
        const auto* h = reinterpret_cast<const unsigned char*>(header.data());
        if ((Crc32(0, h + 2, headSize - 2) & 0xFFFF) != Le(h, 2) && type != 0x7B)
            throw ArchiveError("Header CRC error");
        if (type == 0x7B)
            break;  // end of archive
        if (type == 0x73 && (flags & 0x80))
            throw ArchiveError("the archive's headers are encrypted");

        std::uint64_t dataSize = 0;
        if ((flags & 0x8000) && headSize >= 11)
            dataSize = Le(h + 7, 4);
        if (type == 0x74 || type == 0x7A) {
            if (headSize < 32)
                throw ArchiveError("Header CRC error");
            const bool large = (flags & 0x100) != 0;
            const unsigned nameSize = static_cast<unsigned>(Le(h + 26, 2));
            const unsigned nameStart = 32 + (large ? 8 : 0);
            if (nameStart + nameSize > headSize)
                throw ArchiveError("Header CRC error");
            dataSize = Le(h + 7, 4) | (large ? Le(h + 32, 4) << 32 : 0);
            if (type == 0x74) {
                Rar4FileHeader file;
                file.offset = position;
                file.dataOffset = position + headSize;
                file.flags = flags;
                file.packSize = dataSize;
                file.unpackedSize = Le(h + 11, 4) | (large ? Le(h + 36, 4) << 32 : 0);
                file.hostOs = h[15];
                file.crc = static_cast<std::uint32_t>(Le(h + 16, 4));
                file.method = h[25];
                file.attributes = static_cast<std::uint32_t>(Le(h + 28, 4));
                file.name = DecodeRar4Name(header.substr(nameStart, nameSize), flags, file.hostOs, oem);
                headers.push_back(std::move(file));
            }
        }
        if (dataSize > left - headSize)
            throw ArchiveError("Unexpected end of archive");
        position += headSize + dataSize;
    }
    return headers;
}

}  // namespace

std::vector<Rar4FileHeader> ReadRar4Headers(const std::string& path)
{
    const platform::File file = platform::File::OpenRead(path);
    std::uint64_t fileSize = 0;
    if (!file.IsOpen() || file.Size(fileSize))
        throw ArchiveError("cannot open " + path);
    return WalkHeaders(fileSize, [&](std::uint64_t offset, void* buffer, std::size_t size) -> std::size_t {
        std::size_t done = 0;
        while (done < size) {
            std::size_t got = 0;
            if (file.ReadAt(offset + done, static_cast<char*>(buffer) + done, size - done, got) || got == 0)
                break;
            done += got;
        }
        return done;
    });
}

std::vector<Rar4FileHeader> ReadRar4Headers(std::string_view archive)
{
    return WalkHeaders(archive.size(), [&](std::uint64_t offset, void* buffer, std::size_t size) -> std::size_t {
        if (offset >= archive.size())
            return 0;
        const std::size_t count = std::min<std::uint64_t>(size, archive.size() - offset);
        std::memcpy(buffer, archive.data() + offset, count);
        return count;
    });
}

}  // namespace rarformat
