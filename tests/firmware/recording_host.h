#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "firmware/operation_host.h"
#include "firmware/progress.h"

namespace fwu::firmware::testing {

// The full width of the progress fill with the window's design layout, in twips.
inline constexpr std::int16_t DesignFullWidth = 5055;

enum class Call {
    ShowProgress,
    AdvanceProgress,
    ClearProgress,
    ProcessEvents,
    DisableUpdateButton,
    ClearProductAndVersion,
    ShowUpgradeBusy,
    SetStatusText,
    Unload,
    ShowError,
    BusyChanged,
};

struct HostCall {
    explicit HostCall(Call kind) : call(kind) {}

    Call call;
    std::int64_t done = 0;
    std::int64_t total = 0;
    float width = 0;   // of the fill after an advance, with the design layout
    std::string text;  // status text or error message
    bool busy = false;
    std::uint64_t times = 1;  // repeats of the same advance, kept as one entry
};

// An operation host that records every call in order. Tests act in the middle of an operation
// through onCall, which runs after each call is recorded.
class RecordingHost : public OperationHost {
  public:
    std::vector<HostCall> calls;
    bool cancel = false;
    std::function<void(const HostCall&)> onCall;

    void showProgress() override { add(HostCall(Call::ShowProgress)); }
    void advanceProgress(std::int64_t done, std::int64_t total) override {
        HostCall call(Call::AdvanceProgress);
        call.done = done;
        call.total = total;
        call.width = progressWidth(DesignFullWidth, done, total);
        if (!calls.empty() && calls.back().call == Call::AdvanceProgress &&
            calls.back().done == done && calls.back().total == total) {
            ++calls.back().times;
            notify(calls.back());
            return;
        }
        add(call);
    }
    void clearProgress() override { add(HostCall(Call::ClearProgress)); }
    void processEvents() override { add(HostCall(Call::ProcessEvents)); }
    void disableUpdateButton() override { add(HostCall(Call::DisableUpdateButton)); }
    void clearProductAndVersion() override { add(HostCall(Call::ClearProductAndVersion)); }
    void showUpgradeBusy() override { add(HostCall(Call::ShowUpgradeBusy)); }
    void setStatusText(const std::string& text) override {
        HostCall call(Call::SetStatusText);
        call.text = text;
        add(call);
    }
    void unload() override { add(HostCall(Call::Unload)); }
    void showError(const std::string& message) override {
        HostCall call(Call::ShowError);
        call.text = message;
        add(call);
    }
    bool cancelRequested() override { return cancel; }
    void busyChanged(bool busy) override {
        HostCall call(Call::BusyChanged);
        call.busy = busy;
        add(call);
    }

    std::vector<Call> sequence() const {
        std::vector<Call> result;
        for (const auto& call : calls)
            result.push_back(call.call);
        return result;
    }
    // The widths the fill takes: 0 when shown, each advance, 0 when cleared.
    std::vector<float> barWidths() const {
        std::vector<float> widths;
        for (const auto& call : calls) {
            if (call.call == Call::ShowProgress || call.call == Call::ClearProgress)
                widths.push_back(0);
            if (call.call == Call::AdvanceProgress)
                widths.push_back(call.width);
        }
        return widths;
    }
    std::uint64_t count(Call kind) const {
        std::uint64_t total = 0;
        for (const auto& call : calls) {
            if (call.call == kind)
                total += call.times;
        }
        return total;
    }
    std::vector<std::string> texts(Call kind) const {
        std::vector<std::string> result;
        for (const auto& call : calls) {
            if (call.call == kind)
                result.push_back(call.text);
        }
        return result;
    }

  private:
    void add(const HostCall& call) {
        calls.push_back(call);
        notify(calls.back());
    }
    void notify(const HostCall& call) {
        if (onCall)
            onCall(HostCall(call));  // a copy: the hook may record further calls
    }
};

}  // namespace fwu::firmware::testing
