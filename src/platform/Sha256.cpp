#include "platform/Sha256.h"

namespace platform {

std::string ToHex(const Digest& digest)
{
    static const char* digits = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

std::string Sha256Hex(const std::string& bytes)
{
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return ToHex(hash.Final());
}

}  // namespace platform
