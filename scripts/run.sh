#!/usr/bin/env bash
# Sets up this machine, builds the store, and shows it working on a built-in
# default store under ./demo (its own registry file and mail root): the
# sample messages imported (a Maildir++ tree into alice's folders, an mbox
# into Letters), the folder tree with sizes, the Inbox listing and its
# counters. Running it again imports nothing twice.
#
# TW_DEMO_DIR puts the demo store elsewhere; TW_RUN_NO_SETUP=1 with
# TW_BUILD_DIR uses a build that is there already (the tests do).
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ "${TW_RUN_NO_SETUP:-0}" != 1 ]]; then
  scripts/install-deps.sh
  cmake --preset default >/dev/null
  cmake --build --preset default
fi
build="${TW_BUILD_DIR:-$PWD/build/default}"
twstore="$build/bin/twstore"

demo="${TW_DEMO_DIR:-$PWD/demo}"
mkdir -p "$demo/POSTOFFICES/Demo/MAILROOT/alice/Inbox"
cat >"$demo/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick]
"Mail Root"="$demo/POSTOFFICES"
"Public Folders Enabled"=dword:00000001
REG
export TW_REGISTRY_FILE="$demo/registry.reg"

set -x
"$twstore" import --postoffice Demo --mailbox alice --recursive --create samples/maildir
"$twstore" import --postoffice Demo --mailbox alice --folder Letters --create samples/sample.mbox
"$twstore" folders --postoffice Demo --mailbox alice
"$twstore" list --postoffice Demo --mailbox alice --folder Inbox
"$twstore" status --postoffice Demo --mailbox alice --folder Inbox
set +x

echo
echo "The demo store is ready. To point a shell (and services linking the library) at it:"
echo "  export TW_REGISTRY_FILE=$demo/registry.reg"
