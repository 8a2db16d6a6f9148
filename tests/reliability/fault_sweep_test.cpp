#include <gtest/gtest.h>

#include "tests/reliability/process_resources.h"
#include "tests/reliability/scenarios.h"

// A transfer failure, and separately an unplug, at every request of every operation that moves
// an image or the flash, and one request past the last, where the run must succeed.
namespace fwu::reliability {
namespace {

using firmware::testing::Call;
using firmware::testing::readFile;

enum class Fault { TransferFails, Unplugged };

std::string nameOf(Fault fault) {
    return fault == Fault::TransferFails ? "transfer fails" : "unplugged";
}

void plant(platform::simulated::DeviceConfig& device, Fault fault, std::uint64_t request) {
    if (fault == Fault::TransferFails)
        device.faults.failTransfersFrom = request;
    else
        device.faults.unplugAtRequest = request;
}

void expectStoppedAt(const OperationRig& rig, std::uint64_t request) {
    const auto& transcript = rig.bus.transcript();
    ASSERT_EQ(transcript.size(), request + 1) << "nothing may follow the failed request";
    EXPECT_FALSE(transcript.back().succeeded);
    for (std::size_t i = 0; i + 1 < transcript.size(); ++i)
        EXPECT_TRUE(transcript[i].succeeded) << "request " << i;
}

void expectTransferFailureReported(const OperationRig& rig, Operation operation,
                                   std::uint64_t request, const OperationResult& result) {
    const bool waitDecides = operation == Operation::Upgrade && request == 0;
    EXPECT_EQ(result.outcome, waitDecides ? Outcome::TimedOut : Outcome::TransferFailed);
    EXPECT_NE(result.message.find(failedStepText(operation, request)), std::string::npos)
        << result.message;
    EXPECT_EQ(rig.host.texts(Call::ShowError), std::vector<std::string>{result.message});
    EXPECT_FALSE(rig.bus.state(rig.devicePath).finished) << "no finish after a failed request";
}

// The earlier dump is untouched, and the blocks read before the failure are kept aside.
void expectEarlierDumpKept(const OperationRig& rig, std::uint64_t request) {
    EXPECT_EQ(readFile(dumpFile(rig)), earlierDump());
    const std::uint64_t blocksRead = request == 0 ? 0 : request - 1;
    if (blocksRead == 0) {
        EXPECT_FALSE(fs::exists(partialDumpFile(rig)));
    } else {
        EXPECT_EQ(readFile(partialDumpFile(rig)), flashPrefix(rig, blocksRead * 32));
    }
}

void expectCompleteRun(const OperationRig& rig, Operation operation,
                       const OperationResult& result) {
    EXPECT_EQ(result.outcome, Outcome::Succeeded) << result.message;
    EXPECT_EQ(rig.bus.transcript().size(), requestsOfSuccessfulRun(operation));
    EXPECT_TRUE(rig.host.texts(Call::ShowError).empty());
    if (operation == Operation::Update) {
        EXPECT_TRUE(rig.bus.state(rig.devicePath).finishedComplete);
    }
    if (operation == Operation::Dump) {
        EXPECT_EQ(readFile(dumpFile(rig)), flashPrefix(rig, DumpBlocks * 32));
        EXPECT_FALSE(fs::exists(partialDumpFile(rig)));
    }
}

// The program goes on where the operation leaves it running, and nothing stays open but the
// connection the operation leaves as it was.
void expectNothingLeftOpen(OperationRig& rig, Operation operation, std::size_t descriptorsBefore) {
    EXPECT_EQ(rig.host.count(Call::Unload), endsProgram(operation) ? 1u : 0u);
    EXPECT_EQ(openFileDescriptorCount(), descriptorsBefore);
    if (leavesConnectionOpen(operation)) {
        EXPECT_TRUE(rig.link.isOpen());
        rig.link.closeConnection();
    }
    EXPECT_EQ(rig.bus.openHandleCount(), 0);
}

TEST(FaultSweep, EveryRequestOfEveryOperationFailsAloneAndTheRunStopsThere) {
    std::uint64_t runs = 0;
    for (const Operation operation : StreamingOperations) {
        for (const Fault fault : {Fault::TransferFails, Fault::Unplugged}) {
            const std::uint64_t requests = requestsOfSuccessfulRun(operation);
            for (std::uint64_t request = 0; request <= requests; ++request) {
                SCOPED_TRACE(nameOf(operation) + ", " + nameOf(fault) + " at request " +
                             std::to_string(request));
                OperationRig rig;
                prepare(rig, operation, [&](auto& device) { plant(device, fault, request); });
                const std::size_t descriptors = openFileDescriptorCount();

                const OperationResult result = run(rig, operation);

                if (request < requests) {
                    expectStoppedAt(rig, request);
                    expectTransferFailureReported(rig, operation, request, result);
                    if (operation == Operation::Dump)
                        expectEarlierDumpKept(rig, request);
                } else {
                    expectCompleteRun(rig, operation, result);
                }
                expectNothingLeftOpen(rig, operation, descriptors);
                ++runs;
            }
        }
    }
    RecordProperty("runs", static_cast<int>(runs));
}

}  // namespace
}  // namespace fwu::reliability
