#!/usr/bin/env bash
# Boots Debian's own kernel (package linux-image-amd64) under QEMU without KVM, with an
# initramfs of busybox, the HID modules and the kernel test program, and reads the result
# from the serial console. Usage: run.sh PATH/TO/fwu_kernel_test [PROGRAM...]: each PROGRAM (the
# command-line program, which the test starts as processes of their own) goes in / beside it.
set -euo pipefail

test_program=$(realpath "$1")
shift
timeout_seconds=${KERNEL_TEST_TIMEOUT:-240}
here=$(dirname "$(realpath "$0")")

die() { echo "test-kernel: $*" >&2; exit 1; }

# The kernel of the installed linux-image-amd64, not the one the host runs.
kernel_package=$(dpkg-query -W -f='${Depends}' linux-image-amd64 | grep -o 'linux-image-[^ ,]*' | head -1)
[ -n "$kernel_package" ] || die "linux-image-amd64 is not installed"
version=${kernel_package#linux-image-}
kernel=/boot/vmlinuz-$version
modules=/lib/modules/$version
[ -r "$kernel" ] || die "cannot read $kernel"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir -p "$root"/{bin,proc,sys,dev,tmp,modules}

cp /bin/busybox "$root/bin/busybox"
cp "$here/init.sh" "$root/init"
chmod +x "$root/init"

# The modules with their dependencies, dependencies first, as modules.dep lists them.
declare -A loaded=()
order=()
add_module() {
    local path=$1 dependency
    [ -n "${loaded[$path]:-}" ] && return
    for dependency in $(awk -v m="$path:" '$1 == m { $1 = ""; print }' "$modules/modules.dep"); do
        add_module "$dependency"
    done
    loaded[$path]=1
    case $path in
        *.ko) cp "$modules/$path" "$root/modules/" ;;
        *.ko.xz) xz -dc "$modules/$path" > "$root/modules/$(basename "${path%.xz}")" ;;
        *) die "cannot load module $path" ;;
    esac
    order+=("$(basename "${path%.xz}")")
}
for name in hid uhid hid-generic; do
    path=$(grep -o "^[^:]*/$name\.ko[^:]*" "$modules/modules.dep" | head -1)
    [ -n "$path" ] || die "module $name not found in $modules"
    add_module "$path"
done
printf '%s\n' "${order[@]}" > "$root/modules/order"

# The programs and the shared libraries they need, at their own paths.
add_program() {
    local program=$1 name=$2 library
    cp "$program" "$root/$name"
    for library in $(ldd "$program" | grep -o '/[^ ]*'); do
        mkdir -p "$root$(dirname "$library")"
        cp -L "$library" "$root$library"
    done
}
add_program "$test_program" fwu_kernel_test
for program in "$@"; do
    add_program "$(realpath "$program")" "$(basename "$program")"
done

(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) > "$work/initramfs.gz"

log=$work/console.log
echo "test-kernel: booting $kernel_package under QEMU (TCG)"
status=0
timeout "$timeout_seconds" qemu-system-x86_64 \
    -accel tcg -m 768 -smp 2 -no-reboot -nic none \
    -display none -monitor none -serial "file:$log" \
    -kernel "$kernel" -initrd "$work/initramfs.gz" \
    -append "console=ttyS0 panic=-1 quiet loglevel=3" || status=$?

tr -d '\r' < "$log" | grep -v '^$' || true
if [ "$status" -eq 124 ]; then
    die "FAIL: no result within $timeout_seconds seconds"
fi
if grep -q '^KERNEL-TEST: PASS' <(tr -d '\r' < "$log"); then
    echo "test-kernel: PASS"
    exit 0
fi
die "FAIL (see the console output above)"
