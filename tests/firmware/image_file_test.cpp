#include "firmware/image_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fwu::firmware {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes imageOf(std::size_t size) {
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i)
        image[i] = static_cast<std::uint8_t>(i + 1);
    return image;
}

// What a loop hands on: each record, and how many image bytes it holds (the rest must be 0).
std::vector<device::ImageRecord> sentBy(bool readThenSend, const Bytes& image) {
    std::vector<device::ImageRecord> sent;
    auto collect = [&](const device::ImageRecord& record) {
        sent.push_back(record);
        return true;
    };
    if (readThenSend) {
        forEachRecordReadThenSend(image, collect);
    } else {
        forEachRecordReadThenCheck(image, collect);
    }
    return sent;
}

device::ImageRecord expectedRecord(const Bytes& image, std::size_t index) {
    device::ImageRecord record{};
    for (std::size_t k = 0; k < 40 && index * 40 + k < image.size(); ++k) {
        record[k] = image[index * 40 + k];
    }
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
    // download sends a partial last record zero-padded but never an empty one.
    const Case cases[] = {
        {0, 0, 0, 0}, {30, 1, 1, 1}, {40, 2, 2, 1}, {80, 3, 3, 2}, {85, 3, 3, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const Bytes image = imageOf(c.size);
        EXPECT_EQ(countRecordReads(image), c.count);
        for (const bool readThenSend : {true, false}) {
            const auto sent = sentBy(readThenSend, image);
            ASSERT_EQ(sent.size(), readThenSend ? c.sentReadThenSend : c.sentReadThenCheck);
            for (std::size_t i = 0; i < sent.size(); ++i) {
                EXPECT_EQ(sent[i], expectedRecord(image, i)) << "record " << i;
            }
        }
    }
}

TEST(RecordReader, ShortReadLeavesNothingOfThePreviousRecord) {
    const Bytes image = imageOf(45);
    RecordReader reader(image);
    device::ImageRecord record{};
    EXPECT_EQ(reader.readRecord(record), 40u);
    EXPECT_FALSE(reader.atEnd());
    EXPECT_EQ(reader.readRecord(record), 5u);
    EXPECT_TRUE(reader.atEnd());
    EXPECT_EQ(record, expectedRecord(image, 1));
}

TEST(RecordLoops, StopWhenTheSenderFails) {
    const Bytes image = imageOf(200);
    int calls = 0;
    EXPECT_FALSE(forEachRecordReadThenSend(image, [&](const auto&) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);
}

class LoadImage : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ =
            fs::temp_directory_path() /
            ("fwu-image-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    fs::path write(const char* name, const Bytes& bytes) {
        std::ofstream(folder_ / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return folder_ / name;
    }
    fs::path folder_;
};

TEST_F(LoadImage, ReadsTheWholeFile) {
    const auto path = write("image.bin", imageOf(85));
    const auto load = loadImage(path, 1000);
    EXPECT_EQ(load.error, ImageError::None);
    EXPECT_EQ(load.bytes, imageOf(85));
}

TEST_F(LoadImage, RefusesWhatIsNotAReadableImageAndNeverCreatesAFile) {
    fs::create_directory(folder_ / "folder.bin");
    write("empty.bin", {});
    write("big.bin", imageOf(101));
    const std::pair<const char*, ImageError> cases[] = {
        {"missing.bin", ImageError::Missing},
        {"folder.bin", ImageError::NotRegularFile},
        {"empty.bin", ImageError::Empty},
        {"big.bin", ImageError::TooLarge},
    };
    for (const auto& [name, error] : cases) {
        EXPECT_EQ(loadImage(folder_ / name, 100).error, error) << name;
    }
    EXPECT_FALSE(fs::exists(folder_ / "missing.bin"));
}

}  // namespace
}  // namespace fwu::firmware
