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
        if (planted == Planted::File)
            writeFile(path, {1, 2});
        if (planted == Planted::LinkToFile)
            writeFile(target, {1, 2});
        if (planted == Planted::LinkToFile || planted == Planted::DanglingLink)
            fs::create_symlink(target, path);

        std::error_code error;
        auto file = platform::NewFile::create(path, error);

        const bool created = planted == Planted::Nothing;
        EXPECT_EQ(file.has_value(), created);
        EXPECT_EQ(static_cast<bool>(error), !created);
        if (file) {
            const Bytes bytes = imageBytes(100'000);
            EXPECT_TRUE(file->write(bytes, error));
            EXPECT_TRUE(file->flushToDisk(error));
            EXPECT_TRUE(file->close(error));
            EXPECT_EQ(readFile(path), bytes);
        }
        EXPECT_EQ(fs::exists(target), planted == Planted::LinkToFile);
        if (planted == Planted::LinkToFile) {
            EXPECT_EQ(readFile(target), (Bytes{1, 2}));
        }
    }
}

TEST(PlatformFiles, RemovesALinkItselfAndReplacesAFileWhole) {
    if (!canCreateSymlinks())
        GTEST_SKIP() << "this system cannot create symbolic links";
    TempFolder folder;
    const fs::path target = folder.path() / "target";
    const fs::path link = folder.path() / "link";
    writeFile(target, {1, 2, 3});
    fs::create_symlink(target, link);
    std::error_code error;

    EXPECT_TRUE(platform::removeFileEntry(link, error));
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(readFile(target), (Bytes{1, 2, 3}));
    EXPECT_TRUE(platform::removeFileEntry(link, error));  // nothing there

    const fs::path longer = folder.path() / "longer";
    writeFile(longer, imageBytes(5000));
    EXPECT_TRUE(platform::replaceFile(target, longer, error));
    EXPECT_EQ(readFile(longer), (Bytes{1, 2, 3}));
    EXPECT_FALSE(fs::exists(target));
}

TEST(PlatformFiles, FindsTheFolderOfTheRunningProgram) {
    const auto folder = platform::programFolder();
    ASSERT_TRUE(folder.has_value());
#ifdef _WIN32
    EXPECT_TRUE(fs::is_regular_file(*folder / "firmware_tests.exe"));
#else
    EXPECT_TRUE(fs::is_regular_file(*folder / "firmware_tests"));
#endif
}

}  // namespace
}  // namespace fwu::firmware::testing
