#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "firmware/operation_steps.h"
#include "tests/reliability/privileges.h"
#include "tests/reliability/scenarios.h"

// Images that are not what they seem, a program folder that cannot be written, a disk that
// fills up during the dump and links planted where the dump writes.
namespace fwu::reliability {
namespace {

using firmware::DownloadImageName;
using firmware::UpdateImageName;
using firmware::testing::Call;
using firmware::testing::imageBytes;
using firmware::testing::readFile;
using firmware::testing::writeFile;

constexpr Operation ImageOperations[] = {Operation::Update, Operation::Download,
                                         Operation::Upgrade};
constexpr std::uintmax_t TwoGiB = std::uintmax_t{2} << 30;

fs::path imageOf(const OperationRig& rig, Operation operation) {
    return rig.file(operation == Operation::Update ? UpdateImageName : DownloadImageName);
}

void makeSparse(const fs::path& path, std::uintmax_t size) {
    writeFile(path, {});
    fs::resize_file(path, size);
}

void replaceWithLink(const fs::path& path, const fs::path& target) {
    fs::remove(path);
    fs::create_symlink(target, path);
}

struct ImageCase {
    const char* name;
    std::function<void(const fs::path& image)> spoil;
    std::function<std::string(Operation)> says;  // what the refusal says; empty: the run succeeds
};

std::function<std::string(Operation)> saying(std::string text) {
    return [text](Operation) { return text; };
}

std::string tooLarge(Operation operation) {
    return operation == Operation::Update ? "too large to be read into memory"
                                          : "larger than the largest image the device takes";
}

TEST(HostileFiles, AnImageThatIsNotAnImageIsRefusedBeforeAnythingIsSent) {
    const ImageCase cases[] = {
        {"a folder",
         [](const fs::path& image) {
             fs::remove(image);
             fs::create_directory(image);
         },
         saying("is not a file")},
        {"a link to /dev/zero", [](const fs::path& image) { replaceWithLink(image, "/dev/zero"); },
         saying("is not a file")},
        {"a named pipe",
         [](const fs::path& image) {
             fs::remove(image);
             ASSERT_EQ(mkfifo(image.c_str(), 0644), 0);
         },
         saying("is not a file")},
        {"a link to nothing",
         [](const fs::path& image) { replaceWithLink(image, image.string() + ".gone"); },
         saying("Cannot find")},
        {"gone since start-up", [](const fs::path& image) { fs::remove(image); },
         saying("Cannot find")},
        {"0 bytes", [](const fs::path& image) { writeFile(image, {}); }, saying("is empty")},
        {"one byte over what is held in memory, sparse",
         [](const fs::path& image) { makeSparse(image, firmware::LargestImageInMemory + 1); },
         tooLarge},
        {"2 GiB, sparse", [](const fs::path& image) { makeSparse(image, TwoGiB); }, tooLarge},
    };
    for (const Operation operation : ImageOperations) {
        for (const auto& c : cases) {
            SCOPED_TRACE(nameOf(operation) + ", an image that is " + c.name);
            OperationRig rig;
            prepare(rig, operation);
            c.spoil(imageOf(rig, operation));

            const OperationResult result = run(rig, operation);

            EXPECT_EQ(result.outcome, Outcome::FileProblem);
            EXPECT_NE(result.message.find(c.says(operation)), std::string::npos) << result.message;
            EXPECT_NE(result.message.find("Nothing was sent to the device"), std::string::npos);
            rig.expectRefusedQuietly(result);
            EXPECT_TRUE(rig.link.isOpen()) << "a refusal leaves the connection as it was";
        }
    }
}

TEST(HostileFiles, AnUnreadableImageIsRefusedBeforeAnythingIsSent) {
    for (const Operation operation : ImageOperations) {
        SCOPED_TRACE(nameOf(operation));
        OperationRig rig;
        prepare(rig, operation);
        fs::permissions(imageOf(rig, operation), fs::perms::none);
        const FilePermissionsEnforced enforced;
        if (!enforced.enforced()) {
            GTEST_SKIP() << "Running as root without the means to give up root's override of "
                            "file permissions (capset failed): a mode of 000 cannot stop root.";
        }

        const OperationResult result = run(rig, operation);

        EXPECT_EQ(result.outcome, Outcome::FileProblem);
        EXPECT_NE(result.message.find("cannot be read"), std::string::npos) << result.message;
        rig.expectRefusedQuietly(result);
    }
}

// One byte is one record read for the update, and one zero-padded record for the download.
TEST(HostileFiles, AOneByteImageGoesAsOneRecord) {
    for (const Operation operation : ImageOperations) {
        SCOPED_TRACE(nameOf(operation));
        OperationRig rig;
        prepare(rig, operation);
        writeFile(imageOf(rig, operation), {0xA5});

        const OperationResult result = run(rig, operation);

        EXPECT_EQ(result.outcome, Outcome::Succeeded) << result.message;
        const auto device = rig.bus.state(rig.devicePath);
        if (operation == Operation::Update) {
            EXPECT_EQ(device.announcedRecordCount, 1);
            EXPECT_TRUE(device.finishedComplete);
            EXPECT_EQ(device.flash[0], 0xA5);
        } else {
            Bytes record(protocol::ImageRecordSize, 0);
            record[0] = 0xA5;
            EXPECT_EQ(device.bootloaderImage, record);
        }
    }
}

// --- The dump's folder and files ---------------------------------------------------------

void expectDumpRefusedBeforeTheDevice(OperationRig& rig, const OperationResult& result) {
    EXPECT_EQ(result.outcome, Outcome::FileProblem);
    EXPECT_NE(result.message.find("Make sure the program's folder can be written"),
              std::string::npos)
        << result.message;
    rig.expectRefusedQuietly(result);
}

TEST(HostileFiles, ADumpIntoAReadOnlyFolderIsRefusedBeforeTheStartReport) {
    OperationRig rig;
    prepare(rig, Operation::Dump);
    fs::permissions(rig.folder.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                           fs::perms::group_read | fs::perms::group_exec);
    const FilePermissionsEnforced enforced;
    if (!enforced.enforced()) {
        fs::permissions(rig.folder.path(), fs::perms::owner_all);
        GTEST_SKIP() << "Running as root without the means to give up root's override of file "
                        "permissions (capset failed): a mode of 555 cannot stop root.";
    }

    const OperationResult result = run(rig, Operation::Dump);

    expectDumpRefusedBeforeTheDevice(rig, result);
    EXPECT_EQ(readFile(dumpFile(rig)), earlierDump());
    fs::permissions(rig.folder.path(), fs::perms::owner_all);
}

TEST(HostileFiles, ADumpIntoAReadOnlyFileSystemIsRefusedBeforeTheStartReport) {
    OperationRig rig;
    const ScratchMount readOnly(rig.folder.path(), 64 * 1024, true);
    if (!readOnly.mounted())
        GTEST_SKIP() << "No read-only file system to try: " << readOnly.why();
    rig.settings.dumpBlockCount = DumpBlocks;
    rig.plugIn();

    const OperationResult result = run(rig, Operation::Dump);

    expectDumpRefusedBeforeTheDevice(rig, result);
    EXPECT_FALSE(fs::exists(dumpFile(rig)));
}

// The disk fills up part of the way through a dump of the whole flash.
void expectFullDiskHandled(OperationRig& rig, const OperationResult& result, const char* says) {
    EXPECT_EQ(result.outcome, Outcome::FileProblem);
    EXPECT_NE(result.message.find(says), std::string::npos) << result.message;
    EXPECT_NE(result.message.find("Ombrel.bin was not changed"), std::string::npos);
    EXPECT_EQ(readFile(dumpFile(rig)), earlierDump());
    // The read stops with the write that failed: what was read and not written is at most the
    // dump's write buffer.
    const std::size_t blocksRead = rig.bus.transcript().size() - 1;
    const std::size_t bytesKept = fs::file_size(partialDumpFile(rig));
    EXPECT_LT(blocksRead, protocol::BlockCount);
    EXPECT_GE(blocksRead * protocol::BlockSize, bytesKept);
    EXPECT_LE(blocksRead * protocol::BlockSize - bytesKept, 64u * 1024);
    EXPECT_EQ(readFile(partialDumpFile(rig)), flashPrefix(rig, bytesKept));
    EXPECT_TRUE(rig.host.texts(Call::SetStatusText) == std::vector<std::string>{""});
    EXPECT_EQ(rig.host.count(Call::ClearProgress), 1u);
}

TEST(HostileFiles, AFullDiskDuringTheDumpKeepsTheEarlierFile) {
    OperationRig rig;
    const ScratchMount small(rig.folder.path(), 256 * 1024, false);
    if (!small.mounted())
        GTEST_SKIP() << "No small file system to fill: " << small.why();
    rig.plugIn();
    writeFile(dumpFile(rig), earlierDump());

    const OperationResult result = rig.operations().dump();

    expectFullDiskHandled(rig, result, "No space left on device");
}

TEST(HostileFiles, AWriteThatFailsDuringTheDumpKeepsTheEarlierFile) {
    OperationRig rig;
    rig.plugIn();
    writeFile(dumpFile(rig), earlierDump());
    OperationResult result;
    {
        const FileSizeLimit limit(200 * 1024);
        result = rig.operations().dump();
    }
    expectFullDiskHandled(rig, result, "File too large");
}

struct PlantedCase {
    const char* name;
    std::function<void(const OperationRig&, const fs::path& victim)> plant;
};

// Links planted at the partial file are replaced, never written through. (A link at Ombrel.bin
// names the file the dump replaces: tests/firmware/dump_target_test.cpp.)
TEST(HostileFiles, LinksPlantedAtTheDumpFilesAreNeverFollowed) {
    const PlantedCase cases[] = {
        {"a link at Ombrel.bin.part",
         [](const OperationRig& rig, const fs::path& victim) {
             fs::create_symlink(victim, partialDumpFile(rig));
         }},
        {"a link at Ombrel.bin.part to a file that does not exist yet",
         [](const OperationRig& rig, const fs::path& victim) {
             fs::remove(victim);
             fs::create_symlink(victim, partialDumpFile(rig));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OperationRig rig;
        prepare(rig, Operation::Dump);
        const fs::path victim = rig.folder.path() / "victim";
        const Bytes victimBytes = imageBytes(100, 5);
        writeFile(victim, victimBytes);
        c.plant(rig, victim);
        const bool victimExisted = fs::exists(victim);

        const OperationResult result = run(rig, Operation::Dump);

        EXPECT_EQ(result.outcome, Outcome::Succeeded) << result.message;
        EXPECT_EQ(fs::exists(victim), victimExisted);
        if (victimExisted) {
            EXPECT_EQ(readFile(victim), victimBytes);
        }
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dumpFile(rig))));
        EXPECT_EQ(readFile(dumpFile(rig)), flashPrefix(rig, DumpBlocks * 32));
        EXPECT_FALSE(fs::exists(fs::symlink_status(partialDumpFile(rig))));
    }
}

TEST(HostileFiles, AFolderInThePlaceOfThePartialFileIsRefusedBeforeTheDevice) {
    {
        SCOPED_TRACE("a folder at Ombrel.bin.part");
        OperationRig rig;
        prepare(rig, Operation::Dump);
        fs::create_directory(partialDumpFile(rig));

        const OperationResult result = run(rig, Operation::Dump);

        expectDumpRefusedBeforeTheDevice(rig, result);
        EXPECT_EQ(readFile(dumpFile(rig)), earlierDump());
    }
}

// The program's folder disappears while the dump reads: the dump cannot be put in place, and
// it says so instead of reporting success.
TEST(HostileFiles, AFolderThatVanishesDuringTheDumpIsNoSuccess) {
    OperationRig rig;
    prepare(rig, Operation::Dump);
    const fs::path folder = rig.folder.path() / "program";
    fs::create_directory(folder);
    rig.host.onCall = [&](const firmware::testing::HostCall& call) {
        if (call.call == Call::ProcessEvents && fs::exists(folder))
            fs::remove_all(folder);
    };
    firmware::FirmwareOperations operations(rig.link, rig.host, firmware::ProgramFiles{folder},
                                            rig.settings);

    const OperationResult result = operations.dump();

    EXPECT_EQ(result.outcome, Outcome::FileProblem);
    EXPECT_FALSE(result.message.empty());
    EXPECT_TRUE(rig.host.texts(Call::SetStatusText) == std::vector<std::string>{""});
}

}  // namespace
}  // namespace fwu::reliability
