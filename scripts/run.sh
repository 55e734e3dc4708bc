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
mkdir -p "$demo/samples"
cat >"$demo/samples/welcome.eml" <<'MSG'
From: Postmaster <postmaster@demo.example>
To: alice@demo.example
Subject: Welcome to the demo store
Date: Mon, 3 Jun 2024 09:00:00 +0000

Hello Alice.
MSG
cat >"$demo/samples/agenda.eml" <<'MSG'
From: Bob <bob@demo.example>
To: alice@demo.example
Subject: Agenda for Tuesday
Date: Mon, 3 Jun 2024 17:30:00 +0000

1. Budget
MSG
export TW_REGISTRY_FILE="$demo/registry.reg"
twstore=build/default/bin/twstore

set -x
"$twstore" settings
"$twstore" paths Demo alice INBOX
"$twstore" paths Demo alice 'Public/Sales'
"$twstore" paths Demo alice '$FILEROOT/docs'
# The samples go in once: a second run finds them and only lists.
if ! compgen -G "$demo/POSTOFFICES/Demo/MAILROOT/alice/Inbox/*.MAI" >/dev/null; then
  "$twstore" deliver --postoffice Demo --mailbox alice "$demo/samples/welcome.eml" "$demo/samples/agenda.eml"
fi
"$twstore" list --postoffice Demo --mailbox alice
"$twstore" status --postoffice Demo --mailbox alice
