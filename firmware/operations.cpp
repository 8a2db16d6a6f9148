#include "firmware/operations.h"

#include <array>
#include <utility>

#include "firmware/download_operation.h"
#include "firmware/dump_operation.h"
#include "firmware/messages.h"
#include "firmware/operation_context.h"
#include "firmware/operation_steps.h"
#include "firmware/service_commands.h"
#include "firmware/update_operation.h"
#include "firmware/upgrade_operation.h"
#include "firmware/verify_operation.h"

namespace fwu::firmware {

namespace {

struct OperationEntry {
    Operation operation;
    OperationResult (*run)(const OperationContext&);
    OperationFacts facts;
};

using enum ProgramFile;
using enum ProgressCount;
using enum RequiredMode;
constexpr bool Writes = true, NoWrite = false, Restarts = true, NoRestart = false;

// One row per operation: how it runs, and its facts: the file it uses, whether it writes
// firmware, whether it first restarts the device into its bootloader, what its progress counts,
// the mode it needs. The dump and the verification start with a command too, which a
// bootloader would take as image bytes; the upgrade switches a device in application mode first.
// clang-format off
constexpr std::array<OperationEntry, 7> Operations{{
    {Operation::Update,          runUpdate,          {UpdateImage,   Writes,  NoRestart, ImageBytes, Application}},
    {Operation::Download,        runDownload,        {DownloadImage, Writes,  NoRestart, ImageBytes, Bootloader}},
    {Operation::Upgrade,         runUpgrade,         {DownloadImage, Writes,  Restarts,  ImageBytes, Either}},
    {Operation::Dump,            runDump,            {DumpFile,      NoWrite, NoRestart, FlashBytes, Application}},
    {Operation::Verify,          runVerify,          {UpdateImage,   NoWrite, NoRestart, ImageBytes, Application}},
    {Operation::EraseChip,       runEraseChip,       {{},            NoWrite, NoRestart, Nothing,    Application}},
    {Operation::EnterBootloader, runEnterBootloader, {{},            NoWrite, NoRestart, Nothing,    Application}},
}};
// clang-format on

constexpr bool wellFormed() {
    for (std::size_t index = 0; index < Operations.size(); ++index) {
        const OperationEntry& entry = Operations[index];
        if (static_cast<std::size_t>(entry.operation) != index)
            return false;
        if (entry.facts.progress == ImageBytes && !entry.facts.file)
            return false;
    }
    return true;
}
static_assert(wellFormed(),
              "the operations are listed in the order of Operation, and an "
              "operation whose progress counts its image has one");

const OperationEntry& entryOf(Operation operation) {
    return Operations.at(static_cast<std::size_t>(operation));
}

// Marks an operation as running for its whole run and tells the host, which keeps its
// controls from starting another in an event pass of this one.
class BusyScope {
  public:
    BusyScope(bool& busy, OperationHost& host) : busy_(busy), host_(host) {
        busy_ = true;
        host_.busyChanged(true);
    }
    ~BusyScope() {
        busy_ = false;
        host_.busyChanged(false);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    bool& busy_;
    OperationHost& host_;
};

}  // namespace

const OperationFacts& factsOf(Operation operation) {
    return entryOf(operation).facts;
}

std::uint64_t progressBytes(Operation operation, const ProgramFiles& files) {
    const OperationFacts& facts = factsOf(operation);
    switch (facts.progress) {
        case ImageBytes:
            return fileSizeOrZero(files.path(*facts.file));
        case FlashBytes:
            return protocol::FlashSize;
        case Nothing:
            break;
    }
    return 0;
}

OperationResult searchFailure(const device::DeviceLink& link) {
    if (const auto& inUse = link.inUse())
        return failed(Outcome::Busy, messages::deviceInUse(inUse->path, inUse->holder));
    return failed(Outcome::NoDevice, {});
}

FirmwareOperations::FirmwareOperations(device::DeviceLink& link, OperationHost& host,
                                       ProgramFiles files, OperationSettings settings)
    : link_(link), host_(host), files_(std::move(files)), settings_(settings) {}

OperationResult FirmwareOperations::run(Operation operation) {
    if (busy_)
        return {Outcome::Busy, messages::busy()};
    BusyScope scope(busy_, host_);
    if (auto refusal = modeRefusal(link_, operation)) {
        tellUser(host_, *refusal);
        return *refusal;
    }
    std::optional<platform::Sha256Digest> imageSha256;
    OperationResult result = entryOf(operation).run({link_, host_, files_, settings_, imageSha256});
    result.imageSha256 = imageSha256;
    return result;
}

}  // namespace fwu::firmware
