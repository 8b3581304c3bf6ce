#!/bin/sh
# own-mounts.sh UNSHARE_OPTIONS PROGRAM [ARGUMENTS...]
# Runs PROGRAM in a mount namespace of its own that holds two scratch file
# systems for the tests of places that cannot be written: ORUN_TEST_READONLY
# names a folder on a read-only file system, ORUN_TEST_SMALL_DISK a folder on
# a file system of 2 MB (a disk that fills up). UNSHARE_OPTIONS is -m when
# run as root, -rm where the host lets ordinary users have namespaces.
set -e
options=$1
shift
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/readonly" "$scratch/small"
export ORUN_TEST_READONLY="$scratch/readonly"
export ORUN_TEST_SMALL_DISK="$scratch/small"
set +e
unshare "$options" --propagation private -- sh -c '
    mount -t tmpfs -o ro,size=1m orun-readonly "$ORUN_TEST_READONLY" &&
    mount -t tmpfs -o size=2m orun-small "$ORUN_TEST_SMALL_DISK" &&
    exec "$@"' sh "$@"
status=$?
exit $status
