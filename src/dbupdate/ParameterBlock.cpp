#include "dbupdate/ParameterBlock.h"

#include <algorithm>

namespace dbupdate {

void AppendLittleEndian(std::string& block, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        block += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t ReadLittleEndian(const char* bytes, int count)
{
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    return value;
}

void AddString(std::string& block, char tag, const std::string& value)
{
    const auto length = static_cast<std::uint16_t>(std::min<std::size_t>(value.size(), 0xFFFF));
    block += tag;
    AppendLittleEndian(block, length, 2);
    block.append(value, 0, length);
}

void AddNumber(std::string& block, char tag, std::uint32_t value)
{
    block += tag;
    AppendLittleEndian(block, value, 4);
}

void AddSizedNumber(std::string& block, char tag, std::uint32_t value)
{
    block += tag;
    AppendLittleEndian(block, 4, 2);
    AppendLittleEndian(block, value, 4);
}

}  // namespace dbupdate
