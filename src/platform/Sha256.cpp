#include "platform/Sha256.h"

#include "platform/File.h"

#include <vector>

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

bool ParseHexDigest(const std::string& hex, Digest& digest)
{
    if (hex.size() != digest.size() * 2)
        return false;
    const auto nibble = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const int high = nibble(hex[2 * i]), low = nibble(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        digest[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

Error Sha256OfFile(const std::string& path, Digest& digest, std::uint64_t& size)
{
    File file = File::OpenRead(path);
    if (!file.IsOpen())
        return file.OpenError();
    Sha256 hash;
    std::vector<char> buffer(1 << 20);
    size = 0;
    for (;;) {
        std::size_t got = 0;
        if (const Error error = file.Read(buffer.data(), buffer.size(), got))
            return error;
        if (got == 0)
            break;
        hash.Update(buffer.data(), got);
        size += got;
    }
    digest = hash.Final();
    return {};
}

Error Sha256OfFile(const std::string& path, std::string& hex)
{
    Digest digest {};
    std::uint64_t size = 0;
    if (const Error error = Sha256OfFile(path, digest, size))
        return error;
    hex = ToHex(digest);
    return {};
}

}  // namespace platform
