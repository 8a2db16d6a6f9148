#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fwu::cli::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TemporaryFolder {
  public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// Bytes 1, 2, 3, ... (wrapping), so every record of an image differs from its neighbours.
std::vector<std::uint8_t> patternBytes(std::size_t size);
void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> readFile(const std::filesystem::path& path);
std::vector<std::string> readLines(const std::filesystem::path& path);

}  // namespace fwu::cli::test
