#!/usr/bin/env bash
# Installs the build into a scratch prefix, compiles examples/list_inbox.c
# against the installed header and library through the installed pkg-config
# file, runs it on a scratch store, and checks that it lists each top-level
# folder with the size the store's own tool reports for it.
#   check_c_example.sh BUILD_DIR SOURCE_DIR C_COMPILER TWSTORE_TOOL
set -euo pipefail
build=$1 source=$2 cc=$3 tool=$4
# The build's own C flags (a sanitizer build's runtime must come first).
read -r -a extra <<<"${TW_EXAMPLE_CFLAGS:-}"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/twstore-c-example.XXXXXX")
[ -n "${TW_KEEP_SCRATCH:-}" ] || trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name libtwstore.so -print -quit)")
[ -n "$libdir" ] || fail "no libtwstore.so installed"
for f in libtwoption.so libtwpocfg.so libtwnotify.so; do
  [ -f "$libdir/$f" ] || fail "$f is not installed beside libtwstore.so"
done
[ -f "$prefix/include/twstore.h" ] || fail "twstore.h is not installed"

export PKG_CONFIG_PATH=$libdir/pkgconfig
flags=$(pkg-config --cflags --libs twstore) || fail "pkg-config does not find twstore"
# The prefix the file names is the one it was installed into.
include_dir=$(pkg-config --variable=includedir twstore)
[ "$(cd "$include_dir" && pwd -P)" = "$(cd "$prefix/include" && pwd -P)" ] ||
  fail "pkg-config names another prefix: $flags"
# shellcheck disable=SC2086
"$cc" -std=c11 -Wall -Wextra -Werror -pedantic "${extra[@]}" "$source/examples/list_inbox.c" $flags \
  -Wl,-rpath,"$libdir" -o "$scratch/list_inbox" || fail "the example does not compile"

# The CMake package names the same library through its imported target.
mkdir -p "$scratch/consumer"
cat >"$scratch/consumer/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(consumer LANGUAGES C)
find_package(twstore 0.1 REQUIRED)
add_executable(list_inbox "$source/examples/list_inbox.c")
target_link_libraries(list_inbox PRIVATE twstore::twstore)
CMAKE
cmake -S "$scratch/consumer" -B "$scratch/consumer/build" -G Ninja -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS="${TW_EXAMPLE_CFLAGS:-}" >/dev/null || fail "find_package(twstore) fails"
cmake --build "$scratch/consumer/build" >/dev/null || fail "the example does not build through twstore::twstore"

# A store: postoffice Acme, mailbox ann with three top-level folders.
root=$scratch/POSTOFFICES
mailbox=$root/Acme/MAILROOT/ann
mkdir -p "$mailbox/Inbox/Projects" "$mailbox/Sent Items" "$mailbox/Drafts"
cat >"$scratch/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick]
"Mail Root"="$root"
REG
export TW_REGISTRY_FILE=$scratch/registry.reg
export TW_NOTIFY_DIR=$scratch/notify
# Maildir names hold ":", which the store's paths refuse: copy them first.
samples=$source/samples/maildir
mkdir -p "$scratch/in/inbox" "$scratch/in/projects" "$scratch/in/sent"
n=0
while IFS= read -r f; do n=$((n + 1)); cp "$f" "$scratch/in/inbox/$n.eml"; done < <(find "$samples/cur" -type f | sort | head -n 3)
for f in "$samples/.Projects/cur/"*; do n=$((n + 1)); cp "$f" "$scratch/in/projects/$n.eml"; done
for f in "$samples/new/"*; do n=$((n + 1)); cp "$f" "$scratch/in/sent/$n.eml"; done
# The installed tool delivers: it finds the sibling libraries where they
# were installed, not beside itself.
installed_tool=$prefix/bin/twstore
[ -x "$installed_tool" ] || fail "twstore is not installed"
"$installed_tool" deliver --postoffice Acme --mailbox ann --folder Inbox "$scratch/in/inbox/"* >"$scratch/deliver" 2>&1
"$installed_tool" deliver --postoffice Acme --mailbox ann --folder 'Inbox\Projects' "$scratch/in/projects/"* >>"$scratch/deliver" 2>&1
"$installed_tool" deliver --postoffice Acme --mailbox ann --folder 'Sent Items' "$scratch/in/sent/"* >>"$scratch/deliver" 2>&1
! grep -qE "could not be loaded|Unable to Load" "$scratch/deliver" || fail "the installed tool misses a sibling library: $(cat "$scratch/deliver")"

"$scratch/list_inbox" Acme ann >"$scratch/out" || fail "the example exited $?"
cat "$scratch/out"
"$scratch/consumer/build/list_inbox" Acme ann >"$scratch/out.cmake" || fail "the CMake-built example exited $?"
grep -P '^\d+\t' "$scratch/out.cmake" | cmp -s - <(grep -P '^\d+\t' "$scratch/out") ||
  fail "the CMake-built example lists otherwise"

# The library prints some diagnostics to standard output too (an error
# block when a folder without an index is sized): only result lines count.
grep -P '^\d+\t' "$scratch/out" >"$scratch/results" || fail "the example printed no result"

# twstore folders prints each folder's own bytes ("BYTES<TAB>\PATH", depth
# first); StoreFolderGet gives a top-level folder's whole tree, so the
# expected line sums the folder and every folder below it.
"$tool" folders --postoffice Acme --mailbox ann 2>/dev/null | awk -F'\t' '
  $2 ~ /^\\/ { top = substr($2, 2); i = index(top, "\\"); if (i) top = substr(top, 1, i - 1); sum[top] += $1 }
  END { for (t in sum) print sum[t] "\t" t }' | sort >"$scratch/expected"
grep -v $'\ttotal$' "$scratch/results" | sort >"$scratch/listed"
diff -u "$scratch/expected" "$scratch/listed" || fail "the example's folder trees differ from twstore folders"
[ "$(wc -l <"$scratch/listed")" -eq 3 ] || fail "expected 3 folders"

field() { awk -F'\t' -v name="$1" '$2 == name { print $1 }' "$scratch/results"; }
inbox_bytes=$(field Inbox) sent_bytes=$(field 'Sent Items') drafts_bytes=$(field Drafts) total=$(field total)
[ "${inbox_bytes:-0}" -gt 0 ] && [ "${sent_bytes:-0}" -gt 0 ] || fail "a folder with messages counts 0 bytes"
[ "$drafts_bytes" = 0 ] || fail "the empty Drafts counts $drafts_bytes bytes"
[ "$total" -eq $((inbox_bytes + sent_bytes)) ] || fail "the total $total is not the sum"

# The Inbox's tree holds its sub-folder's messages beside its own.
own_inbox=$("$tool" folders --postoffice Acme --mailbox ann 2>/dev/null | awk -F'\t' '$2 == "\\Inbox" { print $1 }')
[ "${own_inbox:-0}" -gt 0 ] && [ "$inbox_bytes" -gt "$own_inbox" ] ||
  fail "the Inbox tree ($inbox_bytes) does not add Projects to the Inbox's own $own_inbox bytes"

# A usage error is exit 2, before the library is asked.
set +e
"$scratch/list_inbox" Acme >/dev/null 2>&1
[ $? -eq 2 ] || fail "a missing argument is not exit 2"
echo "PASS"
