# The end-to-end scripts' tally (sourced): `check NAME COMMAND...` runs the
# command, prints "ok" or "FAIL" with the name and counts the failures.
failures=0
check() {
    local name=$1; shift
    if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
