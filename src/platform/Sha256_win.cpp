#include "platform/Sha256.h"

#include <windows.h>
#include <bcrypt.h>
#include <stdexcept>

namespace platform {

// BCrypt's algorithm provider is opened once per process and kept: opening
// it is far slower than hashing a small index.
namespace {

BCRYPT_ALG_HANDLE Provider()
{
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        if (BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
            return static_cast<BCRYPT_ALG_HANDLE>(nullptr);
        return handle;
    }();
    if (!provider)
        throw std::runtime_error("SHA-256 is not available");
    return provider;
}

}  // namespace

struct Sha256::Context {
    BCRYPT_HASH_HANDLE hash = nullptr;
};

Sha256::Sha256() : context_(std::make_unique<Context>())
{
    if (BCryptCreateHash(Provider(), &context_->hash, nullptr, 0, nullptr, 0, 0) < 0)
        throw std::runtime_error("SHA-256 is not available");
}

Sha256::~Sha256()
{
    if (context_->hash)
        BCryptDestroyHash(context_->hash);
}

void Sha256::Update(const void* data, std::size_t size)
{
    // BCryptHashData takes at most 4 GiB - 1 bytes a call.
    auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
    while (size > 0) {
        const ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        if (BCryptHashData(context_->hash, bytes, piece, 0) < 0)
            throw std::runtime_error("SHA-256 computation failed");
        bytes += piece;
        size -= piece;
    }
}

Digest Sha256::Final()
{
    Digest digest {};
    if (BCryptFinishHash(context_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0) < 0)
        throw std::runtime_error("SHA-256 computation failed");
    return digest;
}

}  // namespace platform
