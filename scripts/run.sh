#!/usr/bin/env bash
# Installs what is missing, builds the application and its password helper
# (release preset; no tests, no benchmarks) and launches Vistrel. Arguments go
# to the program, e.g. scripts/run.sh 192.168.4.10
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target vistrel vistrel-askpass
exec build/release/src/app/shell/vistrel "$@"
