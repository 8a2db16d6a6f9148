#include "platform/file_system.h"

// The parts of NewFile that are the same on every system; the system calls are in
// file_system_posix.cpp and file_system_windows.cpp.
namespace fwu::platform {

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
