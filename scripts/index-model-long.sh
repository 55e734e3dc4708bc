#!/usr/bin/env bash
# Runs the model-checked index test at length: N sequences of 200 steps for
# each of the 16 serialiser switch combinations, from seed SEED (default 1).
# Builds the default preset's test binary first. With MINUTES set, stops
# after that many minutes (e.g. MINUTES=60 for an hour's run).
#   scripts/index-model-long.sh N [SEED]
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 SEQUENCES [SEED]" >&2
  exit 2
fi
cd "$(dirname "$0")/.."
[ -d build/default ] || cmake --preset default
cmake --build --preset default --target twstore_tests
TW_MODEL_SEQUENCES="$1" TW_MODEL_SEED="${2:-1}" TW_MODEL_MINUTES="${MINUTES:-0}" \
  build/default/bin/twstore_tests --gtest_filter='IndexModelLongTest.*'
