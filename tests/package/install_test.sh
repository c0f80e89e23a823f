#!/usr/bin/env bash
# Installs the Debian package as a user would (apt-get, root), runs the flare in the tools
# that look in the system's folders, with no FREI0R_PATH, and removes the package again:
# every file it brought, and every directory only it owned, must be gone.
#   tests/package/install_test.sh [PACKAGE.deb]   (default: the one scripts/package.sh builds)
set -Eeuo pipefail
trap 'echo "install test: FAILED at line $LINENO" >&2' ERR
cd "$(dirname "$0")/../.."
version="$(sed -n 's/^project(QuellixShine VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
deb="$(realpath "${1:-dist/quellix-shine_${version}_amd64.deb}")"
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
unset FREI0R_PATH
scripts/install-deps.sh package

work="$(mktemp -d)"
# A home of its own: no ~/.frei0r-1 or GStreamer registry of an earlier run takes part.
mkdir "$work/home"
export HOME="$work/home"
# Whatever happens, the system is left without the package (dpkg lists it in no state).
known() { dpkg-query -W quellix-shine >/dev/null 2>&1; }
trap 'if known; then $sudo apt-get purge -y -qq quellix-shine >/dev/null; fi; rm -rf "$work"' EXIT
fail() {
  echo "install test: FAILED: $*" >&2
  exit 1
}
run() {
  echo "+ $*" >&2
  "$@"
}

# blue_excess FILE.rgb: mean blue minus mean red of an rgb24 picture, in 1/255. The flare
# is blue, so it raises this well above a grey picture's 0.
blue_excess() {
  od -An -v -tu1 -w3 "$1" | awk '{ r += $1; b += $3; n++ } END { printf "%.1f", (b - r) / n }'
}
# expect_flare TOOL BASE.rgb FLARED.rgb: the tool's frame with the filter shows the flare.
expect_flare() {
  local base flared
  base="$(blue_excess "$2")"
  flared="$(blue_excess "$3")"
  echo "$1: blue minus red $base without the filter, $flared with it"
  awk -v a="$base" -v b="$flared" 'BEGIN { exit !(b - a >= 4) }' ||
    fail "$1 drew no flare"
}

if known; then
  run $sudo apt-get purge -y -qq quellix-shine
fi
run $sudo apt-get install -y -qq "$deb"
dpkg -L quellix-shine | grep -v '^/\.$' >"$work/files"
echo "the package installed $(wc -l <"$work/files") paths"

run /usr/bin/ffgl-host info /usr/lib/ffgl/Quellix.so >"$work/info"
grep -q 'QX01  Quellix Shine' "$work/info" || fail "ffgl-host info did not describe the plug-in"

# The frei0r module, in the three tools' own search paths.
if [ -d frei0r ]; then
  grep -qx /usr/lib/frei0r-1/quellix_shine.so "$work/files" || fail "no frei0r module"
  (
    cd "$work"
    run ffmpeg -v error -f lavfi -i color=c=0x303030:s=320x240 -frames:v 1 grey.png
    run ffmpeg -v error -i grey.png -frames:v 1 -pix_fmt rgb24 -f rawvideo ffmpeg-base.rgb
    run ffmpeg -v error -i grey.png -vf frei0r=quellix_shine -frames:v 1 -pix_fmt rgb24 \
      -f rawvideo ffmpeg-flare.rgb
    expect_flare ffmpeg ffmpeg-base.rgb ffmpeg-flare.rgb

    consumer=(f=rawvideo vcodec=rawvideo pix_fmt=rgb24 width=320 height=240 frames=1)
    run melt -quiet grey.png out=0 -consumer avformat:melt-base.rgb "${consumer[@]}"
    run melt -quiet grey.png out=0 -filter frei0r.quellix_shine \
      -consumer avformat:melt-flare.rgb "${consumer[@]}"
    expect_flare melt melt-base.rgb melt-flare.rgb

    run gst-inspect-1.0 frei0r-filter-quellix-shine >gst-inspect.txt ||
      fail "GStreamer has no frei0r-filter-quellix-shine"
  )
fi

# The OBS module and its data, where Debian's OBS looks for them.
if [ -d obs ]; then
  for path in /usr/lib/x86_64-linux-gnu/obs-plugins/ffgl-obs.so \
    /usr/share/obs/obs-plugins/ffgl-obs/locale/en-US.ini; do
    grep -qx "$path" "$work/files" || fail "the package has no $path"
  done
fi

# Removal: nothing of the package stays behind.
touch "$work/own-files" "$work/own-dirs"
while read -r path; do
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    # A directory is the package's own when no other package lists it.
    owners="$(dpkg-query -S "$path" | sed -n "s|: $path\$||p")"
    [ "$owners" = quellix-shine ] && echo "$path" >>"$work/own-dirs"
  else
    echo "$path" >>"$work/own-files"
  fi
done <"$work/files"
run $sudo apt-get remove -y -qq quellix-shine
# dpkg keeps nothing of it either (a package with a postrm stays listed until purged).
left=""
for path in $(cat "$work/own-files" "$work/own-dirs") /var/lib/dpkg/info/quellix-shine.*; do
  if [ -e "$path" ] || [ -L "$path" ]; then left+=" $path"; fi
done
[ -z "$left" ] || fail "left behind after apt-get remove:$left"
echo "install test: passed ($(wc -l <"$work/own-files") files and $(wc -l <"$work/own-dirs") directories installed and removed)"
