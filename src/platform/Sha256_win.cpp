#include "platform/Sha256.h"

#include "platform/SharedLibrary.h"

#include <windows.h>
#include <bcrypt.h>
#include <stdexcept>

namespace platform {

namespace {

// BCrypt is loaded from the system directory when first needed, not
// imported: Windows looks for an imported library that is not one of its
// known ones in the program's directory first, so a bcrypt.dll lying beside
// the updater (in a downloads folder) would run before the updater does.
struct BCrypt {
    SharedLibrary library;
    decltype(&BCryptOpenAlgorithmProvider) openAlgorithmProvider = nullptr;
    decltype(&BCryptCreateHash) createHash = nullptr;
    decltype(&BCryptHashData) hashData = nullptr;
    decltype(&BCryptFinishHash) finishHash = nullptr;
    decltype(&BCryptDestroyHash) destroyHash = nullptr;
    BCRYPT_ALG_HANDLE provider = nullptr;
};

// Loaded, and its algorithm provider opened, once per process and kept:
// opening the provider is far slower than hashing a small index.
const BCrypt& Api()
{
    static const BCrypt* const api = [] {
        auto* loaded = new BCrypt;
        LibraryLoadError ignored;
        loaded->library = SharedLibrary::LoadSystem("bcrypt.dll", ignored);
        const SharedLibrary& library = loaded->library;
        if (!library.IsLoaded() || !library.Find("BCryptOpenAlgorithmProvider", loaded->openAlgorithmProvider) ||
            !library.Find("BCryptCreateHash", loaded->createHash) || !library.Find("BCryptHashData", loaded->hashData) ||
            !library.Find("BCryptFinishHash", loaded->finishHash) ||
            !library.Find("BCryptDestroyHash", loaded->destroyHash) ||
            loaded->openAlgorithmProvider(&loaded->provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
            loaded->provider = nullptr;
        return loaded;
    }();
    if (!api->provider)
        throw std::runtime_error("SHA-256 is not available");
    return *api;
}

}  // namespace

struct Sha256::Context {
    BCRYPT_HASH_HANDLE hash = nullptr;
};

Sha256::Sha256() : context_(std::make_unique<Context>())
{
    const BCrypt& api = Api();
    if (api.createHash(api.provider, &context_->hash, nullptr, 0, nullptr, 0, 0) < 0)
        throw std::runtime_error("SHA-256 is not available");
}

Sha256::~Sha256()
{
    if (context_->hash)
        Api().destroyHash(context_->hash);
}

void Sha256::Update(const void* data, std::size_t size)
{
    // BCryptHashData takes at most 4 GiB - 1 bytes a call.
    auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
    while (size > 0) {
        const ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        if (Api().hashData(context_->hash, bytes, piece, 0) < 0)
            throw std::runtime_error("SHA-256 computation failed");
        bytes += piece;
        size -= piece;
    }
}

Digest Sha256::Final()
{
    Digest digest {};
    if (Api().finishHash(context_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0) < 0)
        throw std::runtime_error("SHA-256 computation failed");
    return digest;
}

}  // namespace platform
