#include "platform/windows/power_request.h"

#include "platform/windows/wide_text.h"

namespace fwu::platform::windows {

namespace {

class PowerRequest final : public SleepBlock {
  public:
    PowerRequest(WindowsApi& api, HANDLE request) : api_(api), request_(request) {}
    ~PowerRequest() override {
        api_.PowerClearRequest(request_, PowerRequestSystemRequired);
        api_.CloseHandle(request_);
    }
    PowerRequest(const PowerRequest&) = delete;
    PowerRequest& operator=(const PowerRequest&) = delete;

  private:
    WindowsApi& api_;
    HANDLE request_;
};

std::string refusal(const char* step, DWORD error) {
    return "Windows " + std::string(step) + " the power request, error " + std::to_string(error);
}

}  // namespace

SleepRequest PowerRequestInhibitor::keepAwake(const std::string& /*who*/, const std::string& why) {
    std::wstring reason = toUtf16(why);
    REASON_CONTEXT context{};
    context.Version = POWER_REQUEST_CONTEXT_VERSION;
    context.Flags = POWER_REQUEST_CONTEXT_SIMPLE_STRING;
    context.Reason.SimpleReasonString = reason.data();
    const HANDLE request = api_.PowerCreateRequest(&context);
    if (request == INVALID_HANDLE_VALUE) {
        const DWORD error = api_.GetLastError();
        // A Windows without power requests (Wine) has nobody to ask, as a Linux without logind.
        if (error == ERROR_CALL_NOT_IMPLEMENTED)
            return {nullptr, std::nullopt};
        return {nullptr, refusal("did not create", error)};
    }
    if (!api_.PowerSetRequest(request, PowerRequestSystemRequired)) {
        const DWORD error = api_.GetLastError();
        api_.CloseHandle(request);
        return {nullptr, refusal("refused", error)};
    }
    return {std::make_unique<PowerRequest>(api_, request), std::nullopt};
}

}  // namespace fwu::platform::windows

namespace fwu::platform {

std::unique_ptr<SleepInhibitor> makeSystemSleepInhibitor() {
    return std::make_unique<windows::PowerRequestInhibitor>(windows::systemWindowsApi());
}

}  // namespace fwu::platform
