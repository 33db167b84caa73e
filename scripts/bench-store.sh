#!/usr/bin/env bash
# Times the store writer against `cp -r` on this machine: builds the benchmarks (preset
# "bench") and runs bench/store_write_posix.cpp, which makes a 100 MB tree (four large files,
# 1,000 small ones) and a tree of 10,000 files of 1 KiB, copies each with writeVirtualStore and
# with cp -r, best of 3 runs each, and prints both throughputs and the ratio (ours / cp; the
# goal is 0.9 or more). Then it times the refusal of a drop of 50,000 files of 1 KiB over the
# size limit (--benchmark_filter=Refuse runs only that).
#
# The trees go to $TMPDIR (default /tmp): point it at a folder on the disk to be measured. Every
# copy is kept until the end (about 900 MB with the default 3 rounds), then everything is
# removed. SHUTTLE_STORE_ROUNDS=5 takes the best of 5 instead, for a busy machine. Extra
# arguments go to the benchmark (e.g. --benchmark_filter=10000).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset bench >/dev/null
cmake --build --preset bench --target store_write_posix >/dev/null

echo "Trees in ${TMPDIR:-/tmp} ($(df -h --output=source,fstype "${TMPDIR:-/tmp}" | tail -1 | tr -s ' '))"
echo "ratio = ours / cp in bytes per second; goal >= 0.9"
build/bench/bench/store_write_posix --benchmark_counters_tabular=true "$@"
