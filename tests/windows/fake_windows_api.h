#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace fwu::platform::windows::testing {

enum class DetailFault { None, NoSize, SecondQueryFails, Unterminated };

// One HID interface (one top-level collection) as the fake system presents it.
struct FakeInterface {
    FakeInterface(std::string path, std::uint16_t vendorId, std::uint16_t productId,
                  std::uint16_t featureReportLength)
        : path(std::move(path)),
          vendorId(vendorId),
          productId(productId),
          featureReportLength(featureReportLength) {}

    std::string path;
    std::uint16_t vendorId;
    std::uint16_t productId;
    std::uint16_t featureReportLength;
    std::optional<DWORD> openError;  // an open for reading and writing fails with this
    DetailFault detailFault = DetailFault::None;
    std::u16string identityText;         // what every identity-string query answers
    std::function<void()> onGetFeature;  // runs inside HidD_GetFeature, outside the fake's lock
};

// SetupAPI, HID.dll and the kernel calls over a table of interfaces, as Windows documents them:
// a closed handle's value is the next one issued; a string query fails, writing nothing, when
// the buffer cannot take the string and its zero; an open without access rights works on a
// device that another program holds and reads attributes and capabilities, but no reports; a
// named mutex lives while a handle refers to it and belongs to the thread that waited for it,
// which may wait for it again.
// Every call may come from any thread; read the public state when no other thread uses it.
class FakeWindowsApi final : public WindowsApi {
  public:
    struct OpenHandle {
        std::size_t interface;
        DWORD access;
    };
    std::vector<FakeInterface> interfaces;
    std::map<std::uintptr_t, OpenHandle> open;
    int outstandingPreparsedData = 0;
    int staleHandleUses = 0;
    int inheritableOpens = 0;
    int destroyedInfoSets = 0;
    std::string lastStringQuery;
    std::vector<std::uint8_t> lastFeatureSent;

    // A named mutex; one planted by a test stands for another program's.
    struct FakeMutex {
        int handles = 1;
        int owner = 0;           // the owning thread (threadNumber()); 0: none
        bool abandoned = false;  // its owner ended without releasing it
        bool otherUser = false;  // made by a program of another user: access is denied
    };
    static constexpr int OtherProgram = -1;  // the owner of a mutex another program holds
    std::map<std::wstring, FakeMutex> mutexes;

