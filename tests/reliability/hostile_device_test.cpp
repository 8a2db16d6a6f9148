#include <gtest/gtest.h>

#include <charconv>
#include <numeric>
#include <random>
#include <set>

#include "device/identity.h"
#include "device/reports.h"
#include "tests/reliability/scenarios.h"
#include "tests/reliability/utf8_check.h"

// Devices that answer strangely: any feature report length, identity strings of any bytes,
// every version number, short block reads and a device that stops answering.
namespace fwu::reliability {
namespace {

using device::ReportUse;
using firmware::testing::Call;
using firmware::testing::readFile;
using platform::simulated::Direction;
using namespace std::chrono_literals;

// Every length up to a little past the longest minimum, and the largest a device can report.
std::vector<std::uint16_t> reportLengthsTried() {
    std::vector<std::uint16_t> lengths(71);
    std::iota(lengths.begin(), lengths.end(), std::uint16_t{0});
    lengths.push_back(0xFFFF);
    return lengths;
}

ReportUse reportUseOf(Operation operation) {
    switch (operation) {
        case Operation::Update:
            return ReportUse::Update;
        case Operation::Download:
            return ReportUse::Download;
        case Operation::Upgrade:
            return ReportUse::Upgrade;
        case Operation::Dump:
            return ReportUse::Dump;
        case Operation::EraseChip:
        case Operation::EnterBootloader:
            return ReportUse::ServiceCommand;
    }
    return ReportUse::ServiceCommand;
}

bool saysAtLeast(const OperationResult& result, ReportUse use) {
    const std::string needed = "at least " + std::to_string(device::minimumReportLength(use));
    return result.message.find(needed) != std::string::npos;
}

// Every report crossed the bus at exactly the device's length, in both directions.
void expectReportsOfLength(const OperationRig& rig, std::size_t length) {
    for (const auto& entry : rig.bus.transcript())
        EXPECT_EQ(entry.bytes.size(), length);
}

TEST(HostileDevice, EveryReportLengthIsRefusedBelowTheMinimumAndUsedExactlyAboveIt) {
    for (const Operation operation : AllOperations) {
        const ReportUse use = reportUseOf(operation);
        for (const std::uint16_t length : reportLengthsTried()) {
            SCOPED_TRACE(nameOf(operation) + ", report length " + std::to_string(length));
            OperationRig rig;
            prepare(rig, operation, [&](auto& device) { device.featureReportLength = length; });

            const OperationResult result = run(rig, operation);

            if (length < device::minimumReportLength(use)) {
                EXPECT_EQ(result.outcome, Outcome::ReportTooShort);
                EXPECT_TRUE(saysAtLeast(result, use)) << result.message;
                rig.expectRefusedQuietly(result);
            } else if (operation == Operation::Upgrade &&
                       length < device::minimumReportLength(ReportUse::Download)) {
                // The enter-bootloader report fits; the records do not, and none is sent.
                EXPECT_EQ(result.outcome, Outcome::ReportTooShort);
                EXPECT_TRUE(saysAtLeast(result, ReportUse::Download)) << result.message;
                EXPECT_EQ(rig.bus.transcript().size(), 1u);
                EXPECT_TRUE(rig.bus.state(rig.devicePath).bootloaderImage.empty());
            } else {
                EXPECT_EQ(result.outcome, Outcome::Succeeded) << result.message;
                EXPECT_EQ(rig.bus.transcript().size(), requestsOfSuccessfulRun(operation));
            }
            expectReportsOfLength(rig, length);
        }
    }
}

// A device that stops answering: the platform gives up on each request after a while, so an
// operation must stop at the first such request instead of trying the next.
TEST(HostileDevice, ADeviceThatStopsAnsweringCostsOneWaitAndStopsTheOperation) {
    for (const Operation operation : StreamingOperations) {
        const std::uint64_t requests = requestsOfSuccessfulRun(operation);
        for (const std::uint64_t request : {std::uint64_t{0}, requests / 2, requests - 1}) {
            SCOPED_TRACE(nameOf(operation) + ", silent from request " + std::to_string(request));
            OperationRig rig;
            prepare(rig, operation, [&](auto& device) { device.faults.hangAtRequest = request; });
            const auto hang = platform::simulated::FaultPlan{}.hangDuration;
            rig.log.entries.clear();
            const auto before = rig.bus.monotonicTime();

            const OperationResult result = run(rig, operation);

            ASSERT_EQ(rig.bus.transcript().size(), request + 1);
            EXPECT_FALSE(rig.bus.transcript().back().succeeded);
            EXPECT_NE(result.message.find(failedStepText(operation, request)), std::string::npos)
                << result.message;
            const auto sleeps = rig.log.sleeps();
            const auto slept =
                std::accumulate(sleeps.begin(), sleeps.end(), std::chrono::milliseconds{0});
            EXPECT_EQ(rig.bus.monotonicTime() - before, hang + slept)
                << "the clock moves by one wait for the silent device and the operation's own "
                   "pauses, nothing more";
        }
    }
}

TEST(HostileDevice, ShortBlockReadsStopTheDumpAndKeepTheEarlierFile) {
    const std::size_t needed = device::minimumReportLength(ReportUse::Dump);
    for (std::size_t delivered = 0; delivered <= needed + 4; ++delivered) {
        SCOPED_TRACE("block reads deliver " + std::to_string(delivered) + " bytes");
        OperationRig rig;
        prepare(rig, Operation::Dump,
                [&](auto& device) { device.faults.shortBlockReads = delivered; });

        const OperationResult result = run(rig, Operation::Dump);

        if (delivered < needed) {
            EXPECT_EQ(result.outcome, Outcome::TransferFailed);
            const std::string says = "answered the read of block 1 of " +
                                     std::to_string(DumpBlocks) + " with " +
                                     std::to_string(delivered) + " bytes, too few";
            EXPECT_NE(result.message.find(says), std::string::npos) << result.message;
            EXPECT_EQ(rig.bus.transcript().size(), 2u);  // start, the first block read
            EXPECT_EQ(readFile(dumpFile(rig)), earlierDump());
            EXPECT_FALSE(fs::exists(partialDumpFile(rig)));
            EXPECT_TRUE(rig.host.texts(Call::SetStatusText) == std::vector<std::string>{""});
        } else {
            EXPECT_EQ(result.outcome, Outcome::Succeeded) << result.message;
            EXPECT_EQ(readFile(dumpFile(rig)), flashPrefix(rig, DumpBlocks * 32));
        }
    }
}

// --- Identity ---------------------------------------------------------------------------

Bytes units(std::initializer_list<std::uint16_t> values) {
    Bytes bytes;
    for (const std::uint16_t value : values) {
        bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    return bytes;
}

Bytes repeatedUnit(std::uint16_t value, std::size_t count) {
    Bytes bytes;
    for (std::size_t i = 0; i < count; ++i) {
        const Bytes unit = units({value});
        bytes.insert(bytes.end(), unit.begin(), unit.end());
    }
    return bytes;
}

Bytes concatenate(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

struct IdentityCase {
    const char* name;
    Bytes product;  // the raw bytes the device reports
    std::string caption;
};

TEST(HostileDevice, IdentityStringsOfAnyBytesGiveBoundedReadableCaptions) {
    const std::size_t productUnits = device::ProductQueryBytes / 2;
    const IdentityCase cases[] = {
        {"nothing", {}, " "},
        {"no terminator", units({'A', 'B'}), " AB"},
        {"an odd last byte", {'A', 0, 'B'}, " AB"},
        {"a zero unit ends it", units({'A', 0, 'B'}), " A"},
        {"U+0100", units({0x0100}), " \xC4\x80"},
        {"U+FFFF", units({0xFFFF}), " \xEF\xBF\xBF"},
        {"a surrogate pair", units({0xD83D, 0xDE00}), " \xF0\x9F\x98\x80"},
        {"a lone high surrogate", units({0xD800, 'A'}),
         " \xEF\xBF\xBD"
         "A"},
        {"a lone low surrogate", units({0xDC00}), " \xEF\xBF\xBD"},
        {"the whole buffer and more", repeatedUnit('Z', productUnits + 20),
         " " + std::string(productUnits, 'Z')},
        {"a pair cut by the end of the buffer",
         concatenate(repeatedUnit('Q', productUnits - 1), units({0xD83D, 0xDE00})),
         " " + std::string(productUnits - 1, 'Q') + "\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OperationRig rig;
        rig.plugIn([&] {
            platform::simulated::DeviceConfig config;
            config.product = c.product;
            return config;
        }());

        const auto captions = device::readIdentityCaptions(rig.link);

        EXPECT_EQ(captions.product, c.caption);
    }
}

// Random bytes, weighted towards zero and the surrogate range, in all three strings.
TEST(HostileDevice, RandomIdentityStringsAlwaysDecodeToValidText) {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<std::size_t> lengthOf(0, 130);
    std::uniform_int_distribution<int> byteOf(0, 255);
    std::discrete_distribution<int> kindOf({4, 1, 2});  // any byte, zero, surrogate high byte
    const auto randomString = [&] {
        Bytes bytes(lengthOf(random));
        for (auto& byte : bytes) {
            const int kind = kindOf(random);
            byte = static_cast<std::uint8_t>(kind == 0   ? byteOf(random)
                                             : kind == 1 ? 0
                                                         : 0xD8 + byteOf(random) % 8);
        }
        return bytes;
    };
    constexpr int Devices = 500;
    for (int i = 0; i < Devices; ++i) {
        platform::simulated::DeviceConfig config;
        config.manufacturer = randomString();
        config.product = randomString();
        config.serialNumber = randomString();
        OperationRig rig;
        rig.plugIn(config);

        const auto captions = device::readIdentityCaptions(rig.link);

        const std::pair<const std::optional<std::string>*, std::size_t> checks[] = {
            {&captions.manufacturer, device::ManufacturerQueryBytes},
            {&captions.product, device::ProductQueryBytes},
            {&captions.serialNumber, device::SerialNumberQueryBytes},
        };
        for (const auto& [caption, queryBytes] : checks) {
            ASSERT_TRUE(caption->has_value());
            const std::string& text = **caption;
            ASSERT_FALSE(text.empty());
            EXPECT_EQ(text.front(), ' ');
            const auto codePoints = utf8CodePoints(std::string_view(text).substr(1));
            ASSERT_TRUE(codePoints.has_value()) << "not UTF-8 for device " << i;
            EXPECT_LE(codePoints->size(), queryBytes / 2);
            EXPECT_EQ(std::count(codePoints->begin(), codePoints->end(), U'\0'), 0);
        }
    }
}

// "major.MINOR": the high byte in decimal, the low byte in upper-case hexadecimal without a
// leading zero; parsed back, it gives the number it came from.
TEST(HostileDevice, EveryVersionNumberReadsBackAsItself) {
    std::set<std::string> seen;
    for (std::uint32_t number = 0; number <= 0xFFFF; ++number) {
        const std::string text = device::versionText(static_cast<std::uint16_t>(number));
        const std::size_t dot = text.find('.');
        ASSERT_NE(dot, std::string::npos) << text;
        const std::string_view major = std::string_view(text).substr(0, dot);
        const std::string_view minor = std::string_view(text).substr(dot + 1);
        ASSERT_FALSE(minor.empty()) << text;
        ASSERT_LE(minor.size(), 2u) << text;
        if (minor.size() == 2) {
            ASSERT_NE(minor.front(), '0') << text;
        }
        for (const char digit : minor)
            ASSERT_TRUE(std::isdigit(digit) || (digit >= 'A' && digit <= 'F')) << text;
        unsigned high = 0;
        unsigned low = 0;
        ASSERT_EQ(std::from_chars(major.data(), major.data() + major.size(), high).ec, std::errc());
        ASSERT_EQ(std::from_chars(minor.data(), minor.data() + minor.size(), low, 16).ec,
                  std::errc());
        ASSERT_EQ(std::string(major), std::to_string(high)) << text;
        ASSERT_EQ((high << 8) | low, number) << text;
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 0x10000u);
}

}  // namespace
}  // namespace fwu::reliability
