#!/usr/bin/env bash
# Makes the README's picture of the `ffgl-host play` window the way CI runs the window
# tests: on a virtual display (xvfb-run), read back with ImageMagick's import.
#   scripts/play-screenshot.sh [BUILD_DIR] [OUT.png]   (defaults: build/ci, docs/play-window.png)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/ci}"
out="${2:-docs/play-window.png}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cat > "$work/shoot.sh" <<'SHOT'
#!/usr/bin/env bash
set -euo pipefail
host="$1"; plugin="$2"; out="$3"; work="$4"
cd "$work"
"$host" play "$plugin" --set "Auto Move=0" --set "Flare X=0.3" --set "Flare Y=0.62" \
    > play.out 2> play.err &
pid=$!
# The S key's picture says the first frame is on screen.
for _ in $(seq 1 600); do
  xdotool mousemove 900 600 key s
  sleep 0.5
  grep -q '^wrote ' play.out && break
done
sleep 3  # the rates on screen settle
window="$(xdotool search --name 'ffgl-host play' | head -1)"
import -window "$window" "$out"
xdotool key Escape
wait "$pid"
SHOT
chmod +x "$work/shoot.sh"
xvfb-run -a -s "-screen 0 1600x900x24" "$work/shoot.sh" "$PWD/$build/hostapp/ffgl-host" \
    "$PWD/$build/Quellix.so" "$PWD/$out" "$work"
echo "wrote $out"
