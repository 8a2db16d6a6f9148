#!/usr/bin/env bash
# Checks the Debian package on this machine: lintian, an install with apt, the installed
# programs, man pages, completion and udev rule, then a purge that must leave nothing behind.
# The machine is left as it was found: the package, and every package its install pulled in,
# are purged again, also when a check fails. Refuses to run where the package is installed.
# Usage: scripts/check-package.sh PACKAGE.deb
set -euo pipefail

if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    echo "Usage: $0 PACKAGE.deb (one package file, as make package writes it)" >&2
    exit 2
fi
deb=$(realpath "$1")
source_dir=$(realpath "$(dirname "$0")/..")
package=$(dpkg-deb --field "$deb" Package)
version=$(dpkg-deb --field "$deb" Version)
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8

passed=0
failed=0
# check DESCRIPTION COMMAND...: runs the command and counts it as passed or failed.
check() {
    local description=$1
    shift
    if "$@"; then
        echo "PASS: $description"
        passed=$((passed + 1))
    else
        echo "FAIL: $description"
        failed=$((failed + 1))
    fi
}

equals() { [ "$1" = "$2" ] || { echo "  expected '$2', got '$1'" >&2 && return 1; }; }
contains() { grep -q -- "$2" <<<"$1" || { echo "  '$2' not in: $1" >&2 && return 1; }; }
package_state() { dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || echo not-installed; }
# Runs a command quietly; shows its output only when it fails.
quietly() {
    local output
    output=$("$@" 2>&1) || { echo "$output" >&2 && return 1; }
}
installed_packages() { dpkg-query -W -f='${db:Status-Status} ${binary:Package}\n' | awk '$1 == "installed" { print $2 }' | sort; }

# Lintian's warnings and errors fail the check; README.md's packaging section explains the rest.
# Lintian warns when run as root, so it runs as nobody where that user can read the package.
run_lintian() {
    local as_nobody=()
    if [ "$(id -u)" -eq 0 ] && runuser -u nobody -- test -r "$deb" 2>/dev/null; then
        as_nobody=(runuser -u nobody -- env HOME=/tmp)
    fi
    "${as_nobody[@]}" lintian --fail-on error,warning --display-level '>=pedantic' "$deb"
}

changelog_version() {
    dpkg-deb --fsys-tarfile "$deb" | tar -xOf - "./usr/share/doc/$package/changelog.gz" | gzip -dc |
        sed -n '1s/^[^ ]* (\([^)]*\)).*/\1/p'
}

if [ "$(package_state)" != not-installed ]; then
    echo "$package is already on this machine ($(package_state)). This check installs and purges" >&2
    echo "the package, which would remove it: purge it first (apt-get purge $package)." >&2
    exit 1
fi

check "lintian reports no error or warning" run_lintian
check "the changelog's latest entry is version $version" equals "$(changelog_version)" "$version"

# What is there before: the installed packages, and which of the package's paths exist.
packages_before=$(installed_packages)
mapfile -t package_paths < <(dpkg-deb --fsys-tarfile "$deb" | tar -tf - | sed -e 's|^\./|/|' -e 's|/$||' | grep -v '^$' || true)
paths_there_before=()
for path in "${package_paths[@]}"; do
    [ -e "$path" ] && paths_there_before+=("$path")
done

# Puts the machine back: purges the package and whatever its install pulled in.
restore_machine() {
    [ "$(package_state)" = not-installed ] || quietly "${as_root[@]}" apt-get purge -y "$package"
    local pulled_in
    pulled_in=$(comm -13 <(echo "$packages_before") <(installed_packages))
    if [ -n "$pulled_in" ]; then
        # shellcheck disable=SC2086 # one package name a word
        quietly "${as_root[@]}" apt-get purge -y $pulled_in
    fi
}
trap restore_machine EXIT

install_package() {
    quietly "${as_root[@]}" apt-get install -y "$deb" ||
        { quietly "${as_root[@]}" apt-get update && quietly "${as_root[@]}" apt-get install -y "$deb"; }
}
check "apt-get installs the package" install_package
check "the package is installed" equals "$(package_state)" installed

check "firmware-update-cli --version" \
    equals "$(/usr/bin/firmware-update-cli --version)" "firmware-update-cli $version"
check "firmware-update-cli --simulate list lists the simulated device" \
    contains "$(env -u FIRMWARE_UPDATE_SIMULATION /usr/bin/firmware-update-cli --simulate list)" \
    $'^sim:hid0\tapplication\t7a5d:0a11\t'
check "firmware-update --version (the window's Qt libraries load)" \
    equals "$(QT_QPA_PLATFORM=offscreen /usr/bin/firmware-update --version 2>/dev/null)" \
    "Firmware Update $version"
for page in firmware-update-cli firmware-update; do
    check "man -w $page" equals "$(man -w "$page")" "/usr/share/man/man1/$page.1.gz"
done
check "man firmware-update-cli shows its exit status" \
    contains "$(MANWIDTH=80 man -P cat firmware-update-cli 2>/dev/null)" "^EXIT STATUS"
rule=/usr/lib/udev/rules.d/70-firmware-update.rules
check "the udev rule is at $rule" cmp "$rule" "$source_dir/dist/linux/70-firmware-update.rules"

# Completes LINE (up to the cursor) with the installed completion, as bash-completion loads it.
complete_line() {
    bash -c 'source /usr/share/bash-completion/bash_completion
             _completion_loader firmware-update-cli
             COMP_LINE=$1 COMP_POINT=${#1}
             read -ra COMP_WORDS <<<"$1"
             [[ $1 == *" " ]] && COMP_WORDS+=("")
             COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
             "$(complete -p firmware-update-cli | sed -n "s/.* -F \([^ ]*\) .*/\1/p")"
             echo "${COMPREPLY[*]}"' complete_line "$1"
}
check "bash completes the commands" equals "$(complete_line 'firmware-update-cli up')" "update upgrade"
check "bash completes the options" equals "$(complete_line 'firmware-update-cli --qu')" "--quiet"
check "bash completes serial numbers from list" \
    equals "$(complete_line 'firmware-update-cli --simulate --serial S')" "SIM-100001"

# Removal: nothing the package installed may be left, and nothing that was there before goes.
mapfile -t installed_paths < <(dpkg-query -L "$package")
lists_every_path() {
    local path
    for path in "${package_paths[@]}"; do
        printf '%s\n' "${installed_paths[@]}" | grep -qxF -- "$path" ||
            { echo "  not in dpkg -L: $path" >&2 && return 1; }
    done
}
check "dpkg's file list holds every path of the package file" lists_every_path
check "apt-get purges the package" quietly "${as_root[@]}" apt-get purge -y "$package"
check "the package is gone from dpkg's database" equals "$(package_state)" not-installed

left_behind() {
    local path left=0
    for path in "${installed_paths[@]}"; do
        [ -e "$path" ] || [ -L "$path" ] || continue
        if ! printf '%s\n' "${paths_there_before[@]}" | grep -qxF -- "$path"; then
            echo "  left behind: $path" >&2
            left=1
        fi
    done
    for path in "${paths_there_before[@]}"; do
        [ -e "$path" ] || { echo "  removed although there before: $path" >&2 && left=1; }
    done
    compgen -G "/var/lib/dpkg/info/$package.*" >&2 && left=1
    return "$left"
}
check "nothing the package installed is left, and nothing else was removed" left_behind

restore_machine
trap - EXIT
check "the machine has the packages it had before" equals "$(installed_packages)" "$packages_before"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
