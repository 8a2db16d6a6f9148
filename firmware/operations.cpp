#include "firmware/operations.h"

#include <utility>

#include "firmware/download_operation.h"
#include "firmware/dump_operation.h"
#include "firmware/messages.h"
#include "firmware/operation_context.h"
#include "firmware/service_commands.h"
#include "firmware/update_operation.h"
#include "firmware/upgrade_operation.h"
#include "firmware/verify_operation.h"

namespace fwu::firmware {

namespace {

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

using Operation = OperationResult (*)(const OperationContext&);

OperationResult runAlone(bool& busy, const OperationContext& context, Operation operation) {
    if (busy)
        return {Outcome::Busy, messages::busy()};
    BusyScope scope(busy, context.host);
    return operation(context);
}

}  // namespace

FirmwareOperations::FirmwareOperations(device::DeviceLink& link, OperationHost& host,
                                       ProgramFiles files, OperationSettings settings)
    : link_(link), host_(host), files_(std::move(files)), settings_(settings) {}

OperationResult FirmwareOperations::update() {
    return runAlone(busy_, {link_, host_, files_, settings_}, runUpdate);
}

OperationResult FirmwareOperations::download() {
    return runAlone(busy_, {link_, host_, files_, settings_}, runDownload);
}

OperationResult FirmwareOperations::upgrade() {
    return runAlone(busy_, {link_, host_, files_, settings_}, runUpgrade);
}

OperationResult FirmwareOperations::dump() {
    return runAlone(busy_, {link_, host_, files_, settings_}, runDump);
}

OperationResult FirmwareOperations::verify() {
    return runAlone(busy_, {link_, host_, files_, settings_}, runVerify);
}

OperationResult FirmwareOperations::eraseChip() {
    return runAlone(busy_, {link_, host_, files_, settings_}, runEraseChip);
}

OperationResult FirmwareOperations::enterBootloader() {
    return runAlone(busy_, {link_, host_, files_, settings_}, runEnterBootloader);
}

}  // namespace fwu::firmware
