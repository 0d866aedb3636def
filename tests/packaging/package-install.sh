#!/usr/bin/env bash
# Makes the Debian package from a build, unpacks it into a scratch root
# (dpkg -x) and checks what it holds and declares; then starts the agent from
# the unpacked prefix with a private environment and checks that it found its
# core there, reached "ready" and ended in order on SIGTERM.
#
#   package-install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

build="$(cd "$1" && pwd)"
source="$(cd "$2" && pwd)"
scratch="$(mktemp -d /tmp/velmar-package.XXXXXX)"
agent_pid=""
cleanup() {
  [ -n "$agent_pid" ] && kill -KILL "$agent_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
check() { # description, command...
  local what="$1"
  shift
  if "$@"; then echo "ok: $what"; else fail "$what"; fi
}
abort() { echo "FAIL: $*" >&2; exit 1; }

# --- the package --------------------------------------------------------------
if ! cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  abort "cpack could not make the package"
fi
mapfile -t debs < <(find "$scratch/out" -maxdepth 1 -name '*.deb')
[ "${#debs[@]}" -eq 1 ] || abort "expected one .deb, found ${#debs[@]}"
deb="${debs[0]}"
echo "package: $(basename "$deb") ($(stat -c %s "$deb") bytes)"

field() { dpkg-deb -f "$deb" "$1"; }
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
check "the package is named velmar-desktop-agent" test "$(field Package)" = velmar-desktop-agent
check "its version is the project's ($version)" test "$(field Version)" = "$version"
check "it is built for this machine's architecture" test "$(field Architecture)" = "$(dpkg --print-architecture)"
depends="$(field Depends)"
echo "depends: $depends"
# Runtime packages of the libraries it links (found by dpkg-shlibdeps), node
# for the core, and the accessibility bus.
depends_names="$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/[ (].*//')"
for package in nodejs at-spi2-core 'libicu[0-9]+' libglib2.0-0 libatspi2.0-0 libgtk-3-0 libwebkit2gtk-4.1-0 \
               libsecret-1-0 libayatana-appindicator3-1 libuuid1 liburiparser1 'libstdc\+\+6' libc6; do
  check "it depends on $package" grep -Eqx -- "$package" <<<"$depends_names"
done
check "no development package among its dependencies" bash -c '! grep -q -- "-dev\b" <<<"$1"' _ "$depends"

# --- what it installs ---------------------------------------------------------
root="$scratch/root"
dpkg -x "$deb" "$root"
prefix="$root/usr"
share="$prefix/share/velmar"
check "the agent is at bin/velmar-desktop-agent" test -x "$prefix/bin/velmar-desktop-agent"
check "the binary is stripped" bash -c '! file -L "$1" | grep -q "not stripped"' _ "$prefix/bin/velmar-desktop-agent"
check "the core is a file in share/velmar, not a link" bash -c 'test -f "$1" && ! test -L "$1"' _ "$share/core.mjs"
check "the core is the bundled local core" cmp -s "$share/core.mjs" "$source/core/core.mjs"
for file in signin/signin.html signin/signin.js signin/signin.css signin/fernhollow.svg \
            icons/velmar-status.svg icons/velmar-status-signed-out.svg; do
  check "share/velmar/$file is installed" test -s "$share/$file"
done
check "the resources' README stays out" test ! -e "$share/README.md"
entry="$prefix/share/applications/velmar-desktop-agent.desktop"
check "the desktop entry is installed" test -f "$entry"
check "the desktop entry handles fernhollow: links" grep -Eq '^MimeType=([^;]*;)*x-scheme-handler/fernhollow;' "$entry"
check "the desktop entry passes the link on (%u)" grep -q '^Exec=velmar-desktop-agent %u$' "$entry"
check "the desktop entry's icon is installed" test -f "$prefix/share/icons/hicolor/scalable/apps/velmar-status.svg"
autostart="$share/autostart/velmar-desktop-agent.desktop"
check "the autostart template starts the installed agent" grep -qx 'Exec="/usr/bin/velmar-desktop-agent" --background' "$autostart"
check "the autostart template is enabled" grep -qx 'X-GNOME-Autostart-enabled=true' "$autostart"
check "the developer tools stay out of the package" \
  bash -c 'for t in velmar-fixture-check velmar-replay velmar-fixture-scrub; do test ! -e "$1/bin/$t" || exit 1; done' _ "$prefix"
check "everything is under /usr" test "$(ls -A "$root")" = usr
check "no link leaves the package" \
  bash -c 'find "$1" -type l | while read -r l; do t="$(readlink -f "$l")"; case "$t" in "$1"/*) ;; *) echo "$l -> $t"; exit 1;; esac; done' _ "$root"
check "no path of the build tree is in the package's files" \
  bash -c '! grep -rlI --fixed-strings "$2" "$1"' _ "$root" "$build"

check "the manual page is installed" test -s "$prefix/share/man/man1/velmar-desktop-agent.1.gz"
check "the copyright file is installed" test -s "$prefix/share/doc/velmar-desktop-agent/copyright"
check "the changelog is installed" test -s "$prefix/share/doc/velmar-desktop-agent/changelog.gz"
check "--help answers and exits 0" bash -c '"$1" --help | grep -q -- --version' _ "$prefix/bin/velmar-desktop-agent"
check "--version names the version and exits 0" \
  bash -c '"$1" --version | grep -qx "velmar-desktop-agent $2"' _ "$prefix/bin/velmar-desktop-agent" "$version"
check "an unknown option is a usage error (status 2)" \
  bash -c '"$1" --no-such-option 2>/dev/null; test $? -eq 2' _ "$prefix/bin/velmar-desktop-agent"
# Debian's own checks of the package: no errors (warnings are printed).
if command -v lintian >/dev/null; then
  lintian_out="$(lintian --no-tag-display-limit "$deb" 2>&1 || true)"
  [ -n "$lintian_out" ] && echo "$lintian_out"
  check "lintian finds no error" bash -c '! grep -q "^E: " <<<"$1"' _ "$lintian_out"
else
  echo "skip: lintian is not installed, the package's Debian checks were not run"
fi

# --- the agent, started from the unpacked prefix --------------------------------
home="$scratch/home"
mkdir -p "$home/data" "$home/config" "$home/state" "$home/cache" "$home/runtime"
chmod 700 "$home/runtime"
log="$scratch/agent.log"
# No display, no session bus: the agent runs headless with its local core.
# A sanitizer build keeps its options.
sanitizer_options=()
for name in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
  [ -n "${!name:-}" ] && sanitizer_options+=("$name=${!name}")
done
env -i "${sanitizer_options[@]}" PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 HOME="$home" XDG_DATA_HOME="$home/data" \
  XDG_CONFIG_HOME="$home/config" XDG_STATE_HOME="$home/state" XDG_CACHE_HOME="$home/cache" \
  XDG_RUNTIME_DIR="$home/runtime" "$prefix/bin/velmar-desktop-agent" >"$log" 2>&1 &
agent_pid=$!

ready=0
for _ in $(seq 300); do
  grep -q "local core ready" "$log" && { ready=1; break; }
  kill -0 "$agent_pid" 2>/dev/null || break
  sleep 0.05
done
if [ "$ready" -ne 1 ]; then
  cat "$log" >&2
  abort "the installed agent's core never said it was ready"
fi
echo "ok: the installed agent started its core, which is ready"
check "the running agent is the unpacked one" test "$(readlink "/proc/$agent_pid/exe")" = "$prefix/bin/velmar-desktop-agent"
core_args=""
for child in $(pgrep -P "$agent_pid" || true); do
  core_args+="$(tr '\0' ' ' <"/proc/$child/cmdline") "
done
echo "core process: $core_args"
check "its core is the unpacked share/velmar/core.mjs" grep -q -- " $share/core.mjs " <<<" $core_args"
check "no file of the build tree is used" bash -c '! grep -q -- "$1" <<<"$2"' _ "$build" "$core_args"
check "the core keeps its store in the private data folder" test -f "$home/data/velmar/turns.jsonl"

start=$(date +%s%N)
kill -TERM "$agent_pid"
status=0
wait "$agent_pid" || status=$?
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
agent_pid=""
echo "stopped in ${elapsed_ms} ms with status $status"
check "SIGTERM ends it with status 0" test "$status" -eq 0
check "it ends within 7 s" test "$elapsed_ms" -lt 7000
check "its core stopped in order" grep -q "local core stopping" "$log"
check "nothing in its log reports a missing resource" bash -c '! grep -Eiq "not found|missing" "$1"' _ "$log"

if ((failures)); then
  echo "--- agent log ---" >&2
  cat "$log" >&2
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
