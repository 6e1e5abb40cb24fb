#!/usr/bin/env bash
# Runs every fuzz target of a built fuzz tree for a set time and prints, per
# target, the executions, the coverage libFuzzer reached (cov: code edges,
# ft: features) and the findings. Each target starts from its committed seed
# corpus (tests/fuzz/corpus/<target>, regression inputs included) and from
# what earlier runs found (BUILD/work/<target>, where new inputs go). The
# "internal" column is the share of the program's runs that ended in the
# internal-error path, which the fuzz build turns back into the next input.
# A finding leaves its input in BUILD/findings and the run fails.
# usage: tests/fuzz/run.sh BUILD SECONDS [TARGET...]
set -uo pipefail
build=${1:?usage: run.sh BUILD SECONDS [TARGET...]}
seconds=${2:?usage: run.sh BUILD SECONDS [TARGET...]}
shift 2
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(payload_entry uninstall_data vmpack_reader)

mkdir -p "$build/work" "$build/findings" "$build/logs"
failed=0
format='%-16s %8s %12s %8s %6s %6s %7s %9s  %s\n'
printf "$format" target seconds executions exec/s cov ft corpus internal findings
for target in "${targets[@]}"; do
  binary=$build/tests/fuzz/${target}_fuzz
  log=$build/logs/$target.log
  mkdir -p "$build/work/$target"
  before=$(ls "$build/findings" | grep -c "^$target-" || true)
  # A single input that takes more than 10 s is a hang, not a slow input.
  # The program's message boxes go to stderr in the sim, one or more per
  # input: stderr is closed, libFuzzer and the sanitizers report all the
  # same.
  "$binary" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 -close_fd_mask=2 \
    -artifact_prefix="$build/findings/$target-" \
    "$build/work/$target" "$here/corpus/$target" >"$log" 2>&1
  status=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  # The last status line carries the coverage reached.
  status_line=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$status_line")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$status_line")
  corpus=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$status_line")
  runs=$(sed -n 's/^stat::guarded_runs: *//p' "$log")
  internal=$(sed -n 's/^stat::internal_errors: *//p' "$log")
  share=?
  [ -n "$runs" ] && [ "$runs" -gt 0 ] && share=$((100 * internal / runs))%
  after=$(ls "$build/findings" | grep -c "^$target-" || true)
  findings=$((after - before))
  [ "$status" -ne 0 ] && [ "$findings" -eq 0 ] && findings="error $status"
  printf "$format" "$target" "$seconds" "${executions:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "${corpus:-?}" \
    "$share" "$findings"
  if [ "$status" -ne 0 ]; then
    failed=1
    grep -m1 -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error|fuzz: )' "$log" | sed 's/^/    /'
    ls -t "$build/findings" | grep "^$target-" | head -1 | sed "s|^|    input: $build/findings/|"
    echo "    log: $log"
  fi
done
exit $failed
