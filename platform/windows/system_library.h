#pragma once

// Windows' own DLLs that are not known DLLs, which Windows always takes from its own folder
// (hid.dll; setupapi.dll, which no Microsoft document names one; cfgmgr32.dll), are loaded while
// the program runs, from the system folder only. Imported when the program starts, Windows would
// look for them in the program's folder first, where anyone who can drop a file there (a
// Downloads folder) could have their own DLL run with the user's rights.

#include <optional>
#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace fwu::platform::windows {

// From now on the process loads DLLs from the system folder only: no later load, by the program
// or by a system DLL on its behalf, looks in the program's folder or the current one. Returns
// the message for the person when this Windows cannot do that.
std::optional<std::string> restrictDllSearchToSystemFolder();

// One DLL of the system folder and the functions the program takes from it. The DLL stays
// loaded for the life of the process.
class SystemLibrary {
  public:
    explicit SystemLibrary(const wchar_t* fileName);

    // The function `name`, or nullptr when the DLL or the function is missing; a missing
    // required function is what problem() then tells.
    template <typename Function>
    Function required(const char* name) {
        return reinterpret_cast<Function>(address(name, true));
    }
    template <typename Function>
    Function optional(const char* name) {
        return reinterpret_cast<Function>(address(name, false));
    }

    // Why the program cannot use the DLL, for the person; nothing when the DLL and every
    // required function were found.
    const std::optional<std::string>& problem() const { return problem_; }

  private:
    // Through the generic function pointer type, which converts to any other without warning.
    using Address = void (*)();
    Address address(const char* name, bool required);

    std::string name_;
    HMODULE module_ = nullptr;
    std::optional<std::string> problem_;
};

}  // namespace fwu::platform::windows
