#!/bin/sh
# wine-env.sh start|stop|run|desktop STATE_DIR [COMMAND...]
#
# The tests' Windows: one private Wine prefix (made once, reused) and one Xvfb display for the
# whole test run. "start" makes the prefix if needed, starts Xvfb and a Wine server kept alive
# between Wine processes; "run" runs a command with that prefix and display; "stop" ends both.
# "desktop" makes the same prefix on the display already in DISPLAY (a user's desktop) and runs
# the command there, with no Xvfb.
set -eu
action=$1
state=$(mkdir -p "$2" && cd "$2" && pwd)
shift 2

export WINEPREFIX="$state/prefix"
export WINEDEBUG=-all
# No prompts for components we never use.
export WINEDLLOVERRIDES="mscoree,mshtml="

start_display() {
  if [ -f "$state/display" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then
    return
  fi
  rm -f "$state/display.tmp"
  # -displayfd picks a free display number and writes it to the file when the server is ready.
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$state/display.tmp" \
    </dev/null >/dev/null 2>&1 &
  echo $! >"$state/xvfb.pid"
  tries=0
  while [ ! -s "$state/display.tmp" ]; do
    tries=$((tries + 1))
    [ $tries -lt 100 ] || { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.1
  done
  echo ":$(tr -d '\n' <"$state/display.tmp")" >"$state/display"
}

# The window asks for "Segoe UI", which Wine does not have: it draws with Liberation Sans, whose
# metrics are close, but that has no "✕" (U+2715) and would show a box. Naming the substitute
# and linking DejaVu Sans to it, as Windows links fonts for missing glyphs, keeps every other
# text exactly as it was and draws the close glyph as on Windows. Done once per prefix.
link_fonts() {
  [ -f "$state/fonts-linked" ] && return
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v 'Segoe UI' /t REG_SZ /d 'Liberation Sans' /f </dev/null >/dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v 'Liberation Sans' /t REG_MULTI_SZ /d 'DejaVuSans.ttf,DejaVu Sans' /f \
    </dev/null >/dev/null 2>&1
  touch "$state/fonts-linked"
}

# Windows hides keyboard focus cues until the first keyboard navigation unless the user asks to
# always see them; Wine's new prefixes ask for them. Bit 0x20 of the first byte of
# UserPreferencesMask is that setting: cleared once per prefix, as on a fresh Windows.
windows_cue_default() {
  [ -f "$state/cues-default" ] && return
  mask=$(wine reg query 'HKCU\Control Panel\Desktop' /v UserPreferencesMask 2>/dev/null |
    tr -d '\r' | awk '$1 == "UserPreferencesMask" { print $3 }')
  if [ -n "$mask" ]; then
    first=$(printf '%02X' $((0x$(echo "$mask" | cut -c1-2) & 0xDF)))
    wine reg add 'HKCU\Control Panel\Desktop' /v UserPreferencesMask /t REG_BINARY \
      /d "$first$(echo "$mask" | cut -c3-)" /f </dev/null >/dev/null 2>&1
  fi
  touch "$state/cues-default"
}

# The prefix on the display in DISPLAY: made if needed, set up once, its server and helpers started.
prepare_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1 || true
    wineserver -w
    test -f "$WINEPREFIX/system.reg" || { echo "could not create $WINEPREFIX" >&2; exit 1; }
    rm -f "$state/fonts-linked" "$state/cues-default"
  fi
  # Fails when a server of this prefix runs already, which is as good.
  wineserver -p60 </dev/null >/dev/null 2>&1 || true
  link_fonts
  windows_cue_default
  # Start Wine's long-lived helper processes (services, the desktop) now, detached from our
  # output: started later by a test, they would inherit its output pipe and keep the test
  # runner waiting until the Wine server exits.
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

case "$action" in
  start)
    start_display
    export DISPLAY="$(cat "$state/display")"
    prepare_prefix
    ;;
  desktop)
    [ -n "${DISPLAY:-}" ] || { echo "wine-env.sh desktop: DISPLAY is not set" >&2; exit 2; }
    prepare_prefix
    exec "$@"
    ;;
  run)
    [ -f "$state/display" ] || start_display
    export DISPLAY="$(cat "$state/display")"
    exec "$@"
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    if [ -f "$state/xvfb.pid" ]; then
      kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
      rm -f "$state/xvfb.pid" "$state/display"
    fi
    ;;
  *)
    echo "usage: wine-env.sh start|stop|run|desktop STATE_DIR [COMMAND...]" >&2
    exit 2
    ;;
esac
