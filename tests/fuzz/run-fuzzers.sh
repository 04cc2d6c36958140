#!/usr/bin/env bash
# Builds the libFuzzer targets (the state code: map files, archives, the
# state document; the engine fed bad audio; the Linux editor's frames; the
# CLAP module loading states through short reads) with clang++ and runs
# each for a fixed time.
#
#   tests/fuzz/run-fuzzers.sh [BUILD_DIR] [SECONDS_EACH]    (defaults: build/fuzz, 20)
#
# Exits non-zero when any target crashes or fails a check; the input that did
# it is left in BUILD_DIR as crash-TARGET-*, the output in BUILD_DIR/TARGET.log.
# The corpus grows in BUILD_DIR/corpus and is reused by later runs.
#
# A long run, one hour per target:
#   tests/fuzz/run-fuzzers.sh build/fuzz 3600
# Replay one input:  build/fuzz/fuzz_document build/fuzz/crash-document-...
#
# Needs Debian's clang (clang++) with libclang-rt-14-dev for the libFuzzer
# and sanitizer runtimes.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build/fuzz}
seconds=${2:-20}
cxx=${CXX:-clang++}
targets=(map_parse archive_read document engine_audio editor_frames clap_state)
sources=(state/map.cpp state/map_file.cpp state/tar.cpp state/document.cpp engine/catalogue.cpp
    engine/engine.cpp engine/formant_bank.cpp engine/lfo.cpp engine/vowel.cpp engine/cpu_features.cpp
    x11editor/frames.cpp)
# The CLAP module without its editor (tests/fuzz/clap_without_editor.cpp
# stands in for it), with the compiled-in factory presets, for clap_state
# alone.
clap_sources=(clap/audio_ports.cpp clap/entry.cpp clap/factory.cpp clap/gesture_ring.cpp clap/latency_and_tail.cpp
    clap/module_folder.cpp clap/params.cpp clap/plugin.cpp clap/preset_discovery.cpp clap/preset_load.cpp
    clap/process.cpp clap/state.cpp clap/transport.cpp presets/find.cpp tests/fuzz/clap_without_editor.cpp)
# The preset generator, a build tool, as the Windows lane builds it for
# the build machine: it reads the VST3 processor's id from the SDK's headers.
generator_sources=(tools/presets/main.cpp tools/presets/preset_file.cpp tools/presets/write_lv2.cpp
    tools/presets/write_tables.cpp tools/presets/write_vst3.cpp
    state/map.cpp state/map_file.cpp state/tar.cpp state/document.cpp engine/catalogue.cpp)
vst3_sdk=/usr/share/juce/modules/juce_audio_processors/format_types/VST3_SDK
common=(-std=c++20 -g -O1 -I"$root" -isystem "$root/third_party/clap/include" -Wall -Wextra -Werror)
sanitizers=(-fsanitize=address,undefined -fno-sanitize-recover=all)

mkdir -p "$out/obj" "$out/corpus" "$out/generated"
out=$(cd "$out" && pwd)

# The product version header, as the CMake build generates it from the
# version in project() of the top-level CMakeLists.txt.
version=$(sed -n 's/^project(yawp_wah VERSION \([0-9][0-9.]*\)[ )].*/\1/p' "$root/CMakeLists.txt")
IFS=. read -r major minor revision build <<<"$version"
sed -e "s/@PROJECT_VERSION_MAJOR@/$major/" -e "s/@PROJECT_VERSION_MINOR@/$minor/" \
    -e "s/@PROJECT_VERSION_PATCH@/$revision/" -e "s/@PROJECT_VERSION_TWEAK@/$build/" \
    -e "s/@PROJECT_VERSION@/$version/" "$root/cmake/version.h.in" >"$out/generated/product_version.h"
common+=(-I"$out/generated")

echo "building in $out"
# compile SOURCE: its object, named for its path, in $object.
compile() {
    relative=${1#"$root"/}
    object="$out/obj/$(echo "${relative%.cpp}" | tr / _).o"
    "$cxx" "${common[@]}" "${sanitizers[@]}" -fsanitize=fuzzer-no-link -c "$1" -o "$object"
}
objects=()
for source in "${sources[@]}"; do
    compile "$root/$source"
    objects+=("$object")
done
"$cxx" -std=c++20 -O1 -I"$root" -I"$out/generated" -isystem "$vst3_sdk" \
    "${generator_sources[@]/#/$root/}" -o "$out/yawp-wah-presets"
"$out/yawp-wah-presets" --cpp "$out/generated/factory_table.cpp" "$root"/resources/presets/*.json
clap_objects=()
for source in "${clap_sources[@]/#/$root/}" "$out/generated/factory_table.cpp"; do
    compile "$source"
    clap_objects+=("$object")
done
"$cxx" "${common[@]}" "${sanitizers[@]}" "$root/tests/fuzz/make_seeds.cpp" "${objects[@]}" -o "$out/make-seeds"
for target in "${targets[@]}"; do
    extra=()
    [ "$target" = clap_state ] && extra=("${clap_objects[@]}")
    "$cxx" "${common[@]}" "${sanitizers[@]}" -fsanitize=fuzzer \
        "$root/tests/fuzz/fuzz_$target.cpp" "${objects[@]}" "${extra[@]}" -o "$out/fuzz_$target"
done

rm -rf "$out/seeds"
"$out/make-seeds" "$out/seeds"

failed=0
for target in "${targets[@]}"; do
    mkdir -p "$out/corpus/$target"
    if "$out/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -dict="$root/tests/fuzz/state.dict" -artifact_prefix="$out/crash-$target-" \
        -print_final_stats=1 "$out/corpus/$target" "$out/seeds/$target" >"$out/$target.log" 2>&1; then
        echo "fuzz_$target: ok, $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$out/$target.log" | grep -o '[0-9]*$') runs"
    else
        echo "fuzz_$target: FAILED, see $out/$target.log"
        tail -n 30 "$out/$target.log"
        failed=1
    fi
done
exit "$failed"
