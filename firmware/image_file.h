#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "device/reports.h"

namespace fwu::firmware {

enum class ImageError { None, Missing, NotRegularFile, Unreadable, Empty, TooLarge };

struct ImageLoad {
    ImageError error = ImageError::None;
    std::vector<std::uint8_t> bytes;
};

// Reads a whole image file once. A missing, non-regular or unreadable file is an error, never
// an empty image, and reading never creates a file. Files larger than `maxSize` are refused
// without being read.
ImageLoad loadImage(const std::filesystem::path& path, std::uintmax_t maxSize);

// The image as a sequence of 40-byte records. The end-of-file indication is false until a
// read could not fill a whole record, so a pass over a non-empty image makes one read more
// than it has whole records; an empty image makes none.
class RecordReader {
  public:
    explicit RecordReader(std::span<const std::uint8_t> image)
        : image_(image), atEnd_(image.empty()) {}

    bool atEnd() const { return atEnd_; }
    // Reads the next record; positions the image did not fill are zero. Returns the number of
    // image bytes the record holds.
    std::size_t readRecord(device::ImageRecord& record);

  private:
    std::span<const std::uint8_t> image_;
    std::size_t position_ = 0;
    bool atEnd_;
};

// The number of record reads of a pass: S div 40 + 1 for a non-empty image of S bytes.
std::uint64_t countRecordReads(std::span<const std::uint8_t> image);

// Read-then-send (the update): every read is handed on, the one that met the end included.
template <typename SendRecord>
bool forEachRecordReadThenSend(std::span<const std::uint8_t> image, SendRecord&& send) {
    RecordReader reader(image);
    device::ImageRecord record{};
    while (!reader.atEnd()) {
        reader.readRecord(record);
        if (!send(record))
            return false;
    }
    return true;
}

// Read-then-check (the bootloader-mode download): the read that met the end is handed on only
// when it carries image bytes, zero-padded, so a partial last record is never dropped.
template <typename SendRecord>
bool forEachRecordReadThenCheck(std::span<const std::uint8_t> image, SendRecord&& send) {
    RecordReader reader(image);
    device::ImageRecord record{};
    while (!reader.atEnd()) {
        const std::size_t filled = reader.readRecord(record);
        if (reader.atEnd() && filled == 0)
            break;
        if (!send(record))
            return false;
    }
    return true;
}

}  // namespace fwu::firmware
