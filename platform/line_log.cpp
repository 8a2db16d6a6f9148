#include "platform/line_log.h"

namespace fwu::platform {

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
