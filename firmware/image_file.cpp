#include "firmware/image_file.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace fwu::firmware {

namespace fs = std::filesystem;

ImageLoad loadImage(const fs::path& path, std::uintmax_t maxSize) {
    std::error_code error;
    const auto status = fs::status(path, error);
    if (error || !fs::exists(status))
        return {ImageError::Missing, {}};
    if (!fs::is_regular_file(status))
        return {ImageError::NotRegularFile, {}};
    const auto size = fs::file_size(path, error);
    if (error)
        return {ImageError::Unreadable, {}};
    if (size > maxSize)
        return {ImageError::TooLarge, {}};

    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {ImageError::Unreadable, {}};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (file.gcount() != static_cast<std::streamsize>(bytes.size())) {
        return {ImageError::Unreadable, {}};
    }
    // The file may have grown since its size was taken; what was read is the image.
    if (bytes.empty())
        return {ImageError::Empty, {}};
    return {ImageError::None, std::move(bytes)};
}

std::size_t RecordReader::readRecord(device::ImageRecord& record) {
    const std::size_t available = image_.size() - position_;
    const std::size_t filled = std::min(available, record.size());
    std::copy_n(image_.begin() + static_cast<std::ptrdiff_t>(position_), filled, record.begin());
    std::fill(record.begin() + static_cast<std::ptrdiff_t>(filled), record.end(), std::uint8_t{0});
    position_ += filled;
    if (filled < record.size())
        atEnd_ = true;
    return filled;
}

std::uint64_t countRecordReads(std::span<const std::uint8_t> image) {
    if (image.empty())
        return 0;
    return image.size() / protocol::ImageRecordSize + 1;
}

}  // namespace fwu::firmware
