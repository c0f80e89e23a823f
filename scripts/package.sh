#!/usr/bin/env bash
# Builds the Linux and Windows modules and leaves the release archives in dist/:
#   quellix-shine-VERSION-linux-x86_64.tar.gz   an install tree: lib/ffgl/Quellix.so, the
#                                               frei0r bridge lib/frei0r-1/quellix_shine.so
#                                               with libexec/ffgl-host/ffgl-worker, the
#                                               editors' descriptions under share/, the OBS
#                                               module's per-user folder ffgl-obs/, INSTALL,
#                                               LICENSE, LICENSE-frei0r-bridge (GPL-2+)
#   quellix-shine-VERSION-windows-x64.zip       Quellix.dll, INSTALL.txt, LICENSE.txt
#   quellix-shine_VERSION_amd64.deb             everything `cmake --install` puts under /usr
# The modules go in stripped; each archive holds one folder named like the archive. The
# Debian package is built with Debian's hardening flags and checked with lintian, which
# must report no error.
set -euo pipefail
cd "$(dirname "$0")/.."
version="$(sed -n 's/^project(QuellixShine VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"

scripts/install-deps.sh windows
scripts/install-deps.sh package
cmake --preset ci
cmake --build --preset ci -j"$(nproc)" --target Quellix quellix_shine ffgl-worker ffgl-obs
scripts/build-windows.sh --no-tests

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
mkdir -p dist

# install_module PRESET FOLDER: the module alone, stripped, into FOLDER.
install_module() {
  cmake --install "build/$1" --component module --strip --prefix "$stage/install-$1"
  mkdir -p "$2"
  find "$stage/install-$1" -type f -exec mv {} "$2/" \;
}

# Linux: the install tree of the module and the bridge, so that the bridge finds
# ../ffgl/Quellix.so and ../../libexec/ffgl-host/ffgl-worker beside itself.
linux="quellix-shine-$version-linux-x86_64"
for component in module bridge obs; do
  cmake --install build/ci --component "$component" --strip --prefix "$stage/$linux"
done
cp frei0r/LICENSE "$stage/$linux/LICENSE-frei0r-bridge"
sed "s/@VERSION@/$version/" packaging/INSTALL-linux.txt >"$stage/$linux/INSTALL"
cp LICENSE "$stage/$linux/LICENSE"
tar --sort=name --owner=0 --group=0 --numeric-owner --mtime=@0 -C "$stage" -czf \
  "dist/$linux.tar.gz" "$linux"

# Windows readers get CRLF line ends.
windows="quellix-shine-$version-windows-x64"
install_module windows "$stage/$windows"
sed "s/@VERSION@/$version/; s/\$/\r/" packaging/INSTALL-windows.txt >"$stage/$windows/INSTALL.txt"
sed 's/$/\r/' LICENSE >"$stage/$windows/LICENSE.txt"
rm -f "dist/$windows.zip"
(cd "$stage" && cmake -E tar cf "$OLDPWD/dist/$windows.zip" --format=zip "$windows")

# The Debian package, from a build of its own: installed under /usr, compiled and linked
# with the flags Debian builds its packages with (hardening included).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake --preset deb \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" \
  -DCMAKE_SHARED_LINKER_FLAGS="$ldflags"
cmake --build --preset deb -j"$(nproc)"
deb="quellix-shine_${version}_amd64.deb"
cpack --config build/deb/CPackConfig.cmake -B "$stage/deb"
mv "$stage/deb/$deb" "dist/$deb"
dpkg-deb --info "dist/$deb"
echo "lintian dist/$deb:"
lintian --fail-on error --display-info "dist/$deb"

ls -l "dist/$linux.tar.gz" "dist/$windows.zip" "dist/$deb"
