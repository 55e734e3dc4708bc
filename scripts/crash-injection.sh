#!/usr/bin/env bash
# Runs the crash-injection test at length: runs of ROUNDS rounds (default
# 200) for each serialiser and "Backup Index" setting in turn, for MINUTES
# minutes (default 10), from seed SEED (default 1). Builds the default
# preset's test binary and worker first; prints the rounds run and every
# failure (the first of each kind shortened to its fewest rounds) at the end.
#   MINUTES=60 scripts/crash-injection.sh [SEED [ROUNDS]]
# TW_CRASH_SWITCHES (e.g. "stream,stream+backup") and TW_CRASH_IGNORE
# (failure kinds that end a run without counting) pass through.
set -euo pipefail

cd "$(dirname "$0")/.."
[ -d build/default ] || cmake --preset default
cmake --build --preset default --target twstore_tests tw_crash_worker
TW_CRASH_MINUTES="${MINUTES:-10}" TW_CRASH_SEED="${1:-1}" TW_CRASH_ROUNDS="${2:-200}" \
  build/default/bin/twstore_tests --gtest_filter='CrashInjectionLongTest.*'
