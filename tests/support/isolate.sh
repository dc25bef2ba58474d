#!/bin/sh
# Runs one end-to-end test in namespaces of its own, so several can run side
# by side: the program binds the frontend port, kills other processes of its
# name and claims a single-instance guard (System V IPC keyed by files in /tmp,
# or POSIX shared memory in /dev/shm), opens the simulator's pseudo-terminal by
# its path and locks it with a file in /var/lock that names its pid. A private
# network (loopback only, up), IPC set, process list (/proc of its own), /tmp,
# /dev/shm, /var/lock and pseudo-terminals keep each of these to the one test:
# /dev/pts/3, gone in one test, is soon another test's simulator, and a lock
# naming pid 7 of one namespace looks alive in the next. Without root a user
# namespace maps us to root.
# Usage: isolate.sh COMMAND [ARG...]
set -eu
if [ "${1:-}" = --inside ]; then
    shift
    ip link set lo up
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs /tmp
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs /dev/shm
    mount -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts /dev/pts
    mount --bind /dev/pts/ptmx /dev/ptmx
    if [ -d /var/lock ]; then
        mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$(readlink -f /var/lock)"
    fi
    # Not exec: this shell stays pid 1 and reaps what the test leaves orphaned.
    "$@"
    exit
fi
userns=""
[ "$(id -u)" -eq 0 ] || userns=--map-root-user
# --kill-child: when CTest kills us at a time-out, the namespace goes with us.
exec unshare $userns --net --ipc --pid --mount --fork --mount-proc --kill-child \
    --propagation private -- sh "$0" --inside "$@"
