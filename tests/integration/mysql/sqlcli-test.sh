#!/usr/bin/env bash
# Black-box test of orvelle-sql against the real MariaDB on 127.0.0.1:3307: its batch output must
# equal what `mariadb --batch` prints for the same statements, plus its own exact texts for
# errors, commands and bad usage. Usage: sqlcli-test.sh path/to/orvelle-sql
set -uo pipefail
tool=${1:?usage: sqlcli-test.sh path/to/orvelle-sql}
conn=(-h 127.0.0.1 -P 3307 -u orvelle -p orvelle-pass -D orvelle_test)
ref=(mariadb --no-defaults --batch --default-character-set=latin1 -h 127.0.0.1 -P 3307
     -u orvelle -porvelle-pass orvelle_test)
source "$(dirname "${BASH_SOURCE[0]}")/../../support/cases.sh"

if ! "${ref[@]}" -e 'DO 1' >/dev/null 2>&1; then
    if [ -n "${ORVELLE_REQUIRE_SERVICES:-}" ]; then
        case_fail "MariaDB on 127.0.0.1:3307" "required, not answering"
        cases_end
        exit 1
    fi
    case_skip "MariaDB on 127.0.0.1:3307" "no server (scripts/services start)"
    cases_end
    exit 77
fi

check() {  # name expected actual
    if [ "$2" == "$3" ]; then
        case_pass "$1"
    else
        case_fail "$1" "$(diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | head -20)"
    fi
}

# Same output as mariadb --batch, with and without the header line.
same() {  # name statement...
    local name=$1
    shift
    local ours=() joined=""
    for s in "$@"; do
        ours+=(-e "$s")
        joined+="$s;"
    done
    check "$name" "$("${ref[@]}" -e "$joined" 2>&1)" "$("$tool" "${conn[@]}" "${ours[@]}" 2>&1)"
    check "$name (-N)" "$("${ref[@]}" -N -e "$joined" 2>&1)" \
        "$("$tool" "${conn[@]}" -N "${ours[@]}" 2>&1)"
    check "$name (--use-result)" "$("${ref[@]}" -e "$joined" 2>&1)" \
        "$("$tool" "${conn[@]}" --use-result "${ours[@]}" 2>&1)"
}

same "integers and strings" "SELECT id, n, s1, m, s2 FROM bench WHERE id <= 200 ORDER BY id"
same "empty strings and a zero byte" "SELECT id, name FROM samples WHERE id IN (1, 3, 5) ORDER BY id"
same "escaped tab, newline and backslash" "SELECT 'a	b' AS tabbed, 'line1
line2' AS two_lines, 'back\\\\slash' AS slash"
same "Cyrillic after SET NAMES" "SET NAMES utf8mb4" "SELECT name, note FROM samples WHERE id = 4"
same "several statements, one without rows" "SELECT 1 AS one" "DO 1" "SELECT 'two' AS two"
same "empty result prints nothing" "SELECT id FROM samples WHERE id < 0"
same "column aliases and expressions" "SELECT COUNT(*) AS rows_total, MAX(LENGTH(s1)) FROM bench"

# Text round-trips without SET NAMES: the same output as mariadb in utf8mb4.
ref8=(mariadb --no-defaults --batch --default-character-set=utf8mb4 -h 127.0.0.1 -P 3307
      -u orvelle -porvelle-pass orvelle_test)
statement="SELECT name, CHAR_LENGTH(name), UPPER(name), CHAR_LENGTH('Привіт') FROM samples WHERE id = 4"
check "non-Latin text, CHAR_LENGTH and UPPER as mariadb prints them" \
    "$("${ref8[@]}" -e "$statement" 2>&1)" "$("$tool" "${conn[@]}" -e "$statement" 2>&1)"
