// Holds or tries the device at an interface path as the Windows backend does, for
// claims_between_programs.sh: "hold PATH" takes the device's mutex, prints "held" and waits to
// be killed; "try PATH" exits with 0 when it could take the device, 1 when another program holds
// it.
#include <cstdio>
#include <string>

#include "platform/windows/device_claims.h"

int main(int argc, char** argv) {
    using namespace fwu::platform::windows;
    constexpr DWORD HolderLifetime = 60'000;  // a holder left behind ends by itself
    if (argc != 3)
        return 2;
    DeviceClaims claims(systemWindowsApi());
    const auto mutex = claims.take(argv[2]);
    if (mutex && std::string(argv[1]) == "hold") {
        std::printf("held\n");
        std::fflush(stdout);
        ::Sleep(HolderLifetime);
    }
    if (mutex)
        claims.release(argv[2], *mutex);
    return mutex ? 0 : 1;
}
