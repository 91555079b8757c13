#include "package/PackageStore.h"

#include "platform/FileSystem.h"

#include "platform/File.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <future>

namespace package {

namespace {

constexpr std::size_t kChunkSize = 4u << 20;

}  // namespace

// The locator of this program. It lives in writable data and is read only
// through volatile accesses, so that its magic value appears exactly once in
// the image: the compiler can neither fold it into code nor merge it with
// another constant.
extern "C" {
[[gnu::used]] volatile unsigned char nvx_package_store_locator[kLocatorSize] = {
    'N', 'V', 'X', '-', 'S', 'T', 'O', 'R', 'E', '-', 'L', 'O', 'C', 0x8B, 0x3D, 0xE1};
}

namespace {

std::string LocatorMagic()
{
    std::string magic(kLocatorMagicSize, '\0');
    for (std::size_t i = 0; i < kLocatorMagicSize; ++i)
        magic[i] = static_cast<char>(nvx_package_store_locator[i]);
    return magic;
}

// Where the first locator lies in data, or npos.
std::size_t FindLocator(const unsigned char* data, std::size_t size, std::size_t from = 0)
{
    const std::string magic = LocatorMagic();
    if (size < from + kLocatorSize)
        return std::string::npos;
    const auto* magicBytes = reinterpret_cast<const unsigned char*>(magic.data());
    const unsigned char* found = std::search(data + from, data + size,
                                             std::boyer_moore_horspool_searcher(magicBytes, magicBytes + magic.size()));
    if (found == data + size)
        return std::string::npos;
    const auto at = static_cast<std::size_t>(found - data);
    return size - at >= kLocatorSize ? at : std::string::npos;
}

std::uint64_t ReadLe(const unsigned char* data, std::size_t bytes)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        value |= static_cast<std::uint64_t>(data[i]) << (8 * i);
    return value;
}

void AppendLe(std::string& out, std::uint64_t value, std::size_t bytes)
{
    for (std::size_t i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string EncodeIndex(const std::vector<PackageEntry>& entries)
{
    std::string index;
    for (const auto& entry : entries) {
        AppendLe(index, entry.name.size(), 2);
        index += entry.name;
        AppendLe(index, entry.offset, 8);
        AppendLe(index, entry.size, 8);
        index.append(reinterpret_cast<const char*>(entry.sha256.data()), entry.sha256.size());
    }
    return index;
}

std::string EncodeLocator(std::uint32_t count, std::uint64_t storeOffset, std::uint64_t storeSize,
                          std::uint64_t indexOffset, const std::string& index)
{
    std::string locator = LocatorMagic();
    AppendLe(locator, kStoreVersion, 4);
    AppendLe(locator, count, 4);
    AppendLe(locator, storeOffset, 8);
    AppendLe(locator, storeSize, 8);
    AppendLe(locator, indexOffset, 8);
    AppendLe(locator, index.size(), 8);
    platform::Sha256 hash;
    hash.Update(index.data(), index.size());
    const platform::Digest digest = hash.Final();
    locator.append(reinterpret_cast<const char*>(digest.data()), digest.size());
    return locator;
}

}  // namespace

std::string ResourceNotFoundMessage(const std::string& name) { return "Resource " + name + " not found"; }

std::string EmptyLocator()
{
    std::string locator = LocatorMagic();
    locator.resize(kLocatorSize, '\0');
    return locator;
}

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
                        got) != 0 ||
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

int PackageStore::WriteTo(const PackageEntry& entry, platform::File& out, bool& intact) const
{
    // SHA-256 is about as slow as copying the file: the two run side by side.
    auto verified = std::async(std::launch::async, [&] { return Verify(entry); });
    const int error = file_.CopyTo(entry.offset, entry.size, out);
    intact = verified.get();
    return error;
}

namespace {

// Feeds one package's bytes to emit, in pieces.
using PackageWriter = std::function<void(const std::function<void(const void*, std::size_t)>& emit)>;

void WriteStoreWith(const std::string& updater, const std::string& out,
                    const std::vector<std::pair<std::string, PackageWriter>>& packages)
{
    const PackageStore source(updater);
    const platform::MappedFile executable(updater);
    const auto imageSize = static_cast<std::size_t>(source.ExecutableSize());
    if (FindLocator(executable.Data(), imageSize, static_cast<std::size_t>(source.LocatorOffset()) + 1) !=
        std::string::npos)
        throw PackageStoreError("\"" + updater + "\" holds more than one package store locator");
    platform::ReplacingFile output(out, updater);
    std::uint64_t written = 0;
    auto write = [&](const void* data, std::size_t size) {
        if (const int error = output.Output().Write(data, size))
            throw std::runtime_error("Cannot write \"" + out + "\". " + platform::SystemMessage(error));
        written += size;
    };
    write(executable.Data(), imageSize);
    const std::uint64_t storeStart = written;

    std::vector<PackageEntry> entries;
    for (const auto& [name, writer] : packages) {
        PackageEntry entry;
        entry.name = name;
        entry.offset = written;
        platform::Sha256 hash;
        writer([&](const void* data, std::size_t size) {
            hash.Update(data, size);
            write(data, size);
            entry.size += size;
        });
        entry.sha256 = hash.Final();
        entries.push_back(std::move(entry));
    }
    const std::string index = EncodeIndex(entries);
    const std::uint64_t indexOffset = written;
    write(index.data(), index.size());
    const std::string locator = EncodeLocator(static_cast<std::uint32_t>(entries.size()), storeStart,
                                              written - storeStart, indexOffset, index);
    if (const int error = output.Output().WriteAt(source.LocatorOffset(), locator.data(), locator.size()))
        throw std::runtime_error("Cannot write \"" + out + "\". " + platform::SystemMessage(error));
    output.Commit();
}

}  // namespace

void WriteStore(const std::string& updater, const std::string& out, const std::vector<PackageSource>& packages,
                const std::function<void(const std::string&, std::uint64_t, std::uint64_t)>& progress)
{
    std::vector<std::pair<std::string, PackageWriter>> writers;
    for (const auto& package : packages) {
        writers.emplace_back(package.name, [&package, &progress](const auto& emit) {
            platform::File in = platform::File::OpenRead(package.path);
            if (!in.IsOpen())
                throw std::runtime_error("Cannot open file \"" + package.path + "\". " +
                                         platform::SystemMessage(in.OpenError()));
            std::uint64_t total = 0;
            in.Size(total);
            std::uint64_t done = 0;
            std::vector<unsigned char> buffer(kChunkSize);
            for (;;) {
                std::size_t got = 0;
                if (const int error = in.Read(buffer.data(), buffer.size(), got))
                    throw std::runtime_error("Cannot read \"" + package.path + "\". " +
                                             platform::SystemMessage(error));
                if (got == 0)
                    break;
                emit(buffer.data(), got);
                done += got;
                if (progress)
                    progress(package.name, done, total);
            }
        });
    }
    WriteStoreWith(updater, out, writers);
}

void WriteStoreFromMemory(const std::string& updater, const std::string& out,
                          const std::vector<std::pair<std::string, std::string>>& packages)
{
    std::vector<std::pair<std::string, PackageWriter>> writers;
    for (const auto& [name, bytes] : packages)
        writers.emplace_back(name, [&bytes = bytes](const auto& emit) { emit(bytes.data(), bytes.size()); });
    WriteStoreWith(updater, out, writers);
}

}  // namespace package
