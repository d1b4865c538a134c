#!/usr/bin/env bash
# Runs clang-tidy (the checks of .clang-tidy, findings as errors) over the
# program's own sources, or over the files given, with the dev build's compile
# commands; configures that build first when it is missing. Several minutes
# for the whole tree on two cores, so the test command leaves it out:
#   scripts/tidy.sh                      # everything under src/
#   scripts/tidy.sh src/core/receive/*.cpp
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh clang-tidy
[[ -f build/dev/compile_commands.json ]] || cmake --preset dev >/dev/null
# The QML module's generated sources are needed for the ui files' includes.
cmake --build --preset dev --target vistrel_ui_autogen vistrel_session_autogen >/dev/null
# clang would take GCC's precompiled headers for its own and stop; it reads
# the headers themselves instead, from a copy of the commands without them.
mkdir -p build/dev/tidy
sed -E 's# -Winvalid-pch -include [^ "]*/cmake_pch\.hxx##g' build/dev/compile_commands.json \
  >build/dev/tidy/compile_commands.json
if [[ $# -eq 0 ]]; then
  mapfile -t files < <(git ls-files 'src/*.cpp')
else
  files=("$@")
fi
printf '%s\n' "${files[@]}" |
  xargs -P "$(nproc)" -n 4 clang-tidy -p build/dev/tidy --quiet --warnings-as-errors='*' 2>/dev/null
