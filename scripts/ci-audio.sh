#!/usr/bin/env bash
# CI for the audio engine and the data loaders beyond the README's test runs:
#  1. the loader fuzzers (clang, libFuzzer with AddressSanitizer and
#     UndefinedBehaviorSanitizer), the sound loader's and the image-strip
#     loader's, 60 s each from seed corpora made at build time;
#  2. the audio tests under ThreadSanitizer (the tsan preset), where a mixing
#     thread renders while the main thread starts, tests and stops voices.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test

fuzz=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DHAZELGLOW_SANITIZE=address,undefined -DHAZELGLOW_FUZZ=ON -DHAZELGLOW_BENCHMARKS=OFF \
  -DHAZELGLOW_WERROR="${HAZELGLOW_WERROR:-OFF}" >/dev/null
cmake --build "$fuzz" --target fuzz_audio_loader audio_fuzz_seeds fuzz_strip_loader strip_fuzz_seeds
rm -rf "$fuzz/seeds" "$fuzz/corpus" "$fuzz/findings" "$fuzz/strip-seeds" "$fuzz/strip-corpus"
mkdir -p "$fuzz/seeds" "$fuzz/corpus" "$fuzz/findings" "$fuzz/strip-seeds" "$fuzz/strip-corpus"
"$fuzz/bin/audio_fuzz_seeds" "$fuzz/seeds"
"$fuzz/bin/fuzz_audio_loader" -max_total_time=60 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$fuzz/findings/" "$fuzz/corpus" "$fuzz/seeds"
# PNG strips are larger than libFuzzer's default 4 KB inputs.
"$fuzz/bin/strip_fuzz_seeds" "$fuzz/strip-seeds"
"$fuzz/bin/fuzz_strip_loader" -max_total_time=60 -max_len=65536 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$fuzz/findings/strip-" "$fuzz/strip-corpus" "$fuzz/strip-seeds"

cmake --preset tsan >/dev/null
cmake --build --preset tsan --target test_audio
ctest --preset tsan -L audio
