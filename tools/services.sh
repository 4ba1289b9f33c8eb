#!/usr/bin/env bash
# Starts the system services the storage tests talk to, each only where it is not
# running yet: the system bus, and udevd (udisks reads a device's file system and label
# from udev). udisksd itself is started by the bus on the first call. Quiet and harmless
# where a service cannot start (a container without /dev access): the tests that need
# it say why they skip.
set -uo pipefail

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo -n)
fi

bus_socket=/run/dbus/system_bus_socket
if ! [ -S "$bus_socket" ] || ! dbus-send --system --print-reply --dest=org.freedesktop.DBus \
        /org/freedesktop/DBus org.freedesktop.DBus.GetId >/dev/null 2>&1; then
    if command -v dbus-daemon >/dev/null; then
        "${sudo[@]}" mkdir -p /run/dbus
        "${sudo[@]}" rm -f "$bus_socket" /run/dbus/pid
        "${sudo[@]}" dbus-daemon --system --fork >/dev/null 2>&1 ||
            echo "services.sh: the system bus could not be started" >&2
    fi
fi

udevd=/lib/systemd/systemd-udevd
if [ -x "$udevd" ] && ! udevadm control --ping >/dev/null 2>&1; then
    if "${sudo[@]}" "$udevd" --daemon >/dev/null 2>&1; then
        "${sudo[@]}" udevadm trigger --action=add --subsystem-match=block >/dev/null 2>&1
        "${sudo[@]}" udevadm settle --timeout=30 >/dev/null 2>&1
    else
        echo "services.sh: udevd could not be started" >&2
    fi
fi
exit 0
