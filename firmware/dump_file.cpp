#include "firmware/dump_file.h"

#include <utility>

namespace fwu::firmware {

namespace {

// Blocks are collected and written in pieces of this size, not one system call per byte.
constexpr std::size_t WriteChunkSize = 64 * 1024;
constexpr const char* PartialSuffix = ".part";

}  // namespace

DumpFile::DumpFile(platform::FilePlace target)
    : target_(std::move(target)), partialPath_(partialPathFor(target_.path())) {}

std::filesystem::path DumpFile::partialPathFor(const std::filesystem::path& target) {
    std::filesystem::path partial = target;
    partial += PartialSuffix;
    return partial;
}

bool DumpFile::create(std::error_code& error) {
    partial_ = target_.sibling(partialPath_.filename(), error);
    if (!partial_ || !partial_->remove(error))
        return false;
    file_ = partial_->createNew(target_.permissions(), error);
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
    if (written)
        bytesWritten_ += pending_.size();
    pending_.clear();
    return written;
}

bool DumpFile::writeOut(std::error_code& error) {
    return writePending(error) && file_->flushToDisk(error) && file_->close(error);
}

bool DumpFile::replaceTarget(std::error_code& error) {
    return partial_->moveOnto(target_, error);
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
        (void)partial_->remove(ignored);
}

}  // namespace fwu::firmware
