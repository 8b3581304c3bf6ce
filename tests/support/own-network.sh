#!/bin/sh
# own-network.sh UNSHARE_OPTIONS IP PROGRAM [ARGUMENTS...]
# Runs PROGRAM in a network namespace of its own that holds only a loopback
# device, so that tests binding the camera's fixed ports (7777, 9999, 11155)
# can run side by side. UNSHARE_OPTIONS is -n when run as root, -rn where the
# host lets ordinary users have namespaces; IP is the ip command's path.
set -e
options=$1
ip=$2
shift 2
exec unshare "$options" -- sh -c '"$0" link set lo up && exec "$@"' "$ip" "$@"
