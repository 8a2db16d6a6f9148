#!/bin/sh
# A system bus of a test's own: a dbus-daemon listening in FOLDER (none where LOGIND is "none")
# and, unless LOGIND is "absent", logind played by python3-dbusmock's template. Its Inhibit hands out one end of a pipe as the
# lock ("granting"), or refuses every lock ("refusing"), or those of the lid switch only
# ("refusing-lid-switch"), as logind refuses a caller outside an active local session. Its
# ListInhibitors lists the locks whose pipe is still open: the moment the last descriptor of a
# lock is closed, it is gone. Its calls are logged in FOLDER/logind.log. The bus's address ends
# up in FOLDER/address, the IDs of the processes started in FOLDER/pids; ready on return.
#   private-system-bus.sh FOLDER LOGIND
set -eu
folder=$1
logind=$2
if [ "$logind" = none ]; then
    echo "unix:path=$folder/no-bus" >"$folder/address"
    exit 0
fi

dbus-daemon --session --fork --address="unix:path=$folder/bus" --print-address=3 \
    --print-pid=4 3>"$folder/address" 4>"$folder/pids" 2>/dev/null
DBUS_SYSTEM_BUS_ADDRESS=$(head -n 1 "$folder/address")
export DBUS_SYSTEM_BUS_ADDRESS
[ "$logind" = absent ] && exit 0

/usr/bin/python3 -m dbusmock --system --template logind -l "$folder/logind.log" \
    >/dev/null 2>&1 &
echo $! >>"$folder/pids"
tries=0
until dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.login1 2>/dev/null | grep -q true; do
    tries=$((tries + 1))
    [ "$tries" -lt 3000 ] || { echo "python3-dbusmock's logind did not start" >&2; exit 1; }
    sleep 0.01
done

case $logind in
    granting) refused=False ;;
    refusing) refused=True ;;
    refusing-lid-switch) refused="'handle-lid-switch' in args[0]" ;;
esac
add_method() {  # NAME IN OUT CODE
    dbus-send --system --print-reply --dest=org.freedesktop.login1 /org/freedesktop/login1 \
        org.freedesktop.DBus.Mock.AddMethod string:org.freedesktop.login1.Manager \
        "string:$1" "string:$2" "string:$3" "string:$4" >/dev/null
}
add_method Inhibit ssss h "if $refused: raise dbus.exceptions.DBusException('Access denied', \
name='org.freedesktop.DBus.Error.AccessDenied')
r, w = os.pipe()
self.locks = getattr(self, 'locks', []) + [(args, r)]
ret = dbus.types.UnixFd(w)
os.close(w)"
add_method ListInhibitors '' 'a(ssssuu)' "import select
ret = []
for lock, r in getattr(self, 'locks', []):
    if not select.select([r], [], [], 0)[0]:
        ret.append(tuple(lock) + (dbus.UInt32(0), dbus.UInt32(0)))"
