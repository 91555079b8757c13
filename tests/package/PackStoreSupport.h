#pragma once
// What the package store tests share: stand-in updaters and updater-pack
// run in process.

#include "PackTool.h"
#include "TestSupport.h"
#include "package/PackageStore.h"

#include <sstream>
#include <string>
#include <vector>

inline const std::string kRar4Signature("Rar!\x1A\x07\x00", 7);

// An "updater" stand-in: any bytes work as the executable part.
inline std::string MakeExecutable(const testsupport::TempDir& dir)
{
    const std::string path = dir / "updater";
    testsupport::WriteFile(path, "\x7F" "ELF pretend executable bytes " + package::EmptyLocator() + " more bytes");
    return path;
}

inline int Pack(const std::vector<std::string>& arguments, std::string* out = nullptr, std::string* err = nullptr)
{
    std::ostringstream outStream, errStream;
    const int code = packtool::Run(arguments, outStream, errStream);
    if (out)
        *out = outStream.str();
    if (err)
        *err = errStream.str();
    return code;
}
