#include "PackTool.h"

#include "PackageCheck.h"

#include "package/PackageName.h"
#include "package/PackageStore.h"
#include "package/StoreWriter.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <ostream>
#include <set>
#include <stdexcept>

namespace packtool {

namespace {

constexpr std::uint64_t kLargePackage = 16u << 20;

const char* const kUsageText =
    "usage: updater-pack add [--force] UPDATER OUT FILE...\n"
    "                                              write OUT = UPDATER carrying the packages,\n"
    "                                              after checking them (--force: despite errors)\n"
    "       updater-pack check FILE... | UPDATER   check packages, or those an updater carries\n"
    "       updater-pack list UPDATER              show the packages an updater carries and the files\n"
    "                                              each installs\n"
    "       updater-pack verify UPDATER            check every package's SHA-256\n"
    "FILE is a RAR archive; its package name comes from its file name (122.rar gives 122_RAR)\n"
    "or is given as NAME=FILE. The check lists each package's scripts in the order the updater\n"
    "runs them with their statements, and reports FILE:LINE: error|warning: ... where the\n"
    "updater would not do what the scripts most likely mean; exit code 1 on an error.\n";

int Add(std::vector<std::string> arguments, std::ostream& out, std::ostream& err)
{
    const auto force = std::find(arguments.begin(), arguments.end(), "--force");
    const bool forced = force != arguments.end();
    if (forced)
        arguments.erase(force);
    if (arguments.size() < 3) {
        err << kUsageText;
        return kUsage;
    }
    const std::string& updater = arguments[0];
    const std::string& output = arguments[1];
    std::vector<package::PackageSource> packages;
    std::set<std::string> names;
    for (std::size_t i = 2; i < arguments.size(); ++i) {
        std::string file;
        const std::string name = PackageNameFor(arguments[i], file);
        std::string problem;
        if (!HasRarSignature(file, problem)) {
            err << "updater-pack: " << file << " " << problem << "; nothing written\n";
            return kFailed;
        }
        if (const std::string why = PackageNameProblem(name); !why.empty()) {
            err << "updater-pack: package name " << name << " " << why << "; nothing written\n";
            return kFailed;
        }
        if (!names.insert(name).second) {
            err << "updater-pack: package " << name << " is given twice; nothing written\n";
            return kFailed;
        }
        packages.push_back({name, file, {}});
    }
    // The same check as `check`, its report on standard output.
    if (!CheckPackages(packages, out) && !forced) {
        err << "updater-pack: the packages have errors; nothing written (--force packs them anyway)\n";
        return kFailed;
    }
    std::string lastReported;
    package::WriteStore(updater, output, packages,
                        [&](const std::string& name, std::uint64_t done, std::uint64_t total) {
                            if (total < kLargePackage)
                                return;
                            const int percent = total ? static_cast<int>(done * 100 / total) : 100;
                            const std::string line = name + ": " + std::to_string(percent) + "%";
                            if (line != lastReported && (percent % 10 == 0)) {
                                err << "updater-pack: " << line << "\n";
                                lastReported = line;
                            }
                        });
    out << "updater-pack: wrote " << output << " with " << packages.size() << " package(s)\n";
    return kOk;
}

// check FILE... | UPDATER: one argument that names a file other than a RAR
// archive is an updater; anything else is a list of packages, each FILE or
// NAME=FILE.
bool Check(const std::vector<std::string>& arguments, std::ostream& out)
{
    std::string problem;
    if (arguments.size() == 1 && platform::FileExists(arguments[0]) && !HasRarSignature(arguments[0], problem))
        return CheckUpdater(arguments[0], out);
    std::vector<package::PackageSource> packages;
    for (const std::string& argument : arguments) {
        std::string file;
        const std::string name = PackageNameFor(argument, file);
        packages.push_back({name, file, {}});
    }
    return CheckPackages(packages, out);
}

int List(const std::string& updater, std::ostream& out)
{
    const package::PackageStore store(updater);
    for (const auto& entry : store.Entries()) {
        out << entry.name << '\t' << entry.size << '\t' << platform::ToHex(entry.sha256) << '\n';
        if (!entry.files)
            out << "  (its installable files are not recorded)\n";
        else
            for (const auto& file : *entry.files)
                out << "  " << file.relative << '\t' << file.size << '\t' << platform::ToHex(file.sha256) << '\n';
    }
    return kOk;
}

int Verify(const std::string& updater, std::ostream& out, std::ostream& err)
{
    const package::PackageStore store(updater);
    int result = kOk;
    for (const auto& entry : store.Entries()) {
        if (store.Verify(entry)) {
            out << entry.name << ": OK\n";
        } else {
            err << "updater-pack: " << entry.name << ": SHA-256 mismatch\n";
            result = kFailed;
        }
    }
    return result;
}

}  // namespace

bool HasRarSignature(const std::string& path, std::string& problem)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        problem = "cannot be opened";
        return false;
    }
    char head[8] {};
    in.read(head, sizeof head);
    const std::string bytes(head, static_cast<std::size_t>(in.gcount()));
    static const std::string rar4("Rar!\x1A\x07\x00", 7);
    static const std::string rar5("Rar!\x1A\x07\x01\x00", 8);
    if (bytes.rfind(rar4, 0) == 0 || bytes.rfind(rar5, 0) == 0)
        return true;
    problem = "is not a RAR archive (no RAR signature at its start)";
    return false;
}

std::string PackageNameFor(const std::string& argument, std::string& file)
{
    const auto equals = argument.find('=');
    if (equals != std::string::npos) {
        file = argument.substr(equals + 1);
        return argument.substr(0, equals);
    }
    file = argument;
    const std::string base = platform::FileNameOf(argument);
    const auto dot = base.rfind('.');
    if (dot == std::string::npos)
        return base;
    return base.substr(0, dot) + "_" + platform::UpperAscii(base.substr(dot + 1));
}

std::string PackageNameProblem(const std::string& name)
{
    if (!package::IsPackageName(name))
        return "does not contain _RAR, so the updater would not see it as a package";
    if (!package::PackageNumber(name))
        return "does not start with a package number before its first _";
    return {};
}

int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    try {
        if (arguments.empty()) {
            err << kUsageText;
            return kUsage;
        }
        const std::string& command = arguments[0];
        const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
        if (command == "add")
            return Add(rest, out, err);
        if (command == "check" && !rest.empty())
            return Check(rest, out) ? kOk : kFailed;
        if ((command == "list" || command == "verify") && rest.size() == 1)
            return command == "list" ? List(rest[0], out) : Verify(rest[0], out, err);
        err << kUsageText;
        return kUsage;
    } catch (const std::exception& error) {
        err << "updater-pack: " << error.what() << "\n";
        return kFailed;
    }
}

}  // namespace packtool
