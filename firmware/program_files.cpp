#include "firmware/program_files.h"

#include <system_error>

namespace fwu::firmware {

bool imageFileExists(const std::filesystem::path& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status);
}

}  // namespace fwu::firmware
