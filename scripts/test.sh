#!/usr/bin/env bash
# Builds both targets and runs every test: unit tests under Wine and the end-to-end scenarios.
# Works from a fresh clone as root on Debian 12; installs what is missing. Exits with CTest's
# status, and CTest's closing summary is the last thing it prints. Arguments go to CTest
# (scripts/test.sh -R "^e2e" runs the end-to-end tests only).
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"

ensure_packages

x64="$FETCHWRIGHT_BUILD_ROOT/x64"
x86="$FETCHWRIGHT_BUILD_ROOT/x86"
configure_and_build x86_64 "$x64" ON
configure_and_build i686 "$x86" OFF Fetchwright

bash "$FETCHWRIGHT_ROOT/scripts/lib/check-imports.sh" x86_64 "$x64/Fetchwright.exe"
bash "$FETCHWRIGHT_ROOT/scripts/lib/check-imports.sh" i686 "$x86/Fetchwright.exe"

log "running the tests (loopback-only network)"
in_loopback_sandbox bash "$FETCHWRIGHT_ROOT/scripts/lib/ctest-in-sandbox.sh" "$x64" "$@"
