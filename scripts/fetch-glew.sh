#!/usr/bin/env bash
# Fetches GLEW's source (Debian source package "glew") into a cache folder outside the
# tree and unpacks it there, for the Windows build, which compiles glew.c into the DLL.
# The system's apt configuration is left alone: a private sources file, package lists and
# cache live under the cache folder. The orig tarball is checked against the checksum in
# the .dsc before it is unpacked. Prints the unpacked source folder on standard output.
#   QUELLIX_CACHE_DIR   where the cache lives (default ~/.cache/quellix-shine)
set -euo pipefail

cache="${QUELLIX_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quellix-shine}/glew"
mkdir -p "$cache"
cache="$(cd "$cache" && pwd)"
source_dir="$cache/source"

if [ -f "$source_dir/src/glew.c" ] && [ -f "$source_dir/include/GL/glew.h" ]; then
  echo "$source_dir"
  exit 0
fi

# The Debian suite this machine runs and the mirror its own sources name.
. /etc/os-release
suite="${VERSION_CODENAME:?no VERSION_CODENAME in /etc/os-release}"
mirror="$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null | grep -vE "^\s*#" |
  grep -oE '(https?|file)://[^ ]+/debian/?( |$)' | grep -v -- '-security' | head -n 1 | tr -d ' ' || true)"
if [ -z "$mirror" ]; then
  echo "fetch-glew: no Debian mirror found in /etc/apt/sources.list*" >&2
  exit 1
fi

mkdir -p "$cache/apt/sources.list.d" "$cache/apt/lists/partial" "$cache/apt/cache/archives/partial" \
  "$cache/download"
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $suite main" \
  >"$cache/apt/sources.list.d/glew-source.list"
apt_options=(
  -o Dir::Etc::SourceList=/dev/null
  -o "Dir::Etc::SourceParts=$cache/apt/sources.list.d"
  -o "Dir::State::Lists=$cache/apt/lists"
  -o "Dir::Cache=$cache/apt/cache"
  -o APT::Sandbox::User=root
)
echo "fetch-glew: fetching GLEW's source for $suite from $mirror" >&2
apt-get "${apt_options[@]}" update -qq >&2
(cd "$cache/download" && apt-get "${apt_options[@]}" source --download-only -qq glew >&2)

# The orig tarball must match the SHA-256 the .dsc gives for it.
dsc="$(ls "$cache"/download/glew_*.dsc | head -n 1)"
read -r expected _ orig < <(awk '/^Checksums-Sha256:/ {on = 1; next} /^[^ ]/ {on = 0}
  on && $3 ~ /\.orig\.tar\./ {print $1, $2, $3}' "$dsc")
if [ -z "${orig:-}" ]; then
  echo "fetch-glew: $dsc lists no orig tarball" >&2
  exit 1
fi
actual="$(sha256sum "$cache/download/$orig" | cut -d' ' -f1)"
if [ "$actual" != "$expected" ]; then
  echo "fetch-glew: $orig does not match the checksum in $(basename "$dsc")" >&2
  echo "  expected $expected" >&2
  echo "  got      $actual" >&2
  exit 1
fi
echo "fetch-glew: $orig matches the .dsc (sha256 $actual)" >&2

rm -rf "$source_dir" "$cache/unpack"
mkdir -p "$cache/unpack"
tar -xf "$cache/download/$orig" -C "$cache/unpack"
mv "$cache/unpack"/* "$source_dir"
rmdir "$cache/unpack"
echo "$source_dir"
