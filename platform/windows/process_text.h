#pragma once

#include <string>
#include <vector>

// The program's text at its edges on Windows: the command line arrives as UTF-16 and the
// console takes a code page, while the program works in UTF-8 throughout.
namespace fwu::platform::windows {

// The program's arguments, its own name left out, as UTF-8. Taken from the UTF-16 command line,
// so characters outside the ANSI code page arrive whole.
std::vector<std::string> utf8Arguments();

// While it lives, UTF-8 text written to a console shows as such; the console's earlier output
// code page comes back afterwards. Output to a file or a pipe is left alone.
class Utf8ConsoleOutput {
  public:
    Utf8ConsoleOutput();
    ~Utf8ConsoleOutput();
    Utf8ConsoleOutput(const Utf8ConsoleOutput&) = delete;
    Utf8ConsoleOutput& operator=(const Utf8ConsoleOutput&) = delete;

  private:
    unsigned int earlierCodePage_ = 0;  // 0: not changed
};

}  // namespace fwu::platform::windows
