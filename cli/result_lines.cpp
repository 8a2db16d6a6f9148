#include "cli/result_lines.h"

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/device_list.h"
#include "device/identity.h"
#include "firmware/image_checksum.h"

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
    const Json json = {
        {"device", device.path},
        {"mode", modeName(ids)},
        {"vendorId", hexId(ids.vendorId)},
        {"productId", hexId(ids.productId)},
        {"version", device.opened ? device::versionText(ids.versionNumber) : ""},
        {"manufacturer", device.manufacturer},
        {"product", device.product},
        {"serialNumber", device.serialNumber},
        {"opened", device.opened},
    };
    return dumped(json);
}

ResultLines::ResultLines(std::ostream* out, std::optional<platform::LineLog> log)
    : out_(out), log_(std::move(log)) {}

void ResultLines::write(const std::string& line) {
    const std::lock_guard lock(mutex_);
    if (out_)
        *out_ << line << '\n' << std::flush;
    std::error_code error;
    if (log_ && !logProblem_ && !log_->append(line, error))
        logProblem_ = error.message();
}

std::optional<std::string> ResultLines::logProblem() const {
    const std::lock_guard lock(mutex_);
    return logProblem_;
}

}  // namespace fwu::cli
