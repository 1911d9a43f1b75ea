# shellcheck shell=bash
# Sourced by bash scripts: the Wine prefixes the tests and the demo run in.
#
# wine_prefix [--log LOG] PREFIX [REGISTRY_LINE...]
#   Makes PREFIX with wineboot when it has none yet, then gives it the
#   settings every prefix here has (Wine's crash dialog off) and the
#   REGISTRY_LINEs (the body of a .reg file: key lines in brackets and
#   "name"=value lines), imported again only when they changed. Wine's output
#   goes to LOG (default a scratch file). Returns non-zero, with a message and
#   the end of that output on standard error, when the prefix could not be
#   made or set.
# wine_prefix_missing PREFIX
#   True while PREFIX has not been made.
# wine_session_end PREFIX
#   Ends PREFIX's session (server, services, desktop, programs) and waits
#   until it is gone.
#
# Wine ties a prefix's session to the display of its first program: windows
# fail in a session begun without a display, or on one that has since
# stopped. So wine_prefix works with no display and lets its session end
# before it returns (the caller's next program begins a fresh one on its own
# display), and a session begun on a private display is ended before that
# display stops.

wine_prefix_missing() { [ ! -f "$1/system.reg" ]; }

wine_session_end() {
  WINEPREFIX="$1" wineserver -k 2>/dev/null
  WINEPREFIX="$1" wineserver -w 2>/dev/null
}

wine_prefix() {
  local log=
  if [ "${1:-}" = --log ]; then
    log=$2
    shift 2
  fi
  local prefix=$1 dir status=0
  shift
  dir=$(mktemp -d) || return 1
  [ -n "$log" ] || log="$dir/wine.log"
  : >"$log"
  if wine_prefix_missing "$prefix"; then
    WINEPREFIX="$prefix" DISPLAY='' wineboot -i </dev/null >>"$log" 2>&1
    WINEPREFIX="$prefix" wineserver -w
    wine_prefix_missing "$prefix" && status=1
  fi
  # A crashing program ends instead of waiting in Wine's crash dialog.
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' '' \
    "$@" >"$dir/settings"
  if [ "$status" = 0 ] && ! cmp -s "$dir/settings" "$prefix/.halvora-settings"; then
    # reg import reads UTF-16 with a byte-order mark, whatever the names'
    # script (the font face names are Chinese).
    iconv -f UTF-8 -t UTF-16LE <"$dir/settings" | { printf '\xff\xfe'; cat; } >"$dir/settings.reg"
    WINEPREFIX="$prefix" DISPLAY='' wine reg import "Z:${dir//\//\\}\\settings.reg" \
      </dev/null >>"$log" 2>&1 || status=1
    WINEPREFIX="$prefix" wineserver -w
    [ "$status" = 0 ] && cp "$dir/settings" "$prefix/.halvora-settings"
  fi
  if [ "$status" != 0 ]; then
    echo "${0##*/}: the Wine prefix $prefix could not be made or set" >&2
    tail -n 30 "$log" >&2
  fi
  rm -rf "$dir"
  return "$status"
}
