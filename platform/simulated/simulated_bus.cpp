#include "platform/simulated/simulated_bus.h"

#include <algorithm>
#include <stdexcept>

#include "platform/simulated/bus_clock.h"
#include "platform/simulated/simulated_device.h"

namespace fwu::platform::simulated {

namespace {

constexpr const char* PathPrefix = "sim:hid";

}  // namespace

SimulatedBus::SimulatedBus(Clock clock)
    : clock_(std::make_unique<BusClock>(clock == Clock::Real)) {}

SimulatedBus::~SimulatedBus() = default;

std::string SimulatedBus::addDevice(const DeviceConfig& config) {
    bringBackDueDevices();
    devices_.push_back(std::make_unique<SimulatedDevice>(config, SimulatedDevice::Kind::Family));
    return addNode(*devices_.back());
}

std::string SimulatedBus::addForeignDevice(std::uint16_t vendorId, std::uint16_t productId) {
    bringBackDueDevices();
    DeviceConfig config;
    config.vendorId = vendorId;
    config.applicationProductId = productId;
    config.featureReportLength = 0;
    config.reenumerationDelay.reset();
    devices_.push_back(std::make_unique<SimulatedDevice>(config, SimulatedDevice::Kind::Foreign));
    return addNode(*devices_.back());
}

std::string SimulatedBus::addNode(SimulatedDevice& device) {
    std::string path = PathPrefix + std::to_string(nodes_.size());
    nodes_.push_back(Node{path, &device, true});
    return path;
}

const SimulatedBus::Node* SimulatedBus::findNode(const std::string& path) const {
    const auto found = std::find_if(nodes_.begin(), nodes_.end(),
                                    [&](const Node& node) { return node.path == path; });
    return found == nodes_.end() ? nullptr : &*found;
}

const SimulatedBus::Node* SimulatedBus::nodeFor(Handle handle) const {
    const auto found = handles_.find(static_cast<std::intptr_t>(handle));
    return found == handles_.end() ? nullptr : &nodes_[found->second];
}

SimulatedDevice* SimulatedBus::presentDeviceFor(Handle handle) const {
    const Node* node = nodeFor(handle);
    return node && node->present ? node->device : nullptr;
}

DeviceState SimulatedBus::state(const std::string& path) const {
    const Node* node = findNode(path);
    DeviceState result;
    if (node)
        result = node->device->state();
    result.present = node && node->present;
    return result;
}

DeviceConfig& SimulatedBus::config(const std::string& path) {
    const Node* node = findNode(path);
    if (!node)
        throw std::out_of_range("no simulated device was ever at " + path);
    return node->device->config();
}

void SimulatedBus::unplug(const std::string& path) {
    if (const Node* node = findNode(path))
        leaveBus(*node->device);
}

void SimulatedBus::leaveBus(const SimulatedDevice& device) {
    for (Node& node : nodes_) {
        if (node.device == &device)
            node.present = false;
    }
    std::erase_if(pendingReturns_,
                  [&](const PendingReturn& pending) { return pending.device == &device; });
}

void SimulatedBus::leaveForBootloader(SimulatedDevice& device) {
    leaveBus(device);
    if (const auto delay = device.config().reenumerationDelay) {
        pendingReturns_.push_back(PendingReturn{&device, clock_->now() + *delay});
    }
}

void SimulatedBus::bringBackDueDevices() {
    if (pendingReturns_.empty())
        return;
    const auto now = clock_->now();
    std::stable_sort(pendingReturns_.begin(), pendingReturns_.end(),
                     [](const PendingReturn& a, const PendingReturn& b) { return a.due < b.due; });
    while (!pendingReturns_.empty() && pendingReturns_.front().due <= now) {
        SimulatedDevice& device = *pendingReturns_.front().device;
        pendingReturns_.erase(pendingReturns_.begin());
        device.restartInBootloader();
        addNode(device);
    }
}

void SimulatedBus::setTranscriptObserver(std::function<void(const TranscriptEntry&)> observer) {
    observer_ = std::move(observer);
}

int SimulatedBus::openHandleCount() const {
    return static_cast<int>(handles_.size());
}

std::vector<InterfaceEntry> SimulatedBus::enumerateInterfaces() {
    bringBackDueDevices();
    std::vector<InterfaceEntry> entries;
    for (const Node& node : nodes_) {
        if (!node.present)
            continue;
        const bool pathless = node.device->config().faults.noInterfacePath;
        entries.push_back(InterfaceEntry{pathless ? std::string{} : node.path});
    }
    return entries;
}

OpenResult SimulatedBus::open(const std::string& path, OpenMode /*mode*/) {
    bringBackDueDevices();
    const Node* node = findNode(path);
    if (!node || !node->present)
        return OpenResult{std::nullopt, OpenError::NotPresent};
    const FaultPlan& faults = node->device->config().faults;
    if (faults.permissionDenied)
        return OpenResult{std::nullopt, OpenError::PermissionDenied};
    if (faults.failOpen)
        return OpenResult{std::nullopt, OpenError::Other};

    const std::intptr_t value = nextHandle_++;
    handles_.emplace(value, static_cast<std::size_t>(node - nodes_.data()));
    ++opens_;
    return OpenResult{Handle{value}, OpenError::None};
}

bool SimulatedBus::close(Handle handle) {
    bringBackDueDevices();
    return handles_.erase(static_cast<std::intptr_t>(handle)) == 1;
}

std::optional<Attributes> SimulatedBus::attributes(Handle handle) {
    bringBackDueDevices();
    const SimulatedDevice* device = presentDeviceFor(handle);
    if (!device || device->config().faults.failAttributes)
        return std::nullopt;
    return device->attributes();
}

std::optional<Attributes> SimulatedBus::attributesWithoutOpening(const std::string& path) {
    bringBackDueDevices();
    const Node* node = findNode(path);
    if (!node || !node->present || node->device->config().faults.failAttributes) {
        return std::nullopt;
    }
    return node->device->attributes();
}

std::optional<Capabilities> SimulatedBus::capabilities(Handle handle) {
    bringBackDueDevices();
    const SimulatedDevice* device = presentDeviceFor(handle);
    if (!device)
        return std::nullopt;
    return device->capabilities();
}

bool SimulatedBus::identityString(Handle handle, IdentityString which,
                                  std::span<std::uint8_t> buffer) {
    bringBackDueDevices();
    const SimulatedDevice* device = presentDeviceFor(handle);
    if (!device || device->config().faults.failIdentityStrings)
        return false;
    const std::vector<std::uint8_t>* text = device->identityString(which);
    if (!text)
        return false;
    std::copy_n(text->begin(), std::min(text->size(), buffer.size()), buffer.begin());
    return true;
}

bool SimulatedBus::admitRequest(SimulatedDevice& device) {
    const std::uint64_t index = device.takeRequestIndex();
    const FaultPlan& faults = device.config().faults;
    if (faults.unplugAtRequest == index) {
        leaveBus(device);
        return false;
    }
    if (faults.hangAtRequest == index) {
        clock_->advance(faults.hangDuration);
        return false;
    }
    clock_->advance(device.config().latencyPerTransfer);
    return !(faults.failTransfersFrom && index >= *faults.failTransfersFrom);
}

bool SimulatedBus::deliverSetFeature(SimulatedDevice& device,
                                     std::span<const std::uint8_t> report) {
    if (!admitRequest(device))
        return false;
    switch (device.receiveSetFeature(report)) {
        case SetOutcome::Accepted:
            return true;
        case SetOutcome::Refused:
            return false;
        case SetOutcome::EnterBootloader:
            leaveForBootloader(device);
            return !device.config().faults.bootloaderEntryTransferFails;
    }
    return false;
}

bool SimulatedBus::setFeature(Handle handle, std::span<const std::uint8_t> report) {
    bringBackDueDevices();
    const Node* node = nodeFor(handle);
    if (!node)
        return false;
    const std::string path = node->path;
    const bool succeeded = node->present && deliverSetFeature(*node->device, report);
    record(Direction::HostToDevice, path, report, succeeded);
    return succeeded;
}

std::optional<std::size_t> SimulatedBus::getFeature(Handle handle, std::span<std::uint8_t> report) {
    bringBackDueDevices();
    const Node* node = nodeFor(handle);
    if (!node)
        return std::nullopt;
    const std::string path = node->path;
    std::optional<std::size_t> delivered;
    if (node->present && admitRequest(*node->device)) {
        delivered = node->device->answerGetFeature(report);
    }
    const auto answer = delivered ? std::span<const std::uint8_t>(report.first(*delivered))
                                  : std::span<const std::uint8_t>();
    record(Direction::DeviceToHost, path, answer, delivered.has_value());
    return delivered;
}

void SimulatedBus::record(Direction direction, const std::string& path,
                          std::span<const std::uint8_t> bytes, bool succeeded) {
    if (!recordTranscript_ && !observer_)
        return;
    TranscriptEntry entry{direction, path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()),
                          succeeded};
    // The observer sees the entry before it is stored, so an observer that clears the
    // transcript cannot pull the entry from under itself.
    if (observer_)
        observer_(entry);
    if (recordTranscript_)
        transcript_.push_back(std::move(entry));
}

void SimulatedBus::sleep(std::chrono::milliseconds duration) {
    bringBackDueDevices();
    clock_->advance(duration);
}

std::chrono::milliseconds SimulatedBus::monotonicTime() {
    bringBackDueDevices();
    return std::chrono::duration_cast<std::chrono::milliseconds>(clock_->now());
}

}  // namespace fwu::platform::simulated
