#!/usr/bin/env bash
# Builds what users install, into build/packages (emptied first):
#   sixband_VERSION-REVISION_amd64.deb   CPack's Debian package of the default build
#   sixband-VERSION-windows.zip          the 32- and 64-bit modules of the MinGW cross-builds, with
#                                        a text on where to copy them and what the six bands are
# Installs what it needs (Debian 12, as root or with sudo). scripts/test-legs/60-packages.sh
# proves the results.
source "$(dirname "$0")/lib.sh"
install_packages "${NATIVE_PACKAGES[@]}" "${PACKAGING_PACKAGES[@]}" "${MINGW_PACKAGES[@]}"
cd "$SIXBAND_ROOT"
out=$SIXBAND_ROOT/build/packages
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build_preset default >/dev/null
version=$(build/default/bin/sixband --version | sed -n 's/^sixband //p')
[ -n "$version" ] || { echo "package.sh: cannot read the version from build/default/bin/sixband" >&2; exit 1; }
(cd build/default && cpack -B "$work/cpack" >/dev/null)
mv "$work"/cpack/sixband_*.deb "$out/"

for arch in x86 x64; do
    cmake --preset "windows-$arch" >/dev/null
    cmake --build --preset "windows-$arch" -j "$(nproc)" --target sixband_module >/dev/null
    # Installed as the build installs it, stripped of the debug information a user has no use for.
    cmake --install "build/windows-$arch" --prefix "$work/windows-$arch" --strip >/dev/null
    mkdir -p "$work/zip/$arch"
    cp "$work/windows-$arch/lib/vst/sixband.dll" "$work/zip/$arch/"
done
# Notepad has long read bare line feeds, but not every Windows editor does.
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' packaging/windows/README.txt.in >"$work/zip/README.txt"
zip=sixband-$version-windows.zip
(cd "$work/zip" && cmake -E tar cf "../$zip" --format=zip README.txt x86/sixband.dll x64/sixband.dll)
mv "$work/$zip" "$out/"

ls -l "$out"
