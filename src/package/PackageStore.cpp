#include "package/PackageStore.h"

#include "platform/File.h"

#include <algorithm>
#include <cstring>
#include <future>

namespace package {

std::string ResourceNotFoundMessage(const std::string& name) { return "Resource " + name + " not found"; }

PackageStore::PackageStore(const std::string& executablePath, const std::string& displayPath)
    : file_(executablePath)
{
    auto damaged = [&](const std::string& why) {
        return PackageStoreError("The package store of \"" + (displayPath.empty() ? executablePath : displayPath) +
                                 "\" is damaged: " + why);
    };
    const std::uint64_t fileSize = file_.Size();
    const unsigned char* data = file_.Data();
    const std::size_t at = FindLocator(data, file_.Size());
    if (at == std::string::npos)
        throw damaged("it holds no package store locator (not an updater)");
    locatorOffset_ = at;
    executableSize_ = fileSize;
    const unsigned char* locator = data + at;
    if (std::all_of(locator + kLocatorMagicSize, locator + kLocatorSize, [](unsigned char b) { return b == 0; }))
        return;

    const auto version = static_cast<std::uint32_t>(ReadLe(locator + 16, 4));
    const auto count = static_cast<std::uint32_t>(ReadLe(locator + 20, 4));
    const std::uint64_t storeStart = ReadLe(locator + 24, 8);
    const std::uint64_t storeSize = ReadLe(locator + 32, 8);
    const std::uint64_t indexOffset = ReadLe(locator + 40, 8);
    const std::uint64_t indexSize = ReadLe(locator + 48, 8);
    if (version != kStoreVersion)
        throw damaged("unsupported format version " + std::to_string(version));
    if (storeStart > fileSize || storeSize > fileSize - storeStart)
        throw damaged("the file is " + std::to_string(fileSize) +
                      " bytes long, shorter than its package store says (the file was cut short)");
    const std::uint64_t indexLimit = storeStart + storeSize;
    if (storeStart < at + kLocatorSize || indexOffset < storeStart || indexOffset > indexLimit ||
        indexSize != indexLimit - indexOffset)
        throw damaged("the index lies outside the store");
    platform::Sha256 indexHash;
    indexHash.Update(data + indexOffset, static_cast<std::size_t>(indexSize));
    if (std::memcmp(indexHash.Final().data(), locator + 56, 32) != 0)
        throw damaged("its index does not match the hash in the updater's locator");

    const unsigned char* cursor = data + indexOffset;
    const unsigned char* const end = data + indexLimit;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (end - cursor < 2)
            throw damaged("the index is truncated");
        const std::size_t nameLength = static_cast<std::size_t>(ReadLe(cursor, 2));
        cursor += 2;
        if (static_cast<std::size_t>(end - cursor) < nameLength + 8 + 8 + 32)
            throw damaged("the index is truncated");
        PackageEntry entry;
        entry.name.assign(reinterpret_cast<const char*>(cursor), nameLength);
        cursor += nameLength;
        entry.offset = ReadLe(cursor, 8);
        entry.size = ReadLe(cursor + 8, 8);
        std::memcpy(entry.sha256.data(), cursor + 16, 32);
        cursor += 48;
        if (entry.name.empty())
            throw damaged("a package has no name");
        if (entry.offset < storeStart || entry.offset > indexOffset || entry.size > indexOffset - entry.offset)
            throw damaged("package " + entry.name + " lies outside the store");
        entries_.push_back(std::move(entry));
    }
    if (cursor != end)
        throw damaged("the index has bytes left over");

    std::vector<const PackageEntry*> byOffset;
    for (const auto& entry : entries_)
        byOffset.push_back(&entry);
    std::sort(byOffset.begin(), byOffset.end(), [](auto* a, auto* b) { return a->offset < b->offset; });
    for (std::size_t i = 1; i < byOffset.size(); ++i) {
        if (byOffset[i - 1]->offset + byOffset[i - 1]->size > byOffset[i]->offset)
            throw damaged("packages " + byOffset[i - 1]->name + " and " + byOffset[i]->name + " overlap");
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        for (std::size_t j = i + 1; j < entries_.size(); ++j) {
            if (entries_[i].name == entries_[j].name)
                throw damaged("package " + entries_[i].name + " is stored twice");
        }
    }
    executableSize_ = storeStart;
}

std::vector<std::string> PackageStore::Names() const
{
    std::vector<std::string> names;
    for (const auto& entry : entries_)
        names.push_back(entry.name);
    return names;
}

const PackageEntry* PackageStore::Find(const std::string& name) const
{
    for (const auto& entry : entries_) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

namespace {

// The SHA-256 of size bytes of file from offset, read with a buffer of its
// own; false when the file cannot be read in full.
bool HashRange(const platform::MappedFile& file, std::uint64_t offset, std::uint64_t size, platform::Digest& digest)
{
    platform::Sha256 hash;
    std::vector<unsigned char> buffer(1 << 20);
    while (size > 0) {
        std::size_t got = 0;
        if (file.ReadAt(offset, buffer.data(), static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer.size())),
                        got) ||
            got == 0)
            return false;
        hash.Update(buffer.data(), got);
        offset += got;
        size -= got;
    }
    digest = hash.Final();
    return true;
}

}  // namespace

bool PackageStore::Verify(const PackageEntry& entry) const
{
    platform::Digest digest {};
    return HashRange(file_, entry.offset, entry.size, digest) && digest == entry.sha256;
}

void PackageStore::WriteTo(const PackageEntry& entry, platform::File& out) const
{
    // SHA-256 is about as slow as copying the file: the two run side by side.
    auto verified = std::async(std::launch::async, [&] { return Verify(entry); });
    const platform::Error error = file_.CopyTo(entry.offset, entry.size, out);
    const bool intact = verified.get();
    if (error)
        throw std::runtime_error("Stream write error");
    if (!intact)
        throw PackageDamagedError(entry.name);
}

}  // namespace package
