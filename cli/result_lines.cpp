#include "cli/result_lines.h"

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/device_list.h"
#include "device/identity.h"
#include "firmware/image_checksum.h"
#include "firmware/messages.h"

namespace fwu::cli {

namespace {

using Json = nlohmann::ordered_json;

// Invalid UTF-8 in a device's texts shows as U+FFFD instead of failing the line.
std::string dumped(const Json& json) {
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string utcTimestamp(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto milliseconds = floor<std::chrono::milliseconds>(time);
    const auto day = floor<days>(milliseconds);
    const year_month_day date(day);
    const hh_mm_ss clock(milliseconds - day);
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()),
                  static_cast<int>(clock.subseconds().count()));
    return text.data();
}

std::string resultJson(const DeviceResult& result) {
    const auto& device = result.device;
    Json json = {
        {"device", device.path},
        {"serialNumber", device.serialNumber},
        {"vendorId", hexId(device.attributes.vendorId)},
        {"productId", hexId(device.attributes.productId)},
        {"command", commandName(result.command)},
        {"outcome", result.outcome},
        {"exitStatus", static_cast<int>(result.status)},
        {"exitMeaning", exitStatusMeaning(result.status)},
        {"message", result.message},
        {"bytes", result.bytes},
        {"seconds", result.seconds},
        {"started", utcTimestamp(result.started)},
    };
    if (readsImage(result.command)) {
        json["sha256"] =
            result.imageSha256 ? Json(firmware::sha256Hex(*result.imageSha256)) : Json(nullptr);
    }
    return dumped(json);
}

std::string deviceJson(const device::FoundDevice& device) {
    const auto& ids = device.attributes;
    Json json = {
        {"device", device.path},
        {"mode", modeName(ids)},
        {"vendorId", hexId(ids.vendorId)},
        {"productId", hexId(ids.productId)},
        {"version", device.opened ? device::versionText(ids.versionNumber) : ""},
        {"manufacturer", device.manufacturer},
        {"product", device.product},
        {"serialNumber", device.serialNumber},
        {"opened", device.opened},
        {"inUse", device.heldBy.has_value()},
        {"holderName", device.heldBy ? device.heldBy->programName : ""},
        {"holderProcessId", nullptr},
    };
    if (device.heldBy && device.heldBy->processId)
        json["holderProcessId"] = *device.heldBy->processId;
    return dumped(json);
}

ResultLines::ResultLines(std::ostream* out, std::optional<Log> log, std::ostream& err)
    : out_(out), log_(std::move(log)), err_(err) {}

void ResultLines::write(const std::string& line) {
    const std::lock_guard lock(mutex_);
    std::error_code error;
    if (log_ && !log_->file.append(line, error)) {
        logIncomplete_ = true;
        err_ << "Cannot append a result to the log file " +
                    firmware::messages::displayPath(log_->path) + ": " + error.message() +
                    ". Its earlier lines stay whole, and the next result will be tried again. "
                    "The result not logged: " +
                    line + "\n"
             << std::flush;
    }
    if (out_)
        *out_ << line << '\n' << std::flush;
}

bool ResultLines::logIncomplete() const {
    const std::lock_guard lock(mutex_);
    return logIncomplete_;
}

}  // namespace fwu::cli
