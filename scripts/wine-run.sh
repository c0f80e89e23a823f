#!/usr/bin/env bash
# Runs a Windows program under Wine: wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# PREFIX is the Wine prefix to use, made on first use. Wine's own messages are off. With
# no X display, the program runs on a virtual one (xvfb-run), which Wine's OpenGL needs.
set -euo pipefail
export WINEPREFIX="$1"
shift
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no offer to install Mono or Gecko

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$WINEPREFIX" "$@"
fi

wine="$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Tests may start together: one of them makes the prefix, the others wait for it.
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$wine" wineboot --init >/dev/null 2>&1
      "$(command -v wineserver || echo /usr/lib/wine/wineserver)" --wait || true
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec "$wine" "$@"
