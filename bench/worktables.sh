#!/bin/sh
# Work-table engine benchmark: 10,000 and 100,000 appends and located lookups on an
# ASIGT-shaped table. Usage: bench/worktables.sh [BUILD_DIR] [RECORDS...]
# BUILD_DIR defaults to build; the target worktables_bench is built there first.
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
[ $# -gt 0 ] && shift
cmake --build "$build" --target worktables_bench -j2 >/dev/null
exec "$build/bench/worktables_bench" "$@"
