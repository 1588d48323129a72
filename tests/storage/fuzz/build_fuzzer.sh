#!/usr/bin/env bash
# Builds the item-file fuzz target with clang's libFuzzer (not part of the CMake build).
#   bash tests/storage/fuzz/build_fuzzer.sh [out-dir]
# then run e.g.:
#   out/item_file_fuzz -max_total_time=600 -timeout=10 out/corpus tests/storage/fuzz/regressions
# and copy any crash-* file it writes, minimised (-minimize_crash=1), into
# tests/storage/fuzz/regressions/ under a name that says what it found.
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
out=${1:-$root/build-fuzz}
rm -rf "$out/obj"
mkdir -p "$out/obj" "$out/corpus"
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -I"$root")
# The item file and the layers beneath it; the tables and the driver are not needed here.
sources=$( (find "$root/storage/io" "$root/storage/pagefile" "$root/storage/tree" "$root/storage/journal" -name '*.cpp'
            echo "$root/storage/item_file.cpp"; echo "$root/runtime/errors/error_codes.cpp"; echo "$root/runtime/errors/error_state.cpp") )
for src in $sources; do echo "$src"; done | xargs -P2 -I{} sh -c \
  'obj="$0/obj/$(echo "{}" | md5sum | cut -c1-12).o"; [ "$obj" -nt "{}" ] || clang++ "$@" -c "{}" -o "$obj"' \
  "$out" "${flags[@]}"
clang++ "${flags[@]}" -fsanitize=fuzzer "$out"/obj/*.o "$root/tests/storage/fuzz/item_file_fuzz.cc" -lcrypto \
  -o "$out/item_file_fuzz"
if [ ! -x "$out/make_seeds" ]; then
  clang++ "${flags[@]}" "$out"/obj/*.o "$root/tests/storage/fuzz/make_seeds.cc" -lcrypto -o "$out/make_seeds"
  "$out/make_seeds" "$out/corpus"
fi
echo "$out/item_file_fuzz"
