#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "device/protocol.h"

namespace {

std::string lowerHex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

// The rule file must name exactly the device's vendor with its three product IDs, in the
// lower-case hex of sysfs, and grant access through the seat, never to everyone.
TEST(UdevRule, MatchesTheProtocolIdsAndGrantsSeatAccessOnly) {
    std::ifstream file(FWU_UDEV_RULE_FILE);
    ASSERT_TRUE(file) << "cannot read " << FWU_UDEV_RULE_FILE;
    const std::regex rule(R"re(SUBSYSTEM=="hidraw", ATTRS\{idVendor\}=="([0-9a-f]{4})", )re"
                          R"re(ATTRS\{idProduct\}=="([0-9a-f]{4})", TAG\+="uaccess")re");
    std::set<std::string> vendors;
    std::set<std::string> products;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, rule)) << "unexpected rule line: " << line;
        vendors.insert(match[1]);
        products.insert(match[2]);
    }
    using namespace fwu::protocol;
    EXPECT_EQ(vendors, std::set<std::string>{lowerHex4(VendorId)});
    EXPECT_EQ(products, (std::set<std::string>{lowerHex4(ApplicationProductIds[0]),
                                               lowerHex4(ApplicationProductIds[1]),
                                               lowerHex4(BootloaderProductId)}));
}

}  // namespace
