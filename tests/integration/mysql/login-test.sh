#!/usr/bin/env bash
# orvelle-sql's login against a MariaDB of its own with TLS (127.0.0.1:3317, started and stopped
# here, a CA and certificate made here) and against the scripted MySQL 8 login
# (tests/support/mysql8_server.py): TLS modes, REQUIRE SSL, require_secure_transport, whole and
# Cyrillic names, caching_sha2_password, sha256_password, mysql_clear_password.
# Usage: login-test.sh [LAUNCHER...] path/to/orvelle-sql   (LAUNCHER: e.g. scripts/wine-run)
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../support/cases.sh"
tool=("$@")
# Debian's Python, where its python3-cryptography and python3-pymysql are.
py=python3
[ -x /usr/bin/python3 ] && py=/usr/bin/python3
port=3317
work=$(mktemp -d "${TMPDIR:-/tmp}/orvelle-login.XXXXXX")
server_pid="" fake_pid=""
cleanup() {
    [ -n "$fake_pid" ] && kill "$fake_pid" 2>/dev/null
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null
        for _ in $(seq 1 100); do kill -0 "$server_pid" 2>/dev/null || break; sleep 0.1; done
    fi
    rm -rf "$work"
}
trap cleanup EXIT

missing() {
    if [ -n "${ORVELLE_REQUIRE_SERVICES:-}" ]; then
        case_fail "$1" "required: $2"
        cases_end
        exit 1
    fi
    case_skip "$1" "$2"
    cases_end
    exit 77
}
command -v mariadbd >/dev/null || missing "MariaDB with TLS" "mariadbd is not installed"
"$py" -c 'import cryptography, pymysql' 2>/dev/null ||
    missing "scripted MySQL 8 login" "python3-cryptography and python3-pymysql are needed"

# A CA, a server certificate for 127.0.0.1 only, and an unrelated CA.
make_ca() {  # name
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=orvelle test $1" \
        -keyout "$work/$1.key" -out "$work/$1.pem" 2>/dev/null
}
make_ca ca && make_ca other-ca
openssl req -newkey rsa:2048 -nodes -subj /CN=orvelle-test-server -keyout "$work/server.key" \
    -out "$work/server.csr" 2>/dev/null
openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" \
    -CAcreateserial -days 2 -extfile <(printf 'subjectAltName=IP:127.0.0.1\n') \
    -out "$work/server.pem" 2>/dev/null

mariadb-install-db --no-defaults --datadir="$work/data" --user=root \
    --auth-root-authentication-method=normal >"$work/install.log" 2>&1
mariadbd --no-defaults --user=root --datadir="$work/data" --bind-address=127.0.0.1 \
    --port=$port --socket="$work/mysqld.sock" --pid-file="$work/mariadbd.pid" \
    --plugin-load-add=auth_ed25519 --ssl-ca="$work/ca.pem" --ssl-cert="$work/server.pem" \
    --ssl-key="$work/server.key" --log-error="$work/mariadbd.log" >/dev/null 2>&1 &
server_pid=$!
root() { mariadb --no-defaults --user=root --socket="$work/mysqld.sock" "$@"; }
for _ in $(seq 1 100); do root -e 'DO 1' 2>/dev/null && break; sleep 0.1; done
root <<'SQL' || missing "MariaDB with TLS" "the server on $port did not start"
DELETE FROM mysql.global_priv WHERE User = '';
FLUSH PRIVILEGES;
CREATE USER 'tls_only'@'%' IDENTIFIED BY 'tls-pass' REQUIRE SSL;
CREATE USER 'plain'@'%' IDENTIFIED BY 'plain-pass';
CREATE USER 'abcdefghijklmnopqrstuvwxyz0123456789XY'@'%' IDENTIFIED BY 'long-pass';
CREATE USER 'abcdefghijklmnopqrstuvwxyz012345'@'%' IDENTIFIED BY 'long-pass';
CREATE USER 'тест'@'%' IDENTIFIED BY 'пароль';
CREATE DATABASE `бд`;
GRANT ALL ON `бд`.* TO 'тест'@'%';
CREATE USER 'ed'@'%' IDENTIFIED VIA ed25519 USING PASSWORD('ed-pass');
SQL

