#!/usr/bin/env bash
# The test command: installs what is missing, builds from scratch (or only what changed) and runs
# every test. The sanitizer and fuzz builds come first; the main build's ctest summary ends it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=2
configure() { # build-dir, extra cmake arguments...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
}

# Address and undefined-behaviour sanitizers over everything that needs no Qt.
configure build-asan -DKAVRO_GUI=OFF -DKAVRO_BENCH=OFF -DKAVRO_SANITIZE=address
cmake --build build-asan -j"$jobs"
(cd build-asan && ctest --no-tests=error -j"$jobs" --output-on-failure)

# Thread sanitizer over the serial component, the only part with threads.
configure build-tsan -DKAVRO_GUI=OFF -DKAVRO_BENCH=OFF -DKAVRO_SANITIZE=thread
cmake --build build-tsan -j"$jobs"
(cd build-tsan && ctest --no-tests=ignore -L serial -j"$jobs" --output-on-failure)

# Short deterministic libFuzzer runs (clang).
configure build-fuzz -DKAVRO_GUI=OFF -DKAVRO_BENCH=OFF -DKAVRO_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build build-fuzz -j"$jobs"
(cd build-fuzz && ctest --no-tests=ignore -L fuzz -j"$jobs" --output-on-failure)

# The main build: everything, with g++.
configure build
cmake --build build -j"$jobs"
cd build && ctest --no-tests=error -j"$jobs" --output-on-failure
