#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/firmware/operations_fixture.h"

namespace fwu::cli::test {

inline constexpr const char* SystemBusVariable = "DBUS_SYSTEM_BUS_ADDRESS";

// A system bus of the test's own, named by DBUS_SYSTEM_BUS_ADDRESS while this lives, with logind
// played by python3-dbusmock as `logind` says (tests/cli/private-system-bus.sh). Linux only.
class PrivateSystemBus {
  public:
    explicit PrivateSystemBus(const std::string& logind) {
        const int status = std::system(
            ("sh '" FWU_PRIVATE_SYSTEM_BUS "' '" + folder_.path().string() + "' " + logind)
                .c_str());
        std::string address;
        std::getline(std::ifstream(folder_.path() / "address"), address);
        ::setenv(SystemBusVariable, address.c_str(), 1);
        if (status != 0) {
            stop();
            throw std::runtime_error("the private system bus did not start");
        }
    }
    ~PrivateSystemBus() { stop(); }
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    // The locks logind holds now, each "what who why mode".
    std::vector<std::string> inhibitors() const {
        std::vector<std::string> locks;
        sd_bus* bus = nullptr;
        sd_bus_message* reply = nullptr;
        if (sd_bus_open_system(&bus) >= 0 &&
            sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                               "org.freedesktop.login1.Manager", "ListInhibitors", nullptr, &reply,
                               "") >= 0 &&
            sd_bus_message_enter_container(reply, 'a', "(ssssuu)") >= 0) {
            const char *what, *who, *why, *mode;
            std::uint32_t user, process;
            while (sd_bus_message_read(reply, "(ssssuu)", &what, &who, &why, &mode, &user,
                                       &process) > 0)
                locks.push_back(std::string(what) + " " + who + " " + why + " " + mode);
        } else {
            locks.push_back("logind did not answer");
        }
        sd_bus_message_unref(reply);
        sd_bus_flush_close_unref(bus);
        return locks;
    }
    // logind's log of the calls it took, one line each.
    std::string calls() const {
        std::ifstream log(folder_.path() / "logind.log");
        return std::string(std::istreambuf_iterator<char>(log), {});
    }

  private:
    void stop() {
        const std::string kill =
            "kill $(cat '" + (folder_.path() / "pids").string() + "' 2>/dev/null) 2>/dev/null";
        [[maybe_unused]] const int killed = std::system(kill.c_str());
        ::unsetenv(SystemBusVariable);
    }

    firmware::testing::TempFolder folder_;
};

}  // namespace fwu::cli::test
