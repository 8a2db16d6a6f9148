#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "device/protocol.h"

namespace {

// The rule file must name exactly the device's vendor with its three product IDs, in the
// lower-case hex of sysfs, and grant access through the seat, never to everyone.
TEST(UdevRule, GrantsSeatAccessToExactlyTheProductsOfTheProtocol) {
    using namespace fwu::protocol;
    std::set<std::string> expected, rules;
    for (const std::uint16_t product :
         {ApplicationProductIds[0], ApplicationProductIds[1], BootloaderProductId}) {
        char rule[128];
        std::snprintf(rule, sizeof rule,
                      R"(SUBSYSTEM=="hidraw", ATTRS{idVendor}=="%04x", ATTRS{idProduct}=="%04x", )"
                      R"(TAG+="uaccess")",
                      VendorId, product);
        expected.insert(rule);
    }
    std::ifstream file(FWU_UDEV_RULE_FILE);
    ASSERT_TRUE(file) << "cannot read " << FWU_UDEV_RULE_FILE;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line[0] != '#')
            rules.insert(line);
    }
    EXPECT_EQ(rules, expected);
}

}  // namespace
