#!/usr/bin/env bash
# Longer fuzzing than the test suite's: builds the libFuzzer targets with clang (the "fuzz"
# preset) and runs each for a while on its committed seeds.
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]     (default 300 s, every fuzz_* target)
# Inputs it finds go to build/fuzz/tests/fuzz/found/<target>; a crash leaves crash-* files in
# the current folder, which replay with the target's own binary.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-300}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_whisper_file fuzz_gguf_metadata fuzz_runner_request fuzz_model_catalogue fuzz_appcast
           fuzz_update_archive fuzz_wav_file)
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}"
for target in "${targets[@]}"; do
  found="build/fuzz/tests/fuzz/found/$target"
  mkdir -p "$found"
  echo "== $target: $seconds s"
  "build/fuzz/tests/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    "$found" "tests/fuzz/corpus/$target"
done
