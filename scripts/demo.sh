#!/usr/bin/env bash
# Shows Fetchwright at work: builds the x64 installer, then runs it once under Wine on a virtual
# display against the bundled demo server, with no network but loopback. Answers the certificate
# box, prints the events the server received and the exit code, and saves a screenshot of the
# dialog to build/demo/screenshot.png. Installs what is missing (as root, Debian 12).
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"

ensure_packages
x64="$FETCHWRIGHT_BUILD_ROOT/x64"
configure_and_build x86_64 "$x64" ON Fetchwright FakeClickOnce WindowText

log "running the demo (loopback-only network)"
in_loopback_sandbox /usr/bin/python3 -B "$FETCHWRIGHT_ROOT/tests/e2e/demo.py" \
  --build-dir "$x64" --output "$FETCHWRIGHT_BUILD_ROOT/demo" "$@"
