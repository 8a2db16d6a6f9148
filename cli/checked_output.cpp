#include "cli/checked_output.h"

namespace fwu::cli {

CheckedOutput::CheckedOutput(std::ostream& out, std::ostream& err)
    : std::ostream(nullptr), buffer_(out, err) {
    rdbuf(&buffer_);
}

CheckedOutput::Buffer::int_type CheckedOutput::Buffer::overflow(int_type character) {
    if (!traits_type::eq_int_type(character, traits_type::eof()))
        out_.put(traits_type::to_char_type(character));
    check();
    return traits_type::not_eof(character);
}

std::streamsize CheckedOutput::Buffer::xsputn(const char* text, std::streamsize count) {
    out_.write(text, count);
    check();
    return count;
}

int CheckedOutput::Buffer::sync() {
    out_.flush();
    check();
    return 0;
}

void CheckedOutput::Buffer::check() {
    if (out_)
        return;
    out_.clear();  // later results are tried again
    if (!failed_.exchange(true)) {
        err_ << "Cannot write to standard output: the program reading it has ended. The "
                "operations go on; their results are in the exit status, and in the log file "
                "when --log names one.\n"
             << std::flush;
    }
}

}  // namespace fwu::cli
