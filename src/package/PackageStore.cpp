#include "package/PackageStore.h"

#include "package/ProgramFiles.h"
#include "platform/File.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <future>
#include <set>

namespace package {

std::string ResourceNotFoundMessage(const std::string& name) { return "Resource " + name + " not found"; }

namespace {

// Reads the index's fields in turn; a field that runs past the index's end,
// and a file entry the updater would not install, are damage.
class IndexReader {
public:
    using Damaged = std::function<PackageStoreError(const std::string&)>;
    IndexReader(const unsigned char* cursor, const unsigned char* end, Damaged damaged)
        : cursor_(cursor), end_(end), damaged_(std::move(damaged))
    {
    }

    bool AtEnd() const noexcept { return cursor_ == end_; }

    std::uint64_t Number(std::size_t bytes)
    {
        const std::uint64_t value = ReadLe(Take(bytes), bytes);
        return value;
    }

    std::string Text()
    {
        const auto length = static_cast<std::size_t>(Number(2));
        const unsigned char* text = Take(length);
        return std::string(reinterpret_cast<const char*>(text), length);
    }

    platform::Digest Digest()
    {
        platform::Digest digest {};
        std::memcpy(digest.data(), Take(digest.size()), digest.size());
        return digest;
    }

    std::optional<std::vector<InstallableFile>> Files(const std::string& package)
    {
        const auto count = static_cast<std::uint32_t>(Number(4));
        if (count == kFilesNotRecorded)
            return std::nullopt;
        // Each entry takes at least 2 + 8 + 32 bytes: a count past what is
        // left is damage, not a reason to reserve memory.
        if (count > static_cast<std::size_t>(end_ - cursor_) / 42)
            throw damaged_("the index is truncated");
        std::vector<InstallableFile> files;
        std::set<std::string> seen;
        for (std::uint32_t i = 0; i < count; ++i) {
            InstallableFile file;
            file.relative = Text();
            file.size = Number(8);
            file.sha256 = Digest();
            if (!IsInstallablePath(file.relative))
                throw damaged_("package " + package + " lists a file the updater does not install");
            if (!seen.insert(platform::UpperAscii(file.relative)).second)
                throw damaged_("package " + package + " lists " + file.relative + " twice");
            files.push_back(std::move(file));
        }
        return files;
    }

private:
    const unsigned char* Take(std::size_t bytes)
    {
        if (static_cast<std::size_t>(end_ - cursor_) < bytes)
            throw damaged_("the index is truncated");
        const unsigned char* at = cursor_;
        cursor_ += bytes;
        return at;
    }

    const unsigned char* cursor_;
    const unsigned char* const end_;
    const Damaged damaged_;
};

}  // namespace

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
    if (IsEmptyLocator(locator))
        return;

    const auto version = static_cast<std::uint32_t>(ReadLe(locator + 16, 4));
    const auto count = static_cast<std::uint32_t>(ReadLe(locator + 20, 4));
    const std::uint64_t storeStart = ReadLe(locator + 24, 8);
    const std::uint64_t storeSize = ReadLe(locator + 32, 8);
    const std::uint64_t indexOffset = ReadLe(locator + 40, 8);
    const std::uint64_t indexSize = ReadLe(locator + 48, 8);
    if (version < kOldestStoreVersion || version > kStoreVersion)
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

    IndexReader index {data + indexOffset, data + indexLimit, damaged};
    for (std::uint32_t i = 0; i < count; ++i) {
        PackageEntry entry;
        entry.name = index.Text();
        entry.offset = index.Number(8);
        entry.size = index.Number(8);
        entry.sha256 = index.Digest();
        if (entry.name.empty())
            throw damaged("a package has no name");
        if (entry.offset < storeStart || entry.offset > indexOffset || entry.size > indexOffset - entry.offset)
            throw damaged("package " + entry.name + " lies outside the store");
        if (version >= 3)
            entry.files = index.Files(entry.name);
        entries_.push_back(std::move(entry));
    }
    if (!index.AtEnd())
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
