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
