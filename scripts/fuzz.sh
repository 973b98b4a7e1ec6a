#!/usr/bin/env bash
# Builds a libFuzzer target for each import reader, one for the export's round trip and one for
# the book's notes file and session log, with
# clang (AddressSanitizer and UndefinedBehaviorSanitizer on) and runs each for SECONDS (default
# 5) from its seed corpus in tests/fuzz/corpus/. A finding stops the run and leaves its input in build-fuzz/.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-5}
OUT=build-fuzz
mkdir -p "$OUT"
for target in csv:ReadCsv profile:ReadRemoteProfile xml:ReadConnectionsXml \
              managercsv:ReadConnectionsCsv roundtrip: bookfiles:; do
    name=${target%%:*}
    reader=${target#*:}
    source=tests/fuzz/FuzzImport.cpp
    [ -n "$reader" ] || source=tests/fuzz/FuzzCsvRoundTrip.cpp
    [ "$name" != bookfiles ] || source=tests/fuzz/FuzzBookFiles.cpp
    clang++ -std=c++20 -O1 -g -I. -DREADER="$reader" \
        -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
        "$source" core/Book.cpp core/Rows.cpp core/Import.cpp core/import/*.cpp core/DisplayText.cpp \
        core/ClientNotes.cpp core/EscapedText.cpp core/SessionLog.cpp platform/TextLines.cpp platform/Account_posix.cpp -o "$OUT/fuzz-$name"
    # New inputs go to a corpus of the run's own; the seeds stay as they are.
    rm -rf "$OUT/corpus-$name"
    mkdir -p "$OUT/corpus-$name"
    (cd "$OUT" && "./fuzz-$name" -max_total_time="$SECONDS_EACH" -max_len=4096 \
        -print_final_stats=1 "corpus-$name" "../tests/fuzz/corpus/$name" 2>&1 |
        grep -E '^(stat::number_of_executed_units|==|SUMMARY|INFO: a leak)' || true)
    [ ! -e "$OUT"/crash-* ] && [ ! -e "$OUT"/leak-* ] && [ ! -e "$OUT"/timeout-* ] ||
        { echo "fuzz-$name found an input that fails: $(ls "$OUT"/crash-* "$OUT"/leak-* "$OUT"/timeout-* 2>/dev/null)" >&2; exit 1; }
    echo "fuzz-$name: ${SECONDS_EACH}s, no finding"
done
