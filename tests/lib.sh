# Shell helpers of the script tests: pass/fail counters, one line per check
# and the summary that is the script's exit status.
#
#   . "$(dirname "$0")/../lib.sh"
#   check "what holds" "$(yes_if [ "$rc" = 0 ])" "detail shown on failure"
#   ...
#   finish

fails=0
passes=0

# check NAME RESULT DETAIL: RESULT 0 is a pass; DETAIL explains a failure.
check() {
    if [ "$2" = 0 ]; then
        passes=$((passes + 1))
        echo "ok: $1"
    else
        fails=$((fails + 1))
        echo "FAILED: $1 -- $3"
    fi
}

# 0 when the command succeeds, else 1: the RESULT of a check.
yes_if() { if "$@"; then echo 0; else echo 1; fi; }

# Prints the counts; the status is 0 when no check failed and at least one ran.
finish() {
    echo "$passes passed, $fails failed"
    [ "$fails" = 0 ] && [ "$passes" -gt 0 ]
}
