#include "platform/file_system.h"

#include <gtest/gtest.h>

#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

TEST(PlatformFiles, CreatesOnlyAFileThatDoesNotExistAndNeverFollowsALink) {
    if (!canCreateSymlinks())
        GTEST_SKIP() << "this system cannot create symbolic links";
    enum class Planted { Nothing, File, LinkToFile, DanglingLink };
    for (const Planted planted :
         {Planted::Nothing, Planted::File, Planted::LinkToFile, Planted::DanglingLink}) {
        SCOPED_TRACE(static_cast<int>(planted));
        TempFolder folder;
        const fs::path path = folder.path() / "new";
        const fs::path target = folder.path() / "target";
        if (planted == Planted::File || planted == Planted::LinkToFile)
            writeFile(planted == Planted::File ? path : target, {1, 2});
        if (planted == Planted::LinkToFile || planted == Planted::DanglingLink)
            fs::create_symlink(target, path);

        std::error_code error;
        auto file = platform::NewFile::create(path, error);

        EXPECT_EQ(file.has_value(), planted == Planted::Nothing);
        EXPECT_EQ(static_cast<bool>(error), planted != Planted::Nothing);
        if (file) {
            EXPECT_TRUE(file->write(Bytes{3}, error) && file->close(error));
            EXPECT_EQ(readFile(path), Bytes{3});
        }
        EXPECT_EQ(fs::exists(target), planted == Planted::LinkToFile);
        if (planted != Planted::Nothing) {
            EXPECT_EQ(readFile(planted == Planted::File ? path : target),
                      (planted == Planted::DanglingLink ? Bytes{} : Bytes{1, 2}));
        }
    }
}

}  // namespace
}  // namespace fwu::firmware::testing
