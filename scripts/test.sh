#!/usr/bin/env bash
# Sets up, builds and runs every test: the Release tree with all tests (the window tests
# under Xvfb), the unit tests under AddressSanitizer + UndefinedBehaviorSanitizer, and the
# tile-service tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs="$(nproc)"
xvfb=(xvfb-run -a -s "-screen 0 1920x1080x24")

echo "== Release build and all tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"
"${xvfb[@]}" ctest --test-dir build --output-on-failure -j"$jobs"

# The sanitizer trees are built at -O1 with line tables only (-g1): half the build time of
# -O2 -g, and the sanitizers' reports still name files and lines.
sanitizer_flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG")

echo "== Unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan "${sanitizer_flags[@]}" -DWH_SANITIZE=address -DWH_UNIT_TESTS_ONLY=ON >/dev/null
cmake --build build-asan -j"$jobs" --target wh_tests
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -L unit

echo "== Tile-service tests under ThreadSanitizer"
cmake -S . -B build-tsan "${sanitizer_flags[@]}" -DWH_SANITIZE=thread -DWH_UNIT_TESTS_ONLY=ON >/dev/null
cmake --build build-tsan -j"$jobs" --target wh_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan --output-on-failure -j"$jobs" -L tiles
