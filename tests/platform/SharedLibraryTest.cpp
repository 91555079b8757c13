#include "platform/SharedLibrary.h"

#include "platform/Paths.h"

#include <gtest/gtest.h>

namespace {

// The first bytes of a PE image for a machine: the DOS header pointing at
// "PE\0\0" at offset 0x80, then the machine field.
std::string PeHeader(unsigned machine, std::uint32_t peOffset = 0x80)
{
    std::string header(0x100, '\0');
    header[0] = 'M';
    header[1] = 'Z';
    for (int i = 0; i < 4; ++i)
        header[0x3C + i] = static_cast<char>(peOffset >> (8 * i));
    if (peOffset + 6 <= header.size()) {
        header.replace(peOffset, 4, std::string("PE\0\0", 4));
        header[peOffset + 4] = static_cast<char>(machine & 0xFF);
        header[peOffset + 5] = static_cast<char>(machine >> 8);
    }
    return header;
}

}  // namespace

TEST(ImageBits, TellsThePeMachineAndTheElfClass)
{
    const struct {
        const char* what;
        std::string header;
        int bits;
    } cases[] = {
        {"PE i386", PeHeader(0x014C), 32},
        {"PE x86-64", PeHeader(0x8664), 64},
        {"PE ARM64 (no x86 bitness)", PeHeader(0xAA64), 0},
        {"PE header past the bytes read", PeHeader(0x8664, 0x1000), 0},
        {"DOS header cut short", PeHeader(0x8664).substr(0, 0x30), 0},
        {"MZ without PE", std::string("MZ") + std::string(0x100, '\0'), 0},
        {"ELF class 32", std::string("\x7F" "ELF\x01\x01\x01", 7), 32},
        {"ELF class 64", std::string("\x7F" "ELF\x02\x01\x01", 7), 64},
        {"ELF of no class", std::string("\x7F" "ELF\x00", 5), 0},
        {"a text", "Norvex 122\n", 0},
        {"nothing", "", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::ImageBits(c.header), c.bits) << c.what;
}

TEST(LibraryFileBits, OfTheRunningProgramIsItsOwnBitness)
{
    EXPECT_EQ(platform::LibraryFileBits(platform::ExecutablePath()), platform::ProgramBits());
    EXPECT_EQ(platform::LibraryFileBits(platform::ExecutablePath() + ".missing"), 0);
}
