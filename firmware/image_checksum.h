#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "firmware/operations.h"
#include "platform/sha256.h"

// The checks that an image is the one that was meant, over the bytes read to be sent: its SHA-256
// against the one the command line requires and against the checksum file beside it.
namespace fwu::firmware {

// "IMAGE.sha256" beside "IMAGE", as sha256sum writes it.
inline constexpr const char* ChecksumFileSuffix = ".sha256";

// 64 lower-case hexadecimal digits, as sha256sum writes a digest.
std::string sha256Hex(const platform::Sha256Digest& digest);
// The digest that 64 hexadecimal digits (in either case) spell; nothing for any other text.
std::optional<platform::Sha256Digest> parseSha256Hex(std::string_view text);

std::filesystem::path checksumFileOf(const std::filesystem::path& image);

// Why the image read from `image`, whose SHA-256 is `actual` (nothing: it could not be computed),
// may not be used: it differs from `required`, or the checksum file beside it is there and
// gives another digest, names another file, cannot be read or is not in the form sha256sum
// writes. Nothing when it passes every check there is.
std::optional<OperationResult> checksumRefusal(
    const std::filesystem::path& image, const std::optional<platform::Sha256Digest>& actual,
    const std::optional<platform::Sha256Digest>& required);

}  // namespace fwu::firmware
