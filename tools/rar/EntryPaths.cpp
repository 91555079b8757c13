#include "EntryPaths.h"

#include "Extractor.h"

#include <cstring>

namespace rarformat {

std::vector<std::string> SplitPath(const std::string& path)
{
    std::vector<std::string> parts(1);
    for (char c : path) {
        if (c == '/' || c == '\\')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

std::string JoinComponents(const std::vector<std::string>& components, std::size_t count)
{
    std::string path;
    for (std::size_t i = 0; i < count; ++i)
        path += (i ? "/" : "") + components[i];
    return path;
}

bool IsAbsolute(const std::string& target)
{
    return target.empty() || target[0] == '/' || target[0] == '\\' || (target.size() >= 2 && target[1] == ':');
}

bool IsStagingName(const std::string& name)
{
    const std::size_t prefix = std::strlen(kStagingPrefix);
    if (name.size() != prefix + kStagingSuffixLength || name.compare(0, prefix, kStagingPrefix) != 0)
        return false;
    for (std::size_t i = prefix; i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

std::vector<std::string> SafeComponents(const std::string& path, std::string& why)
{
    if (path.empty()) {
        why = "it has no name";
        return {};
    }
    if (path.find('\0') != std::string::npos) {
        why = "its name holds a NUL byte";
        return {};
    }
    if (path[0] == '/' || path[0] == '\\') {
        why = "its path is absolute";
        return {};
    }
    if (path.size() >= 2 && path[1] == ':') {
        why = "its path has a drive letter";
        return {};
    }
    std::vector<std::string> components;
    for (const auto& part : SplitPath(path)) {
        if (part == "..") {
            why = "its path climbs out with ..";
            return {};
        }
        if (!part.empty() && part != ".")
            components.push_back(part);
    }
    if (components.empty())
        why = "it names nothing";
    return components;
}

bool SymlinkStaysInside(const std::string& linkPath, const std::string& target)
{
    if (IsAbsolute(target))
        return false;
    // Depth of the link's directory below the root, then walk the target.
    std::string why;
    const auto link = SafeComponents(linkPath, why);
    if (link.empty())
        return false;
    int depth = static_cast<int>(link.size()) - 1;
    for (const auto& part : SplitPath(target)) {
        if (part == "..")
            --depth;
        else if (!part.empty() && part != ".")
            ++depth;
        if (depth < 0)
            return false;
    }
    return true;
}

}  // namespace rarformat
