#include "platform/windows/system_library.h"

#include "platform/windows/wide_text.h"

namespace fwu::platform::windows {

namespace {

constexpr const char* RepairAdvice =
    " Update Windows, or repair its system files (\"sfc /scannow\" in a command prompt run as "
    "administrator), then start the program again.";

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

}  // namespace

std::optional<std::string> restrictDllSearchToSystemFolder() {
    // Windows 8 and later have it, Windows 7 with update KB2533623. kernel32.dll is in every
    // process already: looking it up loads nothing.
    const auto restrict =
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)()>(
            ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (restrict == nullptr)
        return "This version of Windows cannot keep the program from loading DLLs out of its own "
               "folder. Install Windows update KB2533623 (Windows 7) or use Windows 8 or later.";
    if (!restrict(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return "Windows refused to load DLLs from its system folder only (Windows error " +
               std::to_string(::GetLastError()) + ")." + RepairAdvice;
    return std::nullopt;
}

SystemLibrary::SystemLibrary(const wchar_t* fileName)
    : name_(toUtf8(fileName)),
      module_(::LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    if (module_ == nullptr)
        problem_ = "Windows' " + name_ +
                   " cannot be loaded from the system folder (Windows error " +
                   std::to_string(::GetLastError()) + "); the program needs it." + RepairAdvice;
}

SystemLibrary::Address SystemLibrary::address(const char* name, bool required) {
    const auto found =
        module_ == nullptr ? nullptr : reinterpret_cast<Address>(::GetProcAddress(module_, name));
    if (found == nullptr && required && !problem_)
        problem_ = "Windows' " + name_ + " has no function " + name + ", which the program needs." +
                   RepairAdvice;
    return found;
}

}  // namespace fwu::platform::windows
