#!/bin/busybox sh
# /init of the test machine: mounts what the test needs, loads the HID modules, runs the
# test program and reports one result line on the serial console, then powers off.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
for module in $(cat /modules/order); do
    insmod "/modules/$module" || echo "KERNEL-TEST: cannot load $module"
done
echo "KERNEL-TEST: kernel $(uname -r), starting"
/fwu_kernel_test --gtest_color=no
status=$?
if [ "$status" -eq 0 ]; then
    echo "KERNEL-TEST: PASS"
else
    echo "KERNEL-TEST: FAIL (exit status $status)"
fi
sync
poweroff -f
