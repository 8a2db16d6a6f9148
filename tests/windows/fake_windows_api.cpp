#include "tests/windows/fake_windows_api.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace fwu::platform::windows::testing {

namespace {

constexpr DWORD DevicePathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);

template <typename Pointer>
std::uintptr_t valueOf(Pointer pointer) {
    return reinterpret_cast<std::uintptr_t>(pointer);
}

template <typename Pointer>
Pointer pointerOf(std::uintptr_t value) {
    return reinterpret_cast<Pointer>(value);
}

DWORD detailRecordSize(const FakeInterface& entry) {
    return DevicePathOffset + static_cast<DWORD>(entry.path.size()) +
           (entry.unterminatedPath ? 0 : 1);
}

}  // namespace

int FakeWindowsApi::callCount(const std::string& function) const {
    return static_cast<int>(callsOf(function).size());
}

std::vector<ObservedCall> FakeWindowsApi::callsOf(const std::string& function) const {
    std::vector<ObservedCall> found;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(found),
                 [&](const ObservedCall& call) { return call.function == function; });
    return found;
}

HDEVINFO FakeWindowsApi::SetupDiGetClassDevsA(const GUID* classGuid, PCSTR, HWND, DWORD flags) {
    calls.push_back({"SetupDiGetClassDevsA", 0, flags});
    if (failClassDevs || std::memcmp(classGuid, &hidGuid_, sizeof hidGuid_) != 0)
        return INVALID_HANDLE_VALUE;
    return pointerOf<HDEVINFO>(infoSet_);
}

BOOL FakeWindowsApi::SetupDiEnumDeviceInterfaces(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA,
                                                 const GUID*, DWORD memberIndex,
                                                 PSP_DEVICE_INTERFACE_DATA interfaceData) {
    calls.push_back({"SetupDiEnumDeviceInterfaces", interfaceData->cbSize, memberIndex});
    if (valueOf(deviceInfoSet) != infoSet_ || interfaceData->cbSize != sizeof *interfaceData ||
        memberIndex >= interfaces.size()) {
        lastError_ = ERROR_NO_MORE_ITEMS;
        return FALSE;
    }
    interfaceData->Reserved = memberIndex + 1;
    return TRUE;
}

const FakeInterface* FakeWindowsApi::interfaceAt(PSP_DEVICE_INTERFACE_DATA interfaceData) const {
    const auto index = interfaceData->Reserved;
    return index >= 1 && index <= interfaces.size() ? &interfaces[index - 1] : nullptr;
}

BOOL FakeWindowsApi::SetupDiGetDeviceInterfaceDetailA(HDEVINFO,
                                                      PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                                      DWORD detailSize, PDWORD requiredSize,
                                                      PSP_DEVINFO_DATA) {
    DWORD headerSize = 0;
    if (detail != nullptr)
        std::memcpy(&headerSize, detail, sizeof headerSize);
    calls.push_back({"SetupDiGetDeviceInterfaceDetailA", headerSize, detailSize});
    const FakeInterface* entry = interfaceAt(interfaceData);
    if (entry == nullptr)
        return FALSE;
    const DWORD needed = detailRecordSize(*entry);
    if (requiredSize != nullptr && !entry->reportsNoDetailSize)
        *requiredSize = needed;
    if (detail == nullptr || detailSize < needed) {
        lastError_ = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    if (entry->failsDetailQuery || headerSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        lastError_ = ERROR_INVALID_USER_BUFFER;
        return FALSE;
    }
    auto* bytes = reinterpret_cast<char*>(detail);
    std::memcpy(bytes + DevicePathOffset, entry->path.data(), needed - DevicePathOffset);
    return TRUE;
}

BOOL FakeWindowsApi::SetupDiDestroyDeviceInfoList(HDEVINFO deviceInfoSet) {
    calls.push_back({"SetupDiDestroyDeviceInfoList", 0, 0});
    if (valueOf(deviceInfoSet) != infoSet_)
        return FALSE;
    ++destroyedInfoSets;
    return TRUE;
}

void FakeWindowsApi::HidD_GetHidGuid(LPGUID hidGuid) {
    calls.push_back({"HidD_GetHidGuid", 0, 0});
    *hidGuid = hidGuid_;
}

HANDLE FakeWindowsApi::CreateFileA(LPCSTR path, DWORD access, DWORD shareMode,
                                   LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                                   HANDLE) {
    calls.push_back({"CreateFileA", security != nullptr ? security->nLength : 0, flags});
    const bool usual = access == (GENERIC_READ | GENERIC_WRITE) &&
                       shareMode == (FILE_SHARE_READ | FILE_SHARE_WRITE) &&
                       creation == OPEN_EXISTING;
    const auto entry = std::find_if(interfaces.begin(), interfaces.end(),
                                    [&](const FakeInterface& i) { return i.path == path; });
    if (!usual || entry == interfaces.end()) {
        lastError_ = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    if (entry->openError) {
        lastError_ = *entry->openError;
        return INVALID_HANDLE_VALUE;
    }
    const std::uintptr_t handle = nextHandle_;
    nextHandle_ += 4;
    openHandles.insert(handle);
    handleInterface_[handle] = static_cast<std::size_t>(entry - interfaces.begin());
    return pointerOf<HANDLE>(handle);
}

BOOL FakeWindowsApi::CloseHandle(HANDLE handle) {
    calls.push_back({"CloseHandle", 0, 0});
    if (openHandles.erase(valueOf(handle)) == 0) {
        ++staleHandleUses;
        return FALSE;
    }
    handleInterface_.erase(valueOf(handle));
    return TRUE;
}

const FakeInterface* FakeWindowsApi::interfaceOf(HANDLE handle) {
    const auto found = handleInterface_.find(valueOf(handle));
    if (found == handleInterface_.end()) {
        ++staleHandleUses;
        return nullptr;
    }
    return &interfaces[found->second];
}

BOOLEAN FakeWindowsApi::HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) {
    calls.push_back({"HidD_GetAttributes", attributes->Size, 0});
    const FakeInterface* entry = interfaceOf(device);
    if (entry == nullptr || attributes->Size != sizeof *attributes)
        return FALSE;
    attributes->VendorID = entry->vendorId;
    attributes->ProductID = entry->productId;
    attributes->VersionNumber = entry->versionNumber;
    return TRUE;
}

BOOLEAN FakeWindowsApi::HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* preparsedData) {
    calls.push_back({"HidD_GetPreparsedData", 0, 0});
    const FakeInterface* entry = interfaceOf(device);
    if (entry == nullptr || entry->failsPreparsedData)
        return FALSE;
    const std::uintptr_t token = nextPreparsed_;
    nextPreparsed_ += 8;
    preparsedInterface_[token] = handleInterface_[valueOf(device)];
    ++outstandingPreparsedData;
    *preparsedData = pointerOf<PHIDP_PREPARSED_DATA>(token);
    return TRUE;
}

