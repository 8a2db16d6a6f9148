#include "firmware/dump_file.h"

#include <utility>

namespace fwu::firmware {

namespace {

// Blocks are collected and written in pieces of this size, not one system call per byte.
constexpr std::size_t WriteChunkSize = 64 * 1024;
constexpr const char* PartialSuffix = ".part";

}  // namespace

DumpFile::DumpFile(std::filesystem::path target)
    : target_(std::move(target)), partialPath_(partialPathFor(target_)) {}

std::filesystem::path DumpFile::partialPathFor(const std::filesystem::path& target) {
    std::filesystem::path partial = target;
    partial += PartialSuffix;
    return partial;
}

bool DumpFile::create(std::error_code& error) {
    if (!platform::removeFileEntry(partialPath_, error))
        return false;
    file_ = platform::NewFile::create(partialPath_, error);
    if (!file_)
        return false;
    pending_.reserve(WriteChunkSize);
    return true;
}

bool DumpFile::append(std::span<const std::uint8_t, protocol::BlockSize> block,
                      std::error_code& error) {
    pending_.insert(pending_.end(), block.begin(), block.end());
    bytesAppended_ += block.size();
    if (pending_.size() < WriteChunkSize) {
        error.clear();
        return true;
    }
    return writePending(error);
}

bool DumpFile::writePending(std::error_code& error) {
    if (!file_) {
        error = std::make_error_code(std::errc::bad_file_descriptor);
        return false;
    }
    const bool written = file_->write(pending_, error);
    pending_.clear();
    return written;
}

bool DumpFile::writeOut(std::error_code& error) {
    return writePending(error) && file_->flushToDisk(error) && file_->close(error);
}

bool DumpFile::replaceTarget(std::error_code& error) {
    return platform::replaceFile(partialPath_, target_, error);
}

void DumpFile::abandon() {
    if (!file_ || !file_->isOpen())
        return;
    std::error_code ignored;
    // What was read stays in the partial file; the message says so. Failures here change
    // nothing of that: the target is untouched either way.
    if (writePending(ignored))
        (void)file_->flushToDisk(ignored);
    (void)file_->close(ignored);
    file_.reset();
    if (bytesAppended_ == 0)
        (void)platform::removeFileEntry(partialPath_, ignored);
}

}  // namespace fwu::firmware
