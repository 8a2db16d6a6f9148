#include "simulator/simulated_bus.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "simulator/bus_clock.h"
#include "simulator/simulated_device.h"

namespace fwu::simulator {

namespace {

constexpr const char* PathPrefix = "sim:hid";

}  // namespace

SimulatedBus::SimulatedBus(Clock clock)
    : clock_(std::make_unique<BusClock>(clock == Clock::Real)) {}

// A watch of the bus's changes; the bus keeps its wake function and the changes it has taken.
class SimulatedBus::Watch final : public platform::InterfaceWatch {
  public:
    Watch(SimulatedBus& bus, std::uint64_t changesSeen) : bus_(bus), changesSeen_(changesSeen) {}
    ~Watch() override { bus_.endWatch(*this); }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

    bool takeChanges() override { return bus_.takeWatchChanges(changesSeen_); }

  private:
    SimulatedBus& bus_;
    std::uint64_t changesSeen_;  // guarded by the bus's lock
};

SimulatedBus::~SimulatedBus() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    if (scheduler_.joinable())
        scheduler_.join();
}

SimulatedDevice& SimulatedBus::addToBus(std::unique_ptr<SimulatedDevice> device) {
    if (devices_.size() >= MaxDevicesOnBus) {
        throw std::length_error("a simulated bus holds at most " + std::to_string(MaxDevicesOnBus) +
                                " devices");
    }
    applyDueEvents();
    devices_.push_back(std::move(device));
    return *devices_.back();
}

std::string SimulatedBus::addDevice(const DeviceConfig& config) {
    const std::lock_guard lock(mutex_);
    SimulatedDevice& device =
        addToBus(std::make_unique<SimulatedDevice>(config, SimulatedDevice::Kind::Family));
    const bool arrived = config.arrivesAt <= clock_->latest();
    if (!arrived)
        schedule(PendingEvent::Kind::Arrival, device, config.arrivesAt);
    if (config.leavesAt)
        schedule(PendingEvent::Kind::Departure, device, *config.leavesAt);
    return addNode(device, arrived, config.path);
}

std::string SimulatedBus::addForeignDevice(std::uint16_t vendorId, std::uint16_t productId) {
    DeviceConfig config;
    config.vendorId = vendorId;
    config.applicationProductId = productId;
    config.featureReportLength = 0;
    config.reenumerationDelay.reset();
    auto device = std::make_unique<SimulatedDevice>(config, SimulatedDevice::Kind::Foreign);
    const std::lock_guard lock(mutex_);
    return addNode(addToBus(std::move(device)), true);
}

std::string SimulatedBus::addNode(SimulatedDevice& device, bool present,
                                  const std::optional<std::string>& path) {
    nodes_.push_back(
        Node{path.value_or(PathPrefix + std::to_string(nodes_.size())), &device, present});
    if (present)
        noteChange();
    return nodes_.back().path;
}

const SimulatedBus::Node* SimulatedBus::findNode(const std::string& path) const {
    const Node* last = nullptr;
    for (const Node& node : nodes_) {
        if (node.path != path)
            continue;
        if (node.present)
            return &node;
        last = &node;
    }
    return last;
}

const SimulatedBus::Node* SimulatedBus::nodeFor(platform::Handle handle) const {
    const auto found = handles_.find(static_cast<std::intptr_t>(handle));
    return found == handles_.end() ? nullptr : &nodes_[found->second];
}

SimulatedDevice* SimulatedBus::presentDeviceFor(platform::Handle handle) const {
    const Node* node = nodeFor(handle);
    return node && node->present ? node->device : nullptr;
}

DeviceState SimulatedBus::state(const std::string& path) const {
    const std::lock_guard lock(mutex_);
    const Node* node = findNode(path);
    DeviceState result;
    if (node)
        result = node->device->state();
    result.present = node && node->present;
    return result;
}

DeviceConfig& SimulatedBus::config(const std::string& path) {
    const std::lock_guard lock(mutex_);
    const Node* node = findNode(path);
    if (!node)
        throw std::out_of_range("no simulated device was ever at " + path);
    return node->device->config();
}

void SimulatedBus::unplug(const std::string& path) {
    const std::lock_guard lock(mutex_);
    if (const Node* node = findNode(path))
        unplugDevice(*node->device);
}

