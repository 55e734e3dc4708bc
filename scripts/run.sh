#!/usr/bin/env bash
# Sets up this machine, builds the store, and runs twstore against a
# built-in default store under ./demo (its own registry file and mail root).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

demo="$PWD/demo"
mkdir -p "$demo/POSTOFFICES/Demo/MAILROOT/alice/Inbox" "$demo/POSTOFFICES/Demo/MAILROOT/alice/Sent Items"
cat >"$demo/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick]
"Mail Root"="$demo/POSTOFFICES"
"Public Folders Enabled"=dword:00000001
REG
export TW_REGISTRY_FILE="$demo/registry.reg"
twstore=build/default/bin/twstore

set -x
"$twstore" settings
"$twstore" paths Demo alice INBOX
"$twstore" paths Demo alice 'Public/Sales'
"$twstore" paths Demo alice '$FILEROOT/docs'
