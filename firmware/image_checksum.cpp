#include "firmware/image_checksum.h"

#include <system_error>

#include "firmware/image_file.h"
#include "firmware/messages.h"
#include "platform/file_system.h"

namespace fwu::firmware {

namespace {

namespace fs = std::filesystem;
using platform::Sha256Digest;

constexpr std::size_t HexDigits = 2 * platform::Sha256Size;
// One line with a name no longer than a path: a longer file is not a checksum file.
constexpr std::uintmax_t LargestChecksumFile = 16 * 1024;

int hexValue(char digit) {
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'a' && digit <= 'f')
        return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    return -1;
}

struct ChecksumLine {
    Sha256Digest digest;
    std::string name;
};

// A name sha256sum escaped because it holds a backslash or a line break.
std::optional<std::string> unescapedName(std::string_view name) {
    std::string text;
    for (std::size_t at = 0; at < name.size(); ++at) {
        if (name[at] != '\\') {
            text += name[at];
            continue;
        }
        const char escape = ++at < name.size() ? name[at] : '\0';
        if (escape != '\\' && escape != 'n' && escape != 'r')
            return std::nullopt;
        text += escape == 'n' ? '\n' : escape == 'r' ? '\r' : '\\';
    }
    return text;
}

// One line as sha256sum writes it: the digest, a space, a space (text mode) or '*' (binary mode)
// and the name, the whole line after a backslash when the name is escaped; then a line break,
// LF or CRLF, or none.
std::optional<ChecksumLine> parseChecksumLine(std::string_view text) {
    if (text.ends_with('\n'))
        text.remove_suffix(1);
    if (text.ends_with('\r'))
        text.remove_suffix(1);
    const bool escaped = text.starts_with('\\');
    if (escaped)
        text.remove_prefix(1);
    if (text.size() <= HexDigits + 2 || text[HexDigits] != ' ' ||
        (text[HexDigits + 1] != ' ' && text[HexDigits + 1] != '*'))
        return std::nullopt;
    const auto digest = parseSha256Hex(text.substr(0, HexDigits));
    const std::string_view name = text.substr(HexDigits + 2);
    if (!digest || name.find('\n') != std::string_view::npos)
        return std::nullopt;  // not a digest, or more than one line
    const auto unescaped = escaped ? unescapedName(name) : std::optional<std::string>(name);
    if (!unescaped)
        return std::nullopt;
    return ChecksumLine{*digest, *unescaped};
}

// sha256sum writes the name as it was given, so a folder may come before the image's own name.
bool namesImage(const std::string& name, const fs::path& image) {
    return platform::pathFromUtf8(name).filename() == image.filename();
}

OperationResult refused(std::string message) {
    return {Outcome::FileProblem, std::move(message)};
}

// The image against the digest that `source` (--sha256 or the checksum file) gives.
std::optional<OperationResult> digestRefusal(const fs::path& image,
                                             const std::optional<Sha256Digest>& actual,
                                             const Sha256Digest& expected,
                                             const std::string& source) {
    if (!actual)
        return refused(messages::imageDigestNotComputed(image));
    if (*actual == expected)
        return std::nullopt;
    return refused(
        messages::imageDigestDiffers(image, sha256Hex(*actual), sha256Hex(expected), source));
}

// The digest the checksum file gives for `image`, or why it gives none that can be trusted.
std::optional<OperationResult> checksumFileRefusal(const fs::path& image, const fs::path& file,
                                                   const std::optional<Sha256Digest>& actual) {
    const ImageLoad load = loadImage(file, LargestChecksumFile);
    switch (load.error) {
        case ImageError::None:
            break;
        case ImageError::Missing:  // a link to nothing
        case ImageError::NotRegularFile:
        case ImageError::Unreadable:
            return refused(messages::checksumFileUnreadable(image, file));
        case ImageError::Empty:
        case ImageError::TooLarge:
            return refused(messages::checksumFileMalformed(image, file));
    }
    const auto line = parseChecksumLine(
        std::string_view(reinterpret_cast<const char*>(load.bytes.data()), load.bytes.size()));
    if (!line)
        return refused(messages::checksumFileMalformed(image, file));
    if (!namesImage(line->name, image))
        return refused(messages::checksumFileForAnotherFile(image, file, line->name));
    return digestRefusal(image, actual, line->digest, messages::displayPath(file));
}

}  // namespace

std::string sha256Hex(const Sha256Digest& digest) {
    constexpr const char* Digits = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : digest) {
        text += Digits[byte >> 4];
        text += Digits[byte & 0x0F];
    }
    return text;
}

std::optional<Sha256Digest> parseSha256Hex(std::string_view text) {
    if (text.size() != HexDigits)
        return std::nullopt;
    Sha256Digest digest{};
    for (std::size_t index = 0; index < digest.size(); ++index) {
        const int high = hexValue(text[2 * index]);
        const int low = hexValue(text[2 * index + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        digest[index] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return digest;
}

fs::path checksumFileOf(const fs::path& image) {
    fs::path file = image;
    file += ChecksumFileSuffix;
    return file;
}

std::optional<OperationResult> checksumRefusal(const fs::path& image,
                                               const std::optional<Sha256Digest>& actual,
                                               const std::optional<Sha256Digest>& required) {
    if (required) {
        if (auto refusal = digestRefusal(image, actual, *required, "--sha256"))
            return refusal;
    }
    // Anything at the checksum file's path, a link to nothing too, is a checksum to pass.
    const fs::path file = checksumFileOf(image);
    std::error_code error;
    if (fs::symlink_status(file, error).type() == fs::file_type::not_found)
        return std::nullopt;
    return checksumFileRefusal(image, file, actual);
}

}  // namespace fwu::firmware
