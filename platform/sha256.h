#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace fwu::platform {

inline constexpr std::size_t Sha256Size = 32;
using Sha256Digest = std::array<std::uint8_t, Sha256Size>;

// The SHA-256 of `bytes`, computed by the system's own cryptographic library (OpenSSL's libcrypto
// on Linux, CNG on Windows); nothing when the library fails.
std::optional<Sha256Digest> sha256(std::span<const std::uint8_t> bytes);

}  // namespace fwu::platform
