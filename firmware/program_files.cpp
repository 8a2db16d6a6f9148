#include "firmware/program_files.h"

#include <system_error>

#include "firmware/dump_file.h"
#include "firmware/messages.h"
#include "platform/file_system.h"

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

std::vector<FileRole> fileRoles(const ProgramFiles& files, std::span<const ProgramFile> used) {
    std::vector<FileRole> roles;
    for (const ProgramFile file : used) {
        if (file != ProgramFile::DumpFile) {
            roles.push_back({"the image", files.path(file), false});
            continue;
        }
        roles.push_back({"the dump file", files.dumpFile()});
        roles.push_back({"the dump's partial file", DumpFile::partialPathFor(files.dumpFile())});
    }
    return roles;
}

std::optional<std::string> fileInTwoRoles(const std::vector<FileRole>& roles) {
    std::vector<std::pair<const FileRole*, platform::FileIdentity>> found;
    for (const FileRole& role : roles) {
        platform::PlaceProblem problem;
        const auto place = platform::FilePlace::find(role.path, problem);
        const auto identity = place ? place->identity() : std::nullopt;
        if (!identity)
            continue;
        for (const auto& [earlier, earlierIdentity] : found) {
            if (earlierIdentity == *identity && (earlier->written || role.written))
                return messages::fileInTwoRoles(earlier->what, earlier->path, role.what, role.path);
        }
        found.emplace_back(&role, *identity);
    }
    return std::nullopt;
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
