#!/usr/bin/env bash
# Sets everything up and runs every test: the normal build's tests, the
# engine and its tests again under AddressSanitizer and UBSan, its threaded
# tests under ThreadSanitizer, and each fuzz
# target for a bounded time (FUZZ_SECONDS, default 60; the program's file
# readers PROGRAM_FUZZ_SECONDS, default half of that but at least 20).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-60}
# The program's file readers are small: half the time each, at least 20 s.
program_fuzz_seconds=${PROGRAM_FUZZ_SECONDS:-$((fuzz_seconds / 2 > 20 ? fuzz_seconds / 2 : 20))}

./scripts/setup.sh

echo "== build and test (release) =="
./scripts/build.sh
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== engine and its tests again (address and undefined-behaviour sanitizers) =="
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPELMORA_SANITIZE=ON >/dev/null
ninja -C build-asan pelmora platform_tests pelmora_unit_tests pelmora_abi_tests pelmora_thread_tests \
  sarvenu_dataset_tests
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" \
    -R '^(platform_tests|pelmora_unit_tests|pelmora_abi_tests|pelmora_thread_tests|sarvenu_dataset_tests)$'

echo "== engine and its threaded tests again (thread sanitizer) =="
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMORA_THREAD_SANITIZE=ON >/dev/null
ninja -C build-tsan pelmora pelmora_thread_tests
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -R '^pelmora_thread_tests$'

echo "== fuzz targets (${fuzz_seconds}s each, program readers ${program_fuzz_seconds}s) =="
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DPELMORA_FUZZ=ON -DPELMORA_SANITIZE=ON -DSARVENU_BUILD_TESTS=OFF >/dev/null
fuzz_sources=(pelmora/fuzz/fuzz_*.cpp archivers/fuzz/fuzz_*.cpp sarvenu/fuzz/fuzz_*.cpp)
ninja -C build-fuzz $(printf '%s\n' "${fuzz_sources[@]}" | xargs -n1 basename | sed 's/\.cpp$//')
for source in "${fuzz_sources[@]}"; do
  name=$(basename "$source" .cpp)
  target="build-fuzz/bin/$name"
  seconds=$fuzz_seconds
  [[ $source == sarvenu/* ]] && seconds=$program_fuzz_seconds
  corpus="build-fuzz/corpus/$name"
  mkdir -p "$corpus"
  for seeds in "$root/pelmora/fuzz/seeds/${name#fuzz_}" "$root/archivers/fuzz/seeds/${name#fuzz_}" \
               "$root/sarvenu/fuzz/seeds/${name#fuzz_}"; do
    [ -d "$seeds" ] && cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
  done
  echo "-- $name"
  "$target" -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 "$corpus" \
    > "build-fuzz/$name.log" 2>&1 || { tail -50 "build-fuzz/$name.log"; exit 1; }
  grep -E 'stat::number_of_executed_units' "build-fuzz/$name.log" || true
done

echo "== all tests passed =="
