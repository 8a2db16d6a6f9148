#pragma once

#include <filesystem>

namespace fwu::firmware {

inline constexpr const char* UpdateImageName = "Velnor.bin";
inline constexpr const char* DownloadImageName = "Zembrix.bin";
inline constexpr const char* DumpFileName = "Ombrel.bin";

// Every file of the program lives in the program's own folder.
struct ProgramFiles {
    std::filesystem::path folder;

    std::filesystem::path updateImage() const { return folder / UpdateImageName; }
    std::filesystem::path downloadImage() const { return folder / DownloadImageName; }
    std::filesystem::path dumpFile() const { return folder / DumpFileName; }
};

// True when the path names something that exists (a file or a folder).
bool imageFileExists(const std::filesystem::path& path);

}  // namespace fwu::firmware
