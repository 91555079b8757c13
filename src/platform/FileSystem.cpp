#include "platform/FileSystem.h"

#include "platform/File.h"
#include "platform/Locale.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace platform {

static std::runtime_error CannotOpen(const std::string& path, Error error)
{
    return std::runtime_error("Cannot open file \"" + path + "\". " + error.Message());
}

std::string FirstLinkBelow(const std::string& base, const std::string& relative)
{
    for (std::size_t at = relative.find(kPathSeparator);; at = relative.find(kPathSeparator, at + 1)) {
        const std::string step = JoinPath(base, relative.substr(0, at));
        if (IsSymbolicLink(step))
            return step;
        if (at == std::string::npos)
            return {};
    }
}

void ListFiles(std::vector<std::string>& list, const std::string& directory, const std::string& mask)
{
    for (const auto& name : FindEntries(directory, mask))
        list.push_back(JoinPath(directory, name));
    SortTextList(list);
}

std::vector<std::string> ReadTextLines(const std::string& path)
{
    File file = File::OpenRead(path);
    if (!file.IsOpen())
        throw CannotOpen(path, file.OpenError());
    std::string text;
    char buffer[65536];
    for (;;) {
        std::size_t got = 0;
        if (const Error error = file.Read(buffer, sizeof buffer, got))
            throw CannotOpen(path, error);
        if (got == 0)
            break;
        text.append(buffer, got);
    }
    return SplitLines(text);
}

bool IsCopyTemporaryName(const std::string& name, const std::string& targetName)
{
    const std::string prefix = "." + targetName + kCopyTemporaryMarker;
    if (name.size() != prefix.size() + kCopyTemporarySuffixLength || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

void RemoveStaleCopies(const std::string& directory, const std::string& targetName)
{
    for (const auto& name : FindEntries(directory, "." + targetName + kCopyTemporaryMarker + "*")) {
        const std::string path = JoinPath(directory, name);
        if (IsCopyTemporaryName(name, targetName) && FileExists(path) && !IsSymbolicLink(path))
            // One that stays is tried again before the next copy.
            BestEffort(DeleteFile(path));
    }
}

}  // namespace platform
