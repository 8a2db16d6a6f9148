#include "platform/line_log.h"

#include "platform/file_system.h"

namespace fwu::platform {

std::optional<LineLog> LineLog::open(const std::filesystem::path& path, PlaceProblem& problem) {
    const auto place = FilePlace::find(path, problem);
    if (!place)
        return std::nullopt;
    if (place->kind() == FilePlace::Kind::Other) {
        problem.error = std::make_error_code(std::errc::not_supported);
        return std::nullopt;
    }
    const auto handle = openForAppending(*place, problem.error);
    if (!handle)
        return std::nullopt;
    return LineLog(*handle);
}

bool LineLog::append(std::string_view line, std::error_code& error) {
    const std::string whole = std::string(line) + '\n';
    return appendWhole(std::span(reinterpret_cast<const std::uint8_t*>(whole.data()), whole.size()),
                       error);
}

LineLog::LineLog(LineLog&& other) noexcept : handle_(other.handle_) {
    other.handle_ = ClosedHandle;
}

LineLog& LineLog::operator=(LineLog&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        other.handle_ = ClosedHandle;
    }
    return *this;
}

LineLog::~LineLog() {
    close();
}

}  // namespace fwu::platform
