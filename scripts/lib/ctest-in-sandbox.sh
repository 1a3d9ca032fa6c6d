#!/usr/bin/env bash
# ctest-in-sandbox.sh BUILD_DIR [CTEST ARGS...]: runs CTest for the x64 build with the display
# and the prepared Wine prefix that the unit tests use (the end-to-end tests make their own).
# Run it inside the loopback-only sandbox; exits with CTest's status.
set -uo pipefail
build=$1
shift
. "$(dirname "$0")/wine-session.sh"

start_wine_session "$(mktemp -d /tmp/fetchwright-tests.XXXXXX)"
# Managed=N: Wine draws its own title bars, so windows react without a window manager.
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n' \
  >"$WINE_SESSION_DIR/unit.reg"
create_wine_prefix "$(printf 'Z:%s' "$WINE_SESSION_DIR/unit.reg" | tr / '\\')"
warm_wine_server

ctest --test-dir "$build" --output-on-failure "$@"
