#pragma once
// A writer of RAR 1.5-4.x archives with stored (uncompressed) entries.

#include <string>
#include <utility>
#include <vector>

namespace rarformat {

enum class HostOs : unsigned char { MsDos = 0, Windows = 2, Unix = 3 };

struct RarEntry {
    RarEntry() = default;
    RarEntry(std::string entryName, std::string bytes = {}, bool isDirectory = false, HostOs hostOs = HostOs::Windows)
        : name(std::move(entryName)), data(std::move(bytes)), directory(isDirectory), host(hostOs) {}

    std::string name;          // UTF-8, "/" between directories
    std::string data;          // file bytes (empty for directories)
    bool directory = false;
    HostOs host = HostOs::Windows;
    // How the name is stored: with the Unicode flag (UTF-16 part) when the
    // name is not plain ASCII, unless legacyName is given: then legacyName's
    // bytes (for example CP866) are stored alone, without the flag.
    std::string legacyName;
    bool forceUnicode = false;  // store the Unicode part even for ASCII names
    // Unix hosts: the stored mode, type and permission bits (0120777 with the
    // target as data makes a symbolic link); 0 stores 0100644 or 040755.
    unsigned unixMode = 0;
};

// The bytes of an archive holding the entries in order.
std::string WriteRar4(const std::vector<RarEntry>& entries);

// Entries for every file and directory below root, relative paths, sorted.
std::vector<RarEntry> EntriesFromDirectory(const std::string& root);

}  // namespace rarformat
