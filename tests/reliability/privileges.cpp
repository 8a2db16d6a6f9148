#include "tests/reliability/privileges.h"

#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace fwu::reliability {

namespace {

constexpr unsigned PermissionOverrides[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH};

struct CapabilitySets {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
};

bool readCapabilities(CapabilitySets& sets) {
    return syscall(SYS_capget, &sets.header, sets.data) == 0;
}

bool writeCapabilities(CapabilitySets& sets) {
    return syscall(SYS_capset, &sets.header, sets.data) == 0;
}

bool setPermissionOverrides(bool effective) {
    CapabilitySets sets;
    if (!readCapabilities(sets))
        return false;
    for (const unsigned capability : PermissionOverrides) {
        const auto bit = 1u << (capability % 32);
        auto& word = sets.data[capability / 32].effective;
        word = effective ? (word | bit) : (word & ~bit);
    }
    return writeCapabilities(sets);
}

// The test process's own mount namespace, made once; mounts in it are seen by nobody else.
std::string enterPrivateMountNamespace() {
    static const std::string failure = [] {
        if (unshare(CLONE_NEWNS) != 0)
            return std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
        if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("making / private: ") + std::strerror(errno);
        return std::string();
    }();
    return failure;
}

}  // namespace

bool runningAsRoot() {
    return geteuid() == 0;
}

FilePermissionsEnforced::FilePermissionsEnforced() {
    if (!runningAsRoot()) {
        enforced_ = true;
        return;
    }
    dropped_ = setPermissionOverrides(false);
    enforced_ = dropped_;
}

FilePermissionsEnforced::~FilePermissionsEnforced() {
    if (dropped_)
        (void)setPermissionOverrides(true);
}

ScratchMount::ScratchMount(const std::filesystem::path& folder, std::size_t sizeBytes,
                           bool readOnly)
    : folder_(folder) {
    why_ = enterPrivateMountNamespace();
    if (!why_.empty())
        return;
    const std::string options = "size=" + std::to_string(sizeBytes) + ",mode=0755";
    const unsigned long flags = readOnly ? MS_RDONLY : 0;
    if (mount("fwu-scratch", folder.c_str(), "tmpfs", flags, options.c_str()) != 0) {
        why_ = std::string("mounting a tmpfs: ") + std::strerror(errno);
        return;
    }
    mounted_ = true;
}

ScratchMount::~ScratchMount() {
    if (mounted_)
        (void)umount2(folder_.c_str(), MNT_DETACH);
}

FileSizeLimit::FileSizeLimit(std::size_t limitBytes) {
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    previousSoft_ = previous.rlim_cur;
    previousHard_ = previous.rlim_max;
    // Without this the system ends the process at the first write past the limit.
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limited{static_cast<rlim_t>(limitBytes), previous.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
}

FileSizeLimit::~FileSizeLimit() {
    const rlimit restored{static_cast<rlim_t>(previousSoft_), static_cast<rlim_t>(previousHard_)};
    setrlimit(RLIMIT_FSIZE, &restored);
    std::signal(SIGXFSZ, previousHandler_);
}

}  // namespace fwu::reliability
