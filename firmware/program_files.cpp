#include "firmware/program_files.h"

#include <system_error>

namespace fwu::firmware {

std::filesystem::path ProgramFiles::path(ProgramFile file) const {
    switch (file) {
        case ProgramFile::UpdateImage:
            return updateImage();
        case ProgramFile::DownloadImage:
            return downloadImage();
        case ProgramFile::DumpFile:
            break;
    }
    return dumpFile();
}

std::optional<std::filesystem::path>& ProgramFiles::overrideOf(ProgramFile file) {
    switch (file) {
        case ProgramFile::UpdateImage:
            return updateImageOverride;
        case ProgramFile::DownloadImage:
            return downloadImageOverride;
        case ProgramFile::DumpFile:
            break;
    }
    return dumpFileOverride;
}

bool imageFileExists(const std::filesystem::path& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status);
}

std::uint64_t fileSizeOrZero(const std::filesystem::path& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

}  // namespace fwu::firmware
