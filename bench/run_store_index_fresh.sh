#!/usr/bin/env bash
# The store index runs that need fresh processes, on a scratch mail root
# with the stream serialiser: a folder of COUNT realistic messages scanned,
# opened cold and re-opened, one-message direct inserts, and concurrent
# deliveries by 1, 2 and 4 processes (EACH1, EACH2 and EACH4 messages per
# process), each beside its writes-only ceiling.
#   bench/run_store_index_fresh.sh [BUILD_DIR] [COUNT] [EACH1] [EACH2] [EACH4]
set -euo pipefail
build=${1:-build/default}
count=${2:-100000}
each1=${3:-10000}
each2=${4:-10000}
each4=${5:-2500}
bin=$(cd "$build/bin" && pwd)
for program in store_index_fresh store_deliver; do
  [ -x "$bin/$program" ] || { echo "no $bin/$program: build the $program target first" >&2; exit 1; }
done

root=$(mktemp -d /tmp/twstorefresh.XXXXXX)
trap 'rm -rf "$root"' EXIT
"$bin/store_index_fresh" prepare "$root" "$count"
for run in 1 2 3; do "$bin/store_index_fresh" scan "$root"; done
for run in 1 2 3; do "$bin/store_index_fresh" open "$root"; done
for run in 1 2 3; do "$bin/store_index_fresh" read "$root"; done
"$bin/store_index_fresh" reopen "$root" 20
"$bin/store_index_fresh" insert "$root" 20
for processes in 1 2 4; do
  each_var="each$processes"
  each=${!each_var}
  "$bin/store_index_fresh" deliveries "$root" "$bin" "$processes" "$each" --no-index
  "$bin/store_index_fresh" deliveries "$root" "$bin" "$processes" "$each"
done
