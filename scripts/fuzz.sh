#!/usr/bin/env bash
# Builds the libFuzzer harnesses (fuzz preset: clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and the shared test streams (the demuxer's
# seed inputs: datagrams of real ffmpeg streams), then runs every harness,
# one after another, for SECONDS seconds each. The other harnesses' seeds are
# cut from those streams too (their access units, and the parameter sets of
# every pixel format) or are typical typed texts. Each harness keeps its growing
# corpus in build/fuzz/corpus/<name>/ and writes what it finds to
# build/fuzz/findings/<name>/; the script exits non-zero when anything was
# found. Once a finding is fixed, its input goes into
# tests/fuzz/regressions/<name>/, which the normal test run replays.
#   scripts/fuzz.sh 60                  every harness for a minute
#   scripts/fuzz.sh 600 demuxer quote   only those two
# Harnesses: demuxer annexb decoder sps configuration quote
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: scripts/fuzz.sh SECONDS [harness...]}
shift
harnesses=("$@")
[[ ${#harnesses[@]} -gt 0 ]] || harnesses=(demuxer annexb decoder sps configuration quote)

# clang and libFuzzer are needed for fuzzing only, not for the test run.
scripts/install-deps.sh clang libclang-rt-dev

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

build=build/fuzz
"$build/tests/support/make_test_streams"
mkdir -p "$build/logs"
seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds"/{annexb,decoder,sps,configuration,quote}
# A test stream is a run of records (a 16-bit big-endian length, then one
# datagram); ffmpeg reads the transport stream they carry and writes each
# access unit to a file of its own.
access_units() { # stream frames folder
  perl -e 'binmode STDIN; binmode STDOUT; local $/; my $d = <STDIN>;
    while (length($d) >= 2) { my $n = unpack("n", $d); print substr($d, 2, $n); substr($d, 0, 2 + $n) = ""; }' \
    <"$build/test-streams/$1" |
    ffmpeg -v error -nostdin -f mpegts -i - -c copy -frames:v "$2" -f image2 "$3/$1-%02d.h264"
}
# The decoder harness starts from the 320x240 stream's keyframe, so that
# stream's later units are what a real headset would send next.
access_units 320x240 12 "$seeds/decoder"
cp "$seeds/decoder/"* "$seeds/annexb/"
for stream in 320x240 yuv444p yuv420p10le 8208x16; do access_units "$stream" 1 "$seeds/sps"; done
# Configuration inputs: the host's length, the port (two bytes), the host, the user name.
i=0
for typed in '\x0c\x00\x16192.168.4.10steamos' '\x0a\x1f\x9a 10.0.0.2\nDeck_User-01' \
  '\x0e\x00\x16\xc2\xa0127.0.0.1\xe3\x80\x80a' '\x0d\x00\x16192.168.4.256steam os' \
  '\x0b\x00\x16headset.lan-steamos'; do
  printf "$typed" >"$seeds/configuration/typed-$((i++))"
done
for text in '' plain "it's" "'''" '$(id) `id` ${PATH}' 'a
b\c"d'; do
  printf %s "$text" >"$seeds/quote/text-$((i++))"
done
found=0
for name in "${harnesses[@]}"; do
  corpus=$build/corpus/$name
  findings=$build/findings/$name
  log=$build/logs/$name.log
  mkdir -p "$corpus" "$findings"
  # The harness's own processor time: on a shared machine it gets less than the wall clock.
  TIMEFORMAT='%U %S'
  if cpu=$({ time "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
      -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$findings/" \
      "$corpus" "$([[ $name == demuxer ]] && echo "$build/test-streams" || echo "$seeds/$name")" \
      >"$log" 2>&1; } 2>&1); then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    coverage=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | sed -E 's/.*(cov: [0-9]+ ft: [0-9]+).*/\1/' ||
      true)
    minutes=$(awk '{ printf "%.1f", ($1 + $2) / 60 }' <<<"$cpu")
    echo "$name: no finding in ${seconds} s (${minutes} CPU-minutes), ${runs} runs, ${coverage}"
  else
    echo "$name: FINDING, see $log and $findings/" >&2
    found=1
  fi
done
exit $found
