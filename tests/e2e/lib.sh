# shellcheck shell=bash disable=SC2034 # FIXTURE, URL: for the cases
# Shared steps of the end-to-end cases (cases.sh). A case runs the real
# qor-config-test as a user would, against a real HTTPS server, in a private
# network and mount namespace where the configuration host is 127.0.0.1 and a
# throw-away certificate authority is trusted. Exit status: 0 passed,
# 1 failed, 77 skipped (no private namespaces here).
set -uo pipefail
e2e_support=$(cd "$(dirname "${BASH_SOURCE[0]}")/../support" && pwd)
if [[ -x /usr/bin/python3 ]]; then e2e_python=/usr/bin/python3; else e2e_python=python3; fi
FIXTURE=$(dirname "${BASH_SOURCE[0]}")/fixture.cfg
LSB_NOTE="No LSB modules are available."$'\n'

# Outside the namespace: makes the work folder and the certificates, runs the
# calling script again inside a namespace and exits with its status. Inside:
# sets BIN, HOST, URL and WORK and returns. Arguments: CASE BIN HOST.
e2e_enter() {
  BIN=$2 HOST=$3 URL="https://$3/gfx/qor-config.cfg"
  if [[ ${E2E_WORK:-} ]]; then
    WORK=$E2E_WORK
    unset E2E_WORK
    mkdir -p "$WORK/bin" "$WORK/home"
    trap e2e_cleanup EXIT
    return
  fi
  local work status=0
  work=$(mktemp -d "${TMPDIR:-/tmp}/qor-e2e-XXXXXX")
  "$e2e_support/make-certs.sh" "$work/certs" "$HOST" ||
    { echo "e2e: could not make test certificates" >&2; rm -rf "$work"; exit 1; }
  E2E_WORK=$work "$e2e_support/ns-run" --ca "$work/certs/ca.pem" --host "$HOST" -- \
    bash "$0" "$@" || status=$?
  rm -rf "$work"
  exit "$status"
}

e2e_cleanup() {
  [[ -z ${e2e_server_pid:-} ]] || { kill "$e2e_server_pid"; wait "$e2e_server_pid"; } 2>/dev/null
}

# Serves FILE at /gfx/qor-config.cfg on port 443, or answers every request
# with a status: e2e_serve --file FILE | e2e_serve --status CODE.
e2e_serve() {
  rm -f "$WORK/ready"
  "$e2e_python" "$e2e_support/https-server.py" --cert "$WORK/certs/server.pem" \
    --key "$WORK/certs/server.key" --ready "$WORK/ready" "$@" >/dev/null &
  e2e_server_pid=$!
  for _ in $(seq 100); do
    [[ -e $WORK/ready ]] && return
    kill -0 "$e2e_server_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "e2e: the HTTPS server did not start" >&2
  exit 1
}

# A fake lsb_release first on PATH ($WORK/bin) that prints its arguments as
# lines, and on standard error the line many versions of the tool print
# there, which must pass through unchanged.
e2e_fake_lsb_release() {
  printf '%s\n' "$@" >"$WORK/lsb-output"
  printf '#!/bin/sh\necho "%s" >&2\nexec /bin/cat "%s"\n' "${LSB_NOTE%$'\n'}" "$WORK/lsb-output" \
    >"$WORK/bin/lsb_release"
  chmod +x "$WORK/bin/lsb_release"
}

# Runs the program with nothing but the given environment (NAME=VALUE words)
# into $WORK/out, $WORK/err and $WORK/status; sanitizer settings pass through.
# In a sanitizer build the leak check is left out here: LeakSanitizer's
# tracer now and then crashes at exit while GIO's TLS threads wind down,
# and the whole program's leaks are checked under valgrind instead
# (scripts/run-memcheck).
e2e_run() {
  local keep=() name
  for name in UBSAN_OPTIONS LSAN_OPTIONS; do
    [[ ${!name:-} ]] && keep+=("$name=${!name}")
  done
  [[ ${ASAN_OPTIONS:-} ]] && keep+=("ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0")
  env -i "${keep[@]}" "$@" "$BIN" >"$WORK/out" 2>"$WORK/err"
  echo $? >"$WORK/status"
}

# The log's own prefix of a warning (program, process id, time) cut down to
# "WARNING: ", so that standard error can be compared exactly.
e2e_stderr() {
  sed -E 's/^(\*\* )?\([^:]*:[0-9]+\): WARNING \*\*: [0-9:.]+: /WARNING: /' "$WORK/err"
}

e2e_failures=0
e2e_fail() {
  echo "FAIL: $*" >&2
  e2e_failures=$((e2e_failures + 1))
}

# e2e_expect_text WHAT ACTUAL_FILE EXPECTED_TEXT: byte-exact comparison.
e2e_expect_text() {
  if ! cmp -s "$2" <(printf '%s' "$3"); then
    e2e_fail "$1 differs (expected <, actual >):"
    diff <(printf '%s' "$3") "$2" | cat -A >&2
  fi
}

# e2e_check STATUS STDOUT STDERR [WHAT]: the last run, exactly.
e2e_check() {
  local status
  status=$(cat "$WORK/status")
  [[ $status == "$1" ]] || e2e_fail "exit status $status, expected $1 ${4:-}"
  e2e_expect_text "standard output ${4:-}" "$WORK/out" "$2"
  e2e_expect_text "standard error ${4:-}" <(e2e_stderr) "$3"
}

# The distribution block the program prints for the given fields.
e2e_block() {
  printf 'Distribution:\n{\n    distributor: '\''%s'\''\n    release    : '\''%s'\''\n' "$1" "$2"
  printf '    codename   : '\''%s'\''\n    config-id  : [%s %s]\n}\n' "$3" "$1" "$3"
}

# The dump for seven lists given as their printed contents ("(nil)": absent).
e2e_dump() {
  local names=(errors sources keys docs INSTALL install upgrade) i
  printf '{\n'
  for i in "${!names[@]}"; do
    if [[ ${*:i+1:1} == "(nil)" ]]; then
      printf '  %s: (nil)\n' "${names[i]}"
    else
      printf '  %s: [%s]\n' "${names[i]}" "${*:i+1:1}"
    fi
  done
  printf '}\n'
}

e2e_finish() {
  if ((e2e_failures)); then
    echo "--- standard output" >&2; cat -A "$WORK/out" >&2
    echo "--- standard error" >&2; cat -A "$WORK/err" >&2
    exit 1
  fi
  exit 0
}
