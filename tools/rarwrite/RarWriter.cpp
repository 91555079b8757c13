#include "RarWriter.h"

#include "Crc32.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace rarformat {

namespace {

constexpr unsigned char kFileHeader = 0x74;
constexpr unsigned kLongBlock = 0x8000;
constexpr unsigned kUnicodeName = 0x0200;
constexpr unsigned kDirectoryFlags = 0x00E0;
constexpr unsigned kLargeFile = 0x0100;

void Put(std::string& out, unsigned long long value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Decodes UTF-8 into UTF-16 code units.
std::u16string Utf16(const std::string& text)
{
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        char32_t code;
        int extra;
        if (c < 0x80) {
            code = c;
            extra = 0;
        } else if ((c & 0xE0) == 0xC0) {
            code = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            code = c & 0x0F;
            extra = 2;
        } else {
            code = c & 0x07;
            extra = 3;
        }
        if (i + static_cast<std::size_t>(extra) >= text.size() && extra > 0)
            throw std::runtime_error("invalid UTF-8 in entry name");
        for (int k = 1; k <= extra; ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0x3F);
        i += static_cast<std::size_t>(extra) + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

// The name field of an entry with the Unicode flag: a legacy name, a zero
// byte, and the UTF-16 name encoded with every character as two bytes.
std::string UnicodeNameField(const std::string& name)
{
    const std::u16string wide = Utf16(name);
    std::string field;
    for (char16_t c : wide)
        field += c < 0x80 ? static_cast<char>(c) : '_';
    field += '\0';
    field += '\0';  // high byte, unused by the two-byte form
    for (std::size_t i = 0; i < wide.size(); ++i) {
        if (i % 4 == 0)
            field += static_cast<char>(0xAA);  // four characters of two bytes each
        field += static_cast<char>(wide[i] & 0xFF);
        field += static_cast<char>(wide[i] >> 8);
    }
    return field;
}

std::string Backslashes(std::string name)
{
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

void AppendHeader(std::string& archive, std::string header)
{
    // header starts at HEAD_TYPE; the CRC covers it whole.
    const std::uint32_t crc = Crc32(0, header.data(), header.size());
    Put(archive, crc & 0xFFFF, 2);
    archive += header;
}

}  // namespace

std::string WriteRar4(const std::vector<RarEntry>& entries)
{
    std::string archive("Rar!\x1A\x07\x00", 7);
    std::string main;
    main += '\x73';
    Put(main, 0, 2);   // flags
    Put(main, 13, 2);  // size
    Put(main, 0, 6);   // reserved
    AppendHeader(archive, main);

    for (const auto& entry : entries) {
        const bool ascii = std::all_of(entry.name.begin(), entry.name.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        const std::string stored = Backslashes(entry.name);
        std::string nameField;
        unsigned flags = kLongBlock;
        if (!entry.legacyName.empty()) {
            nameField = Backslashes(entry.legacyName);
        } else if (ascii && !entry.forceUnicode) {
            nameField = stored;
        } else {
            nameField = UnicodeNameField(stored);
            flags |= kUnicodeName;
        }
        if (entry.directory)
            flags |= kDirectoryFlags;
        const unsigned long long size = entry.data.size();
        const bool large = size > 0xFFFFFFFFull;
        if (large)
            flags |= kLargeFile;
        unsigned attributes;
        if (entry.host == HostOs::Unix && entry.unixMode != 0)
            attributes = entry.unixMode;
        else if (entry.host == HostOs::Unix)
            attributes = entry.directory ? 040755 : 0100644;
        else
            attributes = entry.directory ? 0x10 : 0x20;

        std::string header;
        header += static_cast<char>(kFileHeader);
        Put(header, flags, 2);
        Put(header, 32 + nameField.size() + (large ? 8 : 0), 2);
        Put(header, size & 0xFFFFFFFF, 4);  // packed size: stored
        Put(header, size & 0xFFFFFFFF, 4);  // unpacked size
        header += static_cast<char>(entry.host);
        Put(header, Crc32(0, entry.data.data(), entry.data.size()), 4);
        Put(header, 0x5A210000u, 4);  // DOS time: 2025-01-01 00:00
        header += static_cast<char>(20);   // version needed: 2.0
        header += static_cast<char>(0x30);  // method: store
        Put(header, nameField.size(), 2);
        Put(header, attributes, 4);
        if (large) {
            Put(header, size >> 32, 4);
            Put(header, size >> 32, 4);
        }
        header += nameField;
        AppendHeader(archive, header);
        archive += entry.data;
    }
    archive += std::string("\xC4\x3D\x7B\x00\x40\x07\x00", 7);
    return archive;
}

std::vector<RarEntry> EntriesFromDirectory(const std::string& root)
{
    std::vector<RarEntry> entries;
    for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
        RarEntry entry;
        entry.name = std::filesystem::relative(item.path(), root).generic_string();
        if (item.is_directory()) {
            entry.directory = true;
        } else {
            std::ifstream in(item.path(), std::ios::binary);
            entry.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(), [](const RarEntry& a, const RarEntry& b) { return a.name < b.name; });
    return entries;
}

}  // namespace rarformat