    HDEVINFO SetupDiGetClassDevsW(const GUID*, PCWSTR, HWND, DWORD flags) override {
        return flags == (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE) ? InfoSet : INVALID_HANDLE_VALUE;
    }
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID*, DWORD index,
                                     PSP_DEVICE_INTERFACE_DATA data) override {
        if (set != InfoSet || data->cbSize != sizeof *data || index >= interfaces.size())
            return failWith(ERROR_NO_MORE_ITEMS);
        data->Reserved = index;
        return TRUE;
    }
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO, PSP_DEVICE_INTERFACE_DATA data,
                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                          PDWORD requiredSize, PSP_DEVINFO_DATA) override {
        const FakeInterface& entry = interfaces.at(data->Reserved);
        const std::wstring path = toUtf16(entry.path);
        const std::size_t units = path.size() + (entry.detailFault != DetailFault::Unterminated);
        const auto needed = static_cast<DWORD>(sizeof(DWORD) + units * sizeof(WCHAR));
        if (requiredSize != nullptr && entry.detailFault != DetailFault::NoSize)
            *requiredSize = needed;
        if (detail == nullptr || size < needed)
            return failWith(ERROR_INSUFFICIENT_BUFFER);
        if (entry.detailFault == DetailFault::SecondQueryFails || detail->cbSize != sizeof *detail)
            return failWith(ERROR_INVALID_USER_BUFFER);
        std::memcpy(detail->DevicePath, path.c_str(), units * sizeof(WCHAR));
        return TRUE;
    }
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override {
        destroyedInfoSets += set == InfoSet;
        return set == InfoSet;
    }
    void HidD_GetHidGuid(LPGUID guid) override { *guid = GUID{}; }

    HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                       DWORD creation, DWORD, HANDLE) override {
        const auto entry = std::find_if(interfaces.begin(), interfaces.end(),
                                        [&](const auto& i) { return i.path == toUtf8(path); });
        if (entry == interfaces.end() || creation != OPEN_EXISTING ||
            share != (FILE_SHARE_READ | FILE_SHARE_WRITE))
            return failWith(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
        if (access != 0 && entry->openError)
            return failWith(*entry->openError), INVALID_HANDLE_VALUE;
        const std::lock_guard lock(mutex_);
        inheritableOpens += security != nullptr && security->bInheritHandle;
        const std::uintptr_t handle = freed_.empty() ? nextHandle_ += 4 : freed_.back();
        if (!freed_.empty())
            freed_.pop_back();
        open[handle] = {static_cast<std::size_t>(entry - interfaces.begin()), access};
        return reinterpret_cast<HANDLE>(handle);
    }
    BOOL CloseHandle(HANDLE handle) override {
        if (handle == PowerRequest) {
            powerCalls.push_back("close");
            return TRUE;
        }
        const std::lock_guard lock(mutex_);
        if (const auto named = mutexHandles_.find(valueOf(handle)); named != mutexHandles_.end()) {
            if (--mutexes.at(named->second).handles == 0)
                mutexes.erase(named->second);
            mutexHandles_.erase(named);
            freed_.push_back(valueOf(handle));
            return TRUE;
        }
        if (openOf(handle) == nullptr)
            return FALSE;
        open.erase(valueOf(handle));
        freed_.push_back(valueOf(handle));
        return TRUE;
    }
    DWORD GetLastError() override { return lastError; }
    void Sleep(DWORD) override {}

    // Made without an owner; a thread may wait for a mutex it owns again.
    HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES security, BOOL, LPCWSTR name) override {
        const std::lock_guard lock(mutex_);
        inheritableOpens += security != nullptr && security->bInheritHandle;
        const auto [named, made] = mutexes.try_emplace(name, FakeMutex{0});
        if (named->second.otherUser)
            return failWith(ERROR_ACCESS_DENIED), nullptr;
        lastError = made ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS;
        return newMutexHandle(named->first);
    }
    HANDLE OpenMutexW(DWORD, BOOL, LPCWSTR name) override {
        const std::lock_guard lock(mutex_);
        const auto named = mutexes.find(name);
        if (named == mutexes.end() || named->second.otherUser)
            return failWith(named == mutexes.end() ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED),
                   nullptr;
        return newMutexHandle(named->first);
    }
    // A wait that would block (another thread owns the mutex) times out at once.
    DWORD WaitForSingleObject(HANDLE handle, DWORD) override {
        const std::lock_guard lock(mutex_);
        FakeMutex* named = mutexOf(handle);
        if (named == nullptr || (named->owner != 0 && named->owner != threadNumber()))
            return named == nullptr ? WAIT_FAILED : WAIT_TIMEOUT;
        named->owner = threadNumber();
        return std::exchange(named->abandoned, false) ? WAIT_ABANDONED : WAIT_OBJECT_0;
    }
    BOOL ReleaseMutex(HANDLE handle) override {
        const std::lock_guard lock(mutex_);
        FakeMutex* named = mutexOf(handle);
        if (named == nullptr || named->owner != threadNumber())
            return failWith(ERROR_NOT_OWNER);
        named->owner = 0;
        return TRUE;
    }

    // Device-interface notifications, or none (as under Wine). notify() calls the callback as
    // the system's thread would.
    bool notificationsAvailable = true;
    int unregistrations = 0;
    std::function<void(CM_NOTIFY_ACTION)> notify = [](CM_NOTIFY_ACTION) {};
    CONFIGRET CM_Register_Notification(PCM_NOTIFY_FILTER filter, PVOID context,
                                       PCM_NOTIFY_CALLBACK callback,
                                       PHCMNOTIFICATION notification) override {
        if (!notificationsAvailable || filter->FilterType != CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE)
            return CR_CALL_NOT_IMPLEMENTED;
        notify = [=](CM_NOTIFY_ACTION action) { callback(nullptr, context, action, nullptr, 0); };
        *notification = Registration;
        return CR_SUCCESS;
    }
    CONFIGRET CM_Unregister_Notification(HCMNOTIFICATION notification) override {
        unregistrations += notification == Registration;
        return CR_SUCCESS;
    }

    // Power requests, each call noted ("create REASON", "set", "clear", "close"; "wrong" for
    // another request, type or form of reason); a create or a set fails with the error given.
    std::vector<std::string> powerCalls;
    std::optional<DWORD> powerCreateError, powerSetError;
    HANDLE PowerCreateRequest(PREASON_CONTEXT context) override {
        const bool simple = context->Version == POWER_REQUEST_CONTEXT_VERSION &&
                            context->Flags == POWER_REQUEST_CONTEXT_SIMPLE_STRING;
        powerCalls.push_back(simple ? "create " + toUtf8(context->Reason.SimpleReasonString)
                                    : "wrong");
        return powerCreateError ? (failWith(*powerCreateError), INVALID_HANDLE_VALUE)
                                : PowerRequest;
    }
    BOOL PowerSetRequest(HANDLE request, POWER_REQUEST_TYPE type) override {
        powerCalls.push_back(isPowerRequest(request, type) ? "set" : "wrong");
        return powerSetError ? failWith(*powerSetError) : TRUE;
    }
    BOOL PowerClearRequest(HANDLE request, POWER_REQUEST_TYPE type) override {
        powerCalls.push_back(isPowerRequest(request, type) ? "clear" : "wrong");
        return TRUE;
    }

    // The fake hashes nothing; the tests of SHA-256 use the system's CNG.
    NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG) override {
        return NotSupported;
    }
    NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE, ULONG) override {
        return NotSupported;
    }
    NTSTATUS BCryptCreateHash(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG, PUCHAR, ULONG,
                              ULONG) override {
        return NotSupported;
    }
    NTSTATUS BCryptHashData(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG) override {
        return NotSupported;
    }
    NTSTATUS BCryptFinishHash(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG) override {
        return NotSupported;
    }
    NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE) override { return NotSupported; }

    BOOLEAN HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) override {
        const std::lock_guard lock(mutex_);
        const OpenHandle* handle = openOf(device);
        if (handle == nullptr || attributes->Size != sizeof *attributes)
            return FALSE;
        const FakeInterface& entry = interfaces[handle->interface];
        *attributes = {sizeof *attributes, entry.vendorId, entry.productId, 0x0105};
        return TRUE;
    }
    // The preparsed data is the interface itself, counted until it is freed.
    BOOLEAN HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* data) override {
        const std::lock_guard lock(mutex_);
        const OpenHandle* handle = openOf(device);
        if (handle != nullptr)
            *data = reinterpret_cast<PHIDP_PREPARSED_DATA>(&interfaces[handle->interface]);
        return handle != nullptr && ++outstandingPreparsedData;
    }
    NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) override {
        *caps = HIDP_CAPS{};
        caps->FeatureReportByteLength = reinterpret_cast<FakeInterface*>(data)->featureReportLength;
        return HIDP_STATUS_SUCCESS;
    }
    BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA) override {
        const std::lock_guard lock(mutex_);
        return outstandingPreparsedData-- > 0;
    }
    BOOLEAN HidD_GetManufacturerString(HANDLE device, PVOID buffer, ULONG length) override {
        return copyString("HidD_GetManufacturerString", device, buffer, length);
    }
    BOOLEAN HidD_GetProductString(HANDLE device, PVOID buffer, ULONG length) override {
        return copyString("HidD_GetProductString", device, buffer, length);
    }
    BOOLEAN HidD_GetSerialNumberString(HANDLE device, PVOID buffer, ULONG length) override {
        return copyString("HidD_GetSerialNumberString", device, buffer, length);
    }
    BOOLEAN HidD_SetFeature(HANDLE device, PVOID report, ULONG length) override {
        const std::lock_guard lock(mutex_);
        if (reportTarget(device) == nullptr)
            return FALSE;
        const auto* bytes = static_cast<const std::uint8_t*>(report);
        lastFeatureSent.assign(bytes, bytes + length);
        return TRUE;
    }
    // Answers position i with i.
    BOOLEAN HidD_GetFeature(HANDLE device, PVOID report, ULONG length) override {
        std::unique_lock lock(mutex_);
        const FakeInterface* entry = reportTarget(device);
        lock.unlock();
        if (entry != nullptr && entry->onGetFeature)
            entry->onGetFeature();
        for (ULONG i = 1; entry != nullptr && i < length; ++i)
            static_cast<std::uint8_t*>(report)[i] = static_cast<std::uint8_t>(i);
        return entry != nullptr;
    }

  private:
    static inline const HDEVINFO InfoSet = reinterpret_cast<HDEVINFO>(0x5e7);
    static inline const HCMNOTIFICATION Registration = reinterpret_cast<HCMNOTIFICATION>(0x7e9);
    static inline const HANDLE PowerRequest = reinterpret_cast<HANDLE>(0x9e7);
    static constexpr NTSTATUS NotSupported = static_cast<NTSTATUS>(0xC00000BB);
    static constexpr ULONG LargestStringBuffer = 4093;

    static int threadNumber() {
        static std::atomic<int> threads{0};
        thread_local const int number = ++threads;
        return number;
    }
    // With the lock held.
    HANDLE newMutexHandle(const std::wstring& name) {
        ++mutexes.at(name).handles;
        const std::uintptr_t handle = freed_.empty() ? nextHandle_ += 4 : freed_.back();
        if (!freed_.empty())
            freed_.pop_back();
        mutexHandles_[handle] = name;
        return reinterpret_cast<HANDLE>(handle);
    }
    FakeMutex* mutexOf(HANDLE handle) {
        const auto named = mutexHandles_.find(valueOf(handle));
        if (named == mutexHandles_.end())
            return failWith(ERROR_INVALID_HANDLE), nullptr;
        return &mutexes.at(named->second);
    }
    static std::uintptr_t valueOf(const void* pointer) {
        return reinterpret_cast<std::uintptr_t>(pointer);
    }
    static inline thread_local DWORD lastError = 0;
    static BOOL failWith(DWORD error) {
        lastError = error;
        return FALSE;
    }
    static bool isPowerRequest(HANDLE request, POWER_REQUEST_TYPE type) {
        return request == PowerRequest && type == PowerRequestSystemRequired;
    }

    // With the lock held. A handle that is not open is a stale use.
    const OpenHandle* openOf(HANDLE handle) {
        const auto found = open.find(valueOf(handle));
        if (found != open.end())
            return &found->second;
        ++staleHandleUses;
        failWith(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // With the lock held. Reports need a handle opened for reading and writing.
    const FakeInterface* reportTarget(HANDLE device) {
        const OpenHandle* handle = openOf(device);
        if (handle == nullptr || handle->access != (GENERIC_READ | GENERIC_WRITE))
            return failWith(ERROR_ACCESS_DENIED), nullptr;
        return &interfaces[handle->interface];
    }
    BOOLEAN copyString(const char* function, HANDLE device, PVOID buffer, ULONG length) {
        const std::lock_guard lock(mutex_);
        lastStringQuery = function;
        const OpenHandle* handle = openOf(device);
        if (handle == nullptr)
            return FALSE;
        const std::u16string& text = interfaces[handle->interface].identityText;
        const std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
        if (length < bytes || length > LargestStringBuffer)
            return failWith(ERROR_INVALID_USER_BUFFER);
        std::memcpy(buffer, text.c_str(), bytes);
        return TRUE;
    }

    std::mutex mutex_;
    std::map<std::uintptr_t, std::wstring> mutexHandles_;  // the mutex each handle refers to
    std::vector<std::uintptr_t> freed_;                    // reused, the last freed first
    std::uintptr_t nextHandle_ = 0x100;
};

}  // namespace fwu::platform::windows::testing
