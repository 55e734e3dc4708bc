#!/usr/bin/env bash
# Serves a one-brick GlusterFS volume on loopback and mounts it twice, so that
# tests can treat the two mounts as two hosts sharing one store.
# Idempotent: whatever is already running or mounted is kept.
# Prints the line to put into the environment of the tests.
set -euo pipefail

BASE=/var/tmp/twgluster
VOLUME=twtest
BRICK=$BASE/brick
MOUNTS=("$BASE/m1" "$BASE/m2")
PIDFILE=$BASE/glusterd.pid
# The CLI refuses the literal 127.0.0.1 as a brick host; any other loopback
# address names this machine as well.
BRICK_HOST=127.0.0.2

fail() {
  echo "gluster-up: $*" >&2
  exit 1
}

[ "$(id -u)" = 0 ] || fail "must run as root (glusterd and FUSE mounts need it)"
command -v glusterd >/dev/null || fail "glusterd not found: apt-get install glusterfs-server glusterfs-client"
command -v mount.glusterfs >/dev/null || fail "mount.glusterfs not found: apt-get install glusterfs-client"
[ -e /dev/fuse ] || fail "/dev/fuse is missing: FUSE is not available here"

# A mount whose client died with an earlier session is stale: drop it.
for m in "${MOUNTS[@]}"; do
  if grep -q " $m " /proc/mounts && ! stat "$m" >/dev/null 2>&1; then
    umount -l "$m" || fail "cannot drop the stale mount $m"
  fi
done
mkdir -p "$BRICK" "${MOUNTS[@]}"

cli() { timeout 60 gluster --mode=script "$@"; }

# glusterd answers the CLI once it is up.
if ! cli volume list >/dev/null 2>&1; then
  glusterd -p "$PIDFILE" || fail "glusterd did not start (see /var/log/glusterfs/glusterd.log)"
  up=0
  for _ in $(seq 1 60); do
    if cli volume list >/dev/null 2>&1; then up=1; break; fi
    sleep 0.5
  done
  [ "$up" = 1 ] || fail "glusterd does not answer (see /var/log/glusterfs/glusterd.log)"
fi

if ! cli volume info "$VOLUME" >/dev/null 2>&1; then
  # The brick lies on the root file system, which gluster refuses without force.
  cli volume create "$VOLUME" "$BRICK_HOST:$BRICK" force >/dev/null ||
    fail "cannot create volume $VOLUME on $BRICK_HOST:$BRICK"
fi

if ! cli volume info "$VOLUME" | grep -q '^Status: Started'; then
  cli volume start "$VOLUME" >/dev/null || fail "cannot start volume $VOLUME"
fi

brick_online() {
  cli volume status "$VOLUME" detail 2>/dev/null | grep -q '^Online *: Y'
}
online=0
for _ in $(seq 1 60); do
  if brick_online; then online=1; break; fi
  sleep 0.5
done
[ "$online" = 1 ] || fail "the brick of $VOLUME does not come online (see /var/log/glusterfs/bricks/)"

for m in "${MOUNTS[@]}"; do
  if ! mountpoint -q "$m"; then
    mount -t glusterfs "127.0.0.1:/$VOLUME" "$m" || fail "cannot mount $VOLUME on $m"
  fi
done

# Both mounts must show the same volume.
probe=".gluster-up-probe.$$"
echo ok >"${MOUNTS[0]}/$probe" || fail "cannot write to ${MOUNTS[0]}"
seen=0
for _ in $(seq 1 20); do
  if [ "$(cat "${MOUNTS[1]}/$probe" 2>/dev/null)" = ok ]; then seen=1; break; fi
  sleep 0.5
done
rm -f "${MOUNTS[0]}/$probe"
[ "$seen" = 1 ] || fail "${MOUNTS[1]} does not see what ${MOUNTS[0]} wrote"

echo "export TW_TEST_GLUSTER_MOUNTS=${MOUNTS[0]}:${MOUNTS[1]}"
