#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>
#include <random>

#include "device/identity.h"
#include "tests/reliability/rig.h"
#include "tests/reliability/utf8_check.h"

// Devices that fail or answer strangely. A transfer failure, an unplug and a device that stops
// answering, each at every request of every operation that moves an image or the flash, and one
// request past the last, where the run must succeed; any feature report length; short block
// reads; identity strings of any bytes; every version number.
namespace fwu::reliability {
namespace {

using std::to_string;

// What the message of a run that fails at request `r` names.
std::string failedStep(const Operation& operation, std::uint64_t r) {
    const auto record = [](std::uint64_t n) { return "record " + to_string(n) + " of 6"; };
    if (&operation == &Update) {
        return r == 0   ? "the start of the update"
               : r == 1 ? "the erase command"
               : r == 8 ? "the end of the update"
                        : record(r - 1) + ".";
    }
    if (&operation == &Dump)
        return r == 0 ? "the start of the flash read" : "block " + to_string(r) + " of 8.";
    if (&operation == &Download)
        return record(r + 1) + " of the bootloader-mode image";
    // A failed enter-bootloader transfer is left to the wait: the device did not obey.
    return r == 0 ? "did not come back in bootloader mode" : record(r) + " of the bootloader-mode";
}

TEST(FaultSweep, EveryRequestFailsAloneAndTheRunStopsThereSayingWhere) {
    for (const Operation* operation : {&Update, &Download, &Upgrade, &Dump}) {
        for (const auto& [faultName, faultAt] : Faults) {
            for (std::uint64_t request = 0; request <= operation->requests; ++request) {
                SCOPED_TRACE(std::string(operation->name) + ", " + faultName + " at request " +
                             to_string(request));
                OperationRig rig;
                prepare(rig, *operation,
                        [&, at = faultAt](auto& device) { device.faults.*at = request; });
                const std::size_t descriptors = openFileDescriptorCount();
                const auto startedAt = rig.bus.monotonicTime();

                const OperationResult result = run(rig, *operation);

                const bool failed = request < operation->requests;
                const auto& transcript = rig.bus.transcript();
                ASSERT_EQ(transcript.size(), failed ? request + 1 : operation->requests);
                for (std::size_t i = 0; i < transcript.size(); ++i)
                    EXPECT_EQ(transcript[i].succeeded, !failed || i < request) << "request " << i;
                const bool waitDecides = operation == &Upgrade && request == 0;
                EXPECT_EQ(result.outcome, !failed       ? Outcome::Succeeded
                                          : waitDecides ? Outcome::TimedOut
                                                        : Outcome::TransferFailed);
                EXPECT_THAT(result.message,
                            HasSubstr(failed ? failedStep(*operation, request) : ""));
                EXPECT_EQ(rig.host.texts(Call::ShowError).size(), failed ? 1 : 0) << result.message;
                // Only a complete update finishes: no finish follows a failed request.
                const auto device = rig.bus.state(rig.devicePath);
                EXPECT_EQ(device.finished, !failed && operation == &Update);
                EXPECT_EQ(device.finishedComplete, device.finished);
                if (operation == &Dump) {  // the earlier dump, or the complete new one
                    EXPECT_EQ(readFile(dumpFile(rig)),
                              failed ? EarlierDump : flashPrefix(rig, 256));
                    const std::size_t blocksRead = failed && request > 0 ? request - 1 : 0;
                    EXPECT_EQ(readFile(partialFile(rig)), flashPrefix(rig, blocksRead * 32));
                    EXPECT_EQ(fs::exists(partialFile(rig)), blocksRead > 0);
                }
                // No time passes but the operation's own pauses and one wait for a silent device.
                const auto sleeps = rig.log.sleeps();
                const auto hang =
                    failed && faultAt == &FaultPlan::hangAtRequest ? FaultPlan{}.hangDuration : 0ms;
                EXPECT_EQ(rig.bus.monotonicTime() - startedAt,
                          std::accumulate(sleeps.begin(), sleeps.end(), hang));
                // Only the operations that load the bootloader-mode image end the program; the
                // dump leaves the connection as it was.
                EXPECT_EQ(rig.host.count(Call::Unload), operation->image == DownloadImageName);
                EXPECT_EQ(rig.link.isOpen(), operation == &Dump);
                rig.link.closeConnection();
                EXPECT_EQ(rig.bus.openHandleCount(), 0);
                EXPECT_EQ(openFileDescriptorCount(), descriptors);
            }
        }
    }
}

TEST(HostileDevice, EveryReportLengthIsRefusedBelowTheMinimumAndUsedExactlyAboveIt) {
    for (const Operation& operation : Operations) {
        // A little past the longest minimum, and the longest report a device can declare.
        for (unsigned i = 0; i <= 71; ++i) {
            const std::uint16_t length = i < 71 ? i : 0xFFFF;
            SCOPED_TRACE(std::string(operation.name) + ", report length " + to_string(length));
            OperationRig rig;
            prepare(rig, operation, [&](auto& device) { device.featureReportLength = length; });

            const OperationResult result = run(rig, operation);

            // The upgrade's enter-bootloader report fits below what its records need.
            const auto least = length < operation.sends ? operation.sends : operation.needs;
            const bool tooShort = length < least;
            EXPECT_EQ(result.outcome, tooShort ? Outcome::ReportTooShort : Outcome::Succeeded);
            EXPECT_THAT(result.message,
                        HasSubstr(tooShort ? "at least " + to_string(least) + " bytes" : ""));
            if (length < operation.sends)
                rig.expectRefusedQuietly(result);
            const std::size_t sent = tooShort ? length >= operation.sends : operation.requests;
            EXPECT_EQ(rig.bus.transcript().size(), sent);
            for (const auto& entry : rig.bus.transcript())
                EXPECT_EQ(entry.bytes.size(), length) << "in both directions";
        }
    }
}

TEST(HostileDevice, ShortBlockReadsStopTheDumpAndKeepTheEarlierFile) {
    for (std::size_t delivered = 0; delivered <= Dump.needs + 4u; ++delivered) {
        SCOPED_TRACE("block reads deliver " + to_string(delivered) + " bytes");
        OperationRig rig;
        prepare(rig, Dump, [&](auto& device) { device.faults.shortBlockReads = delivered; });

        const OperationResult result = run(rig, Dump);

        const bool tooFew = delivered < Dump.needs;
        EXPECT_EQ(result.outcome, tooFew ? Outcome::TransferFailed : Outcome::Succeeded);
        const std::string says = "read of block 1 of 8 with " + to_string(delivered) + " bytes";
        EXPECT_THAT(result.message, HasSubstr(tooFew ? says : ""));
        EXPECT_EQ(rig.bus.transcript().size(), tooFew ? 2 : Dump.requests);  // stops at block 1
        EXPECT_EQ(readFile(dumpFile(rig)), tooFew ? EarlierDump : flashPrefix(rig, 256));
        EXPECT_EQ(rig.host.texts(Call::SetStatusText), tooFew ? Cleared : Done);
    }
}

// Random bytes in all three strings, weighted towards zero and the surrogates, give captions of
// valid UTF-8 after the leading space, no longer than the query and without a zero; the first
// products are set: a zero unit ends a string, U+0100 does not.
TEST(HostileDevice, IdentityStringsOfAnyBytesGiveBoundedReadableCaptions) {
    const std::pair<Bytes, std::string> products[] = {{{'A', 0, 0, 0, 'B', 0}, " A"},
                                                      {{0x00, 0x01}, " \xC4\x80"}};
    std::mt19937 random(20240601);
    for (int device = 0; device < 502; ++device) {
        SCOPED_TRACE("device " + to_string(device));
        DeviceConfig config;
        for (Bytes* text : {&config.manufacturer, &config.product, &config.serialNumber}) {
            text->resize(random() % 131);
            for (auto& byte : *text) {  // 4 in 7 any byte, 1 in 7 zero, 2 in 7 a surrogate's
                const auto r = random();
                byte = static_cast<std::uint8_t>(r % 7 < 4 ? r >> 8 : r % 7 < 5 ? 0 : 0xD8 + r % 8);
            }
        }
        if (device < 2)
            config.product = products[device].first;
        SimulatedBus bus;
        bus.addDevice(config);
        device::DeviceLink link(bus);
        ASSERT_TRUE(link.findTheHid());
        const auto captions = device::readIdentityCaptions(link);
        if (device < 2) {
            EXPECT_EQ(captions.product, products[device].second);
        }
        for (const auto& [caption, queryBytes] : {
                 std::pair{captions.manufacturer, device::ManufacturerQueryBytes},
                 std::pair{captions.product, device::ProductQueryBytes},
                 std::pair{captions.serialNumber, device::SerialNumberQueryBytes},
             }) {
            ASSERT_TRUE(caption && caption->starts_with(' '));
            const auto codePoints = utf8CodePoints(caption->substr(1));
            ASSERT_TRUE(codePoints.has_value()) << "not UTF-8: " << *caption;
            EXPECT_LE(codePoints->size(), queryBytes / 2);
            EXPECT_EQ(codePoints->find(U'\0'), std::u32string::npos);
        }
    }
}

// The high byte in decimal, the low byte in upper-case hexadecimal without a leading zero.
TEST(HostileDevice, EveryVersionNumberReadsAsItsTwoBytes) {
    for (unsigned number = 0; number <= 0xFFFF; ++number) {
        char text[8];
        std::snprintf(text, sizeof text, "%u.%X", number >> 8, number & 0xFF);
        ASSERT_EQ(device::versionText(static_cast<std::uint16_t>(number)), text);
    }
}

}  // namespace
}  // namespace fwu::reliability
