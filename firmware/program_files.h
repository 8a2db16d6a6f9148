#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace fwu::firmware {

inline constexpr const char* UpdateImageName = "Velnor.bin";
inline constexpr const char* DownloadImageName = "Zembrix.bin";
inline constexpr const char* DumpFileName = "Ombrel.bin";

// The program's files, each of which an operation may read or write.
enum class ProgramFile { UpdateImage, DownloadImage, DumpFile };

// Where the path of one of the program's files came from: its default place in the program's own
// folder, or given explicitly (on the command line). The messages advise on each differently.
enum class FileOrigin { ProgramFolder, Given };

// Every file of the program lives in the program's own folder, unless the command line names
// one explicitly: a path given there replaces that one file, the others stay in the folder.
struct ProgramFiles {
    std::filesystem::path folder;
    std::optional<std::filesystem::path> updateImageOverride = {};
    std::optional<std::filesystem::path> downloadImageOverride = {};
    std::optional<std::filesystem::path> dumpFileOverride = {};

    std::filesystem::path updateImage() const {
        return updateImageOverride.value_or(folder / UpdateImageName);
    }
    std::filesystem::path downloadImage() const {
        return downloadImageOverride.value_or(folder / DownloadImageName);
    }
    std::filesystem::path dumpFile() const {
        return dumpFileOverride.value_or(folder / DumpFileName);
    }
    FileOrigin updateImageOrigin() const { return originOf(updateImageOverride); }
    FileOrigin downloadImageOrigin() const { return originOf(downloadImageOverride); }
    FileOrigin dumpFileOrigin() const { return originOf(dumpFileOverride); }

    std::filesystem::path path(ProgramFile file) const;
    // The path given for `file`, in place of its default in the folder.
    std::optional<std::filesystem::path>& overrideOf(ProgramFile file);

    // Every file in a folder the user named instead of the program's own: the messages then
    // treat each file as given, naming it and advising on it as such.
    static ProgramFiles inGivenFolder(const std::filesystem::path& given) {
        return {given, given / UpdateImageName, given / DownloadImageName, given / DumpFileName};
    }

  private:
    static FileOrigin originOf(const std::optional<std::filesystem::path>& given) {
        return given ? FileOrigin::Given : FileOrigin::ProgramFolder;
    }
};

// True when the path names something that exists (a file or a folder).
bool imageFileExists(const std::filesystem::path& path);
// The size of the file at `path`, or 0 when it cannot be told.
std::uint64_t fileSizeOrZero(const std::filesystem::path& path);

}  // namespace fwu::firmware
