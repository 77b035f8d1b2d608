# Case bookkeeping for the shell test scripts, sourced by them: each case is printed as it ends
# and, when CTest runs the script (ORVELLE_TEST_REPORTS and ORVELLE_TEST_NAME set), written as a
# JUnit report so that the run's summary counts the script case by case.
#   case_pass NAME | case_fail NAME [DETAIL] | case_skip NAME REASON; cases_end (exit status)

cases_names=()
cases_results=()
cases_details=()
cases_failures=0

case_record() {  # result name detail
    cases_results+=("$1")
    cases_names+=("$2")
    cases_details+=("${3:-}")
}
case_pass() {
    echo "ok   $1"
    case_record pass "$1"
}
case_fail() {
    echo "FAIL $1${2:+: $2}"
    case_record fail "$1" "${2:-}"
    cases_failures=$((cases_failures + 1))
}
case_skip() {
    echo "SKIP $1: $2"
    case_record skip "$1" "$2"
}

cases_xml_escape() {
    local text=${1//&/&amp;}
    text=${text//</&lt;}
    text=${text//>/&gt;}
    text=${text//\"/&quot;}
    printf '%s' "$text"
}

# Writes the report (if CTest asked for one) and returns 0 only when no case failed and at least
# one ran.
cases_end() {
    local count=${#cases_names[@]}
    echo "${count} case(s), ${cases_failures} failure(s)"
    if [ -n "${ORVELLE_TEST_REPORTS:-}" ] && [ -n "${ORVELLE_TEST_NAME:-}" ]; then
        mkdir -p "$ORVELLE_TEST_REPORTS"
        local report=$ORVELLE_TEST_REPORTS/$ORVELLE_TEST_NAME.xml i name
        {
            printf '<?xml version="1.0" encoding="UTF-8"?>\n'
            printf '<testsuites tests="%d" failures="%d" name="%s">\n' "$count" "$cases_failures" \
                "$ORVELLE_TEST_NAME"
            printf '  <testsuite name="%s" tests="%d" failures="%d">\n' "$ORVELLE_TEST_NAME" \
                "$count" "$cases_failures"
            for i in "${!cases_names[@]}"; do
                name=$(cases_xml_escape "${cases_names[$i]}")
                case ${cases_results[$i]} in
                pass) printf '    <testcase name="%s" status="run" result="completed"/>\n' "$name" ;;
                skip) printf '    <testcase name="%s" status="run" result="skipped"><skipped message="%s"/></testcase>\n' \
                          "$name" "$(cases_xml_escape "${cases_details[$i]}")" ;;
                fail) printf '    <testcase name="%s" status="run" result="completed"><failure message="%s"/></testcase>\n' \
                          "$name" "$(cases_xml_escape "${cases_details[$i]}")" ;;
                esac
            done
            printf '  </testsuite>\n</testsuites>\n'
        } >"$report.part" && mv "$report.part" "$report"
    fi
    [ "$cases_failures" -eq 0 ] && [ "$count" -gt 0 ]
}
