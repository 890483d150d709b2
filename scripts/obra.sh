#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   scripts/obra.sh run   install what is missing, build, start the program
#   scripts/obra.sh test  install what is missing, build, run every test
#                         (format and layering checks, plain build, AddressSanitizer + UndefinedBehaviorSanitizer
#                         build, ThreadSanitizer build of every test but the window's,
#                         a short run of every fuzz target)
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-run}
jobs=$(nproc)

packages=(build-essential cmake ninja-build pkg-config git
  qt6-base-dev libgl-dev fonts-liberation fontconfig
  libpng-dev zlib1g-dev libjpeg62-turbo-dev libcfitsio-dev libcfitsio-bin gzip
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-astropy python3-numpy libtiff-tools xvfb xauth
  clang clang-format ccache parallel slurm-wlm munge)

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Compiler results are cached across builds and checkouts (paths relative to the
# checkout), so a rebuild or a second clone compiles only what changed.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1

build() {  # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

install_missing
case "$mode" in
  run)
    build build -DCMAKE_BUILD_TYPE=Release
    if [ -x build/bin/obra ]; then
      exec build/bin/obra
    else
      exec build/bin/obra-cli info samples/aia_193_2013-06-24T17-31-30_1024.fits
    fi
    ;;
  test)
    export QT_QPA_PLATFORM=offscreen
    # The source is formatted, and every include points down the module layers
    # with no widget header below the window.
    git ls-files '*.cpp' '*.h' '*.inl' | xargs clang-format --dry-run --Werror
    python3 scripts/check-layers.py
    build build -DCMAKE_BUILD_TYPE=Release
    ctest --test-dir build --output-on-failure -j "$jobs"
    build build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOBRA_SANITIZE=address,undefined \
      -DOBRA_BUILD_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
      LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ctest --test-dir build-asan --output-on-failure -j "$jobs"
    build build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOBRA_SANITIZE=thread \
      -DOBRA_BUILD_GUI=OFF -DOBRA_BUILD_BENCH=OFF
    # Every test that starts threads in its own process (engine, composition,
    # rendering, PNG encoder, workflow) under ThreadSanitizer. The window tests
    # need an instrumented Qt and stay out; so do the tests that only run
    # obra-cli as a child process: its threads are the workflow's, checked here
    # in process, and a full-size activation under the sanitizer takes minutes.
    TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j "$jobs" \
      -E "^Cli"
    # Every fuzz target for 30 s over its corpus (clang, AddressSanitizer + UBSan).
    scripts/fuzz.sh smoke 30
    echo "All tests passed."
    ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac
