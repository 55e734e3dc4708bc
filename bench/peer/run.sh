#!/usr/bin/env bash
# The store beside Dovecot 2.3 on the same messages (docs/benchmarks.md,
# "Side by side with Dovecot"). Installs Dovecot's doveadm for this run only
# (its service is never started), builds the store's driver, and prints:
#   1. five operations, each in a fresh process, net of that tool's empty
#      start-up, medians of RUNS runs, with the ratio Dovecot / store;
#   2. the store in one warm process, as a mail service calls it.
#   bench/peer/run.sh [BUILD_DIR] [--sizes 20000,100000] [--runs 5] [--repeats 50]
set -euo pipefail
export LC_ALL=C  # decimal points in $EPOCHREALTIME and awk
caller_dir=$PWD
cd "$(dirname "$0")/../.."

build=build/default
sizes=20000,100000
runs=5
repeats=50
while [ $# -gt 0 ]; do
  case $1 in
    --sizes) sizes=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --repeats) repeats=$2; shift 2 ;;
    -*) echo "usage: $0 [BUILD_DIR] [--sizes N,N] [--runs N] [--repeats N]" >&2; exit 2 ;;
    *) build=$1; shift ;;
  esac
done
# A build directory given relative to where the script was started.
case $build in
  /*) ;;
  *) [ -d "$caller_dir/$build" ] && build=$caller_dir/$build ;;
esac

# ---- Tools ---------------------------------------------------------------
if ! command -v doveadm >/dev/null; then
  # Only doveadm is used, on files; the package's service must not start.
  made_policy=0
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
    chmod 755 /usr/sbin/policy-rc.d
    made_policy=1
  fi
  installed=0
  apt-get update >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y dovecot-core >/dev/null && installed=1
  if [ "$made_policy" = 1 ]; then rm -f /usr/sbin/policy-rc.d; fi
  [ "$installed" = 1 ] || { echo "could not install dovecot-core" >&2; exit 1; }
fi
[ -f "$build/build.ninja" ] || cmake --preset default >/dev/null
cmake --build "$build" --target twstore_peer >/dev/null
peer=$(cd "$build/bin" && pwd)/twstore_peer

# Dovecot refuses to work on mail as root: its files belong to this user.
mail_user=nobody
mail_group=$(id -gn "$mail_user")

# ---- Timing --------------------------------------------------------------
# Milliseconds of one run of the command: bash's own clock, read right
# before and after it, so only the command's own process start is inside
# (and that is what the empty runs take off).
took() {
  local start=$EPOCHREALTIME
  "$@"
  local end=$EPOCHREALTIME
  echo "$start $end" | awk '{ printf "%.3f\n", ($2 - $1) * 1000 }'
}
quiet() { "$@" >/dev/null; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
net() { awk -v t="$1" -v e="$2" 'BEGIN { n = t - e; printf "%.1f", n < 0 ? 0 : n }'; }
ratio() { awk -v d="$1" -v s="$2" 'BEGIN { if (s > 0) printf "%.2f", d / s; else print "-" }'; }

table1=$(mktemp)
table2=$(mktemp)
resident=$(mktemp)
root=
trap 'rm -f "$table1" "$table2" "$resident"; [ -z "$root" ] || rm -rf "$root"' EXIT

one_size() {
  local count=$1
  root=$(mktemp -d /tmp/twpeer.XXXXXX)
  chmod 755 "$root"
  local inbox=$root/MAIL/PO/MAILROOT/peer/Inbox maildir=$root/Maildir empty=$root/Empty
  mkdir -p "$inbox" "$root/home" "$root/run"
  for dir in "$maildir" "$empty"; do mkdir -p "$dir/cur" "$dir/new" "$dir/tmp"; done

  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick]\r\n"Mail Root"="%s/MAIL"\r\n"Use XML Stream Index Deserialisation"=dword:00000001\r\n"Use XML Stream Index Serialisation"=dword:00000001\r\n"Maximum Index Rows"=dword:000f4240\r\n\r\n' \
    "$root" >"$root/registry.reg"
  export TW_REGISTRY_FILE=$root/registry.reg

  # No server: doveadm opens the Maildir itself (no userdb lookup without
  # -u) and keeps its index files beside the messages. The fields the
  # listing reads are cached whenever a message is indexed. No fsync, as
  # the store writes by default ("Flush Index Journal" 0).
  cat >"$root/dovecot.conf" <<CONF
base_dir = $root/run
state_dir = $root/run
log_path = $root/dovecot.log
protocols =
ssl = no
mail_location = maildir:$maildir
mail_uid = $mail_user
mail_gid = $mail_group
first_valid_uid = 1
first_valid_gid = 1
mail_fsync = never
mail_cache_fields = flags date.received size.virtual hdr.From hdr.Subject
mail_always_cache_fields = flags date.received size.virtual hdr.From hdr.Subject
CONF
  local dove=(env USER=peer HOME="$root/home" doveadm -c "$root/dovecot.conf")
  local fields='uid flags date.received hdr.from hdr.subject size.virtual'

  "$peer" generate "$inbox" "$maildir" 0 "$count"
  for k in $(seq 1 "$runs"); do "$peer" message $((count + k)) "$root/append$k.eml"; done
  "$peer" message $((count + runs + 1)) "$root/warm.eml"
  chown -R "$mail_user:$mail_group" "$maildir" "$empty" "$root/home" "$root"/append*.eml

  local mid=$((count / 2))
  local mid_id mid_uid=$((mid + 1))
  mid_id=$(printf '%08X.MAI' "$mid")

  # Start-up: each tool doing nothing useful (doveadm on an empty Maildir).
  local d_empty=() s_empty=()
  for _ in $(seq 1 "$runs"); do
    d_empty+=("$(took quiet "${dove[@]}" -o mail_location=maildir:"$empty" fetch uid mailbox INBOX all)")
    s_empty+=("$(took "$peer" empty)")
  done
  local de se
  de=$(printf '%s\n' "${d_empty[@]}" | median)
  se=$(printf '%s\n' "${s_empty[@]}" | median)
  printf '%s\t%s\t%.1f\t%.1f\t%s\t%s\n' "$count" "start-up (subtracted)" "$de" "$se" "-" "empty Maildir / empty command" >>"$table1"

  # Each operation: Dovecot's run, then the store's, RUNS times.
  local d_times=() s_times=()
  record() {
    local name=$1 note=$2 d s
    d=$(net "$(printf '%s\n' "${d_times[@]}" | median)" "$de")
    s=$(net "$(printf '%s\n' "${s_times[@]}" | median)" "$se")
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$count" "$name" "$d" "$s" "$(ratio "$d" "$s")" "$note" >>"$table1"
    d_times=()
    s_times=()
  }

  for _ in $(seq 1 "$runs"); do
    rm -f "$maildir"/dovecot.index* "$maildir"/dovecot-uidlist
    d_times+=("$(took "${dove[@]}" index INBOX)")
    rm -f "$inbox"/_index.xml "$inbox"/_FOLDER.DAT "$inbox"/_DIRSIZE.TMP
    s_times+=("$(took "$peer" rebuild "$inbox")")
  done
  record rebuild ""

  # The middle message has the same UID on both sides (Dovecot numbers
  # Maildir names in their time stamps' order, the store in its names').
  "${dove[@]}" fetch hdr.subject mailbox INBOX uid "$mid_uid" | grep -q "number $mid\$" ||
    { echo "Dovecot's UID $mid_uid is not message $mid" >&2; exit 1; }

  for _ in $(seq 1 "$runs"); do
    d_times+=("$(took quiet "${dove[@]}" fetch "$fields" mailbox INBOX all)")
    s_times+=("$(took quiet "$peer" list "$inbox")")
  done
  record list ""

  for k in $(seq 1 "$runs"); do
    local sign=add change='+\FLAGGED'
    [ $((k % 2)) = 0 ] && { sign=remove; change='-\FLAGGED'; }
    d_times+=("$(took "${dove[@]}" flags "$sign" '\Flagged' mailbox INBOX uid "$mid_uid")")
    s_times+=("$(took "$peer" flag "$mid_id" "$change")")
  done
  record flag "message $mid (UID $mid_uid, $mid_id), set and cleared in turn"

  for k in $(seq 1 "$runs"); do
    d_times+=("$(took "${dove[@]}" save -m INBOX <"$root/append$k.eml")")
    s_times+=("$(took "$peer" append "$inbox" "$root/append$k.eml")")
  done
  record append "messages $((count + 1))..$((count + runs)), one a run"

  for k in $(seq 1 "$runs"); do
    local id
    id=$(printf '%08X.MAI' $((mid + k)))
    d_times+=("$(took "${dove[@]}" expunge mailbox INBOX uid $((mid_uid + k)))")
    s_times+=("$(took "$peer" expunge "$inbox" "$id")")
  done
  record expunge "messages $((mid + 1))..$((mid + runs)) (UIDs $((mid_uid + 1))..$((mid_uid + runs))), one a run"

  # The warm process flags the newest of the original messages.
  "$peer" warm "$inbox" "$repeats" "$(printf '%08X.MAI' $((count - 1)))" "$root/warm.eml" |
    awk -v n="$count" -v resident="$resident" -F'\t' '
      $2 == "resident" { printf "%d items: %.1f MB resident after the load, %d bytes an item\n", $4, $3 / 1e6, $5 >>resident; next }
      $1 == "warm" { print n "\t" $2 "\t" $3 "\t" $4 "\t" $5 }' >>"$table2"

  rm -rf "$root"
  root=
}

echo "twstore beside Dovecot $(dpkg-query -W -f '${Version}' dovecot-core 2>/dev/null)"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg); runs $runs, warm repeats $repeats"
IFS=, read -r -a size_list <<<"$sizes"
for count in "${size_list[@]}"; do
  [[ $count =~ ^[1-9][0-9]*$ ]] && [ "$count" -gt $((runs + 1)) ] || { echo "bad size $count" >&2; exit 2; }
  one_size "$count"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

echo
echo "Fresh processes: median ms net of start-up (ratio = Dovecot / store)"
{
  printf 'messages\toperation\tDovecot\tstore\tratio\tnote\n'
  cat "$table1"
} | column -t -s $'\t'
echo
echo "The store in one warm process: ms per call"
{
  printf 'messages\toperation\tmedian\tmax\tcalls\n'
  cat "$table2"
} | column -t -s $'\t'
cat "$resident"
