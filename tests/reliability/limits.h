#pragma once

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>

namespace fwu::reliability {

// Limits the build machines lack, each for the life of an object: the tests run there as root,
// whom file modes do not stop, on disks that do not fill up.

// Root without its right to pass over file modes (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH).
struct FileModesEnforced {
    FileModesEnforced() { EXPECT_TRUE(passOverFileModes(false)); }
    ~FileModesEnforced() { passOverFileModes(true); }
    static bool passOverFileModes(bool allowed) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3]{};
        constexpr std::uint32_t passOver = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
        if (syscall(SYS_capget, &header, sets) != 0)
            return false;
        sets[0].effective = allowed ? sets[0].effective | passOver : sets[0].effective & ~passOver;
        return syscall(SYS_capset, &header, sets) == 0;
    }
};

// A tmpfs at `folder`, in a mount namespace of the test process's own so that it goes away with
// the process whatever happens.
struct ScratchMount {
    ScratchMount(const std::filesystem::path& at, std::size_t bytes) : folder(at) {
        static const bool privateMounts =
            unshare(CLONE_NEWNS) == 0 && mount("", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        mounted = privateMounts && mount("fwu", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~ScratchMount() { umount2(folder.c_str(), MNT_DETACH); }
    std::filesystem::path folder;
    bool mounted;
};

// Writes past `bytes` into any file fail with "File too large" instead of ending the process.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        const rlimit limited{bytes, previous.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &previous); }
    rlimit previous{};
};

}  // namespace fwu::reliability