void SimulatedBus::takeOffBus(const SimulatedDevice& device) {
    bool wasPresent = false;
    for (Node& node : nodes_) {
        if (node.device == &device) {
            wasPresent = wasPresent || node.present;
            node.present = false;
        }
    }
    if (wasPresent)
        noteChange();
}

void SimulatedBus::unplugDevice(const SimulatedDevice& device) {
    takeOffBus(device);
    std::erase_if(pendingEvents_,
                  [&](const PendingEvent& event) { return event.device == &device; });
}

void SimulatedBus::leaveForBootloader(SimulatedDevice& device) {
    takeOffBus(device);
    if (const auto delay = device.config().reenumerationDelay)
        schedule(PendingEvent::Kind::Return, device, clock_->now() + *delay);
}

void SimulatedBus::schedule(PendingEvent::Kind kind, SimulatedDevice& device,
                            std::chrono::microseconds due) {
    pendingEvents_.push_back(PendingEvent{kind, &device, due});
    // Waiters on the real clock wake for it.
    changed_.notify_all();
}

void SimulatedBus::noteChange() {
    ++changes_;
    changed_.notify_all();
    for (const auto& [watch, wake] : watches_)
        wake();
}

void SimulatedBus::applyDueEvents() {
    if (pendingEvents_.empty())
        return;
    const auto now = clock_->latest();
    std::stable_sort(pendingEvents_.begin(), pendingEvents_.end(),
                     [](const PendingEvent& a, const PendingEvent& b) { return a.due < b.due; });
    while (!pendingEvents_.empty() && pendingEvents_.front().due <= now) {
        const PendingEvent event = pendingEvents_.front();
        pendingEvents_.erase(pendingEvents_.begin());
        apply(event);
    }
}

void SimulatedBus::apply(const PendingEvent& event) {
    SimulatedDevice& device = *event.device;
    switch (event.kind) {
        case PendingEvent::Kind::Arrival:
            for (Node& node : nodes_)
                node.present = node.present || node.device == &device;
            noteChange();
            return;
        case PendingEvent::Kind::Return:
            device.restartInBootloader();
            addNode(device, true);
            return;
        case PendingEvent::Kind::Departure:
            unplugDevice(device);
            return;
    }
}

std::optional<std::chrono::microseconds> SimulatedBus::nextEventDue() const {
    std::optional<std::chrono::microseconds> next;
    for (const PendingEvent& event : pendingEvents_)
        next = std::min(next.value_or(event.due), event.due);
    return next;
}

void SimulatedBus::clearTranscript() {
    const std::lock_guard lock(mutex_);
    transcript_.clear();
}

void SimulatedBus::setTranscriptRecording(bool enabled) {
    const std::lock_guard lock(mutex_);
    recordTranscript_ = enabled;
}

