#!/usr/bin/env bash
# Runs the README's examples of the Access driver from other programs (the
# blocks after "<!-- example: NAME -->") against the driver of this build,
# with a private unixODBC configuration, and checks that each prints what
# README shows and that the file they write is sound.
#
#   readme_examples_test.sh README DRIVER_LIBRARY JETCHECK
set -euo pipefail
readme=$(realpath "$1") driver=$(realpath "$2") jetcheck=$(realpath "$3")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '[Microsoft Access Driver (*.mdb)]\nDriver=%s\nSetup=%s\nDontDLClose=1\n' \
  "$driver" "$driver" >"$work/odbcinst.ini"
: >"$work/odbc.ini"
export ODBCSYSINI=$work ODBCINI=$work/odbc.ini

# The fenced block after the marker line for NAME.
example() {
  awk -v marker="<!-- example: $1 -->" '
    $0 == marker { found = 1; next }
    found && /^```/ { if (inside) exit; inside = 1; next }
    inside { print }' "$readme"
}

python=
for candidate in python3 /usr/bin/python3; do
  if command -v "$candidate" >/dev/null && "$candidate" -c 'import pyodbc' 2>/dev/null; then
    python=$candidate
    break
  fi
done
if [ -z "$python" ]; then
  echo "pyodbc is missing (Debian package python3-pyodbc, installed by scripts/setup)" >&2
  exit 1
fi

failed=0
check() {  # NAME ACTUAL-FILE
  if ! diff -u <(example "$1 output") "$2"; then
    echo "the $1 example does not print what README shows" >&2
    failed=1
  fi
}

mkdir "$work/run"
cd "$work/run"
example python >example.py
[ -s example.py ] || { echo "README has no python example" >&2; exit 1; }
"$python" example.py >python.out
check python python.out
example isql >example.sh
[ -s example.sh ] || { echo "README has no isql example" >&2; exit 1; }
bash -e example.sh >isql.out
check isql isql.out

problems=$("$jetcheck" shop.mdb 2>&1) || { echo "$problems" >&2; failed=1; }
exit $failed
