#include "platform/file_system.h"

// The parts that are the same on every system; the system calls are in file_system_posix.cpp
// and file_system_windows.cpp.
namespace fwu::platform {

std::filesystem::path pathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

bool writeInParts(std::span<const std::uint8_t> bytes, const PartialWrite& writeSome,
                  std::error_code& error) {
    while (!bytes.empty()) {
        const auto written = writeSome(bytes, error);
        if (!written)
            return false;
        if (*written == 0 || *written > bytes.size()) {
            error = std::make_error_code(std::errc::io_error);
            return false;
        }
        bytes = bytes.subspan(*written);
    }
    error.clear();
    return true;
}

std::optional<NewFile> openToOverwrite(const std::filesystem::path& path, PlaceProblem& problem) {
    const auto place = FilePlace::find(path, problem);
    return place ? place->openTruncated(problem.error) : std::nullopt;
}

NewFile::NewFile(NewFile&& other) noexcept : handle_(other.handle_) {
    other.handle_ = ClosedHandle;
}

NewFile& NewFile::operator=(NewFile&& other) noexcept {
    if (this != &other) {
        std::error_code ignored;
        (void)close(ignored);
        handle_ = other.handle_;
        other.handle_ = ClosedHandle;
    }
    return *this;
}

NewFile::~NewFile() {
    std::error_code ignored;
    (void)close(ignored);
}

}  // namespace fwu::platform