# Every result of a CALL, then the next statement's own.
"$tool" "${conn[@]}" -e "CREATE OR REPLACE PROCEDURE cli_two_results() BEGIN SELECT 1 AS a; SELECT 'x' AS b, 2 AS c; END" >/dev/null 2>&1
same "each result of a CALL" "CALL cli_two_results()" "SELECT 3 AS d"
out=$("$tool" "${conn[@]}" --read-timeout 1 -e "SELECT SLEEP(3)" 2>&1); status=$?
check "read time-out" "ERROR 2013: Lost connection to MySQL server during query" "$out"
check "read time-out exits 1" 1 "$status"
# A listener whose backlog is full drops further connection attempts: the connect time-out ends
# the wait.
exec 5< <(python3 -c '
import socket, time
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(0)
held = []
for _ in range(3):
    s = socket.socket()
    s.setblocking(False)
    s.connect_ex(listener.getsockname())
    held.append(s)
time.sleep(0.2)
print(listener.getsockname()[1], flush=True)
time.sleep(60)')
listener=$!
read -r port <&5
out=$("$tool" -h 127.0.0.1 -P "$port" --connect-timeout 1 -e "DO 1" 2>&1)
check "connect time-out" "ERROR 2003: Can't connect to MySQL server on '127.0.0.1' (110)" "$out"
kill "$listener" 2>/dev/null
wait "$listener" 2>/dev/null
exec 5<&-

same "NULL apart from the empty value" "SELECT id, name, note FROM samples WHERE id IN (2, 3)"
check "statement without rows prints nothing" "" "$("$tool" "${conn[@]}" -e "DO 1")"

out=$("$tool" "${conn[@]}" -e "SELECT * FROM nope" 2>&1 >/dev/null); status=$?
check "server error on stderr" "ERROR 1146: Table 'orvelle_test.nope' doesn't exist" "$out"
check "server error exits 1" 1 "$status"
out=$("$tool" -h 127.0.0.1 -P 3307 -u orvelle -p wrong -e "DO 1" 2>&1); status=$?
check "refused login" "ERROR 1045: Access denied for user 'orvelle'@'localhost' (using password: YES)" "$out"
check "refused login exits 1" 1 "$status"
out=$("$tool" -h 127.0.0.1 -P 3309 -e "DO 1" 2>&1); status=$?
check "no server" "ERROR 2003: Can't connect to MySQL server on '127.0.0.1' (111)" "$out"
check "no server exits 1" 1 "$status"
"$tool" "${conn[@]}" >/dev/null 2>&1; status=$?
check "nothing to do is bad usage" 2 "$status"
"$tool" "${conn[@]}" --command fly >/dev/null 2>&1; status=$?
check "unknown command is bad usage" 2 "$status"

out=$("$tool" "${conn[@]}" --command ping 2>&1); status=$?
check "ping prints nothing and exits 0" "0:" "$status:$out"
out=$("$tool" -h 127.0.0.1 -P 3309 --command ping 2>&1); status=$?
check "ping without a server fails" "1:ERROR 2003: Can't connect to MySQL server on '127.0.0.1' (111)" \
    "$status:$out"
out=$("$tool" "${conn[@]}" --command stat 2>&1)
check "stat" "Uptime:" "${out%% *}"
out=$("$tool" "${conn[@]}" --command processlist 2>&1)
check "processlist header" "$(printf 'Id\tUser\tHost\tdb\tCommand\tTime\tState\tInfo\tProgress')" \
    "$(head -1 <<<"$out")"
check "processlist shows itself" 1 "$(grep -c "	orvelle	localhost:[0-9]*	orvelle_test	Processlist	" <<<"$out")"
out=$("$tool" "${conn[@]}" --command kill 999999 2>&1); status=$?
check "kill of an unknown thread" "1:ERROR 1094: Unknown thread id: 999999" "$status:$out"
out=$("$tool" "${conn[@]}" --command refresh 4 2>&1); status=$?
check "refresh prints nothing and exits 0" "0:" "$status:$out"
# The anonymous user lacks RELOAD: the same refresh is refused, so success above was the server's.
out=$("$tool" -h 127.0.0.1 -P 3307 --command refresh 4 2>&1); status=$?
check "refresh without the right is refused" \
    "1:ERROR 1227: Access denied; you need (at least one of) the RELOAD privilege(s) for this operation" \
    "$status:$out"
check "select-db then a statement" "$(printf 'DATABASE()\nmysql')" \
    "$("$tool" -h 127.0.0.1 -P 3307 -u root --command select-db mysql -e "SELECT DATABASE()" 2>&1)"
check "change-user to the anonymous user" "$(printf 'CURRENT_USER()\n@localhost')" \
    "$("$tool" "${conn[@]}" --command change-user "" "" "" -e "SELECT CURRENT_USER()" 2>&1)"
out=$("$tool" "${conn[@]}" --command shutdown 2>&1); status=$?
check "refused shutdown exits 1" 1 "$status"
check "the local channel" "$(printf 'CURRENT_USER()\norvelle@localhost')" \
    "$("$tool" --pipe -u orvelle -p orvelle-pass -e "SELECT CURRENT_USER()" 2>&1)"

cases_end
