# A virtual display and a Wine prefix for one run, torn down on exit. Sourced by the scripts that
# run inside the loopback-only sandbox. start_wine_session WORK_DIR exports DISPLAY and the
# WINE* variables; stop_wine_session (also run on exit) ends the wineserver and Xvfb.

WINE64=/usr/lib/wine/wine64
WINESERVER64=/usr/lib/wine/wineserver64

start_wine_session() {
  WINE_SESSION_DIR=$1
  mkdir -p "$WINE_SESSION_DIR"
  # -displayfd: Xvfb takes a free display number and writes it to descriptor 3.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WINE_SESSION_DIR/display" \
    >"$WINE_SESSION_DIR/xvfb.log" 2>&1 &
  XVFB_PID=$!
  trap stop_wine_session EXIT
  trap 'exit 130' INT TERM
  local waited=0
  until grep -q '^[0-9]' "$WINE_SESSION_DIR/display" 2>/dev/null; do
    sleep 0.1
    waited=$((waited + 1))
    [ "$waited" -lt 300 ] || { cat "$WINE_SESSION_DIR/xvfb.log" >&2; echo "error: Xvfb did not start" >&2; exit 1; }
  done
  export DISPLAY=":$(head -n 1 "$WINE_SESSION_DIR/display")"
  export WINEPREFIX="$WINE_SESSION_DIR/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

# Creates the prefix; REG_FILE (optional) is imported with regedit before the server settles.
create_wine_prefix() {
  "$WINE64" wineboot --init </dev/null >"$WINE_SESSION_DIR/wineboot.log" 2>&1
  if [ -n "${1:-}" ]; then
    "$WINE64" regedit /S "$1" </dev/null >>"$WINE_SESSION_DIR/wineboot.log" 2>&1
  fi
  "$WINESERVER64" -w
}

# A persistent wineserver and Wine's own services already running: each program then starts in
# a fraction of a second instead of about three.
warm_wine_server() {
  "$WINESERVER64" -p </dev/null >/dev/null 2>&1
  "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1
}

stop_wine_session() {
  if [ -n "${WINEPREFIX:-}" ]; then
    "$WINESERVER64" -k >/dev/null 2>&1 || true
    "$WINESERVER64" -w >/dev/null 2>&1 || true
  fi
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  [ -z "${WINE_SESSION_DIR:-}" ] || rm -rf "$WINE_SESSION_DIR"
}
