#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz/ and runs each for SECONDS
# (default 60), one after another:
#
#     scripts/fuzz.sh [SECONDS]
#
# Each target starts from its seed inputs (fuzz/corpus/<name>/) and from what
# earlier runs in this checkout found (build-fuzz/corpus/<name>/). An input
# that breaks a property, crashes, leaks or hangs is saved under
# fuzz-findings/<name>/ with the run's log and the command that reproduces
# it. The script prints the runs per target and exits non-zero when any
# target failed. FUZZ_TARGETS="ini tags" runs only the named targets.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || ((seconds < 1)); then
  echo "usage: scripts/fuzz.sh [SECONDS]" >&2
  exit 2
fi
targets=(${FUZZ_TARGETS:-ini postfile render cp1250 tags ftpreply ftpsession})

scripts/install-deps.sh runtime build sanitizers
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" \
      -DTL_FUZZ=ON -DTL_BUILD_TESTS=OFF -DTL_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzzers
source scripts/sanitizer-env.sh

# Scratch files of the targets: in memory when possible, removed at the end.
scratch_base=/dev/shm
[ -d "$scratch_base" ] && [ -w "$scratch_base" ] || scratch_base="${TMPDIR:-/tmp}"
scratch="$(mktemp -d "$scratch_base/tl-fuzz.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
export TL_FUZZ_SCRATCH="$scratch"

root="$(pwd)"
failed=()
summary=()
for t in "${targets[@]}"; do
  exe="build-fuzz/fuzz/fuzz_$t"
  [ -x "$exe" ] || { echo "no fuzz target '$t'" >&2; exit 2; }
  work="build-fuzz/corpus/$t"
  out="fuzz-findings/$t"
  log="build-fuzz/logs/$t.log"
  mkdir -p "$work" "$out" "$(dirname "$log")"
  args=(-max_total_time="$seconds" -timeout=30 -rss_limit_mb=3072 -print_final_stats=1
        -artifact_prefix="$out/")
  [ -f "fuzz/dict/$t.dict" ] && args+=(-dict="fuzz/dict/$t.dict")
  echo "== fuzz_$t for ${seconds}s"
  set +e
  "$exe" "${args[@]}" "$work" "fuzz/corpus/$t" >"$log" 2>&1
  rc=$?
  set -e
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  runs="${runs:-?}"
  if ((rc != 0)); then
    failed+=("$t")
    cp "$log" "$out/"
    found="$(ls -t "$out" | grep -E '^(crash|leak|timeout|oom|slow-unit)-' | head -n 1 || true)"
    if [ -n "$found" ]; then
      echo "$root/$exe $root/$out/$found" >"$out/$found.reproduce"
      summary+=("$(printf '%-12s %10s runs  FAILED  %s' "$t" "$runs" "$out/$found")")
      grep -E '^==== property broken|^     |ERROR: |SUMMARY: ' "$log" | head -n 8 || true
      echo "   reproduce: $exe $out/$found"
    else
      summary+=("$(printf '%-12s %10s runs  FAILED  (exit %d, see %s)' "$t" "$runs" "$rc" "$out/$(basename "$log")")")
      tail -n 20 "$log"
    fi
  else
    summary+=("$(printf '%-12s %10s runs  ok' "$t" "$runs")")
  fi
done

echo
echo "Fuzzing, ${seconds}s per target:"
printf '  %s\n' "${summary[@]}"
if ((${#failed[@]})); then
  echo "Failed: ${failed[*]} (inputs and logs in fuzz-findings/)" >&2
  exit 1
fi
