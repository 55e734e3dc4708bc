#!/usr/bin/env bash
# Prepares 100,000-item index folders (one written by each serialiser) and
# loads each three times, every load in a fresh process, beside the plain
# read of the same file.
#   bench/run_index_load_fresh.sh [BUILD_DIR] [COUNT]
set -euo pipefail
build=${1:-build/default}
count=${2:-100000}
program="$build/bin/index_load_fresh"
[ -x "$program" ] || { echo "no $program: build the index_load_fresh target first" >&2; exit 1; }

work=$(mktemp -d /tmp/twindexfresh.XXXXXX)
trap 'rm -rf "$work"' EXIT
# An empty registry: every setting at its default.
printf 'Windows Registry Editor Version 5.00\r\n\r\n' >"$work/registry.reg"
export TW_REGISTRY_FILE="$work/registry.reg"

for kind in stream document; do
  "$program" --prepare "$work/$kind" "$count" "$kind"
done
for kind in stream document; do
  for run in 1 2 3; do "$program" "$work/$kind" "$kind"; done
  for run in 1 2 3; do "$program" "$work/$kind" read; done
done
