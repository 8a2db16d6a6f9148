#include "cli/shared_output.h"

namespace fwu::cli {

void SharedOutput::writeLine(const std::string& line) {
    withStream([&](std::ostream& out) { out << line << '\n'; });
}

PrefixedLineBuffer::PrefixedLineBuffer(SharedOutput& output, std::string prefix)
    : output_(output), prefix_(std::move(prefix)) {}

PrefixedLineBuffer::~PrefixedLineBuffer() {
    if (!line_.empty())
        output_.writeLine(prefix_ + line_);
}

PrefixedLineBuffer::int_type PrefixedLineBuffer::overflow(int_type character) {
    if (!traits_type::eq_int_type(character, traits_type::eof()))
        put(traits_type::to_char_type(character));
    return traits_type::not_eof(character);
}

std::streamsize PrefixedLineBuffer::xsputn(const char* text, std::streamsize count) {
    for (std::streamsize index = 0; index < count; ++index)
        put(text[index]);
    return count;
}

void PrefixedLineBuffer::put(char character) {
    if (character != '\n') {
        line_ += character;
        return;
    }
    output_.writeLine(prefix_ + line_);
    line_.clear();
}

PrefixedLineStream::PrefixedLineStream(SharedOutput& output, std::string prefix)
    : std::ostream(nullptr), buffer_(output, std::move(prefix)) {
    rdbuf(&buffer_);
}

}  // namespace fwu::cli
