#!/usr/bin/env bash
# Fails when a Windows program imports, at load time, a DLL outside the short list below. For an
# imported DLL that is not one of Windows' known DLLs, Windows looks in the program's folder first,
# where anyone who can drop a file there could put a DLL of that name; such system DLLs are loaded
# while the program runs, from the system folder only (platform/windows/system_library.h).
#   check-windows-imports.sh PROGRAM.exe...
set -euo pipefail

# Each DLL a program may import, lower case, and why Windows never takes it from the program's
# folder. Microsoft publishes no list of today's known DLLs: its "Dynamic-link library search
# order" points to the machine's registry key (Session Manager\KnownDLLs). The entries below are
# named as known DLLs in Microsoft's own documents where one says so.
declare -A allowed=(
    [kernel32.dll]="a known DLL (\"Search Path Used by Windows to Locate a DLL\": known DLLs such as Kernel32.dll and User32.dll; KB 102985), in every process before the program's own code"
    [user32.dll]="a known DLL (the same two documents)"
    [gdi32.dll]="a known DLL (KB 102985)"
    [shell32.dll]="a known DLL (KB 102985); the UTF-16 command line (CommandLineToArgvW)"
    [msvcrt.dll]="the C runtime mingw-w64's compiler builds on, which only an import can bring; in the KnownDLLs key of current Windows, though on no list Microsoft publishes"
    [comctl32.dll]="only with the manifest's dependency on Microsoft.Windows.Common-Controls 6.0: side-by-side takes it from WinSxS, where Windows keeps it, before the program's folder (\"Assembly Searching Sequence\"), and a program with a manifest ignores .local redirection"
)

status=0
for program in "$@"; do
    name=$(basename "$program")
    imports=$(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^\s*DLL Name: //p' |
        tr 'A-Z' 'a-z' | sort -u)
    [ -n "$imports" ] || { echo "FAILED: no imports found in $program"; exit 1; }
    refused=""
    for dll in $imports; do
        reason=${allowed[$dll]:-}
        if [ "$dll" = comctl32.dll ] && ! grep -q 'Microsoft.Windows.Common-Controls' "$program"; then
            reason=""
        fi
        [ -n "$reason" ] || refused="$refused $dll"
    done
    if [ -n "$refused" ]; then
        echo "FAILED: $name imports$refused, which Windows may load from the program's folder:" \
            "take their functions from the system folder while the program runs" \
            "(platform/windows/system_library.h)"
        status=1
    else
        echo "$name imports only DLLs that Windows takes from its own folders:" $imports
    fi
done
exit $status
