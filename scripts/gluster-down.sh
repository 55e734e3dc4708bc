#!/usr/bin/env bash
# Undoes gluster-up.sh: unmounts both mounts, stops the volume, and stops
# glusterd when gluster-up.sh started it. The volume definition and the
# brick stay, so a later gluster-up.sh is quick.
set -uo pipefail

BASE=/var/tmp/twgluster
VOLUME=twtest
MOUNTS=("$BASE/m1" "$BASE/m2")
PIDFILE=$BASE/glusterd.pid
status=0

for m in "${MOUNTS[@]}"; do
  if mountpoint -q "$m"; then
    umount "$m" 2>/dev/null || umount -l "$m" || { echo "gluster-down: cannot unmount $m" >&2; status=1; }
  fi
done

if command -v gluster >/dev/null && timeout 60 gluster --mode=script volume info "$VOLUME" 2>/dev/null | grep -q '^Status: Started'; then
  timeout 60 gluster --mode=script volume stop "$VOLUME" >/dev/null || { echo "gluster-down: cannot stop volume $VOLUME" >&2; status=1; }
fi

if [ -s "$PIDFILE" ]; then
  pid=$(cat "$PIDFILE")
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && grep -q glusterd "/proc/$pid/comm" 2>/dev/null; then
    kill "$pid" || status=1
  fi
  rm -f "$PIDFILE"
fi
exit $status
