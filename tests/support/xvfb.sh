# Sourced by the session scripts. start_xvfb DIR WxHxD starts a private X
# server and sets `display` (its number) and `xvfb_pid`.
#
# The number is a random high one, and the server must answer with its own
# screen before it is used: a container that shares its host's network
# namespace sees the host's abstract X sockets, so :0 can look free here (no
# lock file) while clients asking for :0 reach the host's server and are
# refused.
xvfb_answers() {
  command -v xdotool >/dev/null || return 0
  local geometry
  geometry=$(DISPLAY=":$1" xdotool getdisplaygeometry 2>/dev/null) || return 1
  [ "${geometry/ /x}" = "${2%x*}" ]
}

start_xvfb() {
  local dir=$1 screen=$2 n
  for _ in 1 2 3 4 5 6 7 8; do
    n=$((100 + RANDOM % 800))
    [ -e "/tmp/.X$n-lock" ] && continue
    : >"$dir/xvfb.displayfd"
    Xvfb ":$n" -displayfd 3 -screen 0 "$screen" -nolisten tcp -ac >"$dir/xvfb.log" 2>&1 3>"$dir/xvfb.displayfd" &
    xvfb_pid=$!
    for _ in $(seq 200); do
      [ -s "$dir/xvfb.displayfd" ] && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.05
    done
    if [ -s "$dir/xvfb.displayfd" ] && xvfb_answers "$n" "$screen"; then
      display=$n
      return 0
    fi
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  done
  echo "Xvfb did not start on a display of its own" >&2
  cat "$dir/xvfb.log" >&2
  return 1
}
