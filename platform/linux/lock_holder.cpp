#include "platform/linux/lock_holder.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace fwu::platform::linux_hid {

namespace {

// The longest comm the kernel keeps; a longer name is cut to it.
constexpr std::size_t CommLength = 15;

std::string fileText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

template <typename T>
std::optional<T> number(std::string_view text, int base = 10) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "00:05:321": major and minor in hexadecimal, the inode in decimal.
std::optional<LockedFile> lockedFile(std::string_view text) {
    const auto first = text.find(':');
    const auto second = text.find(':', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos)
        return std::nullopt;
    const auto major = number<unsigned>(text.substr(0, first), 16);
    const auto minor = number<unsigned>(text.substr(first + 1, second - first - 1), 16);
    const auto inode = number<std::uint64_t>(text.substr(second + 1));
    if (!major || !minor || !inode)
        return std::nullopt;
    return LockedFile{*major, *minor, *inode};
}

}  // namespace

std::optional<std::uint32_t> flockHolderPid(std::string_view lockTable, const LockedFile& file) {
    std::istringstream lines{std::string(lockTable)};
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        const std::vector<std::string> words{std::istream_iterator<std::string>(fields), {}};
        // number, kind, mode, access, pid, file, start, end
        if (words.size() < 6 || words[1] != "FLOCK")
            continue;
        const auto locked = lockedFile(words[5]);
        if (locked && *locked == file) {
            if (const auto pid = number<std::uint32_t>(words[4]))
                return pid;
        }
    }
    return std::nullopt;
}

std::string processName(const std::filesystem::path& proc, std::uint32_t pid) {
    const auto folder = proc / std::to_string(pid);
    std::string comm = fileText(folder / "comm");
    if (!comm.empty() && comm.back() == '\n')
        comm.pop_back();
    if (comm.size() < CommLength)
        return comm;
    const std::string commandLine = fileText(folder / "cmdline");
    const std::string started =
        std::filesystem::path(commandLine.substr(0, commandLine.find('\0'))).filename().string();
    return started.starts_with(comm) ? started : comm;
}

std::optional<DeviceHolder> flockHolder(const std::filesystem::path& proc,
                                        const std::string& path) {
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0)
        return std::nullopt;
    const LockedFile file{::major(node.st_dev), ::minor(node.st_dev), node.st_ino};
    const auto pid = flockHolderPid(fileText(proc / "locks"), file);
    if (!pid)
        return std::nullopt;
    // A holder in another PID namespace shows as process 0.
    if (*pid == 0)
        return DeviceHolder{};
    return DeviceHolder{processName(proc, *pid), *pid};
}

}  // namespace fwu::platform::linux_hid
