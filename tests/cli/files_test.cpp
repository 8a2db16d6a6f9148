// One file in two roles, and results that must be true to the last byte and character.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "tests/cli/cli_run.h"

namespace fwu::cli::test {
namespace {

using firmware::testing::readFile;
using Prepare = std::function<void(const fs::path&)>;

void hardLink(const fs::path& folder) {
    fs::create_hard_link(folder / "image.bin", folder / "alias.bin");
}

// A trace, a log or a dump that is also an image of the command, or one another's file, is
// refused before anything is opened for writing; so is a file that would make the run wait.
TEST(FileRoles, OneFileInTwoRolesIsRefusedBeforeAnythingIsWritten) {
    const std::string same = " are the same file";
    const std::tuple<const char*, Prepare, std::string> cases[] = {
        {"--trace @image.bin update @image.bin",
         {},
         "the image @image.bin and the trace file @image.bin" + same},
        {"--log @image.bin verify @image.bin",
         {},
         "the image @image.bin and the log file @image.bin" + same},
        {"--log @alias.bin update @image.bin", hardLink,
         "the image @image.bin and the log file @alias.bin" + same},
        {"--trace @image.bin dump @image.bin",
         {},
         "the dump file @image.bin and the trace file @image.bin" + same},
        {"--log @image.bin.part dump @image.bin",
         {},
         "the dump's partial file @image.bin.part and the log file @image.bin.part" + same},
        {"--trace @new.txt --log @new.txt erase",
         {},
         "the trace file @new.txt and the log file @new.txt" + same},
#ifndef _WIN32
        // A named pipe would block the open until a reader came.
        {"--trace @fifo erase", [](const fs::path& f) { mkfifo((f / "fifo").c_str(), 0600); },
         "it is a named pipe that no program reads"},
        {"--log @fifo erase", [](const fs::path& f) { mkfifo((f / "fifo").c_str(), 0600); },
         "Cannot append to the log file @fifo: it is not a file"},
#endif
    };
    for (const auto& [arguments, prepare, says] : cases) {
        SCOPED_TRACE(arguments);
        const CliRun r(std::string("--simulate ") + arguments, "", nullptr, prepare);
        EXPECT_EQ(r.status, FileProblem);
        EXPECT_NE(r.err.str().find(r.substitute(says)), std::string::npos) << r.err.str();
        EXPECT_EQ(readFile(r.folder.path() / "image.bin"), imageBytes(85));
        ASSERT_TRUE(r.bus);
        EXPECT_TRUE(r.bus->transcript().empty());
        EXPECT_FALSE(fs::exists(r.folder.path() / "new.txt"));
    }
}

// After "--" every word is an argument: the command, then its path.
TEST(Untruths, AfterTwoDashesEveryWordIsAnArgument) {
    const std::tuple<const char*, int, const char*> cases[] = {
        {"--simulate -- list", Success, "sim:hid0\tapplication"},
        {"--simulate -- update @image.bin", Success, "Firmware update complete"},
        {"--simulate list -- --json", Usage, "unexpected argument '--json'"},
        {"--simulate -- --json list", Usage, "unknown command '--json'"},
        {"--simulate update @image.bin -- @image.bin", Usage, "unexpected argument"},
    };
    for (const auto& [arguments, status, says] : cases) {
        SCOPED_TRACE(arguments);
        const CliRun r(arguments, "");
        EXPECT_EQ(r.status, status) << r.err.str();
        EXPECT_NE((r.out.str() + r.err.str()).find(says), std::string::npos) << r.err.str();
    }
}

#ifndef _WIN32
// A dump replaces an earlier one with the earlier file's permissions, and a new one takes the
// umask's.
TEST(Untruths, AReplacedDumpKeepsTheEarlierFilesPermissions) {
    const mode_t umask = ::umask(022);
    for (const auto& [earlier, expected] : {std::pair(0600, 0600), {0640, 0640}, {-1, 0644}}) {
        SCOPED_TRACE(earlier);
        const CliRun r("--simulate dump @flash.bin", "", nullptr, [&](const fs::path& folder) {
            if (earlier >= 0) {
                writeFile(folder / "flash.bin", {1, 2, 3});
                ::chmod((folder / "flash.bin").c_str(), static_cast<mode_t>(earlier));
            }
        });
        EXPECT_EQ(r.status, Success) << r.err.str();
        struct stat dump {};
        ASSERT_EQ(::stat((r.folder.path() / "flash.bin").c_str(), &dump), 0);
        EXPECT_EQ(dump.st_mode & 07777, static_cast<mode_t>(expected));
    }
    ::umask(umask);
}

// A link swapped while the dump reads: the file checked at the start is replaced, nothing else,
// and the message counts what was written into it.
TEST(Untruths, ALinkSwappedDuringADumpRedirectsNothing) {
    auto bus = std::make_shared<SimulatedBus>(SimulatedBus::Clock::Virtual);
    bus->addDevice({});
    fs::path folder;
    bus->setTranscriptObserver([&, reports = 0](const simulator::TranscriptEntry&) mutable {
        if (++reports == 100) {
            fs::remove(folder / "flash.bin");
            fs::create_symlink("other.bin", folder / "flash.bin");
        }
    });
    const CliRun r("--simulate dump @flash.bin", "", bus, [&](const fs::path& at) {
        folder = at;
        writeFile(at / "other.bin", {1, 2, 3});
        fs::create_symlink("checked.bin", at / "flash.bin");
    });
    EXPECT_EQ(r.status, Success) << r.err.str();
    EXPECT_EQ(r.out.str(),
              r.substitute("Flash dump complete: 1048576 bytes written to @flash.bin.\n"));
    EXPECT_EQ(fs::file_size(folder / "checked.bin"), 1048576u);
    EXPECT_EQ(readFile(folder / "other.bin"), (firmware::testing::Bytes{1, 2, 3}));
}
#endif

}  // namespace
}  // namespace fwu::cli::test
