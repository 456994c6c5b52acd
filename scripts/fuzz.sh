#!/usr/bin/env bash
# Fuzzes every target in tests/fuzz/ with libFuzzer, AddressSanitizer and
# UBSan (undefined behaviour fatal) for SECONDS each (default 60), one target
# per core at a time. An input that finds a fault is saved into the target's
# corpus folder (tests/fuzz/corpus/NAME/), which the tests run on every build;
# inputs that only add coverage stay in build-fuzz/. Fails when anything was found.
# usage: scripts/fuzz.sh [SECONDS [TARGET...]]   (default: every target)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
scripts/deps.sh clang libclang-rt-14-dev
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

targets=("$@")
if ((${#targets[@]} == 0)); then
    for src in tests/fuzz/*_fuzz.cpp; do
        targets+=("$(basename "$src" _fuzz.cpp)")
    done
fi
dir=build-fuzz
CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARK_FUZZ=ON \
    -DVARK_SANITIZE=address,undefined -DVARK_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS="abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
fuzz() {
    local name=$1
    local corpus=tests/fuzz/corpus/$name work=$dir/corpus/$name
    mkdir -p "$work"
    # New coverage goes to the work folder; the saved corpus is read as seeds.
    # The time limit per input is generous: the machine may be shared.
    "$dir/bin/fuzz_$name" "$work" "$corpus" -max_total_time="$seconds" -max_len=30000 \
        -timeout=120 -report_slow_units=120 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$corpus/found-" \
        >"$dir/fuzz-$name.log" 2>&1
}

for name in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do
        wait -n || true
    done
    (
        rc=0
        fuzz "$name" || rc=$?
        echo "$rc" >"$dir/fuzz-$name.rc"
    ) &
done
wait
status=0
for name in "${targets[@]}"; do
    if [ "$(cat "$dir/fuzz-$name.rc")" = 0 ]; then result=clean; else result=FOUND; status=1; fi
    log=$dir/fuzz-$name.log
    stats=$(grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$log" |
        sed 's/^stat:://' | tr -s ' \n' ' ')
    cov=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1 || true)
    echo "$name: $result; $cov; $stats"
    if [ "$result" = FOUND ]; then
        grep -E 'ERROR|invariant broken|runtime error|Test unit written' "$log" | head -5 || true
    fi
done
exit "$status"
