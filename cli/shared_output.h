#pragma once

#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>

namespace fwu::cli {

// A stream that several workers write whole lines to: each line goes out at once, under the
// lock, and is flushed.
class SharedOutput {
  public:
    explicit SharedOutput(std::ostream& out) : out_(out) {}

    void writeLine(const std::string& line);
    // Runs `write` on the stream under the lock, for output of more than one line.
    template <typename Write>
    void withStream(Write write) {
        const std::lock_guard lock(mutex_);
        write(out_);
        out_.flush();
    }

  private:
    std::ostream& out_;
    std::mutex mutex_;
};

// A stream buffer for one worker: it gathers the worker's text into lines and hands each whole
// line, with a prefix naming the worker's device, to a shared output.
class PrefixedLineBuffer : public std::streambuf {
  public:
    PrefixedLineBuffer(SharedOutput& output, std::string prefix);
    ~PrefixedLineBuffer() override;

  protected:
    int_type overflow(int_type character) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;

  private:
    void put(char character);

    SharedOutput& output_;
    std::string prefix_;
    std::string line_;
};

// An ostream over a PrefixedLineBuffer.
class PrefixedLineStream : public std::ostream {
  public:
    PrefixedLineStream(SharedOutput& output, std::string prefix);

  private:
    PrefixedLineBuffer buffer_;
};

// A stream that drops everything written to it.
class DiscardingStream : public std::ostream {
  public:
    DiscardingStream() : std::ostream(nullptr) {}
};

}  // namespace fwu::cli
