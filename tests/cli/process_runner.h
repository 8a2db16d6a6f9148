#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace fwu::cli::test {

struct ProgramRun {
    int exitStatus = -1;  // the exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `arguments` and the simulation settings in its environment (the
// variable is removed when `simulation` is empty); standard output and error go to files in
// `scratch` and come back as text.
ProgramRun runProgram(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments,
                      const std::optional<std::string>& simulation,
                      const std::filesystem::path& scratch);

}  // namespace fwu::cli::test
