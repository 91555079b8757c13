#pragma once
// SHA-256: OpenSSL's libcrypto on POSIX systems, BCrypt on Windows.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Error.h"

namespace platform {

using Digest = std::array<unsigned char, 32>;

class Sha256 {
public:
    Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    ~Sha256();
    void Update(const void* data, std::size_t size);
    Digest Final();

private:
    struct Context;
    std::unique_ptr<Context> context_;
};

// Lower-case hexadecimal text of a digest.
std::string ToHex(const Digest& digest);

// Reads 64 hexadecimal digits (either case) into digest; false for any
// other text.
bool ParseHexDigest(const std::string& hex, Digest& digest);

// The lower-case hexadecimal SHA-256 of bytes.
std::string Sha256Hex(const std::string& bytes);

// The lower-case hexadecimal SHA-256 of a file's bytes, read in pieces, into
// hex; gives the error of a file that cannot be opened or read.
Error Sha256OfFile(const std::string& path, std::string& hex);
// The same as a digest, with the number of bytes read.
Error Sha256OfFile(const std::string& path, Digest& digest, std::uint64_t& size);

}  // namespace platform
