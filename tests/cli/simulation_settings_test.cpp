#include <gtest/gtest.h>

#include "platform/simulated/demo_setup.h"

namespace fwu::platform::simulated {
namespace {

using namespace std::chrono_literals;

TEST(SimulationSettings, ReadsEveryKey) {
    const auto parsed = parseDemoSettings(
        "latency-us=0;fail-transfers-from=12;unplug-at=5;mode=bootloader;no-device;"
        "reenumeration-ms=never;clock=virtual;report-length=40;interrupt-at=7;"
        "permission-denied;foreign-device;");
    ASSERT_TRUE(parsed.settings) << parsed.error;
    const DemoSettings& s = *parsed.settings;
    EXPECT_EQ(s.latency, 0us);
    EXPECT_EQ(s.failTransfersFrom, 12u);
    EXPECT_EQ(s.unplugAtRequest, 5u);
    EXPECT_EQ(s.mode, DeviceMode::Bootloader);
    EXPECT_EQ(s.deviceCount, 0u);
    EXPECT_FALSE(s.reenumerationDelay);
    EXPECT_EQ(s.clock, SimulatedBus::Clock::Virtual);
    EXPECT_EQ(s.featureReportLength, 40);
    EXPECT_EQ(s.interruptAt, 7u);
    EXPECT_TRUE(s.permissionDenied);
    EXPECT_TRUE(s.foreignDevice);
}

TEST(SimulationSettings, RejectsWhatItDoesNotKnow) {
    const std::pair<const char*, const char*> cases[] = {
        {"latency=0", "unknown key 'latency'"},
        {"latency-us", "'latency-us' needs a value"},
        {"latency-us=", "'' is not a whole number"},
        {"latency-us=-1", "'-1' is not a whole number"},
        {"latency-us=5ms", "'5ms' is not a whole number"},
        {"devices=9", "from 0 to 8"},
        {"no-device=1", "'no-device' takes no value"},
        {"mode=sleeping", "neither application nor bootloader"},
        {"mode=application;mode=bootloader", "'mode' is given twice"},
        {" latency-us=0", "unknown key ' latency-us'"},
    };
    for (const auto& [text, expected] : cases) {
        const auto parsed = parseDemoSettings(text);
        EXPECT_FALSE(parsed.settings) << text;
        EXPECT_NE(parsed.error.find(expected), std::string::npos) << text << ": " << parsed.error;
        EXPECT_TRUE(parsed.error.starts_with(SimulationVariable)) << parsed.error;
    }
}

}  // namespace
}  // namespace fwu::platform::simulated
