#!/usr/bin/env bash
# The run command: installs what is missing, builds what changed and starts the program on a
# working copy of the demo data file (the copy lives in run/, outside the tracked files).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2

mkdir -p run
[ -f run/kavro.dat ] || cp demo/kavro-demo.dat run/kavro.dat
echo "Codes in run/kavro.dat:"
build/bin/kavro-cli --data run/kavro.dat codes | iconv -f CP932 -t UTF-8
