#!/usr/bin/env bash
# Builds the libFuzzer harnesses (fuzz preset: clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and the shared test streams (the demuxer's
# seed inputs: datagrams of real ffmpeg streams), then runs every harness,
# one after another, for SECONDS seconds each. Each harness keeps its growing
# corpus in build/fuzz/corpus/<name>/ and writes what it finds to
# build/fuzz/findings/<name>/; the script exits non-zero when anything was
# found. Once a finding is fixed, its input goes into
# tests/fuzz/regressions/<name>/, which the normal test run replays.
#   scripts/fuzz.sh 60                  every harness for a minute
#   scripts/fuzz.sh 600 demuxer quote   only those two
# Harnesses: demuxer decoder configuration quote
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: scripts/fuzz.sh SECONDS [harness...]}
shift
harnesses=("$@")
[[ ${#harnesses[@]} -gt 0 ]] || harnesses=(demuxer decoder configuration quote)

scripts/install-deps.sh
# clang and libFuzzer are needed for fuzzing only, not for the test run.
missing=()
for p in clang libclang-rt-dev; do
  [[ $(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true) == ii* ]] || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  sudo=()
  [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

build=build/fuzz
"$build/tests/support/make_test_streams"
mkdir -p "$build/logs" "$build/seeds"
found=0
for name in "${harnesses[@]}"; do
  corpus=$build/corpus/$name
  findings=$build/findings/$name
  log=$build/logs/$name.log
  mkdir -p "$corpus" "$findings"
  if "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
      -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$findings/" \
      "$corpus" "$build/$([[ $name == demuxer ]] && echo test-streams || echo seeds)" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    coverage=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | sed -E 's/.*(cov: [0-9]+ ft: [0-9]+).*/\1/' ||
      true)
    echo "$name: no finding in ${seconds} s, ${runs} runs, ${coverage}"
  else
    echo "$name: FINDING, see $log and $findings/" >&2
    found=1
  fi
done
exit $found
