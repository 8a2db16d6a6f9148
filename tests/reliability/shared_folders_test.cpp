// Files the command line writes in folders others can write to, and a log on a disk that fills.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/result_lines.h"
#include "tests/cli/cli_run.h"
#include "tests/reliability/limits.h"
#include "tests/reliability/rig.h"

namespace fwu::reliability {
namespace {

using cli::test::CliRun;

constexpr uid_t OtherUser = 65534, FolderOwner = 1000;
const std::string Victim = "victim\n";

// A link planted at `link` to `target`, owned by `owner`, as that user would leave it.
void plant(const fs::path& target, const fs::path& link, uid_t owner) {
    fs::create_symlink(target, link);
    ASSERT_EQ(::lchown(link.c_str(), owner, owner), 0);
}

// The dump, the log and the trace, each written to @shared/out.bin in a sticky folder that every
// user may write to (as /tmp is), or through a link on the way there. A link that another user
// left there is not followed, dangling or not; one of the user's own or of the folder's owner
// is, as is any link outside such a folder.
TEST(SharedFolders, ALinkAnotherUserLeftInASharedFolderIsNotFollowed) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "Planting another user's links takes root (lchown).";
    const char* commands[] = {"dump @shared/out.bin", "--log @shared/out.bin erase",
                              "--trace @shared/out.bin erase"};
    const std::tuple<const char*, std::function<void(const fs::path&)>, bool> cases[] = {
        // what is planted, how, whether the command writes the victim
        {"another user's link",
         [](const fs::path& at) { plant(at / "victim.bin", at / "shared/out.bin", OtherUser); },
         false},
        {"another user's link to nothing",
         [](const fs::path& at) { plant(at / "created.bin", at / "shared/out.bin", OtherUser); },
         false},
        {"another user's link on the way",
         [](const fs::path& at) {
             fs::remove(at / "shared/out.bin");
             fs::create_directory(at / "private");
             plant(at / "private", at / "shared/link", OtherUser);
             fs::rename(at / "victim.bin", at / "private/out.bin");
         },
         false},
        {"the user's own link",
         [](const fs::path& at) { plant(at / "victim.bin", at / "shared/out.bin", 0); }, true},
        {"the folder owner's link",
         [](const fs::path& at) {
             ASSERT_EQ(::chown((at / "shared").c_str(), FolderOwner, FolderOwner), 0);
             plant(at / "victim.bin", at / "shared/out.bin", FolderOwner);
         },
         true},
        {"another user's link in a folder that is not shared",
         [](const fs::path& at) {
             fs::permissions(at / "shared", fs::perms::sticky_bit | fs::perms::others_write,
                             fs::perm_options::remove);
             plant(at / "victim.bin", at / "shared/out.bin", OtherUser);
         },
         true},
    };
    for (const char* command : commands) {
        for (const auto& [name, setUp, followed] : cases) {
            SCOPED_TRACE(std::string(command) + ", " + name);
            std::string arguments = "--simulate " + std::string(command);
            if (std::string(name).ends_with("on the way"))
                arguments.replace(arguments.find("shared/out"), 10, "shared/link/out");
            const CliRun r(arguments, "", nullptr, [&](const fs::path& at) {
                fs::create_directory(at / "shared");
                fs::permissions(at / "shared", fs::perms::all | fs::perms::sticky_bit);
                writeFile(at / "victim.bin", Bytes(Victim.begin(), Victim.end()));
                setUp(at);
            });
            const fs::path victim = fs::exists(r.folder.path() / "private")
                                        ? r.folder.path() / "private/out.bin"
                                        : r.folder.path() / "victim.bin";
            const bool untouched = readFile(victim) == Bytes(Victim.begin(), Victim.end());
            EXPECT_EQ(untouched, !followed);
            EXPECT_EQ(r.status, followed ? 0 : cli::test::FileProblem) << r.err.str();
            if (!followed) {
                EXPECT_THAT(r.err.str(), HasSubstr("was not followed")) << r.err.str();
                EXPECT_THAT(r.err.str(), HasSubstr(r.substitute("The link @shared/")));
                EXPECT_FALSE(fs::exists(r.folder.path() / "created.bin"));
                EXPECT_TRUE(r.bus->transcript().empty());
            }
        }
    }
}

// A result line that a full disk or the file size limit cuts short is cut off again, whole, told
// on standard error at once, and the next line is appended once there is room.
TEST(SharedFolders, ALogLineIsAppendedWholeOrNotAtAll) {
    using MakeRoom = std::function<void()>;
    const Bytes earlier(4000, 'e');  // a page of the disk, but for 96 bytes
    // Each writes the log's earlier lines, then leaves no room for more.
    const std::tuple<const char*, std::function<MakeRoom(const fs::path&)>> cases[] = {
        {"a file size limit",
         [&](const fs::path& log) -> MakeRoom {
             writeFile(log, earlier);
             auto limit = std::make_shared<FileSizeLimit>(4096);
             return [limit]() mutable { limit.reset(); };
         }},
        {"a disk that fills up",  // last: it needs a tmpfs
         [&](const fs::path& log) -> MakeRoom {
             auto mount = std::make_shared<ScratchMount>(log.parent_path(), 64 << 10);
             if (!mount->mounted)
                 return {};
             writeFile(log, earlier);
             const fs::path filler = log.parent_path() / "filler";
             std::ofstream fill(filler, std::ios::binary);
             for (std::size_t kib = 0; kib < 64 && fill; ++kib)
                 fill << std::string(1024, 'f') << std::flush;
             return [mount, filler] { fs::remove(filler); };
         }},
    };
    for (const auto& [name, fill] : cases) {
        SCOPED_TRACE(name);
        TempFolder scratch;
        const fs::path path = scratch.path() / "disk/log";
        fs::create_directory(path.parent_path());
        const MakeRoom makeRoom = fill(path);
        if (!makeRoom)
            GTEST_SKIP() << "No tmpfs can be mounted here for the rest of the cases.";
        platform::PlaceProblem problem;
        auto log = platform::LineLog::open(path, problem);
        ASSERT_TRUE(log) << problem.error.message();
        std::ostringstream err;
        cli::ResultLines results(nullptr, cli::ResultLines::Log{std::move(*log), path}, err);

        const std::string cut(300, 'c'), whole = "{\"outcome\":\"succeeded\"}";
        results.write(cut);
        EXPECT_EQ(readFile(path), earlier);
        EXPECT_THAT(err.str(),
                    HasSubstr("Cannot append a result to the log file " + path.string()));
        EXPECT_THAT(err.str(), HasSubstr(cut));
        makeRoom();
        results.write(whole);
        Bytes logged = earlier;
        logged.insert(logged.end(), whole.begin(), whole.end());
        logged.push_back('\n');
        EXPECT_EQ(readFile(path), logged);
        EXPECT_TRUE(results.logIncomplete());
    }
}

}  // namespace
}  // namespace fwu::reliability
