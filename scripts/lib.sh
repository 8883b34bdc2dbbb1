# Shared by the scripts: package installation, the legs' way of reporting what they could not run,
# and the project's paths. Source, don't run.
set -euo pipefail

SIXBAND_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export DEBIAN_FRONTEND=noninteractive
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# Why the last install_packages failed, in a line or two of apt's own words.
INSTALL_FAILURE=""

# Other legs or jobs on the machine may hold dpkg's lock for minutes: wait for it, don't fail.
apt_get() {
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 "$@"
}

# Trouble that a pause may cure. A mirror that serves an index of the wrong size stays that way for
# days, so that is not retried: the update goes on without that index instead.
apt_failed_transiently() {
    grep -Eq 'Temporary failure (in name resolution|resolving)|Could not (connect|resolve)|Connection (failed|timed out|refused|reset)|Network is unreachable|Unable to connect' "$1"
}

# apt's reason for a failure: the error lines, and for unmet dependencies the first package's.
apt_reason() {
    { grep -E '^ *[^ ]+ : (Depends|PreDepends|Breaks|Conflicts):' "$1" | head -n 1
      grep -E '^E: ' "$1" | head -n 1; } | cut -c 1-240 | paste -sd '|' | sed 's/|/; /g; s/  */ /g; s/^ //' || true
}

# Updates the package indices. One that fails to load (a foreign architecture's index mid-sync,
# say) leaves the others usable, so a partial failure is reported and the caller goes on: only the
# install that follows can tell whether the packages it wants were among the lost ones.
update_package_index() {
    local log attempt
    log=$(mktemp)
    for attempt in 1 2 3; do
        if apt_get update -qq >"$log" 2>&1; then
            rm -f "$log"
            return 0
        fi
        apt_failed_transiently "$log" && [ "$attempt" -lt 3 ] || break
        echo "apt-get update: $(apt_reason "$log"); trying again in 15 s"
        sleep 15
    done
    echo "apt-get update did not load every index, going on with those it did: $(apt_reason "$log")"
    rm -f "$log"
}

# Installs the Debian packages that are missing, as root or through sudo. On failure returns 1 with
# apt's reason in INSTALL_FAILURE (and on stderr): a leg that cannot do without the packages stops
# there under `set -e`, one that can asks `if install_packages ...` and reports what it skips.
install_packages() {
    INSTALL_FAILURE=""
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local updated=""
    # One index update per hour is enough for every leg of a run.
    if [ -z "$(find /var/lib/apt/lists -maxdepth 1 -name '*_Packages*' -mmin -60 2>/dev/null | head -n 1)" ]; then
        update_package_index
        updated=1
    fi
    local log attempt
    log=$(mktemp)
    for attempt in 1 2 3 4; do
        if apt_get install -y -q --no-install-recommends "${missing[@]}" >"$log" 2>&1; then
            rm -f "$log"
            return 0
        fi
        if apt_failed_transiently "$log" && [ "$attempt" -lt 4 ]; then
            echo "apt-get install: $(apt_reason "$log"); trying again in 15 s"
            sleep 15
        elif [ -z "$updated" ]; then
            # An index from earlier in the run may not know a newly added architecture.
            update_package_index
            updated=1
        else
            break
        fi
    done
    INSTALL_FAILURE=$(apt_reason "$log")
    [ -n "$INSTALL_FAILURE" ] || INSTALL_FAILURE=$(tail -n 1 "$log")
    rm -f "$log"
    echo "Could not install ${missing[*]}: $INSTALL_FAILURE" >&2
    return 1
}

# What the legs could not run. scripts/test.sh gives each leg a file to append to, and names each
# such leg, with what it skipped and why, before its summary.
record_skip() {
    echo "SKIPPED: $*"
    [ -z "${SIXBAND_LEG_SKIPS:-}" ] || echo "$*" >>"$SIXBAND_LEG_SKIPS"
}

# Ends a leg that cannot run at all; test.sh counts it as skipped, neither passed nor failed.
skip_leg() {
    record_skip "$*"
    exit 77
}

# Runs a ctest command line (ctest itself, or under a wrapper such as setarch); tests that it reports
# as skipped are recorded, with the reason in SKIP_REASON when the leg knows it, so that a partial
# run is never taken for a full one.
run_tests() {
    local log status=0
    log=$(mktemp)
    "$@" 2>&1 | tee "$log" || status=$?
    local skipped
    skipped=$(sed -n '/The following tests did not run:/,/^$/s/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/\1/p' "$log" |
              paste -sd ',' | sed 's/,/, /g')
    rm -f "$log"
    if [ -n "$skipped" ]; then
        local preset
        preset=$(sed -n 's/.*--preset[ =]\([^ ]*\).*/ of \1/p' <<<"$*")
        record_skip "tests$preset $skipped: ${SKIP_REASON:-the output above says why}"
    fi
    return $status
}

# What the native build needs: compiler, CMake, test and benchmark libraries, the host's libraries,
# the LV2 headers, help2man for the manual page.
NATIVE_PACKAGES=(g++ cmake make pkg-config libgtest-dev libbenchmark-dev
                 libsndfile1-dev libmpg123-dev libfftw3-dev libcairo2-dev libcli11-dev lv2-dev help2man)
# What CPack's Debian package needs beyond the build: dpkg-shlibdeps, and file to find the binaries.
PACKAGING_PACKAGES=(dpkg-dev file)
# The Windows cross-builds: MinGW-w64 with POSIX threads, and the GoogleTest sources their tests build.
MINGW_PACKAGES=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
                binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 googletest)

build_preset() {
    local preset=$1
    cmake --preset "$preset" -S "$SIXBAND_ROOT" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
}