mkdir -p "$work/fake"
"$py" "$here/../../support/mysql8_server.py" "$work/fake/port" "$work/fake/log" \
    "$work/server.pem" "$work/server.key" &
fake_pid=$!
for _ in $(seq 1 100); do [ -f "$work/fake/port" ] && break; sleep 0.1; done
fake_port=$(cat "$work/fake/port")

# The certificate paths as the program sees them (Wine maps / to drive Z:).
path_for_tool() {
    if [ "${#tool[@]}" -gt 1 ]; then printf 'Z:%s' "${1//\//\\}"; else printf '%s' "$1"; fi
}
ca=$(path_for_tool "$work/ca.pem")
other_ca=$(path_for_tool "$work/other-ca.pem")
public_key=$(path_for_tool "$work/fake/public.pem")

expect() {  # name regex port args...
    local name=$1 regex=$2 at=$3
    shift 3
    local out
    # Through a file, not a pipe: Wine's server and services, started by the program, would
    # hold a pipe open for seconds after it ends.
    "${tool[@]}" -h 127.0.0.1 -P "$at" --connect-timeout 10 "$@" >"$work/out" 2>&1
    out=$(tr -d '\r' <"$work/out")
    if [[ "$out" =~ $regex ]]; then case_pass "$name"; else case_fail "$name" "$out"; fi
}
status_tls='SSL:	Cipher in use is [A-Z0-9_-]+, TLSv1\.[23]'

# The real MariaDB.
expect "TLS when preferred (the default), account with REQUIRE SSL" "$status_tls" $port \
    -u tls_only -p tls-pass --command status
expect "REQUIRE SSL account refused without TLS" "^ERROR 1045: Access denied" $port \
    -u tls_only -p tls-pass --ssl-mode DISABLED -e "DO 1"
expect "verify-ca with the CA that signed the certificate" "$status_tls" $port \
    -u plain -p plain-pass --ssl-mode VERIFY_CA --ssl-ca "$ca" --command status
expect "verify-ca with another CA refused" "^ERROR 2026: SSL connection error: .+" $port \
    -u plain -p plain-pass --ssl-mode VERIFY_CA --ssl-ca "$other_ca" -e "DO 1"
expect "verify-identity for the address in the certificate" "$status_tls" $port \
    -u plain -p plain-pass --ssl-mode VERIFY_IDENTITY --ssl-ca "$ca" --command status
expect "verify-identity for a name the certificate lacks" "^ERROR 2026: SSL connection error: .+" \
    $port -u plain -p plain-pass --ssl-mode VERIFY_IDENTITY --ssl-ca "$ca" -h localhost -e "DO 1"
expect "a 40-character account is not another one" \
    $'^CURRENT_USER\\(\\)\nabcdefghijklmnopqrstuvwxyz0123456789XY@%$' $port \
    -u abcdefghijklmnopqrstuvwxyz0123456789XY -p long-pass -e "SELECT CURRENT_USER()"
expect "Cyrillic account and database" $'^CURRENT_USER\\(\\)\tDATABASE\\(\\)\nтест@%\tбд$' $port \
    -u тест -p пароль -D бд -e "SET NAMES utf8mb4" -e "SELECT CURRENT_USER(), DATABASE()"
expect "the switch to mysql_native_password on change-user" \
    $'^CURRENT_USER\\(\\)\nplain@%$' $port -u tls_only -p tls-pass \
    --command change-user plain plain-pass "" -e "SELECT CURRENT_USER()"
expect "client_ed25519 refused by name" \
    "^ERROR 2000: Authentication method 'client_ed25519' is not supported" $port \
    -u ed -p ed-pass -e "DO 1"
root -e "SET GLOBAL require_secure_transport = ON"
expect "require_secure_transport: TLS when preferred" "$status_tls" $port \
    -u plain -p plain-pass --command status
