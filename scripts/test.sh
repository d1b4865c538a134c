#!/usr/bin/env bash
# Installs what is missing, builds the dev preset (AddressSanitizer and
# UndefinedBehaviorSanitizer, warnings as errors) and runs the whole suite.
# Extra arguments go to ctest, e.g. scripts/test.sh -L unit
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset dev -DVISTREL_WERROR=ON >/dev/null
cmake --build --preset dev

# UI and helper tests need a display; give them a private one when there is none.
runner=()
if [[ -z ${DISPLAY:-} ]]; then
  runner=(xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp")
fi
"${runner[@]}" ctest --preset dev "$@"
