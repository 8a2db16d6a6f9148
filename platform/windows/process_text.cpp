#include "platform/windows/process_text.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <shellapi.h>

#include "platform/windows/wide_text.h"

namespace fwu::platform::windows {

namespace {

bool isConsole(DWORD standardHandle) {
    const HANDLE handle = GetStdHandle(standardHandle);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

}  // namespace

std::vector<std::string> utf8Arguments() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> converted;
    if (arguments == nullptr)
        return converted;
    for (int i = 1; i < count; ++i)
        converted.push_back(toUtf8(arguments[i]));
    LocalFree(arguments);
    return converted;
}

Utf8ConsoleOutput::Utf8ConsoleOutput() {
    if (!isConsole(STD_OUTPUT_HANDLE) && !isConsole(STD_ERROR_HANDLE))
        return;
    const UINT earlier = GetConsoleOutputCP();
    if (earlier != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        earlierCodePage_ = earlier;
}

Utf8ConsoleOutput::~Utf8ConsoleOutput() {
    if (earlierCodePage_ != 0)
        SetConsoleOutputCP(earlierCodePage_);
}

}  // namespace fwu::platform::windows
