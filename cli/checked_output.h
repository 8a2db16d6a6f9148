#pragma once

#include <atomic>
#include <ostream>
#include <streambuf>

namespace fwu::cli {

// Standard output as a run writes to it: everything goes on to the process's own stream at once,
// and the first write that fails there (the program reading the pipe has ended) is told on
// standard error at once, once. The run goes on: SIGPIPE is ignored meanwhile (InterruptCatcher),
// so such a write fails instead of ending the program.
class CheckedOutput : public std::ostream {
  public:
    CheckedOutput(std::ostream& out, std::ostream& err);

    bool failed() const { return buffer_.failed(); }

  private:
    class Buffer : public std::streambuf {
      public:
        Buffer(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
        bool failed() const { return failed_.load(); }

      protected:
        int_type overflow(int_type character) override;
        std::streamsize xsputn(const char* text, std::streamsize count) override;
        int sync() override;

      private:
        void check();

        std::ostream& out_;
        std::ostream& err_;
        std::atomic<bool> failed_{false};
    };

    Buffer buffer_;
};

}  // namespace fwu::cli
