#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "firmware/operation_host.h"

namespace fwu::firmware::testing {

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
    ShowNotice
};

struct HostCall {
    Call call;
    std::int64_t done = 0;
    std::int64_t total = 0;
    std::string text = {};    // status text or error message
    std::uint64_t times = 1;  // repeats of the same advance, kept as one entry
};

// An operation host that records every call in order. Tests act in the middle of an operation
// through onCall, which runs after each call is recorded.
class RecordingHost : public OperationHost {
  public:
    std::vector<HostCall> calls;
    bool cancel = false;
    std::function<void(const HostCall&)> onCall;

    void showProgress() override { add({Call::ShowProgress}); }
    void advanceProgress(std::int64_t done, std::int64_t total) override {
        HostCall* last = calls.empty() ? nullptr : &calls.back();
        if (!last || last->call != Call::AdvanceProgress || last->done != done ||
            last->total != total)
            return add({Call::AdvanceProgress, done, total});
        ++last->times;
        if (onCall)
            onCall(HostCall(*last));  // a copy: the hook may record further calls
    }
    void clearProgress() override { add({Call::ClearProgress}); }
    void processEvents() override { add({Call::ProcessEvents}); }
    void disableUpdateButton() override { add({Call::DisableUpdateButton}); }
    void clearProductAndVersion() override { add({Call::ClearProductAndVersion}); }
    void showUpgradeBusy() override { add({Call::ShowUpgradeBusy}); }
    void setStatusText(const std::string& text) override { add({Call::SetStatusText, 0, 0, text}); }
    void unload() override { add({Call::Unload}); }
    void showError(const std::string& message) override { add({Call::ShowError, 0, 0, message}); }
    void showNotice(const std::string& message) override { add({Call::ShowNotice, 0, 0, message}); }
    bool cancelRequested() override { return cancel; }
    void busyChanged(bool) override { add({Call::BusyChanged}); }

    std::vector<Call> sequence() const {
        std::vector<Call> result;
        for (const auto& call : calls)
            result.push_back(call.call);
        return result;
    }
    bool endsWith(const std::vector<Call>& ending) const {
        const auto all = sequence();
        return all.size() >= ending.size() &&
               std::equal(ending.rbegin(), ending.rend(), all.rbegin());
    }
    // The bar's steps: "shown" and "cleared" (both at zero width), and "done/total" for each
    // advance, repeats of one advance as one step; separated by spaces.
    std::string progressSteps() const {
        std::string steps;
        for (const auto& call : calls) {
            const std::string step =
                call.call == Call::ShowProgress    ? "shown"
                : call.call == Call::ClearProgress ? "cleared"
                : call.call == Call::AdvanceProgress
                    ? std::to_string(call.done) + "/" + std::to_string(call.total)
                    : "";
            if (!step.empty())
                steps += (steps.empty() ? "" : " ") + step;
        }
        return steps;
    }
    std::uint64_t count(Call kind) const {
        std::uint64_t total = 0;
        for (const auto& call : calls)
            total += call.call == kind ? call.times : 0;
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
        if (onCall)
            onCall(call);
    }
};

}  // namespace fwu::firmware::testing
