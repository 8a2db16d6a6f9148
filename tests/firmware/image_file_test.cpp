#include "firmware/image_file.h"

#include <gtest/gtest.h>

#include "operations_fixture.h"

namespace fwu::firmware::testing {
namespace {

// Record `index` of `image`, zero-padded: what a loop must hand on.
device::ImageRecord paddedRecord(const Bytes& image, std::size_t index) {
    device::ImageRecord record{};
    const auto bytes = recordOf(image, index);
    std::copy(bytes.begin(), bytes.end(), record.begin());
    return record;
}

TEST(RecordLoops, SendTheRecordsEachShapeDefines) {
    struct Case {
        std::size_t size;
        std::uint64_t count;
        std::size_t sentReadThenSend;
        std::size_t sentReadThenCheck;
    };
    // The update sends every read, the empty one after a whole last record included; the
    // download sends a partial last record zero-padded but never an empty one. The 85-byte
    // image shows that a short read leaves nothing of the record before.
    const Case cases[] = {
        {0, 0, 0, 0}, {30, 1, 1, 1}, {40, 2, 2, 1}, {80, 3, 3, 2}, {85, 3, 3, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const Bytes image = imageBytes(c.size);
        EXPECT_EQ(countRecordReads(image), c.count);
        for (const bool readThenSend : {true, false}) {
            std::vector<device::ImageRecord> sent;
            const auto collect = [&](const device::ImageRecord& record) {
                sent.push_back(record);
                return true;
            };
            readThenSend ? forEachRecordReadThenSend(image, collect)
                         : forEachRecordReadThenCheck(image, collect);
            ASSERT_EQ(sent.size(), readThenSend ? c.sentReadThenSend : c.sentReadThenCheck);
            for (std::size_t i = 0; i < sent.size(); ++i)
                EXPECT_EQ(sent[i], paddedRecord(image, i)) << "record " << i;
        }
    }
}

TEST(RecordLoops, StopWhenTheSenderFails) {
    int calls = 0;
    EXPECT_FALSE(
        forEachRecordReadThenSend(imageBytes(200), [&](const auto&) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);
}

TEST(LoadImage, ReadsAReadableImageWholeAndRefusesAnythingElseWithoutCreatingAFile) {
    TempFolder folder;
    const auto at = [&](const char* name) { return folder.path() / name; };
    writeFile(at("image.bin"), imageBytes(85));
    fs::create_directory(at("folder.bin"));
    writeFile(at("empty.bin"), {});
    writeFile(at("big.bin"), imageBytes(101));
    const std::pair<const char*, ImageError> cases[] = {
        {"image.bin", ImageError::None},
        {"missing.bin", ImageError::Missing},
        {"folder.bin", ImageError::NotRegularFile},
        {"empty.bin", ImageError::Empty},
        {"big.bin", ImageError::TooLarge},
    };
    for (const auto& [name, error] : cases)
        EXPECT_EQ(loadImage(at(name), 100).error, error) << name;
    EXPECT_EQ(loadImage(at("image.bin"), 100).bytes, imageBytes(85));
    EXPECT_FALSE(fs::exists(at("missing.bin")));
}

}  // namespace
}  // namespace fwu::firmware::testing
