# Shared by the scripts: package installation and the project's paths. Source, don't run.
set -euo pipefail

SIXBAND_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export DEBIAN_FRONTEND=noninteractive

# Installs the Debian packages that are missing, as root or through sudo.
install_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    # One index update per hour is enough for every leg of a run.
    if [ -z "$(find /var/lib/apt/lists -maxdepth 1 -name '*_Packages*' -mmin -60 2>/dev/null | head -n 1)" ]; then
        $sudo apt-get update -qq
    fi
    local install=($sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends)
    # An index from earlier in the run may not know a newly added architecture: update and retry.
    "${install[@]}" "${missing[@]}" >/dev/null || { $sudo apt-get update -qq && "${install[@]}" "${missing[@]}" >/dev/null; }
}

# What the native build needs: compiler, CMake, test and benchmark libraries, the host's libraries.
NATIVE_PACKAGES=(g++ cmake make pkg-config libgtest-dev libbenchmark-dev
                 libsndfile1-dev libmpg123-dev libfftw3-dev libcairo2-dev libcli11-dev)

build_preset() {
    local preset=$1
    cmake --preset "$preset" -S "$SIXBAND_ROOT" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
}
