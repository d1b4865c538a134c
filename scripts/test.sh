#!/usr/bin/env bash
# Installs what is missing, checks the sources' formatting, builds and runs the
# whole suite: first the threading tests under ThreadSanitizer (tsan preset,
# label tsan), then every test under AddressSanitizer and
# UndefinedBehaviorSanitizer (dev preset, which builds the benchmarks too, so
# that they never break unseen). Warnings are errors. Extra arguments go to the dev run's ctest and skip the
# ThreadSanitizer pass, e.g. scripts/test.sh -L unit
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# UI and helper tests need a display; give them a private one when there is none.
runner=()
if [[ -z ${DISPLAY:-} ]]; then
  runner=(xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp")
fi

if [[ $# -eq 0 ]]; then
  cmake --preset tsan -DVISTREL_WERROR=ON >/dev/null
  cmake --build --preset tsan
  "${runner[@]}" ctest --preset tsan -L tsan
fi

cmake --preset dev -DVISTREL_WERROR=ON >/dev/null
cmake --build --preset dev
"${runner[@]}" ctest --preset dev "$@"
