#include "platform/Sha256.h"

#include <openssl/evp.h>
#include <stdexcept>

namespace platform {

struct Sha256::Context {
    EVP_MD_CTX* md = nullptr;
};

Sha256::Sha256() : context_(std::make_unique<Context>())
{
    context_->md = EVP_MD_CTX_new();
    if (!context_->md || EVP_DigestInit_ex(context_->md, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is not available");
}

Sha256::~Sha256() { EVP_MD_CTX_free(context_->md); }

void Sha256::Update(const void* data, std::size_t size)
{
    if (EVP_DigestUpdate(context_->md, data, size) != 1)
        throw std::runtime_error("SHA-256 computation failed");
}

Digest Sha256::Final()
{
    Digest digest {};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_->md, digest.data(), &length) != 1 || length != digest.size())
        throw std::runtime_error("SHA-256 computation failed");
    return digest;
}

}  // namespace platform
