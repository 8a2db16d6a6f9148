#include "platform/file_system.h"

#include <gtest/gtest.h>

#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

TEST(PlatformFiles, CreatesOnlyAFileThatDoesNotExistAndNeverFollowsALink) {
    if (!canCreateSymlinks())
        GTEST_SKIP() << "this system cannot create symbolic links";
    struct Case {
        const char* name;
        std::function<void(const fs::path& path, const fs::path& target)> plant;
        bool created;
    };
    const Case cases[] = {
        {"nothing there", [](const fs::path&, const fs::path&) {}, true},
        {"a file",
         [](const fs::path& path, const fs::path&) {
             writeFile(path, {1, 2});
         },
         false},
        {"a link to a file",
         [](const fs::path& path, const fs::path& target) {
             writeFile(target, {1, 2});
             fs::create_symlink(target, path);
         },
         false},
        {"a dangling link",
         [](const fs::path& path, const fs::path& target) { fs::create_symlink(target, path); },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const fs::path path = folder.path() / "new";
        const fs::path target = folder.path() / "target";
        c.plant(path, target);
        const bool targetExisted = fs::exists(target);

        std::error_code error;
        auto file = platform::NewFile::create(path, error);

        EXPECT_EQ(file.has_value(), c.created);
        EXPECT_EQ(static_cast<bool>(error), !c.created);
        if (file) {
            const Bytes bytes = imageBytes(100'000);
            EXPECT_TRUE(file->write(bytes, error));
            EXPECT_TRUE(file->flushToDisk(error));
            EXPECT_TRUE(file->close(error));
            EXPECT_EQ(readFile(path), bytes);
        }
        EXPECT_EQ(fs::exists(target), targetExisted);
        if (targetExisted) {
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
