#!/usr/bin/env bash
# Times the store writer against `cp -r` on this machine: builds the benchmarks (preset
# "bench") and runs bench/store_write_posix.cpp, which makes a 90 MB tree (four files of 20 MB,
# 10,000 of 1 KiB) and a tree of the 10,000 files of 1 KiB alone, copies each with
# writeVirtualStore and with cp -r - after a sync, taking turns at going first, best of 3 runs
# each - and prints both throughputs and the ratio (ours / cp; the goal is 0.95 or more). Then
# it times the refusal of a drop of 50,000 files of 1 KiB over the size limit
# (--benchmark_filter=Refuse runs only that).
#
#   scripts/bench-store.sh --syscalls
# counts system calls instead: strace -f -c of one store write of a tree of 10,000 files of
# 1 KiB (bench/store_write_once_posix.cpp) against cp -r of it, per file and per call.
#
#   scripts/bench-store.sh --fresh-fs [benchmark arguments]
# runs the timing on a new ext4 file system of its own (a 4 GB sparse image under $TMPDIR,
# mounted through a loop device; needs root), removed afterwards. ext4 passes over inodes freed
# in the last minutes whenever it makes a file, so on a shared disk a run right after many files
# were deleted - by any program, an earlier run's removal included - is several times slower,
# cp and the store alike; a fresh file system gives the same times run after run.
#
# The trees go to $TMPDIR (default /tmp): point it at a folder on the disk to be measured. Every
# copy is kept until the end (about 1.3 GB with the default 3 rounds), then everything is
# removed. SHUTTLE_STORE_ROUNDS=5 takes the best of 5 instead, for a busy machine. Extra
# arguments go to the benchmark (e.g. --benchmark_filter=10000).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset bench >/dev/null

count_syscalls() {
    command -v strace >/dev/null || { echo "strace is needed (apt-get install strace)" >&2; exit 1; }
    cmake --build --preset bench --target store_write_once_posix >/dev/null
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/shuttle-syscalls-XXXXXX")
    trap 'rm -rf "$scratch"' EXIT
    python3 - "$scratch/tree10000" <<'PY'
import os, sys
root = sys.argv[1]
for d in range(100):
    folder = os.path.join(root, f"folder_{d}")
    os.makedirs(folder)
    for i in range(100):
        with open(os.path.join(folder, f"file_{i}.txt"), "wb") as out:
            out.write(os.urandom(1024))
PY
    mkdir "$scratch/store"
    mkdir "$scratch/cp"
    strace -f -c -o "$scratch/ours.txt" build/bench/bench/store_write_once_posix "$scratch/tree10000" "$scratch/store"
    strace -f -c -o "$scratch/cp.txt" cp -r "$scratch/tree10000" "$scratch/cp/tree10000"
    python3 - "$scratch/ours.txt" "$scratch/cp.txt" <<'PY'
import sys
FILES = 10000
def calls(path):
    table = {}
    for line in open(path):
        parts = line.split()
        if len(parts) >= 5 and parts[0][0].isdigit() and parts[-1] != "total":
            table[parts[-1]] = int(parts[3])
    return table
ours, cp = calls(sys.argv[1]), calls(sys.argv[2])
print(f"System calls per file, one tree of {FILES} files of 1 KiB (strace -f -c, start-up included)")
print(f"{'call':<20}{'ours':>8}{'cp -r':>8}")
for name in sorted(set(ours) | set(cp), key=lambda n: -(ours.get(n, 0) + cp.get(n, 0))):
    a, b = ours.get(name, 0) / FILES, cp.get(name, 0) / FILES
    if a >= 0.005 or b >= 0.005:
        print(f"{name:<20}{a:>8.2f}{b:>8.2f}")
a, b = sum(ours.values()) / FILES, sum(cp.values()) / FILES
print(f"{'total':<20}{a:>8.2f}{b:>8.2f}   ours - cp = {a - b:.2f} per file (goal <= 2)")
PY
}

if [[ "${1:-}" == "--syscalls" ]]; then
    count_syscalls
    exit 0
fi

if [[ "${1:-}" == "--fresh-fs" ]]; then
    shift
    image=$(mktemp "${TMPDIR:-/tmp}/shuttle-bench-fs-XXXXXX")
    mountpoint=$(mktemp -d "${TMPDIR:-/tmp}/shuttle-bench-mnt-XXXXXX")
    trap 'umount "$mountpoint" 2>/dev/null; rmdir "$mountpoint"; rm -f "$image"' EXIT
    truncate -s 4G "$image"
    mkfs.ext4 -q -F -i 4096 "$image"  # an inode per 4 KiB: every round's copies of the 10,000 files fit
    mount -o loop "$image" "$mountpoint"
    export TMPDIR=$mountpoint
fi

cmake --build --preset bench --target store_write_posix >/dev/null
echo "Trees in ${TMPDIR:-/tmp} ($(df -h --output=source,fstype "${TMPDIR:-/tmp}" | tail -1 | tr -s ' '))"
echo "ratio = ours / cp in bytes per second; goal >= 0.95"
build/bench/bench/store_write_posix --benchmark_counters_tabular=true "$@"
