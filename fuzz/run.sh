#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer included) and runs each for SECONDS seconds,
# starting from a seed corpus made of the examples and, when present, the
# real BK programs of ../shared/corpus/bk. Prints, per target, executions,
# coverage and crashes; exits non-zero when any target found a crash.
#
#   fuzz/run.sh SECONDS [TARGET...]
#
# The build and the growing corpora live in build-fuzz/ (FUZZ_BUILD_DIR).
set -euo pipefail

seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
bk_corpus=${BK_CORPUS_DIR:-$root/../shared/corpus/bk}

cmake -S "$root" -B "$build" -DKORVID_FUZZ=ON -DBUILD_TESTING=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2 --target fuzzers korvid korvid_sokol_bench >/dev/null

if (($# > 0)); then
  targets=("$@")
else
  mapfile -t targets < <(cd "$root/fuzz" && ls *_fuzz.cpp | sed 's/\.cpp$//')
fi

# Seeds: BK programs, their packed images, and texts.
seeds=$build/fuzz-seeds
rm -rf "$seeds"
mkdir -p "$seeds/bk" "$seeds/granol" "$seeds/dorvik" "$seeds/sokol" "$seeds/text"
cp "$root"/examples/*.bin "$seeds/bk/"
cp "$root"/examples/*.txt "$seeds/text/"
if [[ -d "$bk_corpus" ]]; then
  # A handful of small programs keeps the seed set quick to replay.
  for file in $(ls -S -r "$bk_corpus"/*.bin | head -n 6); do cp "$file" "$seeds/bk/"; done
fi
for file in "$seeds"/bk/*.bin; do
  name=$(basename "$file" .bin)
  (cd "$seeds" && "$build/korvid/korvid" -t bkgranol "bk/$name.bin" "granol/$name.grl" >/dev/null || true)
  (cd "$seeds" && "$build/korvid/korvid" -t dorvik "bk/$name.bin" "dorvik/$name.dvk" >/dev/null || true)
done
# Sokol images come from the benchmark, which writes them in the unpack
# target's input layout: the load address word, then the image.
"$build/bench/korvid_sokol_bench" --seeds "$seeds/sokol" "$seeds/bk" >/dev/null || true

seeds_for() {
  case "$1" in
    *granol_unpack*) echo "$seeds/granol" ;;
    *dorvik_unpack*) echo "$seeds/dorvik" ;;
    *sokol_unpack*) echo "$seeds/sokol" ;;
    morva_*) echo "$seeds/text" ;;
    *) echo "$seeds/bk" ;;
  esac
}

# Round trips pack before they unpack, and so does the proof target before
# it runs the image on the PDP-11 model; packing costs grow with the input:
# inputs up to a little over 4 KiB reach every copy distance and literal run
# length of the methods while keeping the executions quick.
extra_flags() {
  case "$1" in
    *roundtrip* | *proof*) echo "-max_len=4200" ;;
  esac
}

# The targets run side by side, as many at a time as there are cores
# (FUZZ_JOBS); each writes its own log, and the table is printed when all
# have ended.
parallel=${FUZZ_JOBS:-$(nproc)}
run_target() {
  local target=$1
  local corpus=$build/fuzz-corpus/$target artifacts=$build/fuzz-artifacts/$target
  local log=$build/fuzz-logs/$target.log
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  local before status=0
  before=$(ls "$artifacts" | wc -l)
  (cd "$build" && "$build/fuzz/$target" -max_total_time="$seconds" -timeout=20 \
    -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$artifacts/" $(extra_flags "$target") \
    "$corpus" "$(seeds_for "$target")" >"$log" 2>&1) || status=$?
  local crashes=$(($(ls "$artifacts" | wc -l) - before))
  if ((status != 0 && crashes == 0)); then crashes=1; fi
  echo "$crashes" >"$log.crashes"
}
for target in "${targets[@]}"; do
  while (($(jobs -rp | wc -l) >= parallel)); do wait -n || true; done
  run_target "$target" &
done
wait

printf '%-32s %12s %10s %8s\n' target executions coverage crashes
failed=0
for target in "${targets[@]}"; do
  log=$build/fuzz-logs/$target.log
  artifacts=$build/fuzz-artifacts/$target
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | sed 's/cov: //')
  crashes=$(cat "$log.crashes" 2>/dev/null || echo 1)
  printf '%-32s %12s %10s %8s\n' "$target" "${executions:-?}" "${coverage:-?}" "$crashes"
  if ((crashes > 0)); then
    failed=1
    echo "  see $log and $artifacts" >&2
  fi
done
exit $failed
