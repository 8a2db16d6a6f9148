#include "firmware/dump_operation.h"

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <variant>

#include "device/reports.h"
#include "firmware/dump_file.h"
#include "firmware/flash_read.h"
#include "firmware/messages.h"
#include "firmware/operation_steps.h"
#include "platform/file_system.h"

namespace fwu::firmware {

namespace {

constexpr const char* DoneText = "Done";

bool folderExists(const std::filesystem::path& file) {
    std::error_code error;
    const auto folder = file.parent_path();
    return folder.empty() || std::filesystem::is_directory(folder, error);
}

// What the dump says when the flash read stops early; the blocks read before are kept aside.
std::string describeStop(const ReadStop& stop, std::uint64_t blocks, const DumpFile& file) {
    switch (stop.reason) {
        case ReadStop::Reason::Cancelled:
            return messages::dumpCancelled(stop.blockIndex, blocks, file.target(),
                                           file.partialPath());
        case ReadStop::Reason::StartRejected:
            return messages::dumpStartRejected(file.target());
        case ReadStop::Reason::NoAnswer:
            return messages::dumpBlockNotRead(stop.blockIndex, blocks, file.target(),
                                              file.partialPath());
        case ReadStop::Reason::ShortAnswer:
            break;
    }
    return messages::dumpBlockTooShort(stop.blockIndex, blocks, stop.received, file.target(),
                                       file.partialPath());
}

std::optional<OperationResult> appendBlock(DumpFile& file, FlashRead::Block block) {
    std::error_code error;
    if (!file.append(block, error)) {
        return failed(Outcome::FileProblem,
                      messages::dumpWriteFailed(file.target(), file.partialPath(), error));
    }
    return std::nullopt;
}

std::optional<OperationResult> replaceEarlierDump(DumpFile& file) {
    std::error_code error;
    if (!file.writeOut(error)) {
        return failed(Outcome::FileProblem,
                      messages::dumpWriteFailed(file.target(), file.partialPath(), error));
    }
    if (!file.replaceTarget(error)) {
        return failed(Outcome::FileProblem,
                      messages::dumpNotReplaced(file.target(), file.partialPath(), error));
    }
    return std::nullopt;
}

OperationResult stopDump(const OperationContext& context, DumpFile& file, OperationResult result) {
    file.abandon();
    result.bytesWritten = file.bytesWritten();
    tellUser(context.host, result);
    return result;
}

OperationResult refuseDump(const OperationContext& context, std::string message) {
    const auto refusal = failed(Outcome::FileProblem, std::move(message));
    tellUser(context.host, refusal);
    return refusal;
}

// The place of the dump file, or why the dump cannot be written there.
std::variant<platform::FilePlace, std::string> dumpPlace(const OperationContext& context) {
    const std::filesystem::path& given = context.files.dumpFile();
    platform::PlaceProblem problem;
    auto place = platform::FilePlace::find(given, problem);
    if (!place && !problem.refusedLink.empty())
        return messages::dumpLinkNotFollowed(given, problem.refusedLink);
    if (!place) {
        const auto partial = DumpFile::partialPathFor(given);
        return messages::dumpFileNotCreated(partial, context.files.dumpFileOrigin(),
                                            folderExists(partial), problem.error);
    }
    if (place->kind() == platform::FilePlace::Kind::Other)
        return messages::dumpTargetNotAFile(given);
    return std::move(*place);
}

}  // namespace

OperationResult runDump(const OperationContext& context) {
    if (auto refusal = refusalWithoutDevice(context))
        return *refusal;
    if (auto refusal = reportLengthRefusal(context.link, device::ReportUse::Dump)) {
        tellUser(context.host, *refusal);
        return *refusal;
    }
    // The target is checked and the file created before the start report: a target that is no
    // file, or a folder that cannot be written, is refused before the device is asked for
    // anything. A link is followed (where FilePlace allows it): the file it names is replaced,
    // and the link stays.
    auto target = dumpPlace(context);
    if (auto* refusal = std::get_if<std::string>(&target))
        return refuseDump(context, std::move(*refusal));
    DumpFile file(std::get<platform::FilePlace>(std::move(target)));
    std::error_code error;
    if (!file.create(error)) {
        return refuseDump(context, messages::dumpFileNotCreated(
                                       file.partialPath(), context.files.dumpFileOrigin(),
                                       folderExists(file.partialPath()), error));
    }

    const std::uint64_t blocks = context.settings.dumpBlockCount;
    FlashRead read(context, blocks,
                   [&](const ReadStop& stop) { return describeStop(stop, blocks, file); });
    if (auto stop = read.sendStart())
        return stopDump(context, file, *stop);
    context.host.setStatusText("");
    context.host.showProgress();
    auto stop = read.readBlocks(
        [&](std::uint64_t, FlashRead::Block block) { return appendBlock(file, block); });
    if (!stop)
        stop = replaceEarlierDump(file);
    if (stop) {
        context.host.clearProgress();
        return stopDump(context, file, *stop);
    }
    context.host.setStatusText(DoneText);
    context.host.clearProgress();
    OperationResult result = succeeded();
    result.bytesWritten = file.bytesWritten();
    return result;
}

}  // namespace fwu::firmware
