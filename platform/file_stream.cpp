#include "platform/file_stream.h"

#include <cstdint>
#include <span>

namespace fwu::platform {

FileStream::Buffer::Buffer(NewFile file) : file_(std::move(file)) {
    setp(pending_.data(), pending_.data() + pending_.size());
}

bool FileStream::Buffer::writePending() {
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(pbase()),
                                 static_cast<std::size_t>(pptr() - pbase()));
    setp(pending_.data(), pending_.data() + pending_.size());
    std::error_code error;
    if (bytes.empty() || file_.write(bytes, error))
        return true;
    if (!firstError_)
        firstError_ = error;
    return false;
}

FileStream::Buffer::int_type FileStream::Buffer::overflow(int_type character) {
    if (!writePending())
        return traits_type::eof();
    if (!traits_type::eq_int_type(character, traits_type::eof()))
        sputc(traits_type::to_char_type(character));
    return traits_type::not_eof(character);
}

int FileStream::Buffer::sync() {
    return writePending() ? 0 : -1;
}

FileStream::FileStream(NewFile file) : std::ostream(nullptr), buffer_(std::move(file)) {
    rdbuf(&buffer_);
}

FileStream::~FileStream() {
    std::error_code ignored;
    (void)close(ignored);
}

bool FileStream::close(std::error_code& error) {
    const bool written = buffer_.writePending();
    const bool closed = buffer_.file().close(error);
    if (buffer_.firstError())
        error = buffer_.firstError();
    return written && closed && !buffer_.firstError();
}

}  // namespace fwu::platform
