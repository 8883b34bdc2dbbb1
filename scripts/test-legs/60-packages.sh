#!/usr/bin/env bash
# The packages users install, built by scripts/package.sh and proved as a user would.
# The Debian package: lintian finds no error and no warning beyond those the README explains; apt
# installs it; the program in /usr/bin reports and uses the module in /usr/lib/vst; `man sixband`
# renders every command; real hosts' scanners load the installed plug-in, and lv2info finds the LV2
# bundle; `dpkg -r` leaves none of its files behind. A trap removes the
# package again if the leg stops on the way.
# The Windows download: exactly its three files, each DLL built for its folder's architecture,
# passing the module checks and naming this release.
source "$(dirname "$0")/../lib.sh"
cd "$SIXBAND_ROOT"
bash scripts/package.sh

status=0
fail() { echo "FAILED: $*"; status=1; }

version=$(build/default/bin/sixband --version | sed -n 's/^sixband //p')
debs=(build/packages/sixband_*_amd64.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAILED: expected one .deb, found: ${debs[*]}"; exit 1; }
deb=$(realpath "${debs[0]}")
zip=$SIXBAND_ROOT/build/packages/sixband-$version-windows.zip
work=$(mktemp -d)
installed=""
cleanup() {
    if [ -n "$installed" ] && dpkg-query -W -f='${Status}' sixband 2>/dev/null | grep -q ' installed$'; then
        echo "Removing the sixband package this leg installed"
        $SUDO dpkg --purge sixband >/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# --- The Debian package as a file.
dpkg-deb --info "$deb"
contents=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|; s|/$||' | grep -v '^$' | sort)
for path in /usr/bin/sixband /usr/lib/vst/sixband.so /usr/share/man/man1/sixband.1.gz \
            /usr/share/doc/sixband/README.md /usr/share/doc/sixband/copyright \
            /usr/share/doc/sixband/changelog.Debian.gz /usr/lib/lv2/sixband.lv2/manifest.ttl \
            /usr/lib/lv2/sixband.lv2/sixband.ttl /usr/lib/lv2/sixband.lv2/sixband.so; do
    grep -qx "$path" <<<"$contents" || fail "the package lacks $path"
done
package_version=$(dpkg-deb --field "$deb" Version)
[[ $package_version == "$version"-* ]] || fail "the package's version $package_version is not release $version"
depends=$(dpkg-deb --field "$deb" Depends)
for library in libc6 libsndfile1 libfftw3-double3 libcairo2; do
    grep -Eq "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends lacks $library: $depends"
done

# The warnings that remain are explained in the README; a new one fails here until it is.
if install_packages lintian; then
    lintian --fail-on error,warning \
            --suppress-tags initial-upload-closes-no-bugs,maintscript-calls-ldconfig "$deb" ||
        fail "lintian reports an error or an unexplained warning"
    lintian "$deb" 2>/dev/null || true
else
    record_skip "lintian: $INSTALL_FAILURE"
fi

# --- Installed. Slim Debian images tell dpkg to leave out manual pages and documentation.
if dpkg-query -W -f='${Status}' sixband 2>/dev/null | grep -q ' installed$'; then
    echo "A sixband package is installed already: this build's replaces it and is removed at the end."
fi
installed=1
apt_get install -y -q -o DPkg::Options::=--path-include=/usr/share/man/man1/sixband.1.gz \
        -o DPkg::Options::=--path-include='/usr/share/doc/sixband/*' "$deb"

module=/usr/lib/vst/sixband.so
cd "$work"
[ "$(/usr/bin/sixband --version)" = "sixband $version" ] || fail "sixband --version says $(/usr/bin/sixband --version)"
/usr/bin/sixband info >info.txt || true
cat info.txt
grep -Eq "^module +$module " info.txt || fail "the installed program does not find $module by itself"
/usr/bin/sixband demo -o demo --quiet || fail "sixband demo failed"
/usr/bin/sixband process demo/demo-in.wav -o out.flac --set "80 Hz=+6dB" >process.txt || true
cat process.txt
grep -Fq "+6.00 dB measured at 80 Hz" process.txt && [ -s out.flac ] ||
    fail "sixband process with the installed module did not reach +6 dB at 80 Hz"
cd "$SIXBAND_ROOT"

if install_packages man-db; then
    [ "$(man -w sixband)" = /usr/share/man/man1/sixband.1.gz ] || fail "man finds $(man -w sixband)"
    MANWIDTH=100 man --warnings sixband >"$work/man.txt" 2>"$work/man-warnings.txt" || fail "man sixband failed"
    [ ! -s "$work/man-warnings.txt" ] || fail "man sixband warns: $(head -n 3 "$work/man-warnings.txt")"
    commands=$(/usr/bin/sixband --help | awk '/^Subcommands:$/ {on = 1; next} on && /^  [^ ]/ {print $1}')
    for command in $commands; do
        grep -Eq "^ +sixband $command( |$)" "$work/man.txt" || fail "the manual page lacks the command $command"
    done
    grep -Fq -- "--plugin MODULE=$module" "$work/man.txt" || fail "the manual page does not name $module as the default"
    ! grep -Eq '(TEXT|INT|FLOAT)[:= ]' "$work/man.txt" || fail "the manual page shows CLI11's type labels"
    ! grep -Fq '??' "$work/man.txt" || fail "the manual page has characters it cannot render"
    ! grep -Fq "$SIXBAND_ROOT" "$work/man.txt" || fail "the manual page shows paths of the build"
    echo "man sixband: $(wc -l <"$work/man.txt") lines, commands: $(echo $commands)"
else
    record_skip "man sixband: $INSTALL_FAILURE"
fi

if install_packages qtractor muse; then
    tests/real-hosts.sh "$module" || fail "real hosts' scanners on the installed $module"
else
    record_skip "the real hosts' scan of the installed plug-in: $INSTALL_FAILURE"
fi

# As an LV2 host finds it: on the default path, which holds /usr/lib/lv2.
if install_packages lilv-utils; then
    # Read whole first: grep -q would stop reading, and lv2info's SIGPIPE fail the pipeline.
    listing=$(env -u LV2_PATH lv2info urn:sixband:equaliser 2>&1 || true)
    grep -Fq "file:///usr/lib/lv2/sixband.lv2/" <<<"$listing" ||
        fail "lv2info does not find urn:sixband:equaliser in /usr/lib/lv2/sixband.lv2"
else
    record_skip "lv2info on the installed bundle: $INSTALL_FAILURE"
fi

$SUDO dpkg -r sixband
# A folder may stay when it holds other files or another package owns it; nothing else may.
while read -r path; do
    [ -e "$path" ] || [ -L "$path" ] || continue
    if [ -d "$path" ] && [ ! -L "$path" ]; then
        [ -n "$(ls -A "$path")" ] || dpkg-query -S "$path" >/dev/null 2>&1 || fail "dpkg -r left the folder $path"
    else
        fail "dpkg -r left $path"
    fi
done <<<"$contents"
# CPack's maintainer scripts keep the package known to dpkg until it is purged.
$SUDO dpkg --purge sixband >/dev/null
installed=""

# --- The Windows download.
entries=$(cmake -E tar tf "$zip" | sort | paste -sd ' ')
[ "$entries" = "README.txt x64/sixband.dll x86/sixband.dll" ] || fail "the zip holds [$entries]"
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
grep -Fq "sixband $version for Windows" "$work/zip/README.txt" || fail "README.txt does not name release $version"
for arch in x86 x64; do
    dll=$work/zip/$arch/sixband.dll
    scripts/check-windows-module.sh "$dll" || fail "$arch/sixband.dll fails the module checks"
    expected="PE32 executable (DLL) (console) Intel 80386"
    [ $arch = x86 ] || expected="PE32+ executable (DLL) (console) x86-64"
    file -b "$dll" | grep -Fq "$expected" || fail "$arch/sixband.dll is $(file -b "$dll")"
    strings -e l "$dll" | grep -Fxq "sixband $version" || fail "$arch/sixband.dll does not name release $version"
done
unzip -l "$zip" 2>/dev/null || cmake -E tar tvf "$zip"
exit $status
