#!/usr/bin/env bash
# Sets up this machine, then builds and runs every test: the optimised build,
# the AddressSanitizer/UndefinedBehaviorSanitizer build, and the
# ThreadSanitizer build of the tests that run threads against the index cache.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --tests

# Two FUSE mounts of one GlusterFS volume stand for two hosts sharing the
# store. Where FUSE or glusterd cannot run, those tests are skipped.
if gluster_env=$(scripts/gluster-up.sh 2>/tmp/twgluster-up.log | grep '^export '); then
  eval "$gluster_env"
  echo "GlusterFS mounts: $TW_TEST_GLUSTER_MOUNTS"
else
  echo "GlusterFS could not be set up (see /tmp/twgluster-up.log); the two-host tests will be skipped"
fi

for preset in default asan tsan; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
