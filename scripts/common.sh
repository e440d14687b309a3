# Shared by scripts/run, scripts/test and scripts/fuzz: install what the build needs, then build.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libqt6opengl6-dev qt6-charts-dev libgl-dev
          qt6-httpserver-dev libjs-dygraphs qt6-websockets-dev
          libgtest-dev libgmock-dev googletest libbenchmark-dev clang-format libsqlite3-dev sqlite3)
# The web view's test in a real browser runs headless Chromium; it skips itself without one.
TEST_PACKAGES=(chromium)
# The fuzz targets need clang, its libFuzzer and sanitizer runtimes, and llvm-symbolizer
# for readable reports.
FUZZ_PACKAGES=(clang libclang-rt-14-dev llvm)

# install_missing [PACKAGE...]: the given packages, or PACKAGES when none are given.
install_missing() {
    local wanted=("$@") missing=()
    [ ${#wanted[@]} -eq 0 ] && wanted=("${PACKAGES[@]}")
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build DIR [cmake options...]
build() {
    local dir="$1"; shift
    if [ ! -f "$dir/build.ninja" ]; then
        local launcher=()
        # A compiler cache, when the machine has one, makes rebuilds of other trees cheap.
        command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
        cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@"
    fi
    cmake --build "$dir" -j "$(nproc)"
}