void SimulatedBus::setTranscriptObserver(std::function<void(const TranscriptEntry&)> observer) {
    const std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

int SimulatedBus::openHandleCount() const {
    const std::lock_guard lock(mutex_);
    return static_cast<int>(handles_.size());
}

int SimulatedBus::openCount() const {
    const std::lock_guard lock(mutex_);
    return opens_;
}

std::vector<platform::InterfaceEntry> SimulatedBus::enumerateInterfaces() {
    const std::lock_guard lock(mutex_);
    applyDueEvents();
    std::vector<platform::InterfaceEntry> entries;
    for (std::size_t index = 0; index < nodes_.size(); ++index) {
        const Node& node = nodes_[index];
        if (!node.present)
            continue;
        const bool pathless = node.device->config().faults.noInterfacePath;
        entries.push_back(
            platform::InterfaceEntry{pathless ? std::string{} : node.path, std::to_string(index)});
    }
    return entries;
}

platform::OpenResult SimulatedBus::open(const std::string& path, platform::OpenMode /*mode*/) {
    const std::lock_guard lock(mutex_);
    applyDueEvents();
    const Node* node = findNode(path);
    if (!node || !node->present)
        return platform::OpenResult{std::nullopt, platform::OpenError::NotPresent};
    const FaultPlan& faults = node->device->config().faults;
    if (faults.permissionDenied)
        return platform::OpenResult{std::nullopt, platform::OpenError::PermissionDenied};
    if (faults.failOpen)
        return platform::OpenResult{std::nullopt, platform::OpenError::Other};

    const std::intptr_t value = nextHandle_++;
    handles_.emplace(value, static_cast<std::size_t>(node - nodes_.data()));
    ++opens_;
    return platform::OpenResult{platform::Handle{value}, platform::OpenError::None};
}

bool SimulatedBus::close(platform::Handle handle) {
    const std::lock_guard lock(mutex_);
    applyDueEvents();
    std::erase_if(claims_, [&](const auto& claim) {
        return claim.second == static_cast<std::intptr_t>(handle);
    });
    return handles_.erase(static_cast<std::intptr_t>(handle)) == 1;
}

std::optional<platform::DeviceHolder> SimulatedBus::holderOfNode(std::size_t node) const {
    if (const auto& holder = nodes_[node].device->config().faults.heldByAnotherProgram)
        return holder;
    if (claims_.contains(node))
        return platform::DeviceHolder{};
    return std::nullopt;
}

platform::ClaimResult SimulatedBus::claim(platform::Handle handle) {
    const std::lock_guard lock(mutex_);
    applyDueEvents();
    const auto found = handles_.find(static_cast<std::intptr_t>(handle));
    if (found == handles_.end())
        return {};
    if (const auto holder = holderOfNode(found->second))
        return {false, *holder};
    claims_.emplace(found->second, found->first);
    return {true, {}};
}

std::optional<platform::DeviceHolder> SimulatedBus::holderOf(const std::string& path) {
    const std::lock_guard lock(mutex_);
    applyDueEvents();
    const Node* node = findNode(path);
    return node ? holderOfNode(static_cast<std::size_t>(node - nodes_.data())) : std::nullopt;
}

std::optional<platform::Attributes> SimulatedBus::attributes(platform::Handle handle) {
    const std::lock_guard lock(mutex_);
    applyDueEvents();
    const SimulatedDevice* device = presentDeviceFor(handle);
    if (!device || device->config().faults.failAttributes)
        return std::nullopt;
    return device->attributes();
}

std::optional<platform::Attributes> SimulatedBus::attributesWithoutOpening(
    const std::string& path) {
    const std::lock_guard lock(mutex_);
    applyDueEvents();
    const Node* node = findNode(path);
    if (!node || !node->present || node->device->config().faults.failAttributes) {
        return std::nullopt;
    }
    return node->device->attributes();
}

std::optional<platform::Capabilities> SimulatedBus::capabilities(platform::Handle handle) {
    const std::lock_guard lock(mutex_);
    applyDueEvents();
    const SimulatedDevice* device = presentDeviceFor(handle);
    if (!device)
        return std::nullopt;
    return device->capabilities();
}

bool SimulatedBus::identityString(platform::Handle handle, platform::IdentityString which,
                                  std::span<std::uint8_t> buffer) {
    const std::lock_guard lock(mutex_);
    applyDueEvents();
    const SimulatedDevice* device = presentDeviceFor(handle);
    if (!device || device->config().faults.failIdentityStrings)
        return false;
    const std::vector<std::uint8_t>* text = device->identityString(which);
    if (!text)
        return false;
    std::copy_n(text->begin(), std::min(text->size(), buffer.size()), buffer.begin());
    return true;
}

// Counts the request and decides its fate: a request to a device not on the bus fails at once
// and is not counted; an unplug takes the device off at once; a hang takes its duration and
// fails; any other request takes the device's latency.
std::optional<SimulatedBus::Admission> SimulatedBus::admit(platform::Handle handle) {
    const auto found = handles_.find(static_cast<std::intptr_t>(handle));
    if (found == handles_.end())
        return std::nullopt;
    Admission admission{found->second};
    const Node& node = nodes_[admission.node];
    if (!node.present)
        return admission;
    SimulatedDevice& device = *node.device;
    const std::uint64_t index = device.takeRequestIndex();
    const FaultPlan& faults = device.config().faults;
    if (faults.unplugAtRequest == index) {
        unplugDevice(device);
    } else if (faults.hangAtRequest == index) {
        admission.duration = faults.hangDuration;
    } else {
        admission.duration = device.config().latencyPerTransfer;
        admission.reachesDevice = !(faults.failTransfersFrom && index >= *faults.failTransfersFrom);
    }
    return admission;
}

template <typename Deliver>
bool SimulatedBus::transfer(platform::Handle handle, Direction direction,
                            std::span<const std::uint8_t> crossed, Deliver deliver) {
    std::unique_lock lock(mutex_);
    applyDueEvents();
    const auto admission = admit(handle);
    if (!admission)
        return false;
    if (admission->duration > std::chrono::microseconds{0}) {
        lock.unlock();
        clock_->advance(admission->duration);
        lock.lock();
        applyDueEvents();
    }
    // The device may have left while the transfer took its time.
    const Node& node = nodes_[admission->node];
    const std::string path = node.path;
    const bool succeeded =
        admission->reachesDevice && node.present && deliver(*node.device, crossed);
    record(direction, path, crossed, succeeded);
    return succeeded;
}

bool SimulatedBus::deliverSetFeature(SimulatedDevice& device,
                                     std::span<const std::uint8_t> report) {
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

bool SimulatedBus::setFeature(platform::Handle handle, std::span<const std::uint8_t> report) {
    return transfer(handle, Direction::HostToDevice, report,
                    [&](SimulatedDevice& device, std::span<const std::uint8_t>&) {
                        return deliverSetFeature(device, report);
                    });
}

std::optional<std::size_t> SimulatedBus::getFeature(platform::Handle handle,
                                                    std::span<std::uint8_t> report) {
    std::optional<std::size_t> delivered;
    transfer(handle, Direction::DeviceToHost, {},
             [&](SimulatedDevice& device, std::span<const std::uint8_t>& crossed) {
                 delivered = device.answerGetFeature(report);
                 crossed = report.first(delivered.value_or(0));
                 return delivered.has_value();
             });
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

bool SimulatedBus::waitForInterfaceChange(std::chrono::milliseconds timeout) {
    timeout = std::max(timeout, std::chrono::milliseconds{0});
    std::unique_lock lock(mutex_);
    if (!clock_->isReal())
        return waitVirtually(timeout);
    return waitInRealTime(lock, timeout);
}

bool SimulatedBus::waitVirtually(std::chrono::milliseconds timeout) {
    clock_->catchUp();
    applyDueEvents();
    const auto now = clock_->now();
    const auto next = nextEventDue();
    if (changes_ == changesSeen_ && next && *next - now <= timeout) {
        clock_->advance(*next - now);
        applyDueEvents();
    } else if (changes_ == changesSeen_) {
        clock_->advance(timeout);
        return false;
    }
    changesSeen_ = changes_;
    return true;
}

bool SimulatedBus::waitInRealTime(std::unique_lock<std::mutex>& lock,
                                  std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        applyDueEvents();
        if (changes_ != changesSeen_) {
            changesSeen_ = changes_;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        const auto next = nextEventDue();
        changed_.wait_until(lock,
                            next ? std::min(deadline, clock_->steadyTimeAt(*next)) : deadline);
    }
}

void SimulatedBus::sleep(std::chrono::milliseconds duration) {
    {
        const std::lock_guard lock(mutex_);
        applyDueEvents();
    }
    clock_->advance(duration);
}

std::chrono::milliseconds SimulatedBus::monotonicTime() {
    const std::lock_guard lock(mutex_);
    applyDueEvents();
    return std::chrono::duration_cast<std::chrono::milliseconds>(clock_->now());
}

std::unique_ptr<platform::InterfaceWatch> SimulatedBus::watchInterfaces(
    platform::InterfaceWakeFunction wake) {
    const std::lock_guard lock(mutex_);
    auto watch = std::make_unique<Watch>(*this, changes_);
    watches_.emplace(watch.get(), std::move(wake));
    if (clock_->isReal() && !scheduler_.joinable())
        scheduler_ = std::thread([this] { applyEventsOnTime(); });
    return watch;
}

bool SimulatedBus::takeWatchChanges(std::uint64_t& seen) {
    const std::lock_guard lock(mutex_);
    applyDueEvents();
    return std::exchange(seen, changes_) != changes_;
}

void SimulatedBus::endWatch(const Watch& watch) {
    const std::lock_guard lock(mutex_);
    watches_.erase(&watch);
}

// Until the bus goes: each scheduled event as it falls due, the lock released in between.
void SimulatedBus::applyEventsOnTime() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        applyDueEvents();
        if (const auto next = nextEventDue())
            changed_.wait_until(lock, clock_->steadyTimeAt(*next));
        else
            changed_.wait(lock);
    }
}

}  // namespace fwu::simulator