expect "require_secure_transport: refused without TLS" "^ERROR [0-9]+: .+" $port \
    -u plain -p plain-pass --ssl-mode DISABLED -e "DO 1"
root -e "SET GLOBAL require_secure_transport = OFF"
expect "required TLS that the server does not offer" \
    "^ERROR 2026: SSL connection error: SSL is required, but the server does not support it" \
    3307 -u orvelle -p orvelle-pass --ssl-mode REQUIRED -e "DO 1"

# The scripted MySQL 8 login; what its log says each login took.
logged() {  # name expected-line
    if tail -n 1 "$work/fake/log" | grep -qx "$2"; then case_pass "$1"; else
        case_fail "$1" "last login: $(tail -n 1 "$work/fake/log")"; fi
}
plain=(--ssl-mode DISABLED)
auth_line='Authentication plugin:	'
expect "caching_sha2: full path, the server's key asked for" "${auth_line}caching_sha2_password" \
    "$fake_port" "${plain[@]}" -u cache -p sha2-pass --command status
logged "caching_sha2: RSA with the key asked for" "cache caching_sha2_password full-rsa-asked ok"
expect "caching_sha2: fast path once cached" "${auth_line}caching_sha2_password" "$fake_port" \
    "${plain[@]}" -u cache -p sha2-pass --command status
logged "caching_sha2: fast path taken" "cache caching_sha2_password fast ok"
expect "caching_sha2: wrong password refused" "^ERROR 1045: Access denied" "$fake_port" \
    "${plain[@]}" -u cache -p wrong --command status
expect "caching_sha2: full path over TLS" "$status_tls" "$fake_port" -u cache_tls -p sha2-pass \
    --command status
logged "caching_sha2: the password over TLS" "cache_tls caching_sha2_password full-tls ok"
"$py" - "$work/fake/public.pem" "$fake_port" <<'PY'
# The key the server sends, kept for --server-public-key-path (PyMySQL is the independent
# client here: it asks for the key of sha256_password by itself).
import pymysql, sys
conn = pymysql.connect(host="127.0.0.1", port=int(sys.argv[2]), user="sha256",
                       password="sha256-pass")
open(sys.argv[1], "wb").write(conn.server_public_key)
conn.close()
PY
logged "PyMySQL logs in to the scripted server (sha256_password)" \
    "sha256 sha256_password switch-full-rsa-asked ok"
expect "caching_sha2: the key given by the caller" "${auth_line}caching_sha2_password" \
    "$fake_port" "${plain[@]}" -u cache_key -p sha2-pass --server-public-key-path "$public_key" \
    --command status
logged "caching_sha2: RSA with the caller's key" "cache_key caching_sha2_password full-rsa-given ok"
expect "sha256_password: the server's key asked for" "${auth_line}sha256_password" "$fake_port" \
    "${plain[@]}" -u sha256 -p sha256-pass --command status
logged "sha256_password: RSA with the key asked for" "sha256 sha256_password switch-full-rsa-asked ok"
expect "sha256_password: over TLS" "${auth_line}sha256_password" "$fake_port" -u sha256 \
    -p sha256-pass --command status
logged "sha256_password: the password over TLS" "sha256 sha256_password switch-full-tls ok"
expect "sha256_password: wrong password refused" "^ERROR 1045: Access denied" "$fake_port" \
    "${plain[@]}" -u sha256_key -p wrong --server-public-key-path "$public_key" -e "DO 1"
expect "mysql_clear_password refused unless enabled" \
    "^ERROR 2000: Authentication method 'mysql_clear_password' refused" "$fake_port" \
    -u clear -p clear-pass -e "DO 1"
expect "mysql_clear_password refused without TLS" \
    "^ERROR 2000: Authentication method 'mysql_clear_password' refused" "$fake_port" \
    "${plain[@]}" -u clear -p clear-pass --enable-cleartext-plugin -e "DO 1"
expect "mysql_clear_password over TLS when enabled" "${auth_line}mysql_clear_password" \
    "$fake_port" -u clear -p clear-pass --enable-cleartext-plugin --command status

cases_end