NTSTATUS FakeWindowsApi::HidP_GetCaps(PHIDP_PREPARSED_DATA preparsedData, PHIDP_CAPS caps) {
    calls.push_back({"HidP_GetCaps", 0, 0});
    const auto found = preparsedInterface_.find(valueOf(preparsedData));
    if (found == preparsedInterface_.end())
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    *caps = HIDP_CAPS{};
    caps->FeatureReportByteLength = interfaces[found->second].featureReportLength;
    return HIDP_STATUS_SUCCESS;
}

BOOLEAN FakeWindowsApi::HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsedData) {
    calls.push_back({"HidD_FreePreparsedData", 0, 0});
    if (preparsedInterface_.erase(valueOf(preparsedData)) == 0)
        return FALSE;
    --outstandingPreparsedData;
    return TRUE;
}

BOOLEAN FakeWindowsApi::copyString(HANDLE device, const char* function, PVOID buffer,
                                   ULONG length) {
    calls.push_back({function, 0, length});
    const FakeInterface* entry = interfaceOf(device);
    if (entry == nullptr)
        return FALSE;
    const std::u16string& text = entry->identityText;
    const std::size_t bytes = std::min<std::size_t>(length, (text.size() + 1) * 2);
    std::memcpy(buffer, text.c_str(), bytes);
    return TRUE;
}

BOOLEAN FakeWindowsApi::HidD_GetManufacturerString(HANDLE device, PVOID buffer, ULONG length) {
    return copyString(device, "HidD_GetManufacturerString", buffer, length);
}

BOOLEAN FakeWindowsApi::HidD_GetProductString(HANDLE device, PVOID buffer, ULONG length) {
    return copyString(device, "HidD_GetProductString", buffer, length);
}

BOOLEAN FakeWindowsApi::HidD_GetSerialNumberString(HANDLE device, PVOID buffer, ULONG length) {
    return copyString(device, "HidD_GetSerialNumberString", buffer, length);
}

BOOLEAN FakeWindowsApi::HidD_SetFeature(HANDLE device, PVOID report, ULONG length) {
    calls.push_back({"HidD_SetFeature", 0, length});
    if (interfaceOf(device) == nullptr)
        return FALSE;
    const auto* bytes = static_cast<const std::uint8_t*>(report);
    lastFeatureSent.assign(bytes, bytes + length);
    return TRUE;
}

BOOLEAN FakeWindowsApi::HidD_GetFeature(HANDLE device, PVOID report, ULONG length) {
    calls.push_back({"HidD_GetFeature", 0, length});
    if (interfaceOf(device) == nullptr)
        return FALSE;
    auto* bytes = static_cast<std::uint8_t*>(report);
    for (ULONG i = 1; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    return TRUE;
}

}  // namespace fwu::platform::windows::testing
