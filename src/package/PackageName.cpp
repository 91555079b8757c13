#include "package/PackageName.h"

#include "platform/Text.h"

namespace package {

namespace {
constexpr const char* kPackageMark = "_RAR";
}

bool IsPackageName(const std::string& name) { return name.find(kPackageMark) != std::string::npos; }

std::string PackageNumberText(const std::string& name) { return name.substr(0, name.find('_')); }

std::optional<std::int32_t> PackageNumber(const std::string& name)
{
    std::int32_t number = 0;
    if (!platform::TryParseInt32(PackageNumberText(name), 10, number))
        return std::nullopt;
    return number;
}

std::string PackageEntryName(std::int64_t n) { return std::to_string(n) + kPackageMark; }

std::optional<std::int32_t> NumberedPackage(const std::string& name)
{
    return IsPackageName(name) ? PackageNumber(name) : std::nullopt;
}

}  // namespace package
