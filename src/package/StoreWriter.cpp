#include "package/StoreWriter.h"

#include "package/PackageStore.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/MappedFile.h"
#include "platform/Sha256.h"

#include "package/ProgramFiles.h"

#include <optional>
#include <stdexcept>

namespace package {

namespace {

// Packages are copied into the store in pieces of this size.
constexpr std::size_t kChunkSize = 4u << 20;

void AppendLe(std::string& out, std::uint64_t value, std::size_t bytes)
{
    for (std::size_t i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void AppendText(std::string& out, const std::string& text, const std::string& what)
{
    if (text.size() > 0xFFFF)
        throw PackageStoreError(what + " is longer than the store takes: " + text.substr(0, 64) + "...");
    AppendLe(out, text.size(), 2);
    out += text;
}

void AppendDigest(std::string& out, const platform::Digest& digest)
{
    out.append(reinterpret_cast<const char*>(digest.data()), digest.size());
}

// The index of the given entries, as stored in format version.
std::string EncodeIndex(const std::vector<PackageEntry>& entries, std::uint32_t version)
{
    std::string index;
    for (const auto& entry : entries) {
        AppendText(index, entry.name, "A package name");
        AppendLe(index, entry.offset, 8);
        AppendLe(index, entry.size, 8);
        AppendDigest(index, entry.sha256);
        if (version < 3)
            continue;
        if (!entry.files) {
            AppendLe(index, kFilesNotRecorded, 4);
            continue;
        }
        AppendLe(index, entry.files->size(), 4);
        for (const InstallableFile& file : *entry.files) {
            if (!IsInstallablePath(file.relative))
                throw PackageStoreError("Package " + entry.name + " would record " + file.relative +
                                        ", a file the updater does not install");
            AppendText(index, file.relative, "A file name");
            AppendLe(index, file.size, 8);
            AppendDigest(index, file.sha256);
        }
    }
    return index;
}

// A filled-in locator for a store of count packages whose index is index.
std::string EncodeLocator(std::uint32_t version, std::uint32_t count, std::uint64_t storeOffset,
                          std::uint64_t storeSize, std::uint64_t indexOffset, const std::string& index)
{
    std::string locator = LocatorMagic();
    AppendLe(locator, version, 4);
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

// Feeds one package's bytes to emit, in pieces.
using PackageWriter = std::function<void(const std::function<void(const void*, std::size_t)>& emit)>;

struct PackageToWrite {
    std::string name;
    std::optional<std::vector<InstallableFile>> files;
    PackageWriter writer;
};

void WriteStoreWith(const std::string& updater, const std::string& out, const std::vector<PackageToWrite>& packages)
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
        if (const platform::Error error = output.Output().Write(data, size))
            throw std::runtime_error("Cannot write \"" + out + "\". " + error.Message());
        written += size;
    };
    write(executable.Data(), imageSize);
    const std::uint64_t storeStart = written;

    std::vector<PackageEntry> entries;
    for (const auto& [name, files, writer] : packages) {
        PackageEntry entry;
        entry.name = name;
        entry.files = files;
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
    // In the format the updater reads: an older one does without the files.
    const std::uint32_t version = StoreVersionFor(executable.Data() + source.LocatorOffset());
    const std::string index = EncodeIndex(entries, version);
    const std::uint64_t indexOffset = written;
    write(index.data(), index.size());
    const std::string locator = EncodeLocator(version, static_cast<std::uint32_t>(entries.size()), storeStart,
                                              written - storeStart, indexOffset, index);
    if (const platform::Error error = output.Output().WriteAt(source.LocatorOffset(), locator.data(), locator.size()))
        throw std::runtime_error("Cannot write \"" + out + "\". " + error.Message());
    output.Commit();
}

}  // namespace

void WriteStore(const std::string& updater, const std::string& out, const std::vector<PackageSource>& packages,
                const std::function<void(const std::string&, std::uint64_t, std::uint64_t)>& progress)
{
    std::vector<PackageToWrite> writers;
    for (const auto& package : packages) {
        writers.push_back({package.name, package.files, [&package, &progress](const auto& emit) {
            platform::File in = platform::File::OpenRead(package.path);
            if (!in.IsOpen())
                throw std::runtime_error("Cannot open file \"" + package.path + "\". " +
                                         in.OpenError().Message());
            std::uint64_t total = 0;
            if (const platform::Error error = in.Size(total))
                throw std::runtime_error("Cannot read file \"" + package.path + "\". " + error.Message());
            std::uint64_t done = 0;
            std::vector<unsigned char> buffer(kChunkSize);
            for (;;) {
                std::size_t got = 0;
                if (const platform::Error error = in.Read(buffer.data(), buffer.size(), got))
                    throw std::runtime_error("Cannot read \"" + package.path + "\". " +
                                             error.Message());
                if (got == 0)
                    break;
                emit(buffer.data(), got);
                done += got;
                if (progress)
                    progress(package.name, done, total);
            }
        }});
    }
    WriteStoreWith(updater, out, writers);
}

void WriteStoreFromMemory(const std::string& updater, const std::string& out,
                          const std::vector<PackageInMemory>& packages)
{
    std::vector<PackageToWrite> writers;
    for (const auto& [name, bytes, files] : packages)
        writers.push_back({name, files, [&bytes = bytes](const auto& emit) { emit(bytes.data(), bytes.size()); }});
    WriteStoreWith(updater, out, writers);
}

}  // namespace package
