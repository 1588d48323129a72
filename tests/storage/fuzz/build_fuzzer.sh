#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (not part of the CMake build).
#   bash tests/storage/fuzz/build_fuzzer.sh [out-dir]
# then run one at a time, e.g.:
#   nice -n 19 out/item_file_fuzz -max_total_time=600 -timeout=10 out/corpus tests/storage/fuzz/regressions
#   nice -n 19 out/table_fuzz -max_total_time=600 -timeout=10 out/table-corpus tests/storage/fuzz/table-regressions
# and copy any crash-* or timeout-* file it writes, minimised (-minimize_crash=1), into
# the regressions folder of its target under a name that says what it found.
#
# item_file_fuzz: the item file and the layers beneath it.
# table_fuzz: the tables and plm above it (check, tables, dump in record and key order).
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
out=${1:-$root/build-fuzz}
rm -rf "$out/obj"
mkdir -p "$out/obj" "$out/corpus" "$out/table-corpus"
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -I"$root")
sources=$( (find "$root/storage" "$root/runtime/errors" "$root/runtime/file" "$root/runtime/values" "$root/runtime/trace" "$root/runtime/profile" \
              "$root/tools/plm" -name '*.cpp' ! -name main.cpp) )
for src in $sources; do echo "$src"; done | xargs -P2 -I{} sh -c \
  'obj="$0/obj/$(echo "{}" | md5sum | cut -c1-12).o"; [ "$obj" -nt "{}" ] || clang++ "$@" -c "{}" -o "$obj"' \
  "$out" "${flags[@]}"
objects=()
for src in $sources; do objects+=("$out/obj/$(echo "$src" | md5sum | cut -c1-12).o"); done
libs=(-lcrypto -lpthread)
clang++ "${flags[@]}" -fsanitize=fuzzer "${objects[@]}" "$root/tests/storage/fuzz/item_file_fuzz.cc" "${libs[@]}" \
  -o "$out/item_file_fuzz"
clang++ "${flags[@]}" -fsanitize=fuzzer "${objects[@]}" "$root/tests/storage/fuzz/table_fuzz.cc" "${libs[@]}" \
  -o "$out/table_fuzz"
if [ ! -x "$out/make_seeds" ]; then
  clang++ "${flags[@]}" "${objects[@]}" "$root/tests/storage/fuzz/make_seeds.cc" "${libs[@]}" -o "$out/make_seeds"
  "$out/make_seeds" "$out/corpus"
fi
if [ ! -x "$out/make_table_seeds" ]; then
  clang++ "${flags[@]}" "${objects[@]}" "$root/tests/storage/fuzz/make_table_seeds.cc" "${libs[@]}" -o "$out/make_table_seeds"
  "$out/make_table_seeds" "$out/table-corpus"
fi
echo "$out/item_file_fuzz $out/table_fuzz"
