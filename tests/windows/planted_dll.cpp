// A DLL that anyone could drop into a folder: when a process loads it, it leaves a mark beside
// itself, its own path with ".loaded" added, and does nothing else.
// scripts/check-windows-planted-dlls.sh plants it under the names of the system DLLs the programs
// use, next to them and in the current folder.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    constexpr wchar_t Suffix[] = L".loaded";
    WCHAR path[MAX_PATH + sizeof Suffix / sizeof Suffix[0]];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return TRUE;
    lstrcpyW(path + length, Suffix);
    const HANDLE mark = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (mark != INVALID_HANDLE_VALUE)
        CloseHandle(mark);
    return TRUE;
}

// For rundll32, which the check loads it with first to see that the mark appears.
extern "C" __declspec(dllexport) void CALLBACK Load(HWND, HINSTANCE, LPSTR, int) {}
