#include "platform/line_log.h"

namespace fwu::platform {

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
