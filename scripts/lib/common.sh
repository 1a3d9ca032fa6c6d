# Shared by scripts/test.sh and scripts/demo.sh: packages, builds, the loopback-only sandbox.
# Sourced, not run.

FETCHWRIGHT_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
FETCHWRIGHT_JOBS=2  # the machines have two cores, shared with whoever else builds
# Where build/x64, build/x86 and build/demo go; another folder keeps a second checkout's builds apart.
FETCHWRIGHT_BUILD_ROOT=${FETCHWRIGHT_BUILD_ROOT:-$FETCHWRIGHT_ROOT/build}

# Debian packages for the cross build, Wine, the virtual display and the test tools.
FETCHWRIGHT_PACKAGES=(
  cmake make
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  googletest
  wine wine64
  xvfb xdotool imagemagick
  python3 python3-pytest
  iproute2 util-linux
)

log() { printf '==> %s\n' "$*"; }
die() { printf 'error: %s\n' "$*" >&2; exit 1; }

package_installed() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

ensure_packages() {
  local missing=() package
  for package in "${FETCHWRIGHT_PACKAGES[@]}"; do
    package_installed "$package" || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  [ "$(id -u)" -eq 0 ] || die "missing packages (${missing[*]}); install them as root"
  log "installing ${missing[*]}"
  local apt_log="$FETCHWRIGHT_BUILD_ROOT/apt.log"
  mkdir -p "$(dirname "$apt_log")"
  if ! { apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"; } >"$apt_log" 2>&1; then
    tail -n 30 "$apt_log" >&2
    die "apt-get failed; the whole log is $apt_log"
  fi
}

# configure_and_build ARCH(x86_64|i686) BUILD_DIR TESTS(ON|OFF) [TARGET...]
configure_and_build() {
  local arch=$1 dir=$2 tests=$3
  shift 3
  log "building $arch in ${dir#"$FETCHWRIGHT_ROOT"/}"
  mkdir -p "$dir"
  cmake -S "$FETCHWRIGHT_ROOT" -B "$dir" \
    -DCMAKE_TOOLCHAIN_FILE="$FETCHWRIGHT_ROOT/cmake/toolchain-$arch-w64-mingw32.cmake" \
    -DFETCHWRIGHT_BUILD_TESTS="$tests" >"$dir/configure.log" 2>&1 \
    || { cat "$dir/configure.log" >&2; die "configuring $dir failed"; }
  local targets=()
  for target in "$@"; do targets+=(--target "$target"); done
  cmake --build "$dir" -j "$FETCHWRIGHT_JOBS" "${targets[@]}"
}

# Runs a command in a network namespace that has only loopback, so nothing under test can reach
# a real server, and in its own process namespace, so that whatever a test leaves running (a
# wineserver, Xvfb) ends with the command. Root gets plain namespaces; anyone else a user one too.
in_loopback_sandbox() {
  local unshare_flags=(--net --pid --fork --mount-proc)
  [ "$(id -u)" -eq 0 ] || unshare_flags=(--map-root-user "${unshare_flags[@]}")
  unshare "${unshare_flags[@]}" sh -c 'ip link set lo up && exec "$@"' sandbox "$@"
}
