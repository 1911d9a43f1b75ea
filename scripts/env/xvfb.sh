# shellcheck shell=bash
# Sourced by bash scripts: a private X display for Wine's windows.
#
# xvfb_start SCREEN [LOG]
#   Starts Xvfb on a free display with one screen of SCREEN (WIDTHxHEIGHTxDEPTH)
#   and its output going to LOG (default a scratch file), waits until it
#   accepts connections, exports DISPLAY and stops it when the script exits
#   (at_exit). Call it in the script's own shell, not in a subshell. When Xvfb
#   does not start, says so on standard error with its output and returns
#   non-zero.
#   A Wine session begun on this display has to end before it: register
#   wine_session_end (wine-prefix.sh) with at_exit after this call.

# shellcheck source=scripts/env/at-exit.sh
. "$(dirname "${BASH_SOURCE[0]}")/at-exit.sh"

xvfb_start() {
  local screen=$1 log=${2:-} dir number=
  dir=$(mktemp -d) || return 1
  [ -n "$log" ] || log="$dir/xvfb.log"
  mkfifo "$dir/display"
  # With -displayfd, Xvfb picks a free display number and writes it to the
  # pipe once it accepts connections; if it dies first, the pipe just closes.
  Xvfb -displayfd 3 -nolisten tcp -screen 0 "$screen" 3>"$dir/display" </dev/null >"$log" 2>&1 &
  at_exit_stop $!
  if ! read -r -t 30 number <"$dir/display" || [ -z "$number" ]; then
    echo "${0##*/}: Xvfb did not start" >&2
    cat "$log" >&2
    rm -rf "$dir"
    return 1
  fi
  rm -rf "$dir"
  export DISPLAY=":$number"
}
