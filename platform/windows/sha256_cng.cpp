#include <algorithm>
#include <limits>

#include "platform/sha256.h"
#include "platform/windows/windows_api.h"

namespace fwu::platform {

namespace {

bool succeeded(NTSTATUS status) {
    return status >= 0;
}

// CNG's handles, closed when the hash is done.
class Sha256Hash {
  public:
    explicit Sha256Hash(windows::WindowsApi& api) : api_(api) {
        if (succeeded(api_.BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM,
                                                       nullptr, 0)) &&
            !succeeded(api_.BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0)))
            hash_ = nullptr;
    }
    ~Sha256Hash() {
        if (hash_ != nullptr)
            api_.BCryptDestroyHash(hash_);
        if (algorithm_ != nullptr)
            api_.BCryptCloseAlgorithmProvider(algorithm_, 0);
    }
    Sha256Hash(const Sha256Hash&) = delete;
    Sha256Hash& operator=(const Sha256Hash&) = delete;

    std::optional<Sha256Digest> digest(std::span<const std::uint8_t> bytes) {
        if (hash_ == nullptr)
            return std::nullopt;
        // Each call takes at most a ULONG's worth.
        while (!bytes.empty()) {
            const auto part =
                std::min<std::size_t>(bytes.size(), std::numeric_limits<ULONG>::max());
            if (!succeeded(api_.BCryptHashData(hash_, const_cast<PUCHAR>(bytes.data()),
                                               static_cast<ULONG>(part), 0)))
                return std::nullopt;
            bytes = bytes.subspan(part);
        }
        Sha256Digest digest{};
        if (!succeeded(api_.BCryptFinishHash(hash_, digest.data(), Sha256Size, 0)))
            return std::nullopt;
        return digest;
    }

  private:
    windows::WindowsApi& api_;
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
};

}  // namespace

std::optional<Sha256Digest> sha256(std::span<const std::uint8_t> bytes) {
    return Sha256Hash(windows::systemWindowsApi()).digest(bytes);
}

}  // namespace fwu::platform
