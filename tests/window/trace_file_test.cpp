// The window's trace file: never one of the program's files, never through another user's link
// in a shared folder.
#include <gtest/gtest.h>

#include <cstdio>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "tests/firmware/operations_fixture.h"
#include "window/device_backend.h"

namespace fwu::window::testing {
namespace {

using namespace firmware::testing;
using Trace = std::function<fs::path(const fs::path& folder)>;

TEST(WindowTrace, AProgramFileOrAnotherUsersLinkIsRefusedAsTheTrace) {
    std::vector<std::tuple<const char*, Trace, const char*>> cases = {
        {"the update image", [](const fs::path& folder) { return folder / "Velnor.bin"; },
         "are the same file"},
    };
#ifndef _WIN32
    if (::geteuid() == 0) {  // lchown
        cases.emplace_back(
            "another user's link in a shared folder",
            [](const fs::path& folder) {
                fs::create_directory(folder / "shared");
                fs::permissions(folder / "shared", fs::perms::all | fs::perms::sticky_bit);
                fs::create_symlink(folder / "Velnor.bin", folder / "shared/trace.txt");
                EXPECT_EQ(::lchown((folder / "shared/trace.txt").c_str(), 65534, 65534), 0);
                return folder / "shared/trace.txt";
            },
            "was not followed");
    } else {
        std::printf("Not tried: another user's link, as planting one takes root (lchown).\n");
    }
#endif
    for (const auto& [name, trace, says] : cases) {
        SCOPED_TRACE(name);
        TempFolder folder;
        writeFile(folder.path() / "Velnor.bin", imageBytes(85));
        std::string problem;
        EXPECT_FALSE(DeviceBackend::open({true, trace(folder.path())},
                                         firmware::ProgramFiles{folder.path()}, problem));
        EXPECT_NE(problem.find(says), std::string::npos) << problem;
        EXPECT_EQ(readFile(folder.path() / "Velnor.bin"), imageBytes(85));
    }
}

}  // namespace
}  // namespace fwu::window::testing
