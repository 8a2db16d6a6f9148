// The built program as a process of its own, installed in a folder with its default files: the
// wiring of main(), the environment, the program's folder and the exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "platform/simulated/demo_setup.h"
#include "tests/firmware/operations_fixture.h"

namespace fwu::cli::test {
namespace {

namespace fs = std::filesystem;
using firmware::testing::Bytes;
using firmware::testing::imageBytes;
using firmware::testing::readFile;
using firmware::testing::TempFolder;
using firmware::testing::writeFile;

TEST(Program, RunsTheCommandOnTheFilesNextToItself) {
    TempFolder folder;
    const fs::path bin = folder.path() / "bin";
    fs::create_directory(bin);
    fs::copy_file(FWU_CLI_EXECUTABLE, bin / "firmware-update-cli");
    const auto run = [&](const std::string& arguments) {
        const std::string command = std::string(platform::simulated::SimulationVariable) +
                                    "='clock=virtual;latency-us=0' '" +
                                    (bin / "firmware-update-cli").string() + "' " + arguments +
                                    " >'" + (folder.path() / "out").string() + "' 2>/dev/null";
        const int status = std::system(command.c_str());
        const Bytes out = readFile(folder.path() / "out");
        return std::pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                         std::string(out.begin(), out.end()));
    };

    EXPECT_EQ(run("--simulate update").first, 4);  // no image next to the program
    writeFile(bin / "Velnor.bin", imageBytes(85));
    EXPECT_EQ(run("update --simulate"),
              std::pair(0, "Firmware update complete: " + (bin / "Velnor.bin").string() +
                               " written to sim:hid0.\n"));
    EXPECT_EQ(run("--simulate dump").first, 0);
    EXPECT_EQ(readFile(bin / "Ombrel.bin").size(), 1048576u);
}

}  // namespace
}  // namespace fwu::cli::test
