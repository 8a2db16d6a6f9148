#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include "firmware/operation_steps.h"
#include "tests/reliability/limits.h"
#include "tests/reliability/rig.h"

// Images that are not what they seem; dumps into a folder or onto a disk that will not take
// them, over a link planted at their partial file, or out of a folder that vanishes.
namespace fwu::reliability {
namespace {

using Path = const fs::path&;
using Limit = std::shared_ptr<void>;  // a limit set for the life of a case

void sparse(Path path, std::uintmax_t size) {
    writeFile(path, {});
    fs::resize_file(path, size);
}

TEST(HostileFiles, AnImageThatIsNotAnImageIsRefusedBeforeAnythingIsSent) {
    const std::string tooLarge = "larger than the largest image the device takes";  // the flash
    const std::tuple<const char*, std::function<void(Path)>, std::string> cases[] = {
        // what the image is, how it is made, what the refusal says
        {"a link to /dev/zero", [](Path image) { fs::create_symlink("/dev/zero", image); },
         "is not a file"},
        {"a named pipe", [](Path image) { ASSERT_EQ(mkfifo(image.c_str(), 0644), 0); },
         "is not a file"},
        {"a link to nothing", [](Path image) { fs::create_symlink("nothing", image); },
         "Cannot find"},
        {"gone since start-up", [](Path) {}, "Cannot find"},
        {"64 MiB and 1 byte, sparse",
         [](Path image) { sparse(image, firmware::LargestImageInMemory + 1); }, tooLarge},
        {"2 GiB, sparse", [](Path image) { sparse(image, std::uintmax_t{2} << 30); }, tooLarge},
        {"unreadable",
         [](Path image) {
             sparse(image, 1);
             fs::permissions(image, fs::perms::none);
         },
         "cannot be read"},
    };
    const FileModesEnforced modes;
    for (const Operation* operation : {&Update, &Download, &Upgrade}) {
        for (const auto& [name, make, says] : cases) {
            SCOPED_TRACE(std::string(operation->name) + ", an image that is " + name);
            OperationRig rig;
            prepare(rig, *operation);
            fs::remove(rig.file(operation->image));
            make(rig.file(operation->image));

            const OperationResult result = run(rig, *operation);

            EXPECT_EQ(result.outcome, Outcome::FileProblem);
            EXPECT_THAT(result.message, HasSubstr(says));
            EXPECT_THAT(result.message, HasSubstr("Nothing was sent to the device"));
            rig.expectRefusedQuietly(result);
            EXPECT_TRUE(rig.link.isOpen()) << "a refusal leaves the connection as it was";
        }
    }
}

// A dump of the whole flash into a folder or onto a disk that will not take it, over a link
// planted at its partial file, or out of a folder that vanishes. A file named "victim" holds what
// the link would overwrite. (What sits at Ombrel.bin itself is the operations tests' concern.)
TEST(HostileFiles, TheEarlierDumpSurvivesEveryFailureAndNoLinkIsFollowed) {
    using Rig = OperationRig&;
    const auto tmpfs = [](std::size_t bytes, unsigned long readOnly) {
        return [=](Rig rig, Limit& limit) {
            const auto mount = std::make_shared<ScratchMount>(rig.folder.path(), bytes);
            if (!mount->mounted)
                GTEST_SKIP() << "No tmpfs can be mounted here for the rest of the cases.";
            limit = mount;
            writeFile(rig.file("victim"), EarlierDump);
            writeFile(dumpFile(rig), EarlierDump);
            ::mount(nullptr, rig.folder.path().c_str(), nullptr, MS_REMOUNT | readOnly, nullptr);
        };
    };
    const std::string writable = "Make sure the program's folder can be written";
    const std::tuple<const char*, std::function<void(Rig, Limit&)>, std::string> cases[] = {
        // what the dump meets, how it is set up, what the message says (nothing: it succeeds)
        {"a read-only folder",
         [](Rig rig, Limit&) {
             fs::permissions(rig.folder.path(), fs::perms::owner_write, fs::perm_options::remove);
         },
         writable},
        {"a file size limit",
         [](Rig, Limit& limit) { limit = std::make_shared<FileSizeLimit>(200 << 10); },
         "File too large. Ombrel.bin was not changed"},
        {"a link at Ombrel.bin.part",
         [](Rig rig, Limit&) { fs::create_symlink("victim", partialFile(rig)); }, ""},
        {"the folder removed during the dump",
         [](Rig rig, Limit&) {
             rig.host.onCall = [&rig](const HostCall& call) {
                 if (call.call == Call::ProcessEvents)
                     fs::remove_all(rig.folder.path());
             };
         },
         "."},
        // Last, as they need a tmpfs:
        {"a read-only file system", tmpfs(64 << 10, MS_RDONLY), writable},
        {"a disk that fills up", tmpfs(256 << 10, 0),
         "No space left on device. Ombrel.bin was not changed"},
    };
    const FileModesEnforced modes;
    for (const auto& [name, plant, says] : cases) {
        SCOPED_TRACE(name);
        OperationRig rig;
        prepare(rig, Dump);
        rig.settings.dumpBlockCount = protocol::BlockCount;
        writeFile(rig.file("victim"), EarlierDump);
        Limit limit;
        plant(rig, limit);
        if (IsSkipped())
            return;
        const Bytes before = readFile(dumpFile(rig));

        const OperationResult result = run(rig, Dump);

        const bool succeeded = says.empty();
        EXPECT_EQ(result.outcome, succeeded ? Outcome::Succeeded : Outcome::FileProblem);
        EXPECT_THAT(result.message, HasSubstr(says));
        EXPECT_EQ(result.message.empty(), succeeded) << "no failure is reported as success";
        if (says == writable)
            rig.expectRefusedQuietly(result);  // before the start report
        else
            EXPECT_EQ(rig.host.texts(Call::SetStatusText), succeeded ? Done : Cleared);
        std::error_code gone;
        fs::permissions(rig.folder.path(), fs::perms::owner_write, fs::perm_options::add, gone);
        if (gone == std::errc::no_such_file_or_directory)
            continue;
        EXPECT_EQ(readFile(rig.file("victim")), EarlierDump) << "no link is followed";
        EXPECT_EQ(readFile(dumpFile(rig)),
                  succeeded ? flashPrefix(rig, protocol::FlashSize) : before);
        // What was read and not written is at most the dump's write buffer.
        const Bytes partial = readFile(partialFile(rig));
        const std::size_t read =
            rig.bus.transcript().empty() ? 0 : (rig.bus.transcript().size() - 1) * 32;
        EXPECT_EQ(partial, flashPrefix(rig, partial.size()));
        EXPECT_LE(succeeded ? 0 : read - partial.size(), 64u << 10);
        EXPECT_EQ(fs::exists(fs::symlink_status(partialFile(rig))), !succeeded && read > 0);
    }
}

}  // namespace
}  // namespace fwu::reliability
