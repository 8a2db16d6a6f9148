#pragma once

#include <cstdint>
#include <string>

namespace fwu::firmware {

// What an operation needs from the front end that runs it: the window, the command line or a
// test. Every call happens on the thread that runs the operation.
class OperationHost {
  public:
    virtual ~OperationHost() = default;

    // The progress bar: shown at zero width, advanced to done/total, cleared to zero width.
    virtual void showProgress() = 0;
    virtual void advanceProgress(std::int64_t done, std::int64_t total) = 0;
    virtual void clearProgress() = 0;
    // One pass over the front end's pending events.
    virtual void processEvents() = 0;

    // The controls an operation changes.
    virtual void disableUpdateButton() = 0;     // Command3
    virtual void clearProductAndVersion() = 0;  // lblProduct, then lblVersion
    virtual void showUpgradeBusy() = 0;         // Command4: "Please wait...", disabled
    virtual void setStatusText(const std::string& text) = 0;  // Text1

    // Ends the program (the upgrade and the download end with it).
    virtual void unload() = 0;
    virtual void showError(const std::string& message) = 0;
    // Something the person should know that stops nothing (the system would not promise to stay
    // awake), shown without waiting for an answer: a write may be under way.
    virtual void showNotice(const std::string& message) = 0;

    // Polled before every report and every wait cycle; true stops the operation there.
    virtual bool cancelRequested() = 0;
    // An operation started (true) or ended (false); no other may start in between.
    virtual void busyChanged(bool busy) = 0;
};

}  // namespace fwu::firmware
