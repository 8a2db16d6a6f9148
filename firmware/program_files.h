#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

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

// A file a run of the program reads or writes, in the role the texts name it by.
struct FileRole {
    std::string what;  // "the image", "the trace file"
    std::filesystem::path path;
    bool written = true;  // false for a file only read, which may have several roles
};

// The roles of the program's files that `used` names: an image, or the dump file and the
// partial file it is written into first.
std::vector<FileRole> fileRoles(const ProgramFiles& files, std::span<const ProgramFile> used);

// A message when two of `roles` are one file that at least one of them writes, whichever names and
// links lead to it (the same device and inode, on Windows the same file index; for files not there
// yet, the same name in the same folder); nothing when each has a file of its own. A path whose
// place cannot be found is passed over: opening it will say why.
std::optional<std::string> fileInTwoRoles(const std::vector<FileRole>& roles);

// True when the path names something that exists (a file or a folder).
bool imageFileExists(const std::filesystem::path& path);
// The size of the file at `path`, or 0 when it cannot be told.
std::uint64_t fileSizeOrZero(const std::filesystem::path& path);

}  // namespace fwu::firmware
