// A whole extraction, as rar x -o+ does it, into a directory of its own;
// nothing may appear outside that directory.
#include "Extractor.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Scratch {
    fs::path root;
    Scratch()
    {
        std::string pattern = (fs::temp_directory_path() / "fuzz-extract-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        root = pattern;
        fs::create_directory(root / "work");
    }
    ~Scratch()
    {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Scratch scratch;
    {
        std::ofstream out(scratch.root / "input.rar", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    std::ostringstream messages;
    rarformat::Extract((scratch.root / "input.rar").string(), (scratch.root / "work").string(), {}, messages);
    std::size_t outside = 0;
    for (const auto& entry : fs::directory_iterator(scratch.root)) {
        const auto name = entry.path().filename();
        if (name != "work" && name != "input.rar")
            ++outside;
    }
    if (outside != 0)
        std::abort();
    std::error_code ignored;
    fs::remove_all(scratch.root / "work", ignored);
    fs::create_directory(scratch.root / "work");
    return 0;
}
