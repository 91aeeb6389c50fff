#!/usr/bin/env bash
# Runs every fuzz target for longer than CI does: bash scripts/fuzz.sh [SECONDS
# per target, default 600] [TARGET...]. Builds them first (under the shared
# build lock), keeps the growing corpus in build/test/fuzz/corpus/, and prints
# each target's executions per second. A crasher is left in build/test/fuzz/
# and named here: copy it to fuzz/TARGET/regressions/ so that the target's
# regression test keeps it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(smf profile store wave video)

bash scripts/deps.sh --tests
lock=/tmp/quorvana-build.lock
flock "$lock" cmake --preset test >/dev/null
flock "$lock" cmake --build build/test -j "$(nproc)" --target "${targets[@]/%/_fuzzer}"

fuzz=build/test/fuzz
failed=0
for t in "${targets[@]}"; do
  inputs=("fuzz/$t/seeds" "fuzz/$t/regressions")
  dict="fuzz/$t/$t.dict"
  max_len=65536
  [ "$t" = smf ] && max_len=8192
  mkdir -p "$fuzz/corpus/$t"
  log="$fuzz/$t-fuzz.log"
  echo "== $t: ${seconds} s"
  if "$fuzz/$t-fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$max_len" \
       -print_final_stats=1 -dict="$dict" -artifact_prefix="$fuzz/$t-" \
       "$fuzz/corpus/$t" "${inputs[@]}" >"$log" 2>&1; then
    grep -E "average_exec_per_sec|number_of_executed_units" "$log" | sed "s/^/   /"
  else
    failed=1
    echo "   crashed; see $log"
    ls "$fuzz/$t"-crash-* "$fuzz/$t"-leak-* "$fuzz/$t"-timeout-* "$fuzz/$t"-oom-* 2>/dev/null | sed "s/^/   /" || true
  fi
done
exit "$failed"
