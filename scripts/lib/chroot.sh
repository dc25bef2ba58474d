# Sourced by the scripts that run things in a chroot of their own.

# remove_unless_mounted DIR WHO: removes the scratch folder DIR, unless
# something is still mounted below it (mounts belong to the private namespaces
# the scripts make; deleting through one would reach the host). WHO names the
# script in the message.
remove_unless_mounted() {
    if findmnt -rn -o TARGET | grep -q "^$1"; then
        echo "$2: $1 still has mounts; left in place" >&2
    else
        rm -rf "$1"
    fi
}
#
# mount_minimal_dev ROOT: gives ROOT a /dev of its own, made of the few nodes
# a build and the program need, new pseudo-terminals (for the simulator) and
# new shared memory (for the program's single-instance guard). Call it inside
# a private mount namespace: the mounts end with it.
mount_minimal_dev() {
    local r="$1" node
    mount -t tmpfs -o mode=755,nosuid tmpfs "$r/dev"
    for node in null zero full random urandom tty; do
        touch "$r/dev/$node"
        mount --bind "/dev/$node" "$r/dev/$node"
    done
    mkdir -p "$r/dev/pts" "$r/dev/shm"
    mount -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts "$r/dev/pts"
    ln -s pts/ptmx "$r/dev/ptmx"
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$r/dev/shm"
    ln -s /proc/self/fd "$r/dev/fd"
}
