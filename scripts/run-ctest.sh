# Sourced by the test scripts: run_ctest ARGS... runs ctest, and a skipped
# test fails the run as a failed one does: nothing in the suite skips on
# purpose, so a skip means a set-up that did not happen.
run_ctest() {
  local log status=0
  log=$(mktemp)
  ctest "$@" 2>&1 | tee "$log" || status=$?
  if [ "$status" -eq 0 ] && grep -q 'The following tests did not run' "$log"; then
    echo "run_ctest: tests were skipped; see the list above" >&2
    status=1
  fi
  rm -f "$log"
  return "$status"
}
