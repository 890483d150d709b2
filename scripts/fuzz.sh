#!/usr/bin/env bash
# The libFuzzer targets of tests/fuzz, built with clang under AddressSanitizer
# and UndefinedBehaviorSanitizer in build-fuzz/.
#   scripts/fuzz.sh build            configure and build the targets
#   scripts/fuzz.sh seeds            remake tests/fuzz/corpus/ from the test fixtures
#                                    (needs the plain build's obra_tests in build/)
#   scripts/fuzz.sh smoke [SECONDS]  every target for SECONDS (30) over its corpus;
#                                    new inputs go to a scratch directory
#   scripts/fuzz.sh run SECONDS [TARGET...]
#                                    longer runs; new inputs are kept in
#                                    build-fuzz/corpus/TARGET, findings in
#                                    build-fuzz/findings/
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-smoke}
targets_all=(FuzzFits FuzzBif FuzzTiff FuzzPng FuzzBmp FuzzJpeg FuzzConfig FuzzKeywordLine)
corpus=tests/fuzz/corpus
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0

build() {
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
    -DOBRA_FUZZ=ON -DOBRA_SANITIZE=address,undefined -DOBRA_BUILD_GUI=OFF \
    -DOBRA_BUILD_TESTS=OFF -DOBRA_BUILD_BENCH=OFF >/dev/null
  cmake --build build-fuzz -j "$(nproc)" --target "${targets_all[@]}"
}

# Sorts the fixture files a test run kept (by extension) into the corpora.
seeds() {
  local kept
  kept=$(mktemp -d)
  trap 'rm -rf "$kept"' RETURN
  OBRA_FUZZ_SEEDS=$kept QT_QPA_PLATFORM=offscreen build/bin/obra_tests >/dev/null 2>&1 || true
  local raw=$kept/raw
  for t in "${targets_all[@]}"; do mkdir -p "$raw/$t"; done
  add() {  # add TARGET PREFIXBYTE FILE: the first byte picks the target's extension
    local name
    name=$2$(sha1sum "$3" | cut -c1-14)
    { printf "\\x$2"; cat "$3"; } >"$raw/$1/$name"
  }
  for f in "$kept"/* tests/corpus/*; do
    case "${f,,}" in
      *.fits | *.fts | *.fit) add FuzzFits 00 "$f" && add FuzzFits 03 "$f" ;;  # 03: as .fits.gz
      *.bif) add FuzzBif 00 "$f" ;;
      *.tif | *.tiff) add FuzzTiff 00 "$f" ;;
      *.act) add FuzzTiff 02 "$f" ;;
      *.png) add FuzzPng 00 "$f" ;;
      *.bmp) add FuzzBmp 00 "$f" ;;
      *.jpg | *.jpeg) add FuzzJpeg 00 "$f" ;;
      *.ini) cp "$f" "$raw/FuzzConfig/$(sha1sum "$f" | cut -c1-16)" ;;
    esac
  done
  for f in dist/*.ini; do cp "$f" "$raw/FuzzConfig/$(sha1sum "$f" | cut -c1-16)"; done
  # Keyword lines: the header cards of the FITS seeds, each with its own key.
  local n=0
  for f in "$raw"/FuzzFits/*; do
    tail -c +2 "$f" | head -c 2880 | fold -w 80 | grep -a -v '^ *$' | while IFS= read -r card; do
      key=${card%%[ =]*}
      [ -n "$key" ] && printf '%s\n%s' "$key" "$card" >"$raw/FuzzKeywordLine/$(printf '%s' "$card" | sha1sum | cut -c1-16)"
    done || true
    n=$((n + 1))
    [ $n -ge 200 ] && break
  done
  # Only the seeds that add coverage are kept in the repository.
  rm -rf "$corpus"
  for t in "${targets_all[@]}"; do
    mkdir -p "$corpus/$t"
    build-fuzz/bin/"$t" -merge=1 -timeout=10 -rss_limit_mb=4096 "$corpus/$t" "$raw/$t" \
      >/dev/null 2>&1
  done
  du -sh "$corpus"
  for t in "${targets_all[@]}"; do echo "$t: $(ls "$corpus/$t" | wc -l) seeds"; done
}

run() {  # run SECONDS KEEP TARGET...
  local seconds=$1 keep=$2
  shift 2
  mkdir -p build-fuzz/findings
  for t in "$@"; do
    local work
    if [ "$keep" = keep ]; then
      work=build-fuzz/corpus/$t
      mkdir -p "$work"
    else
      work=$(mktemp -d)
    fi
    echo "== $t: ${seconds} s"
    local log=build-fuzz/findings/$t.log status=0
    build-fuzz/bin/"$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
      -max_len=65536 -print_final_stats=1 -artifact_prefix=build-fuzz/findings/"$t"- \
      "$work" "$corpus/$t" >"$log" 2>&1 || status=$?
    grep -E 'DONE|stat::number_of_executed_units|stat::peak_rss_mb|ERROR|SUMMARY' "$log" || true
    [ "$keep" = keep ] || rm -rf "$work"
    if [ "$status" -ne 0 ]; then
      tail -n 40 "$log" >&2
      echo "$t failed (status $status); see build-fuzz/findings/" >&2
      return 1
    fi
  done
}

case "$mode" in
  build) build ;;
  seeds) build && seeds ;;
  smoke) build && run "${2:-30}" scratch "${targets_all[@]}" ;;
  run)
    [ $# -ge 2 ] || { echo "usage: $0 run SECONDS [TARGET...]" >&2; exit 2; }
    seconds=$2
    shift 2
    build && run "$seconds" keep "${@:-${targets_all[@]}}"
    ;;
  *) echo "usage: $0 build|seeds|smoke [SECONDS]|run SECONDS [TARGET...]" >&2; exit 2 ;;
esac
