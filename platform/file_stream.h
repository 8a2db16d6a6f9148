#pragma once

#include <array>
#include <ostream>
#include <streambuf>
#include <system_error>

#include "platform/file_system.h"

namespace fwu::platform {

// An output stream into a file the program opened itself at its FilePlace: what is written goes
// to the file at every flush and whenever the buffer is full. A write that fails sets badbit, as
// it does in std::ofstream, and the error is kept for close().
class FileStream : public std::ostream {
  public:
    explicit FileStream(NewFile file);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    // Writes what is pending and closes the file. False, with `error` set, when anything written
    // to the stream did not reach the file.
    [[nodiscard]] bool close(std::error_code& error);

  private:
    class Buffer : public std::streambuf {
      public:
        explicit Buffer(NewFile file);
        bool writePending();
        NewFile& file() { return file_; }
        const std::error_code& firstError() const { return firstError_; }

      protected:
        int_type overflow(int_type character) override;
        int sync() override;

      private:
        static constexpr std::size_t Size = 16 * 1024;
        NewFile file_;
        std::array<char, Size> pending_{};
        std::error_code firstError_;
    };

    Buffer buffer_;
};

}  // namespace fwu::platform
