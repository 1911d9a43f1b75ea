# shellcheck shell=bash
# Sourced by bash scripts. Clean-up that runs however the script ends.
#
# at_exit COMMAND [ARG...]
#   Runs COMMAND when the script exits, before whatever was registered earlier:
#   what was started last stops first (a Wine session before the display its
#   windows are on, that display before the folder holding its log).
# at_exit_stop PID
#   At exit, ends the child PID and waits for it.
# Scripts that source this add their own clean-up with at_exit, not with a
# trap on EXIT of their own, which would replace this one.

declare -p at_exit_commands >/dev/null 2>&1 || at_exit_commands=()

at_exit() {
  at_exit_commands+=("$(printf '%q ' "$@")")
  trap at_exit_run EXIT
}

at_exit_run() {
  local i
  for ((i = ${#at_exit_commands[@]} - 1; i >= 0; i--)); do
    eval "${at_exit_commands[i]}"
  done
}

at_exit_stop() { at_exit stop_child "$1"; }

stop_child() {
  kill -TERM "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}
