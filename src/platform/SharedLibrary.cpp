#include "platform/SharedLibrary.h"

#include "platform/File.h"

#include <cstdint>

namespace platform {

namespace {

std::uint32_t LittleEndian(std::string_view bytes, std::size_t offset, std::size_t size) noexcept
{
    std::uint32_t value = 0;
    for (std::size_t i = size; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

}  // namespace

int ImageBits(std::string_view header) noexcept
{
    if (header.size() >= 5 && header.substr(0, 4) == "\x7F" "ELF") {
        const auto elfClass = static_cast<unsigned char>(header[4]);
        return elfClass == 1 ? 32 : elfClass == 2 ? 64 : 0;
    }
    // MZ, the PE header's offset at 0x3C, "PE\0\0", then the machine.
    if (header.size() < 0x40 || header.substr(0, 2) != "MZ")
        return 0;
    const std::uint32_t pe = LittleEndian(header, 0x3C, 4);
    if (pe > header.size() || header.size() - pe < 6 || header.substr(pe, 4) != std::string_view("PE\0\0", 4))
        return 0;
    switch (LittleEndian(header, pe + 4, 2)) {
    case 0x014C:  // IMAGE_FILE_MACHINE_I386
        return 32;
    case 0x8664:  // IMAGE_FILE_MACHINE_AMD64
        return 64;
    default:
        return 0;
    }
}

int LibraryFileBits(const std::string& path)
{
    File file = File::OpenRead(path);
    if (!file.IsOpen())
        return 0;
    // The PE header follows the DOS stub, within the first 4 KiB of every
    // image a linker writes.
    std::string header(4096, '\0');
    std::size_t got = 0;
    if (file.ReadAt(0, header.data(), header.size(), got))
        return 0;
    header.resize(got);
    return ImageBits(header);
}

}  // namespace platform
